// Unpacking a downloaded .bz2 file: what happens to the source and target files, and the
// file gauge's calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/GetFilesThr.h"
#include "runtime/SysUtils.h"
#include "tests/support/Bz2Compress.h"
#include "tests/support/RecordingView.h"
#include "tests/support/TempDir.h"
#include "transfer/BZip2.h"

namespace korvath {
namespace {

using test::Bz2Compress;
using test::Exists;
using test::NoiseBytes;
using test::ReadFileBytes;
using test::WriteFileBytes;

class Unpack : public ::testing::Test {
 protected:
  test::TempDir dir;
  test::RecordingView view;
  GFilesThread worker{view, TDirectSynchronizer::Instance()};  // a plain worker, never started
  const std::string source = dir / "data/file.bin.bz2";
  const std::string target = dir / "data/file.bin";
};

// Runs fn and returns the message of the Exception it raises ("no error" when it raises none).
template <class Fn>
std::string FailureOf(Fn fn) {
  try {
    fn();
  } catch (const Exception& e) {
    return e.Message();
  }
  return "no error";
}

TEST_F(Unpack, ReplacesTheTargetAndMovesTheFileGaugeOverTheCompressedBytes) {
  const std::string data = NoiseBytes(300000);
  const std::string compressed = Bz2Compress(data);
  WriteFileBytes(source, compressed);
  WriteFileBytes(target, std::string(400000, 'x'));  // an older, longer copy

  worker.UnpackFile(source, target);

  EXPECT_TRUE(ReadFileBytes(target) == data);
  EXPECT_FALSE(Exists(source));
  EXPECT_EQ(worker.FSourceStream, nullptr);

  const int32_t size = static_cast<int32_t>(compressed.size());
  ASSERT_GE(view.Calls.size(), 3u);
  EXPECT_EQ(view.Calls.front(), "max0:" + std::to_string(size));
  EXPECT_EQ(view.Calls.back(), "file:0");
  // Between them: the source's position after each refill, rising to the compressed size.
  std::vector<std::string> expected;
  for (int32_t p = 65536; p < size; p += 65536) expected.push_back("file:" + std::to_string(p));
  expected.push_back("file:" + std::to_string(size));
  std::vector<std::string> positions(view.Calls.begin() + 1, view.Calls.end() - 1);
  positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
  EXPECT_EQ(positions, expected);
}

TEST_F(Unpack, MissingSourceCreatesNoTarget) {
  const std::string message = FailureOf([&] { worker.UnpackFile(source, target); });
  EXPECT_EQ(message.rfind("Cannot open file \"" + source + "\". ", 0), 0u) << message;
  EXPECT_FALSE(Exists(target));
  EXPECT_TRUE(view.Calls.empty());
}

TEST_F(Unpack, TargetThatCannotBeCreatedStillCostsTheDownload) {
  WriteFileBytes(source, Bz2Compress("payload"));
  const std::string folder = dir / "data/folder";
  WriteFileBytes(folder + "/inside", "keeps the folder");

  const std::string message = FailureOf([&] { worker.UnpackFile(source, folder); });

  EXPECT_EQ(message.rfind("Cannot create file \"" + folder + "\". ", 0), 0u) << message;
  EXPECT_FALSE(Exists(source));
  EXPECT_TRUE(view.Calls.empty());  // the decoder never started
}

TEST_F(Unpack, FailedDecodingDeletesTheSourceAndResetsTheGauge) {
  const std::string first = NoiseBytes(100000);
  const std::string whole = Bz2Compress(first);
  const struct {
    const char* name;
    std::string source;
    const char* message;
    std::string targetAfter;
  } cases[] = {
      {"not bzip2", "<html>Not Found</html>", "error -5", ""},
      {"second stream appended", whole + Bz2Compress("more"), "error -1", first},
      {"broken off", whole.substr(0, 70000), "Unexpected end of compressed data", ""},
      {"empty download", "", "Unexpected end of compressed data", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    view.Calls.clear();
    WriteFileBytes(source, c.source);

    std::string message;
    try {
      worker.UnpackFile(source, target);
    } catch (const EBZCompressionError& e) {
      message = e.Message();
    }

    EXPECT_EQ(message, c.message);
    EXPECT_FALSE(Exists(source));
    EXPECT_EQ(ReadFileBytes(target).size(), c.targetAfter.size());
    EXPECT_TRUE(ReadFileBytes(target) == c.targetAfter);
    EXPECT_EQ(worker.FSourceStream, nullptr);
    ASSERT_FALSE(view.Calls.empty());
    EXPECT_EQ(view.Calls.front(), "max0:" + std::to_string(c.source.size()));
    EXPECT_EQ(view.Calls.back(), "file:0");
  }
}

// A target that takes only part of each block, as a full disk does.
class ShortTarget : public TMemoryStream {
 public:
  int32_t Write(const void* buffer, int32_t count) override {
    return TMemoryStream::Write(buffer, count / 2);
  }
};

TEST_F(Unpack, TargetTakingFewerBytesRaisesWriteError) {
  TMemoryStream compressed(Bz2Compress("some data"));
  ShortTarget shortTarget;
  EXPECT_EQ(FailureOf([&] { worker.UnpackStream(compressed, shortTarget); }), "Stream write error");
  EXPECT_EQ(view.Calls.back(), "file:0");
  EXPECT_EQ(worker.FSourceStream, nullptr);
}

}  // namespace
}  // namespace korvath
