// The hostile-server corpus, zstd copies: an entry names a zstd copy beside its bzip2 one, and
// the zstd copy is anything but that file's. Each case gives way to the bzip2 copy in the same
// run with its reason, puts the file in place, and leaves nothing of the zstd copy behind.
#include <string>
#include <vector>

#include "list/CopyFormats.h"
#include "list/FileEntry.h"
#include "tests/integration/HostileServer.h"
#include "tests/support/Bz2Compress.h"
#include "tests/support/UpdateRunner.h"
#include "tests/support/ZstdCompress.h"
#include "transfer/Sha256.h"

namespace korvath::test {
namespace {

const std::string kOldF = "old content of f";
// Text-like, so that a zstd copy is far smaller than the bzip2 one's allowance.
const std::string& NewF() {
  static const std::string content = [] {
    std::string text;
    for (int i = 0; text.size() < 40000; ++i)
      text += "line " + std::to_string(i * 7919 % 1000) + "\n";
    return text;
  }();
  return content;
}
const FolderFiles kUpdated{{"f.dat", NewF()}};

// f.dat is listed with a zstd copy of ListedSize bytes (its true size when -1); the bzip2 copy
// is served as it should be, and the zstd copy's address answers with Body.
HostileCase CopyCase(std::string name, std::string body, std::vector<std::string> reasons,
                     int64_t listedSize = -1, bool served = true, bool bzipServed = true) {
  return {std::move(name),
          [body, reasons, listedSize, served, bzipServed](HostileScene& s) {
            s.Plant("f.dat", kOldF);
            const std::string bzip = Bz2Compress(NewF());
            const int64_t size = listedSize >= 0 ? listedSize : static_cast<int64_t>(body.size());
            s.Server.PublishList(ListWith(
                "Rev|5\r\nModHosts|0\r\n",
                CopyField(TCopyFormat::Zstd, size) + "|" +
                    IntegrityField(Sha256Hex(NewF()), static_cast<int64_t>(NewF().size())) +
                    "|f.dat|" + Md5Hex(NewF()) + "|" + std::to_string(bzip.size()) + "\r\n"));
            if (bzipServed) s.Server.Http().ServeBody("f.dat.bz2", bzip);
            if (served) s.Server.Http().ServeBody("f.dat.zst", body);
            s.CopyReasons = reasons;
          },
          AllUpdated(kUpdated)};
}

TEST_F(HostileServer, ZstdCopiesThatAreNotTheFileGiveWayToTheBzip2Copy) {
  const std::string frame = ZstdCompress(NewF());
  const std::string longer = ZstdCompress(NewF() + "more");
  ZstdFrameOptions undeclared;
  undeclared.ContentSize = false;
  ZstdFrameOptions wide;
  wide.WindowLog = kZstdWindowLogMax + 1;
  wide.ContentSize = false;
  std::string other = NewF();
  other[100] = 'X';
  RunCases({
      CopyCase("a bzip2 stream in its place", Bz2Compress(NewF()), {"not zstd data"}),
      CopyCase("not found", "", {"not zstd data"}, 100, false),
      CopyCase("cut off", frame.substr(0, frame.size() / 2), {"cut off"}),
      CopyCase("a second frame", frame + frame, {"data after the end of the frame"}),
      CopyCase("trailing bytes", frame + "xyz", {"data after the end of the frame"}),
      CopyCase("declares more than the unpacked size", longer, {"the frame declares"}),
      CopyCase("produces more than the unpacked size", ZstdCompress(NewF() + "more", undeclared),
               {"unpacked size exceeded"}),
      CopyCase("needs a window beyond the bound", ZstdCompress(NewF(), wide), {"larger window"}),
      CopyCase("other content", ZstdCompress(other), {"digest mismatch"}),
      CopyCase("longer than its listed size", frame + std::string(64, 'x'), {"longer than"},
               static_cast<int64_t>(frame.size())),
  });
}

TEST_F(HostileServer, AGoodZstdCopyIsTakenWithoutTheBzip2One) {
  // The bzip2 copy's address answers 404: the file comes from its zstd copy alone.
  RunCases({CopyCase("only the zstd copy served", ZstdCompress(NewF()), {}, -1, true, false)});
}

}  // namespace
}  // namespace korvath::test
