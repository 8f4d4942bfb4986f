#include "allocation_faults.h"

#include <cstdlib>
#include <new>

namespace {

std::size_t counted = 0;
std::size_t fail_at = 0;  // 0: nothing fails
bool raised = false;
long long live = 0;
int exempt_depth = 0;

// Returns null when this allocation is the one that must fail.
void* allocate(std::size_t size) {
  if (exempt_depth == 0) {
    ++counted;
    if (counted == fail_at) {
      raised = true;
      return nullptr;
    }
    ++live;
  }
  // malloc, not a forwarding operator new: a sanitizer's allocator still
  // sees every block.
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr && exempt_depth == 0) --live;
  return block;
}

void* allocateOrThrow(std::size_t size) {
  void* block = allocate(size);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

void release(void* block) {
  if (block == nullptr) return;
  if (exempt_depth == 0) --live;
  std::free(block);
}

}  // namespace

namespace drezfault {

void failAllocation(std::size_t n) {
  counted = 0;
  fail_at = n;
  raised = false;
}

std::size_t allocationsCounted() { return counted; }

bool failureRaised() { return raised; }

long long liveBlocks() { return live; }

Exempt::Exempt() { ++exempt_depth; }

Exempt::~Exempt() { --exempt_depth; }

}  // namespace drezfault

// Over-aligned forms are left to the library: nothing here allocates
// over-aligned types.
void* operator new(std::size_t size) { return allocateOrThrow(size); }
void* operator new[](std::size_t size) { return allocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void operator delete(void* block) noexcept { release(block); }
void operator delete[](void* block) noexcept { release(block); }
void operator delete(void* block, std::size_t) noexcept { release(block); }
void operator delete[](void* block, std::size_t) noexcept { release(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { release(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { release(block); }
