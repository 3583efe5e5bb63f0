#include "CommonVelDocEdit_FM.h"
#include "DbSchema.h"
#include "Dict_FM.h"
#include "Document_FM.h"
#include "Keyboard.h"
#include "Login_FM.h"
#include "Main_FM.h"
#include "ModalHelper.h"
#include "Settings.h"
#include "TestDb.h"
#include "TestUtil.h"
#include "ValutaEdit_FM.h"

#include <QMdiSubWindow>
#include <QToolButton>

namespace {

class ChildA : public QWidget {
    Q_OBJECT
};
class ChildB : public ChildA {
    Q_OBJECT
};

}  // namespace

class MainForm : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        startSession();
        m_form = std::make_unique<TMainFM>();
        m_form->show();
    }
    void TearDown() override {
        m_form.reset();
        DbTest::TearDown();
    }
    std::unique_ptr<TMainFM> m_form;
};

TEST_F(MainForm, OffersEveryCommandInItsOrder) {
    struct Expected {
        QAction* action;
        const char* name;
        QString category, caption, hint;
        bool image;
    };
    TMainFM& f = *m_form;
    const QList<Expected> expected = {
        {f.acExit, "acExit", "Файл", "Выход", "Выход из программы", false},
        {f.acValuta, "acValuta", "Справочники", "Валюта", "Справочник валют", false},
        {f.acHeadAccount, "acHeadAccount", "Справочники", "Счета", "Справочник счетов", false},
        {f.acContrAgent, "acContrAgent", "Справочники", "Контрагенты", "Справочник контрагентов",
         false},
        {f.acCategory, "acCategory", "Справочники", "Категории", "Справочник категорий", false},
        {f.acDocument, "acDocument", "Окна", "", "Документы", true},
        {f.acColor, "acColor", "Справочники", "Статусы документов",
         "Справочник статусов документов", false},
        {f.acSaldo, "acSaldo", "Операции", "Пересчет остатков", "Пересчет остатков", false},
        {f.acCloseActiveWindow, "acCloseActiveWindow", "Окна", "", "Закрыть активное окно", true},
        {f.acStat, "acStat", "Окна", "", "Статистика", true},
        {f.acReport, "acReport", "Окна", "", "Отчеты", true},
        {f.acCurrencyRate, "acCurrencyRate", "Справочники", "Курсы валют",
         "Справочник курсов валют", false},
        {f.acReportCategories, "acReportCategories", "Отчеты", "Расходы по категориям",
         "Расходы и доходы по категориям за период", false},
        {f.acReportMonths, "acReportMonths", "Отчеты", "Доходы и расходы по месяцам",
         "Доходы, расходы и их разница по месяцам", false},
        {f.acReportContrAgents, "acReportContrAgents", "Отчеты", "По контрагентам",
         "Расходы и доходы по контрагентам за период", false},
        {f.acReportBalances, "acReportBalances", "Отчеты", "Остатки",
         "Остатки счетов и итог по валюте за период", false},
        {f.acReportStatement, "acReportStatement", "Отчеты", "Выписка по счету",
         "Движения счета с остатком после каждого", false},
        {f.acReportNetWorth, "acReportNetWorth", "Отчеты", "Капитал",
         "Все счета в одной валюте по курсам", false},
        {f.acBudget, "acBudget", "Отчеты", "Бюджет", "План расходов по категориям на месяц",
         false},
        {f.acReportPlanFact, "acReportPlanFact", "Отчеты", "План и факт",
         "Расходы по категориям против плана бюджета", false},
        {f.acExport, "acExport", "Файл", "Экспорт…", "Выгрузить документы в файл CSV или QIF",
         false},
        {f.acBackup, "acBackup", "Файл", "Резервная копия…", "Сделать копию файла и проверить его",
         false},
        {f.acImportRules, "acImportRules", "Справочники", "Правила импорта",
         "Правила, по которым выписке подбираются категории", false},
        {f.acImportStatement, "acImportStatement", "Файл", "Импорт выписки…",
         "Новые документы из банковской выписки", false},
        {f.acRegular, "acRegular", "Операции", "Регулярные платежи",
         "Документы, которые создаются по расписанию", false},
    };
    const QList<QAction*> all = f.actions();
    ASSERT_EQ(all.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        const Expected& e = expected[i];
        SCOPED_TRACE(e.name);
        EXPECT_EQ(all[i], e.action);
        EXPECT_EQ(e.action->objectName(), QString::fromLatin1(e.name));
        EXPECT_EQ(e.action->property("category").toString(), e.category);
        EXPECT_EQ(e.action->text(), e.caption);
        EXPECT_EQ(e.action->toolTip(), e.hint);
        EXPECT_TRUE(e.action->statusTip().isEmpty());  // nothing writes to the status bar
        EXPECT_EQ(!e.action->icon().isNull(), e.image);
        EXPECT_TRUE(e.action->shortcut().isEmpty());
    }
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Dorsanti"));
}

TEST_F(MainForm, MenusAndToolBarShowWhatTheyShould) {
    TMainFM& f = *m_form;
    QStringList menus;
    QList<QAction*> menuActions;
    for (QAction* top : f.MainMenu1->actions()) {
        menus << top->text();
        menuActions << top->menu()->actions();
    }
    EXPECT_EQ(menus, (QStringList{QStringLiteral("Файл"), QStringLiteral("Справочники"),
                                  QStringLiteral("Операции"), QStringLiteral("Отчеты")}));
    // "Выход" comes last, after a separator.
    ASSERT_GE(menuActions.size(), 5);
    EXPECT_TRUE(menuActions[3]->isSeparator());
    menuActions.removeAt(3);
    EXPECT_EQ(menuActions,
              (QList<QAction*>{f.acImportStatement, f.acExport, f.acBackup, f.acExit, f.acValuta,
                               f.acHeadAccount, f.acContrAgent, f.acCategory, f.acColor,
                               f.acCurrencyRate, f.acImportRules, f.acSaldo, f.acRegular,
                               f.acReportCategories, f.acReportMonths, f.acReportContrAgents,
                               f.acReportBalances, f.acReportStatement, f.acReportNetWorth,
                               f.acBudget, f.acReportPlanFact}));

    EXPECT_EQ(f.ToolBar1->iconSize(), QSize(32, 32));
    auto button = [&](QAction* a) { return f.ToolBar1->widgetForAction(a); };
    ASSERT_TRUE(button(f.acDocument));
    EXPECT_TRUE(button(f.acDocument)->isVisible());
    EXPECT_TRUE(button(f.acCloseActiveWindow)->isVisible());
    // The statistics and report commands take no room and nothing leads to them.
    EXPECT_FALSE(f.acStat->isVisible());
    EXPECT_FALSE(f.acReport->isVisible());
    EXPECT_FALSE(button(f.acStat) && button(f.acStat)->isVisible());
    EXPECT_FALSE(button(f.acReport) && button(f.acReport)->isVisible());
    EXPECT_LT(button(f.acCloseActiveWindow)->x() - button(f.acDocument)->geometry().right(), 20);
    EXPECT_FALSE(menuActions.contains(f.acStat) || menuActions.contains(f.acReport));
    EXPECT_TRUE(f.StatusBar1->isVisible());
}

TEST_F(MainForm, ShowChildFormKeepsOneWindowPerExactClass) {
    TMainFM& f = *m_form;
    f.ShowChildForm<ChildA>();
    ASSERT_EQ(f.MdiArea->subWindowList().size(), 1);
    QMdiSubWindow* a = f.MdiArea->subWindowList().first();
    EXPECT_TRUE(a->isMaximized());
    f.ShowChildForm<ChildB>();  // a subclass is another class
    ASSERT_EQ(f.MdiArea->subWindowList().size(), 2);
    EXPECT_EQ(f.MdiArea->activeSubWindow()->widget()->metaObject(), &ChildB::staticMetaObject);

    a->showMinimized();
    f.ShowChildForm<ChildA>();
    EXPECT_EQ(f.MdiArea->subWindowList().size(), 2);
    EXPECT_EQ(f.MdiArea->activeSubWindow(), a);
    EXPECT_TRUE(a->isMinimized());
}

TEST_F(MainForm, ClosesOnlyTheActiveChild) {
    TMainFM& f = *m_form;
    f.acCloseActiveWindow->trigger();  // nothing to close
    EXPECT_TRUE(f.isVisible());
    f.ShowChildForm<ChildA>();
    f.ShowChildForm<ChildB>();
    QPointer<QMdiSubWindow> a = f.MdiArea->subWindowList().at(0);
    QPointer<QMdiSubWindow> b = f.MdiArea->subWindowList().at(1);
    f.MdiArea->setActiveSubWindow(a);
    f.acCloseActiveWindow->trigger();
    EXPECT_TRUE(waitFor([&] { return a.isNull(); }));
    EXPECT_FALSE(b.isNull());
    EXPECT_EQ(f.MdiArea->subWindowList().size(), 1);
}

TEST_F(MainForm, ClosingStampsTheSessionEndOnce) {
    exec(
        QStringLiteral("insert into sec_Session(sec_IdUser, sec_Start) values(1, '2025-01-01 "
                       "00:00:00')"));
    m_form->ShowChildForm<ChildA>();
    ModalHelper mh;
    m_form->acExit->trigger();
    EXPECT_FALSE(m_form->isVisible());
    EXPECT_TRUE(mh.boxes().isEmpty());
    EXPECT_EQ(count(QStringLiteral("sec_Session"), QStringLiteral("sec_End is not null")), 1);
    EXPECT_EQ(
        count(QStringLiteral("sec_Session"),
              QStringLiteral("sec_End is not null and sec_IdSession = %1").arg(m_dm->IdSession)),
        1);
    const QVariant end = scalar(QStringLiteral("select sec_End from sec_Session"));
    m_form->close();  // a second close does not stamp again
    EXPECT_EQ(scalar(QStringLiteral("select sec_End from sec_Session")), end);
}

TEST_F(MainForm, AFailingStampKeepsTheWindowOpen) {
    exec(
        QStringLiteral("create trigger no_end before update on sec_Session "
                       "begin select raise(abort, 'the disk went away'); end"));
    ModalHelper mh;
    m_form->close();
    EXPECT_TRUE(m_form->isVisible());
    ASSERT_EQ(mh.boxes().size(), 1);
    EXPECT_EQ(mh.boxes().first().icon, QMessageBox::Critical);
    EXPECT_EQ(mh.boxes().first().text, QStringLiteral("the disk went away"));
    EXPECT_EQ(count(QStringLiteral("sec_Session"), QStringLiteral("sec_End is not null")), 0);

    exec(QStringLiteral("drop trigger no_end"));
    m_form->close();
    EXPECT_FALSE(m_form->isVisible());
    EXPECT_EQ(count(QStringLiteral("sec_Session"), QStringLiteral("sec_End is not null")), 1);
}

// F10 and a bare Alt open the menus, arrows and Enter run a command; F6 goes
// to the tool bar, whose buttons Space and Enter press, and back.
TEST_F(MainForm, WorksFromTheKeyboard) {
    TMainFM& f = *m_form;
    activate(&f);
    ModalHelper mh;
    mh.onNext<TDictFM>([&](TDictFM* d) {
        activate(d);
        EXPECT_EQ(d->windowTitle(), QStringLiteral("Справочник валют"));
        EXPECT_EQ(focused(), d->dbgDict);
        press(Qt::Key_Insert);
        EXPECT_EQ(d->qrDict->field(QStringLiteral("Caption")).asString(), QStringLiteral("EUR"));
        press(Qt::Key_Escape);
    });
    mh.onNext<TValutaEditFM>([&](TValutaEditFM* e) {
        activate(e);
        EXPECT_EQ(focused(), e->Edit1);
        type(QStringLiteral("EUR"));
        press(Qt::Key_Tab);
        type(QStringLiteral("Евро"));
        press(Qt::Key_Return);  // in a text field Enter saves nothing
        EXPECT_TRUE(e->isVisible());
        press(Qt::Key_Tab);
        EXPECT_EQ(focused(), e->BitBtn1);
        press(Qt::Key_Return);
    });
    press(Qt::Key_F10);
    EXPECT_EQ(f.MainMenu1->activeAction(), f.MainMenu1->actions().at(0));
    press(Qt::Key_Right);
    EXPECT_EQ(f.MainMenu1->activeAction(), f.MainMenu1->actions().at(1));
    press(Qt::Key_Return);  // "Валюта", the first item
    EXPECT_EQ(mh.pending(), 0);
    EXPECT_EQ(count(QStringLiteral("Valuta"),
                    QStringLiteral("Caption = 'EUR' and FullCaption = 'Евро'")),
              1);

    press(Qt::Key_F6);
    EXPECT_EQ(focused(), f.ToolBar1->widgetForAction(f.acDocument));
    press(Qt::Key_Space);
    ASSERT_EQ(f.MdiArea->subWindowList().size(), 1);
    auto* browser = qobject_cast<TDocumentFM*>(f.MdiArea->subWindowList().first()->widget());
    ASSERT_TRUE(browser);
    EXPECT_TRUE(waitFor([&] { return focused() == browser->tvDocs; }));
    press(Qt::Key_F6);
    press(Qt::Key_Tab);
    EXPECT_EQ(focused(), f.ToolBar1->widgetForAction(f.acCloseActiveWindow));
    press(Qt::Key_Return);
    EXPECT_TRUE(waitFor([&] { return f.MdiArea->subWindowList().isEmpty(); }));

    press(Qt::Key_Alt);
    EXPECT_EQ(f.MainMenu1->activeAction(), f.MainMenu1->actions().at(0));
    press(Qt::Key_Down);
    press(Qt::Key_Up);      // from the first item round to the last
    press(Qt::Key_Return);  // "Выход"
    EXPECT_FALSE(f.isVisible());
    EXPECT_EQ(
        count(QStringLiteral("sec_Session"),
              QStringLiteral("sec_End is not null and sec_IdSession = %1").arg(m_dm->IdSession)),
        1);
    EXPECT_TRUE(mh.unexpected().isEmpty()) << mh.unexpected().join('\n').toStdString();
}

// A new family's first minutes: the file the first start makes, Enter at the
// sign-in, and a first expense entered and applied from the keyboard with
// the starter books, no reference book opened before.
TEST_F(MainForm, AFamilysFirstExpenseNeedsNoReferenceBookOpened) {
    m_form.reset();
    m_dm->ADOConnection1.close();
    const QString path = m_dir->filePath(QStringLiteral("first.db"));
    CreateDatabaseFile(path, NewFileContents::StarterBooks);
    reopenTestConnection(path);
    EXPECT_EQ(count(QStringLiteral("Document")), 0);
    const QString ini = m_dir->filePath(QStringLiteral("dorsanti.ini"));
    setSettingsFilePath(ini);
    QFile settings(ini);
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write(QStringLiteral("[General]\nUserName=sa\nDBPath=%1\n").arg(path).toUtf8());
    settings.close();

    ModalHelper mh;
    mh.onNext<TLoginFM>([](TLoginFM* f) {
        activate(f);
        EXPECT_EQ(focused(), f->edPass);
        press(Qt::Key_Return);
    });
    ASSERT_TRUE(ShowLoginFM()) << mh.texts().join(QLatin1Char('|')).toStdString();
    setSettingsFilePath(QString());
    TMainFM form;
    form.show();
    activate(&form);
    press(Qt::Key_F6);
    press(Qt::Key_Space);  // "Документы"
    ASSERT_EQ(form.MdiArea->subWindowList().size(), 1);
    auto* browser = qobject_cast<TDocumentFM*>(form.MdiArea->subWindowList().first()->widget());
    ASSERT_TRUE(browser);
    ASSERT_TRUE(waitFor([&] { return focused() == browser->tvDocs; }));
    press(Qt::Key_Home);
    press(Qt::Key_Right);
    press(Qt::Key_End);
    ASSERT_EQ(browser->selectedNode()->Caption, QStringLiteral("Расход"));

    mh.onNext<TCommonVelDocEditFM>([](TCommonVelDocEditFM* e) {
        activate(e);
        press(Qt::Key_Tab);
        type(QStringLiteral("350"));
        press(Qt::Key_Tab);
        EXPECT_EQ(focused(), e->rxcHeadAccount);
        type(QStringLiteral("Нал"));
        press(Qt::Key_Tab);
        EXPECT_EQ(focused(), e->rxcCategory);
        type(QStringLiteral("Прод"));
        for (int i = 0; i < 3; ++i) {
            press(Qt::Key_Tab);
        }
        EXPECT_EQ(focused(), e->BitBtn1);
        press(Qt::Key_Return);
    });
    press(Qt::Key_Insert);
    EXPECT_EQ(mh.pending(), 0);
    const QString expense = QStringLiteral(
        "CodTypeDocument = 1 and ValueDocument = 350 and IdHeadAccount = (select IdHeadAccount "
        "from HeadAccount where Caption = 'Наличные') and IdCategory = (select IdCategory from "
        "Category where Caption = 'Продукты')");
    ASSERT_EQ(count(QStringLiteral("Document"), expense), 1);
    press(Qt::Key_Tab);
    press(Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(
        count(QStringLiteral("Document"), expense + QStringLiteral(" and CodTypeStatus = 2")), 1);
    EXPECT_EQ(money(QStringLiteral("select Saldo from HeadAccount where Caption = 'Наличные'")),
              Money::fromInteger(-350));
    EXPECT_TRUE(mh.unexpected().isEmpty()) << mh.unexpected().join('\n').toStdString();
}

#include "test_Main_FM.moc"
