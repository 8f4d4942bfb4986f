// Fault injection for the global heap: the program this is linked into gets
// a replacement of every form of operator new and delete that counts the
// allocations and can make a chosen one fail, so that a test can raise an
// allocation failure at each allocation point of an operation in turn.
//
// A program can replace operator new only once: only a program of its own
// links this (the fault-injection tests, the allocation tests and the
// benchmarks, which only count). Not synchronised: those run on one thread.

#ifndef HEAP_FAULTS_ALLOCATION_FAULTS_H_
#define HEAP_FAULTS_ALLOCATION_FAULTS_H_

#include <cstddef>

namespace drezfault {

// Starts counting allocations from 0 and makes allocation number `n`
// (counting from 1) fail: the throwing forms of operator new throw
// std::bad_alloc, the nothrow forms return null. Only that one fails; the
// ones after it succeed again. With `n` 0 nothing fails and only the
// counting restarts.
void failAllocation(std::size_t n);

// Allocations counted since the last failAllocation.
std::size_t allocationsCounted();

// Whether the failure asked for by the last failAllocation was raised.
bool failureRaised();

// Counted allocations minus the frees of non-null blocks outside an Exempt
// scope. Unchanged across an operation that freed all it allocated.
long long liveBlocks();

// While one is alive, allocations and frees are neither counted nor failed.
// A test wraps its fake host's bookkeeping in one: the code under test must
// survive its own allocations failing, not the host's. Nests.
class Exempt {
 public:
  Exempt();
  ~Exempt();
  Exempt(const Exempt&) = delete;
  Exempt& operator=(const Exempt&) = delete;
};

}  // namespace drezfault

#endif  // HEAP_FAULTS_ALLOCATION_FAULTS_H_
