// The run guard: one holder per game folder, in this process and across processes, and no trace.
#include "platform/RunGuard.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <system_error>

#include "platform/File.h"
#include "tests/support/TempDir.h"

namespace korvath::platform {
namespace {

namespace fs = std::filesystem;

bool IsEmptyFolder(const std::string& path) {
  return fs::is_empty(path);
}

TEST(RunGuard, OneHolderPerFolderUntilReleased) {
  test::TempDir dir;
  RunGuard first;
  ASSERT_TRUE(RunGuard::TryAcquire(dir.Path(), first));
  EXPECT_TRUE(first.IsHeld());
  EXPECT_TRUE(IsEmptyFolder(dir.Path()));

  RunGuard second;
  EXPECT_FALSE(RunGuard::TryAcquire(dir.Path(), second));
  EXPECT_FALSE(second.IsHeld());
  // Another spelling of the same folder is the same folder.
  std::string bare = dir.Path();
  bare.pop_back();
  EXPECT_FALSE(RunGuard::TryAcquire(bare, second));
  {
    test::CurrentDirScope here(dir.Path());
    EXPECT_FALSE(RunGuard::TryAcquire(".", second));
  }
  if (kPathDelim == '\\') {
    // Windows names ignore letter case, so the guard's name must too.
    std::string upper = bare;
    for (char& c : upper)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    EXPECT_FALSE(RunGuard::TryAcquire(upper, second)) << upper;
  }

  first.Release();
  EXPECT_FALSE(first.IsHeld());
  ASSERT_TRUE(RunGuard::TryAcquire(bare, second));
  second.Release();
  EXPECT_TRUE(IsEmptyFolder(dir.Path()));
}

TEST(RunGuard, TheDestructorAndAMoveHandTheGuardOnCorrectly) {
  test::TempDir dir;
  RunGuard outer;
  {
    RunGuard inner;
    ASSERT_TRUE(RunGuard::TryAcquire(dir.Path(), inner));
    RunGuard moved(std::move(inner));
    EXPECT_FALSE(inner.IsHeld());
    inner = RunGuard();  // dropping the moved-from one must not release the folder
    EXPECT_FALSE(RunGuard::TryAcquire(dir.Path(), outer));
    outer = std::move(moved);
    EXPECT_TRUE(outer.IsHeld());
  }
  RunGuard other;
  EXPECT_FALSE(RunGuard::TryAcquire(dir.Path(), other));
  outer = RunGuard();
  EXPECT_TRUE(RunGuard::TryAcquire(dir.Path(), other));
}

TEST(RunGuard, FoldersAreIndependentAndAMissingOneIsAnError) {
  test::TempDir a, b;
  RunGuard ga, gb;
  ASSERT_TRUE(RunGuard::TryAcquire(a.Path(), ga));
  EXPECT_TRUE(RunGuard::TryAcquire(b.Path(), gb));
  // A subfolder is a folder of its own.
  fs::create_directory(a / "sub");
  RunGuard gs;
  EXPECT_TRUE(RunGuard::TryAcquire(a / "sub", gs));
  RunGuard missing;
  EXPECT_THROW(static_cast<void>(RunGuard::TryAcquire(a / "none", missing)), std::system_error);
  EXPECT_FALSE(missing.IsHeld());
}

}  // namespace
}  // namespace korvath::platform
