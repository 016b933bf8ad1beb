// The event boundary: every handler body runs inside it. An exception is shown in the
// standard error box (its text, the application title, an error icon, one OK); EAbort is
// swallowed silently. Nothing crosses Qt's event loop.
#pragma once

#include <functional>

namespace ui {

// Runs `body`; returns false when it ended with an exception (already reported).
bool guarded(const std::function<void()>& body);

}  // namespace ui
