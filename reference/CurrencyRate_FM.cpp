#include "CurrencyRate_FM.h"

#include "Dialogs.h"
#include "Main_DM.h"
#include "Rates.h"
#include "RefBookUtils.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace {

// One text per rate, so that the list can stand on a rate after it is saved.
QString keyText(const CurrencyRateKey& key) {
    return QStringLiteral("%1:%2:%3")
        .arg(key.IdValuta)
        .arg(key.IdValutaBase)
        .arg(key.DateRate.toString(QStringLiteral("yyyy-MM-dd")));
}

}  // namespace

TCurrencyRateFM::TCurrencyRateFM(QWidget* parent) : ModalForm(parent) {
    setWindowTitle(QStringLiteral("Курсы валют"));
    resize(640, 480);
    QVBoxLayout* layout = RefBook::bookFrame(this, acNew, acEdit, acDelete, ToolBar1);

    dbgRate = new DBGrid(this);
    layout->addWidget(dbgRate, 1);
    qrRate = new DbQuery(MainDM->ADOConnection1, QStringLiteral("qrRate"), this);
    dbgRate->setDataSet(qrRate);
    {
        ColumnsUpdating updating(*dbgRate);
        const auto column = [this](const char* field, const QString& title, int width,
                                   int alignment, const QString& format = {}) {
            DBGridColumn c;
            c.fieldName = QLatin1String(field);
            c.title = title;
            c.width = width;
            c.alignment = alignment;
            c.displayFormat = format;
            dbgRate->addColumn(c);
        };
        column("DateRate", QStringLiteral("Дата"), 80, 2, QStringLiteral("dd.mm.yyyy"));
        column("Valuta", QStringLiteral("Валюта"), 70, 0);
        column("ValutaBase", QStringLiteral("Базовая валюта"), 110, 0);
        // The rate as a sentence, set by the cell hook below.
        column("Rate", QStringLiteral("Курс"), 300, 0);
    }
    dbgRate->setCellParamsHook([this](int row, const DBGridColumn& column, CellParams& params) {
        if (column.fieldName == QLatin1String("Rate")) {
            params.text = rateSentence(row);
        }
    });

    btnLoadCbr = new QPushButton(QStringLiteral("Загрузить курсы ЦБ..."), this);
    btnLoadCbr->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(6, 6, 6, 6);
    buttons->addWidget(btnLoadCbr);
    buttons->addStretch();
    layout->addLayout(buttons);

    connect(acNew, &QAction::triggered, this, [this] { guarded([this] { acNewExecute(); }); });
    connect(acEdit, &QAction::triggered, this, [this] { guarded([this] { acEditExecute(); }); });
    connect(acDelete, &QAction::triggered, this,
            [this] { guarded([this] { acDeleteExecute(); }); });
    connect(dbgRate, &DBGrid::dblClick, this,
            [this](const QPoint& pos) { guarded([&] { dbgRateDblClick(pos); }); });
    connect(btnLoadCbr, &QPushButton::clicked, this,
            [this] { guarded([this] { btnLoadCbrClick(); }); });
    RefBook::bindGridKeys(dbgRate, acNew, acDelete, [this] { acEditExecute(); });
}

void TCurrencyRateFM::FormFill() {
    ensureRateTable(MainDM->ADOConnection1);
    RefBook::setStatement(
        *qrRate,
        {QStringLiteral("select r.IdValuta, r.IdValutaBase, r.DateRate, r.Rate,"),
         QStringLiteral("  v.Caption as Valuta, b.Caption as ValutaBase,"),
         QStringLiteral("  r.IdValuta || ':' || r.IdValutaBase || ':' || substr(r.DateRate, 1, 10)"
                        " as RateKey"),
         QStringLiteral("from CurrencyRate r"),
         QStringLiteral("join Valuta v on v.IdValuta = r.IdValuta"),
         QStringLiteral("join Valuta b on b.IdValuta = r.IdValutaBase"),
         QStringLiteral("order by r.DateRate desc, v.Caption collate RUSSIAN, "
                        "b.Caption collate RUSSIAN")});
    qrRate->open();
    dbgRate->setFocus();
}

QString TCurrencyRateFM::rateSentence(int row) const {
    const Rate rate = Rate::fromVariant(qrRate->value(row, QStringLiteral("Rate")));
    const QDateTime day =
        parseStoredDateTime(qrRate->value(row, QStringLiteral("DateRate")).toString());
    return QStringLiteral("1 %1 = %2 %3 на %4")
        .arg(qrRate->value(row, QStringLiteral("Valuta")).toString(), rate.toDisplayText(),
             qrRate->value(row, QStringLiteral("ValutaBase")).toString(),
             day.date().toString(QStringLiteral("dd.MM.yyyy")));
}

CurrencyRateKey TCurrencyRateFM::currentKey() const {
    if (qrRate->isEmpty()) {
        return {};
    }
    return {qrRate->field(QStringLiteral("IdValuta")).asInt64(),
            qrRate->field(QStringLiteral("IdValutaBase")).asInt64(),
            qrRate->field(QStringLiteral("DateRate")).asDate()};
}

void TCurrencyRateFM::acNewExecute() {
    const CurrencyRateKey saved = EditCurrencyRate({});
    if (!saved.isNull()) {
        RefreshAndLocate(saved);
    }
}

void TCurrencyRateFM::acEditExecute() {
    if (qrRate->isEmpty()) {
        return;
    }
    const CurrencyRateKey saved = EditCurrencyRate(currentKey());
    if (!saved.isNull()) {
        RefreshAndLocate(saved);
    }
}

void TCurrencyRateFM::acDeleteExecute() {
    if (qrRate->isEmpty()) {
        return;
    }
    if (!Confirm(QStringLiteral("Вы действительно хотите удалить запись?"))) {
        return;
    }
    const CurrencyRateKey key = currentKey();
    DbQuery& q = MainDM->qrTmp;
    setRateStatement(q, QStringLiteral("delete from CurrencyRate"), key);
    q.execute();
    RefreshAndLocate({});
}

void TCurrencyRateFM::dbgRateDblClick(const QPoint& pos) {
    if (RefBook::onDataCell(dbgRate, pos)) {
        acEditExecute();
    }
}

void TCurrencyRateFM::btnLoadCbrClick() {
    QFileDialog dialog(this);
    dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setWindowTitle(QStringLiteral("Файл курсов ЦБ (XML_daily.asp)"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return;
    }
    const CbrDaily daily = parseCbrDaily(readRatesFile(dialog.selectedFiles().constFirst()));
    const CbrLoaded loaded = loadCbrDaily(MainDM->ADOConnection1, daily);
    RefreshAndLocate({});
    ShowMessage(loaded.text());
}

void TCurrencyRateFM::RefreshAndLocate(const CurrencyRateKey& key) {
    ControlsFrozen frozen(*qrRate);
    qrRate->requery();
    if (!key.isNull()) {
        qrRate->locate(QStringLiteral("RateKey"), keyText(key));
    }
}

void ShowCurrencyRateFM() {
    auto form = std::make_unique<TCurrencyRateFM>();
    form->FormFill();
    form->exec();
}
