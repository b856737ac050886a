// bzip2 streams cut into blocks and joined again, against libbz2's own streams; the decoder that
// spreads blocks over the cores against the sequential one, on good and on broken streams.
#include "transfer/BZip2Blocks.h"

#include <bzlib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/Bz2Compress.h"
#include "transfer/BZip2.h"
#include "transfer/BZip2Parallel.h"

namespace korvath {
namespace {

using namespace bzblocks;
using test::Bz2Compress;
using test::NoiseBytes;

const uint8_t* Bytes(const std::string& s) {
  return reinterpret_cast<const uint8_t*>(s.data());
}

std::string Text(size_t lines) {
  std::string text;
  for (size_t i = 0; i < lines; ++i) text += "line " + std::to_string(i * 7919 % 100003) + "\n";
  return text;
}

// libbz2's one-call decoder; "error N" when it fails.
std::string Libbz2Decode(const std::string& stream, size_t capacity) {
  std::string out(capacity, '\0');
  auto size = static_cast<unsigned>(capacity);
  const int status = BZ2_bzBuffToBuffDecompress(out.data(), &size, const_cast<char*>(stream.data()),
                                                static_cast<unsigned>(stream.size()), 0, 0);
  return status == BZ_OK ? out.substr(0, size) : "error " + std::to_string(status);
}

TEST(BZip2Blocks, EveryBlockOfALibbz2StreamDecodesAsAStreamOfItsOwn) {
  const struct {
    const char* name;
    std::string data;
    int level;
  } cases[] = {
      {"text in many blocks", Text(60000), 1},
      {"noise in three blocks", NoiseBytes(250000, 7), 1},
      {"one block", Text(100), 9},
      {"long runs", std::string(300000, 'a') + NoiseBytes(1000) + std::string(70000, '\0'), 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string stream = Bz2Compress(c.data, c.level);
    // Scanned in two parts, the second going on where the first stopped.
    std::vector<TMagicHit> hits;
    const size_t half = stream.size() / 2 + 1;
    const uint64_t next = FindMagics(Bytes(stream), half, kHeaderBits, hits);
    FindMagics(Bytes(stream), stream.size(), next, hits);
    ASSERT_GE(hits.size(), 2u);
    EXPECT_EQ(hits.front().Bit, kHeaderBits);
    ASSERT_TRUE(hits.back().End);
    std::string joined;
    uint32_t combined = 0;
    for (size_t i = 0; i + 1 < hits.size(); ++i) {
      EXPECT_FALSE(hits[i].End);
      const std::string one = OneBlockStream('0' + static_cast<char>(c.level), Bytes(stream),
                                             stream.size(), hits[i].Bit, hits[i + 1].Bit);
      joined += Libbz2Decode(one, c.data.size());
      combined = CombineCrc(combined, static_cast<uint32_t>(ReadBits(Bytes(stream), stream.size(),
                                                                     hits[i].Bit + 48, 32)));
    }
    EXPECT_TRUE(joined == c.data);
    EXPECT_EQ(ReadBits(Bytes(stream), stream.size(), hits.back().Bit + 48, 32), combined);
  }
}

TEST(BZip2Blocks, OneBlockStreamsJoinIntoOneStream) {
  const std::vector<std::string> chunks = {Text(5000), NoiseBytes(300000, 2), "x",
                                           std::string(200000, 'z')};
  TBitWriter writer;
  writer.Put(0x425A6839, 32);  // "BZh9"
  uint32_t combined = 0;
  std::string expected;
  for (const std::string& chunk : chunks) {
    const std::string stream = Bz2Compress(chunk, 9);
    TBlockSpan span;
    ASSERT_TRUE(FindOnlyBlock(stream, span));
    writer.Append(Bytes(stream), stream.size(), span.Begin, span.End - span.Begin);
    combined = CombineCrc(combined, span.Crc);
    expected += chunk;
  }
  writer.Put(kEndMagic, 48);
  writer.Put(combined, 32);
  writer.Pad();
  EXPECT_TRUE(Libbz2Decode(writer.TakeBytes(), expected.size()) == expected);

  TBlockSpan span;
  for (const std::string& notOne :
       {Bz2Compress(Text(30000), 1), Bz2Compress(""), std::string("BZh9"), Bz2Compress("x") + "y"})
    EXPECT_FALSE(FindOnlyBlock(notOne, span));
}

TEST(BZip2Blocks, RunLengthPrefixCountsShortenedRuns) {
  const struct {
    std::string data;
    size_t limit;
    size_t prefix;
  } cases[] = {
      {"abcdef", 4, 4},
      {"aaaab", 5, 4},                   // a run of 4 costs 5
      {"aaaab", 4, 3},                   // ... so only 3 of it fit in 4
      {std::string(510, 'a'), 10, 510},  // runs start again after 255
      {std::string(510, 'a'), 9, 258},
      {"", 3, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(RunLengthPrefix(Bytes(c.data), c.data.size(), c.limit), c.prefix) << c.data.size();
}

struct TOutcome {
  std::string Bytes;
  std::string Error;
};

TOutcome ReadAll(TStream& stream) {
  TOutcome outcome;
  std::vector<char> buffer(50000);
  try {
    while (const int32_t n = stream.Read(buffer.data(), static_cast<int32_t>(buffer.size())))
      outcome.Bytes.append(buffer.data(), static_cast<size_t>(n));
  } catch (const Exception& e) {
    outcome.Error = e.Message();
  }
  return outcome;
}

TEST(BZip2Parallel, HandsOutWhatTheSequentialDecoderDoes) {
  const std::string good = Bz2Compress(Text(60000) + NoiseBytes(200000, 3), 1);
  auto changed = [&good](size_t at, const std::string& bytes) {
    std::string copy = good;
    copy.replace(at, bytes.size(), bytes);
    return copy;
  };
  const struct {
    const char* name;
    std::string stream;
  } cases[] = {
      {"good", good},
      {"a damaged block", changed(good.size() / 2, "\x55\xAA")},
      {"a block magic written into a block", changed(good.size() / 3, "\x31\x41\x59\x26\x53\x59")},
      {"an end magic written into a block", changed(good.size() / 3, "\x17\x72\x45\x38\x50\x90")},
      {"cut inside a block", good.substr(0, good.size() / 2)},
      {"cut inside the end marker", good.substr(0, good.size() - 3)},
      {"a wrong combined CRC", changed(good.size() - 2, std::string(1, ~good[good.size() - 2]))},
      {"a byte after the end", good + "x"},
      {"a second stream after the end", good + Bz2Compress("more")},
      {"not bzip2", "BZh0" + good.substr(4)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TMemoryStream sequentialSource(c.stream);
    TBZDecompressionStream sequential(sequentialSource);
    const TOutcome expected = ReadAll(sequential);
    TMemoryStream source(c.stream);
    TBZParallelDecompressionStream parallel(source, 0);
    int progress = 0;
    parallel.OnProgress = [&progress](TObject*) { ++progress; };
    const TOutcome got = ReadAll(parallel);
    EXPECT_EQ(got.Error, expected.Error);
    // Before an error either may have handed out more of the good blocks than the other.
    const size_t common = std::min(got.Bytes.size(), expected.Bytes.size());
    EXPECT_TRUE(expected.Bytes.compare(0, common, got.Bytes, 0, common) == 0);
    EXPECT_TRUE(!expected.Error.empty() || got.Bytes == expected.Bytes);
    // The gauge moves as output comes: not at all for data that gives none.
    EXPECT_EQ(progress > 0, !got.Bytes.empty());
  }
}

// Bodies made to cost the block road work and memory without end: it reads little past the end
// marker, joins a few pieces, holds a bounded amount and leaves the rest to the sequential road,
// which fails them as it always does.
TEST(BZip2Parallel, HostileBodiesCostBoundedWork) {
  const std::string data = Text(20000);
  const std::string good = Bz2Compress(data, 1);
  std::string magics;
  for (int i = 0; i < (4 << 20) / 6; ++i) magics += "\x31\x41\x59\x26\x53\x59";
  const struct {
    const char* name;
    std::string stream;
    uint64_t mostRead;
  } cases[] = {
      {"a stream followed by block magics", good + magics, good.size() + (256 << 10)},
      {"BZh9 and block magics back to back", "BZh9" + magics.substr(0, 2 << 20), 256 << 10},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TMemoryStream sequentialSource(c.stream);
    TBZDecompressionStream sequential(sequentialSource);
    const TOutcome expected = ReadAll(sequential);
    TMemoryStream source(c.stream);
    TBZParallelDecompressionStream parallel(source, 0, 2);
    const TOutcome got = ReadAll(parallel);
    EXPECT_EQ(got.Error, expected.Error);
    EXPECT_TRUE(got.Bytes == expected.Bytes);
    const auto& counts = parallel.Counts();
    EXPECT_TRUE(counts.FellBack);
    EXPECT_LE(counts.BytesRead, c.mostRead);
    EXPECT_LE(counts.Joins, 3u);
    EXPECT_LE(counts.MostHeld, uint64_t{40} << 20);
  }
}

// The file gauge follows the output handed out, not the source read ahead: it steps by 65,536
// compressed bytes and reaches the end with the last byte.
TEST(BZip2Parallel, SourcePositionFollowsTheOutputHandedOut) {
  const std::string data = NoiseBytes(3 << 19, 5);
  const std::string stream = Bz2Compress(data, 1);
  TMemoryStream source(stream);
  TBZParallelDecompressionStream parallel(source, 0, 2);
  std::vector<std::pair<int64_t, int64_t>> seen;  // position, bytes handed out
  parallel.OnProgress = [&](TObject*) {
    seen.emplace_back(parallel.SourcePosition(), parallel.Position());
  };
  const TOutcome got = ReadAll(parallel);
  ASSERT_TRUE(got.Error.empty()) << got.Error;
  ASSERT_GT(seen.size(), 2u);
  const auto size = static_cast<int64_t>(stream.size());
  EXPECT_EQ(seen.back(), std::make_pair(size, static_cast<int64_t>(data.size())));
  for (size_t i = 0; i + 1 < seen.size(); ++i) {
    const auto [position, handed] = seen[i];
    EXPECT_EQ(position % 65536, 0) << i;
    EXPECT_LT(position, seen[i + 1].first) << i;
    // No further ahead of the output than a block of noise and a step.
    EXPECT_LE(position, handed * size / static_cast<int64_t>(data.size()) + 200000) << i;
  }
}

}  // namespace
}  // namespace korvath
