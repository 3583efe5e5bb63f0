#pragma once

class QWidget;

// Sets the enabled state of every windowed control below `control`, depth
// first in child order, and then of `control` itself. Labels and other
// controls that cannot take the focus keep their own state.
void EnableControlTree(bool value, QWidget* control);
