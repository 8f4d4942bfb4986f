// The whole panel, through its export and `callback`, against a recording
// host that answers lookups, "TG" and "XI" with replies taken from the input.
//
// Input, read with ByteReader:
//   flags        bit 0: no host at all; bit 1: every command without a reply
//                fails (result 0); bit 2: a null path
//   path         text
//   replies      a count byte (0 to 7), then for each a byte (even: no reply,
//                odd: the text that follows); lookups take them in turn
//   calls        until the input ends, one per operation byte (see `step`):
//                device updates with any integers and text, control events,
//                requests of any bytes or null, event ids, releases of held
//                reply blocks, notifications, kinds outside 1 to 7, and a
//                device update the host delivers from inside the next
//                command with a given code.
//
// Two panels run side by side: `nesting_`, whose host delivers the nested
// updates from inside the command, and `twin_`, which gets each such update
// after the call instead. After every call: both sent the same commands;
// neither host recorded a fault or holds a reply; every command is one the
// panel may send, well formed, for the devices the lookups gave; kinds that
// send nothing sent nothing; "ET" carries the id; a request's reply is what
// the panel's properties say. Every reply block is handed back with kind 5,
// at a time the input chooses or at the end, and the sanitizers check that it
// is freed. Teardown unregisters, then sends "AS".

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "byte_reader.h"
#include "drez_script_helper.h"
#include "fuzz_check.h"
#include "recording_host.h"
#include "simulator/command_parser.h"
#include "simulator/records_builder.h"

namespace {

const char* const kDeviceNames[] = {"RIR Tally Infodriver", "RIR SDI Router", "RIR Audio Router",
                                    "Studio A Blue Lights"};
const char* const kStatesheets[] = {"QZ_Studio_OFF", "QZ_Studio_REH", "QZ_Studio_TX"};
const char* const kStatesheetControls[] = {"StA_Floor", "StC_Floor", "StC_News"};

struct Update {
  int32_t device;
  int32_t index;
  int32_t number;
  std::string text;
};

// The devices as the panel must have read them from the lookup replies.
struct Devices {
  int32_t tally = 0;
  int32_t sdi = 0;
  int32_t audio = 0;
  int32_t lights = 0;
  int32_t lightsOffset = 0;
};

// One panel on its own recording host.
struct Side {
  drezhost::RecordingHost host;
  drez_client_callback* script = nullptr;
  std::size_t nextReply = 0;
  std::vector<const char*> heldBlocks;  // reply blocks not handed back yet
};

// Token `i` of a lookup reply as a number; 0 without a reply.
int32_t replyNumber(const std::optional<std::string>& reply, int i) {
  if (!reply) return 0;
  const decodeDREZString decoded(reply->c_str(), '\'');
  return drez_string::toInt(decoded.tokens[i]);
}

std::string str(int32_t value) { return std::to_string(value); }

std::string lines(const std::vector<std::string>& commands) {
  std::string text;
  for (const std::string& command : commands) text += "\n    " + command;
  return text;
}

// The text an operand list gives back when written as the vocabulary
// writes it: equal to the command only when it was written exactly so.
std::string rewrite(const drezhost::HostCommand& command) {
  std::string text = command.code();
  for (const drezhost::Operand& operand : command.operands) {
    text += operand.isText ? " '" + operand.text + "'" : " " + str(operand.number);
  }
  return text;
}

void* asData(int32_t value) { return reinterpret_cast<void*>(static_cast<intptr_t>(value)); }

class PanelRun {
 public:
  explicit PanelRun(ByteReader& in) : in_(in) {}

  void run() {
    const uint8_t flags = in_.byte();
    withHost_ = (flags & 1) == 0;
    commandsFail_ = (flags & 2) != 0;
    const bool nullPath = (flags & 4) != 0;
    path_ = in_.text().c_str();
    if (nullPath) path_.clear();  // a null path reads as empty text
    for (int count = in_.byte() % 8; count > 0; --count) {
      if (in_.byte() % 2 == 0) {
        replies_.emplace_back(std::nullopt);
      } else {
        replies_.emplace_back(in_.text().c_str());
      }
    }
    for (Side* side : {&nesting_, &twin_}) {
      side->host.setResponder(
          [this, side](const std::string& command) { return answer(*side, command); });
      side->script = load_drez_client_script(withHost_ ? &side->host : nullptr,
                                             nullPath ? nullptr : path_.c_str());
      FUZZ_CHECK(side->script != nullptr);
    }
    nesting_.host.setExecuteHook([this](const std::string& command) { deliverNested(command); });
    checkStartup();

    while (!in_.empty()) step();

    for (Side* side : {&nesting_, &twin_}) {
      for (const char* block : side->heldBlocks) release(*side, block);
      side->heldBlocks.clear();
      // A host delivers nothing to a script it is deleting.
      drez_client_callback* script = side->script;
      side->script = nullptr;
      drez_delete_script(script);
    }
    checkTeardown();
  }

 private:
  std::optional<std::string> answer(Side& side, const std::string& command) {
    if (!drezhost::RecordingHost::carriesReply(command)) {
      return commandsFail_ ? std::nullopt : std::optional<std::string>("");
    }
    if (replies_.empty()) return std::nullopt;
    std::optional<std::string> reply = replies_[side.nextReply++ % replies_.size()];
    if (&side == &nesting_) {
      for (int i = 0; i < 4; ++i) {
        if (command == std::string("SD '") + kDeviceNames[i] + "'") lookupReplies_[i] = reply;
      }
    }
    return reply;
  }

  void deliverNested(const std::string& command) {
    if (!armed_ || nesting_.script == nullptr || command.compare(0, 2, nestedCode_) != 0) return;
    armed_ = false;
    delivered_ = nested_;
    deliver(nesting_, *nested_);
  }

  void deliver(Side& side, const Update& update) {
    drezhost::DeviceUpdateRecord record(update.device, update.index, update.number, update.text);
    FUZZ_CHECK(side.script->callback(record.get(), CB_DEVICE_UPDATE) == nullptr);
  }

  // The same host call to both panels; each must return null.
  void callBoth(void* data, int kind) {
    for (Side* side : {&nesting_, &twin_})
      FUZZ_CHECK(side->script->callback(data, kind) == nullptr);
  }

  void step() {
    delivered_.reset();
    std::optional<int32_t> eventId;
    bool sendsNothing = true;  // the call itself; a nested update may still send
    switch (in_.byte() % 10) {
      case 0:
      case 1: {
        const Update update = pickUpdate();
        noteReadout(update);
        deliver(nesting_, update);
        deliver(twin_, update);
        sendsNothing = false;
        break;
      }
      case 2: {
        const std::string controlId = in_.text();
        const std::string commandText = in_.text();
        const uint8_t nulls = in_.byte();
        drezhost::ControlEventRecord record(controlId, commandText);
        if (nulls & 1) record.get()->controlId = nullptr;
        if (nulls & 2) record.get()->parsed = nullptr;
        callBoth((nulls & 4) ? nullptr : record.get(), CB_CONTROL_EVENT);
        break;
      }
      case 3:
        request();
        break;
      case 4:
        eventId = in_.int32();
        callBoth(asData(*eventId), CB_EVENT_ID);
        break;
      case 5: {
        const uint8_t which = in_.byte();
        if (nesting_.heldBlocks.empty() || which == 0) {
          callBoth(nullptr, CB_RELEASE_REPLY);
        } else {
          const std::size_t i = which % nesting_.heldBlocks.size();
          for (Side* side : {&nesting_, &twin_}) {
            release(*side, side->heldBlocks[i]);
            side->heldBlocks.erase(side->heldBlocks.begin() + static_cast<std::ptrdiff_t>(i));
          }
        }
        break;
      }
      case 6:
      case 7: {
        // Opaque values: never read, so any value will do as a pointer.
        const int kind = in_.byte() % 2 == 0 ? CB_NOTIFY6 : CB_NOTIFY7;
        callBoth(asData(in_.int32()), kind);
        break;
      }
      case 8: {
        int32_t kind = in_.int32();
        if (kind >= 1 && kind <= 7) kind += 7;
        callBoth(asData(in_.int32()), kind);
        break;
      }
      default: {
        static const char* const kCodes[] = {"GS", "TP", "ET"};
        nestedCode_ = kCodes[in_.byte() % 3];
        nested_ = pickUpdate();
        armed_ = true;
        break;
      }
    }
    // The twin gets the nested update after the call, as a separate event.
    if (delivered_) {
      noteReadout(*delivered_);
      deliver(twin_, *delivered_);
    }
    checkCall(eventId, sendsNothing);
  }

  void request() {
    const uint8_t shape = in_.byte();
    std::string text = shape % 3 == 0 ? in_.text() : requestFromParts();
    text = text.c_str();
    const char* data = shape % 7 == 6 ? nullptr : text.c_str();
    const std::optional<std::string> expected = expectedReply(data);
    for (Side* side : {&nesting_, &twin_}) {
      const char* block = side->script->callback(const_cast<char*>(data), CB_HOST_REQUEST);
      if (block == nullptr) {
        FUZZ_CHECK_DETAIL(!expected,
                          "no reply to \"" + text + "\", expected \"" + *expected + "\"");
      } else {
        FUZZ_CHECK_DETAIL(expected && *expected == block,
                          "reply \"" + std::string(block) + "\" to \"" + text + "\"");
        side->heldBlocks.push_back(block);
      }
    }
  }

  // A request made of a known name and a value from the input.
  std::string requestFromParts() {
    static const char* const kNames[] = {"return", "instance", "myParam", "_events", "_commands"};
    static const char* const kValues[] = {"all", "myParam"};
    std::string text = kNames[in_.byte() % 5];
    const uint8_t value = in_.byte();
    if (value % 4 == 0) return text;
    return text + "=" + (value % 4 == 1 ? kValues[(value / 4) % 2] : in_.text());
  }

  // The reply the panel's property interface gives, from its properties as
  // the earlier requests set them.
  std::optional<std::string> expectedReply(const char* text) {
    const ParsedCommand parsed(text);
    const std::string name = parsed.name;
    const std::string value = parsed.value;
    if (name == "return") {
      if (value == "all" || value == "myParam") return "myParam=" + myParam_;
    } else if (name == "instance" && value != instance_) {
      instance_ = value;
    } else if (name == "myParam") {
      myParam_ = value;
    } else if (name == "_events") {
      return std::string("notify=*");
    } else if (name == "_commands") {
      return std::string("myParam=[value]");
    }
    return std::nullopt;
  }

  void release(Side& side, const char* block) {
    FUZZ_CHECK(side.script->callback(const_cast<char*>(block), CB_RELEASE_REPLY) == nullptr);
  }

  int32_t pickDevice() {
    switch (in_.byte() % 6) {
      case 0:
        return devices_.tally;
      case 1:
        return devices_.sdi;
      case 2:
        return devices_.audio;
      case 3:
        return devices_.lights;
      case 4:
        return static_cast<int8_t>(in_.byte());
      default:
        return in_.int32();
    }
  }

  int32_t pickIndex() {
    switch (in_.byte() % 4) {
      case 0:
        return in_.byte() % 8;
      case 1:
        return 97;
      case 2:
        return 62;
      default:
        return in_.int32();
    }
  }

  Update pickUpdate() {
    Update update;
    update.device = pickDevice();
    update.index = pickIndex();
    update.number = in_.int32();
    update.text = in_.text();
    return update;
  }

  // What a router readout may show from now on.
  void noteReadout(const Update& update) {
    const std::string text = update.text.c_str();
    if (update.device == devices_.sdi && update.index == 97) {
      readouts_.insert("TP 'text=" + str(update.number) + "' '1' 'vls_id'");
      readouts_.insert("TP 'text=" + text + "' '1' 'vls_name'");
    }
    if (update.device == devices_.audio && update.index == 62) {
      readouts_.insert("TP 'text=" + str(update.number) + "' '1' 'als_id'");
      readouts_.insert("TP 'text=" + text + "' '1' 'als_name'");
    }
  }

  void checkHosts() {
    for (Side* side : {&nesting_, &twin_}) {
      FUZZ_CHECK_DETAIL(side->host.faults().empty(), side->host.faults().front());
      FUZZ_CHECK(side->host.repliesHeld() == 0);
    }
  }

  void checkStartup() {
    const std::vector<std::string> sent = nesting_.host.takeCommands();
    FUZZ_CHECK(twin_.host.takeCommands() == sent);
    checkHosts();
    if (!withHost_) {
      FUZZ_CHECK(sent.empty());
      return;
    }
    devices_.tally = replyNumber(lookupReplies_[0], 0);
    devices_.sdi = replyNumber(lookupReplies_[1], 0);
    devices_.audio = replyNumber(lookupReplies_[2], 0);
    devices_.lights = replyNumber(lookupReplies_[3], 0);
    devices_.lightsOffset = replyNumber(lookupReplies_[3], 1);
    const std::string file = path_.empty() ? "p1.drez_ui" : path_ + "/p1.drez_ui";
    const std::vector<std::string> expected = {"PS '1' '" + file + "'",
                                               "SD 'RIR Tally Infodriver'",
                                               "IR " + str(devices_.tally) + " 1 6",
                                               "SD 'RIR SDI Router'",
                                               "RR " + str(devices_.sdi) + " 97 97",
                                               "SD 'RIR Audio Router'",
                                               "RR " + str(devices_.audio) + " 62 62",
                                               "SD 'Studio A Blue Lights'",
                                               "RP " + str(devices_.sdi) + " 97 97",
                                               "RP " + str(devices_.audio) + " 62 62",
                                               "IP " + str(devices_.tally) + " 1 6"};
    FUZZ_CHECK_DETAIL(sent == expected, "start-up sent " + lines(sent));
  }

  void checkTeardown() {
    const std::vector<std::string> sent = nesting_.host.takeCommands();
    FUZZ_CHECK(twin_.host.takeCommands() == sent);
    checkHosts();
    std::vector<std::string> expected;
    if (withHost_) {
      expected = {"IU " + str(devices_.tally), "RU " + str(devices_.sdi),
                  "RU " + str(devices_.audio), "AS"};
    }
    FUZZ_CHECK_DETAIL(sent == expected, "teardown sent " + lines(sent));
  }

  // After one call: the same commands from both panels, none from a call
  // that sends nothing unless a nested update came, "ET" first for an event
  // id, and every other one a command a device update may cause.
  void checkCall(const std::optional<int32_t>& eventId, bool sendsNothing) {
    std::vector<std::string> sent = nesting_.host.takeCommands();
    const std::vector<std::string> twinSent = twin_.host.takeCommands();
    FUZZ_CHECK_DETAIL(sent == twinSent, "nested delivery sent" + lines(sent) +
                                            "\n  one after the other" + lines(twinSent));
    checkHosts();
    if (!withHost_) {
      FUZZ_CHECK(sent.empty());
      return;
    }
    if (eventId) {
      FUZZ_CHECK_DETAIL(!sent.empty() && sent[0] == "ET " + str(*eventId), lines(sent));
      sent.erase(sent.begin());
    }
    if (sendsNothing && !delivered_) FUZZ_CHECK_DETAIL(sent.empty(), lines(sent));
    for (const std::string& command : sent) checkUpdateCommand(command);
  }

  // A command a device update may cause: an output switch, a statesheet, or
  // a readout of a route that was delivered.
  void checkUpdateCommand(const std::string& command) {
    if (readouts_.count(command) != 0) return;
    std::string error;
    const std::optional<drezhost::HostCommand> parsed = drezhost::parseHostCommand(command, &error);
    FUZZ_CHECK_DETAIL(parsed && rewrite(*parsed) == command, "\"" + command + "\": " + error);
    if (parsed->id() == DREZ_SET_OUTPUT) {
      const uint32_t output =
          static_cast<uint32_t>(parsed->number(1)) - static_cast<uint32_t>(devices_.lightsOffset);
      FUZZ_CHECK_DETAIL(parsed->number(0) == devices_.lights && output <= 9 &&
                            (parsed->number(2) == 0 || parsed->number(2) == 1) &&
                            parsed->number(3) == 0,
                        command);
      return;
    }
    bool statesheet = false;
    for (const char* sheet : kStatesheets) {
      for (const char* control : kStatesheetControls) {
        statesheet = statesheet ||
                     command == std::string("TP 'statesheet=") + sheet + "' '1' '" + control + "'";
      }
    }
    FUZZ_CHECK_DETAIL(statesheet,
                      "neither a light, a statesheet nor a delivered route: " + command);
  }

  ByteReader& in_;
  Side nesting_;
  Side twin_;
  bool withHost_ = true;
  bool commandsFail_ = false;
  std::string path_;
  std::vector<std::optional<std::string>> replies_;
  std::optional<std::string> lookupReplies_[4];
  Devices devices_;
  std::set<std::string> readouts_;
  std::string myParam_;
  std::string instance_;
  std::optional<Update> nested_;     // the update to deliver from inside a command
  std::string nestedCode_;           // the code of that command
  bool armed_ = false;               // set until the nested update is delivered
  std::optional<Update> delivered_;  // the nested update delivered in this call
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  ByteReader in(data, size);
  PanelRun(in).run();
  return 0;
}
