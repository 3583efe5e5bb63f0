#pragma once

#include <QIcon>

class QPainter;

// The program's pictures, drawn in code so that they stay sharp at any size.
namespace Icons {
QIcon add();          // green plus
QIcon edit();         // pencil
QIcon remove();       // red cross
QIcon apply();        // green tick
QIcon refresh();      // circular arrow
QIcon documents();    // stack of pages
QIcon closeWindow();  // window with a cross
QIcon statistics();   // pie
QIcon reports();      // page with lines and bars
QIcon calendar();     // calendar page
QIcon openFile();     // open folder
QIcon lookup();       // book with three dots

// The program's own picture (a wallet with a coin), for its windows and for
// the desktop's menus, at 16 to 256 pixels.
QIcon application();
// Paints that picture on a 32-by-32 canvas (scale the painter for other sizes).
void paintApplication(QPainter& p);
}  // namespace Icons
