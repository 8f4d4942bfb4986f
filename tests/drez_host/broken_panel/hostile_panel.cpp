#include "hostile_panel.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "drez_export.h"
#include "drez_records.h"

namespace {

const char kTallyLookup[] = "SD 'RIR Tally Infodriver'";

// Deep enough to overflow any stack; the volatile frame keeps the compiler
// from turning the recursion into a loop.
volatile int deepest = 1 << 30;

int recurse(int depth) {
  volatile char frame[1024];
  frame[0] = static_cast<char>(depth);
  if (depth > deepest) return 0;
  return recurse(depth + 1) + frame[0];
}

HostilePanel* singleton = nullptr;

}  // namespace

HostilePanel::HostilePanel(drez_client_host* host, std::string mode)
    : host_(host), mode_(std::move(mode)) {
  if (mode_ == "poll-in-update" || mode_ == "leak-per-event") {
    send("IR 11 1 6");
    registered_ = true;
  }
  if (mode_ == "poll-in-update") send("IP 11 1 6");
}

HostilePanel::~HostilePanel() {
  if (registered_) send("IU 11");
  send("AS");
  if (singleton == this) singleton = nullptr;
}

intptr_t HostilePanel::send(const std::string& text) {
  return host_ != nullptr ? host_->command(text.c_str(), HOST_CMD_EXECUTE) : 0;
}

const char* HostilePanel::callback(void* data, int kind) {
  switch (kind) {
    case CB_DEVICE_UPDATE:
      if (mode_ == "poll-in-update") send("IP 11 1 6");
      if (mode_ == "leak-per-event") send(kTallyLookup);
      return nullptr;
    case CB_EVENT_ID:
      onEventId(static_cast<int>(reinterpret_cast<intptr_t>(data)));
      return nullptr;
    case CB_HOST_REQUEST: {
      static char shared[64];
      const char* text = data != nullptr ? static_cast<const char*>(data) : "";
      if (mode_ == "static-reply") {
        std::strncpy(shared, text, sizeof shared - 1);
        return shared[0] != '\0' ? shared : nullptr;
      }
      if (*text == '\0') return nullptr;
      char* reply = new (std::nothrow) char[std::strlen(text) + 1];
      if (reply != nullptr) std::strcpy(reply, text);
      return reply;
    }
    case CB_RELEASE_REPLY:
      if (mode_ != "static-reply") delete[] static_cast<char*>(data);
      return nullptr;
    default:
      return nullptr;
  }
}

void HostilePanel::onEventId(int id) {
  if (id == 13) {
    if (mode_ == "crash") *static_cast<volatile int*>(nullptr) = 1;
    if (mode_ == "abort") std::abort();
    if (mode_ == "hang") {
      for (volatile unsigned spin = 0;; spin = spin + 1) {
      }
    }
    if (mode_ == "overflow") recurse(0);
    if (mode_ == "exit") std::exit(0);
  }
  if (mode_ == "leak-per-event") send(kTallyLookup);
  if (mode_ == "leak-many" && id == 1) {
    for (int i = 0; i < 100000; ++i) send(kTallyLookup);
  }
  if (mode_ == "raw-text" && id == 1) {
    send("ET 1\n    99  GS 31 100 1 0");
    send("GS 31 1 1 0\x1b[31m");
    send("TP 'text=\xff\xfe' '1' 'vls_name'");
    send("TP 'text=" + std::string(50u << 20, 'x') + "' '1' 'vls_name'");
  }
  send("ET " + std::to_string(id));
}

// The export: the path chooses the misbehaviour.
extern "C" DREZ_PANEL_EXPORT drez_client_callback* DREZ_CDECL
load_drez_client_script(drez_client_host* host, const char* path) {
  const std::string mode = path != nullptr ? path : "";
  if (mode == "nonsense") return reinterpret_cast<drez_client_callback*>(intptr_t{16});
  if (mode == "singleton") {
    if (singleton == nullptr) singleton = new (std::nothrow) HostilePanel(host, mode);
    return singleton;
  }
  return new (std::nothrow) HostilePanel(host, mode);
}
