// The import window driven as a person drives it: a statement chosen, read,
// previewed, changed and imported, and the books read back.
#include "Clock.h"
#include "DocTestData.h"
#include "Document_FM.h"
#include "ImportStatement_FM.h"
#include "Keyboard.h"
#include "Main_FM.h"
#include "ModalHelper.h"
#include "TestUtil.h"

#include <QAbstractItemModelTester>
#include <QFile>
#include <QInputDialog>
#include <QMdiSubWindow>
#include <QTimer>

#include <sys/stat.h>

class ImportStatementFM : public DocTest {
protected:
    void SetUp() override {
        DocTest::SetUp();
        setCurrentDateForTesting(QDate(2026, 3, 20));
        startSession();
        m_card = addAccount(QStringLiteral("Карта"), addValuta(QStringLiteral("RUB")));
        exec(QStringLiteral(
            "insert into Category(Caption, [Note]) values ('Зарплата', ''), ('Здоровье', ''),"
            " ('Продукты', '');"
            "insert into TypeContrAgent(Caption) values ('Люди'), ('Магазины');"
            "insert into ContrAgent(Caption, [Note]) values ('Пятёрочка', '');"
            "insert into TypeContrAgentItem values (2, 1)"));
        // What the family did before: bread at Пятёрочка is food.
        for (int i = 0; i < 2; ++i) {
            Doc d;
            d.type = 1;
            d.account = m_card;
            d.value = "100"_m;
            d.category = 3;
            d.contrAgent = 1;
            addDoc(d);
        }
        m_main = std::make_unique<TMainFM>();
        m_main->show();
        activate(m_main.get());
    }
    void TearDown() override {
        m_main.reset();
        setCurrentDateForTesting(QDate());
        DocTest::TearDown();
    }

    QString write(const char* name, const QByteArray& bytes) {
        const QString path = m_dir->filePath(QLatin1String(name));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
        return path;
    }
    // Opens the window from the menu with the keyboard; `step` drives it.
    void importFromMenu(ModalHelper& mh, std::function<void(TImportStatementFM*)> step) {
        mh.onNext<TImportStatementFM>(std::move(step));
        press(Qt::Key_F10);
        press(Qt::Key_Down);
        press(Qt::Key_Return);  // "Импорт выписки…", the first item of "Файл"
        ASSERT_EQ(mh.pending(), 0) << mh.texts().join('\n').toStdString();
        EXPECT_TRUE(mh.unexpected().isEmpty()) << mh.unexpected().join('\n').toStdString();
    }
    // Names the file as a person types it, and leaves the field.
    static void chooseFile(TImportStatementFM* f, const QString& path) {
        EXPECT_EQ(focused(), f->feFile->lineEdit());
        type(path);
        press(Qt::Key_Tab);
    }
    static QStringList rows(TImportStatementFM* f) {
        QStringList out;
        for (int r = 0; r < f->mdPreview->rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < f->mdPreview->columnCount(); ++c) {
                cells << f->mdPreview->index(r, c).data().toString();
            }
            // Amounts are grouped with the Russian (no-break) space.
            out << cells.join(QStringLiteral(" | "))
                       .replace(QLocale(QLocale::Russian).groupSeparator(), QStringLiteral(" "));
        }
        return out;
    }
    static void pick(QComboBox* box, const QString& text) {
        box->setCurrentIndex(box->findText(text));
    }

    int m_card = 0;
    std::unique_ptr<TMainFM> m_main;
};

TEST_F(ImportStatementFM, ACardStatementIsSortedInThePreviewImportedAppliedAndShownInTheBrowser) {
    const QString path =
        write("card.csv",
              "Дата;Сумма;Описание;Получатель;Категория\n"
              "01.02.2026;-350,00;Оплата KOFEYNYA 1234;Кофейня;\n"
              "02.02.2026;-1234,56;Оплата PYATEROCHKA 77;Пятёрочка;\n"
              "03.02.2026;-500,00;Оплата APTEKA 5;Аптека у дома;Красота и здоровье\n"
              "04.02.2026;-200,00;Оплата RIGLA 9;Ригла;Красота и здоровье\n"
              "05.02.2026;85000,00;Зарплата за январь;ООО Ромашка;\n");
    ModalHelper mh;
    importFromMenu(mh, [&](TImportStatementFM* f) {
        QAbstractItemModelTester tester(f->mdPreview,
                                        QAbstractItemModelTester::FailureReportingMode::Fatal);
        chooseFile(f, path);
        f->rxcHeadAccount->setFocus();
        type(QStringLiteral("Ка"));
        EXPECT_EQ(f->rxcHeadAccount->value().toInt(), m_card);
        pick(f->rbReading->cbPayeeColumn, QStringLiteral("Получатель"));
        pick(f->rbReading->cbCategoryColumn, QStringLiteral("Категория"));
        EXPECT_EQ(f->lbCounts->text(), "Строк: 5. Новых: 5, повторов: 0, отклонено: 0.");
        EXPECT_EQ(rows(f).value(1),
                  "02.02.2026 | 1 234,56 | расход | Оплата PYATEROCHKA 77 | "
                  "Пятёрочка | Продукты | новый");

        // Every payee that is no counterparty yet becomes one, but the chemist's:
        // the window offers that, into the type that holds the counterparties.
        EXPECT_TRUE(f->chNewContrAgents->isChecked());
        EXPECT_EQ(f->rxcTypeContrAgent->currentText(), QStringLiteral("Магазины"));
        f->tvPreview->setFocus();
        f->tvPreview->setCurrentIndex(f->mdPreview->index(2, 0));
        press(Qt::Key_Space);
        // The chemist's lines are health from now on.
        mh.onNext<QMessageBox>([](QMessageBox* box) {
            EXPECT_EQ(box->text(), "Запомнить категорию «Здоровье» для следующих импортов?");
            for (QAbstractButton* b : box->buttons()) {
                if (b->text() == QStringLiteral("Описание содержит «Аптека у дома»")) {
                    b->click();
                }
            }
        });
        press(Qt::Key_Return);
        type(QStringLiteral("Зд"));
        press(Qt::Key_Return);
        EXPECT_TRUE(waitFor([&] { return count(QStringLiteral("ImportRule")) == 1; }));
        // The chemist's choice goes to the other line of its bank category.
        EXPECT_EQ(
            rows(f),
            (QStringList{
                "01.02.2026 | 350,00 | расход | Оплата KOFEYNYA 1234 | новый: Кофейня |  | "
                "новый",
                "02.02.2026 | 1 234,56 | расход | Оплата PYATEROCHKA 77 | Пятёрочка | "
                "Продукты | новый",
                "03.02.2026 | 500,00 | расход | Оплата APTEKA 5 | Аптека у дома | Здоровье | "
                "новый",
                "04.02.2026 | 200,00 | расход | Оплата RIGLA 9 | новый: Ригла | Здоровье | "
                "новый",
                "05.02.2026 | 85 000,00 | приход | Зарплата за январь | новый: ООО Ромашка | "
                " | новый",
            }));
        altKey(QChar(u'е'));  // "Провести сразу"
        EXPECT_TRUE(waitFor([&] { return f->chApply->isChecked(); }));
        altKey(QChar(u'и'));  // "Импортировать"
    });
    EXPECT_EQ(mh.texts().last(), "Импортировано документов: 5, все проведены.");

    m_q->setSql(
        QStringLiteral("select d.*, c.Caption as Cat, a.Caption as CA from Document d"
                       " left join Category c on c.IdCategory = d.IdCategory"
                       " left join ContrAgent a on a.IdContrAgent = d.IdContrAgent"
                       " where d.DateDocument < '2026-03-01' order by d.IdDocument"));
    m_q->open();
    QStringList written;
    for (m_q->first(); !m_q->eof(); m_q->next()) {
        auto f = [&](const char* name) { return m_q->field(QLatin1String(name)); };
        written << QStringLiteral("%1 %2 %3 %4 [%5] [%6]")
                       .arg(f("DateDocument").asDate().toString(Qt::ISODate))
                       .arg(f("CodTypeDocument").asInteger())
                       .arg(f("ValueDocument").asMoney().toString())
                       .arg(f("CodTypeStatus").asInteger())
                       .arg(f("Cat").asString(), f("CA").asString());
    }
    EXPECT_EQ(written, (QStringList{"2026-02-01 1 350 2 [] [Кофейня]",
                                    "2026-02-02 1 1234.56 2 [Продукты] [Пятёрочка]",
                                    "2026-02-03 1 500 2 [Здоровье] []",
                                    "2026-02-04 1 200 2 [Здоровье] [Ригла]",
                                    "2026-02-05 2 85000 2 [] [ООО Ромашка]"}));
    m_q->first();
    const int first = m_q->field(QStringLiteral("IdDocument")).asInteger();
    EXPECT_TRUE(m_q->field(QStringLiteral("NoteDocument")).asString().contains("KOFEYNYA"));
    m_q->close();
    EXPECT_EQ(count(QStringLiteral("TypeContrAgentItem"), QStringLiteral("IdTypeContrAgent = 2")),
              4);
    EXPECT_EQ(count(QStringLiteral("ImportBankCategory")), 1);
    EXPECT_EQ(saldo(m_card), "82715.44"_m);
    expectBalancesMatchLedger();

    // The browser lists the statement's days with its first document current.
    auto* browser = qobject_cast<TDocumentFM*>(m_main->MdiArea->activeSubWindow()->widget());
    ASSERT_TRUE(browser);
    EXPECT_EQ(browser->deBegin->date(), QDate(2026, 2, 1));
    EXPECT_EQ(browser->deEnd->date(), QDate(2026, 2, 5));
    EXPECT_EQ(browser->qrDoc.recordCount(), 5);
    EXPECT_EQ(browser->qrDoc.field(QStringLiteral("IdDocument")).asInteger(), first);
}

TEST_F(ImportStatementFM, RefusalsCancelAndRepeatsLeaveTheBooksWholeAndTheWindowAsItWas) {
    QByteArray text = "Дата;Сумма;Описание\n03.02.2026;сто рублей;Текст вместо суммы\n";
    for (int i = 0; i < 600; ++i) {
        text += QStringLiteral("%1;-%2,00;Покупка %2\n")
                    .arg(QDate(2026, 2, 1).addDays(i % 28).toString(QStringLiteral("dd.MM.yyyy")))
                    .arg(i + 1)
                    .toUtf8();
    }
    const QString path = write("long.csv", text);
    ModalHelper mh;
    importFromMenu(mh, [&](TImportStatementFM* f) {
        chooseFile(f, path);
        f->rxcHeadAccount->setValue(QString::number(m_card));
        const QStringList lines = rows(f);
        const auto refusal = std::find_if(lines.begin(), lines.end(), [](const QString& l) {
            return l.contains(QStringLiteral("| отклонен: "));
        });
        ASSERT_NE(refusal, lines.end());
        EXPECT_TRUE(
            refusal->endsWith("| строка 2 |  |  | отклонен: неверная сумма \"сто рублей\""))
            << refusal->toStdString();
        // A refused line refuses the import, and says why in the error box.
        f->btImport->click();
        const QStringList refused = mh.takeTexts();
        EXPECT_EQ(refused.size(), 1);
        EXPECT_TRUE(f->isVisible());
        EXPECT_EQ(f->mdPreview->rowCount(), 601);

        f->chSkipBad->click();
        f->progressDelayMs = 0;
        QTimer::singleShot(0, f->btCancel, &QPushButton::click);
        f->btImport->click();
        EXPECT_EQ(mh.takeTexts(), QStringList{"Импорт отменен. Книги не изменились."});
        EXPECT_EQ(count(QStringLiteral("Document")), 2);
        EXPECT_FALSE(f->ProgressBar1->isVisible());
        EXPECT_TRUE(f->btImport->isEnabled());
        f->btImport->click();
    });
    EXPECT_EQ(count(QStringLiteral("Document")), 602);

    // The same statement again: every line was imported before.
    importFromMenu(mh, [&](TImportStatementFM* f) {
        chooseFile(f, path);
        f->rxcHeadAccount->setValue(QString::number(m_card));
        const ImportPlan& plan = f->mdPreview->plan();
        EXPECT_EQ(plan.count(LineFate::Duplicate), 600);
        const int at =
            int(std::find_if(plan.lines.begin(), plan.lines.end(),
                             [](const PlannedLine& l) { return l.fate == LineFate::Duplicate; }) -
                plan.lines.begin());
        EXPECT_TRUE(rows(f).value(at).endsWith(
            QStringLiteral("| повтор документа %1").arg(plan.lines.value(at).idDuplicateOf)));
        EXPECT_FALSE(f->btImport->isEnabled());
        // A pipe another account left under a statement's name is no file:
        // it is refused at once instead of waiting for a writer.
        const QString fifo = m_dir->filePath(QStringLiteral("pipe.csv"));
        ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        typeInto(f->feFile->lineEdit(), fifo);
        press(Qt::Key_Tab);
        EXPECT_EQ(f->lbCounts->text(), "Выписку не прочитать: " + fifo + " - не обычный файл");
        EXPECT_EQ(f->mdPreview->rowCount(), 0);
        press(Qt::Key_Escape);
    });
    EXPECT_EQ(count(QStringLiteral("Document")), 602);
}

TEST_F(ImportStatementFM, AnUnknownBanksColumnsAreMappedSavedAndKnownTheNextTime) {
    const QString path = write("own.csv",
                               "Когда;Сколько;Что;Статус\n"
                               "01/02/2026;-350.00;Кофейня;\n"
                               "02/02/2026;-10.00;Кофейня;Отказ\n"
                               "03/02/2026;-99.00;Аптека;В обработке\n"
                               "05/02/2026;85000.00;Зарплата;\n");
    ModalHelper mh;
    importFromMenu(mh, [&](TImportStatementFM* f) {
        chooseFile(f, path);
        f->rxcHeadAccount->setValue(QString::number(m_card));
        EXPECT_TRUE(f->lbCounts->text().startsWith("Выписку не прочитать: "));
        EXPECT_TRUE(f->lbCounts->text().endsWith("; выберите его в «Столбцы»"))
            << f->lbCounts->text().toStdString();
        EXPECT_EQ(f->rbReading->cbProfile->currentText(), "нет");
        EXPECT_EQ(f->rbReading->cbSeparator->currentData().toString(), ";");
        pick(f->rbReading->cbDateColumn, QStringLiteral("Когда"));
        pick(f->rbReading->cbAmountColumn, QStringLiteral("Сколько"));
        pick(f->rbReading->cbDescriptionColumn, QStringLiteral("Что"));
        pick(f->rbReading->cbStatusColumn, QStringLiteral("Статус"));
        typeInto(f->rbReading->cbDateFormat->lineEdit(), QStringLiteral("dd/MM/yyyy"));
        press(Qt::Key_Tab);
        f->rxcHeadAccount->setValue(QString::number(m_card));
        EXPECT_EQ(f->lbCounts->text(),
                  "Строк: 2. Новых: 2, повторов: 0, отклонено: 0, не прошли в банке: 1, "
                  "в обработке: 1.");
        mh.onNext<QInputDialog>([](QInputDialog* d) {
            d->setTextValue(QStringLiteral("Мой банк"));
            d->accept();
        });
        f->rbReading->btSaveProfile->click();
        press(Qt::Key_Escape);
    });
    importFromMenu(mh, [&](TImportStatementFM* f) {
        chooseFile(f, path);
        EXPECT_EQ(f->rbReading->cbProfile->currentText(), "Мой банк");
        EXPECT_EQ(f->rbReading->cbDateColumn->currentText(), "Когда");
        f->rxcHeadAccount->setValue(QString::number(m_card));
        EXPECT_EQ(f->mdPreview->rowCount(), 2);
        press(Qt::Key_Escape);
    });
}
