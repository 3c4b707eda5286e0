// Process attach and detach of the library.  Areas that need process-wide
// set-up (the shared settings area, the shell extension's module state) hook
// in here.
#include "engine.h"
#include "sharedarea.h"

extern "C" void TesselProcessAttach(void) { SharedAreaOpen(); }
extern "C" void TesselProcessDetach(void) { SharedAreaRelease(); }
