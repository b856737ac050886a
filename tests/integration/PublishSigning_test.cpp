// korvath-publish's signing: the key files keygen makes, the signature build --sign writes, and
// a client with the printed public key taking exactly what was signed.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <string>

#include "engine/GetFilesThr.h"
#include "tests/support/Process.h"
#include "tests/support/Release.h"
#include "tests/support/SettingsFixture.h"
#include "tests/support/TempDir.h"
#include "tests/support/UpdateRunner.h"
#include "transfer/Signature.h"

namespace korvath {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::WriteFileBytes;

// A work folder with a release in it; the game folder is the fixture's own.
class PublishSigning : public SettingsFixture {
 protected:
  PublishSigning() {
    WriteFileBytes(FWork / "release/game.dat", "game, first edition");
    WriteFileBytes(FWork / "release/data/map.dat", "map");
  }
  test::ProcessResult Publish(const std::string& arguments) {
    return test::RunProcess(KORVATH_PUBLISH_EXE, arguments, FWork.Path());
  }
  test::ProcessResult Build(int rev, const std::string& more = "") {
    return Publish("build release out --jobs 1 --rev " + std::to_string(rev) + " " + more);
  }
  std::string Out(const std::string& name) { return FWork / ("out/" + name); }
  // Puts the published folder on the test's server, as it stands.
  void ServeOut() {
    for (const auto& [path, content] : test::FolderContents(FWork / "out"))
      FServer.Http().ServeBody(path, content);
  }
  test::RunOutcome Update(const std::string& key) {
    return test::RunUpdate(FServer.BaseUrl(), [&](GFilesThread& w) { w.FListPublicKey = key; });
  }

  test::TempDir FWork;
  test::TestServer FServer;
};

TEST_F(PublishSigning, KeygenWritesAPrivateSecretKeyAndThePublicKeyAndNeverOverwrites) {
  const auto made = Publish("keygen signing.key");
  ASSERT_EQ(made.ExitCode, 0) << made.Err;
  const std::string publicHex = ReadFileBytes(FWork / "signing.key.pub");
  EXPECT_EQ(made.Out, publicHex);
  ASSERT_EQ(publicHex.size(), 65u);
  std::string publicKey, secretKey;
  ASSERT_TRUE(HexDecode(publicHex.substr(0, 64), publicKey));
  const std::string secretText = ReadFileBytes(FWork / "signing.key");
  ASSERT_TRUE(HexDecode(secretText.substr(0, secretText.size() - 1), secretKey));
  EXPECT_EQ(PublicKeyOf(secretKey), publicKey);
  struct stat info {};
  ASSERT_EQ(stat((FWork / "signing.key").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u) << "only its owner may read a secret key";

  const auto again = Publish("keygen signing.key");
  EXPECT_EQ(again.ExitCode, 1);
  EXPECT_NE(again.Err.find("already exists"), std::string::npos) << again.Err;
  EXPECT_EQ(ReadFileBytes(FWork / "signing.key"), secretText);
  EXPECT_EQ(ReadFileBytes(FWork / "signing.key.pub"), publicHex);
  fs::remove(FWork / "signing.key");
  EXPECT_EQ(Publish("keygen signing.key").ExitCode, 1) << "the public key alone is kept too";
}

TEST_F(PublishSigning, VerifyWithAKeyChecksTheListsSignature) {
  const std::string key = Publish("keygen signing.key").Out.substr(0, 64);
  Publish("keygen other.key");
  const struct {
    const char* Sign;
    std::string Key;
    int ExitCode;
    const char* Expected;
  } cases[] = {
      {"--sign signing.key", key, 0, "the list signed by the key"},
      {"--sign other.key", key, 1, "files.lst.bz2.sig: not a signature of the list by the key"},
      {"", key, 1, "files.lst.bz2.sig: missing"},
      {"--sign signing.key", "0123", 1, "--key 0123: "},
  };
  for (int rev = 1; const auto& c : cases) {
    ASSERT_EQ(Build(rev++, c.Sign).ExitCode, 0) << c.Sign;
    const auto check = Publish("verify out --key " + c.Key);
    EXPECT_EQ(check.ExitCode, c.ExitCode) << c.Sign << " " << c.Key;
    EXPECT_NE((check.Out + check.Err).find(c.Expected), std::string::npos)
        << check.Out << check.Err;
  }
}

TEST_F(PublishSigning, SignedReleaseReachesAClientWithTheKeyAndAnUnsignedOneDropsTheSignature) {
  const std::string key = Publish("keygen signing.key").Out.substr(0, 64);
  const auto built = Build(1, "--sign signing.key");
  ASSERT_EQ(built.ExitCode, 0) << built.Err;
  EXPECT_NE(built.Out.find("public key " + key), std::string::npos) << built.Out;
  EXPECT_TRUE(VerifyListSignature(ReadFileBytes(Out("files.lst.bz2")),
                                  ReadFileBytes(Out("files.lst.bz2.sig")), key));
  const auto changed = Build(1, "--sign signing.key --critical game.dat");  // the list stays
  EXPECT_NE(changed.Err.find("publish with --rev 2 or higher"), std::string::npos) << changed.Err;
  ServeOut();
  test::RunOutcome run = Update(key);
  EXPECT_EQ(run.Status, kAllUpdated) << (run.RunFailures.empty() ? "" : run.RunFailures[0]);
  EXPECT_EQ(ReadFileBytes(FGame / "data/map.dat"), "map");

  // Published again without a key: the old signature fits no list and is gone, and a client
  // with the key refuses the unsigned list.
  WriteFileBytes(FWork / "release/game.dat", "game, second edition");
  const auto plain = Build(2);
  ASSERT_EQ(plain.ExitCode, 0) << plain.Err;
  EXPECT_NE(plain.Out.find("signature was removed"), std::string::npos) << plain.Out;
  EXPECT_FALSE(fs::exists(Out("files.lst.bz2.sig")));
  FServer.Http().ServeBody("files.lst.bz2", ReadFileBytes(Out("files.lst.bz2")));
  FServer.Http().ServeBody("files.lst.bz2.sig", test::HttpFixture::kNotFoundPage, 404, "text/html");
  run = Update(key);
  EXPECT_EQ(run.Status, kUpdateFailed);
  EXPECT_EQ(ReadFileBytes(FGame / "game.dat"), "game, first edition");
}

TEST_F(PublishSigning, BuildRefusesAKeyFileThatIsNoSecretKeyAndWritesNothing) {
  Publish("keygen signing.key");
  std::string damaged = ReadFileBytes(FWork / "signing.key");
  damaged[100] = damaged[100] == '0' ? '1' : '0';  // in the public half
  WriteFileBytes(FWork / "damaged.key", damaged);
  WriteFileBytes(FWork / "short.key", damaged.substr(0, 64) + "\n");
  const struct {
    const char* file;
    const char* problem;
  } cases[] = {{"signing.key.pub", "this is a public key"},
               {"missing.key", "cannot be read"},
               {"damaged.key", "halves do not belong together"},
               {"short.key", "this is a public key"},
               {"release/game.dat", "not a secret key"}};
  for (const auto& c : cases) {
    const auto built = Build(1, std::string("--sign ") + c.file);
    EXPECT_EQ(built.ExitCode, 1) << c.file;
    EXPECT_NE(built.Err.find(c.problem), std::string::npos) << c.file << ": " << built.Err;
    EXPECT_FALSE(fs::exists(Out("files.lst.bz2"))) << c.file;
    EXPECT_FALSE(fs::exists(Out("files.lst.bz2.sig"))) << c.file;
  }
}

}  // namespace
}  // namespace korvath
