// Isolation on Windows: drez-host.exe started again (CreateProcessW) with
// the hidden first argument kChildArgument and a definition naming the handles it
// inherits; its order (the task and its settings) follows the status in the
// shared memory, as a frame of isolation/codec.h. The child
// runs in a job object that ends every process the script starts, and the
// parent watches it through its process handle. The system tells the parent
// no more than an exit code, so the child's own exception filter, vectored
// handler and SIGABRT handler write what ended it into the shared status.

#include <windows.h>
// After windows.h, which it needs.
#include <signal.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "isolation/codec.h"
#include "isolation/isolation_parts.h"

namespace drezhost {

namespace {

// A child's exit code when its definition cannot be used: drez-host's own fault.
constexpr UINT kUnusableHandover = 125;
// The exit code a child ended by the watchdog is given.
constexpr UINT kEndedByWatchdog = 124;
// What a child that aborted ends with, as the C runtime's abort() does.
constexpr UINT kAborted = 3;
// The codes the C++ runtimes raise their exceptions with: GCC's ("GCC ")
// and Microsoft's ("msc" | 0xE0000000).
constexpr DWORD kGccException = 0x20474343;
constexpr DWORD kMsvcException = 0xE06D7363;
// The size each pipe is asked for; a full one makes the child wait.
constexpr DWORD kPipeBuffer = 1 << 20;

// One handle, closed with its owner.
class Handle {
 public:
  Handle() = default;
  explicit Handle(HANDLE handle) { reset(handle); }
  ~Handle() { reset(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

  HANDLE get() const { return handle_; }
  HANDLE* out() {
    reset();
    return &handle_;
  }
  explicit operator bool() const { return handle_ != nullptr; }
  // Takes `handle` (INVALID_HANDLE_VALUE, as some calls fail, is none).
  void reset(HANDLE handle = nullptr) {
    if (handle_ != nullptr) CloseHandle(handle_);
    handle_ = handle == INVALID_HANDLE_VALUE ? nullptr : handle;
  }

 private:
  HANDLE handle_ = nullptr;
};

// Appends to a fixed buffer, cut at its end. It allocates nothing, so the
// crash handlers use it.
class FixedText {
 public:
  FixedText(char* into, std::size_t size) : into_(into), size_(size) { into_[0] = '\0'; }

  FixedText& operator<<(const char* text) {
    while (*text != '\0' && length_ + 1 < size_) into_[length_++] = *text++;
    into_[length_] = '\0';
    return *this;
  }
  // "0x" and at least `digits` hexadecimal digits.
  FixedText& hex(std::uint64_t value, int digits = 8) {
    char text[19] = "0x";
    char reversed[16];
    int count = 0;
    do {
      reversed[count++] = "0123456789ABCDEF"[value & 0xF];
      value >>= 4;
    } while (value != 0 || count < digits);
    for (int i = 0; i < count; ++i) text[2 + i] = reversed[count - 1 - i];
    text[2 + count] = '\0';
    return *this << text;
  }

 private:
  char* into_;
  std::size_t size_;
  std::size_t length_ = 0;
};

struct ExceptionName {
  DWORD code;
  const char* name;
};

// The exceptions that end a process, named as "the process died of ..." reads.
constexpr ExceptionName kExceptionNames[] = {
    {EXCEPTION_ACCESS_VIOLATION, "an access violation"},
    {EXCEPTION_STACK_OVERFLOW, "a stack overflow"},
    {EXCEPTION_ILLEGAL_INSTRUCTION, "an illegal instruction"},
    {EXCEPTION_PRIV_INSTRUCTION, "a privileged instruction"},
    {EXCEPTION_INT_DIVIDE_BY_ZERO, "an integer division by zero"},
    {EXCEPTION_INT_OVERFLOW, "an integer overflow"},
    {EXCEPTION_FLT_DIVIDE_BY_ZERO, "a floating-point division by zero"},
    {EXCEPTION_FLT_INVALID_OPERATION, "an invalid floating-point operation"},
    {EXCEPTION_FLT_OVERFLOW, "a floating-point overflow"},
    {EXCEPTION_FLT_UNDERFLOW, "a floating-point underflow"},
    {EXCEPTION_FLT_INEXACT_RESULT, "an inexact floating-point result"},
    {EXCEPTION_FLT_DENORMAL_OPERAND, "a denormal floating-point operand"},
    {EXCEPTION_FLT_STACK_CHECK, "a floating-point stack fault"},
    {EXCEPTION_ARRAY_BOUNDS_EXCEEDED, "an array bounds check"},
    {EXCEPTION_DATATYPE_MISALIGNMENT, "a misaligned access"},
    {EXCEPTION_IN_PAGE_ERROR, "an in-page error"},
    {EXCEPTION_BREAKPOINT, "a breakpoint"},
    {EXCEPTION_NONCONTINUABLE_EXCEPTION, "a noncontinuable exception that was continued"},
    {EXCEPTION_INVALID_DISPOSITION, "an invalid exception disposition"},
    {EXCEPTION_INVALID_HANDLE, "an invalid handle"},
    {0xC0000374, "a corrupted heap"},
    {0xC0000409, "a fast fail (a failed security check, or abort() in a runtime that ends so)"},
    {0xC0000417, "an invalid parameter to the C runtime"},
    {0xC000013A, "Ctrl+C"},
    {kGccException, "an unhandled C++ exception (GCC's)"},
    {kMsvcException, "an unhandled C++ exception (Microsoft's)"},
};

const char* exceptionName(DWORD code) {
  for (const ExceptionName& known : kExceptionNames) {
    if (known.code == code) return known.name;
  }
  return nullptr;
}

// An exception that ends the process unless someone handles it: an error,
// or a C++ exception.
bool isFatalKind(DWORD code) {
  return (code & 0xC0000000) == 0xC0000000 || code == kGccException || code == kMsvcException;
}

// "an access violation (writing address 0x00000000)".
void describe(const EXCEPTION_RECORD& record, char* into, std::size_t size) {
  FixedText text(into, size);
  const char* name = exceptionName(record.ExceptionCode);
  if (name == nullptr) {
    text << "exception ";
    text.hex(record.ExceptionCode);
    return;
  }
  text << name;
  if ((record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION ||
       record.ExceptionCode == EXCEPTION_IN_PAGE_ERROR) &&
      record.NumberParameters >= 2) {
    const ULONG_PTR how = record.ExceptionInformation[0];
    text << (how == 0 ? " (reading" : how == 8 ? " (executing" : " (writing") << " address ";
    text.hex(record.ExceptionInformation[1]);
    if (record.ExceptionCode == EXCEPTION_IN_PAGE_ERROR && record.NumberParameters >= 3) {
      text << ", status ";
      text.hex(record.ExceptionInformation[2]);
    }
    text << ")";
  }
}

// The child's side.

// The shared status, once the child has mapped it; the handlers write there.
SharedStatus* childStatus = nullptr;
// Set by the first handler that ends the process: another thread's crash
// does not overwrite what it wrote.
volatile LONG ending = 0;

[[noreturn]] void endNow(UINT code) {
  TerminateProcess(GetCurrentProcess(), code);
  ExitProcess(code);  // not reached: TerminateProcess of this process does not return
}

// Writes what ended the process and ends it, with the exception's code.
[[noreturn]] void diedOf(const EXCEPTION_RECORD& record) {
  if (InterlockedExchange(&ending, 1) == 0 && childStatus != nullptr) {
    describe(record, childStatus->crash, sizeof childStatus->crash);
    childStatus->crashCode.store(record.ExceptionCode);
    childStatus->crashed.store(1);
  }
  endNow(record.ExceptionCode);
}

// First in line for every exception. A stack overflow ends the process
// here, while the stack still has room (the filter would be reached only
// after every frame's handler). Any other exception that would end the
// process is written down, without `crashed`: if it does end the process,
// whatever took the place of the filter below, the exit code says so.
LONG CALLBACK firstChance(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD& record = *info->ExceptionRecord;
  if (record.ExceptionCode == EXCEPTION_STACK_OVERFLOW) diedOf(record);
  if (isFatalKind(record.ExceptionCode) && ending == 0 && childStatus != nullptr &&
      childStatus->crashed.load() == 0) {
    describe(record, childStatus->crash, sizeof childStatus->crash);
    childStatus->crashCode.store(record.ExceptionCode);
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

// Last in line: an exception nobody handled.
LONG WINAPI lastChance(EXCEPTION_POINTERS* info) { diedOf(*info->ExceptionRecord); }

// abort(), of the script or of std::terminate: the C runtime raises SIGABRT.
void aborted(int) {
  if (InterlockedExchange(&ending, 1) == 0 && childStatus != nullptr) {
    FixedText(childStatus->crash, sizeof childStatus->crash) << "SIGABRT (abort() was called)";
    childStatus->crashCode.store(kAborted);
    childStatus->crashed.store(1);
  }
  endNow(kAborted);
}

// No dialog box, no debugger started, no "abnormal termination" message:
// every way the script can end the process is caught and ends it at once.
void prepareForCrashes() {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  // _set_abort_behavior is in the C runtimes since Visual C++ 2005's, not in
  // msvcrt.dll: it is looked up where this program's runtime may have it.
  using AbortBehavior = unsigned int(__cdecl*)(unsigned int, unsigned int);
  for (const char* runtime : {"ucrtbase.dll", "msvcrt.dll"}) {
    if (HMODULE module = GetModuleHandleA(runtime)) {
      if (auto set = reinterpret_cast<AbortBehavior>(
              reinterpret_cast<void*>(GetProcAddress(module, "_set_abort_behavior")))) {
        set(0, 0x1 | 0x2);  // _WRITE_ABORT_MSG | _CALL_REPORTFAULT
      }
    }
  }
  signal(SIGABRT, aborted);
  SetUnhandledExceptionFilter(lastChance);
  AddVectoredExceptionHandler(1, firstChance);
  // Room for the handlers on a stack that has overflowed.
  ULONG reserve = 64 * 1024;
  SetThreadStackGuarantee(&reserve);
}

bool writeAll(void* to, const char* data, std::size_t size) {
  const HANDLE pipe = *static_cast<HANDLE*>(to);
  while (size > 0) {
    const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(pipe, data, chunk, &written, nullptr) || written == 0) return false;
    data += written;
    size -= written;
  }
  return true;
}

long readSome(void* from, char* data, std::size_t size) {
  const HANDLE pipe = *static_cast<HANDLE*>(from);
  DWORD got = 0;
  const DWORD wanted = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
  if (ReadFile(pipe, data, wanted, &got, nullptr)) return static_cast<long>(got);
  return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
}

// What the child is told on its command line: the handles it inherits (as
// numbers, which inheritance keeps) and the size of its order's frame (it
// follows the status in the shared memory), as
// "<memory>:<up>:<down>:<output>:<order bytes>"; <output> is 0 when the
// child has no output file of the parent's.
struct ChildHandover {
  std::uint64_t memory = 0;
  std::uint64_t up = 0;    // child -> parent, the write end
  std::uint64_t down = 0;  // parent -> child, the read end
  std::uint64_t output = 0;
  std::uint64_t orderSize = 0;

  std::string encode() const {
    return std::to_string(memory) + ":" + std::to_string(up) + ":" + std::to_string(down) + ":" +
           std::to_string(output) + ":" + std::to_string(orderSize);
  }

  bool decode(const char* text) {
    std::uint64_t* numbers[] = {&memory, &up, &down, &output, &orderSize};
    const char* at = text;
    for (std::size_t i = 0; i < 5; ++i) {
      char* end = nullptr;
      *numbers[i] = std::strtoull(at, &end, 10);
      if (end == at || *end != (i < 4 ? ':' : '\0')) return false;
      at = end + 1;
    }
    return true;
  }
};

HANDLE handleOf(std::uint64_t number) {
  return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(number));
}

// The child's own handles are not for the processes the script starts.
void keepToMyself(HANDLE handle) { SetHandleInformation(handle, HANDLE_FLAG_INHERIT, 0); }

// The parent's side.

std::string systemError(DWORD error) {
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = length > 0 && text != nullptr ? std::string(text, length) : std::string();
  if (text != nullptr) LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.')) {
    message.pop_back();
  }
  char code[16];
  FixedText(code, sizeof code).hex(error);
  return message.empty() ? std::string("error ") + code : message + " (error " + code + ")";
}

std::wstring thisProgram() {
  std::wstring path(MAX_PATH, L'\0');
  while (true) {
    const DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (length == 0) return std::wstring();
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

std::wstring widened(const std::string& text) {
  std::wstring wide;
  for (const char c : text) wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
  return wide;
}

// Every process in it ends when the last handle to it closes.
HANDLE makeJob() {
  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  if (job == nullptr) return nullptr;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags =
      JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
  if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
      CloseHandle(job);
      return nullptr;
    }
  }
  return job;
}

// Starts `command` suspended, inheriting only `inherited` (the first three
// are its standard input, output and error), with no console. False with
// GetLastError() set.
bool startSuspended(const std::wstring& program, std::wstring command, HANDLE* inherited,
                    std::size_t count, PROCESS_INFORMATION& started) {
  STARTUPINFOEXW startup = {};
  startup.StartupInfo.cb = sizeof startup.StartupInfo;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = inherited[0];
  startup.StartupInfo.hStdOutput = inherited[1];
  startup.StartupInfo.hStdError = inherited[2];
  DWORD flags = CREATE_SUSPENDED | DETACHED_PROCESS;
  // The list keeps any other inheritable handle away from the child; where
  // the system has none, the handles made inheritable are still the only ones.
  SIZE_T size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  std::string room(size, '\0');
  auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(&room[0]);
  const bool listed = size > 0 && InitializeProcThreadAttributeList(list, 1, 0, &size);
  if (listed && UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                          count * sizeof(HANDLE), nullptr, nullptr)) {
    startup.StartupInfo.cb = sizeof startup;
    startup.lpAttributeList = list;
    flags |= EXTENDED_STARTUPINFO_PRESENT;
  }
  const BOOL ok = CreateProcessW(program.c_str(), &command[0], nullptr, nullptr, TRUE, flags,
                                 nullptr, nullptr, &startup.StartupInfo, &started);
  const DWORD error = GetLastError();
  if (listed) DeleteProcThreadAttributeList(list);
  SetLastError(error);
  return ok != 0;
}

// Reads what the child's pipe holds now, without waiting. False when it
// held nothing; `open` turns false once no writer is left, or once it
// carried what the child did not write (`garbled` is then set).
bool readWaiting(HANDLE pipe, ParentSide& side, bool& open, bool& garbled) {
  DWORD available = 0;
  if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) {
    open = false;
    return false;
  }
  if (available == 0) return false;
  char bytes[65536];
  DWORD got = 0;
  const DWORD wanted = available < sizeof bytes ? available : static_cast<DWORD>(sizeof bytes);
  if (!ReadFile(pipe, bytes, wanted, &got, nullptr) || got == 0) {
    open = false;
    return false;
  }
  if (!side.received(bytes, got)) {
    open = false;
    garbled = true;
    return false;
  }
  return true;
}

bool isExceptionStatus(DWORD code) {
  return isFatalKind(code) && (exceptionName(code) != nullptr || (code & 0xF0000000) == 0xC0000000);
}

// Why a child that did not finish its work ended, from what its handlers
// wrote and its exit code.
std::string whyItEnded(const SharedStatus& status, DWORD code) {
  if (status.crashed.load() != 0 || (status.crashCode.load() == code && status.crash[0] != '\0')) {
    return std::string("the process died of ") + status.crash;
  }
  if (code == kUnusableHandover && status.callSequence.load() == 0 && status.step[0] == '\0') {
    return "drez-host's child process could not take up its task (exit status " +
           std::to_string(code) + "): it was started with a definition it cannot use";
  }
  char number[16];
  FixedText(number, sizeof number).hex(code);
  if (isExceptionStatus(code)) {
    const char* name = exceptionName(code);
    return std::string("the process died of ") + (name != nullptr ? name : "exception") +
           " (status " + number + ")";
  }
  return "the process ended with exit status " + std::to_string(code) + " in the middle of the run";
}

}  // namespace

const char kChildArgument[] = "--drez-child";

bool isChildProcess(int argc, char** argv) {
  return argc >= 3 && std::strcmp(argv[1], kChildArgument) == 0;
}

void runChildProcess(int argc, char** argv) {
  prepareForCrashes();
  ChildHandover definition;
  if (argc < 3 || !definition.decode(argv[2])) throw ChildExit{static_cast<int>(kUnusableHandover)};
  const HANDLE memory = handleOf(definition.memory);
  HANDLE out = handleOf(definition.up);
  HANDLE in = handleOf(definition.down);
  void* view =
      MapViewOfFile(memory, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(SharedStatus) + definition.orderSize);
  if (view == nullptr) throw ChildExit{static_cast<int>(kUnusableHandover)};
  CloseHandle(memory);
  keepToMyself(out);
  keepToMyself(in);
  // The parent made the status there; the order follows it.
  childStatus = static_cast<SharedStatus*>(view);
  SharedStatus& status = *childStatus;
  const std::string frame(static_cast<const char*>(view) + sizeof(SharedStatus),
                          static_cast<std::size_t>(definition.orderSize));
  std::optional<TaskOrder> order;
  try {
    std::size_t at = 0;
    order = takeFrame<TaskOrder>(frame, at);
  } catch (const CodecError&) {
  }
  if (!order) throw ChildExit{static_cast<int>(kUnusableHandover)};
  std::optional<std::uint64_t> output;
  if (definition.output != 0) {
    output = definition.output;
    keepToMyself(handleOf(definition.output));
  }
  Verdict verdict = Verdict::Crashed;
  {
    std::unique_ptr<DebugCapture> capture = DebugCapture::into(output);
    PipeTransport transport(status, &out, writeAll, &in, readSome);
    ChildLink link(status, transport, capture.get());
    verdict = performTask(*order, link);
    status.verdict = static_cast<std::int32_t>(verdict);
    status.finished.store(1);
  }
  CloseHandle(out);
  CloseHandle(in);
  // The view stays: a crash in the library's code that runs at exit is
  // still written down.
  throw ChildExit{exitCode(exitStatusOf(verdict))};
}

Outcome runIsolated(const TaskOrder& order, const Isolation& isolation, const std::string& where,
                    const ParentHooks& hooks) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  if (!isolation.isolate) {
    std::unique_ptr<DebugCapture> capture = DebugCapture::start(false);
    return runHere(order, where, hooks, capture.get());
  }
  const std::string frame = encodeFrame(order);
  // Only the child's ends, the memory, its output file and NUL are made
  // inheritable.
  SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
  const std::uint64_t memorySize = sizeof(SharedStatus) + frame.size();
  Handle memory(CreateFileMappingW(INVALID_HANDLE_VALUE, &inheritable, PAGE_READWRITE,
                                   static_cast<DWORD>(memorySize >> 32),
                                   static_cast<DWORD>(memorySize & 0xFFFFFFFFu), nullptr));
  void* view = memory ? MapViewOfFile(memory.get(), FILE_MAP_ALL_ACCESS, 0, 0, 0) : nullptr;
  Handle upRead, upWrite, downRead, downWrite;
  // The child's standard input, output and error: one handle each, as the
  // child closes them one by one.
  Handle nothing[3];
  for (Handle& each : nothing) {
    each.reset(CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           &inheritable, OPEN_EXISTING, 0, nullptr));
  }
  const std::wstring program = thisProgram();
  if (view == nullptr || !nothing[0] || !nothing[1] || !nothing[2] || program.empty() ||
      !CreatePipe(upRead.out(), upWrite.out(), nullptr, kPipeBuffer) ||
      !CreatePipe(downRead.out(), downWrite.out(), nullptr, kPipeBuffer) ||
      !SetHandleInformation(upWrite.get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT) ||
      !SetHandleInformation(downRead.get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT)) {
    std::cerr << "drez-host: cannot isolate the script (" << systemError(GetLastError())
              << "): running it in this process\n";
    if (view != nullptr) UnmapViewOfFile(view);
    std::unique_ptr<DebugCapture> capture = DebugCapture::start(false);
    return runHere(order, where, hooks, capture.get());
  }
  auto* status = new (view) SharedStatus();
  std::memcpy(static_cast<char*>(view) + sizeof(SharedStatus), frame.data(), frame.size());
  // What the child writes on its standard error, read after it has died.
  std::unique_ptr<OutputFile> output = OutputFile::create();
  HANDLE outputHandle =
      output ? reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(output->handle())) : nullptr;
  if (outputHandle != nullptr &&
      !SetHandleInformation(outputHandle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT)) {
    output.reset();
    outputHandle = nullptr;
  }

  ChildHandover definition;
  definition.memory = reinterpret_cast<std::uintptr_t>(memory.get());
  definition.up = reinterpret_cast<std::uintptr_t>(upWrite.get());
  definition.down = reinterpret_cast<std::uintptr_t>(downRead.get());
  definition.output = reinterpret_cast<std::uintptr_t>(outputHandle);
  definition.orderSize = frame.size();
  std::wstring command =
      L"\"" + program + L"\" " + widened(kChildArgument) + L" " + widened(definition.encode());

  Handle job(makeJob());
  HANDLE inherited[] = {nothing[0].get(), nothing[1].get(), nothing[2].get(), memory.get(),
                        upWrite.get(),    downRead.get(),   outputHandle};
  PROCESS_INFORMATION started = {};
  const bool ok =
      startSuspended(program, command, inherited, outputHandle != nullptr ? 7 : 6, started);
  const DWORD startError = GetLastError();
  upWrite.reset();
  downRead.reset();
  for (Handle& each : nothing) each.reset();
  Handle process(ok ? started.hProcess : nullptr);
  Handle thread(ok ? started.hThread : nullptr);
  // Every process the script starts joins the job, which ends with the run.
  if (ok && job && !AssignProcessToJobObject(job.get(), process.get())) job.reset();
  if (ok) ResumeThread(thread.get());
  thread.reset();

  ParentSide side(hooks, *status, isolation.timeout, [&downWrite](const std::string& reply) {
    HANDLE pipe = downWrite.get();
    writeAll(&pipe, reply.data(), reply.size());
  });
  bool timedOut = false;
  bool stopped = false;
  bool pipeOpen = true;
  // The pipe carried what the child did not write: the script wrote into
  // drez-host's handles.
  bool channelLost = false;
  while (ok) {
    const bool got = pipeOpen && readWaiting(upRead.get(), side, pipeOpen, channelLost);
    // The child is watched through its process, which it cannot close.
    if (WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) break;
    if (side.overdue()) {
      if (job) TerminateJobObject(job.get(), kEndedByWatchdog);
      TerminateProcess(process.get(), kEndedByWatchdog);
      WaitForSingleObject(process.get(), 5000);
      timedOut = true;
      break;
    }
    if (hooks.stopRequested && hooks.stopRequested()) {
      if (job) TerminateJobObject(job.get(), kEndedByWatchdog);
      TerminateProcess(process.get(), kEndedByWatchdog);
      WaitForSingleObject(process.get(), 5000);
      stopped = true;
      break;
    }
    if (!got) WaitForSingleObject(process.get(), pipeOpen ? 10 : 100);
  }
  // What the child wrote before it ended.
  while (pipeOpen && readWaiting(upRead.get(), side, pipeOpen, channelLost)) {
  }
  // Every process the script started ends with the run.
  job.reset();
  DWORD code = 0;
  if (ok) GetExitCodeProcess(process.get(), &code);
  upRead.reset();
  downWrite.reset();
  // A write to the pipe failed in the child: the script closed it.
  channelLost = channelLost || status->channelLost.load() != 0;
  const bool finished =
      status->finished.load() != 0 && status->crashed.load() == 0 && !isExceptionStatus(code);
  std::optional<Ending> ending;
  if (!ok) {
    ending = endings::Crashed{
        "drez-host could not start a child process: " + systemError(startError), {}};
  } else if (stopped) {
    ending = endings::Hung{stoppedReason(), true, {}};
  } else if (timedOut) {
    ending = endings::Hung{overdueReason(isolation.timeout), false, {}};
  } else if (!finished || channelLost) {
    std::string why = finished ? std::string() : whyItEnded(*status, code);
    if (!finished && status->finished.load() != 0) {
      why += " as it ended, its work done (the panel library's code that runs at exit)";
    }
    ending = endings::Crashed{channelLost ? channelLostReason(why) : why, {}};
  }
  std::vector<std::string> tail;
  if (ending && output) tail = tailLines(output->tail(kTailBytes));
  Outcome outcome = outcomeOf(*status, std::move(ending), std::move(tail), where);
  outcome.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  status->~SharedStatus();
  UnmapViewOfFile(view);
  return outcome;
}

}  // namespace drezhost
