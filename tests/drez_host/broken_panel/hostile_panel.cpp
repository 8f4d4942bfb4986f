#include "hostile_panel.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <thread>

#if defined(_WIN32)
#include <windows.h>
#else
#include <signal.h>
#include <unistd.h>
#endif

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

// Zero, read anew each time, so that a division by it happens at run time.
volatile int divisor = 0;

[[noreturn]] void spin() {
  for (volatile unsigned turn = 0;; turn = turn + 1) {
  }
}

#if defined(DREZ_HOSTILE_LOAD) && !defined(_WIN32)
bool loadMode(const char* mode) {
  const char* chosen = std::getenv("DREZ_HOSTILE_LOAD");
  return chosen != nullptr && std::strcmp(chosen, mode) == 0;
}

__attribute__((constructor)) void onLoad() {
  if (loadMode("crash")) *static_cast<volatile int*>(nullptr) = 1;
  if (loadMode("abort")) std::abort();
  if (loadMode("loop")) spin();
  if (loadMode("sigchld")) signal(SIGCHLD, SIG_IGN);
}

__attribute__((destructor)) void onUnload() {
  if (loadMode("exit-at-unload")) _exit(0);
  if (loadMode("crash-at-unload")) *static_cast<volatile int*>(nullptr) = 1;
}
#endif

}  // namespace

HostilePanel::HostilePanel(drez_client_host* host, std::string mode)
    : host_(host), mode_(std::move(mode)) {
  if (mode_ == "poll-in-update" || mode_ == "leak-per-event" || mode_ == "loop") {
    send("IR 11 1 6");
    registered_ = true;
  }
  if (mode_ == "poll-in-update" || mode_ == "loop") send("IP 11 1 6");
#if !defined(_WIN32)
  if (mode_ == "ignore-sigterm") signal(SIGTERM, SIG_IGN);
#endif
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
      if (mode_ == "loop") {
        for (int i = 0; i < 100; ++i) send("GS 31 1 1 0");
      }
      if (mode_ == "poll-in-update" || mode_ == "loop") send("IP 11 1 6");
      if (mode_ == "leak-per-event") send(kTallyLookup);
      return nullptr;
    case CB_EVENT_ID:
      if (mode_ == "escape" && reinterpret_cast<intptr_t>(data) == 13) {
        throw std::runtime_error("an exception no framework caught");
      }
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
    case CB_RELEASE_REPLY: {
      if (mode_ == "static-reply") return nullptr;
      // Read through a volatile, so that the compiler keeps the second free.
      char* volatile reply = static_cast<char*>(data);
      delete[] reply;
      if (mode_ == "double-free") delete[] reply;
      return nullptr;
    }
    default:
      return nullptr;
  }
}

void HostilePanel::onEventId(int id) {
  if (id == 13) {
    if (mode_ == "crash") *static_cast<volatile int*>(nullptr) = 1;
    if (mode_ == "abort") std::abort();
    if (mode_ == "hang") spin();
    if (mode_ == "overflow") recurse(0);
    if (mode_ == "exit") std::exit(0);
    if (mode_ == "divide") divisor = 13 / divisor;
    if (mode_ == "trap") __builtin_trap();
    if (mode_ == "thread") {
      std::thread other([this] { send("GS 31 100 1 0"); });
      other.join();
    }
#if !defined(_WIN32)
    if (mode_ == "close-fds-hang" || mode_ == "close-fds") {
      for (int fd = 0; fd < 4096; ++fd) close(fd);
      if (mode_ == "close-fds-hang") spin();
    }
    if (mode_ == "fork-sleep" && fork() == 0) {
      sleep(60);
      _exit(0);
    }
    if (mode_ == "fork-abort") {
      if (fork() == 0) {
        sleep(60);
        _exit(0);
      }
      std::abort();
    }
#endif
  }
  if (mode_ == "debug" && id == 1) {
    std::fputs("hostile: a line on standard error\n", stderr);
    std::printf("hostile: a line on standard output \xff\xfe\n");
#if defined(_WIN32)
    OutputDebugStringA("hostile: a line for the debugger\n");
    OutputDebugStringW(L"hostile: a wide line for the debugger\n");
#endif
    std::fputs("hostile: a line without its end", stderr);
  }
  if (mode_ == "debug-much") {
    // A long line (a longer one at event 7, none at event 8), then a line
    // that starts with zero bytes: much more than the host's capture keeps
    // at once.
    if (id != 8) {
      const std::string line = std::string(id == 7 ? 2500000 : 300000, 'x') + "\n";
      std::fwrite(line.data(), 1, line.size(), stderr);
    }
    const std::string zeros = std::string(2, '\0') + "hostile: after " + std::to_string(id) + "\n";
    std::fwrite(zeros.data(), 1, zeros.size(), stderr);
  }
  if (mode_ == "xml-text" && id == 1) {
    send("ZZ \xef\xbf\xbe \xef\xbf\xbf \x01\x1b \xff");
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
