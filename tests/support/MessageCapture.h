#pragma once

// Collects the library's message boxes during a test instead of printing them.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "Nembra/MessageHandler.h"

namespace Nembra {

using Message = std::pair<std::string, std::string>;  // text, caption

inline const Message kMemoryBox{"分配内存出错", "分配内存出错"};
inline const Message kTableBox{"1", "AllocateMeshNodesSpace 1"};
inline const Message kRowBox{"2", "AllocateMeshNodesSpace 2"};

inline std::vector<Message>& Captured() {
    static std::vector<Message> messages;
    return messages;
}

inline void CaptureMessage(const char* text, const char* caption) {
    Captured().emplace_back(text, caption);
}

class MessageCaptureTest : public ::testing::Test {
protected:
    void SetUp() override {
        Captured().clear();
        previous_ = SetMessageHandler(&CaptureMessage);
    }
    void TearDown() override { SetMessageHandler(previous_); }

private:
    MessageHandler previous_ = nullptr;
};

}  // namespace Nembra
