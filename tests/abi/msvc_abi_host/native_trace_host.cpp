// The native twin of the MSVC-ABI host: the same actions, through the panel
// library built for this platform and loaded by path, printed in the same
// trace format. Both runs are compared with expected_trace.txt, so what the
// studio's host sees and what our own hosts see can never drift apart.
//
//   native_trace_host <panel library>
//
// Exits 0 when the host saw no fault, 1 otherwise, 2 when the library cannot
// be loaded.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "drez_client_callback.h"
#include "recording_host.h"
#include "simulator/records_builder.h"
#include "simulator/script_library.h"

namespace {

using drezhost::RecordingHost;

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

// The host: the studio's four devices, poll answers kept until the export
// returns, one update delivered from inside a command, and every line of the
// trace printed as it happens.
class TraceHost : public RecordingHost {
 public:
  TraceHost() {
    setResponder([](const std::string& command) -> std::optional<std::string> {
      if (command == "SD 'RIR Tally Infodriver'") return "11 0";
      if (command == "SD 'RIR SDI Router'") return "21 0";
      if (command == "SD 'RIR Audio Router'") return "22 0";
      if (command == "SD 'Studio A Blue Lights'") return "31 100";
      if (carriesReply(command)) return std::nullopt;
      return std::string();
    });
  }

  intptr_t command(const char* text, int kind) override {
    const std::size_t faultsBefore = faults().size();
    if (kind == HOST_CMD_RELEASE) {
      const std::string* answered = heldReplyCommand(text);
      const std::string released = answered != nullptr ? std::string(text) : std::string();
      RecordingHost::command(text, kind);
      if (faults().size() == faultsBefore) line(depth_, "release " + quoted(released));
    } else {
      const std::string sent = text != nullptr ? text : "";
      const intptr_t result = RecordingHost::command(text, kind);
      if (faults().size() == faultsBefore) {
        if (!carriesReply(sent)) {
          line(depth_, sent);
        } else if (result == 0) {
          line(depth_, sent + " -> no reply");
        } else {
          line(depth_, sent + " -> " + quoted(reinterpret_cast<const char*>(result)));
        }
        if (sent.compare(0, 3, "RP ") == 0 || sent.compare(0, 3, "IP ") == 0)
          polls_.push_back(sent);
        if (nested_ && sent.compare(0, 15, "TP 'statesheet=") == 0) {
          auto nested = std::move(nested_);
          nested_ = nullptr;
          nested();
        }
      }
      for (std::size_t i = faultsBefore; i < faults().size(); ++i)
        line(depth_, "FAULT " + faults()[i]);
      return result;
    }
    for (std::size_t i = faultsBefore; i < faults().size(); ++i)
      line(depth_, "FAULT " + faults()[i]);
    return 0;
  }

  // One host call into the script: its line, then what it sent, then its result.
  const char* call(drez_client_callback* script, const std::string& what, void* data, int kind) {
    line(depth_, what);
    ++depth_;
    const char* result = script->callback(data, kind);
    line(depth_, result == nullptr ? "= null" : "= " + quoted(result));
    --depth_;
    return result;
  }

  void update(drez_client_callback* script, int32_t device, int32_t index, int32_t number,
              const std::string& text) {
    drezhost::DeviceUpdateRecord record(device, index, number, text);
    call(script,
         "callback kind=1 device=" + std::to_string(device) + " index=" + std::to_string(index) +
             " number=" + std::to_string(number) + " text=" + quoted(text),
         record.get(), CB_DEVICE_UPDATE);
  }

  // Runs `deliver` from inside the next "TP 'statesheet=..." command.
  void deliverInsideNextStatesheet(std::function<void()> deliver) { nested_ = std::move(deliver); }

  std::vector<std::string> takePolls() {
    std::vector<std::string> polls;
    polls.swap(polls_);
    return polls;
  }

  void line(int depth, const std::string& text) {
    std::printf("%s%s\n", std::string(2 * static_cast<std::size_t>(depth), ' ').c_str(),
                text.c_str());
  }
  void enter() { ++depth_; }
  void leave() { --depth_; }

 private:
  int depth_ = 0;
  std::vector<std::string> polls_;
  std::function<void()> nested_;
};

// What the studio's installation answers to each start-up poll.
void answerPoll(TraceHost& host, drez_client_callback* script, const std::string& poll) {
  if (poll == "RP 21 97 97") {
    host.update(script, 21, 97, 1, "CAM 1");
  } else if (poll == "RP 22 62 62") {
    host.update(script, 22, 62, 5, "Desk A");
  } else if (poll == "IP 11 1 6") {
    const char* const slots[] = {"0", "", "0", "1", "1", "1"};
    for (int32_t slot = 1; slot <= 6; ++slot) {
      const std::string text = slots[slot - 1];
      host.update(script, 11, slot, text.empty() ? 0 : std::stoi(text), text);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: native_trace_host <panel library>\n");
    return 2;
  }
  std::optional<drezhost::ScriptLibrary> library;
  try {
    library.emplace(argv[1]);
  } catch (const drezhost::LibraryError& error) {
    std::fprintf(stderr, "native_trace_host: %s\n", error.what());
    return 2;
  }
  TraceHost host;

  host.line(0, "create path=\"panels\"");
  host.enter();
  drez_client_callback* script = library->entry()(&host, "panels");
  host.line(1, script != nullptr ? "= script" : "= null");
  host.leave();
  if (script == nullptr) return 1;
  for (const std::string& poll : host.takePolls()) answerPoll(host, script, poll);

  // The studio goes on air; the SDI router changes while the panel is busy.
  host.deliverInsideNextStatesheet([&] { host.update(script, 21, 97, 3, "CAM 3"); });
  host.update(script, 11, 1, 2, "2");

  drezhost::ControlEventRecord control("StA_Floor", "press=1");
  host.call(script, "callback kind=2 control=\"StA_Floor\" command=\"press=1\"", control.get(),
            CB_CONTROL_EVENT);

  char setParam[] = "myParam=abc";
  host.call(script, "callback kind=3 text=\"myParam=abc\"", setParam, CB_HOST_REQUEST);
  char returnAll[] = "return=all";
  const char* reply =
      host.call(script, "callback kind=3 text=\"return=all\"", returnAll, CB_HOST_REQUEST);
  if (reply != nullptr) {
    host.call(script, "callback kind=5 reply=" + quoted(reply), const_cast<char*>(reply),
              CB_RELEASE_REPLY);
  }

  host.call(script, "callback kind=4 id=5", reinterpret_cast<void*>(intptr_t{5}), CB_EVENT_ID);
  host.call(script, "callback kind=6 data=66", reinterpret_cast<void*>(intptr_t{66}), CB_NOTIFY6);
  host.call(script, "callback kind=7 data=77", reinterpret_cast<void*>(intptr_t{77}), CB_NOTIFY7);
  host.call(script, "callback kind=0 data=0", nullptr, 0);
  host.call(script, "callback kind=8 data=0", nullptr, 8);

  host.line(0, "delete");
  host.enter();
  drez_delete_script(script);
  host.leave();

  host.line(0, "replies handed out " + std::to_string(host.repliesHandedOut()) + ", released " +
                   std::to_string(host.repliesReleased()) + ", held " +
                   std::to_string(host.repliesHeld()));
  return host.faults().empty() ? 0 : 1;
}
