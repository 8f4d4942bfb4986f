#include "drez_debug_output.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <cstdio>
#endif

namespace {

drez_debug_sink current_sink = nullptr;
void* current_context = nullptr;

void write_default(const char* text) {
#if defined(_WIN32)
  OutputDebugStringA(text);
#else
  std::fputs(text, stderr);
  std::fflush(stderr);
#endif
}

}  // namespace

void drez_debug_output(const char* text) {
  if (text == nullptr) return;
  if (current_sink != nullptr) {
    current_sink(text, current_context);
  } else {
    write_default(text);
  }
}

drez_debug_sink drez_set_debug_sink(drez_debug_sink sink, void* context, void** previous_context) {
  drez_debug_sink previous = current_sink;
  if (previous_context != nullptr) *previous_context = current_context;
  current_sink = sink;
  current_context = sink != nullptr ? context : nullptr;
  return previous;
}
