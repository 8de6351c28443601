// A counting allocator for measurements: preloaded into a program with LD_PRELOAD, it
// counts malloc, calloc, realloc, the aligned allocations and operator new per thread,
// and appends the counts to the file ALLOC_COUNT_FILE.<pid> at exit and whenever the
// process receives SIGUSR1 (the pid keeps the processes of one run apart). Each dump is
// a block:
//
//   dump <monotonic ms>
//   <tid> <thread name> <malloc> <calloc> <realloc> <aligned> <new>
//   ...
//   end
//
// Counting is per thread in a fixed table (no allocation of its own); a thread's name is
// the last one it had when it allocated (names are set after a thread starts, so the
// name is looked at again every 64 allocations). The dump itself uses only
// async-signal-safe calls.
#include <fcntl.h>
#include <malloc.h>
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* pointer);
}

namespace {

enum Kind { kMalloc, kCalloc, kRealloc, kAligned, kNew, kKinds };

struct Slot {
  std::atomic<int> tid{0};
  std::atomic<uint64_t> counts[kKinds];
  char name[16];
};

constexpr int kSlots = 512;
Slot g_slots[kSlots];
std::atomic<int> g_used{0};
thread_local Slot* t_slot = nullptr;
thread_local uint32_t t_calls = 0;
thread_local bool t_inside = false;

void RefreshName(Slot& slot) {
  char name[16] = {};
  prctl(PR_GET_NAME, name, 0, 0, 0);
  std::memcpy(slot.name, name, sizeof name);
}

void Count(Kind kind) {
  if (t_inside) return;
  t_inside = true;
  if (t_slot == nullptr) {
    const int index = g_used.fetch_add(1, std::memory_order_relaxed);
    t_slot = &g_slots[index < kSlots ? index : kSlots - 1];
    t_slot->tid.store(static_cast<int>(syscall(SYS_gettid)), std::memory_order_relaxed);
  }
  if ((t_calls++ & 63) == 0) RefreshName(*t_slot);
  t_slot->counts[kind].fetch_add(1, std::memory_order_relaxed);
  t_inside = false;
}

// Small async-signal-safe text output.
struct Out {
  char buffer[512];
  size_t used = 0;
  void Text(const char* text) {
    while (*text != '\0' && used < sizeof buffer) buffer[used++] = *text++;
  }
  void Number(uint64_t value) {
    char digits[24];
    int n = 0;
    do {
      digits[n++] = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value != 0);
    while (n > 0 && used < sizeof buffer) buffer[used++] = digits[--n];
  }
  void Flush(int fd) {
    size_t done = 0;
    while (done < used) {
      const ssize_t wrote = write(fd, buffer + done, used - done);
      if (wrote <= 0) break;
      done += static_cast<size_t>(wrote);
    }
    used = 0;
  }
};

void Dump() {
  const char* path = getenv("ALLOC_COUNT_FILE");
  if (path == nullptr || *path == '\0') return;
  const int saved_errno = errno;
  Out file;
  file.Text(path);
  file.Text(".");
  file.Number(static_cast<uint64_t>(getpid()));
  if (file.used >= sizeof file.buffer) return;
  file.buffer[file.used] = '\0';
  const int fd = open(file.buffer, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) {
    errno = saved_errno;
    return;
  }
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  Out out;
  out.Text("dump ");
  out.Number(static_cast<uint64_t>(now.tv_sec) * 1000 +
             static_cast<uint64_t>(now.tv_nsec) / 1000000);
  out.Text("\n");
  out.Flush(fd);
  const int used = g_used.load(std::memory_order_relaxed);
  for (int i = 0; i < used && i < kSlots; ++i) {
    Slot& slot = g_slots[i];
    out.Number(static_cast<uint64_t>(slot.tid.load(std::memory_order_relaxed)));
    out.Text(" ");
    char name[17] = {};
    std::memcpy(name, slot.name, 16);
    for (char& c : name) {
      if (c == ' ') c = '_';
    }
    out.Text(name[0] != '\0' ? name : "?");
    for (auto& count : slot.counts) {
      out.Text(" ");
      out.Number(count.load(std::memory_order_relaxed));
    }
    out.Text("\n");
    out.Flush(fd);
  }
  out.Text("end\n");
  out.Flush(fd);
  close(fd);
  errno = saved_errno;
}

void OnSignal(int) { Dump(); }

__attribute__((constructor)) void Install() {
  struct sigaction action {};
  action.sa_handler = OnSignal;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  sigaction(SIGUSR1, &action, nullptr);
}

__attribute__((destructor)) void AtExit() { Dump(); }

void* New(size_t size) {
  Count(kNew);
  void* pointer = __libc_malloc(size == 0 ? 1 : size);
  if (pointer == nullptr) throw std::bad_alloc();
  return pointer;
}

void* NewAligned(size_t size, size_t alignment) {
  Count(kNew);
  void* pointer = __libc_memalign(alignment, size == 0 ? 1 : size);
  if (pointer == nullptr) throw std::bad_alloc();
  return pointer;
}

}  // namespace

extern "C" {

void* malloc(size_t size) {
  Count(kMalloc);
  return __libc_malloc(size);
}

void* calloc(size_t count, size_t size) {
  Count(kCalloc);
  return __libc_calloc(count, size);
}

void* realloc(void* pointer, size_t size) {
  Count(kRealloc);
  return __libc_realloc(pointer, size);
}

void free(void* pointer) { __libc_free(pointer); }

int posix_memalign(void** out, size_t alignment, size_t size) {
  Count(kAligned);
  void* pointer = __libc_memalign(alignment, size);
  if (pointer == nullptr) return ENOMEM;
  *out = pointer;
  return 0;
}

void* aligned_alloc(size_t alignment, size_t size) {
  Count(kAligned);
  return __libc_memalign(alignment, size);
}

void* memalign(size_t alignment, size_t size) {
  Count(kAligned);
  return __libc_memalign(alignment, size);
}

}  // extern "C"

void* operator new(size_t size) { return New(size); }
void* operator new[](size_t size) { return New(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  Count(kNew);
  return __libc_malloc(size == 0 ? 1 : size);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
  Count(kNew);
  return __libc_malloc(size == 0 ? 1 : size);
}
void* operator new(size_t size, std::align_val_t alignment) {
  return NewAligned(size, static_cast<size_t>(alignment));
}
void* operator new[](size_t size, std::align_val_t alignment) {
  return NewAligned(size, static_cast<size_t>(alignment));
}
void operator delete(void* pointer) noexcept { __libc_free(pointer); }
void operator delete[](void* pointer) noexcept { __libc_free(pointer); }
void operator delete(void* pointer, size_t) noexcept { __libc_free(pointer); }
void operator delete[](void* pointer, size_t) noexcept { __libc_free(pointer); }
void operator delete(void* pointer, std::align_val_t) noexcept { __libc_free(pointer); }
void operator delete[](void* pointer, std::align_val_t) noexcept { __libc_free(pointer); }
void operator delete(void* pointer, size_t, std::align_val_t) noexcept { __libc_free(pointer); }
void operator delete[](void* pointer, size_t, std::align_val_t) noexcept { __libc_free(pointer); }
