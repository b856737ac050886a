// The table of copy formats: each format's names are working names the publisher refuses to
// list, its body bound holds its worst case, its decoder reads what its compressor writes, and
// the entry fields that name further copies parse strictly.
#include "list/CopyFormats.h"

#include <gtest/gtest.h>
#include <zstd.h>

#include "list/WorkingNames.h"
#include "tests/support/Bz2Compress.h"
#include "tests/support/ZstdCompress.h"

namespace korvath {
namespace {

std::string Compressed(TCopyFormat format, const std::string& data) {
  return format == TCopyFormat::Bzip2 ? test::Bz2Compress(data) : test::ZstdCompress(data);
}

TEST(CopyFormats, EachFormatsNamesBoundAndDecoder) {
  const std::string noise = test::NoiseBytes(100000, 3);
  for (const TCopyFormatTraits& traits : CopyFormats()) {
    SCOPED_TRACE(traits.Name);
    for (const char* suffix : {traits.Suffix, traits.ResumeSuffix}) {
      bool working = false;
      for (const working::TWorkingName& name : working::kNames)
        working = working || std::string(name.Suffix) == suffix;
      EXPECT_TRUE(working) << suffix;
    }
    EXPECT_EQ(traits.Field == nullptr, traits.Format == TCopyFormat::Bzip2);
    const std::string copy = Compressed(traits.Format, noise);
    EXPECT_LE(static_cast<int64_t>(copy.size()),
              traits.MaxBody(static_cast<int64_t>(noise.size())));
    EXPECT_LE(static_cast<int64_t>(ZSTD_compressBound(noise.size())),
              CopyFormatTraits(TCopyFormat::Zstd).MaxBody(static_cast<int64_t>(noise.size())));
    TMemoryStream source(copy);
    const auto decoder = traits.Decoder(source, static_cast<int64_t>(noise.size()), INT64_MAX, 1);
    std::string out(noise.size() + 1, '\0');
    int32_t got = 0, total = 0;
    while ((got = decoder->Read(out.data() + total, static_cast<int32_t>(out.size()) - total)) > 0)
      total += got;
    out.resize(static_cast<size_t>(total));
    EXPECT_EQ(out, noise);
    EXPECT_EQ(decoder->SourcePosition(), static_cast<int64_t>(copy.size()));
  }
}

TEST(CopyFormats, FieldsInFrontOfThePathNameFurtherCopies) {
  struct Row {
    std::vector<std::string> Front;  // nearest the path first
    int64_t Expected;                // the zstd copy's size; 0: none
  };
  const std::vector<Row> rows = {
      {{"zst=120"}, 120},
      {{"sha256=ab:1", "zst=120"}, 120},
      {{"zst=120", "zst=99"}, 120},  // the nearest wins
      {{"zst="}, 0},
      {{"zst=0"}, 0},
      {{"zst=12a"}, 0},
      {{"zst=-5"}, 0},
      {{"zst=1234567890123456789"}, 0},
      {{"ZST=120"}, 0},
      {{"bz2=120"}, 0},
  };
  for (const Row& row : rows) {
    TFileEntry entry{"f.dat", "md5", "100", {}, row.Front};
    const std::vector<TListedCopy> listed = ListedCopies(entry);
    ASSERT_EQ(listed.size(), row.Expected == 0 ? 0u : 1u) << row.Front[0];
    if (!listed.empty()) {
      EXPECT_EQ(listed[0].Size, row.Expected);
    }
  }
  EXPECT_EQ(CopyField(TCopyFormat::Zstd, 120), "zst=120");
  EXPECT_EQ(PublishedCopyName("data\\maps\\a.map", TCopyFormat::Zstd), "data/maps/a.map.zst");
}

TEST(CopyFormats, ACopyLargerThanTheBzip2OneByMoreThanAQuarterIsPassedOver) {
  const std::vector<TListedCopy> listed = {{TCopyFormat::Zstd, 125}};
  EXPECT_NE(PreferredCopy(listed, 100), nullptr);
  EXPECT_EQ(PreferredCopy({{TCopyFormat::Zstd, 126}}, 100), nullptr);
  EXPECT_EQ(PreferredCopy({}, 100), nullptr);
}

}  // namespace
}  // namespace korvath
