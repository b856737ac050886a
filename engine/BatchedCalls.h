// Calls of the window made on the worker's side in order and handed over several at a time:
// the window's thread runs a batch in one hand-off, in that order, and is never held long by one.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

namespace korvath {

class TBatchedCalls {
 public:
  // The most calls one hand-off carries.
  static constexpr size_t kMaxBatch = 256;

  using TSynchronize = std::function<void(const std::function<void()>&)>;
  // Synchronize runs a call on the window's thread and returns when it ran.
  explicit TBatchedCalls(TSynchronize synchronize) : FSynchronize(std::move(synchronize)) {}

  // Hands the calls over once there are kMaxBatch of them.
  void Add(std::function<void()> call);
  // Hands over whatever is held back.
  void Flush();

 private:
  TSynchronize FSynchronize;
  std::vector<std::function<void()>> FCalls;
};

}  // namespace korvath
