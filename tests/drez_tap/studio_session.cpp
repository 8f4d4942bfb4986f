#include "studio_session.h"

#include <memory>
#include <optional>
#include <sstream>

#include "drez_client_callback.h"
#include "recording_host.h"
#include "simulator/records_builder.h"

namespace dreztaptest {

namespace {

using drezhost::RecordingHost;

void update(drez_client_callback* script, int device, int index, int number,
            const std::string& text) {
  drezhost::DeviceUpdateRecord record(device, index, number, text);
  script->callback(record.get(), CB_DEVICE_UPDATE);
}

std::string request(drez_client_callback* script, const char* text) {
  const char* reply = script->callback(const_cast<char*>(text), CB_HOST_REQUEST);
  if (reply == nullptr) return "(null)";
  std::string copy(reply);
  script->callback(const_cast<char*>(reply), CB_RELEASE_REPLY);
  return copy;
}

}  // namespace

bool operator==(const HostLog& a, const HostLog& b) {
  return a.created == b.created && a.commands == b.commands && a.faults == b.faults &&
         a.replies == b.replies && a.repliesHandedOut == b.repliesHandedOut &&
         a.repliesReleased == b.repliesReleased && a.repliesHeld == b.repliesHeld;
}

std::string describe(const HostLog& log) {
  std::ostringstream out;
  out << (log.created ? "created" : "not created") << ", " << log.commands.size() << " commands, "
      << log.faults.size() << " faults, replies " << log.repliesHandedOut << " out "
      << log.repliesReleased << " back " << log.repliesHeld << " held\n";
  for (const std::string& command : log.commands) out << "  " << command << "\n";
  for (const std::string& fault : log.faults) out << "  FAULT " << fault << "\n";
  for (const std::string& reply : log.replies) out << "  reply " << reply << "\n";
  return out.str();
}

HostLog runStudioSession(load_drez_client_script_fn entry) {
  RecordingHost host;
  host.setResponder([](const std::string& command) -> std::optional<std::string> {
    if (command == "SD 'RIR Tally Infodriver'") return "3 0";
    if (command == "SD 'RIR SDI Router'") return "7 0";
    if (command == "SD 'RIR Audio Router'") return "8 0";
    if (command == "SD 'Studio A Blue Lights'") return "12 100";
    if (RecordingHost::carriesReply(command)) return std::nullopt;
    return std::string();
  });
  HostLog log;
  drez_client_callback* script = entry(&host, "panels/studio");
  log.created = script != nullptr;
  if (script != nullptr) {
    // The poll answers: studio off, every control following the studio.
    update(script, 7, 97, 12, "CAM 1");
    update(script, 8, 62, 3, "MIC 3");
    const char* const slots[] = {"0", "", "0", "1", "1", "1"};
    for (int slot = 1; slot <= 6; ++slot) update(script, 3, slot, 0, slots[slot - 1]);

    // To transmission, with a route change from inside its first statesheet.
    host.setExecuteHook([&host, script](const std::string& command) {
      if (command.compare(0, 15, "TP 'statesheet=") != 0) return;
      host.setExecuteHook(nullptr);
      update(script, 7, 97, 3, "CAM 3");
    });
    update(script, 3, 1, 0, "2");
    // Readouts, an odd one among them, and a mode change during transmission.
    update(script, 8, 62, 5, "Desk \"A\" \\ 'B'");
    update(script, 7, 97, 14, std::string(300, 'n'));
    update(script, 3, 4, 0, "2");
    update(script, 3, 4, 0, "1");
    update(script, 3, 3, 0, "1");
    update(script, 3, 1, 0, "0");
    update(script, 3, 3, 0, "2");
    update(script, 7, 97, 12, "CAM 1 Studio A");
    update(script, 3, 1, 0, "1");

    drezhost::ControlEventRecord press("StA_Floor", "press.left=1");
    script->callback(press.get(), CB_CONTROL_EVENT);
    log.replies.push_back(request(script, "myParam=abc"));
    log.replies.push_back(request(script, "return=all"));
    log.replies.push_back(request(script, "return=myParam"));
    script->callback(reinterpret_cast<void*>(intptr_t{5}), CB_EVENT_ID);
    script->callback(reinterpret_cast<void*>(intptr_t{66}), CB_NOTIFY6);
    script->callback(reinterpret_cast<void*>(intptr_t{77}), CB_NOTIFY7);
    script->callback(nullptr, 0);
    script->callback(nullptr, 8);
    script->callback(nullptr, CB_DEVICE_UPDATE);
    script->callback(nullptr, CB_RELEASE_REPLY);
    drez_delete_script(script);
  }
  log.commands = host.commands();
  log.faults = host.faults();
  log.repliesHandedOut = host.repliesHandedOut();
  log.repliesReleased = host.repliesReleased();
  log.repliesHeld = host.repliesHeld();
  return log;
}

}  // namespace dreztaptest
