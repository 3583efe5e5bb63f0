-- Configuration rows: the document tree and its list statements, the columns
-- of the lists, statuses and their colours, the signs of the operations, the
-- two simple reference books and the first user.

INSERT INTO GroupOperationItem (CodGroupOperation, CodTypeOperation, SignInGroup) VALUES
    (1, 1, -1),   -- expense
    (1, 2, 1),    -- income
    (1, 3, -1),   -- transfer, first account
    (1, 4, 1);    -- transfer, second account

-- One folder holds the three kinds; its statement lists every document of the
-- date range with what a person needs to read it. The types have no statement
-- of their own and use the folder's, narrowed to their code. "cross join"
-- keeps Document the outer table, so the rows come in date order.
INSERT INTO TypeDocument (CodTypeDocument, Caption, ParentTypeDocument, SQLQuery, CodTypeOperation)
VALUES (-1, 'Все документы', NULL,
'select Document.IdDocument, Document.CodTypeDocument, Document.CodTypeStatus,
  Document.DateDocument, Document.ValueDocument, Document.ValueDocument2,
  Document.Kurs1, Document.Kurs2, mid(Document.NoteDocument, 1, 250) as NoteStr,
  TypeDocument.Caption as TypeCaption,
  ''('' || v1.Caption || '') '' || ha1.Caption as AccountCaption,
  ''('' || v2.Caption || '') '' || ha2.Caption as Account2Caption,
  Category.Caption as CategoryCaption, ContrAgent.Caption as ContrAgentCaption,
  TypeStatus.CaptionStatus, TypeStatus.ColorStatus
from Document
cross join TypeDocument on TypeDocument.CodTypeDocument = Document.CodTypeDocument
left join TypeStatus on TypeStatus.CodTypeDocument = Document.CodTypeDocument
  and TypeStatus.CodStatus = Document.CodTypeStatus
left join HeadAccount ha1 on ha1.IdHeadAccount = Document.IdHeadAccount
left join Valuta v1 on v1.IdValuta = ha1.IdValuta
left join HeadAccount ha2 on ha2.IdHeadAccount = Document.IdHeadAccount2
left join Valuta v2 on v2.IdValuta = ha2.IdValuta
left join Category on Category.IdCategory = Document.IdCategory
left join ContrAgent on ContrAgent.IdContrAgent = Document.IdContrAgent
where Document.DateDocument between :BeginDate and :EndDate', NULL);

INSERT INTO TypeDocument (CodTypeDocument, Caption, ParentTypeDocument, SQLQuery, CodTypeOperation) VALUES
    (1, 'Расход', -1, '', 1),
    (2, 'Приход', -1, '', 2),
    (3, 'Перенос', -1, '', 3);

-- Colours are 0x00BBGGRR. A new document of any kind is yellow, so that what
-- is still to be applied stands out; an applied one takes its kind's colour.
-- All are light enough for black text.
INSERT INTO TypeStatus (CodTypeDocument, CodStatus, CaptionStatus, ColorStatus) VALUES
    (1, 1, 'Новый', 9891071),     -- RGB(255, 236, 150): yellow
    (1, 2, 'Принят', 12171775),   -- RGB(255, 185, 185): rose
    (2, 1, 'Новый', 9891071),     -- yellow
    (2, 2, 'Принят', 11856052),   -- RGB(180, 232, 180): green
    (3, 1, 'Новый', 9891071),     -- yellow
    (3, 2, 'Принят', 16437433);   -- RGB(185, 208, 250): blue

INSERT INTO sys_DocColumn (sys_CodColumn, sys_FieldName, sys_Caption, sys_Alignment, sys_Width, sys_DisplayFormat) VALUES
    (1, 'DateDocument', 'Дата', 2, 100, 'dd.mm.yyyy'),
    (2, 'TypeCaption', 'Вид', 0, 75, ''),
    (3, 'ValueDocument', 'Сумма', 1, 95, ',0.00'),
    (4, 'AccountCaption', 'Счет', 0, 160, ''),
    (5, 'AccountCaption', 'Счет №1', 0, 160, ''),
    (6, 'Kurs1', 'Курс №1', 1, 65, ',0.00'),
    (7, 'Account2Caption', 'Счет №2', 0, 150, ''),
    (8, 'ValueDocument2', 'Сумма №2', 1, 90, ',0.00'),
    (9, 'Kurs2', 'Курс №2', 1, 65, ',0.00'),
    (10, 'CategoryCaption', 'Категория', 0, 120, ''),
    (11, 'ContrAgentCaption', 'Контрагент', 0, 120, ''),
    (12, 'CaptionStatus', 'Статус', 0, 65, ''),
    (13, 'NoteStr', 'Примечание', 0, 160, ''),
    (14, 'IdDocument', '№', 1, 55, '');

INSERT INTO TypeDocumentColumn (CodTypeDocument, sys_CodColumn, ColumnOrder) VALUES
    -- the folder: every kind in one list
    (-1, 1, 1), (-1, 2, 2), (-1, 3, 3), (-1, 4, 4), (-1, 7, 5), (-1, 8, 6),
    (-1, 10, 7), (-1, 11, 8), (-1, 12, 9), (-1, 13, 10),
    -- expense and income
    (1, 1, 1), (1, 3, 2), (1, 4, 3), (1, 10, 4), (1, 11, 5), (1, 12, 6), (1, 13, 7),
    (2, 1, 1), (2, 3, 2), (2, 4, 3), (2, 10, 4), (2, 11, 5), (2, 12, 6), (2, 13, 7),
    -- transfer
    (3, 1, 1), (3, 5, 2), (3, 6, 3), (3, 3, 4), (3, 7, 5), (3, 9, 6), (3, 8, 7),
    (3, 12, 8), (3, 13, 9),
    -- code 0: the columns of a folder that has none of its own
    (0, 1, 1), (0, 2, 2), (0, 3, 3), (0, 4, 4), (0, 12, 5), (0, 13, 6);

INSERT INTO sys_Dict (sys_CodDict, sys_Caption, sys_SQLQuery, sys_PKField, sys_TableName) VALUES
    (1, 'Справочник валют',
     'select IdValuta, Caption, FullCaption from Valuta order by Caption collate RUSSIAN',
     'IdValuta', 'Valuta'),
    (2, 'Справочник счетов',
     'select ha.IdHeadAccount, ha.Caption, v.Caption as ValutaCaption, ha.Saldo,
  mid(ha.Note, 1, 250) as NoteStr
from HeadAccount ha left join Valuta v on v.IdValuta = ha.IdValuta
order by ha.Caption collate RUSSIAN',
     'IdHeadAccount', 'HeadAccount');

INSERT INTO sys_DictColumn (sys_CodDict, sys_CodColumn, sys_FieldName, sys_Caption, sys_Alignment, sys_Width, sys_DisplayFormat) VALUES
    (1, 1, 'Caption', 'Краткое наименование', 0, 160, ''),
    (1, 2, 'FullCaption', 'Полное наименование', 0, 320, ''),
    (2, 1, 'Caption', 'Название', 0, 220, ''),
    (2, 2, 'ValutaCaption', 'Валюта', 2, 80, ''),
    (2, 3, 'Saldo', 'Остаток', 1, 120, ',0.00'),
    (2, 4, 'NoteStr', 'Примечание', 0, 300, '');

INSERT INTO sec_user (sec_IdUser, sec_username, sec_password, sec_FullName) VALUES
    (1, 'sa', '', 'Администратор');
