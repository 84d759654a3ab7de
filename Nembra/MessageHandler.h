#pragma once

#include "Nembra/Export.h"

namespace Nembra {

// Receives the library's message boxes (failed allocation). Text and caption are UTF-8 and valid
// only during the call.
using MessageHandler = void (*)(const char* text, const char* caption);

// Installs `handler` for every later message and returns the handler it replaces. Passing
// nullptr restores the default: on Windows a modal MessageBoxW (no owner window, OK button),
// elsewhere "caption: text" and a line break on standard error. A host that must not block on a
// dialog (a service, a test run) installs its own.
// May be called on any thread. The handler is called on the thread of the solver whose storage
// failed, so a host that builds solvers on several threads gives a handler that is safe there.
NEMBRA_API MessageHandler SetMessageHandler(MessageHandler handler);

}  // namespace Nembra
