// The platform on Windows: the system's DirectShow, OLE and CryptoAPI
// headers, plus the declarations mingw-w64's headers lack. The values of the
// GUIDs declared here are in the strmiids import library, like the rest.
#pragma once

#if !defined(_WIN32)
#error "platform_windows.h is for Windows builds only"
#endif

// dshow.h pulls in strsafe.h, which would otherwise rename the C string
// functions (strcpy, sprintf, …) to deprecation errors.
#ifndef STRSAFE_NO_DEPRECATE
#define STRSAFE_NO_DEPRECATE
#endif
#include <windows.h>
#include <dshow.h>
#include <dvdmedia.h>
#include <olectl.h>
#include <wincrypt.h>

#if __has_include(<qedit.h>)
#include <qedit.h>
#endif

#ifndef __ISampleGrabber_INTERFACE_DEFINED__
#define __ISampleGrabber_INTERFACE_DEFINED__
// qedit.h is missing (it left the Windows SDK with the editing services):
// the Sample Grabber's interfaces as Windows defines them.
EXTERN_C const IID IID_ISampleGrabberCB;
EXTERN_C const IID IID_ISampleGrabber;

#include "sample_grabber_interfaces.h"
#endif

// Classes and a subtype the headers do not declare (present in strmiids).
EXTERN_C const CLSID CLSID_SampleGrabber;
EXTERN_C const CLSID CLSID_NullRenderer;
EXTERN_C const GUID MEDIASUBTYPE_I420;
