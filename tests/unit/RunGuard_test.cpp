// The run guard: one holder per game folder, in this process and across processes, and no trace.
#include "platform/RunGuard.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <system_error>

#include "platform/File.h"
#include "tests/support/TempDir.h"

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

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
  EXPECT_THROW(RunGuard::TryAcquire(a / "none", missing), std::system_error);
  EXPECT_FALSE(missing.IsHeld());
}

#ifndef _WIN32
// Runs Body in a child process and returns its exit code. Everything the child needs is made
// before the fork, so the child does no allocation of its own.
template <typename Body>
int InChild(Body body) {
  const pid_t pid = fork();
  if (pid == 0) _exit(body());
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(RunGuard, AnotherProcessIsKeptOutAndTheGuardDiesWithItsHolder) {
  test::TempDir dir;
  const std::string folder = dir.Path();
  RunGuard held;
  ASSERT_TRUE(RunGuard::TryAcquire(folder, held));
  EXPECT_EQ(InChild([&] {
              RunGuard child;
              return RunGuard::TryAcquire(folder, child) ? 1 : 0;
            }),
            0);
  held.Release();
  // The child ends without releasing: the kernel drops its lock with the process.
  EXPECT_EQ(InChild([&] {
              static RunGuard child;
              return RunGuard::TryAcquire(folder, child) ? 1 : 0;
            }),
            1);
  EXPECT_TRUE(RunGuard::TryAcquire(folder, held));
  EXPECT_TRUE(IsEmptyFolder(folder));
}
#endif

}  // namespace
}  // namespace korvath::platform
