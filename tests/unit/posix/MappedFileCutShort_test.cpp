// A file that another program cuts short while it is mapped: POSIX lets that happen, and reading
// the lost pages must not end the program.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include "platform/MappedFile.h"
#include "tests/support/TempDir.h"

namespace korvath {
namespace {

TEST(MappedFile, AFileCutShortWhileMappedReadsAsZerosAndIsNotIntact) {
  test::TempDir dir;
  const size_t page = platform::MappedFile::Granularity();
  const std::string path = dir / "base.bin";
  test::WriteFileBytes(path, std::string(3 * page, 'b'));
  platform::MappedFile file;
  ASSERT_TRUE(platform::MappedFile::Open(path, file));
  ASSERT_TRUE(file.MapView(0, 3 * page));
  EXPECT_TRUE(file.Intact());
  ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(page)), 0);
  size_t letters = 0;
  for (size_t i = 0; i < file.ViewSize(); ++i) letters += file.Data()[i] == 'b' ? 1 : 0;
  EXPECT_EQ(letters, page);
  EXPECT_FALSE(file.Intact());

  // A mapping that is not such a view still faults as it always did.
  EXPECT_DEATH(
      {
        const int fd = ::open(path.c_str(), O_RDONLY);
        const auto* bytes = static_cast<const volatile char*>(
            ::mmap(nullptr, 3 * page, PROT_READ, MAP_SHARED, fd, 0));
        ::ftruncate(::open(path.c_str(), O_WRONLY), 0);
        static_cast<void>(bytes[2 * page]);
      },
      "");
}

}  // namespace
}  // namespace korvath
