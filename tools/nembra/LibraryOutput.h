#pragma once

#include <string>

// What the library itself prints, taken in hand by the tool: its allocation messages, and the
// value reports it writes to standard output before each time step.
namespace nembra_cli {

// While alive, the library's message boxes (a failed mesh allocation: text and caption) are
// collected instead of being written to standard error, so that the tool can say in one
// message of its own what failed. Not for use from two threads at once: the handler is global.
class LibraryMessages {
public:
    LibraryMessages();
    ~LibraryMessages();
    LibraryMessages(const LibraryMessages&) = delete;
    LibraryMessages& operator=(const LibraryMessages&) = delete;

    // "caption: text" of each message so far, separated by "; ", or empty.
    std::string Text() const;
};

// While alive (and `active`), C stdio output to standard output goes to the null device: the
// solver's "error:value'error" reports, which the tool counts itself. Standard output is
// flushed and restored afterwards; nothing else of the tool writes there meanwhile.
class SilencedStandardOutput {
public:
    explicit SilencedStandardOutput(bool active);
    ~SilencedStandardOutput();
    SilencedStandardOutput(const SilencedStandardOutput&) = delete;
    SilencedStandardOutput& operator=(const SilencedStandardOutput&) = delete;

private:
    int saved_ = -1;  // the original standard output while silenced
};

}  // namespace nembra_cli
