// The plug-in's three entry points, the only symbols the shared library exports.
// The host calls dllonscreen first, then dllmain (window not up) or dllbringtofront.
#pragma once

#if defined(_WIN32)
#if defined(EXPORTPNL_BUILDING)
#define EXPORTPNL_API __declspec(dllexport)
#else
#define EXPORTPNL_API __declspec(dllimport)
#endif
#else
#define EXPORTPNL_API __attribute__((visibility("default")))
#endif

extern "C" {
// Opens the statement window; hostRecord points at the host's 7168-byte TDllParams.
// A start-up failure leaves as a C++ exception derived from std::exception.
EXPORTPNL_API void dllmain(const void* hostRecord);
// 1 while the statement window is up, else 0.
EXPORTPNL_API unsigned char dllonscreen();
// Raises and focuses the statement window; throws when it cannot take the focus.
EXPORTPNL_API void dllbringtofront();
}
