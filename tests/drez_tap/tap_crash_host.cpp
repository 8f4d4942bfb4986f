// A host that dies in the middle of a session, as a studio host killed
// mid-run does: no destructor runs, nothing is flushed on the way out.
//
//   tap_crash_host <panel library> between|inside
//
// It starts the panel, delivers three tally changes, then a router readout
// during whose first command it ends its own process (exit status 3). The
// capture must read complete up to the end of the third tally change, with
// the readout's call open:
//   between  a readout of a short name;
//   inside   a readout of a 2,000,000-character name, more than the tap's
//            step of the file: the dying call's first entry, written
//            whole, reached the file, which must read as cut inside it,
//            complete up to the third tally change.
// Either way the file ends in the NUL bytes of the room the tap had made.
// Exit status 2 when the library cannot be loaded or gives no script, 1 for
// a wrong command line; 3 is the death it was asked for.

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "drez_client_callback.h"
#include "recording_host.h"
#include "simulator/records_builder.h"
#include "simulator/script_library.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

[[noreturn]] void dieHere() {
  std::fflush(stdout);
#if defined(_WIN32)
  TerminateProcess(GetCurrentProcess(), 3);
#endif
  _exit(3);
}

void update(drez_client_callback* script, int device, int index, int number,
            const std::string& text) {
  drezhost::DeviceUpdateRecord record(device, index, number, text);
  script->callback(record.get(), CB_DEVICE_UPDATE);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || (std::strcmp(argv[2], "between") != 0 && std::strcmp(argv[2], "inside") != 0)) {
    std::fprintf(stderr, "usage: tap_crash_host <panel library> between|inside\n");
    return 1;
  }
  const bool inside = std::strcmp(argv[2], "inside") == 0;
  try {
    drezhost::ScriptLibrary library(argv[1]);
    drezhost::RecordingHost host;
    host.setResponder([](const std::string& command) -> std::optional<std::string> {
      if (command == "SD 'RIR Tally Infodriver'") return "3 0";
      if (command == "SD 'RIR SDI Router'") return "7 0";
      if (command == "SD 'RIR Audio Router'") return "8 0";
      if (command == "SD 'Studio A Blue Lights'") return "12 100";
      if (drezhost::RecordingHost::carriesReply(command)) return std::nullopt;
      return std::string();
    });
    drez_client_callback* script = library.entry()(&host, "panels");
    if (script == nullptr) {
      std::fprintf(stderr, "tap_crash_host: the export gave no script\n");
      return 2;
    }
    update(script, 3, 1, 0, "0");
    update(script, 3, 1, 0, "2");
    update(script, 3, 1, 0, "1");
    host.setExecuteHook([](const std::string&) { dieHere(); });
    update(script, 7, 97, 12, inside ? std::string(2000000, 'n') : std::string("CAM 1"));
    std::fprintf(stderr, "tap_crash_host: the readout sent no command\n");
    return 2;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "tap_crash_host: %s\n", error.what());
    return 2;
  }
}
