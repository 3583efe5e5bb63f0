#include "VelDocKinds.h"

#include "VelDoc_Type1.h"
#include "VelDoc_Type2.h"
#include "VelDoc_Type3.h"

// The kinds register from here and not from static initialisers of their own
// modules: a static library's unreferenced object files never reach the program.
void RegisterVelDocKinds() {
    static bool registered = false;
    if (registered) {
        return;
    }
    registered = true;
    RegisterVelDocType2();
    RegisterVelDocType1();
    RegisterVelDocType3();
}
