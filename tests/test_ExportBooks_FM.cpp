#include "ExportBooks_FM.h"
#include "MainWindowTest.h"

#include <QFile>
#include <QFileDialog>

class ExportBooksFM : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        const int rub = addValuta(QStringLiteral("RUB"));
        m_card = addAccount(QStringLiteral("Карта"), rub);
        m_cash = addAccount(QStringLiteral("Наличные"), rub);
    }
    QByteArray read(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
    }
    int m_card = 0;
    int m_cash = 0;
};

// From the menu with the keyboard alone: the period, one account, then the
// database itself and a link refused in the error box with the window open,
// a file that exists kept on "Нет" and replaced on "Да", the count and the
// place said.
TEST_F(ExportBooksFM, WritesThePeriodOfOneAccountAndReplacesOnlyWhatItMay) {
    if (onServer()) {
        GTEST_SKIP() << "the books are no file on a server: nothing of theirs can be written over";
    }
    Doc d;
    d.type = 1;
    d.account = m_card;
    d.value = Money::fromInteger(120);
    d.status = 2;
    d.date = QDate(2025, 12, 3);
    addDoc(d);
    d.status = 1;  // not applied: not without "также непроведенные"
    addDoc(d);
    d.status = 2;
    d.account = m_cash;  // another account
    addDoc(d);
    d.account = m_card;
    d.date = QDate(2026, 1, 1);  // after the period
    addDoc(d);
    const QString out = m_dir->filePath(QStringLiteral("books.qif"));
    const QString link = m_dir->filePath(QStringLiteral("link.qif"));
    QFile existing(out);
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly) && existing.write("old") == 3);
    existing.close();
    ASSERT_TRUE(QFile::link(out, link));
    const QByteArray db = read(m_path);

    ModalHelper mh;
    mh.onNext<TExportBooksFM>([&](TExportBooksFM* f) {
        activate(f);
        EXPECT_EQ(focused(), f->cbFormat);
        press(Qt::Key_Down);  // QIF
        press(Qt::Key_Tab);
        type(QStringLiteral("01.12.2025"));
        press(Qt::Key_Tab);
        type(QStringLiteral("31.12.2025"));
        press(Qt::Key_Tab);
        EXPECT_EQ(focused(), f->rxcHeadAccount);
        type(QStringLiteral("Кар"));
        press(Qt::Key_Tab);
        EXPECT_EQ(focused(), f->chAll);
        press(Qt::Key_Tab);
        EXPECT_TRUE(f->edFile->text().endsWith(QStringLiteral("dorsanti.qif")));
        for (const QString& refused : {m_path, link}) {
            typeInto(f->edFile, refused);
            press(Qt::Key_Tab);
            press(Qt::Key_Return);  // the database: asked, then refused; a link: refused
        }
        EXPECT_TRUE(f->isVisible());
        f->edFile->setFocus();
        press(Qt::Key_F4);  // the save dialog
        EXPECT_EQ(f->edFile->text(), out);
        press(Qt::Key_Tab);
        EXPECT_EQ(focused(), f->btnExport);
        press(Qt::Key_Return);  // "Нет": nothing written, the window stays
        EXPECT_EQ(QString::fromUtf8(read(out)), QString::fromUtf8("old"));
        EXPECT_EQ(focused(), f->edFile);
        press(Qt::Key_Tab);
        press(Qt::Key_Return);  // "Да"
    });
    mh.answer(QMessageBox::Yes);
    mh.onNext<QFileDialog>([&](QFileDialog* dialog) {
        EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
        dialog->selectFile(out);
        static_cast<QDialog*>(dialog)->accept();
    });
    mh.answer(QMessageBox::No);
    mh.answer(QMessageBox::Yes);
    m_main->acExport->trigger();

    EXPECT_EQ(mh.pending(), 0);
    EXPECT_TRUE(mh.unexpected().isEmpty()) << mh.unexpected().join('\n').toStdString();
    const QString question = QStringLiteral("Файл \"%1\" уже существует. Заменить его?");
    EXPECT_EQ(
        mh.texts(),
        (QStringList{
            question.arg(m_path),
            QStringLiteral("%1 - это сам файл базы данных; он не изменен").arg(m_path),
            QStringLiteral("%1 - символическая ссылка; через ссылку файл не пишется").arg(link),
            question.arg(out), question.arg(out),
            QStringLiteral("Выгружено документов: 1.\nФайл: %1").arg(out)}));
    EXPECT_EQ(mh.boxes()[2].icon, QMessageBox::Critical);
    EXPECT_EQ(read(m_path), db);
    EXPECT_EQ(QString::fromUtf8(read(out)),
              QString::fromUtf8("!Account\nNКарта\nTBank\n^\n!Type:Bank\n"
                                "D2025-12-03\nT-120.00\nM\n^\n"));
    EXPECT_EQ(QFile(out).permissions() & 0x0077, 0);
}
