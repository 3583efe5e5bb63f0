#include "ImportRules_FM.h"

#include "Dialogs.h"
#include "ImportRuleEdit_FM.h"
#include "ImportTables.h"
#include "Main_DM.h"
#include "RefBookUtils.h"
#include "Suggestions.h"

#include <QVBoxLayout>

namespace {

// The rules as sentences, held as a data set for the grid.
class RuleLines : public DataSet {
public:
    using DataSet::DataSet;

    void load(DbConnection& connection) {
        QVector<Row> rows;
        // A file made before imports has no rules yet; its tables come with
        // the first rule saved.
        if (hasImportTables(connection)) {
            const QHash<qint64, QString> categories =
                captions(connection, QStringLiteral("Category"));
            const QHash<qint64, QString> agents =
                captions(connection, QStringLiteral("ContrAgent"));
            for (const ImportRule& r : importRules(connection)) {
                const QString condition =
                    r.kind == ImportRule::Kind::DescriptionContains
                        ? QStringLiteral("Описание содержит «%1»").arg(r.text)
                        : QStringLiteral("Контрагент «%1»").arg(agents.value(r.idContrAgent));
                rows.push_back({r.id, condition, categories.value(r.idCategory)});
            }
        }
        setContents({QStringLiteral("IdImportRule"), QStringLiteral("Condition"),
                     QStringLiteral("Category")},
                    rows);
    }

private:
    // Captions by id of Category or ContrAgent: names the program chose.
    static QHash<qint64, QString> captions(DbConnection& connection, const QString& table) {
        DbQuery q(connection);
        q.setSql(QStringLiteral("select Id%1 as Id, Caption from %1").arg(table));
        q.open();
        QHash<qint64, QString> result;
        for (q.first(); !q.eof(); q.next()) {
            result.insert(q.field(QStringLiteral("Id")).asInt64(),
                          q.field(QStringLiteral("Caption")).asString());
        }
        return result;
    }
};

}  // namespace

TImportRulesFM::TImportRulesFM(QWidget* parent) : ModalForm(parent) {
    setWindowTitle(QStringLiteral("Правила импорта"));
    resize(640, 420);
    QVBoxLayout* layout = RefBook::bookFrame(this, acNew, acEdit, acDelete, ToolBar1);

    dtsRules = new RuleLines(this);
    dbgRules = new DBGrid(this);
    dbgRules->setDataSet(dtsRules);
    {
        ColumnsUpdating updating(*dbgRules);
        DBGridColumn condition;
        condition.fieldName = QStringLiteral("Condition");
        condition.title = QStringLiteral("Условие");
        condition.width = 380;
        dbgRules->addColumn(condition);
        DBGridColumn category;
        category.fieldName = QStringLiteral("Category");
        category.title = QStringLiteral("Категория");
        category.width = 200;
        dbgRules->addColumn(category);
    }
    layout->addWidget(dbgRules, 1);

    connect(acNew, &QAction::triggered, this, [this] { guarded([this] { acNewExecute(); }); });
    connect(acEdit, &QAction::triggered, this, [this] { guarded([this] { acEditExecute(); }); });
    connect(acDelete, &QAction::triggered, this,
            [this] { guarded([this] { acDeleteExecute(); }); });
    connect(dbgRules, &DBGrid::dblClick, this, [this](const QPoint& pos) {
        if (RefBook::onDataCell(dbgRules, pos)) {
            guarded([this] { acEditExecute(); });
        }
    });
    RefBook::bindGridKeys(dbgRules, acNew, acDelete, [this] { acEditExecute(); });
    RefreshAndLocate(0);
    dbgRules->setFocus();
}

void TImportRulesFM::RefreshAndLocate(qint64 id) {
    ControlsFrozen frozen(*dtsRules);
    static_cast<RuleLines*>(dtsRules)->load(MainDM->ADOConnection1);
    if (!dtsRules->locate(QStringLiteral("IdImportRule"), id)) {
        dtsRules->first();
    }
}

void TImportRulesFM::acNewExecute() {
    const qint64 id = EditImportRule(0);
    if (id > 0) {
        RefreshAndLocate(id);
    }
}

void TImportRulesFM::acEditExecute() {
    if (dtsRules->isEmpty()) {
        return;
    }
    const qint64 id = EditImportRule(dtsRules->field(QStringLiteral("IdImportRule")).asInt64());
    if (id > 0) {
        RefreshAndLocate(id);
    }
}

void TImportRulesFM::acDeleteExecute() {
    if (dtsRules->isEmpty()) {
        return;
    }
    if (!Confirm(QStringLiteral("Удалить правило \"%1\"?")
                     .arg(dtsRules->field(QStringLiteral("Condition")).asString()))) {
        return;
    }
    deleteImportRule(MainDM->ADOConnection1,
                     dtsRules->field(QStringLiteral("IdImportRule")).asInt64());
    RefreshAndLocate(0);
}

void ShowImportRules(QWidget* parent) {
    TImportRulesFM form(parent);
    form.exec();
}
