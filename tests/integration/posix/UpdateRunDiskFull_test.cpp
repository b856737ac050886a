// A disk that fills up during a run: a file-size limit of this process stands in for it.
#include <sys/resource.h>

#include <csignal>

#include "tests/integration/UpdateRun.h"

namespace korvath {
namespace {

using test::WriteFileBytes;

// A file-size limit on this process makes every write past 1 MiB fail as a full disk does.
class DiskFullPast1MiB {
 public:
  DiskFullPast1MiB() {
    getrlimit(RLIMIT_FSIZE, &FOld);
    FOldHandler = signal(SIGXFSZ, SIG_IGN);  // the write fails instead of ending the process
    rlimit limit = FOld;
    limit.rlim_cur = 1024 * 1024;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~DiskFullPast1MiB() {
    setrlimit(RLIMIT_FSIZE, &FOld);
    signal(SIGXFSZ, FOldHandler);
  }
  DiskFullPast1MiB(const DiskFullPast1MiB&) = delete;
  DiskFullPast1MiB& operator=(const DiskFullPast1MiB&) = delete;

 private:
  rlimit FOld{};
  void (*FOldHandler)(int) = nullptr;
};

TEST_F(UpdateRun, DiskFullWhileDownloadingOrUnpackingFailsTheFileAndKeepsTheOldOne) {
  // Noise does not compress, so its download runs into the limit; zeros unpack into it.
  std::string noise(3 * 1024 * 1024, '\0');
  uint32_t seed = 1;
  for (char& c : noise) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 24);
  WriteFileBytes(Game("noise.dat"), "old noise");
  WriteFileBytes(Game("zeros.dat"), "old zeros");
  FServer.PublishList(
      test::ListText(1, 0,
                     {FServer.PublishFile("noise.dat", noise),
                      FServer.PublishFile("zeros.dat", std::string(3 * 1024 * 1024, '\0')),
                      FServer.PublishFile("small.dat", "fits")},
                     {}));
  Outcome run;
  {
    const DiskFullPast1MiB full;
    run = Run(false, 1);
  }
  EXPECT_EQ(run.Status, kUpdateFailed);
  ASSERT_EQ(run.FailedFiles.size(), 2u);
  for (const std::string& failure : run.FailedFiles)
    EXPECT_NE(failure.find("Disk full"), std::string::npos) << failure;
  const std::map<std::string, std::string> expected{
      {"noise.dat", "old noise"}, {"zeros.dat", "old zeros"}, {"small.dat", "fits"}};
  EXPECT_EQ(GameFiles(), expected);
}

}  // namespace
}  // namespace korvath
