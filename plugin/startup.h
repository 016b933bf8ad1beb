// The plug-in's start-up and the work behind its entry points: taking the host record,
// the splash, the data modules and their connections, the main window; and raising it.
#pragma once

#include <cstdint>

namespace plugin {

// dllmain: opens the statement window. A failure in the connections frees what this call
// created, removes the splash and leaves as the exception; the host's record is not kept.
// A call made from an event dispatched while a start-up is under way (a host timer during
// the splash's painting or an error box) fails with EInvalidOperation and leaves that
// start-up to complete; the host's timers are held back while the splash is painted.
void StartUp(const void* hostRecord);

// dllonscreen.
std::uint8_t OnScreen();

// dllbringtofront: raises the main window and gives it the focus; EInvalidOperation when
// the window is disabled, invisible, gone, still being opened, or a modal dialog of the
// library is open.
void BringToFront();

}  // namespace plugin
