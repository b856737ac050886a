// The SIGBUS handler behind read-only file views. A file may be cut short while mapped (POSIX
// allows it; Windows refuses it while a view exists), and touching a page past its new end raises
// SIGBUS. Jumping out of the reader (sigsetjmp) would skip the destructors of every C++ frame in
// between and is not the reader's to expect; instead the handler puts private zero pages where
// the file's pages were, from the faulting page to the view's end, and lets the read go on. The
// owner of the view then finds the file shorter than it was opened (MappedFile::Intact) and fails
// what it read. Zeros never pass for content: every reader checks digests as well.
#include "platform/posix/BusGuard.h"

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <mutex>

namespace korvath::platform::bus {
namespace {

// A lock-free table, since a signal handler may take no lock. A view's end is stored before its
// beginning is published, and its beginning cleared before it is unmapped, so the handler never
// matches an address range that is not a live view.
struct TSlot {
  std::atomic<bool> Taken{false};
  std::atomic<uintptr_t> Begin{0};
  std::atomic<uintptr_t> End{0};
  // Where the zero pages begin once the handler has put them in; 0 while the view is whole.
  std::atomic<uintptr_t> ZeroFrom{0};
};
constexpr int kSlots = 512;
TSlot slots[kSlots];

struct sigaction previous {};
uintptr_t pageSize = 4096;

void HandOn(int signal, siginfo_t* info, void* context) {
  if ((previous.sa_flags & SA_SIGINFO) != 0 && previous.sa_sigaction != nullptr) {
    previous.sa_sigaction(signal, info, context);
  } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
    previous.sa_handler(signal);
  } else {
    // The default action: on return the instruction faults again, now fatally.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    ::sigaction(signal, &fallback, nullptr);
  }
}

void OnBusError(int signal, siginfo_t* info, void* context) {
  const auto address = reinterpret_cast<uintptr_t>(info->si_addr);
  for (TSlot& slot : slots) {
    const uintptr_t begin = slot.Begin.load(std::memory_order_acquire);
    if (begin == 0 || address < begin) continue;
    const uintptr_t end = slot.End.load(std::memory_order_acquire);
    if (address >= end) continue;
    // A fault on a page already replaced means the report named a later page than the one that
    // faulted (qemu's user mode does so); the whole view is replaced then, and a fault after that
    // is handed on rather than repeated for ever.
    uintptr_t from = address & ~(pageSize - 1);
    const uintptr_t zeroFrom = slot.ZeroFrom.load(std::memory_order_acquire);
    if (zeroFrom != 0 && from >= zeroFrom) {
      if (zeroFrom == begin) break;
      from = begin;
    }
    // mmap is a plain system call on the systems this runs on, safe in a handler.
    if (::mmap(reinterpret_cast<void*>(from), end - from, PROT_READ,
               MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) == MAP_FAILED)
      break;
    slot.ZeroFrom.store(from, std::memory_order_release);
    return;
  }
  HandOn(signal, info, context);
}

void Install() {
  pageSize = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
  struct sigaction action {};
  action.sa_sigaction = OnBusError;
  action.sa_flags = SA_SIGINFO;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGBUS, &action, &previous);
}

}  // namespace

int Guard(const void* data, size_t size) {
  static std::once_flag installed;
  std::call_once(installed, Install);
  for (int i = 0; i < kSlots; ++i) {
    bool free = false;
    if (!slots[i].Taken.compare_exchange_strong(free, true)) continue;
    const auto begin = reinterpret_cast<uintptr_t>(data);
    slots[i].ZeroFrom.store(0, std::memory_order_relaxed);
    slots[i].End.store(begin + size, std::memory_order_release);
    slots[i].Begin.store(begin, std::memory_order_release);
    return i;
  }
  return -1;
}

void Unguard(int slot) {
  if (slot < 0) return;
  slots[slot].Begin.store(0, std::memory_order_release);
  slots[slot].End.store(0, std::memory_order_release);
  slots[slot].Taken.store(false, std::memory_order_release);
}

}  // namespace korvath::platform::bus
