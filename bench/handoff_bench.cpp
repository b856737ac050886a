// One update run of the current folder, its synchronized calls either handed to a second (owner)
// thread through TCallQueue, as the console and the window do, or run inline on the worker, so
// that bench/run.sh can time what the hand-off costs. Prints how many calls of each kind the run
// made; the view itself does nothing else.
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "engine/GetFilesThr.h"
#include "runtime/Thread.h"

namespace korvath {
namespace {

class CountingView final : public IRunView {
 public:
  long Statuses = 0, Maxima = 0, FilePositions = 0, TotalPositions = 0, Others = 0;
  std::string LastStatus;

  void ShowStatus(const std::string& status) override {
    ++Statuses;
    LastStatus = status;
  }
  void SetGaugeMax(int32_t, int32_t) override { ++Maxima; }
  void SetFileProgress(int32_t) override { ++FilePositions; }
  void SetTotalProgress(int32_t) override { ++TotalPositions; }
  void StoreRevision(int32_t) override { ++Others; }
  void DisableButtons() override { ++Others; }
  void EnableButtons() override { ++Others; }
};

// Counts the hand-offs: one Synchronize may carry several calls of the view.
class CountingSynchronizer final : public ISynchronizer {
 public:
  explicit CountingSynchronizer(ISynchronizer& target) : FTarget(target) {}
  long HandOffs = 0;
  void Synchronize(const std::function<void()>& method) override {
    ++HandOffs;
    FTarget.Synchronize(method);
  }

 private:
  ISynchronizer& FTarget;
};

int Run(bool handOff, const std::string& server) {
  CountingView view;
  TCallQueue queue;
  CountingSynchronizer owner(handOff ? static_cast<ISynchronizer&>(queue)
                                     : TDirectSynchronizer::Instance());
  GFilesThread worker(view, owner);
  worker.FServer = server;
  worker.Resume();
  if (handOff) queue.ProcessUntil([&] { return worker.Finished(); });
  worker.WaitFor();
  std::fprintf(stderr,
               "synchronized calls: %ld status, %ld gauge maximum, %ld file position, %ld total "
               "position, %ld other; %ld hand-offs\n",
               view.Statuses, view.Maxima, view.FilePositions, view.TotalPositions, view.Others,
               owner.HandOffs);
  return view.LastStatus == kUpdateFailed ? 1 : 0;
}

}  // namespace
}  // namespace korvath

int main(int argc, char** argv) {
  if (argc != 3 || (std::strcmp(argv[1], "queue") != 0 && std::strcmp(argv[1], "inline") != 0)) {
    std::fprintf(stderr, "usage: handoff_bench queue|inline SERVER\n");
    return 2;
  }
  return korvath::Run(std::strcmp(argv[1], "queue") == 0, argv[2]);
}
