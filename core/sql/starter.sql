-- The reference books a new family's file starts with, so that the first
-- expense can be entered at once: a currency, two accounts, the usual
-- categories of a household in two types, and two types of counterparties.
-- No documents.

INSERT INTO Valuta (Caption, FullCaption) VALUES ('RUB', 'Российский рубль');

INSERT INTO HeadAccount (Caption, Note, IdValuta, Saldo)
SELECT a.Caption, '', v.IdValuta, 0
FROM (SELECT 1 AS n, 'Наличные' AS Caption UNION ALL SELECT 2, 'Банковская карта') a
CROSS JOIN Valuta v WHERE v.Caption = 'RUB'
ORDER BY a.n;

INSERT INTO TypeCategory (Caption) VALUES ('Расходы'), ('Доходы');

INSERT INTO Category (Caption, Note) VALUES
    ('Продукты', ''),
    ('Транспорт', ''),
    ('Жильё и коммунальные услуги', ''),
    ('Связь и интернет', ''),
    ('Здоровье', ''),
    ('Одежда и обувь', ''),
    ('Кафе и рестораны', ''),
    ('Досуг', ''),
    ('Подарки', ''),
    ('Зарплата', ''),
    ('Проценты', ''),
    ('Полученные подарки', '');

INSERT INTO TypeCategoryItem (IdTypeCategory, IdCategory)
SELECT t.IdTypeCategory, c.IdCategory
FROM Category c CROSS JOIN TypeCategory t
WHERE t.Caption = CASE WHEN c.Caption IN ('Зарплата', 'Проценты', 'Полученные подарки')
                       THEN 'Доходы' ELSE 'Расходы' END;

INSERT INTO TypeContrAgent (Caption) VALUES ('Магазины'), ('Люди');
