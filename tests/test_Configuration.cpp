// The configuration rows drive the browser, the lists and the books; every
// statement that the windows build from them must run on a fresh database and
// give the columns the windows read.
#include "Document_FM.h"
#include "TestDb.h"

#include <QColor>
#include <cmath>

#include <QProcess>
#include <QTreeWidgetItemIterator>

class Configuration : public DbTest {
protected:
    // The nodes of the type tree as the document browser builds them, in
    // tree order: each with its statement and the field names of the columns
    // it shows.
    struct Node {
        int code;
        QString sql;
        QStringList fields;
    };
    QList<Node> nodes() {
        TDocumentFM browser;
        QList<Node> result;
        for (QTreeWidgetItemIterator it(browser.tvDocs); *it; ++it) {
            const TTreeNodeVelDoc* data = browser.nodeOf(*it);
            Node node{data->TypeCode, data->SQLText, {}};
            for (int tag : data->Columns) {
                const int at = browser.dbgDoc->findColumnByTag(tag);
                EXPECT_GE(at, 0) << tag;
                if (at >= 0) {
                    node.fields << browser.dbgDoc->column(at).fieldName;
                }
            }
            result << node;
        }
        return result;
    }

    void fillDemo() {
        removeBooks();
        QProcess tool;
        tool.start(QStringLiteral(DORSANTI_DB_TOOL),
                   {QStringLiteral("create"), m_path, QStringLiteral("--demo")});
        ASSERT_TRUE(tool.waitForFinished(60000));
        ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
        m_dm->ADOConnection1.open(m_path);
        reopenTestConnection(m_path);
    }
};

TEST_F(Configuration, TheTreeHoldsTheThreeKindsInAFolder) {
    const QList<Node> list = nodes();
    QList<int> codes;
    for (const Node& n : list) {
        codes << n.code;
        EXPECT_FALSE(n.sql.isEmpty()) << n.code;
    }
    // One folder, its types by caption: Перенос, Приход, Расход.
    EXPECT_EQ(codes, (QList<int>{-1, 3, 2, 1}));
}

TEST_F(Configuration, EveryNodeStatementRunsAndGivesTheColumnsShown) {
    fillDemo();
    const QList<Node> list = nodes();
    ASSERT_FALSE(list.isEmpty());
    for (const Node& n : list) {
        SCOPED_TRACE(n.code);
        DbQuery q(m_dm->ADOConnection1, QStringLiteral("qrDoc"));
        q.setSql(n.sql);
        q.bindDateTime(QStringLiteral("BeginDate"), QDateTime(QDate(2000, 1, 1), QTime(0, 0)));
        q.bindDateTime(QStringLiteral("EndDate"), QDateTime(QDate::currentDate(), QTime(0, 0)));
        q.open();
        EXPECT_GT(q.recordCount(), 0);
        for (const QString& f : {QStringLiteral("IdDocument"), QStringLiteral("CodTypeDocument"),
                                 QStringLiteral("ColorStatus")}) {
            EXPECT_TRUE(q.hasField(f)) << f.toStdString();
        }
        EXPECT_GE(n.fields.size(), 6);
        for (const QString& f : n.fields) {
            EXPECT_TRUE(q.hasField(f)) << f.toStdString();
        }
        for (q.first(); !q.eof(); q.next()) {
            const int type = q.field(QStringLiteral("CodTypeDocument")).asInteger();
            if (n.code > 0) {
                ASSERT_EQ(type, n.code);
            }
            EXPECT_GT(q.field(QStringLiteral("ColorStatus")).asInteger(), 0);
            EXPECT_FALSE(q.field(QStringLiteral("AccountCaption")).asString().isEmpty());
            if (type == 3) {
                EXPECT_FALSE(q.field(QStringLiteral("Account2Caption")).asString().isEmpty());
                EXPECT_GT(q.field(QStringLiteral("ValueDocument2")).asMoney(), Money());
            }
        }
    }
}

TEST_F(Configuration, TheDateRangeBoundsTheList) {
    fillDemo();
    const Node folder = nodes().first();
    DbQuery q(m_dm->ADOConnection1, QStringLiteral("qrDoc"));
    q.setSql(folder.sql);
    const QDate day = QDate::currentDate().addDays(-30);
    q.bindDateTime(QStringLiteral("BeginDate"), QDateTime(day, QTime(0, 0)));
    q.bindDateTime(QStringLiteral("EndDate"), QDateTime(day, QTime(0, 0)));
    q.open();
    const int expected = count(QStringLiteral("Document"),
                               QStringLiteral("DateDocument = '%1'").arg(storedDate(day)));
    EXPECT_EQ(q.recordCount(), expected);
}

TEST_F(Configuration, StatusesAndSignsCoverEveryKind) {
    for (int type : {1, 2, 3}) {
        for (int status : {1, 2}) {
            EXPECT_GT(scalar(QStringLiteral("select ColorStatus from TypeStatus where "
                                            "CodTypeDocument = %1 and CodStatus = %2")
                                 .arg(type)
                                 .arg(status))
                          .toInt(),
                      0);
        }
        // The two statuses of a type differ at a glance (in hue), and black
        // text reads well on both (a contrast of at least 7 to 1).
        const auto colour = [&](int status) {
            const int v = scalar(QStringLiteral("select ColorStatus from TypeStatus where "
                                                "CodTypeDocument = %1 and CodStatus = %2")
                                     .arg(type)
                                     .arg(status))
                              .toInt();
            return QColor(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF);
        };
        const int hues = std::abs(colour(1).hslHue() - colour(2).hslHue());
        EXPECT_GE(std::min(hues, 360 - hues), 40) << type;
        for (int status : {1, 2}) {
            const QColor c = colour(status);
            const auto linear = [](double v) {
                v /= 255;
                return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
            };
            const double luminance =
                0.2126 * linear(c.red()) + 0.7152 * linear(c.green()) + 0.0722 * linear(c.blue());
            EXPECT_GE((luminance + 0.05) / 0.05, 7.0) << type << "/" << status;
        }
    }
    EXPECT_EQ(scalar(QStringLiteral("select %1 from (select "
                                    "SignInGroup from GroupOperationItem where "
                                    "CodGroupOperation = 1 order by CodTypeOperation) x")
                         .arg(joinedSql(QStringLiteral("SignInGroup"))))
                  .toString(),
              QStringLiteral("-1,1,-1,1"));
    // An income or expense counts with the sign of its own code.
    EXPECT_EQ(count(QStringLiteral("TypeDocument"),
                    QStringLiteral("CodTypeDocument in (1, 2) and CodTypeOperation = "
                                   "CodTypeDocument")),
              2);
}

TEST_F(Configuration, TheDictionariesRunAndGiveTheirColumns) {
    fillDemo();
    DbQuery dict(m_dm->ADOConnection1, QStringLiteral("dict"));
    dict.setSql(QStringLiteral("select * from sys_Dict order by sys_CodDict"));
    dict.open();
    ASSERT_EQ(dict.recordCount(), 2);
    const QStringList tables{QStringLiteral("Valuta"), QStringLiteral("HeadAccount")};
    for (dict.first(); !dict.eof(); dict.next()) {
        const int code = dict.field(QStringLiteral("sys_CodDict")).asInteger();
        SCOPED_TRACE(code);
        EXPECT_EQ(dict.field(QStringLiteral("sys_TableName")).asString(), tables[code - 1]);
        EXPECT_EQ(dict.field(QStringLiteral("sys_PKField")).asString(),
                  QStringLiteral("Id") + tables[code - 1]);
        DbQuery list(m_dm->ADOConnection1, QStringLiteral("qrDict"));
        list.setSql(dict.field(QStringLiteral("sys_SQLQuery")).asString());
        list.open();
        EXPECT_GT(list.recordCount(), 0);
        EXPECT_TRUE(list.hasField(dict.field(QStringLiteral("sys_PKField")).asString()));
        DbQuery columns(m_dm->ADOConnection1, QStringLiteral("columns"));
        columns.clearSql();
        columns.addSql(QStringLiteral("select * from sys_DictColumn"));
        columns.addSql(QStringLiteral("where sys_CodDict = :CodDict"));
        columns.addSql(QStringLiteral("order by sys_CodColumn"));
        columns.bindInteger(QStringLiteral("CodDict"), code);
        columns.open();
        EXPECT_GE(columns.recordCount(), 2);
        for (columns.first(); !columns.eof(); columns.next()) {
            EXPECT_TRUE(list.hasField(columns.field(QStringLiteral("sys_FieldName")).asString()));
        }
    }
}
