#pragma once

class QWidget;

// Sets the enabled state of every control below `control`, depth first in
// child order, and then of `control` itself, as the user sees it:
// - labels keep their own state, and so keep their normal colour;
// - a container (a group box, a panel) passes the state on to its controls
//   but stays enabled itself, since a disabled container greys every label
//   inside it;
// - a text area becomes read-only instead: its text can still be scrolled,
//   selected and copied, but not changed;
// - every other control (fields, lists, buttons) is enabled or disabled.
void EnableControlTree(bool value, QWidget* control);
