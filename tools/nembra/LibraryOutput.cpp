#include "LibraryOutput.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "Nembra/MessageHandler.h"

namespace nembra_cli {

namespace {

std::string& CollectedMessages() {
    static std::string messages;
    return messages;
}

void Collect(const char* text, const char* caption) {
    std::string& messages = CollectedMessages();
    messages += (messages.empty() ? "" : "; ") + std::string(caption) + ": " + text;
}

Nembra::MessageHandler previousHandler = nullptr;

}  // namespace

LibraryMessages::LibraryMessages() {
    CollectedMessages().clear();
    previousHandler = Nembra::SetMessageHandler(&Collect);
}

LibraryMessages::~LibraryMessages() {
    Nembra::SetMessageHandler(previousHandler);
}

std::string LibraryMessages::Text() const {
    return CollectedMessages();
}

SilencedStandardOutput::SilencedStandardOutput(bool active) {
    if (!active) {
        return;
    }
    std::fflush(stdout);
    const int null = ::open("/dev/null", O_WRONLY);
    if (null < 0) {
        return;  // the reports then stay visible, which loses nothing
    }
    saved_ = ::dup(STDOUT_FILENO);
    if (saved_ < 0 || ::dup2(null, STDOUT_FILENO) < 0) {
        if (saved_ >= 0) {
            ::close(saved_);
        }
        saved_ = -1;
    }
    ::close(null);
}

SilencedStandardOutput::~SilencedStandardOutput() {
    if (saved_ < 0) {
        return;
    }
    std::fflush(stdout);
    ::dup2(saved_, STDOUT_FILENO);
    ::close(saved_);
}

}  // namespace nembra_cli
