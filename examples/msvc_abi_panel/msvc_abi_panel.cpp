// msvc_abi_panel: a panel library built the way a studio's own panel DLLs
// are, with Microsoft's C++ ABI, for drez-host to load and drive: the
// script-side twin of msvc_abi_host.
//
// It proves that our host drives a script laid out by Microsoft's compiler:
// it includes only the contract headers (under _MSC_VER, so slot 0 of
// drez_client_callback is the real virtual destructor and the compiler makes
// the scalar deleting destructor), implements the script as an ordinary
// class, calls the host's `command` through slot 1, and exports
// load_drez_client_script unmangled and cdecl, as drez_export.h declares it.
//
// Built by clang for *-windows-msvc without any C runtime: no entry point
// (/noentry, so no DllMain and no static constructors), kernel32 only
// (through an import library made from kernel32.def), and the few functions
// a compiler expects from a runtime defined below. The script object and its
// replies come from the process heap; the global operator delete below,
// which the deleting destructor calls, gives them back to it.
//
// The panel: the newsroom's tally infodriver and router.
//   construction  "SD 'Newsroom Tally'" and "SD 'Newsroom Router'"; each
//                 reply is copied and handed back at once. Then
//                 "IR <tally> 1 4" and "RR <router> <offset+1> <offset+2>",
//                 only for a device the lookup found, and
//                 "PS '1' 'newsroom.drez_ui'".
//   update        tally slot n (1 to 4):  "TP 'text=<text>' '1' 'tally_<n>'"
//                 router destination offset+n (n 1 or 2): the same to
//                 'dest_<n>' with the source's name. Other devices and
//                 indices are ignored.
//   request       "return=all" or "return=updates" replies "updates=<count>",
//                 the number of updates shown so far; anything else, none.
//   event id      "ET <id>"
//   destruction   "IU <tally>", "RU <router>" (for what was found), "AS".
// A lookup with no reply, or one whose first token is not a number, means
// the device is missing; a reply without a second token reads as offset 0.
// The path argument is not used. A script created without a host sends
// nothing.
//
// Broken variants, built from this file with a define, for tests that the
// host names their breach:
//   DREZ_MSVC_PANEL_HOLDS_SD_REPLY  never hands back the replies to "SD"
//   DREZ_MSVC_PANEL_SKIPS_AS        sends no "AS" at teardown

#include <stddef.h>
#include <stdint.h>

#include "drez_abi.h"
#include "drez_client_callback.h"
#include "drez_client_host.h"
#include "drez_export.h"
#include "drez_records.h"

#if !defined(_MSC_VER) || !DREZ_MSVC_ABI
#error "msvc_abi_panel is built for a *-windows-msvc target, with Microsoft's C++ ABI"
#endif

// ---- kernel32 --------------------------------------------------------------

extern "C" {
__declspec(dllimport) void* __stdcall GetProcessHeap();
__declspec(dllimport) void* __stdcall HeapAlloc(void* heap, uint32_t flags, size_t size);
__declspec(dllimport) int __stdcall HeapFree(void* heap, uint32_t flags, void* block);
}

// ---- What a compiler expects from a C runtime --------------------------------

#include "freestanding_runtime.h"

#if !defined(__clang__)
#include <intrin.h>  // __fastfail, for Microsoft's cl
#endif

extern "C" {
// A pure virtual operation was called (the contract's base class has one).
// Nothing sensible is left to do, and there is no runtime to report it.
int _purecall() {
#if defined(__clang__)
  __builtin_trap();
#else
  __fastfail(7);  // FAST_FAIL_FATAL_APP_EXIT: ends the process
#endif
}
}

namespace {

void* heapAllocate(size_t size) { return HeapAlloc(GetProcessHeap(), 0, size != 0 ? size : 1); }
void heapFree(void* block) {
  if (block != nullptr) HeapFree(GetProcessHeap(), 0, block);
}

// The tag of the one allocation function of this library, which gives null
// when the heap is exhausted (so the new-expression constructs nothing).
struct ProcessHeap {};

}  // namespace

void* operator new(size_t size, ProcessHeap) noexcept { return heapAllocate(size); }
// What the scalar deleting destructor calls with flag bit 0 set.
void operator delete(void* block) noexcept { heapFree(block); }
void operator delete(void* block, size_t) noexcept { heapFree(block); }

namespace {

// ---- Text --------------------------------------------------------------------

bool sameText(const char* a, const char* b) {
  while (*a != '\0' && *a == *b) ++a, ++b;
  return *a == *b;
}

// A text built piece by piece in a block of the process heap, which grows as
// needed, so that a device update's text of any length goes out whole. When
// the heap is exhausted the text is failed: text() is then null, and
// nothing is sent.
class Text {
 public:
  Text() = default;
  ~Text() { heapFree(data_); }
  Text(const Text&) = delete;
  Text& operator=(const Text&) = delete;

  Text& operator<<(const char* text) {
    const size_t length = strlen(text);
    if (reserve(length)) {
      memcpy(data_ + length_, text, length + 1);
      length_ += length;
    }
    return *this;
  }
  // Signed decimal, INT32_MIN included.
  Text& operator<<(int32_t number) {
    char digits[12];
    char* at = digits + sizeof(digits);
    *--at = '\0';
    uint32_t magnitude = number < 0 ? 0u - static_cast<uint32_t>(number) : number;
    do *--at = static_cast<char>('0' + magnitude % 10);
    while ((magnitude /= 10) != 0);
    if (number < 0) *--at = '-';
    return *this << at;
  }

  // The NUL-terminated text, or null when it failed.
  const char* text() const { return failed_ ? nullptr : data_ != nullptr ? data_ : ""; }
  size_t length() const { return length_; }

 private:
  // Room for `more` bytes and the NUL after them.
  bool reserve(size_t more) {
    if (failed_ || more > SIZE_MAX / 4 - length_) return fail();
    if (length_ + more + 1 <= capacity_) return true;
    size_t capacity = capacity_ != 0 ? capacity_ : 64;
    while (capacity < length_ + more + 1) capacity *= 2;
    char* const grown = static_cast<char*>(heapAllocate(capacity));
    if (grown == nullptr) return fail();
    if (data_ != nullptr) memcpy(grown, data_, length_ + 1);
    heapFree(data_);
    data_ = grown;
    capacity_ = capacity;
    return true;
  }

  bool fail() {
    failed_ = true;
    return false;
  }

  char* data_ = nullptr;
  size_t length_ = 0;
  size_t capacity_ = 0;
  bool failed_ = false;
};

// Reads a signed decimal int32 at `*at` and moves past it. False, with `*at`
// unmoved, when there is no number there or it does not fit.
bool readNumber(const char** at, int32_t* number) {
  const char* p = *at;
  const bool negative = *p == '-';
  if (negative) ++p;
  if (*p < '0' || *p > '9') return false;
  const uint32_t limit = negative ? 0x80000000u : 0x7fffffffu;
  uint32_t magnitude = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    const uint32_t digit = static_cast<uint32_t>(*p - '0');
    if (magnitude > (limit - digit) / 10) return false;
    magnitude = magnitude * 10 + digit;
  }
  *number = negative ? static_cast<int32_t>(0u - magnitude) : static_cast<int32_t>(magnitude);
  *at = p;
  return true;
}

// ---- The panel ---------------------------------------------------------------

const char kPanel[] = "1";
const char kPanelFile[] = "newsroom.drez_ui";
const int32_t kTallySlots = 4;          // slots 1 to 4, on controls tally_1 to tally_4
const int32_t kRouterDestinations = 2;  // offset+1 and offset+2, on dest_1 and dest_2

// A device of the panel, as its "SD" lookup found it.
struct Device {
  const char* name;
  bool found = false;
  int32_t number = 0;
  int32_t offset = 0;
};

// A reply the script handed out and the host has not handed back yet: the
// block holds this header and then the text, whose address the host got.
struct Reply {
  Reply* next;
  char text[1];
};

class NewsroomPanel : public drez_client_callback {
 public:
  explicit NewsroomPanel(drez_client_host* host) : host_(host) {
    tally_.name = "Newsroom Tally";
    router_.name = "Newsroom Router";
    lookUp(&tally_);
    lookUp(&router_);
    // The destination range must fit an int32 after the offset.
    if (router_.found && router_.offset > INT32_MAX - kRouterDestinations) router_.found = false;
    if (tally_.found) {
      send(Text() << "IR " << tally_.number << " 1 " << kTallySlots);
    }
    if (router_.found) {
      send(Text() << "RR " << router_.number << " " << router_.offset + 1 << " "
                  << router_.offset + kRouterDestinations);
    }
    send(Text() << "PS '" << kPanel << "' '" << kPanelFile << "'");
  }

  ~NewsroomPanel() override {
    if (tally_.found) send(Text() << "IU " << tally_.number);
    if (router_.found) send(Text() << "RU " << router_.number);
#if !defined(DREZ_MSVC_PANEL_SKIPS_AS)
    send(Text() << "AS");
#endif
    // The host hands every reply back before it deletes the script; one it
    // kept can no longer be, and goes back to the heap here.
    while (replies_ != nullptr) {
      Reply* const next = replies_->next;
      heapFree(replies_);
      replies_ = next;
    }
  }

  NewsroomPanel(const NewsroomPanel&) = delete;
  NewsroomPanel& operator=(const NewsroomPanel&) = delete;

  const char* DREZ_THISCALL callback(void* data, int kind) override {
    switch (kind) {
      case CB_DEVICE_UPDATE:
        if (data != nullptr) onUpdate(*static_cast<const DeviceUpdate*>(data));
        return nullptr;
      case CB_HOST_REQUEST:
        return data != nullptr ? onRequest(static_cast<const char*>(data)) : nullptr;
      case CB_EVENT_ID:
        // The id is the pointer-sized integer itself; ids are 32-bit.
        send(Text() << "ET " << static_cast<int32_t>(reinterpret_cast<intptr_t>(data)));
        return nullptr;
      case CB_RELEASE_REPLY:
        releaseReply(static_cast<const char*>(data));
        return nullptr;
      default:  // control events, notifies and unknown kinds: nothing to do
        return nullptr;
    }
  }

 private:
  // Sends "SD '<name>'", copies the reply and hands it back, then reads
  // "<number> <offset>" from the copy.
  void lookUp(Device* device) {
    if (host_ == nullptr) return;
    Text command;
    command << "SD '" << device->name << "'";
    if (command.text() == nullptr) return;
    const char* const reply =
        reinterpret_cast<const char*>(host_->command(command.text(), HOST_CMD_EXECUTE));
    if (reply == nullptr) return;
    // Only the two numbers matter; a longer reply is cut, which no number
    // that fits survives.
    char copy[64];
    size_t length = 0;
    while (reply[length] != '\0' && length < sizeof(copy) - 1) {
      copy[length] = reply[length];
      ++length;
    }
    copy[length] = '\0';
#if !defined(DREZ_MSVC_PANEL_HOLDS_SD_REPLY)
    host_->command(reply, HOST_CMD_RELEASE);
#endif
    const char* at = copy;
    if (!readNumber(&at, &device->number)) return;
    device->offset = 0;
    while (*at == ' ') ++at;
    if (*at != '\0' && !readNumber(&at, &device->offset)) return;
    device->found = true;
  }

  void onUpdate(const DeviceUpdate& update) {
    if (tally_.found && update.device == tally_.number && update.index >= 1 &&
        update.index <= kTallySlots) {
      show("tally_", update.index, update.text);
    }
    if (router_.found && update.device == router_.number && update.index > router_.offset &&
        update.index <= router_.offset + kRouterDestinations) {
      show("dest_", update.index - router_.offset, update.text);
    }
  }

  // "TP 'text=<text>' '1' '<control><n>'"
  void show(const char* control, int32_t n, const char* text) {
    ++updatesShown_;
    send(Text() << "TP 'text=" << text << "' '" << kPanel << "' '" << control << n << "'");
  }

  const char* onRequest(const char* text) {
    if (!sameText(text, "return=all") && !sameText(text, "return=updates")) return nullptr;
    Text answer;
    answer << "updates=" << updatesShown_;
    if (answer.text() == nullptr) return nullptr;
    Reply* const reply =
        static_cast<Reply*>(heapAllocate(offsetof(Reply, text) + answer.length() + 1));
    if (reply == nullptr) return nullptr;
    memcpy(reply->text, answer.text(), answer.length() + 1);
    reply->next = replies_;
    replies_ = reply;
    return reply->text;
  }

  // Frees a reply this script handed out; null, or a pointer it never
  // handed out (or took back already), is left alone rather than freed.
  void releaseReply(const char* text) {
    for (Reply** link = &replies_; *link != nullptr; link = &(*link)->next) {
      if ((*link)->text == text) {
        Reply* const reply = *link;
        *link = reply->next;
        heapFree(reply);
        return;
      }
    }
  }

  void send(const Text& command) {
    if (host_ != nullptr && command.text() != nullptr) {
      host_->command(command.text(), HOST_CMD_EXECUTE);
    }
  }

  drez_client_host* const host_;
  Device tally_;
  Device router_;
  int32_t updatesShown_ = 0;
  Reply* replies_ = nullptr;  // handed out, not handed back yet
};

}  // namespace

extern "C" DREZ_PANEL_EXPORT drez_client_callback* DREZ_CDECL
load_drez_client_script(drez_client_host* host, const char* /*path*/) {
  return new (ProcessHeap{}) NewsroomPanel(host);
}
