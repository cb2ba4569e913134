// CryptoAPI, the part a capture plug-in uses: MD5 through a verify-only
// context, plus the thread's last-error value. The sim computes the digest
// with OpenSSL's libcrypto.
//
// Behaviour (every function returns TRUE or FALSE; after FALSE,
// GetLastError() says why; success leaves the last error alone):
// - CryptAcquireContextA: only PROV_RSA_FULL (else NTE_PROV_TYPE_NOT_DEF);
//   flags must be CRYPT_VERIFYCONTEXT, optionally with CRYPT_SILENT (0:
//   NTE_BAD_KEYSET, the sim has no key containers; other bits:
//   NTE_BAD_FLAGS); the container name is ignored; the provider name must be
//   NULL or a Microsoft RSA provider (else NTE_KEYSET_NOT_DEF); NULL
//   out-pointer: ERROR_INVALID_PARAMETER. On failure *phProv is 0.
// - CryptCreateHash: unknown context ERROR_INVALID_HANDLE; algorithm other
//   than CALG_MD5 NTE_BAD_ALGID; flags NTE_BAD_FLAGS; a key NTE_BAD_KEY;
//   NULL out-pointer ERROR_INVALID_PARAMETER.
// - CryptHashData: unknown hash ERROR_INVALID_HANDLE; flags NTE_BAD_FLAGS;
//   NULL data with a non-zero length ERROR_INVALID_PARAMETER; once the value
//   has been read NTE_BAD_HASH_STATE. Length 0 is fine.
// - CryptGetHashParam: HP_HASHVAL (16 bytes, digest order), HP_HASHSIZE and
//   HP_ALGID (a DWORD each). NULL buffer: TRUE with the size in *pdwDataLen;
//   too small: FALSE, ERROR_MORE_DATA, size in *pdwDataLen. Asking for
//   HP_HASHVAL with a buffer, even one too small, finalises the hash (as
//   Wine's provider does); reading it again gives the same value.
//   Unknown parameter NTE_BAD_TYPE; flags NTE_BAD_FLAGS; NULL length
//   ERROR_INVALID_PARAMETER.
// - CryptDestroyHash: unknown hash ERROR_INVALID_HANDLE.
// - CryptReleaseContext: flags NTE_BAD_FLAGS (the context stays valid);
//   unknown context ERROR_INVALID_HANDLE. Releasing a context destroys the
//   hashes still open on it: their handles become unknown.
// Handles are never reused within a process; 0 is never a valid handle.
#pragma once

// The platform's own declarations: the types, the HRESULT and Win32 codes,
// and the CryptoAPI functions as the module sees them. This header adds only
// what those lack, so a file may include both.
#include "win_hresult.h"
#include "win_types.h"
#include "wincrypt_api.h"

#ifndef CRYPT_SILENT
#define CRYPT_SILENT 0x00000040u
#endif

// Last-error values the sim sets beyond those win_hresult.h declares (Win32
// codes and NTE_* HRESULTs; GetLastError hands them back as DWORDs).
#ifndef ERROR_NOT_ENOUGH_MEMORY
#define ERROR_NOT_ENOUGH_MEMORY 8L
#endif
#ifndef ERROR_INVALID_PARAMETER
#define ERROR_INVALID_PARAMETER 87L
#endif
#ifndef NTE_BAD_KEY
#define NTE_BAD_KEY VOR_HR(0x80090003u)
#endif
#ifndef NTE_BAD_TYPE
#define NTE_BAD_TYPE VOR_HR(0x8009000Au)
#endif
#ifndef NTE_BAD_KEYSET
#define NTE_BAD_KEYSET VOR_HR(0x80090016u)
#endif
#ifndef NTE_KEYSET_NOT_DEF
#define NTE_KEYSET_NOT_DEF VOR_HR(0x80090019u)
#endif

// Sets the calling thread's last-error value (GetLastError is declared by
// win_types.h).
VOR_PLATFORM_API void SetLastError(DWORD dwErrCode);
