// The commands that read replies besides the lookups: "XI" and "TG", driven
// through the alarm pre-check of a script with alarms on, against a host
// whose "XI" and "TG" replies come from the input.
//
// Input, read with ByteReader:
//   replies   a count byte (0 to 15), then for each a byte (even: no reply,
//             odd: the text that follows); "XI" and "TG" take them in turn
//   events    until the input ends: an operation byte (0: "ActionAll" with
//             the command "alarm=<text>"; 1: "AckAll"; 2: another control;
//             3: "ActionAll" with a command text of any bytes), then texts
//
// After every event: the host recorded no fault and holds no reply; the
// commands are exactly those the alarm action owes to the controls the "XI"
// reply listed and the values the "TG" replies gave; a "TG" reply naming
// another property wrote one debug line naming both; any other control
// reached onControlEvent and sent nothing.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "byte_reader.h"
#include "drez_debug_output.h"
#include "fuzz_check.h"
#include "probe_script.h"
#include "recording_host.h"
#include "simulator/records_builder.h"

namespace {

struct Answered {
  std::string command;
  std::optional<std::string> reply;
};

void collectDebugLine(const char* text, void* lines) {
  static_cast<std::vector<std::string>*>(lines)->push_back(text);
}

std::string lines(const std::vector<std::string>& commands) {
  std::string text;
  for (const std::string& command : commands) text += "\n    " + command;
  return text;
}

// What the alarm action owes for `action`, given the replies the host gave
// (in order): the commands, and how many debug lines.
std::vector<std::string> expectedCommands(const std::string& action,
                                          const std::vector<Answered>& answered,
                                          std::size_t* debugLines) {
  *debugLines = 0;
  std::vector<std::string> commands = {"XI '1' 'alm_'"};
  if (answered.empty() || answered[0].command != commands[0]) return commands;
  std::vector<std::string> controls;
  const std::optional<std::string>& list = answered[0].reply;
  if (list && !list->empty()) {
    std::size_t start = 0;
    for (std::size_t comma; (comma = list->find(',', start)) != std::string::npos;
         start = comma + 1) {
      controls.push_back(list->substr(start, comma - start));
    }
    controls.push_back(list->substr(start));
  }
  const int level = action == "ack"      ? 4
                    : action.size() == 1 ? drez_string::toInt(action.c_str())
                                         : -1;
  std::size_t nextAnswer = 1;
  for (const std::string& control : controls) {
    commands.push_back("TP 'alarm=" + action + "' '1' '" + control + "'");
    if (level == 4) {
      commands.push_back("TG '1' '" + control + "' 'value'");
      std::string value;
      if (nextAnswer < answered.size() && answered[nextAnswer].reply) {
        const std::string& reply = *answered[nextAnswer].reply;
        const std::size_t equals = reply.find('=');
        if (reply.substr(0, equals) == "value") {
          value = equals == std::string::npos ? "" : reply.substr(equals + 1);
        } else {
          ++*debugLines;
        }
      }
      ++nextAnswer;
      const int current = drez_string::toInt(value.c_str());
      if (!(current == 0 || (current >= 2 && current <= 5))) {
        commands.push_back("TP 'value=4' '1' '" + control + "'");
      }
    } else if (level != -1) {
      commands.push_back("TP 'value=" + std::to_string(level) + "' '1' '" + control + "'");
    }
  }
  return commands;
}

class AlarmRun {
 public:
  explicit AlarmRun(ByteReader& in) : in_(in) {}

  void run() {
    for (int count = in_.byte() % 16; count > 0; --count) {
      if (in_.byte() % 2 == 0) {
        replies_.emplace_back(std::nullopt);
      } else {
        replies_.emplace_back(in_.text().c_str());
      }
    }
    host_.setResponder([this](const std::string& command) -> std::optional<std::string> {
      if (!drezhost::RecordingHost::carriesReply(command)) return std::string();
      std::optional<std::string> reply;
      if (!replies_.empty()) reply = replies_[next_++ % replies_.size()];
      answered_.push_back({command, reply});
      return reply;
    });
    void* previousContext = nullptr;
    const drez_debug_sink previous =
        drez_set_debug_sink(&collectDebugLine, &debugLines_, &previousContext);
    {
      ProbeScript script(&host_, "");
      script.enableAlarms();
      while (!in_.empty()) event(script);
      host_.takeCommands();
    }
    drez_set_debug_sink(previous, previousContext);
  }

 private:
  void event(ProbeScript& script) {
    const uint8_t operation = in_.byte() % 4;
    std::string controlId = "ActionAll";
    std::string command;
    std::optional<std::string> action;
    if (operation == 0) {
      action = in_.text().c_str();
      command = "alarm=" + *action;
    } else if (operation == 1) {
      controlId = "AckAll";
      command = in_.text();
      action = "4";
    } else if (operation == 2) {
      controlId = in_.text().c_str();
      command = in_.text();
      if (controlId == "AckAll") action = "4";
    } else {
      command = in_.text();
    }
    // "ActionAll" acts only on the command "alarm"; anything else passes on.
    if (controlId == "ActionAll") {
      const ParsedCommand parsed(command.c_str());
      action.reset();
      if (std::string(parsed.name) == "alarm") action = std::string(parsed.value);
    }

    drezhost::ControlEventRecord record(controlId, command);
    answered_.clear();
    debugLines_.clear();
    const std::size_t handlerCalls = script.calls.size();
    FUZZ_CHECK(script.callback(record.get(), CB_CONTROL_EVENT) == nullptr);

    FUZZ_CHECK_DETAIL(host_.faults().empty(), host_.faults().front());
    FUZZ_CHECK(host_.repliesHeld() == 0);
    const std::vector<std::string> sent = host_.takeCommands();
    if (!action) {
      FUZZ_CHECK(script.calls.size() == handlerCalls + 1);
      FUZZ_CHECK_DETAIL(sent.empty(), lines(sent));
      return;
    }
    FUZZ_CHECK(script.calls.size() == handlerCalls);
    std::size_t expectedDebugLines = 0;
    const std::vector<std::string> expected =
        expectedCommands(*action, answered_, &expectedDebugLines);
    FUZZ_CHECK_DETAIL(sent == expected, "sent" + lines(sent) + "\n  expected" + lines(expected));
    FUZZ_CHECK(debugLines_.size() == expectedDebugLines);
    for (const std::string& line : debugLines_) {
      FUZZ_CHECK_DETAIL(
          line.rfind("textGet: value returned \"", 0) == 0 &&
              line.find("\" was not the value requested \"value\"") != std::string::npos,
          line);
    }
  }

  ByteReader& in_;
  drezhost::RecordingHost host_;
  std::vector<std::optional<std::string>> replies_;
  std::size_t next_ = 0;
  std::vector<Answered> answered_;
  std::vector<std::string> debugLines_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  ByteReader in(data, size);
  AlarmRun(in).run();
  return 0;
}
