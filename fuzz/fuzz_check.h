// The properties a fuzz target asserts. A property that does not hold stops
// the run with a message and abort(), which libFuzzer reports as a crash and
// keeps the input for, like any other crash.

#ifndef FUZZ_FUZZ_CHECK_H_
#define FUZZ_FUZZ_CHECK_H_

#include <cstdio>
#include <cstdlib>
#include <string>

[[noreturn]] inline void fuzzCheckFailed(const char* file, int line, const char* condition,
                                         const std::string& detail) {
  std::fprintf(stderr, "%s:%d: property does not hold: %s\n", file, line, condition);
  if (!detail.empty()) std::fprintf(stderr, "  %s\n", detail.c_str());
  std::abort();
}

// Checks `condition`; `detail` (a std::string expression, evaluated only on
// failure) says what was seen.
#define FUZZ_CHECK_DETAIL(condition, detail)                                     \
  do {                                                                           \
    if (!(condition)) fuzzCheckFailed(__FILE__, __LINE__, #condition, (detail)); \
  } while (0)

#define FUZZ_CHECK(condition) FUZZ_CHECK_DETAIL(condition, std::string())

#endif  // FUZZ_FUZZ_CHECK_H_
