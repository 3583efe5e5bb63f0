#include "Backup.h"
#include "Backup_FM.h"
#include "Check.h"
#include "CheckResult_FM.h"
#include "MainWindowTest.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

class BackupFM : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        addAccount(QStringLiteral("Карта"), addValuta(QStringLiteral("RUB")));
    }
    // The findings window's text, read when it opens.
    void readFindings(ModalHelper& mh, QString* text) {
        mh.onNext<TCheckResultFM>([text](TCheckResultFM* f) {
            activate(f);
            *text = f->tbFindings->toPlainText();
            EXPECT_EQ(focused(), f->btnClose);
            press(Qt::Key_Return);
        });
    }
};

// A copy now into the folder of copies and into a chosen one, the check's
// findings before and after a fault, and the restore command to copy, all
// from the keyboard.
TEST_F(BackupFM, CopiesNowSaysWhereChecksTheFileAndShowsTheRestoreCommand) {
    if (onServer()) {
        GTEST_SKIP() << "this window copies a file; a server is copied with its own tools";
    }
    addDoc(1, 1, Money::fromInteger(7), 1);
    const QString failed = dailyCopyFailurePath(m_path);
    QFile marker(failed);
    ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
    marker.close();
    const QString other = m_dir->filePath(QStringLiteral("копии"));
    ASSERT_TRUE(QDir().mkdir(other));
    QString first, second, clean, faulty;

    ModalHelper mh;
    mh.onNext<TBackupFM>([&](TBackupFM* f) {
        activate(f);
        EXPECT_EQ(f->edRestore->toPlainText(),
                  QStringLiteral("dorsanti-db restore КОПИЯ %1").arg(m_path));
        EXPECT_EQ(f->lbDefaultFolder->text(), defaultBackupFolder(m_path));
        f->ProgressDelayMs = 0;
        EXPECT_EQ(focused(), f->btnBackup);
        press(Qt::Key_Return);
        first = f->edResult->toPlainText();
        EXPECT_TRUE(f->pbCopy->isVisible());
        EXPECT_GT(f->pbCopy->maximum(), 0);
        EXPECT_EQ(f->pbCopy->value(), f->pbCopy->maximum());
        EXPECT_EQ(f->edRestore->toPlainText(),
                  QStringLiteral("dorsanti-db restore %1 %2").arg(first, m_path));

        altKey(u'д');  // "В другую папку"
        EXPECT_TRUE(waitFor([&] { return f->rbOtherFolder->isChecked(); }));
        press(Qt::Key_Tab);
        EXPECT_EQ(focused(), f->edFolder);
        type(other + QStringLiteral("-нет"));
        f->btnBackup->setFocus();
        press(Qt::Key_Space);  // no such folder
        EXPECT_EQ(focused(), f->edFolder);
        f->edFolder->selectAll();
        type(other);
        f->btnBackup->setFocus();
        press(Qt::Key_Space);
        second = f->edResult->toPlainText();
        EXPECT_EQ(f->edRestore->toPlainText(),
                  QStringLiteral("dorsanti-db restore '%1' %2").arg(second, m_path));

        altKey(u'р');  // "Проверить файл"
        EXPECT_TRUE(waitFor([&] { return !clean.isEmpty(); }));
        exec(QStringLiteral("update HeadAccount set Saldo = 5"));
        altKey(u'р');
        EXPECT_TRUE(waitFor([&] { return !faulty.isEmpty(); }));
        press(Qt::Key_Escape);
    });
    readFindings(mh, &clean);
    readFindings(mh, &faulty);
    m_main->acBackup->trigger();

    EXPECT_EQ(mh.pending(), 0);
    EXPECT_TRUE(mh.unexpected().isEmpty()) << mh.unexpected().join('\n').toStdString();
    EXPECT_EQ(QFileInfo(first).absolutePath(), defaultBackupFolder(m_path));
    EXPECT_EQ(QFileInfo(second).absolutePath(), other);
    EXPECT_EQ(mh.texts(), (QStringList{QStringLiteral("Копия сделана:\n%1").arg(first),
                                       QStringLiteral("Папки \"%1-нет\" нет.").arg(other),
                                       QStringLiteral("Копия сделана:\n%1").arg(second)}));
    EXPECT_EQ(QFileInfo(first).permissions() & 0x0077, 0);
    EXPECT_EQ(QFileInfo(defaultBackupFolder(m_path)).permissions() & 0x0077, 0);
    EXPECT_FALSE(QFile::exists(failed));  // a good copy answers a failed daily one
    for (const QString& copy : {first, second}) {
        reopenTestConnection(copy);
        EXPECT_EQ(count(QStringLiteral("Document")), 1);
    }
    EXPECT_EQ(clean, QStringLiteral("Файл: %1\nОшибок не найдено").arg(m_path));
    EXPECT_TRUE(faulty.contains(
        QStringLiteral("Остаток счета не равен сумме его проводок: 1\nсчет 1 \"Карта\"")))
        << faulty.toStdString();
    EXPECT_TRUE(faulty.contains(QStringLiteral("dorsanti-db check %1 --repair").arg(m_path)));
}
