// raising_panel: a panel DLL built with Microsoft's C++ ABI (clang for
// *-windows-msvc, no C runtime) whose calls end by structured exceptions,
// for the tap's tests: a host that catches them with __except must see
// through the tap what it sees without it.
//
// The export makes the script, which sends nothing at its start. Each event
// id (callback kind 4) is acknowledged with "ET <id>", except:
//   13  an access violation (a write through a null pointer), before "ET"
//   14  the structured exception of a C++ throw of Microsoft's compiler
//       (code 0xE06D7363), raised with RaiseException, before "ET"
//   15  "ET 15", then an access violation
// The deletion sends "AS". Every other kind returns null.

#include <stddef.h>
#include <stdint.h>

#include "drez_abi.h"
#include "drez_client_callback.h"
#include "drez_client_host.h"
#include "drez_export.h"

#if !defined(_MSC_VER) || !DREZ_MSVC_ABI
#error "raising_panel is built for a *-windows-msvc target, with Microsoft's C++ ABI"
#endif

extern "C" {
__declspec(dllimport) void* __stdcall GetProcessHeap();
__declspec(dllimport) void* __stdcall HeapAlloc(void* heap, uint32_t flags, size_t size);
__declspec(dllimport) int __stdcall HeapFree(void* heap, uint32_t flags, void* block);
__declspec(dllimport) void __stdcall RaiseException(uint32_t code, uint32_t flags, uint32_t count,
                                                    const uintptr_t* arguments);
}

#include "freestanding_runtime.h"

extern "C" {
int _purecall() { __builtin_trap(); }
}

namespace {

struct ProcessHeap {};

}  // namespace

void* operator new(size_t size, ProcessHeap) noexcept {
  return HeapAlloc(GetProcessHeap(), 0, size != 0 ? size : 1);
}
void operator delete(void* block) noexcept {
  if (block != nullptr) HeapFree(GetProcessHeap(), 0, block);
}
void operator delete(void* block, size_t) noexcept { operator delete(block); }

namespace {

constexpr uint32_t kMicrosoftCppException = 0xE06D7363;

class RaisingPanel : public drez_client_callback {
 public:
  explicit RaisingPanel(drez_client_host* host) : host_(host) {}
  ~RaisingPanel() override {
    if (host_ != nullptr) host_->command("AS", HOST_CMD_EXECUTE);
  }

  const char* DREZ_THISCALL callback(void* data, int kind) override {
    if (kind != CB_EVENT_ID) return nullptr;
    const intptr_t id = reinterpret_cast<intptr_t>(data);
    if (id == 13) accessViolation();
    if (id == 14) RaiseException(kMicrosoftCppException, 1, 0, nullptr);
    char text[16] = "ET ";
    char* at = text + 3;
    char digits[8];
    int count = 0;
    for (intptr_t rest = id; count == 0 || rest != 0; rest /= 10) {
      digits[count++] = static_cast<char>('0' + rest % 10);
    }
    while (count > 0) *at++ = digits[--count];
    *at = '\0';
    if (host_ != nullptr) host_->command(text, HOST_CMD_EXECUTE);
    if (id == 15) accessViolation();
    return nullptr;
  }

 private:
  // A write to address 0, which the compiler cannot see is null (it would
  // make a write through a null pointer a trap of its own).
  static void accessViolation() {
    static volatile uintptr_t nowhere = 0;
    *reinterpret_cast<volatile int*>(nowhere) = 1;
  }

  drez_client_host* host_;
};

}  // namespace

extern "C" DREZ_PANEL_EXPORT drez_client_callback* DREZ_CDECL
load_drez_client_script(drez_client_host* host, const char*) {
  return new (ProcessHeap{}) RaisingPanel(host);
}
