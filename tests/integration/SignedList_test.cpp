// Signed update lists in whole update runs: a client with a key takes the list only with its
// publisher's signature of exactly its bytes, and never an older one; whatever it refuses
// leaves the game folder, the hosts file and the revision as they were.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "engine/GetFilesThr.h"
#include "runtime/SettingsStore.h"
#include "tests/support/Bz2Compress.h"
#include "tests/support/RecordingView.h"
#include "tests/support/Release.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/SettingsFixture.h"
#include "tests/support/TempDir.h"
#include "tests/support/UpdateRunner.h"
#include "transfer/Signature.h"

namespace korvath {
namespace {

using test::ReadFileBytes;
using test::WriteFileBytes;

const std::string kHostsBefore = "127.0.0.1 localhost\r\n";
constexpr int kReleaseRev = 6;

// The publisher's keys and a stranger's, made once per test program.
const TSigningKeys& PublisherKeys() {
  static const TSigningKeys keys = NewSigningKeys();
  return keys;
}
const TSigningKeys& StrangerKeys() {
  static const TSigningKeys keys = NewSigningKeys();
  return keys;
}

// What the publisher put on the server, and the test's server to serve something else.
struct TRelease {
  std::string Text;       // the list as written
  std::string List;       // files.lst.bz2 as signed
  std::string Signature;  // files.lst.bz2.sig
  std::function<std::string(int rev)>
      OtherRelease;  // the same release at another revision, as text
  test::HttpFixture& Http;
};

void ServeList(const TRelease& r, const std::string& list) {
  r.Http.ServeBody("files.lst.bz2", list);
}
void ServeSignature(const TRelease& r, const std::string& signature) {
  r.Http.ServeBody("files.lst.bz2.sig", signature);
}

struct TamperCase {
  const char* Name;
  std::function<void(const TRelease&)> Serve;
  const char* Reason;  // part of the reason the run gives
  int FolderRevision = 0;
  const char* ClientKey = nullptr;  // the publisher's key unless given
  int SignatureAsked = 1;           // a signature broken off is asked for again
};

// gtest names a failing case by this.
void PrintTo(const TamperCase& c, std::ostream* os) {
  *os << c.Name;
}

const char* const kNoMatch = "does not match its signature";
const char* const kNotASignature = "is missing or not a signature";

// The list with one byte changed (offsets below zero count from its end), under the publisher's
// signature.
TamperCase FlipListByte(const char* name, long offset) {
  return {name,
          [offset](const TRelease& r) {
            std::string list = r.List;
            const size_t at = offset >= 0 ? static_cast<size_t>(offset)
                                          : list.size() - static_cast<size_t>(-offset);
            list.at(at) = static_cast<char>(list.at(at) ^ 0x01);
            ServeList(r, list);
            ServeSignature(r, r.Signature);
          },
          kNoMatch};
}

// A byte at a tenth-step of the compressed data, past the stream and block headers.
TamperCase FlipListTenth(const char* name, int tenths) {
  return {name,
          [tenths](const TRelease& r) {
            std::string list = r.List;
            const size_t at = 18 + (list.size() - 28) * static_cast<size_t>(tenths) / 10;
            list[at] = static_cast<char>(list[at] ^ 0x80);
            ServeList(r, list);
            ServeSignature(r, r.Signature);
          },
          kNoMatch};
}

TamperCase ChangeList(const char* name, std::function<std::string(const TRelease&)> change) {
  return {name,
          [change](const TRelease& r) {
            ServeList(r, change(r));
            ServeSignature(r, r.Signature);
          },
          kNoMatch};
}

TamperCase ChangeSignature(const char* name, std::function<std::string(const TRelease&)> change,
                           const char* reason = kNoMatch) {
  return {name,
          [change](const TRelease& r) {
            ServeList(r, r.List);
            ServeSignature(r, change(r));
          },
          reason};
}

TamperCase FlipSignatureByte(const char* name, size_t at) {
  return ChangeSignature(name, [at](const TRelease& r) {
    std::string s = r.Signature;
    s[at] = static_cast<char>(s[at] ^ 0x01);
    return s;
  });
}

// The second half of a signature with the group order added: the same signature written
// another way, which a verifier must not take.
std::string WithOrderAdded(std::string signature) {
  static const unsigned char kOrder[32] = {0xed, 0xd3, 0xf5, 0x5c, 0x1a, 0x63, 0x12, 0x58,
                                           0xd6, 0x9c, 0xf7, 0xa2, 0xde, 0xf9, 0xde, 0x14,
                                           0,    0,    0,    0,    0,    0,    0,    0,
                                           0,    0,    0,    0,    0,    0,    0,    0x10};
  unsigned carry = 0;
  for (size_t i = 0; i < 32; ++i) {
    const unsigned sum = static_cast<unsigned char>(signature[32 + i]) + kOrder[i] + carry;
    signature[32 + i] = static_cast<char>(sum & 0xff);
    carry = sum >> 8;
  }
  return signature;
}

// A list of the attacker's own: the game file replaced by theirs, with its digest.
std::string AttackerText(const TRelease& r) {
  std::string text = r.Text;
  const size_t at = text.find("game.dat|");
  text.replace(at + 9, 32, test::Md5Hex("attacker's game"));
  return text;
}

std::vector<TamperCase> TamperCases() {
  std::vector<TamperCase> cases = {
      // The stream header "BZh9", the block header's magic, its CRC, the start of its data.
      FlipListByte("StreamMagicFirstByte", 0),
      FlipListByte("StreamMagicSecondByte", 1),
      FlipListByte("StreamMagicThirdByte", 2),
      FlipListByte("BlockSizeDigit", 3),
      FlipListByte("BlockMagicFirstByte", 4),
      FlipListByte("BlockMagicLastByte", 9),
      FlipListByte("BlockCrcFirstByte", 10),
      FlipListByte("BlockCrcLastByte", 13),
      FlipListByte("RandomisedBitAndOrigin", 14),
      FlipListByte("OriginPointer", 16),
      // Through the compressed data.
      FlipListTenth("DataAtZeroTenths", 0),
      FlipListTenth("DataAtOneTenth", 1),
      FlipListTenth("DataAtTwoTenths", 2),
      FlipListTenth("DataAtThreeTenths", 3),
      FlipListTenth("DataAtFourTenths", 4),
      FlipListTenth("DataAtFiveTenths", 5),
      FlipListTenth("DataAtSixTenths", 6),
      FlipListTenth("DataAtSevenTenths", 7),
      FlipListTenth("DataAtEightTenths", 8),
      FlipListTenth("DataAtNineTenths", 9),
      // The stream's end: its magic, the combined CRC, the padding of the last byte.
      FlipListByte("EndMagic", -10),
      FlipListByte("EndMagicLastByte", -6),
      FlipListByte("CombinedCrc", -5),
      FlipListByte("CombinedCrcLastByte", -2),
      FlipListByte("LastByte", -1),
      // Whole-list changes.
      ChangeList("LastByteCut",
                 [](const TRelease& r) { return r.List.substr(0, r.List.size() - 1); }),
      ChangeList("CutInHalf",
                 [](const TRelease& r) { return r.List.substr(0, r.List.size() / 2); }),
      ChangeList("EmptyList", [](const TRelease&) { return std::string(); }),
      ChangeList("ByteAppended", [](const TRelease& r) { return r.List + '\0'; }),
      ChangeList("ByteInFront", [](const TRelease& r) { return '\0' + r.List; }),
      ChangeList("SecondStreamAppended",
                 [](const TRelease& r) { return r.List + test::Bz2Compress(AttackerText(r)); }),
      ChangeList("SameTextCompressedOtherwise",
                 [](const TRelease& r) { return test::Bz2Compress(r.Text, 1); }),
      ChangeList("AttackersOwnList",
                 [](const TRelease& r) { return test::Bz2Compress(AttackerText(r)); }),
      ChangeList("UncompressedList", [](const TRelease& r) { return r.Text; }),
      {"AttackersListWithTheirOwnSignature",
       [](const TRelease& r) {
         const std::string list = test::Bz2Compress(AttackerText(r));
         ServeList(r, list);
         ServeSignature(r, SignList(list, StrangerKeys().SecretKey));
       },
       kNoMatch},
      {"AttackersListWithAnotherListsSignature",
       [](const TRelease& r) {
         ServeList(r, test::Bz2Compress(AttackerText(r)));
         ServeSignature(r, SignList(test::Bz2Compress(r.OtherRelease(kReleaseRev + 1)),
                                    PublisherKeys().SecretKey));
       },
       kNoMatch},
      // The signature altered, cut, padded or replaced.
      FlipSignatureByte("SignatureFirstByte", 0),
      FlipSignatureByte("SignatureEndOfFirstHalf", 31),
      FlipSignatureByte("SignatureStartOfSecondHalf", 32),
      FlipSignatureByte("SignatureLastByte", 63),
      ChangeSignature("SignatureAllZero",
                      [](const TRelease&) { return std::string(kSignatureBytes, '\0'); }),
      ChangeSignature("SignatureSecondHalfPlusOrder",
                      [](const TRelease& r) { return WithOrderAdded(r.Signature); }),
      ChangeSignature("SignatureOfAnotherList",
                      [](const TRelease& r) {
                        return SignList(test::Bz2Compress(r.OtherRelease(kReleaseRev + 1)),
                                        PublisherKeys().SecretKey);
                      }),
      ChangeSignature(
          "SignatureOfTheUncompressedText",
          [](const TRelease& r) { return SignList(r.Text, PublisherKeys().SecretKey); }),
      ChangeSignature("SignatureByAStranger",
                      [](const TRelease& r) { return SignList(r.List, StrangerKeys().SecretKey); }),
      ChangeSignature(
          "SignatureLastByteCut", [](const TRelease& r) { return r.Signature.substr(0, 63); },
          kNotASignature),
      ChangeSignature(
          "SignatureFirstHalfOnly", [](const TRelease& r) { return r.Signature.substr(0, 32); },
          kNotASignature),
      ChangeSignature(
          "SignatureOneByte", [](const TRelease& r) { return r.Signature.substr(0, 1); },
          kNotASignature),
      ChangeSignature(
          "SignatureByteAppended", [](const TRelease& r) { return r.Signature + '\0'; },
          kNotASignature),
      ChangeSignature(
          "SignatureTwice", [](const TRelease& r) { return r.Signature + r.Signature; },
          kNotASignature),
      ChangeSignature(
          "SignatureAsHexText", [](const TRelease& r) { return HexEncode(r.Signature); },
          kNotASignature),
      ChangeSignature(
          "SignatureFileEmpty", [](const TRelease&) { return std::string(); }, kNotASignature),
      // The signature's address answered by something else.
      {"SignatureMissing", [](const TRelease& r) { ServeList(r, r.List); }, kNotASignature},
      {"SignatureAnErrorPage",
       [](const TRelease& r) {
         ServeList(r, r.List);
         r.Http.ServeBody("files.lst.bz2.sig", "<html><body>Internal error</body></html>", 500,
                          "text/html");
       },
       kNotASignature},
      {"SignatureAPageOfTheServer",
       [](const TRelease& r) {
         ServeList(r, r.List);
         r.Http.ServeBody("files.lst.bz2.sig", "<html><body>Welcome</body></html>", 200,
                          "text/html");
       },
       kNotASignature},
      {"SignatureBrokenOff",
       [](const TRelease& r) {
         ServeList(r, r.List);
         r.Http.ServeBrokenBody("files.lst.bz2.sig", r.Signature.substr(0, 40), kSignatureBytes);
       },
       kNotASignature, 0, nullptr, kDownloadAttempts},
      {"SignatureNotAnswered",
       [](const TRelease& r) {
         ServeList(r, r.List);
         r.Http.ServeNoAnswer("files.lst.bz2.sig");
       },
       "could not be opened"},
      {"SignatureEndless",
       [](const TRelease& r) {
         ServeList(r, r.List);
         ServeSignature(r, std::string(5000, 'x'));
       },
       "is not a signature (the body is longer than"},
      {"UnsignedServerWithAnyList",
       [](const TRelease& r) { ServeList(r, test::Bz2Compress(AttackerText(r))); }, kNotASignature},
      // Validly signed, but older than the folder.
      {"OlderSignedList",
       [](const TRelease& r) {
         const std::string list = test::Bz2Compress(r.OtherRelease(kReleaseRev - 1));
         ServeList(r, list);
         ServeSignature(r, SignList(list, PublisherKeys().SecretKey));
       },
       "revision 5 is older than this folder's revision 6", kReleaseRev},
      {"SignedListOlderThanTheFolder",
       [](const TRelease& r) {
         ServeList(r, r.List);
         ServeSignature(r, r.Signature);
       },
       "revision 6 is older than this folder's revision 9", 9},
      {"SignedListBelowOneAlreadyTaken",
       [](const TRelease& r) {
         // A run of the next release took its list and then failed on a file.
         OpenSettingsStore()->WriteInteger(kSettingsSection, kVerifiedRevision, kReleaseRev + 1);
         ServeList(r, r.List);
         ServeSignature(r, r.Signature);
       },
       "revision 6 is older than revision 7, whose signed list this folder has already taken",
       kReleaseRev - 1},
      // A client whose key is not a key trusts nothing.
      {"ClientKeyNotHex",
       [](const TRelease& r) {
         ServeList(r, r.List);
         ServeSignature(r, r.Signature);
       },
       "is not 64 hex digits", 0, "not a key"},
  };
  return cases;
}

class SignedListRun : public SettingsFixture {
 protected:
  SignedListRun() {
    WriteFileBytes(Game("game.dat"), "old game");
    WriteFileBytes(Game("korvath-cli.exe"), "old updater");
    WriteFileBytes(FHosts, kHostsBefore);
    FBefore = GameFiles();
  }

  // The release: a critical and a normal file, a new updater and a hosts entry, at revision rev.
  std::string ReleaseText(int rev) {
    return test::ListText(rev, 1, {FServer.PublishFile("game.dat", "new game")},
                          {FServer.PublishFile("data\\normal.dat", "normal")},
                          "[hosts]\r\n1.2.3.4|login.korvath.example\r\n[/hosts]\r\n[self]\r\n" +
                              FServer.PublishFile("korvath-cli.exe", "new updater") +
                              "\r\n[/self]\r\n");
  }
  TRelease Publisher() {
    TRelease release{ReleaseText(kReleaseRev), "", "", [this](int rev) { return ReleaseText(rev); },
                     FServer.Http()};
    release.List = test::Bz2Compress(release.Text);
    release.Signature = SignList(release.List, PublisherKeys().SecretKey);
    return release;
  }
  test::RunOutcome Run(int folderRevision, const std::string& key) {
    return test::RunUpdate(FServer.BaseUrl(), [&](GFilesThread& w) {
      w.FListPublicKey = key;
      w.FRevision = folderRevision;
    });
  }
  std::string Game(const std::string& relative) const { return FGame / relative; }
  // The game folder's files, without the settings store the fixture keeps in it.
  std::map<std::string, std::string> GameFiles() {
    auto files = test::FolderContents(FGame.Path());
    std::erase_if(files, [](const auto& f) { return f.first.rfind("config/", 0) == 0; });
    return files;
  }
  std::vector<std::string> RequestedPaths() {
    std::vector<std::string> paths;
    for (const auto& r : FServer.Http().Requests()) paths.push_back(r.Path);
    return paths;
  }

  test::TestServer FServer;
  test::TempDir FEtc;
  std::string FHosts = FEtc / "hosts";
  test::ScopedEnv FHostsEnv{"KORVATH_HOSTS_FILE", FHosts};
  std::map<std::string, std::string> FBefore;
};

class SignedListTampering : public SignedListRun,
                            public ::testing::WithParamInterface<TamperCase> {};

TEST_P(SignedListTampering, RunFailsAndChangesNothing) {
  const TamperCase& c = GetParam();
  const TRelease release = Publisher();
  c.Serve(release);
  const test::RunOutcome run =
      Run(c.FolderRevision,
          c.ClientKey != nullptr ? c.ClientKey : HexEncode(PublisherKeys().PublicKey));

  EXPECT_EQ(run.Status, kUpdateFailed);
  ASSERT_EQ(run.RunFailures.size(), 1u);
  EXPECT_NE(run.RunFailures[0].find(c.Reason), std::string::npos) << run.RunFailures[0];
  EXPECT_TRUE(run.FailedFiles.empty());
  EXPECT_TRUE(test::Only(run.Calls, "rev:").empty()) << "no revision is stored";
  EXPECT_EQ(run.Calls.back(), "enable");
  // Not a byte of the folder changed, no temporary is left, the hosts file is as it was, and
  // nothing the list names was even fetched.
  EXPECT_EQ(GameFiles(), FBefore);
  EXPECT_EQ(ReadFileBytes(FHosts), kHostsBefore);
  std::vector<std::string> expected{"files.lst.bz2"};
  expected.insert(expected.end(), static_cast<size_t>(c.SignatureAsked), "files.lst.bz2.sig");
  EXPECT_EQ(RequestedPaths(), expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, SignedListTampering, ::testing::ValuesIn(TamperCases()),
                         [](const ::testing::TestParamInfo<TamperCase>& c) {
                           return c.param.Name;
                         });

TEST_F(SignedListRun, SignedListIsAppliedWholeAndTheSameRevisionAgainIsTaken) {
  const TRelease release = Publisher();
  ServeList(release, release.List);
  ServeSignature(release, release.Signature);
  const std::string key = HexEncode(PublisherKeys().PublicKey);

  test::RunOutcome run = Run(0, key);
  EXPECT_EQ(run.Status, kAllUpdated);
  EXPECT_TRUE(run.RunFailures.empty());
  const std::map<std::string, std::string> expected{
      {"game.dat", "new game"}, {"data/normal.dat", "normal"}, {"korvath-cli.exe", "new updater"}};
  EXPECT_EQ(GameFiles(), expected) << "no list, download or signature is left behind";
  EXPECT_NE(ReadFileBytes(FHosts).find("1.2.3.4\tlogin.korvath.example"), std::string::npos);
  EXPECT_EQ(test::Only(run.Calls, "rev:"), std::vector<std::string>{"rev:6"});
  EXPECT_EQ(FServer.RequestsFor("files.lst.bz2.sig"), 1);

  // The folder at the list's own revision takes the list again: only a lower one is old.
  WriteFileBytes(Game("game.dat"), "changed by the player");
  run = Run(kReleaseRev, key);
  EXPECT_EQ(run.Status, kAllUpdated);
  EXPECT_EQ(ReadFileBytes(Game("game.dat")), "new game");

  // The next release's list is recorded before it is applied: a failed file holds back no more.
  const std::string next = test::Bz2Compress(release.OtherRelease(kReleaseRev + 1));
  ServeList(release, next);
  ServeSignature(release, SignList(next, PublisherKeys().SecretKey));
  FServer.Http().ServeNoAnswer("data/normal.dat.bz2");
  WriteFileBytes(Game("data/normal.dat"), "changed by the player");
  run = Run(kReleaseRev, key);
  EXPECT_EQ(run.Status, kUpdateFailed);
  EXPECT_TRUE(test::Only(run.Calls, "rev:").empty());
  EXPECT_EQ(OpenSettingsStore()->ReadInteger(kSettingsSection, kVerifiedRevision, 0),
            kReleaseRev + 1);
}

TEST_F(SignedListRun, ClientWithoutKeyAsksForNoSignatureAndTakesAnyList) {
  FServer.PublishList(ReleaseText(2));
  const test::RunOutcome run = Run(5, "");
  EXPECT_EQ(run.Status, kAllUpdated);
  EXPECT_EQ(ReadFileBytes(Game("game.dat")), "new game");
  EXPECT_EQ(FServer.RequestsFor("files.lst.bz2.sig"), 0);
}

}  // namespace
}  // namespace korvath
