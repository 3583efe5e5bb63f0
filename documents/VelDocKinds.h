#pragma once

// Registers the three document kinds with VelDocLib, in the order income (2),
// expense (1), transfer (3). Called once at start, before any window; a
// second call changes nothing.
void RegisterVelDocKinds();
