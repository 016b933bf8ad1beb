// The three C entry points of the shared library, thin doors into the start-up code.
#include "plugin/exports.h"

#include "plugin/startup.h"

extern "C" {

EXPORTPNL_API void dllmain(const void* hostRecord) { plugin::StartUp(hostRecord); }

EXPORTPNL_API unsigned char dllonscreen() { return plugin::OnScreen(); }

EXPORTPNL_API void dllbringtofront() { plugin::BringToFront(); }
}
