#include "WindowUtils.h"

#include <QLabel>
#include <QWidget>

namespace {

// A windowed control holds other controls or takes the focus; a label or a
// picture does neither.
bool isWindowedControl(const QWidget* w) {
    if (qobject_cast<const QLabel*>(w)) {
        return false;
    }
    return w->focusPolicy() != Qt::NoFocus || !w->findChildren<QWidget*>(
                                                   QString(), Qt::FindDirectChildrenOnly)
                                                   .isEmpty();
}

}  // namespace

void EnableControlTree(bool value, QWidget* control) {
    const auto children = control->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget* child : children) {
        if (!child->isWindow() && isWindowedControl(child)) {
            EnableControlTree(value, child);
        }
    }
    control->setEnabled(value);
}
