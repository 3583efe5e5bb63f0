#include "Dict_FM.h"

#include "Dialogs.h"
#include "HeadAccountEdit_FM.h"
#include "Main_DM.h"
#include "RefBookUtils.h"
#include "ValutaEdit_FM.h"

#include <QRegularExpression>
#include <QVBoxLayout>

TDictFM::TDictFM(QWidget* parent) : ModalForm(parent) {
    resize(874, 652);
    QVBoxLayout* layout = RefBook::bookFrame(this, acNew, acEdit, acDelete, ToolBar1);

    dbgDict = new DBGrid(this);
    layout->addWidget(dbgDict, 1);
    qrDict = new DbQuery(MainDM->ADOConnection1, QStringLiteral("qrDict"), this);
    dbgDict->setDataSet(qrDict);

    connect(acNew, &QAction::triggered, this, [this] { guarded([this] { acNewExecute(); }); });
    connect(acEdit, &QAction::triggered, this, [this] { guarded([this] { acEditExecute(); }); });
    connect(acDelete, &QAction::triggered, this,
            [this] { guarded([this] { acDeleteExecute(); }); });
    connect(dbgDict, &DBGrid::dblClick, this,
            [this](const QPoint& pos) { guarded([&] { dbgDictDblClick(pos); }); });
    RefBook::bindGridKeys(dbgDict, acNew, acDelete, [this] { dbgDictOpenRecord(); });
}

bool TDictFM::Prepare(int CodDict) {
    switch (CodDict) {
        case 1:
            FEditProc = EditValuta;
            break;
        case 2:
            FEditProc = EditHeadAccount;
            break;
        default:
            FEditProc = nullptr;
            break;
    }
    dbgDict->removeAllColumns();

    DbQuery& q = MainDM->qrTmp;
    q.clearSql();
    q.addSql(QStringLiteral("select * from sys_Dict"));
    q.addSql(QStringLiteral("where sys_CodDict = :CodDict"));
    q.bindInteger(QStringLiteral("CodDict"), CodDict);
    q.open();
    if (q.isEmpty()) {
        q.close();
        ShowMessage(QStringLiteral("Справочник не найден."));
        return false;
    }
    // The stored statement is configuration, never text a user typed.
    qrDict->setSql(q.field(QStringLiteral("sys_SQLQuery")).asString());
    setWindowTitle(q.field(QStringLiteral("sys_Caption")).asString());
    FPKField = q.field(QStringLiteral("sys_PKField")).asString();
    FTableName = q.field(QStringLiteral("sys_TableName")).asString();
    q.close();
    // Both names go into the text of the delete statement: only a plain name
    // can never change what that statement does.
    static const QRegularExpression plainName(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    for (const QString& name : {FTableName, FPKField}) {
        if (!plainName.match(name).hasMatch()) {
            ShowMessage(QStringLiteral("Ошибка при запуске справочника: \"%1\" не является "
                                       "именем таблицы или поля.")
                            .arg(name));
            return false;
        }
    }

    q.clearSql();
    q.addSql(QStringLiteral("select * from sys_DictColumn"));
    q.addSql(QStringLiteral("where sys_CodDict = :CodDict"));
    q.addSql(QStringLiteral("order by sys_CodColumn"));
    q.bindInteger(QStringLiteral("CodDict"), CodDict);
    q.open();
    if (q.isEmpty()) {
        q.close();
        ShowMessage(QStringLiteral("Ошибка при запуске справочника."));
        return false;
    }
    {
        ColumnsUpdating updating(*dbgDict);
        for (q.first(); !q.eof(); q.next()) {
            DBGridColumn column;
            column.fieldName = q.field(QStringLiteral("sys_FieldName")).asString();
            column.title = q.field(QStringLiteral("sys_Caption")).asString();
            column.alignment = q.field(QStringLiteral("sys_Alignment")).asInteger();
            column.width = q.field(QStringLiteral("sys_Width")).asInteger();
            column.displayFormat = q.field(QStringLiteral("sys_DisplayFormat")).asString();
            dbgDict->addColumn(column);
        }
    }
    q.close();
    qrDict->open();
    return true;
}

void TDictFM::acNewExecute() {
    if (!FEditProc) {
        return;
    }
    const int id = FEditProc(0);
    if (id > 0) {
        RefreshAndLocate(id);
    }
}

void TDictFM::acEditExecute() {
    if (qrDict->isEmpty() || !FEditProc) {
        return;
    }
    const int id = FEditProc(qrDict->field(FPKField).asInteger());
    if (id > 0) {
        RefreshAndLocate(id);
    }
}

void TDictFM::acDeleteExecute() {
    if (qrDict->isEmpty()) {
        return;
    }
    if (!Confirm(QStringLiteral("Вы действительно хотите удалить запись?"))) {
        return;
    }
    // Table and key names come from the book's stored definition.
    DbQuery& q = MainDM->qrTmp;
    q.clearSql();
    q.addSql(QStringLiteral("delete from ") + FTableName);
    q.addSql(QStringLiteral("where ") + FPKField + QStringLiteral(" = :IdRec"));
    q.bindInteger(QStringLiteral("IdRec"), qrDict->field(FPKField).asInteger());
    q.execute();
    RefreshAndLocate(0);
}

void TDictFM::dbgDictDblClick(const QPoint& pos) {
    if (RefBook::onDataCell(dbgDict, pos)) {
        dbgDictOpenRecord();
    }
}

void TDictFM::dbgDictOpenRecord() {
    if (qrDict->isEmpty()) {
        return;
    }
    if (FSelectMode) {
        IdRec = qrDict->field(FPKField).asInteger();
        done(mrOk);
        return;
    }
    acEditExecute();
}

void TDictFM::RefreshAndLocate(int id) {
    ::RefreshAndLocate(*qrDict, FPKField, id);
}

int ShowDictFM(bool SelectMode, int CodDict, int IdRec) {
    auto form = std::make_unique<TDictFM>();
    form->FSelectMode = SelectMode;
    form->IdRec = IdRec;
    if (!form->Prepare(CodDict)) {
        return 0;
    }
    return form->exec() == mrOk ? form->IdRec : 0;
}
