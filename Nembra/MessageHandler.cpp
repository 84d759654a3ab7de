#include "Nembra/MessageHandler.h"

#include <atomic>
#include <cstdio>

#include "Nembra/MessageBox.h"

#if defined(_WIN32)
#include <windows.h>

#include <string>
#endif

namespace Nembra {
namespace {

#if defined(_WIN32)
std::wstring Utf8ToWide(const char* utf8) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    if (length <= 0) {
        return std::wstring();
    }
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide.data(), length);
    wide.resize(static_cast<size_t>(length - 1));
    return wide;
}

// A modal box with no owner window and an OK button.
void ShowDefaultBox(const char* text, const char* caption) {
    MessageBoxW(nullptr, Utf8ToWide(text).c_str(), Utf8ToWide(caption).c_str(), MB_OK);
}
#else
void ShowDefaultBox(const char* text, const char* caption) {
    std::fprintf(stderr, "%s: %s\n", caption, text);
}
#endif

// Atomic, so that a host may replace the handler on one thread while solvers on others announce
// failed allocations (lock-free on every platform the library builds for: it is one pointer).
std::atomic<MessageHandler> currentHandler{&ShowDefaultBox};

}  // namespace

MessageHandler SetMessageHandler(MessageHandler handler) {
    return currentHandler.exchange(handler != nullptr ? handler : &ShowDefaultBox);
}

namespace detail {

void ShowMessageBox(const char* text, const char* caption) {
    currentHandler.load()(text, caption);
}

void ShowMemoryErrorBox() {
    static constexpr char kMemoryErrorText[] = "分配内存出错";
    ShowMessageBox(kMemoryErrorText, kMemoryErrorText);
}

}  // namespace detail
}  // namespace Nembra
