// A test panel library whose script object has the layout of the past: an
// ordinary virtual destructor first, `callback` after it. Built by g++, that
// destructor takes two slots (the Itanium C++ ABI: complete, then deleting),
// so a host built with Microsoft's C++ ABI that calls `callback` through
// slot 1 runs the deleting destructor instead. The test
// msvc_abi_host.old_layout_fails passes only when msvc_abi_host's run breaks
// on it after a correct start-up: the host does notice a wrong layout.
//
// Inside is the real Vantrel, so start-up and teardown send what Vantrel
// sends.

#include "Vantrel.h"

namespace {

class OldLayout {
 public:
  OldLayout(drez_client_host* host, const char* path) : script_(new Vantrel(host, path)) {}
  virtual ~OldLayout() { drez_delete_script(script_); }
  virtual const char* DREZ_THISCALL callback(void* data, int kind) {
    return script_->callback(data, kind);
  }
  OldLayout(const OldLayout&) = delete;
  OldLayout& operator=(const OldLayout&) = delete;

 private:
  drez_client_callback* script_;
};

}  // namespace

extern "C" DREZ_PANEL_EXPORT drez_client_callback* DREZ_CDECL
load_drez_client_script(drez_client_host* host, const char* path) {
  try {
    // Not a drez_client_callback at all, handed over as one: the point of
    // this library.
    return reinterpret_cast<drez_client_callback*>(new OldLayout(host, path));
  } catch (...) {
    return nullptr;
  }
}
