#include "ImportRuleEdit_FM.h"
#include "ImportRules_FM.h"
#include "MainWindowTest.h"

class ImportRulesFM : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        exec(
            QStringLiteral("insert into Category(Caption, [Note]) values ('Кафе', ''),"
                           " ('Продукты', '');"
                           "insert into ContrAgent(Caption, [Note]) values ('Пятёрочка', '');"
                           // a file made before imports had rules
                           "drop table ImportRule"));
    }
    // The rules as "condition -> category" in the window and in the file.
    static QStringList shown(TImportRulesFM* f) {
        QStringList rows;
        for (int i = 0; i < f->dtsRules->recordCount(); ++i) {
            rows << f->dtsRules->value(i, QStringLiteral("Condition")).toString() +
                        QStringLiteral(" -> ") +
                        f->dtsRules->value(i, QStringLiteral("Category")).toString();
        }
        return rows;
    }
    QString stored() {
        return scalar(QStringLiteral(
                          "select %1 from (select coalesce("
                          "r.DescriptionContains, ca.Caption) || ' -> ' || c.Caption as R"
                          " from ImportRule r join Category c on c.IdCategory = r.IdCategory"
                          " left join ContrAgent ca using (IdContrAgent) order by R) x")
                          .arg(joinedSql(QStringLiteral("R"), QStringLiteral("; "))))
            .toString();
    }
};

// Insert, Enter and Delete as in the reference books, from the keyboard: a
// rule by description and one by counterparty added to a file that had no
// rules yet, one changed, one deleted after a question.
TEST_F(ImportRulesFM, AddsChangesAndDeletesRulesFromTheKeyboard) {
    ModalHelper mh;
    mh.onNext<TImportRulesFM>([&](TImportRulesFM* f) {
        activate(f);
        EXPECT_EQ(f->dtsRules->recordCount(), 0);
        EXPECT_EQ(focused(), f->dbgRules);
        press(Qt::Key_Insert);
        press(Qt::Key_Insert);
        EXPECT_EQ(shown(f), (QStringList{QStringLiteral("Описание содержит «кофейня» -> Кафе"),
                                         QStringLiteral("Контрагент «Пятёрочка» -> Продукты")}));
        EXPECT_EQ(f->dtsRules->recNo(), 1);  // on the rule just added
        f->dtsRules->first();
        press(Qt::Key_Return);
        EXPECT_EQ(stored(), QStringLiteral("Пятёрочка -> Продукты; кофейня -> Продукты"));
        press(Qt::Key_Delete);  // "Нет"
        EXPECT_EQ(f->dtsRules->recordCount(), 2);
        press(Qt::Key_Delete);  // "Да"
        EXPECT_EQ(shown(f), (QStringList{QStringLiteral("Контрагент «Пятёрочка» -> Продукты")}));
        press(Qt::Key_Escape);
    });
    mh.onNext<TImportRuleEditFM>([&](TImportRuleEditFM* e) {
        activate(e);
        EXPECT_EQ(e->windowTitle(), QStringLiteral("Добавить правило"));
        EXPECT_EQ(focused(), e->edText);
        type(QStringLiteral("кофейня"));
        e->BitBtn1->setFocus();
        press(Qt::Key_Return);  // no category yet
        EXPECT_EQ(focused(), e->rxcCategory);
        type(QStringLiteral("Каф"));
        e->BitBtn1->setFocus();
        press(Qt::Key_Return);
    });
    mh.onNext<TImportRuleEditFM>([&](TImportRuleEditFM* e) {
        activate(e);
        altKey(u'к');  // "Контрагент"
        EXPECT_TRUE(waitFor([&] { return e->rbContrAgent->isChecked(); }));
        EXPECT_FALSE(e->edText->isEnabled());
        press(Qt::Key_Tab);
        EXPECT_EQ(focused(), e->rxcContrAgent);
        type(QStringLiteral("Пят"));
        altKey(u'т');  // "Категория"
        EXPECT_EQ(focused(), e->rxcCategory);
        type(QStringLiteral("Прод"));
        press(Qt::Key_Tab);
        EXPECT_EQ(focused(), e->BitBtn1);
        press(Qt::Key_Space);
    });
    mh.onNext<TImportRuleEditFM>([&](TImportRuleEditFM* e) {
        activate(e);
        EXPECT_EQ(e->windowTitle(), QStringLiteral("Изменить правило"));
        EXPECT_EQ(e->edText->text(), QStringLiteral("кофейня"));
        altKey(u'т');
        type(QStringLiteral("Прод"));
        e->BitBtn1->setFocus();
        press(Qt::Key_Return);
    });
    mh.answer(QMessageBox::No);
    mh.answer(QMessageBox::Yes);
    m_main->acImportRules->trigger();

    EXPECT_EQ(mh.pending(), 0);
    EXPECT_TRUE(mh.unexpected().isEmpty()) << mh.unexpected().join('\n').toStdString();
    EXPECT_EQ(mh.texts(),
              (QStringList{QStringLiteral("Выберите категорию."),
                           QStringLiteral("Удалить правило \"Описание содержит «кофейня»\"?"),
                           QStringLiteral("Удалить правило \"Описание содержит «кофейня»\"?")}));
    EXPECT_EQ(stored(), QStringLiteral("Пятёрочка -> Продукты"));
}
