// Counts the heap allocations of the program it is linked into, by replacing
// the global operator new (every form; operator delete frees to match). Only
// programs that want counting link it, since a program can replace operator
// new once.
//
// Threading: counts are exact for a single-threaded program, which is what
// the benchmarks and the allocation tests are.

#ifndef BENCH_ALLOCATION_COUNTER_H_
#define BENCH_ALLOCATION_COUNTER_H_

#include <cstddef>

namespace drezbench {

// Allocations through operator new since the program started.
std::size_t allocationCount();

}  // namespace drezbench

#endif  // BENCH_ALLOCATION_COUNTER_H_
