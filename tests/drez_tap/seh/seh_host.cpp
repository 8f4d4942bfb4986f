// seh_host: a panel host built with Microsoft's C++ ABI (clang for
// *-windows-msvc, no C runtime) that catches with __except the structured
// exceptions a script's calls end by, and goes on, as a studio host may.
//
//   seh_host <panel library>
//
// It creates the script, delivers the event ids 1, 13, 2, 14, 3, 15 and 4,
// each inside __try, and deletes the script. Standard output is the trace:
// each call, the commands the script sent during it, and how it ended:
// "returned", "raised e06d7363, caught" (a C++ exception of Microsoft's
// compiler) or "raised a fault, caught". Exit status 0; 2 when the
// library cannot be loaded or makes no script. With raising_panel.dll,
// directly or through the tap, the trace must be seh_expected_trace.txt.

#include <stddef.h>
#include <stdint.h>

#include "drez_abi.h"
#include "drez_client_callback.h"
#include "drez_client_host.h"
#include "drez_export.h"

#if !defined(_MSC_VER) || !DREZ_MSVC_ABI
#error "seh_host is built for a *-windows-msvc target, with Microsoft's C++ ABI"
#endif

extern "C" {
__declspec(dllimport) void* __stdcall GetStdHandle(uint32_t which);
__declspec(dllimport) int __stdcall WriteFile(void* file, const void* data, uint32_t size,
                                              uint32_t* written, void* overlapped);
__declspec(dllimport) __declspec(noreturn) void __stdcall ExitProcess(uint32_t code);
__declspec(dllimport) char* __stdcall GetCommandLineA();
__declspec(dllimport) void* __stdcall LoadLibraryA(const char* path);
__declspec(dllimport) void* __stdcall GetProcAddress(void* module, const char* name);
}

#include "freestanding_runtime.h"

extern "C" {
int _purecall() { ExitProcess(3); }
}

namespace {

const uint32_t kStdOutput = static_cast<uint32_t>(-11);
// What a C++ throw of Microsoft's compiler raises.
const uint32_t kMicrosoftCppException = 0xE06D7363;

void print(const char* a, const char* b = "", const char* c = "") {
  char line[200];
  uint32_t size = 0;
  const char* const parts[] = {a, b, c};
  for (const char* part : parts) {
    while (*part != '\0' && size < sizeof line - 1) line[size++] = *part++;
  }
  line[size++] = '\n';
  uint32_t written = 0;
  WriteFile(GetStdHandle(kStdOutput), line, size, &written, nullptr);
}

class Host : public drez_client_host {
 public:
  void DREZ_THISCALL reserved() override {}
  intptr_t DREZ_THISCALL command(const char* text, int kind) override {
    print("  command ", kind == HOST_CMD_EXECUTE ? text : "(another kind)");
    return 1;
  }
};

void hex(uint32_t number, char* out) {
  for (int i = 7; i >= 0; --i, number >>= 4) out[i] = "0123456789abcdef"[number & 15];
  out[8] = '\0';
}

// __try and __except are Microsoft's extension: the point of this host.
#pragma clang diagnostic ignored "-Wlanguage-extension-token"

void deliver(drez_client_callback* script, intptr_t id) {
  char number[8] = {static_cast<char>('0' + id / 10), static_cast<char>('0' + id % 10), '\0'};
  print("event ", id < 10 ? number + 1 : number);
  uint32_t code = 0;
  __try {
    script->callback(reinterpret_cast<void*>(id), CB_EVENT_ID);
    print("  returned");
  } __except (code = _exception_code(), 1) {
    // Which fault a bad write raises is the system's: an access violation
    // on Windows, another code where 32-bit Wine runs under qemu-i386.
    char text[9];
    hex(code, text);
    print("  raised ", code == kMicrosoftCppException ? text : "a fault", ", caught");
  }
}

// The first argument after the program's own name, without quotes, or null.
const char* firstArgument(char* at) {
  for (int argument = 0;; ++argument) {
    while (*at == ' ' || *at == '\t') ++at;
    if (*at == '\0') return nullptr;
    const char end = *at == '"' ? *at++ : ' ';
    char* const start = at;
    while (*at != '\0' && *at != end && *at != (end == ' ' ? '\t' : end)) ++at;
    if (argument == 1) {
      *at = '\0';
      return start;
    }
    if (*at != '\0') ++at;
  }
}

}  // namespace

extern "C" void __cdecl HostMain() {
  const char* const path = firstArgument(GetCommandLineA());
  void* const library = path != nullptr ? LoadLibraryA(path) : nullptr;
  void* const entry =
      library != nullptr ? GetProcAddress(library, "load_drez_client_script") : nullptr;
  if (entry == nullptr) {
    print("seh_host: cannot load the panel library");
    ExitProcess(2);
  }
  Host host;
  print("create");
  drez_client_callback* const script =
      reinterpret_cast<load_drez_client_script_fn>(entry)(&host, "panels");
  if (script == nullptr) {
    print("seh_host: the export made no script");
    ExitProcess(2);
  }
  const intptr_t ids[] = {1, 13, 2, 14, 3, 15, 4};
  for (intptr_t id : ids) deliver(script, id);
  print("delete");
  delete script;
  ExitProcess(0);
}
