#include "tap_script.h"

#include <new>

// Natively an exception passes the tap's frames as C++ unwinding, which a
// catch-all sees and throws on unchanged. On Windows the tap's frames hold
// no handler: a catch-all of MinGW's compiler would catch (and could not
// throw on unchanged) a structured exception on its way to the host.
#if defined(_WIN32)
#define DREZ_TAP_SEES_EXCEPTIONS 0
#else
#define DREZ_TAP_SEES_EXCEPTIONS 1
#endif

namespace dreztap {

void DREZ_THISCALL TapHost::reserved() {
  if (real_ != nullptr) real_->reserved();
}

intptr_t DREZ_THISCALL TapHost::command(const char* text, int kind) {
  if (real_ == nullptr) return 0;
  if (recorder_ == nullptr) return real_->command(text, kind);
  const CallRecorder::StackMark mark = DREZ_TAP_STACK_MARK();
  recorder_->commandCalled(script_, text, kind, mark);
#if DREZ_TAP_SEES_EXCEPTIONS
  intptr_t result = 0;
  try {
    result = real_->command(text, kind);
  } catch (...) {
    recorder_->exceptionPassed(mark);
    throw;
  }
#else
  const intptr_t result = real_->command(text, kind);
#endif
  recorder_->commandReturned(result, mark);
  return result;
}

const char* DREZ_THISCALL TapScript::callback(void* data, int kind) {
  if (real_ == nullptr) return nullptr;
  if (recorder_ == nullptr) return real_->callback(data, kind);
  const CallRecorder::StackMark mark = DREZ_TAP_STACK_MARK();
  recorder_->callbackCalled(script_, data, kind, mark);
#if DREZ_TAP_SEES_EXCEPTIONS
  const char* result = nullptr;
  try {
    result = real_->callback(data, kind);
  } catch (...) {
    recorder_->exceptionPassed(mark);
    throw;
  }
#else
  const char* const result = real_->callback(data, kind);
#endif
  recorder_->callbackReturned(result, mark);
  return result;
}

namespace {

// Slot 0 of `script` with the host's `flags`.
void destroyThroughSlot0(drez_client_callback* script, unsigned int flags) {
#if DREZ_MSVC_ABI
  if ((flags & 1u) != 0) {
    delete script;
  } else {
    script->~drez_client_callback();
  }
#else
  script->scalarDeletingDestructor(flags);
#endif
}

}  // namespace

void TapScript::destroyReal(unsigned int flags) {
  // No real script: the export gave none, and there is nothing to record.
  if (real_ == nullptr) return;
  drez_client_callback* const real = real_;
  real_ = nullptr;  // gone, however its destruction ends
  if (recorder_ == nullptr) {
    destroyThroughSlot0(real, flags);
    return;
  }
  const CallRecorder::StackMark mark = DREZ_TAP_STACK_MARK();
  recorder_->deleteCalled(script_, flags, mark);
#if DREZ_TAP_SEES_EXCEPTIONS
  try {
    destroyThroughSlot0(real, flags);
  } catch (...) {
    recorder_->exceptionPassed(mark);
    throw;
  }
#else
  destroyThroughSlot0(real, flags);
#endif
  recorder_->deleteReturned(mark);
}

#if !DREZ_MSVC_ABI
void* DREZ_THISCALL TapScript::scalarDeletingDestructor(unsigned int flags) {
#if DREZ_TAP_SEES_EXCEPTIONS
  try {
    destroyReal(flags);
  } catch (...) {
    // The real script's destruction threw: this object goes all the same.
    drez_client_callback::scalarDeletingDestructor(flags);
    throw;
  }
#else
  destroyReal(flags);
#endif
  return drez_client_callback::scalarDeletingDestructor(flags);
}
#endif

TapScript::~TapScript() {
#if DREZ_MSVC_ABI
  // Microsoft's deleting destructor does not show its flags: the real
  // script goes as a host's `delete` destroys it.
  destroyReal(1u);
#endif
}

drez_client_callback* TapCore::create(drez_client_host* host, const char* path) {
  const int64_t script = ++last_script_;
  TapScript* const tap = new (std::nothrow) TapScript(host, recorder_, script);
  if (tap == nullptr) return real_export_(host, path);
  const CallRecorder::StackMark mark = DREZ_TAP_STACK_MARK();
  if (recorder_ != nullptr) recorder_->exportCalled(script, path, host != nullptr, mark);
  // A host may give no host object; then the real script gets none either.
  drez_client_host* const given = host != nullptr ? tap->host() : nullptr;
#if DREZ_TAP_SEES_EXCEPTIONS
  drez_client_callback* real = nullptr;
  try {
    real = real_export_(given, path);
  } catch (...) {
    if (recorder_ != nullptr) recorder_->exceptionPassed(mark);
    drez_delete_script(tap);
    throw;
  }
#else
  drez_client_callback* const real = real_export_(given, path);
#endif
  if (recorder_ != nullptr) recorder_->exportReturned(real != nullptr, mark);
  if (real == nullptr) {
    drez_delete_script(tap);
    return nullptr;
  }
  tap->adopt(real);
  return tap;
}

}  // namespace dreztap
