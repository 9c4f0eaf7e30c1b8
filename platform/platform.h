// The one boundary between the device code (launcher/, config/) and the platform.
//
// Device code sees the Windows CE 5.0 API under its own names and nothing else. Which platform
// stands behind those names is decided when building and linking: desktop Windows' real API
// (or a Windows CE SDK's headers), or the project's own declarations in coredll.h, behind which
// stand the device's COREDLL in the device build and the simulated device under platform/sim/
// on any other host.
#ifndef KELBRUN_PLATFORM_PLATFORM_H
#define KELBRUN_PLATFORM_PLATFORM_H

#if (defined(_WIN32) || defined(_WIN32_WCE)) && !defined(KELBRUN_DEVICE_BUILD)

#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
// NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp): the C run-time's switch
#define _UNICODE
#endif
// windows.h first: shellapi.h builds on it.
#include <windows.h>

#include <shellapi.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#if !defined(_WIN32_WCE)
// Desktop Windows has no kernel debug print; platform/win32 supplies one over OutputDebugString.
extern "C" void NKDbgPrintfW(LPCWSTR format, ...);
#endif

#else

#include "platform/coredll.h"

#endif

#endif  // KELBRUN_PLATFORM_PLATFORM_H
