// Files and offsets past 4 GiB through the file services, which a 32-bit build reaches only
// with 64-bit offsets: sparse files, so that nothing that large is written.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "platform/File.h"
#include "platform/MappedFile.h"
#include "tests/support/System.h"
#include "tests/support/TempDir.h"

namespace korvath::platform {
namespace {

constexpr int64_t kFar = (int64_t{1} << 32) + 2 * 65536;  // past 4 GiB, a view's multiple
const std::string kMark = "far";

TEST(LargeFile, EveryFileServiceReachesPast4GiB) {
  test::TempDir dir;
  const std::string name = dir / "sparse.bin";
  {
    File file;
    ASSERT_EQ(File::Open(name, Access::Write, Share::None, Disposition::CreateAlways, file), 0);
    int64_t position = 0;
    ASSERT_EQ(file.Seek(kFar, SeekFrom::Begin, position), 0);
    EXPECT_EQ(position, kFar);
    size_t written = 0;
    ASSERT_EQ(file.Write(kMark.data(), kMark.size(), written), 0);
  }
  const int64_t size = kFar + static_cast<int64_t>(kMark.size());
  File file;
  ASSERT_EQ(File::Open(name, Access::Read, Share::Read, Disposition::OpenExisting, file), 0);
  int64_t seen = 0, end = 0;
  EXPECT_EQ(file.Size(seen), 0);
  EXPECT_EQ(file.Seek(0, SeekFrom::End, end), 0);

  MappedFile mapped;
  ASSERT_TRUE(MappedFile::Open(name, mapped));
  std::string read(kMark.size(), '\0');
  const bool readAt = mapped.ReadAt(static_cast<uint64_t>(kFar), read.data(), read.size());
  const uint64_t viewAt =
      static_cast<uint64_t>(kFar) / MappedFile::Granularity() * MappedFile::Granularity();
  const bool viewed = mapped.MapView(viewAt, 1 << 20);
  const size_t into = static_cast<size_t>(static_cast<uint64_t>(kFar) - viewAt);
  const std::string noViews = test::WhyNoViewsPast4GiB();

  const struct {
    const char* What;
    bool Holds;
  } checks[] = {
      {"File::Size", seen == size},
      {"File::Seek from the end", end == size},
      {"MappedFile::Size", mapped.Size() == static_cast<uint64_t>(size)},
      {"MappedFile::ReadAt", readAt && read == kMark},
      {"MappedFile::MapView",
       !noViews.empty() || (viewed && mapped.ViewSize() == into + 3 &&
                            std::memcmp(mapped.Data() + into, "far", 3) == 0)},
  };
  for (const auto& check : checks) EXPECT_TRUE(check.Holds) << check.What;
  if (!noViews.empty()) RecordProperty("MapView", "not checked: " + noViews);
}

}  // namespace
}  // namespace korvath::platform
