#include "ResultForm.h"

#include "Clock.h"
#include "Dialogs.h"
#include "Main_DM.h"

#include <QDate>
#include <QFrame>
#include <QVBoxLayout>

ResultForm::ResultForm(const QString& caption, QWidget* parent)
    : QWidget(parent), dtsResult(MainDM->ADOConnection1, QStringLiteral("dtsResult")) {
    resize(696, 480);
    // Closing the window destroys it.
    setAttribute(Qt::WA_DeleteOnClose);

    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(MainDM->ImageList1.size());
    ToolBar1->setContextMenuPolicy(Qt::PreventContextMenu);

    Label1 = new QLabel(QStringLiteral("с: "), ToolBar1);
    Label1->setObjectName(QStringLiteral("Label1"));
    deBegin = new DateEdit(ToolBar1);
    deBegin->setObjectName(QStringLiteral("deBegin"));
    Label2 = new QLabel(QStringLiteral("по: "), ToolBar1);
    Label2->setObjectName(QStringLiteral("Label2"));
    deEnd = new DateEdit(ToolBar1);
    deEnd->setObjectName(QStringLiteral("deEnd"));
    for (QLabel* label : {Label1, Label2}) {
        label->setContentsMargins(6, 0, 2, 0);
    }
    // Wide enough for a date and the calendar button, and no wider.
    const int dateWidth = fontMetrics().horizontalAdvance(QStringLiteral("00.00.00000")) +
                          deBegin->button()->sizeHint().width() + 24;
    for (DateEdit* edit : {deBegin, deEnd}) {
        edit->setFixedWidth(dateWidth);
    }
    ToolBar1->addWidget(Label1);
    ToolBar1->addWidget(deBegin);
    ToolBar1->addWidget(Label2);
    ToolBar1->addWidget(deEnd);
    ToolBar1->addSeparator();

    acPrepare = new QAction(this);
    acPrepare->setObjectName(QStringLiteral("acPrepare"));
    acPrepare->setIcon(MainDM->ImageList1.icon(0));
    acPrepare->setToolTip(QStringLiteral("Сформировать"));
    connect(acPrepare, &QAction::triggered, this,
            [this] { guarded([this] { acPrepareExecute(); }); });
    ToolBar1->addAction(acPrepare);
    ToolButton2 = qobject_cast<QToolButton*>(ToolBar1->widgetForAction(acPrepare));
    ToolButton2->setObjectName(QStringLiteral("ToolButton2"));

    TabControl1 = new QTabBar(this);
    TabControl1->setObjectName(QStringLiteral("TabControl1"));
    TabControl1->setExpanding(false);
    TabControl1->setDrawBase(false);
    for (int i = 1; i <= 8; ++i) {
        TabControl1->addTab(QString::number(i));
    }
    TabControl1->setCurrentIndex(0);

    gbInfo = new QGroupBox(QStringLiteral("Информация"));
    gbInfo->setObjectName(QStringLiteral("gbInfo"));
    gbInfo->setMinimumHeight(40);
    gbResult = new QGroupBox(QStringLiteral("Результаты"));
    gbResult->setObjectName(QStringLiteral("gbResult"));
    gbResult->setMinimumWidth(60);

    Splitter1 = new QSplitter(Qt::Vertical);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setChildrenCollapsible(false);
    Splitter1->addWidget(gbInfo);

    // The area under the tabs, framed as a tab page.
    auto* page = new QFrame(this);
    page->setObjectName(QStringLiteral("TabPage"));
    page->setFrameShape(QFrame::StyledPanel);
    auto* pageLayout = new QVBoxLayout(page);
    pageLayout->setContentsMargins(4, 4, 4, 4);
    pageLayout->addWidget(Splitter1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ToolBar1);
    auto* tabs = new QVBoxLayout;
    tabs->setContentsMargins(2, 4, 2, 2);
    tabs->setSpacing(0);
    tabs->addWidget(TabControl1);
    tabs->addWidget(page, 1);
    layout->addLayout(tabs, 1);

    FormCreate(caption);
}

void ResultForm::FormCreate(const QString& caption) {
    setWindowTitle(caption);
    const QDate today = currentDate();
    deBegin->setDate(today.addDays(1 - today.day()));
    deEnd->setDate(today);
}

void ResultForm::acPrepareExecute() {
    BuildResult();
}

bool ResultForm::openResult() {
    dtsResult.close();
    if (TabControl1->currentIndex() != 1) {
        ShowMessage(QStringLiteral("Incorrect"));
        return false;
    }
    dtsResult.setSql(QStringLiteral(
        "select ha.Caption as sLabel, sum(d.ValueDocument) as sCount from Document d   "
        "inner join HeadAccount ha on d.IdHeadAccount = ha.IdHeadAccount "
        "group by ha.IdHeadAccount, ha.Caption"));
    dtsResult.open();
    return true;
}
