// The free-space floor and the room a game file needs, told to the run through its volume
// query: a file without room fails alone before its first byte, a bomb stops at the floor.
#include "engine/Limits.h"
#include "list/FileEntry.h"
#include "tests/integration/HostileServer.h"
#include "tests/support/Bz2Compress.h"
#include "transfer/Sha256.h"

namespace korvath::test {
namespace {

// The run's volumes have Free bytes free, however much it writes.
void FreeSpace(HostileScene& s, int64_t free) {
  s.Configure = [free](GFilesThread& worker) {
    worker.SetVolumeQuery([free](const std::string&, platform::VolumeSpace& space) {
      space.Total = 100 * 1024 * kMiB;
      space.Free = free;
      return true;
    });
  };
}

TEST_F(HostileServer, FreeSpaceFloor) {
  const std::string big(3 * kMiB, '\0');  // compresses to a few hundred bytes
  const FolderFiles old{{"big.dat", "old big"}, {"small.dat", "old small"}};
  const auto scene = [big](int64_t free) {
    return [big, free](HostileScene& s) {
      s.Plant("big.dat", "old big");
      s.Plant("small.dat", "old small");
      // big.dat declares its unpacked size; small.dat has only its listed (compressed) size.
      const std::string bigEntry =
          IntegrityField(Sha256Hex(big), static_cast<int64_t>(big.size())) + "|" +
          s.Server.PublishFile("big.dat", big);
      s.Server.PublishList(
          ListWith("Rev|5\r\nModHosts|0\r\n",
                   bigEntry + "\r\n" + s.Server.PublishFile("small.dat", "new") + "\r\n"));
      FreeSpace(s, free);
      s.AfterRun = [&server = s.Server, free] {
        if (free < kFreeSpaceFloor + 3 * kMiB) {
          EXPECT_EQ(server.RequestsFor("big.dat.bz2"), 0);
        }
      };
    };
  };
  RunCases({
      {"room for every file", scene(kFreeSpaceFloor + 3 * kMiB),
       AllUpdated({{"big.dat", big}, {"small.dat", "new"}})},
      {"no room for the declared size: that file fails alone", scene(kFreeSpaceFloor + kMiB),
       Failed({{"big.dat", "old big"}, {"small.dat", "new"}},
              {"not enough disk space (67 MB needed, 65 MB free)"})},
      {"bomb without a declared size stops at the floor",
       [](HostileScene& s) {
         s.Plant("g.dat", "old g");
         s.Server.Http().ServeBody("g.dat.bz2", ZeroBombArchive());
         s.Server.PublishList(ListWith(
             "Rev|5\r\nModHosts|0\r\n",
             "g.dat|" + Md5Hex("g") + "|" + std::to_string(ZeroBombArchive().size()) + "\r\n"));
         FreeSpace(s, kFreeSpaceFloor + kMiB);
       },
       Failed({{"g.dat", "old g"}}, {"the volume's last 64 MB stay free"})},
      {"list below the floor", scene(kFreeSpaceFloor - 1),
       Failed(old, {"the volume's last 64 MB stay free"})},
  });
}

}  // namespace
}  // namespace korvath::test
