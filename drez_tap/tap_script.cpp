#include "tap_script.h"

#include <new>

namespace dreztap {

void DREZ_THISCALL TapHost::reserved() {
  if (real_ != nullptr) real_->reserved();
}

intptr_t DREZ_THISCALL TapHost::command(const char* text, int kind) {
  try {
    if (recorder_ != nullptr) recorder_->commandCalled(script_, text, kind);
    const intptr_t result = real_ != nullptr ? real_->command(text, kind) : 0;
    if (recorder_ != nullptr) recorder_->commandReturned(result);
    return result;
  } catch (...) {
    return 0;
  }
}

const char* DREZ_THISCALL TapScript::callback(void* data, int kind) {
  try {
    if (recorder_ != nullptr) recorder_->callbackCalled(script_, data, kind);
    const char* const result = real_ != nullptr ? real_->callback(data, kind) : nullptr;
    if (recorder_ != nullptr) recorder_->callbackReturned(result);
    return result;
  } catch (...) {
    return nullptr;
  }
}

void TapScript::destroyReal(unsigned int flags) {
  // No real script: the export gave none, and there is nothing to record.
  if (real_ == nullptr) return;
  try {
    if (recorder_ != nullptr) recorder_->deleteCalled(script_, flags);
#if DREZ_MSVC_ABI
    if ((flags & 1u) != 0) {
      delete real_;
    } else {
      real_->~drez_client_callback();
    }
#else
    real_->scalarDeletingDestructor(flags);
#endif
    real_ = nullptr;
    if (recorder_ != nullptr) recorder_->deleteReturned();
  } catch (...) {
  }
}

#if !DREZ_MSVC_ABI
void* DREZ_THISCALL TapScript::scalarDeletingDestructor(unsigned int flags) {
  destroyReal(flags);
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
  if (recorder_ != nullptr) recorder_->exportCalled(script, path);
  // A host may give no host object; then the real script gets none either.
  drez_client_callback* const real = real_export_(host != nullptr ? tap->host() : nullptr, path);
  if (recorder_ != nullptr) recorder_->exportReturned(real != nullptr);
  if (real == nullptr) {
    drez_delete_script(tap);
    return nullptr;
  }
  tap->adopt(real);
  return tap;
}

}  // namespace dreztap
