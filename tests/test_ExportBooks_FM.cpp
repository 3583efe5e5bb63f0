#include "DocTestData.h"
#include "ExportBooks_FM.h"
#include "Keyboard.h"
#include "Main_FM.h"
#include "ModalHelper.h"

#include <QFile>
#include <QFileDialog>

class ExportBooksFM : public DocTest {
protected:
    void SetUp() override {
        DocTest::SetUp();
        startSession();
        const int rub = addValuta(QStringLiteral("RUB"));
        m_card = addAccount(QStringLiteral("Карта"), rub);
        m_cash = addAccount(QStringLiteral("Наличные"), rub);
        m_main = std::make_unique<TMainFM>();
        m_main->show();
        activate(m_main.get());
    }
    void TearDown() override {
        m_main.reset();
        DocTest::TearDown();
    }
    QByteArray read(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
    }
    int m_card = 0;
    int m_cash = 0;
    std::unique_ptr<TMainFM> m_main;
};

// From the menu with the keyboard alone: the period, one account, a file that
// exists (kept on "Нет", replaced on "Да"), then the count and the place said.
TEST_F(ExportBooksFM, WritesThePeriodOfOneAccountAndReplacesAFileOnlyWhenAsked) {
    Doc d;
    d.type = 1;
    d.account = m_card;
    d.value = Money::fromInteger(120);
    d.status = 2;
    d.date = QDate(2025, 12, 3);
    d.note = QStringLiteral("обед");
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
    QFile existing(out);
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("old");
    existing.close();

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
        EXPECT_EQ(focused(), f->edFile);
        EXPECT_TRUE(f->edFile->text().endsWith(QStringLiteral("dorsanti.qif")));
        press(Qt::Key_F4);  // the save dialog
        EXPECT_EQ(f->edFile->text(), out);
        press(Qt::Key_Tab);
        EXPECT_EQ(focused(), f->btnExport);
        press(Qt::Key_Return);  // "Нет": nothing written, the window stays
        EXPECT_TRUE(f->isVisible());
        EXPECT_EQ(read(out), QByteArray("old"));
        EXPECT_EQ(focused(), f->edFile);
        press(Qt::Key_Tab);
        press(Qt::Key_Return);  // "Да"
    });
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
    const QString question = QStringLiteral("Файл \"%1\" уже существует. Заменить его?").arg(out);
    EXPECT_EQ(mh.texts(),
              (QStringList{question, question,
                           QStringLiteral("Выгружено документов: 1.\nФайл: %1").arg(out)}));
    const QByteArray qif = read(out);
    EXPECT_TRUE(qif.startsWith("!Account\nNКарта")) << qif.constData();
    EXPECT_EQ(qif.count("\n^\n"), 2) << qif.constData();  // the account and one payment
    EXPECT_TRUE(qif.contains("D2025-12-03\nT-120.00\n")) << qif.constData();
    EXPECT_EQ(QFile(out).permissions() & 0x0077, 0);
}

// The database itself and a link are refused with the engine's sentence in
// the error box; the window stays open and neither file changes.
TEST_F(ExportBooksFM, RefusesTheDatabaseAndALinkAndStaysOpen) {
    addDoc(1, m_card, Money::fromInteger(5), 2);
    const QString target = m_dir->filePath(QStringLiteral("elsewhere.txt"));
    QFile t(target);
    ASSERT_TRUE(t.open(QIODevice::WriteOnly));
    t.write("mine");
    t.close();
    const QString link = m_dir->filePath(QStringLiteral("link.csv"));
    ASSERT_TRUE(QFile::link(target, link));
    const QByteArray db = read(m_path);

    ModalHelper mh;
    mh.onNext<TExportBooksFM>([&](TExportBooksFM* f) {
        activate(f);
        typeInto(f->edFile, m_path);
        f->btnExport->setFocus();
        press(Qt::Key_Return);  // asks, then refuses
        typeInto(f->edFile, link);
        f->btnExport->setFocus();
        press(Qt::Key_Space);  // no question for a link: refused
        EXPECT_TRUE(f->isVisible());
        press(Qt::Key_Escape);
    });
    mh.answer(QMessageBox::Yes);
    EXPECT_EQ(ShowExportBooksFM(), -1);

    ASSERT_EQ(mh.boxes().size(), 3);
    EXPECT_EQ(mh.boxes()[1].icon, QMessageBox::Critical);
    EXPECT_EQ(mh.boxes()[1].text,
              QStringLiteral("%1 - это сам файл базы данных; он не изменен").arg(m_path));
    EXPECT_EQ(mh.boxes()[2].icon, QMessageBox::Critical);
    EXPECT_TRUE(mh.boxes()[2].text.contains(QStringLiteral("символическая ссылка")));
    EXPECT_EQ(read(target), QByteArray("mine"));
    EXPECT_EQ(read(m_path), db);
}
