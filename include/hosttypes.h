/* Host-type table and detection from the greeting and the SYST reply.
 * Portable: no Win32 types. */
#ifndef TESSEL_HOSTTYPES_H
#define TESSEL_HOSTTYPES_H

#include "tessel_api.h"

TESSEL_EXTERN_C const char *TESSEL_API TESSEL_ReturnHostTypeName(int number);
TESSEL_EXTERN_C int TESSEL_API TESSEL_DoAutoCheck(const char *text, int current);
TESSEL_EXTERN_C int TESSEL_API TESSEL_DetectFromSystString(const char *text, int current);

#endif
