// The file digest of files only POSIX systems have: one whose mode forbids reading, a fifo.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/TempDir.h"
#include "transfer/md5.h"

namespace korvath {
namespace {

const std::string kEmptyDigest = "d41d8cd98f00b204e9800998ecf8427e";

std::string FileHex(const std::string& path) {
  TDigestBytes digest;
  FileDigest(path, digest);
  return DigestToHex(digest);
}

TEST(FileDigest, FilesOfPosixKindsThatCannotBeReadHashAsEmptyInput) {
  test::TempDir dir;
  test::WriteFileBytes(dir / "locked.bin", "abc");
  ASSERT_EQ(::chmod((dir / "locked.bin").c_str(), 0), 0);
  // The super-user reads it all the same.
  EXPECT_EQ(FileHex(dir / "locked.bin"),
            ::geteuid() == 0 ? "900150983cd24fb0d6963f7d28e17f72" : kEmptyDigest);
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  EXPECT_EQ(FileHex(dir / "fifo"), kEmptyDigest);  // and does not wait for a writer
}

}  // namespace
}  // namespace korvath
