// The run guard across processes: a child of a fork is the other process.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "platform/RunGuard.h"
#include "tests/support/TempDir.h"

namespace korvath::platform {
namespace {

bool IsEmptyFolder(const std::string& path) {
  return std::filesystem::is_empty(path);
}

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

}  // namespace
}  // namespace korvath::platform
