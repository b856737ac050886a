// How far the transfers run ahead of the worker: which files are in reach, and the bytes their
// temporaries may hold on disk.
#include "engine/DiskBudget.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "engine/GaugeTape.h"

namespace korvath {
namespace {

TEST(DiskBudget, InReachCountsFilesAndListedBytesFromTheWorkersFile) {
  // Listed sizes 10, 20, 30, 40, 50: SizeBefore holds their running sums.
  const std::vector<int64_t> before{0, 10, 30, 60, 100, 150};
  const TReach reach{3, 70};
  struct Case {
    size_t Index, Current;
    bool RunsAhead;
    bool Expected;
  };
  const std::vector<Case> cases{
      {0, 0, true, true},    // the worker's own file
      {2, 2, false, true},   // reached: no longer held back by its names
      {1, 0, false, false},  // its temporaries carry a listed name
      {2, 0, true, true},    // 60 listed bytes from the worker's file on
      {3, 0, true, false},   // 100 bytes: past the bytes
      {3, 2, true, true},    // 40 bytes, one file on
      {4, 3, true, false},   // 90 bytes from file 3 on: past the bytes
      {4, 1, true, false},   // three files on: past the count
  };
  for (const Case& c : cases)
    EXPECT_EQ(InReach(c.Index, c.Current, c.RunsAhead, before, reach), c.Expected)
        << c.Index << " from " << c.Current;
}

TEST(DiskBudget, FilesAheadWaitForRoomTheWorkersFileNever) {
  TDiskBudget budget(100);
  THeld ahead1, ahead2, current;
  budget.Hold(
      ahead1, 80, true, [] { return true; }, [] { return false; });
  // The worker's file goes through whatever is held.
  budget.Hold(
      current, 500, false, [] { return false; }, [] { return false; });
  EXPECT_EQ(budget.HeldBytes(), 580);
  std::atomic<bool> held{false}, cancelled{false};
  std::thread waiter([&] {
    budget.Hold(
        ahead2, 30, true, [] { return true; }, [&] { return cancelled.load(); });
    held = true;
  });
  budget.Release(current, false);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(held) << "80 + 30 bytes ahead do not fit in 100";
  budget.Release(ahead1, true);  // its download went; nothing else was held for it
  waiter.join();
  EXPECT_TRUE(held);
  EXPECT_EQ(budget.HeldBytes(), 30);

  std::thread cancelledWaiter([&] {
    THeld more;
    EXPECT_THROW(budget.Hold(
                     more, 90, true, [] { return true; }, [&] { return cancelled.load(); }),
                 ECancelled);
  });
  cancelled = true;
  budget.Wake();
  cancelledWaiter.join();
}

}  // namespace
}  // namespace korvath
