#pragma once

#include "Nembra/Export.h"

namespace Nembra {

// Receives the library's message boxes (failed mesh allocation) on platforms without a native
// modal message box. Text and caption are UTF-8 and valid only during the call.
using MessageHandler = void (*)(const char* text, const char* caption);

// Installs `handler` for every later message and returns the handler it replaces.
// Passing nullptr restores the default handler, which writes "caption: text" and a line break
// to standard error. On Windows the library shows MessageBoxW and never calls a handler.
NEMBRA_API MessageHandler SetMessageHandler(MessageHandler handler);

}  // namespace Nembra
