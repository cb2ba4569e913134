// Windows base types as the module sees them on other systems: the Win64
// (LLP64) widths, so LONG is 32 bits and WCHAR is a UTF-16 code unit, and the
// GUID with its comparisons. Only included when not building for Windows.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#error "win_types.h declares the Windows types for other systems; on Windows include <windows.h>"
#endif

// COM methods use the platform's normal calling convention here.
#define STDMETHODCALLTYPE
#define WINAPI

// Functions the platform library exports to the module.
#define VOR_PLATFORM_API extern "C" __attribute__((visibility("default")))

typedef int32_t HRESULT;
typedef int32_t LONG;
typedef int32_t BOOL;
typedef int32_t WINBOOL;
typedef int32_t INT;
typedef uint32_t ULONG;
typedef uint32_t DWORD;
typedef uint32_t UINT;
typedef uint16_t WORD;
typedef uint8_t BYTE;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef uint64_t DWORDLONG;
typedef int64_t REFERENCE_TIME;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef uintptr_t DWORD_PTR;
typedef size_t SIZE_T;
typedef char16_t WCHAR;
typedef WCHAR OLECHAR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;
typedef OLECHAR* BSTR;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef DWORD LCID;
typedef LONG DISPID;
typedef WORD VARTYPE;
typedef int16_t VARIANT_BOOL;

// Handles: opaque, pointer-sized.
typedef struct HWND__* HWND;
typedef DWORD_PTR HEVENT;
typedef DWORD_PTR HSEMAPHORE;
typedef LONG_PTR OAEVENT;
typedef LONG_PTR OAHWND;
typedef LONG OAFilterState;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
#ifndef INFINITE
#define INFINITE 0xFFFFFFFFu
#endif

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};
struct SIZE {
    LONG cx;
    LONG cy;
};
struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};
struct ULARGE_INTEGER {
    ULONGLONG QuadPart;
};

// A GUID: 16 bytes, Data1 little-endian first.
struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
typedef GUID IID;
typedef GUID CLSID;
typedef const GUID& REFGUID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;
typedef CLSID* LPCLSID;

constexpr bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i]) return false;
    return true;
}
constexpr bool operator!=(const GUID& a, const GUID& b) { return !(a == b); }

inline constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

inline bool IsEqualGUID(REFGUID a, REFGUID b) { return a == b; }
inline bool IsEqualIID(REFIID a, REFIID b) { return a == b; }
inline bool IsEqualCLSID(REFCLSID a, REFCLSID b) { return a == b; }

VOR_PLATFORM_API DWORD GetLastError();

static_assert(sizeof(GUID) == 16);
static_assert(sizeof(LONG) == 4 && sizeof(ULONG) == 4 && sizeof(WCHAR) == 2);
static_assert(sizeof(RECT) == 16 && sizeof(SIZE) == 8);
