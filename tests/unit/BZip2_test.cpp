// The bzip2 decompression stream: decoding, its error texts, and what seeking may do.
#include "transfer/BZip2.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/support/Bz2Compress.h"

namespace korvath {
namespace {

using test::Bz2Compress;
using test::NoiseBytes;

constexpr int32_t kBlock = 65536;

std::string Repeat(const std::string& text, size_t times) {
  std::string out;
  for (size_t i = 0; i < times; ++i) out += text;
  return out;
}

// Equality of two byte strings that reports sizes and the first difference, not the bytes.
::testing::AssertionResult SameBytes(const std::string& actual, const std::string& expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  size_t i = 0;
  while (i < actual.size() && i < expected.size() && actual[i] == expected[i]) ++i;
  return ::testing::AssertionFailure() << actual.size() << " bytes instead of " << expected.size()
                                       << ", first difference at " << i;
}

// Reads the stream to its end in blocks of the given size.
std::string ReadAll(TStream& stream, int32_t block = kBlock) {
  std::string out;
  std::vector<char> buffer(static_cast<size_t>(block));
  for (;;) {
    const int32_t n = stream.Read(buffer.data(), block);
    if (n == 0) return out;
    out.append(buffer.data(), static_cast<size_t>(n));
  }
}

std::string ReadN(TStream& stream, int32_t count) {
  std::string out(static_cast<size_t>(count), '\0');
  stream.ReadBuffer(out.data(), count);
  return out;
}

// The message of the error fn raises as E, or a note that it raised something else.
template <class E>
std::string MessageOf(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const E& e) {
    return e.Message();
  } catch (const std::exception& e) {
    return std::string("other error: ") + e.what();
  }
  return "no error";
}

TEST(BZip2Stream, DecodesWhatLibbz2Encoded) {
  const struct {
    const char* name;
    std::string data;
    int blockSize100k;
  } cases[] = {
      {"empty", "", 9},
      {"short text", "files.lst\r\n[settings]\r\nRev=7\r\n", 9},
      {"larger than one input block", NoiseBytes(200000), 9},
      {"many bzip2 blocks", Repeat("Korvath game file 0123456789\r\n", 40000), 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TMemoryStream source(Bz2Compress(c.data, c.blockSize100k));
    TBZDecompressionStream stream(source);
    EXPECT_TRUE(SameBytes(ReadAll(stream), c.data));
    EXPECT_EQ(ReadAll(stream, 100), "");  // stays at its end
  }
}

TEST(BZip2Stream, OutputOfWholeBlocksEndsWithoutError) {
  const std::string data = Repeat("0123456789abcdef", 2 * kBlock / 16);
  TMemoryStream source(Bz2Compress(data));
  TBZDecompressionStream stream(source);
  std::vector<char> buffer(kBlock);
  EXPECT_EQ(stream.Read(buffer.data(), kBlock), kBlock);
  EXPECT_EQ(stream.Read(buffer.data(), kBlock), kBlock);
  EXPECT_TRUE(SameBytes(std::string(buffer.data(), kBlock), data.substr(kBlock)));
  EXPECT_EQ(stream.Read(buffer.data(), kBlock), 0);
  EXPECT_EQ(stream.Read(buffer.data(), kBlock), 0);
}

TEST(BZip2Stream, BadSourcesRaiseCompressionErrors) {
  std::string damaged = Bz2Compress(NoiseBytes(100000));
  for (size_t i = damaged.size() / 2; i < damaged.size() / 2 + 8; ++i) damaged[i] ^= 0x5A;
  const std::string whole = Bz2Compress(NoiseBytes(100000));
  const struct {
    const char* name;
    std::string source;
    const char* message;
  } cases[] = {
      {"not bzip2", "<html><body>404 Not Found</body></html>", "error -5"},
      {"damaged in the middle", damaged, "error -4"},
      {"empty download", "", "Unexpected end of compressed data"},
      {"broken off", whole.substr(0, whole.size() / 2), "Unexpected end of compressed data"},
      {"last byte missing", whole.substr(0, whole.size() - 1), "Unexpected end of compressed data"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TMemoryStream source(c.source);
    TBZDecompressionStream stream(source);
    EXPECT_EQ(MessageOf<EBZCompressionError>([&] { ReadAll(stream); }), c.message);
  }
}

TEST(BZip2Stream, BytesAfterTheStreamFailOnlyOnceItsDataIsDelivered) {
  const struct {
    const char* name;
    std::string data;
    std::string after;
  } cases[] = {
      {"second stream, short data", "first", Bz2Compress("second")},
      {"second stream, several blocks", NoiseBytes(150000), Bz2Compress("second")},
      {"other bytes", Repeat("abc", 30000), "trailing garbage"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TMemoryStream source(Bz2Compress(c.data) + c.after);
    TBZDecompressionStream stream(source);
    std::string delivered;
    const std::string message = MessageOf<EBZCompressionError>([&] {
      std::vector<char> buffer(kBlock);
      for (;;) {
        const int32_t n = stream.Read(buffer.data(), kBlock);
        if (n == 0) break;
        delivered.append(buffer.data(), static_cast<size_t>(n));
      }
    });
    EXPECT_EQ(message, "error -1");
    EXPECT_TRUE(SameBytes(delivered, c.data));
  }
}

TEST(BZip2Stream, PositionCountsDecodedBytes) {
  const std::string data = Repeat("position ", 5000);
  TMemoryStream source(Bz2Compress(data));
  TBZDecompressionStream stream(source);
  EXPECT_EQ(stream.Position(), 0);
  std::string read = ReadN(stream, 7);
  read += ReadN(stream, 12338);
  EXPECT_TRUE(SameBytes(read, data.substr(0, 12345)));
  EXPECT_EQ(stream.Position(), 12345);
  EXPECT_EQ(stream.Seek(int32_t{0}, soFromCurrent), 12345);
  EXPECT_EQ(MessageOf<EBZDecompressionError>([&] { stream.Size(); }), "Invalid stream operation");
  EXPECT_EQ(stream.Position(), 12345);  // the failed size query did not move it
}

TEST(BZip2Stream, ForwardSeeksSkipByDecoding) {
  const std::string data = NoiseBytes(100000);
  TMemoryStream source(Bz2Compress(data));
  TBZDecompressionStream stream(source);
  ReadN(stream, 1000);
  EXPECT_EQ(stream.Seek(int64_t{5000}, TSeekOrigin::soCurrent), 6000);
  EXPECT_EQ(ReadN(stream, 10), data.substr(6000, 10));
  EXPECT_EQ(stream.Seek(int64_t{20000}, TSeekOrigin::soBeginning), 20000);
  EXPECT_EQ(ReadN(stream, 10), data.substr(20000, 10));
  EXPECT_EQ(stream.Seek(int32_t{30001}, soFromBeginning), 30001);
  EXPECT_EQ(stream.Seek(int32_t{4099}, soFromCurrent), 34100);
  EXPECT_EQ(ReadN(stream, 10), data.substr(34100, 10));
  EXPECT_EQ(MessageOf<EReadError>([&] { stream.Seek(int64_t{200000}, TSeekOrigin::soBeginning); }),
            "Stream read error");
}

TEST(BZip2Stream, UnsupportedMovesRaise) {
  const std::string data = Repeat("seek ", 4000);
  const struct {
    const char* name;
    std::function<void(TBZDecompressionStream&)> move;
  } cases[] = {
      {"to the current position", [](auto& s) { s.Seek(int64_t{100}, TSeekOrigin::soBeginning); }},
      {"to the current position, 32-bit", [](auto& s) { s.Seek(int32_t{100}, soFromBeginning); }},
      {"backward", [](auto& s) { s.Seek(int64_t{50}, TSeekOrigin::soBeginning); }},
      {"backward, 32-bit", [](auto& s) { s.Seek(int32_t{-1}, soFromCurrent); }},
      {"back from current", [](auto& s) { s.Seek(int64_t{-10}, TSeekOrigin::soCurrent); }},
      {"from the end", [](auto& s) { s.Seek(int64_t{0}, TSeekOrigin::soEnd); }},
      {"from the end, 32-bit", [](auto& s) { s.Seek(int32_t{0}, soFromEnd); }},
      {"write", [](auto& s) { s.Write("x", 1); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TMemoryStream source(Bz2Compress(data));
    TBZDecompressionStream stream(source);
    ReadN(stream, 100);
    EXPECT_EQ(MessageOf<EBZDecompressionError>([&] { c.move(stream); }),
              "Invalid stream operation");
    EXPECT_EQ(ReadN(stream, 10), data.substr(100, 10));  // still where it was
  }
}

TEST(BZip2Stream, SeekToZeroRestartsFromTheSourcesStart) {
  const std::string data = NoiseBytes(150000);
  const std::string compressed = Bz2Compress(data);
  {
    SCOPED_TRACE("from the middle and from the end");
    TMemoryStream source(compressed);
    TBZDecompressionStream stream(source);
    ReadN(stream, 70000);
    EXPECT_EQ(stream.Seek(int64_t{0}, TSeekOrigin::soBeginning), 0);
    EXPECT_TRUE(SameBytes(ReadAll(stream), data));
    EXPECT_EQ(stream.Seek(int32_t{0}, soFromBeginning), 0);
    EXPECT_TRUE(SameBytes(ReadAll(stream), data));
  }
  {
    SCOPED_TRACE("after bytes past the end failed");
    TMemoryStream source(Bz2Compress("abc") + "junk");
    TBZDecompressionStream stream(source);
    EXPECT_EQ(MessageOf<EBZCompressionError>([&] { ReadAll(stream); }), "error -1");
    stream.Seek(int64_t{0}, TSeekOrigin::soBeginning);
    EXPECT_EQ(ReadN(stream, 3), "abc");
  }
  {
    SCOPED_TRACE("a source that started further in");
    TMemoryStream source("prefix" + compressed);
    source.SetPosition(6);
    TBZDecompressionStream stream(source);
    EXPECT_EQ(ReadN(stream, 100), data.substr(0, 100));
    stream.Seek(int64_t{0}, TSeekOrigin::soBeginning);
    EXPECT_EQ(source.Position(), 0);
    EXPECT_EQ(MessageOf<EBZCompressionError>([&] { ReadN(stream, 100); }), "error -5");
  }
}

TEST(BZip2Stream, SourceMovedBetweenReadsIsPutBack) {
  const std::string data = NoiseBytes(200000);
  // Blocks of 100,000 bytes: the first Read takes in only part of the compressed data.
  TMemoryStream source("prefix" + Bz2Compress(data, 1));
  source.SetPosition(6);
  TBZDecompressionStream stream(source);
  source.SetPosition(0);  // before the first refill: back to where the stream was created
  std::string out = ReadN(stream, 1000);
  const int64_t afterRefill = source.Position();
  EXPECT_EQ((afterRefill - 6) % kBlock, 0);
  ASSERT_LT(afterRefill, source.Size());
  source.SetPosition(3);
  out += ReadN(stream, 1000);
  EXPECT_EQ(source.Position(), afterRefill);
  source.SetPosition(0);
  out += ReadAll(stream);
  EXPECT_TRUE(SameBytes(out, data));
}

TEST(BZip2Stream, ProgressFollowsEveryStepWithTheStreamAsSender) {
  TMemoryStream source(Bz2Compress(NoiseBytes(200000)));
  TBZDecompressionStream stream(source);
  std::vector<int64_t> sourcePositions;
  stream.OnProgress = [&](TObject* sender) {
    EXPECT_EQ(sender, &stream);
    sourcePositions.push_back(source.Position());
  };
  ReadAll(stream);
  // At least one step per input block, each seeing the source after its latest refill.
  ASSERT_GE(sourcePositions.size(), 4u);
  EXPECT_EQ(sourcePositions.front(), kBlock);
  EXPECT_EQ(sourcePositions.back(), source.Size());
}

TEST(BZip2Stream, LibraryFailuresAreRaised) {
  EXPECT_EQ(MessageOf<EBZip2Error>([] { bz_internal_error(1007); }), "Compression Error 1007");
  // A request beyond a signed 32-bit size is refused rather than wrapped to a small block.
  EXPECT_EQ(BZAllocMem(nullptr, 65536, 65536), nullptr);
  void* block = BZAllocMem(nullptr, 1000, 4);
  ASSERT_NE(block, nullptr);
  BZFreeMem(nullptr, block);
}

}  // namespace
}  // namespace korvath
