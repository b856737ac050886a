#include "tools/publish/Progress.h"

#include <gtest/gtest.h>

namespace korvath::publish {
namespace {

TEST(ProgressLine, CountsSizesRateAndTimeLeft) {
  constexpr uint64_t kGiB = uint64_t{1} << 30;
  const struct {
    TProgressCount Count;
    const char* Line;
  } cases[] = {
      {{0, 3, 0, 0, 0}, "compressed 0/3 files, 0 B/0 B"},
      {{0, 2000, 0, 10 * kGiB, 1.5}, "compressed 0/2000 files, 0 B/10.0 GiB"},
      {{1, 4, 1536, 4096, 2}, "compressed 1/4 files, 1.5 KiB/4.0 KiB, 768 B/s, 0:03 left"},
      {{500, 2000, kGiB, 10 * kGiB, 8},
       "compressed 500/2000 files, 1.0 GiB/10.0 GiB, "
       "128.0 MiB/s, 1:12 left"},
      {{1, 9, 1 << 20, 11 << 20, 400},
       "compressed 1/9 files, 1.0 MiB/11.0 MiB, 2.6 KiB/s, "
       "1:06:40 left"},
      {{9, 9, 5, 5, 1}, "compressed 9/9 files, 5 B/5 B, 5 B/s, 0:00 left"},
  };
  for (const auto& c : cases) EXPECT_EQ(ProgressLine(c.Count), c.Line);
}

}  // namespace
}  // namespace korvath::publish
