// The CryptoAPI subset the module uses (MD5 of a device path), as it sees it
// on other systems. Every call returns a BOOL; on FALSE, GetLastError tells
// why. Only included when not building for Windows.
#pragma once

#include "win_types.h"

typedef ULONG_PTR HCRYPTPROV;
typedef ULONG_PTR HCRYPTHASH;
typedef ULONG_PTR HCRYPTKEY;
typedef unsigned int ALG_ID;

#define PROV_RSA_FULL 1
#define CRYPT_VERIFYCONTEXT 0xF0000000u
#define CALG_MD5 0x00008003
#define HP_ALGID 0x0001
#define HP_HASHVAL 0x0002
#define HP_HASHSIZE 0x0004

VOR_PLATFORM_API BOOL CryptAcquireContextA(HCRYPTPROV* phProv, LPCSTR szContainer, LPCSTR szProvider,
                                           DWORD dwProvType, DWORD dwFlags);
VOR_PLATFORM_API BOOL CryptCreateHash(HCRYPTPROV hProv, ALG_ID Algid, HCRYPTKEY hKey, DWORD dwFlags,
                                      HCRYPTHASH* phHash);
VOR_PLATFORM_API BOOL CryptHashData(HCRYPTHASH hHash, const BYTE* pbData, DWORD dwDataLen, DWORD dwFlags);
VOR_PLATFORM_API BOOL CryptGetHashParam(HCRYPTHASH hHash, DWORD dwParam, BYTE* pbData, DWORD* pdwDataLen,
                                        DWORD dwFlags);
VOR_PLATFORM_API BOOL CryptDestroyHash(HCRYPTHASH hHash);
VOR_PLATFORM_API BOOL CryptReleaseContext(HCRYPTPROV hProv, DWORD dwFlags);
