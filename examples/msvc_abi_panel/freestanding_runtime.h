// What a compiler still expects of a C runtime, for programs built with
// Microsoft's C++ ABI and no runtime at all (this panel, and the test host
// of the project's tests/abi/msvc_abi_host/): memcpy, memset and strlen,
// which it may call for copies and literals. Include it in one source file
// of the program.

#ifndef EXAMPLES_MSVC_ABI_PANEL_FREESTANDING_RUNTIME_H_
#define EXAMPLES_MSVC_ABI_PANEL_FREESTANDING_RUNTIME_H_

#include <stddef.h>

// Microsoft's cl knows these three as intrinsics and refuses a definition
// of them unless told they are functions here.
#if defined(_MSC_VER) && !defined(__clang__)
#pragma function(memcpy, memset, strlen)
#endif

extern "C" {
void* memcpy(void* to, const void* from, size_t size) {
  unsigned char* out = static_cast<unsigned char*>(to);
  const unsigned char* in = static_cast<const unsigned char*>(from);
  while (size-- > 0) *out++ = *in++;
  return to;
}
void* memset(void* to, int value, size_t size) {
  unsigned char* out = static_cast<unsigned char*>(to);
  while (size-- > 0) *out++ = static_cast<unsigned char>(value);
  return to;
}
size_t strlen(const char* text) {
  size_t length = 0;
  while (text[length] != '\0') ++length;
  return length;
}
}

#endif  // EXAMPLES_MSVC_ABI_PANEL_FREESTANDING_RUNTIME_H_
