#include "DocumentsBehindDialog.h"

#include "ColorValue.h"
#include "Dialogs.h"
#include "Main_DM.h"
#include "ReportText.h"
#include "VelDoc.h"

#include <QAction>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <algorithm>

namespace {

// The lines of the list, held as a data set for the grid.
class DocumentLines : public DataSet {
public:
    using DataSet::DataSet;

    void load(const QList<DocumentLine>& lines) {
        QVector<Row> rows;
        rows.reserve(lines.size());
        for (const DocumentLine& l : lines) {
            // The amount is shown, never added up here: the total is exact.
            rows.push_back({l.idDocument, l.codTypeDocument, storedDate(l.date),
                            l.amount.toDouble(), l.account, l.category, l.contrAgent, l.note,
                            l.status, l.colorStatus});
        }
        setContents({QStringLiteral("IdDocument"), QStringLiteral("CodTypeDocument"),
                     QStringLiteral("DateDocument"), QStringLiteral("Amount"),
                     QStringLiteral("Account"), QStringLiteral("Category"),
                     QStringLiteral("ContrAgent"), QStringLiteral("NoteDocument"),
                     QStringLiteral("CaptionStatus"), QStringLiteral("ColorStatus")},
                    rows);
    }
};

}  // namespace

DocumentsBehindDialog::DocumentsBehindDialog(const ChartFigure& figure, QWidget* parent)
    : ModalForm(parent), m_figure(figure) {
    setWindowTitle(QStringLiteral("Документы: %1").arg(figure.caption));
    resize(860, 480);
    lbFigure = new QLabel(this);
    lbFigure->setWordWrap(true);
    dtsDocuments = new DocumentLines(this);
    dbgDocuments = new DBGrid(this);
    dbgDocuments->setDataSet(dtsDocuments);
    const struct {
        const char* field;
        const char* title;
        int width;
        int alignment;
        const char* format;
    } columns[] = {
        {"DateDocument", "Дата", 80, 0, "dd.mm.yyyy"},
        {"Amount", "Сумма", 100, 1, ",0.00"},
        {"Account", "Счет", 130, 0, ""},
        {"Category", "Категория", 130, 0, ""},
        {"ContrAgent", "Контрагент", 130, 0, ""},
        {"NoteDocument", "Примечание", 170, 0, ""},
        {"CaptionStatus", "Статус", 80, 0, ""},
    };
    {
        ColumnsUpdating updating(*dbgDocuments);
        for (const auto& c : columns) {
            DBGridColumn column;
            column.fieldName = QString::fromLatin1(c.field);
            column.title = QString::fromUtf8(c.title);
            column.width = c.width;
            column.alignment = c.alignment;
            column.displayFormat = QString::fromLatin1(c.format);
            dbgDocuments->addColumn(column);
        }
    }
    dbgDocuments->setCellParamsHook([this](int row, const DBGridColumn&, CellParams& params) {
        const qint64 color = dtsDocuments->value(row, QStringLiteral("ColorStatus")).toLongLong();
        if (isStoredColor(color)) {
            params.background = colorFromStored(color);
        }
    });
    lbTotal = new QLabel(this);
    btnClose = new QPushButton(QStringLiteral("Закрыть"), this);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lbFigure);
    layout->addWidget(dbgDocuments, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(lbTotal, 1);
    bottom->addWidget(btnClose);
    layout->addLayout(bottom);

    auto* refresh = new QAction(this);
    refresh->setShortcut(QKeySequence(Qt::Key_F5));
    refresh->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(refresh);
    connect(refresh, &QAction::triggered, this, [this] { guarded([this] { RefreshList(); }); });
    connect(dbgDocuments, &DBGrid::enterKey, this,
            [this] { guarded([this] { EditCurrentDocument(); }); });
    connect(dbgDocuments, &DBGrid::dblClick, this,
            [this](const QPoint& pos) { guarded([&] { dbgDocumentsDblClick(pos); }); });
    setTabOrder(dbgDocuments, btnClose);
    dbgDocuments->setFocus();

    RefreshList();
}

void DocumentsBehindDialog::RefreshList() {
    QList<DocumentLine> lines;
    for (const DrillDown& d : std::as_const(m_figure.drills)) {
        lines << documentsBehind(MainDM->ADOConnection1, d);
    }
    // A group ("Прочее", a quarter) lists its parts together, by date.
    std::stable_sort(lines.begin(), lines.end(), [](const DocumentLine& a, const DocumentLine& b) {
        return a.date != b.date ? a.date < b.date : a.idDocument < b.idDocument;
    });
    const QVariant current = dtsDocuments->isEmpty()
                                 ? QVariant()
                                 : dtsDocuments->field(QStringLiteral("IdDocument")).value();
    static_cast<DocumentLines*>(dtsDocuments)->load(lines);
    if (current.isValid()) {
        dtsDocuments->locate(QStringLiteral("IdDocument"), current);
    }
    Money total;
    QSet<qint64> documents;
    QDate first;
    QDate last;
    for (const DocumentLine& l : std::as_const(lines)) {
        total += l.amount;
        documents.insert(l.idDocument);
    }
    for (const DrillDown& d : std::as_const(m_figure.drills)) {
        first = !first.isValid() || (d.from.isValid() && d.from < first) ? d.from : first;
        last = std::max(last, d.to);
    }
    lbFigure->setText(first.isValid() && last.isValid()
                          ? QStringLiteral("%1, %2 - %3")
                                .arg(m_figure.caption,
                                     first.toString(QStringLiteral("dd.MM.yyyy")),
                                     last.toString(QStringLiteral("dd.MM.yyyy")))
                          : m_figure.caption);
    lbTotal->setText(QStringLiteral("Документов: %1, сумма по счетам: %2")
                         .arg(documents.size())
                         .arg(moneyText(total)));
}

void DocumentsBehindDialog::EditCurrentDocument() {
    if (dtsDocuments->isEmpty()) {
        return;
    }
    const int result = VelDocLib.RunMethod(
        dtsDocuments->field(QStringLiteral("CodTypeDocument")).asInteger(),
        dtsDocuments->field(QStringLiteral("IdDocument")).asInteger(), QStringLiteral("EDIT"));
    if (result > 0) {
        m_changed = true;
        RefreshList();
    }
}

void DocumentsBehindDialog::dbgDocumentsDblClick(const QPoint& pos) {
    const DBGrid::Cell cell = dbgDocuments->cellAt(pos);
    if (cell.column > 0 && cell.row > 0) {
        EditCurrentDocument();
    }
}
