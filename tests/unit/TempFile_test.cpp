// The temporary-file type: what stands under its name beforehand, and what is left afterwards.
#include "platform/TempFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/TempDir.h"

namespace korvath {
namespace {

using test::Exists;
using test::ReadFileBytes;
using test::WriteFileBytes;

void Write(platform::TempFile& file, const std::string& bytes) {
  size_t written = 0;
  ASSERT_EQ(file.Output().Write(bytes.data(), bytes.size(), written), 0);
}

// Whatever a killed run left under the name, the new content lands in the target only, and a
// link's target is never written through.
TEST(TempFile, KeepPutsTheNewContentInPlaceWhateverStoodUnderItsName) {
  enum class Before { Nothing, StaleFile, Link };
  for (const Before before : {Before::Nothing, Before::StaleFile, Before::Link}) {
    SCOPED_TRACE(static_cast<int>(before));
    test::TempDir dir;
    const std::string temporary = dir / "game.dat.unpack", target = dir / "game.dat";
    const std::string elsewhere = dir / "elsewhere";
    WriteFileBytes(target, "old content");
    WriteFileBytes(elsewhere, "not ours");
    if (before == Before::StaleFile) WriteFileBytes(temporary, "a longer stale leftover");
    if (before == Before::Link) {
      std::error_code ec;
      std::filesystem::create_symlink(elsewhere, temporary, ec);
      if (ec) continue;  // a system that does not let this user make links
    }
    platform::TempFile file(temporary);
    ASSERT_EQ(file.Create(), 0);
    Write(file, "new");
    ASSERT_EQ(file.Keep(target), 0);
    EXPECT_EQ(ReadFileBytes(target), "new");
    EXPECT_FALSE(Exists(temporary));
    EXPECT_EQ(ReadFileBytes(elsewhere), "not ours");
  }
}

TEST(TempFile, OnlyKeptOrLeftFilesStay) {
  test::TempDir dir;
  {
    platform::TempFile dropped(dir / "dropped.New");
    ASSERT_EQ(dropped.Create(), 0);
    Write(dropped, "x");
    platform::TempFile left(dir / "left.New");
    ASSERT_EQ(left.Create(), 0);
    Write(left, "for the script");
    left.Leave();
    platform::TempFile unused(dir / "unused.New");  // never created: a file of that name stays
    WriteFileBytes(dir / "unused.New", "someone else's");
  }
  EXPECT_FALSE(Exists(dir / "dropped.New"));
  EXPECT_EQ(ReadFileBytes(dir / "left.New"), "for the script");
  EXPECT_EQ(ReadFileBytes(dir / "unused.New"), "someone else's");
}

}  // namespace
}  // namespace korvath
