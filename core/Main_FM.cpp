#include "Main_FM.h"

#include "Backup_FM.h"
#include "BudgetWindow.h"
#include "Category_FM.h"
#include "Color_FM.h"
#include "ContrAgent_FM.h"
#include "CurrencyRate_FM.h"
#include "DailyBackup.h"
#include "Dialogs.h"
#include "Dict_FM.h"
#include "Document_FM.h"
#include "ExportBooks_FM.h"
#include "Icons.h"
#include "ImportRules_FM.h"
#include "ImportStatement_FM.h"
#include "Main_DM.h"
#include "PlanFactReportWindow.h"
#include "RegularDocuments_FM.h"
#include "ReportWindows.h"
#include "Report_FM.h"
#include "Saldo_FM.h"
#include "Stat_FM.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMdiSubWindow>
#include <QShortcut>
#include <QTimer>
#include <QToolButton>

TMainFM::TMainFM(QWidget* parent) : QMainWindow(parent), ImageList1(QSize(32, 32)) {
    resize(870, 640);
    ImageList1.add(Icons::documents());
    ImageList1.add(Icons::closeWindow());
    ImageList1.add(Icons::statistics());
    ImageList1.add(Icons::reports());

    acExit = addAction(QStringLiteral("acExit"), QStringLiteral("Файл"), QStringLiteral("Выход"),
                       QStringLiteral("Выход из программы"), -1, &TMainFM::acExitExecute);
    acValuta = addAction(QStringLiteral("acValuta"), QStringLiteral("Справочники"),
                         QStringLiteral("Валюта"), QStringLiteral("Справочник валют"), -1,
                         &TMainFM::acValutaExecute);
    acHeadAccount = addAction(QStringLiteral("acHeadAccount"), QStringLiteral("Справочники"),
                              QStringLiteral("Счета"), QStringLiteral("Справочник счетов"), -1,
                              &TMainFM::acHeadAccountExecute);
    acContrAgent =
        addAction(QStringLiteral("acContrAgent"), QStringLiteral("Справочники"),
                  QStringLiteral("Контрагенты"), QStringLiteral("Справочник контрагентов"), -1,
                  &TMainFM::acContrAgentExecute);
    acCategory = addAction(QStringLiteral("acCategory"), QStringLiteral("Справочники"),
                           QStringLiteral("Категории"), QStringLiteral("Справочник категорий"), -1,
                           &TMainFM::acCategoryExecute);
    acDocument = addAction(QStringLiteral("acDocument"), QStringLiteral("Окна"), QString(),
                           QStringLiteral("Документы"), 0, &TMainFM::acDocumentExecute);
    acColor =
        addAction(QStringLiteral("acColor"), QStringLiteral("Справочники"),
                  QStringLiteral("Статусы документов"),
                  QStringLiteral("Справочник статусов документов"), -1, &TMainFM::acColorExecute);
    acSaldo = addAction(QStringLiteral("acSaldo"), QStringLiteral("Операции"),
                        QStringLiteral("Пересчет остатков"), QStringLiteral("Пересчет остатков"),
                        -1, &TMainFM::acSaldoExecute);
    acCloseActiveWindow = addAction(QStringLiteral("acCloseActiveWindow"), QStringLiteral("Окна"),
                                    QString(), QStringLiteral("Закрыть активное окно"), 1,
                                    &TMainFM::acCloseActiveWindowExecute);
    acStat = addAction(QStringLiteral("acStat"), QStringLiteral("Окна"), QString(),
                       QStringLiteral("Статистика"), 2, &TMainFM::acStatExecute);
    acReport = addAction(QStringLiteral("acReport"), QStringLiteral("Окна"), QString(),
                         QStringLiteral("Отчеты"), 3, &TMainFM::acReportExecute);
    // The statistics and report windows are not offered.
    acStat->setVisible(false);
    acReport->setVisible(false);
    acCurrencyRate =
        addAction(QStringLiteral("acCurrencyRate"), QStringLiteral("Справочники"),
                  QStringLiteral("Курсы валют"), QStringLiteral("Справочник курсов валют"), -1,
                  &TMainFM::acCurrencyRateExecute);
    const QString reports = QStringLiteral("Отчеты");
    acReportCategories = addAction(QStringLiteral("acReportCategories"), reports,
                                   QStringLiteral("Расходы по категориям"),
                                   QStringLiteral("Расходы и доходы по категориям за период"), -1,
                                   &TMainFM::acReportCategoriesExecute);
    acReportMonths = addAction(QStringLiteral("acReportMonths"), reports,
                               QStringLiteral("Доходы и расходы по месяцам"),
                               QStringLiteral("Доходы, расходы и их разница по месяцам"), -1,
                               &TMainFM::acReportMonthsExecute);
    acReportContrAgents = addAction(QStringLiteral("acReportContrAgents"), reports,
                                    QStringLiteral("По контрагентам"),
                                    QStringLiteral("Расходы и доходы по контрагентам за период"),
                                    -1, &TMainFM::acReportContrAgentsExecute);
    acReportBalances =
        addAction(QStringLiteral("acReportBalances"), reports, QStringLiteral("Остатки"),
                  QStringLiteral("Остатки счетов и итог по валюте за период"), -1,
                  &TMainFM::acReportBalancesExecute);
    acReportStatement =
        addAction(QStringLiteral("acReportStatement"), reports, QStringLiteral("Выписка по счету"),
                  QStringLiteral("Движения счета с остатком после каждого"), -1,
                  &TMainFM::acReportStatementExecute);
    acReportNetWorth =
        addAction(QStringLiteral("acReportNetWorth"), reports, QStringLiteral("Капитал"),
                  QStringLiteral("Все счета в одной валюте по курсам"), -1,
                  &TMainFM::acReportNetWorthExecute);
    acBudget = addAction(QStringLiteral("acBudget"), reports, QStringLiteral("Бюджет"),
                         QStringLiteral("План расходов по категориям на месяц"), -1,
                         &TMainFM::acBudgetExecute);
    acReportPlanFact =
        addAction(QStringLiteral("acReportPlanFact"), reports, QStringLiteral("План и факт"),
                  QStringLiteral("Расходы по категориям против плана бюджета"), -1,
                  &TMainFM::acReportPlanFactExecute);
    const QString fileMenu = QStringLiteral("Файл");
    acExport = addAction(QStringLiteral("acExport"), fileMenu, QStringLiteral("Экспорт…"),
                         QStringLiteral("Выгрузить документы в файл CSV или QIF"), -1,
                         &TMainFM::acExportExecute);
    acBackup = addAction(QStringLiteral("acBackup"), fileMenu, QStringLiteral("Резервная копия…"),
                         QStringLiteral("Сделать копию файла и проверить его"), -1,
                         &TMainFM::acBackupExecute);
    acImportRules = addAction(QStringLiteral("acImportRules"), QStringLiteral("Справочники"),
                              QStringLiteral("Правила импорта"),
                              QStringLiteral("Правила, по которым выписке подбираются категории"),
                              -1, &TMainFM::acImportRulesExecute);

    acImportStatement =
        addAction(QStringLiteral("acImportStatement"), fileMenu, QStringLiteral("Импорт выписки…"),
                  QStringLiteral("Новые документы из банковской выписки"), -1,
                  &TMainFM::acImportStatementExecute);
    acRegular = addAction(QStringLiteral("acRegular"), QStringLiteral("Операции"),
                          QStringLiteral("Регулярные платежи"),
                          QStringLiteral("Документы, которые создаются по расписанию"), -1,
                          &TMainFM::acRegularExecute);

    MainMenu1 = menuBar();
    QMenu* file = MainMenu1->addMenu(fileMenu);
    file->addActions({acImportStatement, acExport, acBackup});
    file->addSeparator();
    file->addAction(acExit);
    QMenu* books = MainMenu1->addMenu(QStringLiteral("Справочники"));
    books->addActions({acValuta, acHeadAccount, acContrAgent, acCategory, acColor, acCurrencyRate,
                       acImportRules});
    QMenu* operations = MainMenu1->addMenu(QStringLiteral("Операции"));
    operations->addActions({acSaldo, acRegular});
    QMenu* reportMenu = MainMenu1->addMenu(reports);
    reportMenu->addActions({acReportCategories, acReportMonths, acReportContrAgents,
                            acReportBalances, acReportStatement, acReportNetWorth});
    reportMenu->addActions({acBudget, acReportPlanFact});

    ToolBar1 = addToolBar(QStringLiteral("ToolBar1"));
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(QSize(32, 32));
    ToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
    ToolBar1->setContextMenuPolicy(Qt::PreventContextMenu);
    ToolBar1->addAction(acDocument);
    ToolBar1->addAction(acStat);
    ToolBar1->addAction(acReport);
    ToolBar1->addSeparator();
    ToolBar1->addAction(acCloseActiveWindow);
    setContextMenuPolicy(Qt::NoContextMenu);
    // The documents and close-window commands live on the tool bar only, so
    // its buttons take the focus: F6 goes there and back, Tab moves between
    // them, Space or Enter presses one.
    for (QAction* a : ToolBar1->actions()) {
        if (QWidget* b = ToolBar1->widgetForAction(a); qobject_cast<QToolButton*>(b)) {
            b->setFocusPolicy(Qt::TabFocus);
            b->installEventFilter(this);
        }
    }
    // Keys of the window itself, not commands: the actions keep no shortcuts.
    // A bare Alt opens the menu bar through the style; F10 does it here.
    auto* menuKey = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(menuKey, &QShortcut::activated, this, [this] {
        const QList<QAction*> menus = MainMenu1->actions();
        if (!menus.isEmpty()) {
            MainMenu1->setActiveAction(menus.first());
        }
    });
    // A bare Alt puts the menu bar in keyboard mode with its first title
    // current but closed, which some styles do not show; the menu opens
    // then, as with F10 (see eventFilter).
    qApp->installEventFilter(this);
    auto* toolBarKey = new QShortcut(QKeySequence(Qt::Key_F6), this);
    connect(toolBarKey, &QShortcut::activated, this, &TMainFM::ToolBarFocusKey);

    MdiArea = new QMdiArea(this);
    MdiArea->setObjectName(QStringLiteral("MdiArea"));
    MdiArea->setBackground(QColor(171, 171, 171));
    // A child keeps its own state when it is brought forward.
    MdiArea->setOption(QMdiArea::DontMaximizeSubWindowOnActivation);
    setCentralWidget(MdiArea);
    // The window opens with the focus in the child area, not on a button.
    MdiArea->setFocus();

    StatusBar1 = statusBar();
    StatusBar1->setSizeGripEnabled(true);

    FormCreate();
}

QAction* TMainFM::addAction(const QString& name, const QString& category, const QString& caption,
                            const QString& hint, int image, void (TMainFM::*handler)()) {
    auto* action = new QAction(caption, this);
    action->setObjectName(name);
    action->setProperty("category", category);
    // The hint is a tool-tip only: nothing writes to the status bar.
    action->setToolTip(hint);
    if (image >= 0) {
        action->setIcon(ImageList1.icon(image));
    }
    connect(action, &QAction::triggered, this,
            [this, handler] { guarded([this, handler] { (this->*handler)(); }); });
    QMainWindow::addAction(action);
    return action;
}

void TMainFM::ToolBarFocusKey() {
    QWidget* focus = QApplication::focusWidget();
    if (focus && ToolBar1->isAncestorOf(focus)) {
        QWidget* back = m_focusBeforeToolBar;
        if (!back || !back->isVisible() || !back->isEnabled()) {
            QMdiSubWindow* active = MdiArea->activeSubWindow();
            back = active && active->widget() ? active->widget() : MdiArea;
        }
        back->setFocus(Qt::ShortcutFocusReason);
        return;
    }
    for (QAction* a : ToolBar1->actions()) {
        QWidget* b = ToolBar1->widgetForAction(a);
        if (b && b->isVisible() && b->isEnabled() && b->focusPolicy() != Qt::NoFocus) {
            m_focusBeforeToolBar = focus;
            b->setFocus(Qt::ShortcutFocusReason);
            return;
        }
    }
}

bool TMainFM::eventFilter(QObject* watched, QEvent* event) {
    // Alt pressed and released with nothing between, in this window while no
    // menu is open or marked: a bare Alt.
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease ||
        event->type() == QEvent::MouseButtonPress) {
        const auto* key =
            event->type() == QEvent::MouseButtonPress ? nullptr : static_cast<QKeyEvent*>(event);
        const bool alt = key && key->key() == Qt::Key_Alt;
        if (event->type() == QEvent::KeyPress && alt) {
            m_bareAlt = QApplication::activeWindow() == this &&
                        !QApplication::activePopupWidget() && !MainMenu1->activeAction();
        } else if (event->type() == QEvent::KeyRelease && alt && m_bareAlt) {
            m_bareAlt = false;
            // After the menu bar has taken the same key.
            QTimer::singleShot(0, this, [this] {
                const QList<QAction*> menus = MainMenu1->actions();
                QAction* title = MainMenu1->activeAction();
                if (!title && !menus.isEmpty()) {
                    title = menus.first();
                }
                if (title && !QApplication::activePopupWidget()) {
                    MainMenu1->setActiveAction(title);
                }
            });
        } else if (!alt && event->type() != QEvent::KeyRelease) {
            m_bareAlt = false;
        }
    }
    auto* button = qobject_cast<QToolButton*>(watched);
    if (button && event->type() == QEvent::KeyPress && ToolBar1->isAncestorOf(button)) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() & ~Qt::KeypadModifier) {
            return false;
        }
        switch (key->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
                button->click();
                return true;
            case Qt::Key_Escape:
                ToolBarFocusKey();
                return true;
            default:
                break;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainFM::FormCreate() {
    setWindowTitle(QStringLiteral("Dorsanti"));
}

void TMainFM::ShowChildForm(const QMetaObject& windowClass,
                            const std::function<QWidget*()>& create) {
    for (QMdiSubWindow* sub : MdiArea->subWindowList()) {
        if (sub->widget() && sub->widget()->metaObject() == &windowClass) {
            // Brought to the front as it is: a minimised window stays minimised.
            if (!sub->isVisible()) {
                sub->show();
            }
            sub->raise();
            MdiArea->setActiveSubWindow(sub);
            // The keyboard follows, back to where it was in that window.
            if (!sub->isMinimized() && sub->widget()) {
                QWidget* last = sub->widget()->focusWidget();
                (last ? last : sub->widget())->setFocus(Qt::OtherFocusReason);
            }
            return;
        }
    }
    QWidget* form = create();
    form->setAttribute(Qt::WA_DeleteOnClose);
    QMdiSubWindow* sub = MdiArea->addSubWindow(form);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->setWindowIcon(form->windowIcon());
    sub->showMaximized();
    form->setFocus(Qt::OtherFocusReason);
}

void TMainFM::closeEvent(QCloseEvent* event) {
    if (FormClose()) {
        event->accept();
    } else {
        event->ignore();
    }
}

bool TMainFM::FormClose() {
    if (m_sessionClosed) {
        return true;
    }
    bool stamped = false;
    guarded([&] {
        MainDM->CloseSession();
        stamped = true;
    });
    // A failed stamp keeps the window open; the next close tries again.
    m_sessionClosed = stamped;
    if (stamped) {
        Q_EMIT sessionClosed();
    }
    return stamped;
}

void TMainFM::acImportStatementExecute() {
    ShowImportStatementFM(*this);
}

void TMainFM::acExitExecute() {
    close();
}

void TMainFM::acValutaExecute() {
    ShowDictFM(false, 1, 0);
}

void TMainFM::acHeadAccountExecute() {
    ShowDictFM(false, 2, 0);
}

void TMainFM::acContrAgentExecute() {
    ShowContrAgentFM(false, 0);
}

void TMainFM::acCategoryExecute() {
    ShowCategoryFM(false);
}

void TMainFM::acDocumentExecute() {
    ShowChildForm<TDocumentFM>();
}

void TMainFM::acColorExecute() {
    ShowColorFM(0);
}

void TMainFM::acSaldoExecute() {
    ShowSaldoFM();
}

void TMainFM::acRegularExecute() {
    ShowRegularDocumentsFM();
}

void TMainFM::acCurrencyRateExecute() {
    ShowCurrencyRateFM();
}

void TMainFM::acCloseActiveWindowExecute() {
    if (MdiArea->subWindowList().isEmpty()) {
        return;
    }
    if (QMdiSubWindow* active = MdiArea->activeSubWindow()) {
        active->close();
    }
}

void TMainFM::acStatExecute() {
    ShowChildForm<TStatFM>();
}

void TMainFM::acReportExecute() {
    ShowChildForm<TReportFM>();
}

void TMainFM::acReportCategoriesExecute() {
    ShowReportWindow(*this, ReportKind::Categories);
}

void TMainFM::acReportMonthsExecute() {
    ShowReportWindow(*this, ReportKind::Months);
}

void TMainFM::acReportContrAgentsExecute() {
    ShowReportWindow(*this, ReportKind::Counterparties);
}

void TMainFM::acReportBalancesExecute() {
    ShowReportWindow(*this, ReportKind::Balances);
}

void TMainFM::acReportStatementExecute() {
    ShowReportWindow(*this, ReportKind::Statement);
}

void TMainFM::acReportNetWorthExecute() {
    ShowReportWindow(*this, ReportKind::NetWorth);
}

void TMainFM::acBudgetExecute() {
    ShowChildForm<BudgetWindow>();
}

void TMainFM::acReportPlanFactExecute() {
    ShowChildForm<PlanFactReportWindow>();
}

void TMainFM::acExportExecute() {
    ShowExportBooksFM(this);
}

void TMainFM::acBackupExecute() {
    ShowBackupFM(this);
}

void TMainFM::acImportRulesExecute() {
    ShowImportRules(this);
}

void installDailyBackup(TMainFM& mainForm, DailyBackup& daily) {
    QObject::connect(&mainForm, &TMainFM::sessionClosed, &mainForm,
                     [&daily] { daily.start(MainDM->ADOConnection1); });
}
