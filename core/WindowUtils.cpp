#include "WindowUtils.h"

#include <QAbstractButton>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QWidget>

namespace {

// A container holds controls and is not one itself: it never takes the focus
// (nor passes it to a part of itself, as a date field does).
bool isContainer(const QWidget* w) {
    return w->focusPolicy() == Qt::NoFocus && !w->focusProxy() &&
           !qobject_cast<const QAbstractButton*>(w) &&
           !w->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly).isEmpty();
}

void setState(bool value, QWidget* w) {
    // Read-only text still moves its cursor by the keys, for reading.
    const auto readOnly = [](auto* text, bool editable) {
        text->setReadOnly(!editable);
        if (!editable) {
            text->setTextInteractionFlags(Qt::TextSelectableByMouse |
                                          Qt::TextSelectableByKeyboard);
        }
        text->setEnabled(true);
    };
    if (auto* text = qobject_cast<QPlainTextEdit*>(w)) {
        readOnly(text, value);
    } else if (auto* rich = qobject_cast<QTextEdit*>(w)) {
        readOnly(rich, value);
    } else if (!isContainer(w)) {
        w->setEnabled(value);
    }
}

}  // namespace

void EnableControlTree(bool value, QWidget* control) {
    const auto children = control->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget* child : children) {
        if (!child->isWindow() && !qobject_cast<QLabel*>(child)) {
            if (isContainer(child)) {
                EnableControlTree(value, child);
            } else {
                setState(value, child);
            }
        }
    }
    setState(value, control);
}
