#pragma once

#include <QIcon>

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
}  // namespace Icons
