// msvc_abi_host: a panel host built the way the studio's is, with Microsoft's
// C++ ABI, that loads a panel library and drives it through its one export.
//
//   msvc_abi_host <panel library>
//
// It proves that a script library built by MinGW's g++ works under a host
// built by another compiler: it includes only the contract headers (they
// compile here under _MSC_VER), defines the records itself from their
// documented layout, implements the host object as an ordinary class, calls
// every callback kind, delivers an update from inside a command, and
// destroys the script with `delete`. On 32-bit x86 it also checks the calling
// conventions: every call into the library goes through an assembly thunk
// that pushes the arguments onto a stack that is only 4-byte aligned and
// checks that the stack pointer comes back where the convention says (the
// export is cdecl, `callback` and the destructor are thiscall), and every
// call into the host must arrive as thiscall.
//
// Built by clang for *-windows-msvc without any C runtime: its own entry
// point, kernel32 only (through an import library made from kernel32.def),
// and the few functions a compiler expects from a runtime defined below.
//
// Standard output is the trace of the session (see expected_trace.txt): each
// call into the script, indented by its nesting depth, with the commands the
// script sent during it and its result. The exit status is 0 when no line of
// it says FAULT, 1 otherwise, and 2 when the library cannot be loaded. Notes
// on the memory check go to standard error.

#include <stddef.h>
#include <stdint.h>

#include "drez_abi.h"
#include "drez_client_callback.h"
#include "drez_client_host.h"
#include "drez_commands.h"
#include "drez_export.h"

#if !defined(_MSC_VER) || !DREZ_MSVC_ABI
#error "msvc_abi_host is built for a *-windows-msvc target, with Microsoft's C++ ABI"
#endif

// ---- kernel32 --------------------------------------------------------------

struct ExceptionRecordHead {
  uint32_t code;
  uint32_t flags;
  void* next;
  void* address;
};
struct ExceptionPointers {
  ExceptionRecordHead* record;
  void* context;
};
using CrashFilter = long(__stdcall*)(ExceptionPointers* info);

extern "C" {
__declspec(dllimport) void* __stdcall GetStdHandle(uint32_t which);
__declspec(dllimport) int __stdcall WriteFile(void* file, const void* data, uint32_t size,
                                              uint32_t* written, void* overlapped);
__declspec(dllimport) __declspec(noreturn) void __stdcall ExitProcess(uint32_t code);
__declspec(dllimport) char* __stdcall GetCommandLineA();
__declspec(dllimport) void* __stdcall LoadLibraryA(const char* path);
__declspec(dllimport) void* __stdcall GetProcAddress(void* module, const char* name);
__declspec(dllimport) uint32_t __stdcall GetLastError();
__declspec(dllimport) void* __stdcall GetProcessHeap();
__declspec(dllimport) void* __stdcall HeapAlloc(void* heap, uint32_t flags, size_t size);
__declspec(dllimport) int __stdcall HeapFree(void* heap, uint32_t flags, void* block);
__declspec(dllimport) uint32_t __stdcall GetProcessHeaps(uint32_t count, void** heaps);
__declspec(dllimport) int __stdcall HeapValidate(void* heap, uint32_t flags, const void* block);
__declspec(dllimport) CrashFilter __stdcall SetUnhandledExceptionFilter(CrashFilter filter);
void* _AddressOfReturnAddress();
}

const uint32_t kStdOutput = static_cast<uint32_t>(-11);
const uint32_t kStdError = static_cast<uint32_t>(-12);

// ---- What a compiler expects from a C runtime --------------------------------

#include "freestanding_runtime.h"

extern "C" {
// A pure virtual operation was called: the contract's base classes have one.
int _purecall() { ExitProcess(3); }
}

void* operator new(size_t size) {
  void* block = HeapAlloc(GetProcessHeap(), 0, size != 0 ? size : 1);
  if (block == nullptr) ExitProcess(4);
  return block;
}
void* operator new[](size_t size) { return operator new(size); }
void operator delete(void* block) noexcept { HeapFree(GetProcessHeap(), 0, block); }
void operator delete[](void* block) noexcept { operator delete(block); }

// ---- The records, as a host author writes them from the documentation -----

struct DeviceUpdate {
  int32_t device;
  int32_t reserved;
  int32_t index;
  int32_t number;
  char text[1];  // NUL-terminated, runs on past the end of the struct
};

struct ParsedCommand {
  const char* name;
  const char* parts[32];
  const char* value;
  int32_t partCount;
  bool hasValue;
  uint8_t reserved[3];
  char* buffer;
};

struct ControlEvent {
  uint8_t reserved[12];
  const char* controlId;
  const ParsedCommand* parsed;
};

#if defined(_M_IX86)
static_assert(offsetof(DeviceUpdate, device) == 0, "DeviceUpdate");
static_assert(offsetof(DeviceUpdate, reserved) == 4, "DeviceUpdate");
static_assert(offsetof(DeviceUpdate, index) == 8, "DeviceUpdate");
static_assert(offsetof(DeviceUpdate, number) == 12, "DeviceUpdate");
static_assert(offsetof(DeviceUpdate, text) == 16, "DeviceUpdate");
static_assert(offsetof(ControlEvent, controlId) == 12, "ControlEvent");
static_assert(offsetof(ControlEvent, parsed) == 16, "ControlEvent");
static_assert(sizeof(ControlEvent) == 20, "ControlEvent");
static_assert(offsetof(ParsedCommand, name) == 0, "ParsedCommand");
static_assert(offsetof(ParsedCommand, parts) == 4, "ParsedCommand");
static_assert(offsetof(ParsedCommand, value) == 132, "ParsedCommand");
static_assert(offsetof(ParsedCommand, partCount) == 136, "ParsedCommand");
static_assert(offsetof(ParsedCommand, hasValue) == 140, "ParsedCommand");
static_assert(offsetof(ParsedCommand, buffer) == 144, "ParsedCommand");
static_assert(sizeof(ParsedCommand) == 148, "ParsedCommand");
#endif

const char kEmptyText[1] = "";

// ---- Output ------------------------------------------------------------------

bool startsWith(const char* text, const char* prefix) {
  while (*prefix != '\0') {
    if (*text++ != *prefix++) return false;
  }
  return true;
}

bool sameText(const char* a, const char* b) { return startsWith(a, b) && a[strlen(b)] == '\0'; }

// One line of output, built piece by piece; longer lines are cut. Small, as
// every frame must be: without stack probes, a frame of a page or more could
// skip the stack's guard page.
class Line {
 public:
  Line& operator<<(const char* text) {
    while (*text != '\0' && length_ < sizeof(text_) - 1) text_[length_++] = *text++;
    return *this;
  }
  Line& operator<<(intptr_t number) {
    char digits[24];
    int count = 0;
    uintptr_t magnitude = number < 0 ? 0 - static_cast<uintptr_t>(number) : number;
    do digits[count++] = static_cast<char>('0' + magnitude % 10);
    while ((magnitude /= 10) != 0);
    if (number < 0) *this << "-";
    while (count > 0 && length_ < sizeof(text_) - 1) text_[length_++] = digits[--count];
    return *this;
  }
  Line& hex(uint32_t number) {
    char digits[9];
    for (int i = 7; i >= 0; --i, number >>= 4) digits[i] = "0123456789abcdef"[number & 15];
    digits[8] = '\0';
    return *this << digits;
  }
  Line& quoted(const char* text) { return *this << "\"" << text << "\""; }

  // Writes the line, indented by two spaces per level, to `stream`.
  void write(int depth, uint32_t stream = kStdOutput) const {
    char out[sizeof(text_) + 32];
    uint32_t size = 0;
    for (int i = 0; i < 2 * depth && i < 30; ++i) out[size++] = ' ';
    memcpy(out + size, text_, length_);
    size += static_cast<uint32_t>(length_);
    out[size++] = '\n';
    uint32_t written = 0;
    WriteFile(GetStdHandle(stream), out, size, &written, nullptr);
  }

 private:
  char text_[400];
  size_t length_ = 0;
};

int g_depth = 0;               // calls into the script in progress
int g_faults = 0;              // FAULT lines printed
const char* g_call = "start";  // the call into the script in progress, for crash reports
const void* g_host = nullptr;  // the host object every command must arrive at

// A FAULT line at the current depth.
void fault(const Line& line) {
  line.write(g_depth);
  ++g_faults;
}

void note(const char* text) { (Line() << "msvc_abi_host: " << text).write(0, kStdError); }

// A crash inside the script is reported as a FAULT rather than by Wine's
// debugger, which takes long and prints nothing into the trace.
long __stdcall onCrash(ExceptionPointers* info) {
  fault((Line() << "FAULT exception 0x").hex(info->record->code) << " during " << g_call);
  ExitProcess(1);
}

// ---- Calls into the script library -------------------------------------------

#if defined(_M_IX86)
// Calls `function` with `self` in ECX and `count` 32-bit arguments pushed
// from right to left, with ESP = 4 (mod 16) at the call, so that a callee
// that assumes 16-byte alignment shows it. Returns EAX and sets `*popped` to
// how far the callee moved ESP: 0 for cdecl, the arguments' size for
// thiscall. Restores ESP itself, so a wrong callee cannot derail the caller.
extern "C" uintptr_t __cdecl drez_checked_call(const void* function, void* self,
                                               const uintptr_t* args, uint32_t count,
                                               intptr_t* popped);
__asm__(R"(
  .text
  .globl _drez_checked_call
  .p2align 4
_drez_checked_call:
  pushl %ebp
  movl %esp, %ebp
  pushl %ebx
  pushl %esi
  pushl %edi
  movl %esp, %esi           # where ESP goes back to, whatever the callee did
  movl 20(%ebp), %ecx       # argument count
  leal 4(,%ecx,4), %edx
  movl %esp, %eax
  subl %edx, %eax
  andl $15, %eax
  subl %eax, %esp           # once the arguments are pushed, ESP = 4 (mod 16)
  movl 16(%ebp), %edx
.Lpush_argument:
  testl %ecx, %ecx
  jz .Lcall
  decl %ecx
  pushl (%edx,%ecx,4)
  jmp .Lpush_argument
.Lcall:
  movl %esp, %edi           # ESP at the call
  movl 12(%ebp), %ecx       # `this` for thiscall; cdecl ignores it
  call *8(%ebp)
  movl %esp, %ebx
  subl %edi, %ebx           # what the callee popped
  movl 24(%ebp), %edx
  movl %ebx, (%edx)
  movl %esi, %esp
  popl %edi
  popl %esi
  popl %ebx
  popl %ebp
  ret
)");

// A call whose callee moved ESP by other than `expected` bytes: the
// conventions of the two sides differ, and nothing after it can be trusted.
void checkPopped(const char* call, intptr_t popped, intptr_t expected) {
  if (popped == expected) return;
  fault(Line() << "FAULT " << call << ": ESP moved by " << popped << " bytes across the call, not "
               << expected << " (off by " << popped - expected << ")");
  ExitProcess(1);
}
#endif

drez_client_callback* callExport(load_drez_client_script_fn create, drez_client_host* host,
                                 const char* path) {
  g_call = "the export";
#if defined(_M_IX86)
  const uintptr_t args[2] = {reinterpret_cast<uintptr_t>(host), reinterpret_cast<uintptr_t>(path)};
  intptr_t popped = 0;
  const uintptr_t result =
      drez_checked_call(reinterpret_cast<const void*>(create), nullptr, args, 2, &popped);
  checkPopped("the export", popped, 0);  // cdecl: the caller pops
  return reinterpret_cast<drez_client_callback*>(result);
#else
  return create(host, path);
#endif
}

const char* callCallback(drez_client_callback* script, void* data, int kind, const char* call) {
  const char* const outer = g_call;
  g_call = call;
#if defined(_M_IX86)
  // Slot 1 of Microsoft's layout, called as the compiler calls script->callback.
  const void* const* slots = *reinterpret_cast<const void* const* const*>(script);
  const uintptr_t args[2] = {reinterpret_cast<uintptr_t>(data), static_cast<uintptr_t>(kind)};
  intptr_t popped = 0;
  const uintptr_t result = drez_checked_call(slots[1], script, args, 2, &popped);
  checkPopped(call, popped, 8);  // thiscall: the callee pops both arguments
#else
  const uintptr_t result = reinterpret_cast<uintptr_t>(script->callback(data, kind));
#endif
  g_call = outer;
  return reinterpret_cast<const char*>(result);
}

// The heap that holds `block` (found by asking each heap of the process), or
// null when none says it does.
void* heapOf(const void* block) {
  void* heaps[64];
  const uint32_t count = GetProcessHeaps(64, heaps);
  for (uint32_t i = 0; i < count && i < 64; ++i) {
    if (HeapValidate(heaps[i], 0, block)) return heaps[i];
  }
  return nullptr;
}

void deleteScript(drez_client_callback* script) {
  g_call = "delete";
  void* const heap = heapOf(script);
#if defined(_M_IX86)
  // `delete` itself, as the host's compiler emits it (slot 0, flags 1,
  // thiscall): ESP is read just before and after it.
  uintptr_t before = 0;
  uintptr_t after = 0;
  __asm__ volatile("movl %%esp, %0" : "=r"(before)::"memory");
  delete script;
  __asm__ volatile("movl %%esp, %0" : "=r"(after)::"memory");
  checkPopped("delete", static_cast<intptr_t>(after - before), 0);
#else
  delete script;
#endif
  // The script's memory must be back with its heap.
  if (heap == nullptr) {
    note("the script's memory was found in no heap of the process; its release was not checked");
  } else if (HeapValidate(heap, 0, script)) {
    note("FAULT the script's memory is still allocated after delete");
    ++g_faults;
  } else {
    note("the script's memory was freed by delete");
  }
}

// ---- The host ----------------------------------------------------------------

// The installation this host knows: what "SD" names, and each device's
// current values, which the poll answers deliver.
struct Device {
  const char* command;
  const char* reply;
};
const Device kDevices[] = {
    {"SD 'RIR Tally Infodriver'", "11 0"},
    {"SD 'RIR SDI Router'", "21 0"},
    {"SD 'RIR Audio Router'", "22 0"},
    {"SD 'Studio A Blue Lights'", "31 100"},
};

struct Value {
  int32_t device;
  int32_t index;
  int32_t number;
  const char* text;
};
const Value kValues[] = {
    {21, 97, 1, "CAM 1"}, {22, 62, 5, "Desk A"}, {11, 1, 0, "0"}, {11, 2, 0, ""},
    {11, 3, 0, "0"},      {11, 4, 1, "1"},       {11, 5, 1, "1"}, {11, 6, 1, "1"},
};

// A poll the script sent ("RP d f l" or "IP d f l"), answered later.
struct Poll {
  int32_t device;
  int32_t first;
  int32_t last;
};

// A reply this host handed out, kept until the end so that a second release
// of it can be named.
struct Reply {
  char* block;
  bool held;
};

void deliverUpdate(drez_client_callback* script, int32_t device, int32_t index, int32_t number,
                   const char* text);

class TraceHost : public drez_client_host {
 public:
  intptr_t DREZ_THISCALL command(const char* text, int kind) override {
    checkArrival(static_cast<const uintptr_t*>(_AddressOfReturnAddress()), text, kind);
    if (kind == HOST_CMD_RELEASE) {
      release(text);
      return 0;
    }
    if (kind != HOST_CMD_EXECUTE || text == nullptr) {
      fault(Line() << "FAULT command of kind " << kind
                   << (text == nullptr ? " with null text" : ""));
      return 0;
    }
    if (drez_carries_reply(text)) return lookup(text);
    (Line() << text).write(g_depth);
    rememberPoll(text);
    if (nestInStatesheet && script != nullptr && startsWith(text, "TP 'statesheet=")) {
      nestInStatesheet = false;
      deliverUpdate(script, 21, 97, 3, "CAM 3");
    }
    return 1;  // "PS": the panel file was loaded; anything else: ignored
  }

  // Delivers the answers to the polls seen so far, in the order they came.
  void answerPolls() {
    for (int p = 0; p < pollCount; ++p) {
      for (const Value& value : kValues) {
        if (value.device == polls[p].device && value.index >= polls[p].first &&
            value.index <= polls[p].last) {
          deliverUpdate(script, value.device, value.index, value.number, value.text);
        }
      }
    }
    pollCount = 0;
  }

  // The last line; a reply never handed back is a fault of its own.
  void printLedger() {
    Line line;
    line << "replies handed out " << static_cast<intptr_t>(handedOut) << ", released "
         << static_cast<intptr_t>(released) << ", held "
         << static_cast<intptr_t>(handedOut - released);
    line.write(0);
    if (released != handedOut) fault(Line() << "FAULT replies were never handed back");
  }

  drez_client_callback* script = nullptr;  // once the export returned it
  bool nestInStatesheet = false;           // deliver an update inside the next "TP 'statesheet="

 private:
  // A call from the library must arrive at this host and, on 32-bit x86, as
  // thiscall: `this` in ECX, the arguments on the stack right above the
  // return address, which `frame` points to.
  void checkArrival(const uintptr_t* frame, const char* text, int kind) {
    bool onStack = true;
#if defined(_M_IX86)
    onStack =
        frame[1] == reinterpret_cast<uintptr_t>(text) && frame[2] == static_cast<uintptr_t>(kind);
#else
    (void)frame;
    (void)text;
    (void)kind;
#endif
    if (this == g_host && onStack) return;
    fault(Line() << "FAULT command arrived with " << (this == g_host ? "this right" : "this wrong")
                 << (onStack ? ", arguments right" : ", arguments not where thiscall puts them"));
  }

  intptr_t lookup(const char* text) {
    const char* answer = nullptr;
    for (const Device& device : kDevices) {
      if (sameText(text, device.command)) answer = device.reply;
    }
    Line line;
    line << text << " -> ";
    if (answer == nullptr || handedOut == kMaxReplies) {
      (line << "no reply").write(g_depth);
      return 0;
    }
    char* block = new char[strlen(answer) + 1];
    memcpy(block, answer, strlen(answer) + 1);
    replies[handedOut++] = Reply{block, true};
    line.quoted(block).write(g_depth);
    return reinterpret_cast<intptr_t>(block);
  }

  void release(const char* text) {
    int i = 0;
    while (i < handedOut && (text == nullptr || replies[i].block != text)) ++i;
    Line line;
    if (i < handedOut && replies[i].held) {
      replies[i].held = false;
      ++released;
      (line << "release ").quoted(text).write(g_depth);
      return;
    }
    if (text == nullptr) {
      line << "FAULT release of null";
    } else if (i == handedOut) {
      line << "FAULT release of a pointer this host never handed out";
    } else {
      (line << "FAULT reply ").quoted(text) << " released twice";
    }
    fault(line);
  }

  // "RP d f l" and "IP d f l": remembered, answered by answerPolls.
  void rememberPoll(const char* text) {
    if ((!startsWith(text, "RP ") && !startsWith(text, "IP ")) || pollCount == kMaxPolls) return;
    int32_t numbers[3] = {0, 0, 0};
    const char* at = text + 3;
    for (int32_t& number : numbers) {
      while (*at >= '0' && *at <= '9') number = number * 10 + (*at++ - '0');
      while (*at == ' ') ++at;
    }
    polls[pollCount++] = Poll{numbers[0], numbers[1], numbers[2]};
  }

  static const int kMaxReplies = 16;
  static const int kMaxPolls = 8;
  Reply replies[kMaxReplies];
  int handedOut = 0;
  int released = 0;
  Poll polls[kMaxPolls];
  int pollCount = 0;
};

// ---- The session -------------------------------------------------------------

// One traced call of `callback`: its line at the current depth, then what the
// script sends during it and its result one level deeper. Only a request
// may return something.
const char* traceCallback(drez_client_callback* script, void* data, int kind, Line& line) {
  static const char* const kCalls[] = {"callback kind=0", "callback kind=1", "callback kind=2",
                                       "callback kind=3", "callback kind=4", "callback kind=5",
                                       "callback kind=6", "callback kind=7", "callback kind=8"};
  line.write(g_depth);
  ++g_depth;
  const char* const result =
      callCallback(script, data, kind, kind >= 0 && kind <= 8 ? kCalls[kind] : "callback");
  if (result == nullptr) {
    (Line() << "= null").write(g_depth);
  } else if (kind == CB_HOST_REQUEST) {
    (Line() << "= ").quoted(result).write(g_depth);
  } else {
    fault(Line() << "FAULT kind " << static_cast<intptr_t>(kind) << " returned a non-null pointer");
  }
  --g_depth;
  return result;
}

void deliverUpdate(drez_client_callback* script, int32_t device, int32_t index, int32_t number,
                   const char* text) {
  // The text is stored inline, after the four integers.
  alignas(DeviceUpdate) char storage[sizeof(DeviceUpdate) + 256];
  DeviceUpdate* update = reinterpret_cast<DeviceUpdate*>(storage);
  update->device = device;
  update->reserved = 0;
  update->index = index;
  update->number = number;
  const size_t length = strlen(text) < 256 ? strlen(text) : 255;
  memcpy(update->text, text, length);
  update->text[length] = '\0';
  Line line;
  line << "callback kind=1 device=" << static_cast<intptr_t>(device)
       << " index=" << static_cast<intptr_t>(index) << " number=" << static_cast<intptr_t>(number)
       << " text=";
  line.quoted(update->text);
  traceCallback(script, update, CB_DEVICE_UPDATE, line);
}

// A control event with the command "name=value", which the host parsed
// itself: unused parts at the shared empty text, the '=' overwritten in the
// host's own copy.
void deliverControlEvent(drez_client_callback* script, const char* control, const char* command) {
  char buffer[64];
  const size_t length = strlen(command) < sizeof(buffer) ? strlen(command) : sizeof(buffer) - 1;
  memcpy(buffer, command, length);
  buffer[length] = '\0';
  ParsedCommand parsed = {};
  parsed.name = parsed.value = kEmptyText;
  for (const char*& part : parsed.parts) part = kEmptyText;
  if (length > 0) parsed.name = parsed.buffer = buffer;
  for (char* at = buffer; *at != '\0' && !parsed.hasValue; ++at) {
    if (*at == '=') {
      *at = '\0';
      parsed.value = at + 1;
      parsed.hasValue = true;
    }
  }
  ControlEvent event = {};
  event.controlId = control;
  event.parsed = &parsed;
  Line line;
  line << "callback kind=2 control=";
  line.quoted(control) << " command=";
  line.quoted(command);
  traceCallback(script, &event, CB_CONTROL_EVENT, line);
}

// A request (kind 3) or a reply handed back (kind 5): text for the script,
// printed before the call, since the script frees a reply.
const char* deliverText(drez_client_callback* script, int kind, const char* label,
                        const char* text) {
  Line line;
  line << "callback kind=" << static_cast<intptr_t>(kind) << " " << label << "=";
  line.quoted(text);
  return traceCallback(script, const_cast<char*>(text), kind, line);
}

// An event id (kind 4) or an opaque value: the pointer-sized integer itself.
void deliverValue(drez_client_callback* script, int kind, intptr_t value, const char* label) {
  Line line;
  line << "callback kind=" << static_cast<intptr_t>(kind) << " " << label << "=" << value;
  traceCallback(script, reinterpret_cast<void*>(value), kind, line);
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

void run(load_drez_client_script_fn create) {
  TraceHost host;
  g_host = &host;
  (Line() << "create path=\"panels\"").write(0);
  g_depth = 1;
  drez_client_callback* const script = callExport(create, &host, "panels");
  (Line() << (script != nullptr ? "= script" : "= null")).write(g_depth);
  g_depth = 0;
  if (script == nullptr) {
    fault(Line() << "FAULT the export created no script");
    return;
  }
  host.script = script;
  host.answerPolls();

  // The studio goes to transmission; a route change comes in the middle.
  host.nestInStatesheet = true;
  deliverUpdate(script, 11, 1, 2, "2");
  deliverControlEvent(script, "StA_Floor", "press=1");
  deliverText(script, CB_HOST_REQUEST, "text", "myParam=abc");
  const char* const reply = deliverText(script, CB_HOST_REQUEST, "text", "return=all");
  if (reply != nullptr) deliverText(script, CB_RELEASE_REPLY, "reply", reply);
  deliverValue(script, CB_EVENT_ID, 5, "id");
  deliverValue(script, CB_NOTIFY6, 66, "data");
  deliverValue(script, CB_NOTIFY7, 77, "data");
  deliverValue(script, 0, 0, "data");
  deliverValue(script, 8, 0, "data");

  (Line() << "delete").write(0);
  g_depth = 1;
  deleteScript(script);
  g_depth = 0;
  host.script = nullptr;
  host.printLedger();
}

extern "C" void __cdecl HostMain() {
  const char* const path = firstArgument(GetCommandLineA());
  if (path == nullptr) {
    note("usage: msvc_abi_host <panel library>");
    ExitProcess(2);
  }
  void* const library = LoadLibraryA(path);
  void* const entry =
      library != nullptr ? GetProcAddress(library, "load_drez_client_script") : nullptr;
  if (entry == nullptr) {
    Line line;
    line << "msvc_abi_host: cannot load load_drez_client_script from " << path << " (error "
         << static_cast<intptr_t>(GetLastError()) << ")";
    line.write(0, kStdError);
    ExitProcess(2);
  }
  SetUnhandledExceptionFilter(onCrash);
  run(reinterpret_cast<load_drez_client_script_fn>(entry));
  ExitProcess(g_faults == 0 ? 0 : 1);
}
