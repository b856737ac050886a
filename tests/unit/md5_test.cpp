// The digest against RFC 1321's test values and answers of an independent MD5 tool, fed whole
// and in pieces; the file digest on files that can and cannot be read, through one view or many.
#include "transfer/md5.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/File.h"
#include "platform/MappedFile.h"
#include "tests/support/System.h"
#include "tests/support/TempDir.h"

namespace korvath {
namespace {

const std::string kEmptyDigest = "d41d8cd98f00b204e9800998ecf8427e";

// Bytes that never repeat with the block length, so that a misplaced block shows.
std::string Pattern(size_t length) {
  std::string bytes(length, '\0');
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>((i * 31 + 7) % 251);
  return bytes;
}

std::string HexOf(const std::string& data) {
  TDigestContext context;
  DigestInit(context);
  DigestUpdate(context, data.data(), static_cast<uint32_t>(data.size()));
  TDigestBytes digest;
  DigestFinal(context, digest);
  return DigestToHex(digest);
}

// The same data fed in pieces of uneven sizes that cross the block boundary in every way.
std::string HexOfPieces(const std::string& data) {
  static constexpr size_t kPieces[] = {1, 3, 62, 7, 64, 13, 65, 31, 127, 2};
  TDigestContext context;
  DigestInit(context);
  size_t done = 0;
  for (size_t i = 0; done < data.size(); ++i) {
    const size_t n = std::min(kPieces[i % std::size(kPieces)], data.size() - done);
    DigestUpdate(context, data.data() + done, static_cast<uint32_t>(n));
    DigestUpdate(context, data.data() + done, 0);  // an empty piece changes nothing
    done += n;
  }
  TDigestBytes digest;
  DigestFinal(context, digest);
  return DigestToHex(digest);
}

std::string FileHex(const std::string& path) {
  TDigestBytes digest;
  FileDigest(path, digest);
  return DigestToHex(digest);
}

struct Case {
  std::string data;
  std::string hex;  // as md5sum reports it
};

std::vector<Case> RfcCases() {
  return {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"1234567890123456789012345678901234567890123456789012345678901234567890123456789"
       "0",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
}

// Lengths around the one- and two-block padding boundaries, and several blocks.
std::vector<Case> PatternCases() {
  const struct {
    size_t length;
    const char* hex;
  } table[] = {
      {1, "89e74e640b8c46257a29de0616794d5d"},      {55, "d39f7454bbe034082797e66c125a31ad"},
      {56, "8e9dbcce67719f0304ad52c59ff3d743"},     {57, "a299b8643026995363f4eb94158bce68"},
      {63, "19a31d9b1afbd6867266fd6cf4c8821f"},     {64, "8d9cfa334d4e690843fa68e59c798b84"},
      {65, "72d8b171f7f46898ee558ad1a86fb907"},     {119, "ae6c390e7155118a1660c98861bc0d69"},
      {120, "b4a4ce125f8932c19665e554892473c4"},    {128, "8ce39ed43121181a0846c282c5ce287a"},
      {129, "5a9404193c887c3ea510ca8550471c2c"},    {1000, "e722bbb0c3185d08f1a31567e66a825b"},
      {100000, "c751c4ebba60bb18afab02f4ced56b32"},
  };
  std::vector<Case> cases;
  for (const auto& t : table) cases.push_back({Pattern(t.length), t.hex});
  return cases;
}

TEST(Digest, MatchesKnownAnswersWholeAndInPieces) {
  for (const auto& cases : {RfcCases(), PatternCases()}) {
    for (const auto& c : cases) {
      EXPECT_EQ(HexOf(c.data), c.hex) << "length " << c.data.size();
      EXPECT_EQ(HexOfPieces(c.data), c.hex) << "length " << c.data.size();
    }
  }
}

// Past 512 MiB the bit count no longer fits its low word.
TEST(Digest, BitCountCarriesIntoTheHighWord) {
  const std::vector<char> zeros(1 << 20, '\0');
  TDigestContext context;
  DigestInit(context);
  for (int i = 0; i < 512; ++i) DigestUpdate(context, zeros.data(), 1 << 20);
  DigestUpdate(context, zeros.data(), 100);
  EXPECT_EQ(context.Count[1], 1u);
  TDigestBytes digest;
  DigestFinal(context, digest);
  EXPECT_EQ(DigestToHex(digest), "2fd298086ae19f076b408e275af7598c");
}

TEST(Digest, FinalWipesTheContext) {
  TDigestContext context;
  DigestInit(context);
  DigestUpdate(context, "abc", 3);
  TDigestBytes digest;
  DigestFinal(context, digest);
  const auto* bytes = reinterpret_cast<const unsigned char*>(&context);
  EXPECT_TRUE(std::all_of(bytes, bytes + sizeof context, [](unsigned char b) { return b == 0; }));
}

TEST(DigestToHex, TwoLowerCaseDigitsPerByteWithLeadingZeros) {
  const struct {
    TDigestBytes digest;
    std::string hex;
  } cases[] = {
      {{0x0a, 0x00, 0x01, 0xf0, 0xff, 0x10, 0x9b, 0x5c, 0xde, 0x27, 0x80, 0x7f, 0x08, 0xa1, 0x3e,
        0x06},
       "0a0001f0ff109b5cde27807f08a13e06"},
      {{}, "00000000000000000000000000000000"},
  };
  for (const auto& c : cases) EXPECT_EQ(DigestToHex(c.digest), c.hex);
}

TEST(FileDigest, EqualsTheDigestOfTheContent) {
  test::TempDir dir;
  for (const auto& cases : {RfcCases(), PatternCases()}) {
    for (const auto& c : cases) {
      test::WriteFileBytes(dir / "f.bin", c.data);
      EXPECT_EQ(FileHex(dir / "f.bin"), c.hex) << "length " << c.data.size();
    }
  }
}

// Files up to 1 MiB are read, larger ones mapped view by view: both give the content's digest
// on either side of the boundary.
TEST(FileDigest, FilesReadOrMappedGiveTheDigestOfTheirContent) {
  test::TempDir dir;
  constexpr size_t kMiB = size_t{1} << 20;
  for (size_t size : {kMiB - 1, kMiB, kMiB + 1, 2 * kMiB + 7}) {
    const std::string data = Pattern(size);
    test::WriteFileBytes(dir / "f.bin", data);
    EXPECT_EQ(FileHex(dir / "f.bin"), HexOf(data)) << "size " << size;
  }
}

TEST(FileDigest, FilesThatCannotBeReadHashAsEmptyInput) {
  test::TempDir dir;
  test::WriteFileBytes(dir / "empty.bin", "");
  std::filesystem::create_directories(dir / "folder");
  EXPECT_EQ(FileHex(dir / "missing.bin"), kEmptyDigest);
  EXPECT_EQ(FileHex(dir / "nofolder/missing.bin"), kEmptyDigest);
  EXPECT_EQ(FileHex(dir / "empty.bin"), kEmptyDigest);
  EXPECT_EQ(FileHex(dir / "folder"), kEmptyDigest);
  EXPECT_EQ(FileHex(""), kEmptyDigest);
}

TEST(FileDigest, FileOthersHoldOpenIsReadWhenTheyShareIt) {
  test::TempDir dir;
  test::WriteFileBytes(dir / "f.bin", "abc");
  {
    platform::File writer;
    ASSERT_EQ(
        platform::File::Open(dir / "f.bin", platform::Access::ReadWrite, platform::Share::ReadWrite,
                             platform::Disposition::OpenExisting, writer),
        0);
    EXPECT_EQ(FileHex(dir / "f.bin"), "900150983cd24fb0d6963f7d28e17f72");
  }
  if (test::OpenFilesCanBeExclusive()) {
    platform::File exclusive;
    ASSERT_EQ(platform::File::Open(dir / "f.bin", platform::Access::Read, platform::Share::None,
                                   platform::Disposition::OpenExisting, exclusive),
              0);
    EXPECT_EQ(FileHex(dir / "f.bin"), kEmptyDigest);
  }
}

TEST(FileDigest, ManyViewsGiveTheSameDigestAsOne) {
  test::TempDir dir;
  // Three views and a bit at the coarsest granularity (Windows'), many more at a page's.
  test::WriteFileBytes(dir / "f.bin", Pattern(3 * 65536 + 100));
  const char* expected = "0ceb0cb65b8ddd52ec202f875913eaae";
  const size_t granularity = platform::MappedFile::Granularity();
  for (size_t viewSize : {size_t{1}, granularity, granularity + 1, 3 * granularity, SIZE_MAX}) {
    TDigestBytes digest;
    detail::FileDigest(dir / "f.bin", digest, viewSize);
    EXPECT_EQ(DigestToHex(digest), expected) << "view size " << viewSize;
  }
  EXPECT_EQ(FileHex(dir / "f.bin"), expected);
}

TEST(MappedFile, ViewsStayInsideTheFile) {
  test::TempDir dir;
  const std::string data = Pattern(5000);
  test::WriteFileBytes(dir / "f.bin", data);
  platform::MappedFile file;
  ASSERT_TRUE(platform::MappedFile::Open(dir / "f.bin", file));
  EXPECT_EQ(file.Size(), 5000u);
  ASSERT_TRUE(file.MapView(0, 1 << 20));
  ASSERT_EQ(file.ViewSize(), 5000u);  // cut at the end of the file
  EXPECT_EQ(std::memcmp(file.Data(), data.data(), data.size()), 0);
  EXPECT_FALSE(file.MapView(1, 10));     // not on the granularity
  EXPECT_EQ(file.Data(), nullptr);       // the old view is gone
  EXPECT_FALSE(file.MapView(5000, 10));  // past the end

  platform::MappedFile moved(std::move(file));
  EXPECT_EQ(file.Size(), 0u);
  EXPECT_FALSE(file.MapView(0, 10));
  ASSERT_TRUE(moved.MapView(0, 10));
  EXPECT_EQ(std::memcmp(moved.Data(), data.data(), 10), 0);

  test::WriteFileBytes(dir / "empty.bin", "");
  EXPECT_FALSE(platform::MappedFile::Open(dir / "empty.bin", file));
  EXPECT_FALSE(platform::MappedFile::Open(dir / "missing.bin", file));
}

}  // namespace
}  // namespace korvath
