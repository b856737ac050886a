// SHA-256 against the FIPS 180-4 example messages, fed whole and in uneven pieces, and the same
// digest taken behind a writer on a thread of its own.
#include "transfer/Sha256.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/support/Bz2Compress.h"
#include "transfer/Sha256Behind.h"

namespace korvath {
namespace {

TEST(Sha256, FipsExamplesWholeAndInPieces) {
  const struct {
    std::string Message;
    const char* Digest;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Sha256Hex(c.Message), c.Digest) << c.Message.substr(0, 20);
    TSha256 pieces;
    for (size_t at = 0, step = 1; at < c.Message.size(); at += step, step = step * 3 % 97 + 1)
      pieces.Update(c.Message.data() + at, std::min(step, c.Message.size() - at));
    EXPECT_EQ(pieces.FinalHex(), c.Digest) << c.Message.substr(0, 20);
  }
}

}  // namespace
}  // namespace korvath

namespace korvath {
namespace {

// Past the size from which the digest is taken on a thread of its own, in writes of every size,
// and again afterwards with the same object.
TEST(Sha256Behind, TakesTheSameDigestOnItsThreadAndStartsOverAfterwards) {
  const std::string data = test::NoiseBytes(TSha256Behind::kThreadFrom + 300001, 9);
  TSha256Behind behind;
  for (int round = 0; round < 2; ++round) {
    size_t at = 0;
    for (size_t piece = 1; at < data.size(); piece = piece * 3 % 70001 + 1) {
      const size_t length = std::min(piece, data.size() - at);
      behind.Update(data.data() + at, length);
      at += length;
    }
    EXPECT_EQ(behind.FinalHex(), Sha256Hex(data));
  }
  behind.Update("abc", 3);
  EXPECT_EQ(behind.FinalHex(), Sha256Hex("abc"));
}

}  // namespace
}  // namespace korvath
