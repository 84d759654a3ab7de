#include "Nembra/MessageHandler.h"

#include <cstdio>

#include "Nembra/MessageBox.h"

#if defined(_WIN32)
#include <windows.h>

#include <string>
#endif

namespace Nembra {
namespace {

void WriteToStandardError(const char* text, const char* caption) {
    std::fprintf(stderr, "%s: %s\n", caption, text);
}

MessageHandler currentHandler = &WriteToStandardError;

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
#endif

}  // namespace

MessageHandler SetMessageHandler(MessageHandler handler) {
    MessageHandler previous = currentHandler;
    currentHandler = handler != nullptr ? handler : &WriteToStandardError;
    return previous;
}

namespace detail {

void ShowMessageBox(const char* text, const char* caption) {
#if defined(_WIN32)
    MessageBoxW(nullptr, Utf8ToWide(text).c_str(), Utf8ToWide(caption).c_str(), MB_OK);
#else
    currentHandler(text, caption);
#endif
}

void ShowMemoryErrorBox() {
    static constexpr char kMemoryErrorText[] = "分配内存出错";
    ShowMessageBox(kMemoryErrorText, kMemoryErrorText);
}

}  // namespace detail
}  // namespace Nembra
