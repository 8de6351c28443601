// Interposes glibc's allocator entry points in this program only. The counter is a
// process-wide object by nature: the allocator has no context to carry one.
#include "base/testing/alloc_counter.h"

#include <atomic>
#include <cerrno>
#include <cstddef>

// GCC names the sanitizers it builds with; clang answers __has_feature.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KESTRELIO_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define KESTRELIO_SANITIZED 1
#endif
#endif

namespace {
std::atomic<bool> counting{false};
std::atomic<uint64_t> allocations{0};
std::atomic<uint64_t> largest{0};
}  // namespace

#ifndef KESTRELIO_SANITIZED
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
}

namespace {
inline void Count(size_t size) {
  if (!counting.load(std::memory_order_relaxed)) return;
  allocations.fetch_add(1, std::memory_order_relaxed);
  uint64_t seen = largest.load(std::memory_order_relaxed);
  while (size > seen && !largest.compare_exchange_weak(seen, size, std::memory_order_relaxed)) {
  }
}
}  // namespace

extern "C" {
void* malloc(size_t size) {
  Count(size);
  return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
  Count(count * size);
  return __libc_calloc(count, size);
}
void* realloc(void* pointer, size_t size) {
  Count(size);
  return __libc_realloc(pointer, size);
}
void* memalign(size_t alignment, size_t size) {
  Count(size);
  return __libc_memalign(alignment, size);
}
void* aligned_alloc(size_t alignment, size_t size) {
  Count(size);
  return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size) {
  Count(size);
  void* p = __libc_memalign(alignment, size);
  if (p == nullptr) return ENOMEM;
  *out = p;
  return 0;
}
}
#endif  // KESTRELIO_SANITIZED

namespace kestrelio::bench {

bool AllocationCountingAvailable() {
#ifdef KESTRELIO_SANITIZED
  return false;
#else
  return true;
#endif
}

void StartCountingAllocations() {
  allocations.store(0);
  largest.store(0);
  counting.store(true);
}

void ContinueCountingAllocations() { counting.store(true); }

uint64_t StopCountingAllocations() {
  counting.store(false);
  return allocations.load();
}

uint64_t LargestCountedAllocation() { return largest.load(); }

}  // namespace kestrelio::bench
