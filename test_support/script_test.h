// Shared ground of the tests that drive a script: a recording host that must
// end every test with no fault and no reply held, and helpers that deliver
// events the way a host does.

#ifndef TESTS_SCRIPT_TEST_H_
#define TESTS_SCRIPT_TEST_H_

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "drez_client_callback.h"
#include "drez_debug_output.h"
#include "drez_export.h"
#include "recording_host.h"
#include "simulator/records_builder.h"

// Captures what the script writes to the debug output while it lives.
class DebugCapture {
 public:
  DebugCapture() { drez_set_debug_sink(&DebugCapture::write, this); }
  ~DebugCapture() { drez_set_debug_sink(nullptr, nullptr); }
  std::vector<std::string> lines;

 private:
  static void write(const char* text, void* self) {
    static_cast<DebugCapture*>(self)->lines.emplace_back(text);
  }
};

class ScriptTest : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_THAT(host.faults(), ::testing::IsEmpty());
    EXPECT_EQ(host.repliesHeld(), 0u) << "replies still held by the script";
  }

  // Replies to "SD", "XI" and "TG" from a table of exact command texts; any
  // other of these gets no reply. Other commands succeed.
  void replyWith(const std::vector<std::pair<std::string, std::string>>& replies) {
    host.setResponder([replies](const std::string& command) -> std::optional<std::string> {
      for (const auto& entry : replies) {
        if (entry.first == command) return entry.second;
      }
      if (drezhost::RecordingHost::carriesReply(command)) return std::nullopt;
      return std::string();
    });
  }

  static const char* deliver(drez_client_callback* script, int32_t device, int32_t index,
                             int32_t number, const std::string& text) {
    drezhost::DeviceUpdateRecord record(device, index, number, text);
    return script->callback(record.get(), CB_DEVICE_UPDATE);
  }

  // Sends a property request and returns its reply, handing the block back.
  static std::string request(drez_client_callback* script, const char* text) {
    const char* reply = script->callback(const_cast<char*>(text), CB_HOST_REQUEST);
    if (reply == nullptr) return "(null)";
    std::string copy(reply);
    script->callback(const_cast<char*>(reply), CB_RELEASE_REPLY);
    return copy;
  }

  drezhost::RecordingHost host;
};

#endif  // TESTS_SCRIPT_TEST_H_
