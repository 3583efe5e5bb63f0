#include "WindowUtils.h"

#include <gtest/gtest.h>

#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

// Records the order in which widgets change their enabled state.
class Recorder : public QObject {
public:
    QStringList order;
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::EnabledChange) {
            order << o->objectName();
        }
        return false;
    }
};

}  // namespace

TEST(EnableControlTree, DisablesChildrenDepthFirstThenTheControl) {
    QGroupBox outer;
    outer.setObjectName(QStringLiteral("outer"));
    auto* edit = new QLineEdit(&outer);
    edit->setObjectName(QStringLiteral("edit"));
    auto* label = new QLabel(QStringLiteral("Сумма"), &outer);
    label->setObjectName(QStringLiteral("label"));
    auto* inner = new QGroupBox(&outer);
    inner->setObjectName(QStringLiteral("inner"));
    auto* button = new QPushButton(inner);
    button->setObjectName(QStringLiteral("button"));

    Recorder rec;
    for (QWidget* w : std::initializer_list<QWidget*>{&outer, edit, label, inner, button}) {
        w->installEventFilter(&rec);
    }
    EnableControlTree(false, &outer);
    // Each control's own (explicit) state: the label keeps its own.
    EXPECT_TRUE(edit->testAttribute(Qt::WA_ForceDisabled));
    EXPECT_TRUE(button->testAttribute(Qt::WA_ForceDisabled));
    EXPECT_TRUE(inner->testAttribute(Qt::WA_ForceDisabled));
    EXPECT_TRUE(outer.testAttribute(Qt::WA_ForceDisabled));
    EXPECT_FALSE(label->testAttribute(Qt::WA_ForceDisabled));
    const QStringList order = rec.order;
    EXPECT_LT(order.indexOf(QStringLiteral("button")), order.indexOf(QStringLiteral("inner")));
    EXPECT_LT(order.indexOf(QStringLiteral("inner")), order.indexOf(QStringLiteral("outer")));
    EXPECT_LT(order.indexOf(QStringLiteral("edit")), order.indexOf(QStringLiteral("outer")));

    label->setEnabled(false);
    EnableControlTree(true, &outer);
    EXPECT_TRUE(edit->isEnabled());
    EXPECT_TRUE(button->isEnabled());
    EXPECT_FALSE(label->isEnabled());  // its own state stays
}
