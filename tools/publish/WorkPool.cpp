#include "tools/publish/WorkPool.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace korvath::publish {

unsigned WorkerCount(unsigned requested) {
  if (requested > 0) return requested;
  return std::max(1u, std::thread::hardware_concurrency());
}

void ForEachParallel(size_t count, unsigned workers, const std::function<void(size_t)>& job) {
  std::atomic<size_t> nextJob{0};
  std::atomic<bool> failed{false};
  std::exception_ptr firstError;
  std::mutex errorMutex;
  auto work = [&] {
    for (size_t i = nextJob++; i < count && !failed; i = nextJob++) {
      try {
        job(i);
      } catch (...) {
        std::lock_guard lock(errorMutex);
        if (!firstError) firstError = std::current_exception();
        failed = true;
      }
    }
  };
  const size_t threadCount = std::min<size_t>(std::max(1u, workers), count);
  {
    std::vector<std::jthread> threads;
    for (size_t t = 1; t < threadCount; ++t) threads.emplace_back(work);
    work();  // the calling thread is one of the workers
  }
  if (firstError) std::rethrow_exception(firstError);
}

}  // namespace korvath::publish
