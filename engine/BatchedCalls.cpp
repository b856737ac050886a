#include "engine/BatchedCalls.h"

namespace korvath {

void TBatchedCalls::Add(std::function<void()> call) {
  FCalls.push_back(std::move(call));
  if (FCalls.size() >= kMaxBatch) Flush();
}

void TBatchedCalls::Flush() {
  if (FCalls.empty()) return;
  std::vector<std::function<void()>> calls;
  calls.swap(FCalls);
  FSynchronize([&calls] {
    for (const auto& call : calls) call();
  });
}

}  // namespace korvath
