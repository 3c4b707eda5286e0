// Class identifiers and names of the shell extension.
#ifndef TESSEL_SHELLEXT_GUIDS_H
#define TESSEL_SHELLEXT_GUIDS_H

#include <winsock2.h>
#include <windows.h>

// The namespace root: registered, used in the junctions and returned by the
// folders' GetClassID.
extern const CLSID CLSID_TesselRoot;
// Hands out a factory too, which creates nothing.
extern const CLSID CLSID_TesselSecondary;

#define TESSEL_DESCRIPTION "Quillfold"
#define TESSEL_PROGID_INDEPENDENT "Corvane.TESSELCORE"
#define TESSEL_PROGID_VERSION "980314"

#endif
