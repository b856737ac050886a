// List signatures against the first Ed25519 test vector of RFC 8032, and the key and hex checks
// that keep a broken key from passing for a working one.
#include "transfer/Signature.h"

#include <gtest/gtest.h>

#include <string>

namespace korvath {
namespace {

std::string FromHex(const std::string& hex) {
  std::string bytes;
  EXPECT_TRUE(HexDecode(hex, bytes)) << hex;
  return bytes;
}

// RFC 8032, section 7.1, test 1: the empty message.
const std::string kSeed =
    FromHex("9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60");
const std::string kPublicHex = "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a";
const std::string kSignature = FromHex(
    "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590a33bacc61e39701cf9b4"
    "6b"
    "d25bf5f0595bbe24655141438e7a100b");

TEST(Signature, MatchesTheKnownAnswerAndOnlyIt) {
  const std::string secret = kSeed + FromHex(kPublicHex);
  EXPECT_EQ(SignList("", secret), kSignature);
  EXPECT_EQ(HexEncode(PublicKeyOf(secret)), kPublicHex);
  EXPECT_TRUE(VerifyListSignature("", kSignature, kPublicHex));
  EXPECT_TRUE(VerifyListSignature(
      "", kSignature, "D75A980182B10AB7D54BFED3C964073A0EE172F3DAA62325AF021A68F707511A"));
  EXPECT_FALSE(VerifyListSignature(std::string(1, '\0'), kSignature, kPublicHex));
  EXPECT_FALSE(VerifyListSignature("", kSignature.substr(0, 63), kPublicHex));
  EXPECT_FALSE(VerifyListSignature("", kSignature + '\0', kPublicHex));
}

TEST(Signature, FreshKeysSignAndVerifyEachOthersListsOnly) {
  const TSigningKeys a = NewSigningKeys(), b = NewSigningKeys();
  EXPECT_NE(a.PublicKey, b.PublicKey);
  EXPECT_EQ(PublicKeyOf(a.SecretKey), a.PublicKey);
  const std::string list = "BZh9 any bytes at all";
  EXPECT_TRUE(VerifyListSignature(list, SignList(list, a.SecretKey), HexEncode(a.PublicKey)));
  EXPECT_FALSE(VerifyListSignature(list, SignList(list, b.SecretKey), HexEncode(a.PublicKey)));
}

TEST(Signature, KeyThatIsNotAKeyRaisesInsteadOfFailingQuietly) {
  for (const std::string& key :
       {std::string(), kPublicHex.substr(0, 62), kPublicHex + "00", kPublicHex.substr(0, 63) + "g",
        " " + kPublicHex.substr(1),
        kPublicHex.substr(0, 32) + std::string(1, '\0') + kPublicHex.substr(33)})
    EXPECT_THROW(VerifyListSignature("", kSignature, key), ESignatureError) << key;
}

TEST(Signature, SecretKeyWhoseHalvesDoNotBelongTogetherIsRefused) {
  std::string secret = kSeed + FromHex(kPublicHex);
  secret[40] ^= 1;
  EXPECT_THROW(PublicKeyOf(secret), ESignatureError);
  EXPECT_THROW(SignList("list", secret), ESignatureError);
  EXPECT_THROW(SignList("list", kSeed), ESignatureError) << "half a key";
  EXPECT_THROW(PublicKeyOf(FromHex(kPublicHex)), ESignatureError) << "a public key";
}

TEST(Signature, HexTakesEvenRunsOfHexDigitsOnly) {
  const struct {
    std::string Hex;
    bool Ok;
    std::string Bytes;
  } cases[] = {{"", true, ""},
               {"00ff", true, std::string("\x00\xff", 2)},
               {"AbCd", true, "\xab\xcd"},
               {"0", false, ""},
               {"0g", false, ""},
               {"00 ", false, ""},
               {" 00", false, ""},
               {"00:11", false, ""}};
  for (const auto& c : cases) {
    std::string bytes = "untouched";
    EXPECT_EQ(HexDecode(c.Hex, bytes), c.Ok) << c.Hex;
    EXPECT_EQ(bytes, c.Ok ? c.Bytes : "untouched") << c.Hex;
  }
  EXPECT_EQ(HexEncode(std::string("\x00\x7f\x80\xff", 4)), "007f80ff");
}

}  // namespace
}  // namespace korvath
