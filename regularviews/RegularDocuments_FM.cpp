#include "RegularDocuments_FM.h"

#include "Clock.h"
#include "Dialogs.h"
#include "DisplayFormat.h"
#include "Main_DM.h"
#include "RecurrenceForm.h"
#include "RefBookUtils.h"
#include "RegularDocuments.h"
#include "RegularEdit_FM.h"

#include <QVBoxLayout>

namespace {

QString amountText(const QVariant& amount, const QVariant& valuta) {
    return formatDisplay(QStringLiteral(",0.00"), amount) + u' ' + valuta.toString();
}

// A date as either engine gives it: text on a file, a date-time on a server.
QDate dateOf(const QVariant& value) {
    return value.typeId() == QMetaType::QDateTime ? value.toDateTime().date()
                                                  : parseStoredDateTime(value.toString()).date();
}

}  // namespace

TRegularDocumentsFM::TRegularDocumentsFM(QWidget* parent) : ModalForm(parent) {
    setWindowTitle(QStringLiteral("Регулярные платежи"));
    resize(1240, 440);
    QVBoxLayout* layout = RefBook::bookFrame(this, acNew, acEdit, acDelete, ToolBar1);
    dbgRegular = new DBGrid(this);
    layout->addWidget(dbgRegular, 1);
    qrRegular = new DbQuery(MainDM->ADOConnection1, QStringLiteral("qrRegular"), this);
    dbgRegular->setDataSet(qrRegular);
    {
        ColumnsUpdating updating(*dbgRegular);
        const auto column = [this](const char* field, const QString& title, int width,
                                   int alignment = 0) {
            DBGridColumn c;
            c.fieldName = QLatin1String(field);
            c.title = title;
            c.width = width;
            c.alignment = alignment;
            dbgRegular->addColumn(c);
        };
        column("Caption", QStringLiteral("Название"), 105);
        column("TypeCaption", QStringLiteral("Вид"), 65);
        column("Account", QStringLiteral("Счет"), 190);
        column("ValueDocument", QStringLiteral("Сумма"), 175, 1);
        column("Category", QStringLiteral("Категория / контрагент"), 150);
        column("Rule", QStringLiteral("Правило"), 275);
        column("DateStart", QStringLiteral("Следующая дата"), 115, 2);
        column("ApplyAtOnce", QStringLiteral("Проводить сразу"), 115, 2);
    }
    dbgRegular->setCellParamsHook([this](int row, const DBGridColumn& column, CellParams& params) {
        if (std::optional<QString> text = cellText(row, column.fieldName)) {
            params.text = *text;
        }
    });

    connect(acNew, &QAction::triggered, this, [this] { guarded([this] { acNewExecute(); }); });
    connect(acEdit, &QAction::triggered, this, [this] { guarded([this] { acEditExecute(); }); });
    connect(acDelete, &QAction::triggered, this,
            [this] { guarded([this] { acDeleteExecute(); }); });
    connect(dbgRegular, &DBGrid::dblClick, this,
            [this](const QPoint& pos) { guarded([&] { dbgRegularDblClick(pos); }); });
    RefBook::bindGridKeys(dbgRegular, acNew, acDelete, [this] { acEditExecute(); });
}

void TRegularDocumentsFM::FormFill() {
    ensureRegularTables(MainDM->ADOConnection1);
    RefBook::setStatement(
        *qrRegular,
        {QStringLiteral("select r.IdRegularDocument, r.Caption, r.CodTypeDocument,"),
         QStringLiteral("  t.Caption as TypeCaption, r.ValueDocument, r.ValueDocument2,"),
         QStringLiteral("  r.Rule, r.DateStart, r.ApplyAtOnce,"),
         QStringLiteral("  '(' || v1.Caption || ') ' || ha1.Caption as Account,"),
         QStringLiteral("  '(' || v2.Caption || ') ' || ha2.Caption as Account2,"),
         QStringLiteral("  v1.Caption as Valuta, v2.Caption as Valuta2,"),
         QStringLiteral("  c.Caption as CategoryCaption, ca.Caption as ContrAgentCaption"),
         QStringLiteral("from RegularDocument r"),
         QStringLiteral("join TypeDocument t on t.CodTypeDocument = r.CodTypeDocument"),
         QStringLiteral("join HeadAccount ha1 on ha1.IdHeadAccount = r.IdHeadAccount"),
         QStringLiteral("join Valuta v1 on v1.IdValuta = ha1.IdValuta"),
         QStringLiteral("left join HeadAccount ha2 on ha2.IdHeadAccount = r.IdHeadAccount2"),
         QStringLiteral("left join Valuta v2 on v2.IdValuta = ha2.IdValuta"),
         QStringLiteral("left join Category c on c.IdCategory = r.IdCategory"),
         QStringLiteral("left join ContrAgent ca on ca.IdContrAgent = r.IdContrAgent"),
         QStringLiteral("order by r.IdRegularDocument")});
    RefreshAndLocate(0);
    dbgRegular->setFocus();
}

std::optional<QString> TRegularDocumentsFM::cellText(int row, const QString& field) {
    const auto value = [&](const char* name) {
        return qrRegular->value(row, QLatin1String(name));
    };
    const bool transfer = value("CodTypeDocument").toInt() == 3;
    const QDate start = dateOf(value("DateStart"));
    if (field == QLatin1String("Account") && transfer) {
        return value("Account").toString() + QStringLiteral(" → ") + value("Account2").toString();
    }
    if (field == QLatin1String("ValueDocument")) {
        QString text = amountText(value("ValueDocument"), value("Valuta"));
        const QString second = amountText(value("ValueDocument2"), value("Valuta2"));
        return transfer && second != text ? text + QStringLiteral(" → ") + second : text;
    }
    if (field == QLatin1String("Category")) {
        QStringList names;
        for (const char* name : {"CategoryCaption", "ContrAgentCaption"}) {
            if (!value(name).toString().isEmpty()) {
                names << value(name).toString();
            }
        }
        return names.join(QStringLiteral(" / "));
    }
    if (field == QLatin1String("Rule")) {
        return recurrenceWords(value("Rule").toString(), start);
    }
    if (field == QLatin1String("DateStart")) {
        const qint64 id = value("IdRegularDocument").toLongLong();
        auto it = m_nextDates.find(id);
        if (it == m_nextDates.end()) {
            const QDate next = nextOccurrence(value("Rule").toString(), start, currentDate());
            it = m_nextDates.insert(
                id, next.isValid() ? next.toString(u"dd.MM.yyyy") : QStringLiteral("закончилось"));
        }
        return *it;
    }
    if (field == QLatin1String("ApplyAtOnce")) {
        return value("ApplyAtOnce").toInt() != 0 ? QStringLiteral("да") : QString();
    }
    return std::nullopt;
}

qint64 TRegularDocumentsFM::currentId() const {
    return qrRegular->isEmpty() ? 0
                                : qrRegular->field(QStringLiteral("IdRegularDocument")).asInt64();
}

void TRegularDocumentsFM::acNewExecute() {
    if (const qint64 saved = EditRegularDocument(0)) {
        RefreshAndLocate(saved);
    }
}

void TRegularDocumentsFM::acEditExecute() {
    if (qrRegular->isEmpty()) {
        return;
    }
    if (const qint64 saved = EditRegularDocument(currentId())) {
        RefreshAndLocate(saved);
    }
}

void TRegularDocumentsFM::acDeleteExecute() {
    if (qrRegular->isEmpty()) {
        return;
    }
    if (!Confirm(QStringLiteral("Вы действительно хотите удалить запись?"))) {
        return;
    }
    // The documents made from it stay in the books.
    removeRegularTemplate(MainDM->ADOConnection1, currentId());
    RefreshAndLocate(0);
}

void TRegularDocumentsFM::dbgRegularDblClick(const QPoint& pos) {
    if (RefBook::onDataCell(dbgRegular, pos)) {
        acEditExecute();
    }
}

void TRegularDocumentsFM::RefreshAndLocate(qint64 id) {
    m_nextDates.clear();
    ControlsFrozen frozen(*qrRegular);
    qrRegular->requery();
    if (id != 0) {
        qrRegular->locate(QStringLiteral("IdRegularDocument"), id);
    }
}

void ShowRegularDocumentsFM() {
    auto form = std::make_unique<TRegularDocumentsFM>();
    form->FormFill();
    form->exec();
}
