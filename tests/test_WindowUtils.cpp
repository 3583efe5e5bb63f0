#include "WindowUtils.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

// What a person meets in a window made read-only: nothing that changes data
// reacts, and everything stays as readable as before.
TEST(EnableControlTree, NothingChangesDataAndEverythingStaysReadable) {
    QWidget window;
    auto* outer = new QGroupBox(QStringLiteral("Документ"), &window);
    auto* label = new QLabel(QStringLiteral("Сумма"), outer);
    auto* edit = new QLineEdit(QStringLiteral("10"), outer);
    auto* inner = new QGroupBox(outer);
    auto* button = new QPushButton(QStringLiteral("Счет"), inner);
    auto* note = new QPlainTextEdit(outer);
    QString text;
    for (int line = 1; line <= 60; ++line) {
        text += QStringLiteral("Строка %1\n").arg(line);
    }
    note->setPlainText(text);
    note->setFixedHeight(60);
    (new QVBoxLayout(inner))->addWidget(button);
    auto* layout = new QVBoxLayout(outer);
    for (QWidget* w : std::initializer_list<QWidget*>{label, edit, inner, note}) {
        layout->addWidget(w);
    }
    (new QVBoxLayout(&window))->addWidget(outer);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QImage labelBefore = label->grab().toImage();
    const QImage titleBefore = outer->grab(QRect(0, 0, outer->width(), 12)).toImage();

    EnableControlTree(false, outer);
    QSignalSpy clicks(button, &QPushButton::clicked);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(clicks.count(), 0);
    edit->setFocus();
    QTest::keyClicks(edit, QStringLiteral("5"));
    EXPECT_EQ(edit->text(), QStringLiteral("10"));
    note->setFocus();
    QTest::keyClicks(note, QStringLiteral("x"));
    EXPECT_EQ(note->toPlainText(), text);

    // The label and the group's title look as they did; the note scrolls and
    // its text can be selected and copied.
    EXPECT_EQ(label->grab().toImage(), labelBefore);
    EXPECT_EQ(outer->grab(QRect(0, 0, outer->width(), 12)).toImage(), titleBefore);
    EXPECT_TRUE(note->verticalScrollBar()->isEnabled());
    QTest::keyClick(note, Qt::Key_End, Qt::ControlModifier);
    EXPECT_GT(note->verticalScrollBar()->value(), 0);
    QTest::keyClick(note, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(note, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), text);

    // And back: the controls work again; a label disabled on its own stays so.
    label->setEnabled(false);
    EnableControlTree(true, outer);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(clicks.count(), 1);
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_End);
    QTest::keyClicks(edit, QStringLiteral("5"));
    EXPECT_EQ(edit->text(), QStringLiteral("105"));
    EXPECT_FALSE(note->isReadOnly());
    EXPECT_FALSE(label->isEnabled());
}
