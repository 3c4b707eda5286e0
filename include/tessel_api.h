/* Calling convention of tesselcore's exports.  The portable parts (listing
 * decoders, host-type detection, reply parsing) include only this header, so
 * they build on Linux too, where the convention macro is empty. */
#ifndef TESSEL_API_H
#define TESSEL_API_H

#ifdef _WIN32
#define TESSEL_API __stdcall
#else
#define TESSEL_API
#endif

#ifdef __cplusplus
#define TESSEL_EXTERN_C extern "C"
#else
#define TESSEL_EXTERN_C
#endif

/* Host-type numbers: 6000 = automatic detect, 6000..6051 the known families. */
#define TESSEL_HOST_AUTO  6000
#define TESSEL_HOST_FIRST 6000
#define TESSEL_HOST_LAST  6051
#define TESSEL_HOST_COUNT 52

#endif
