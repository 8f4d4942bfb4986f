// What a compiler still expects of a C runtime, for the freestanding
// programs built with Microsoft's C++ ABI and no runtime at all (the test
// host in msvc_abi_host/ and the panel in msvc_abi_panel/): memcpy, memset
// and strlen, which it may call for copies and literals. Include it in one
// source file of the program.

#ifndef TESTS_ABI_FREESTANDING_RUNTIME_H_
#define TESTS_ABI_FREESTANDING_RUNTIME_H_

#include <stddef.h>

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

#endif  // TESTS_ABI_FREESTANDING_RUNTIME_H_
