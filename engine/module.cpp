// Process attach and detach of the library.  Areas that need process-wide
// set-up (the shared settings area, the shell extension's module state) hook
// in here.
#include "engine.h"

extern "C" void TesselProcessAttach(void) {}
extern "C" void TesselProcessDetach(void) {}
