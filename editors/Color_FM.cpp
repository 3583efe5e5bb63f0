#include "Color_FM.h"

#include "ColorValue.h"
#include "Dialogs.h"
#include "Main_DM.h"

#include <QVBoxLayout>

TColorFM::TColorFM(QWidget* parent) : ModalForm(parent) {
    resize(440, 360);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    ToolBar1 = new QToolBar(this);
    ToolBar1->setMovable(false);
    Label1 = new QLabel(QStringLiteral("Тип документа "), ToolBar1);
    rxcTypeDoc = new DBLookupCombo(ToolBar1);
    rxcTypeDoc->setMinimumWidth(200);
    ToolBar1->addWidget(Label1);
    ToolBar1->addWidget(rxcTypeDoc);
    layout->addWidget(ToolBar1);

    dbgColor = new DBGrid(this);
    layout->addWidget(dbgColor);

    qrTypeDoc = new DbQuery(MainDM->ADOConnection1, QStringLiteral("qrTypeDoc"), this);
    qrColor = new DbQuery(MainDM->ADOConnection1, QStringLiteral("qrColor"), this);

    ColorDialog1 = new QColorDialog(this);
    ColorDialog1->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    ColorDialog1->setOption(QColorDialog::DontUseNativeDialog);
    // The colour dialog's custom colours are shared by the whole program; the
    // ones chosen here go when this window closes.
    for (int i = 0; i < QColorDialog::customCount(); ++i) {
        FCustomColors << QColorDialog::customColor(i);
    }

    DBGridColumn code;
    code.fieldName = QStringLiteral("CodStatus");
    code.title = QStringLiteral("Код");
    code.width = 106;
    code.filterField = QStringLiteral("CodTypeDocument");
    DBGridColumn caption;
    caption.fieldName = QStringLiteral("CaptionStatus");
    caption.title = QStringLiteral("Название");
    caption.width = 164;
    DBGridColumn color;
    color.fieldName = QStringLiteral("ColorStatus");
    color.title = QStringLiteral("Цвет");
    color.width = 95;
    dbgColor->addColumn(code);
    dbgColor->addColumn(caption);
    dbgColor->addColumn(color);
    dbgColor->setDataSet(qrColor);
    dbgColor->setCellParamsHook([this](int row, const DBGridColumn& column, CellParams& params) {
        DBGridEh1Columns2GetCellParams(row, column, params);
    });
    rxcTypeDoc->setListSource(qrTypeDoc, QStringLiteral("CodTypeDocument"),
                              QStringLiteral("Caption"));

    connect(qrTypeDoc, &DataSet::cursorMoved, this,
            [this] { guarded([this] { dsTypeDocDataChange(); }); });
    connect(dbgColor, &DBGrid::dblClick, this,
            [this](const QPoint& pos) { guarded([&] { dbgColorDblClick(pos); }); });
    // The whole row is the current one, so Enter asks for its colour from any column.
    connect(dbgColor, &DBGrid::enterKey, this,
            [this] { guarded([this] { ChooseStatusColor(); }); });
}

TColorFM::~TColorFM() {
    for (int i = 0; i < FCustomColors.size(); ++i) {
        QColorDialog::setCustomColor(i, FCustomColors[i]);
    }
}

void TColorFM::FormOpen(int CodTypeDocument) {
    setWindowTitle(QStringLiteral("Справочник статусов документов"));
    qrTypeDoc->clearSql();
    qrTypeDoc->addSql(QStringLiteral(
        "select * from TypeDocument where CodTypeDocument > 0 order by Caption collate RUSSIAN"));
    qrColor->clearSql();
    qrColor->addSql(
        QStringLiteral("select * from TypeStatus order by CodTypeDocument, CodStatus"));
    qrColor->open();
    qrTypeDoc->open();
    if (CodTypeDocument < 1) {
        rxcTypeDoc->setValue(qrTypeDoc->field(QStringLiteral("CodTypeDocument")).asString());
    } else {
        rxcTypeDoc->setValue(QString::number(CodTypeDocument));
    }
}

void TColorFM::dsTypeDocDataChange() {
    dbgColor->setColumnFilter(0, qrTypeDoc->field(QStringLiteral("CodTypeDocument")).asString());
    dbgColor->applyFilter();
}

void TColorFM::DBGridEh1Columns2GetCellParams(int row, const DBGridColumn& column,
                                              CellParams& params) {
    if (column.fieldName != QLatin1String("ColorStatus")) {
        return;
    }
    const qint64 value = qrColor->value(row, QStringLiteral("ColorStatus")).toLongLong();
    if (isStoredColor(value)) {
        params.background = colorFromStored(value);
    }
    params.text.clear();
}

void TColorFM::dbgColorDblClick(const QPoint& pos) {
    const DBGrid::Cell cell = dbgColor->cellAt(pos);
    if (cell.column == 3 && cell.row > 0) {
        ChooseStatusColor();
    }
}

void TColorFM::ChooseStatusColor() {
    if (qrColor->isEmpty()) {
        return;
    }
    ColorDialog1->setCurrentColor(
        colorFromStored(qrColor->field(QStringLiteral("ColorStatus")).asInt64()));
    if (ColorDialog1->exec() != QDialog::Accepted) {
        return;
    }
    DbQuery& q = MainDM->qrTmp;
    q.clearSql();
    q.addSql(QStringLiteral("update TypeStatus"));
    q.addSql(QStringLiteral("set ColorStatus = :Color"));
    q.addSql(QStringLiteral("where CodTypeDocument = :TypeDoc and CodStatus = :CodStatus"));
    q.bindInteger(QStringLiteral("TypeDoc"),
                  qrTypeDoc->field(QStringLiteral("CodTypeDocument")).asInteger());
    q.bindInteger(QStringLiteral("CodStatus"),
                  qrColor->field(QStringLiteral("CodStatus")).asInteger());
    q.bindInteger(QStringLiteral("Color"), storedFromColor(ColorDialog1->selectedColor()));
    q.execute();

    const QVariant status = qrColor->field(QStringLiteral("CodStatus")).value();
    {
        ControlsFrozen frozen(*qrColor);
        qrColor->requery();
        dbgColor->applyFilter();
    }
    qrColor->locate(QStringLiteral("CodStatus"), status);
}

int ShowColorFM(int CodTypeDocument) {
    auto form = std::make_unique<TColorFM>();
    form->FormOpen(CodTypeDocument);
    return form->exec();
}
