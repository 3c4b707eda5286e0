/* Exported site-profile and settings functions of tesselcore.  Results are
 * COM status codes (S_OK, S_FALSE, E_FAIL, E_INVALIDARG, E_ABORT); ordinals
 * are fixed in tesselcore.def. */
#ifndef TESSEL_SITES_H
#define TESSEL_SITES_H

#include "tessel_api.h"
#include "ftpinfo.h"
#include "ftpsiteinfo.h"

/* Global settings.  `size` must be 2860 or more. */
TESSEL_EXTERN_C HRESULT TESSEL_API TESSEL_SetFTPInfo(const FTPINFO *info);                 /* 1100 */
TESSEL_EXTERN_C HRESULT TESSEL_API TESSEL_GetFTPInfo(FTPINFO *info, BOOL useCache);        /* 1101 */
TESSEL_EXTERN_C HRESULT TESSEL_API TESSEL_ModifyFTPInfo(HWND parent, FTPINFO *infoOut);    /* 1102 */

/* Site profiles.  `size` must be 3208 or more. */
TESSEL_EXTERN_C HRESULT TESSEL_API TESSEL_SetFTPSiteInfo(const FTPSITEINFO *site);         /* 1103 */
TESSEL_EXTERN_C HRESULT TESSEL_API TESSEL_GetFTPSiteInfo(const char *name, FTPSITEINFO *site); /* 1104 */
/* Search handle, or INVALID_HANDLE_VALUE (-1) when there is no site. */
TESSEL_EXTERN_C HANDLE TESSEL_API TESSEL_FindFirstFTPSite(FTPSITEINFO *site);             /* 1105 */
TESSEL_EXTERN_C BOOL TESSEL_API TESSEL_FindNextFTPSite(HANDLE find, FTPSITEINFO *site);    /* 1106 */
TESSEL_EXTERN_C BOOL TESSEL_API TESSEL_FindCloseFTP(HANDLE find);                          /* 1107 */
TESSEL_EXTERN_C HRESULT TESSEL_API TESSEL_DeleteFTPSite(const char *name);                 /* 1109 */
/* options bit 0x1: copy the preference bits (0x7FC0) into every profile. */
TESSEL_EXTERN_C HRESULT TESSEL_API TESSEL_ApplyFTPSiteInfo(const FTPSITEINFO *site, DWORD options); /* 1113 */

#endif
