// Whole update runs against a loopback update server, in a fresh game folder per test.
#include "tests/integration/UpdateRun.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/GetFilesThr.h"
#include "engine/Resume.h"
#include "list/FileEntry.h"
#include "list/Limits.h"
#include "platform/Http.h"
#include "runtime/SettingsStore.h"
#include "tests/support/Bz2Compress.h"
#include "tests/support/RecordingView.h"
#include "tests/support/Release.h"
#include "tests/support/SettingsFixture.h"
#include "tests/support/System.h"
#include "tests/support/TempDir.h"
#include "transfer/Sha256.h"

namespace korvath {
namespace {

using test::Exists;
using test::ReadFileBytes;
using test::WriteFileBytes;

TEST_F(UpdateRun, FirstRunInEmptyFolderInstallsEverythingAndStoresRevision) {
  const std::string exe = test::NoiseBytes(70000, 3), dll(5000, 'd'), map = "map data";
  FServer.PublishList(test::ListText(5, 0, {FServer.PublishFile("game.exe", exe)},
                                     {FServer.PublishFile("system\\core.dll", dll),
                                      FServer.PublishFile("maps\\Sub\\one.map", map)}));
  const Outcome run = Run();
  EXPECT_EQ(run.Status, kAllUpdated);
  EXPECT_TRUE(run.FailedFiles.empty());
  const std::map<std::string, std::string> expected{
      {"game.exe", exe}, {"system/core.dll", dll}, {"maps/Sub/one.map", map}};
  EXPECT_EQ(GameFiles(), expected);
  EXPECT_EQ(test::Only(run.Calls, "rev:"), std::vector<std::string>{"rev:5"});
  EXPECT_EQ(FServer.RequestsFor("maps/Sub/one.map.bz2"), 1);
  for (const auto& r : FServer.Http().Requests()) EXPECT_EQ(r.UserAgent, "ViDivivuRidevuv");
}

TEST_F(UpdateRun, StatusTextsAndTotalGaugeFollowTheRunInOrder) {
  WriteFileBytes(Game("same.txt"), "same");
  FServer.PublishList(test::ListText(
      1, 0, {FServer.PublishFile("same.txt", "same"), FServer.PublishFile("new.txt", "new")}, {}));
  const Outcome run = Run(false, 1);
  std::vector<std::string> statuses, totals;
  for (const auto& c : run.Calls) {
    if (c.rfind("status:", 0) == 0) statuses.push_back(c);
    if (c.rfind("total:", 0) == 0 || c.rfind("max1:", 0) == 0) totals.push_back(c);
  }
  const std::vector<std::string> expectedStatuses{"status:Downloading updates list",
                                                  "status:",
                                                  "status:Checking files",
                                                  "status:Checking same.txt",
                                                  "status:Checking new.txt",
                                                  "status:",
                                                  "status:Downloading new.txt",
                                                  "status:Extracting new.txt",
                                                  "status:All the files have been updated"};
  EXPECT_EQ(statuses, expectedStatuses);
  const std::vector<std::string> expectedTotals{"max1:1", "total:0", "total:1", "total:0",
                                                "max1:0", "total:1", "total:0"};
  EXPECT_EQ(totals, expectedTotals);
  EXPECT_EQ(run.Calls.front(), "disable");
  // The file gauge's maximum is first the listed size, then the real compressed size.
  const auto maxima = test::Only(run.Calls, "max0:");
  ASSERT_EQ(maxima.size(), 3u);  // the list's unpacking, then the file's download and unpacking
  EXPECT_EQ(maxima[1], maxima[2]);
}

TEST_F(UpdateRun, NormalFilesAreCheckedOnRevisionRiseOrFullCheckOnly) {
  const std::string critical = FServer.PublishFile("critical.dat", "c1");
  const std::string normal = FServer.PublishFile("normal.dat", "n1");
  FServer.PublishList(test::ListText(7, 0, {critical}, {normal}));
  OpenSettingsStore()->WriteInteger(kSettingsSection, kAtRevision, 7);

  Outcome run = Run();  // same revision: critical files only
  EXPECT_EQ(run.Status, kAllUpdated);
  EXPECT_TRUE(Exists(Game("critical.dat")));
  EXPECT_FALSE(Exists(Game("normal.dat")));
  EXPECT_TRUE(test::Only(run.Calls, "rev:").empty());

  run = Run(true);  // full check at the same revision: both, nothing stored
  EXPECT_EQ(ReadFileBytes(Game("normal.dat")), "n1");
  EXPECT_TRUE(test::Only(run.Calls, "rev:").empty());

  FServer.PublishList(test::ListText(8, 0, {critical}, {FServer.PublishFile("normal.dat", "n2")}));
  run = Run();  // revision rise: both, and the new revision stored
  EXPECT_EQ(ReadFileBytes(Game("normal.dat")), "n2");
  EXPECT_EQ(test::Only(run.Calls, "rev:"), std::vector<std::string>{"rev:8"});

  run = Run(false, 8);  // nothing to do: empty final status
  EXPECT_EQ(run.Status, "");
}

TEST_F(UpdateRun, BackupFolderIsEmptiedOnNormalChecksAndAddedToOtherwise) {
  WriteFileBytes(Game("old.dat"), "old content");
  WriteFileBytes(Game("backup/stale.dat"), "from an earlier run");
  FServer.PublishList(test::ListText(2, 0, {FServer.PublishFile("old.dat", "new content")},
                                     {FServer.PublishFile("fresh\\new.dat", "brand new")}));
  Outcome run = Run(false, 1, 1);
  EXPECT_EQ(run.Status, kAllUpdated);
  EXPECT_EQ(ReadFileBytes(Game("backup/old.dat")), "old content");
  EXPECT_FALSE(Exists(Game("backup/stale.dat")));
  EXPECT_FALSE(Exists(Game("backup/fresh/new.dat"))) << "a new file has nothing to back up";
  EXPECT_EQ(ReadFileBytes(Game("old.dat")), "new content");

  // A critical-only run keeps what the folder holds and adds to it.
  WriteFileBytes(Game("old.dat"), "changed by the player");
  run = Run(false, 2, 1);
  EXPECT_EQ(ReadFileBytes(Game("backup/old.dat")), "changed by the player");
  WriteFileBytes(Game("backup/keep.dat"), "k");
  run = Run(false, 2, 1);
  EXPECT_TRUE(Exists(Game("backup/keep.dat")));
}

TEST_F(UpdateRun, BackupsOfAnUpgradeThatFailedSurviveItsRepeats) {
  for (const char* name : {"a.dat", "b.dat"})
    WriteFileBytes(Game(name), std::string("old ") + name);
  const std::string a = FServer.PublishFile("a.dat", "new a.dat");
  FServer.PublishList(test::ListText(6, 0, {}, {a, FServer.PublishFile("b.dat", "new b.dat")}));
  FServer.Http().ServeNoAnswer("b.dat.bz2");
  EXPECT_EQ(Run(false, 5, 1).Status, kUpdateFailed);
  WriteFileBytes(Game("a.dat"), "edited a.dat");  // a later version: replaced, its copy stays
  FServer.PublishFile("b.dat", "new b.dat");
  EXPECT_EQ(Run(false, 5, 1).Status, kAllUpdated);
  const std::map<std::string, std::string> copies{{"a.dat", "old a.dat"}, {"b.dat", "old b.dat"}};
  EXPECT_EQ(test::FolderContents(Game("backup")), copies);
  EXPECT_EQ(OpenSettingsStore()->ReadInteger(kSettingsSection, kBackupRevision, 0), 6);
}

TEST_F(UpdateRun, AStoreThatCannotBeWrittenKeepsNoBackupRevisionAndTheRunGoesOn) {
  WriteFileBytes(Game("n.dat"), "old");
  FServer.PublishList(test::ListText(2, 0, {}, {FServer.PublishFile("n.dat", "new")}));
  BlockStoreWrites();
  const Outcome run = Run(false, 1, 1);
  EXPECT_EQ(run.Status, kAllUpdated);
  EXPECT_EQ(ReadFileBytes(Game("n.dat")), "new");
  EXPECT_EQ(ReadFileBytes(Game("backup/n.dat")), "old");
  EXPECT_EQ(run.Notices.size(), 1u) << "the copies' revision could not be recorded";
  EXPECT_EQ(OpenSettingsStore()->ReadInteger(kSettingsSection, kBackupRevision, 0), 0);
}

class FiveFiles : public UpdateRun {
 protected:
  void SetUp() override {
    for (int i = 1; i <= 5; ++i) {
      const std::string name = "f" + std::to_string(i) + ".dat";
      WriteFileBytes(Game(name), "old " + name);
      FEntries.push_back(FServer.PublishFile(name, "new " + name));
    }
  }
  void ExpectFile(int i, bool replaced) {
    const std::string name = "f" + std::to_string(i) + ".dat";
    EXPECT_EQ(ReadFileBytes(Game(name)), (replaced ? "new " : "old ") + name);
  }
  std::vector<std::string> FEntries;
};

TEST_F(FiveFiles, DownloadThatCannotBeOpenedStopsThePass) {
  FServer.Http().ServeNoAnswer("f3.dat.bz2");
  FServer.PublishList(test::ListText(3, 0, FEntries, {}));
  const Outcome run = Run(false, 1);
  EXPECT_EQ(run.Status, kUpdateFailed);
  ExpectFile(1, true);
  ExpectFile(2, true);
  for (int i = 3; i <= 5; ++i) ExpectFile(i, false);
  ASSERT_EQ(run.FailedFiles.size(), 1u);
  EXPECT_NE(run.FailedFiles[0].find("f3.dat: could not be opened"), std::string::npos);
  EXPECT_TRUE(test::Only(run.Calls, "rev:").empty()) << "a failed run keeps the old revision";
}

TEST_F(FiveFiles, DamagedErrorPageTruncatedOrMismatchingFilesKeepTheOldOneAndThePassGoesOn) {
  const struct {
    const char* what;
    std::function<void(test::TestServer&)> serve;
    const char* reason;
  } cases[] = {
      {"damaged archive",
       [](test::TestServer& s) {
         std::string body = test::Bz2Compress(test::NoiseBytes(20000, 9));
         body[body.size() / 2] ^= 0x55;
         s.Http().ServeBody("f3.dat.bz2", body);
       },
       "damaged archive"},
      {"error page",
       [](test::TestServer& s) {
         s.Http().ServeBody("f3.dat.bz2", test::HttpFixture::kNotFoundPage, 404, "text/html");
       },
       "damaged archive"},
      {"truncated body",
       [](test::TestServer& s) {
         const std::string body = test::Bz2Compress(test::NoiseBytes(30000, 4));
         s.Http().ServeBrokenBody("f3.dat.bz2", body.substr(0, body.size() / 2), body.size());
       },
       "damaged archive"},
      {"digest mismatch",
       [](test::TestServer& s) {
         s.Http().ServeBody("f3.dat.bz2", test::Bz2Compress("not the listed content"));
       },
       "digest mismatch"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    for (int i = 1; i <= 5; ++i)
      WriteFileBytes(Game("f" + std::to_string(i) + ".dat"), "old f" + std::to_string(i) + ".dat");
    for (int i = 1; i <= 5; ++i)
      FServer.PublishFile("f" + std::to_string(i) + ".dat", "new f" + std::to_string(i) + ".dat");
    c.serve(FServer);
    FServer.PublishList(test::ListText(3, 0, FEntries, {}));
    const Outcome run = Run(false, 1);
    EXPECT_EQ(run.Status, kUpdateFailed);
    for (int i = 1; i <= 5; ++i) ExpectFile(i, i != 3);
    ASSERT_EQ(run.FailedFiles.size(), 1u);
    EXPECT_NE(run.FailedFiles[0].find(c.reason), std::string::npos) << run.FailedFiles[0];
    EXPECT_EQ(GameFiles().size(), 5u) << "no temporaries are left beside the files";
  }
}

TEST_F(UpdateRun, HostilePathsAreRefusedAndNothingIsWrittenOutside) {
  const char* hostile[] = {
      "..\\escape.dat",   "a\\..\\..\\escape.dat",
      "../escape2.dat",   "\\rooted.dat",
      "/rooted2.dat",     "C:\\Windows\\evil.dll",
      "c:evil.dll",       "\\\\server\\share\\x.dat",
      "\\\\?\\C:\\x.dat", "a\\.\\b.dat",
      "dir\\con",         "NUL.txt",
      "com1.dat",         "lpt9",
      "name.\\x",         "trailing \\x",
      "ctl\x01.dat",      "stream.dat:evil",
  };
  std::vector<std::string> entries;
  for (const char* path : hostile)
    entries.push_back(std::string(path) + "|" + test::Md5Hex("x") + "|10");
  entries.push_back(FServer.PublishFile("good.dat", "good"));
  FServer.PublishList(test::ListText(4, 0, entries, {}));
  const Outcome run = Run(false, 4);
  EXPECT_EQ(run.Status, kUpdateFailed);
  EXPECT_EQ(ReadFileBytes(Game("good.dat")), "good");
  EXPECT_EQ(run.FailedFiles.size(), std::size(hostile));
  for (const auto& failure : run.FailedFiles)
    EXPECT_NE(failure.find("refused path"), std::string::npos) << failure;
  const std::map<std::string, std::string> only{{"good.dat", "good"}};
  EXPECT_EQ(GameFiles(), only);
  EXPECT_FALSE(Exists(std::filesystem::path(FGame.Path()).parent_path().parent_path().string() +
                      "/escape.dat"));
  EXPECT_EQ(FServer.Http().Requests().size(), 2u) << "only the list and the good file are fetched";
}

TEST_F(UpdateRun, BadSizeOrShortEntryFailsTheRunButGivesTheButtonsBack) {
  const std::string digest = test::Md5Hex("x");
  for (const char* size : {"-5", "12abc", "0x10", " 12"}) {
    SCOPED_TRACE(size);
    FServer.PublishList(test::ListText(9, 0, {"bad.dat|" + digest + "|" + size}, {}));
    const Outcome run = Run(false, 1);
    EXPECT_EQ(run.Status, kUpdateFailed);
    EXPECT_EQ(run.RunFailures.size(), 1u);
    EXPECT_FALSE(Exists(Game("bad.dat")));
    EXPECT_TRUE(test::Only(run.Calls, "rev:").empty());
  }
  FServer.PublishList(test::ListText(9, 0, {"short.dat|" + digest}, {}));
  EXPECT_EQ(Run(false, 1).Status, kUpdateFailed);
  FServer.PublishList("[settings]\r\nRev|x\r\nModHosts|0\r\n[/settings]\r\n");
  const Outcome run = Run(false, 1);
  EXPECT_EQ(run.Status, kUpdateFailed);
  ASSERT_EQ(run.RunFailures.size(), 1u);
  EXPECT_NE(run.RunFailures[0].find("\"Rev\""), std::string::npos) << run.RunFailures[0];
}

TEST_F(UpdateRun, ListThatCannotBeFetchedOrUnpackedFailsAndOldListIsRemoved) {
  WriteFileBytes(Game("files.lst"), "[settings]\r\nRev|99\r\nModHosts|0\r\n[/settings]\r\n");
  EXPECT_EQ(Run().Status, kUpdateFailed);  // nothing is served at all: the list is a 404 page
  FServer.Http().ServeNoAnswer("files.lst.bz2");
  WriteFileBytes(Game("files.lst"), "stale");
  const Outcome run = Run();
  EXPECT_EQ(run.Status, kUpdateFailed);
  EXPECT_TRUE(test::Only(run.Calls, "rev:").empty());
  const std::string listBody =
      test::Bz2Compress(test::ListText(3, 0, {FServer.PublishFile("a.dat", "a")}, {}));
  FServer.Http().ServeBrokenBody("files.lst.bz2", listBody.substr(0, listBody.size() - 10),
                                 listBody.size());
  EXPECT_EQ(Run().Status, kUpdateFailed) << "a truncated list is never read";
  EXPECT_FALSE(Exists(Game("a.dat")));
}

TEST_F(UpdateRun, EntryListedTwiceIsReplacedOnceAndItsBackupKeepsTheOldContent) {
  WriteFileBytes(Game("twice.dat"), "old");
  const std::string entry = FServer.PublishFile("twice.dat", "new");
  std::string upper = entry;
  upper.replace(0, 9, "TWICE.DAT");
  FServer.PublishList(test::ListText(2, 0, {entry}, {upper, entry}));
  const Outcome run = Run(false, 1, 1);
  EXPECT_EQ(run.Status, kAllUpdated);
  EXPECT_EQ(FServer.RequestsFor("twice.dat.bz2"), 1);
  EXPECT_EQ(ReadFileBytes(Game("backup/twice.dat")), "old");
}

TEST_F(UpdateRun, ListPathsMatchExistingNamesIgnoringLetterCase) {
  WriteFileBytes(Game("system/x.dll"), "old");
  FServer.PublishList(test::ListText(2, 0, {FServer.PublishFile("System\\X.dll", "new")}, {}));
  EXPECT_EQ(Run(false, 2).Status, kAllUpdated);
  const auto files = GameFiles();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files.begin()->second, "new");
}

TEST_F(UpdateRun, UpperCaseDigestStillInstallsTheListedContent) {
  std::string entry = FServer.PublishFile("u.dat", "upper");
  for (char& c : entry)
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
  entry.replace(0, 5, "u.dat");
  FServer.PublishList(test::ListText(1, 0, {entry}, {}));
  EXPECT_EQ(Run(false, 1).Status, kAllUpdated);
  EXPECT_EQ(ReadFileBytes(Game("u.dat")), "upper");
}

TEST_F(UpdateRun, LeftoversOfAKilledRunAreRemovedUnlessListed) {
  const std::string current = FServer.PublishFile("a.dat", "current");
  WriteFileBytes(Game("a.dat"), "current");
  WriteFileBytes(Game("a.dat.bz2"), "half a download");
  WriteFileBytes(Game("a.dat.unpack"), "half unpacked");
  WriteFileBytes(Game("a.dat.patch"), "half a patch");
  WriteFileBytes(Game("b.dat.bz2"), "a listed file");
  // Kept partials of names the run does not check go with their records: one the list no
  // longer carries, one of a normal file at the folder's revision; a listed name stays, and so
  // do the player's backup copies.
  for (const char* name : {"gone/old.dat", "n.dat", "b.dat"}) {
    WriteFileBytes(Game(std::string(name) + ".bz2.resume"), "a record");
    if (name[0] != 'b') WriteFileBytes(Game(std::string(name) + ".bz2"), "a partial");
  }
  WriteFileBytes(Game("n.dat"), "normal");
  WriteFileBytes(Game("backup/x.dat.bz2.resume"), "a copy");
  WriteFileBytes(Game("sub/c.dat"), "c");  // each folder is asked once, not only the top one
  WriteFileBytes(Game("sub/c.dat.unpack"), "half unpacked");
  FServer.PublishList(test::ListText(1, 0,
                                     {current, FServer.PublishFile("b.dat.bz2", "a listed file"),
                                      FServer.PublishFile("sub\\c.dat", "c")},
                                     {FServer.PublishFile("n.dat", "normal")}));
  EXPECT_EQ(Run(false, 1).Status, "");
  const std::map<std::string, std::string> expected{{"a.dat", "current"},
                                                    {"b.dat.bz2", "a listed file"},
                                                    {"n.dat", "normal"},
                                                    {"sub/c.dat", "c"},
                                                    {"backup/x.dat.bz2.resume", "a copy"}};
  EXPECT_EQ(GameFiles(), expected);
}

// A killed run leaves a partial download with the record of where it came from: the next run
// asks only for the rest, If-Range the record's validator.
TEST_F(UpdateRun, PartialDownloadOfAKilledRunIsContinued) {
  const std::string content = test::NoiseBytes(20000, 3);
  const std::string archive = test::Bz2Compress(content);
  const size_t half = archive.size() / 2;
  const std::string address = FServer.BaseUrl() + "r.dat.bz2";
  WriteFileBytes(Game("r.dat.bz2"), archive.substr(0, half));
  WriteFileBytes(Game("r.dat.bz2.resume"),
                 FormatResumeRecord({address, "\"v1\"", static_cast<int64_t>(archive.size())}));
  FServer.Http().ServeScript(
      "r.dat.bz2", {{206, archive.substr(half), archive.size() - half,
                     "bytes " + std::to_string(half) + "-" + std::to_string(archive.size() - 1) +
                         "/" + std::to_string(archive.size()),
                     "\"v1\""}});
  FServer.PublishList(test::ListText(
      1, 0, {"r.dat|" + test::Md5Hex(content) + "|" + std::to_string(archive.size())}, {}));

  EXPECT_EQ(Run(false, 1).Status, kAllUpdated);

  const std::map<std::string, std::string> expected{{"r.dat", content}};
  EXPECT_EQ(GameFiles(), expected);
  std::vector<std::string> asked;
  for (const auto& r : FServer.Http().Requests())
    if (r.Path == "r.dat.bz2") asked.push_back(r.Range + " " + r.IfRange);
  EXPECT_EQ(asked, std::vector<std::string>{"bytes=" + std::to_string(half) + "- \"v1\""});
}

TEST_F(UpdateRun, EndlessBodyIsCutOffAndTheOldFileStays) {
  WriteFileBytes(Game("big.dat"), "old");
  const std::string entry =
      IntegrityField(Sha256Hex("new"), 100) + "|big.dat|" + test::Md5Hex("new") + "|100";
  FServer.Http().ServeBody("big.dat.bz2", std::string(1024 * 1024 + 401, 'x'));
  FServer.PublishList(test::ListText(1, 0, {entry}, {}));
  const Outcome run = Run(false, 1);
  EXPECT_EQ(run.Status, kUpdateFailed);
  ASSERT_EQ(run.FailedFiles.size(), 1u);
  EXPECT_NE(run.FailedFiles[0].find("longer than " + std::to_string(MaxBodyFor(100)) + " bytes"),
            std::string::npos)
      << run.FailedFiles[0];
  const std::map<std::string, std::string> expected{{"big.dat", "old"}};
  EXPECT_EQ(GameFiles(), expected);
}

TEST_F(UpdateRun, ListOverTheLimitIsRefusedAndALongLineIsRead) {
  const std::string longName(1024 * 1024, 'n');
  const std::string entry = FServer.PublishFile("ok.dat", "ok");
  FServer.PublishList(
      test::ListText(1, 0, {entry}, {}, "[comment]\r\n" + longName + "\r\n[/comment]\r\n"));
  EXPECT_EQ(Run(false, 1).Status, kAllUpdated);
  FServer.PublishList(test::ListText(2, 0, {FServer.PublishFile("late.dat", "late")}, {}) +
                      std::string(64 * 1024 * 1024, ' '));
  const Outcome run = Run(false, 1);
  EXPECT_EQ(run.Status, kUpdateFailed);
  ASSERT_EQ(run.RunFailures.size(), 1u);
  EXPECT_NE(run.RunFailures[0].find("larger than 67108864 bytes"), std::string::npos)
      << run.RunFailures[0];
  EXPECT_FALSE(Exists(Game("late.dat")));
}

// Windows and libcurl honour the receive time-out.
TEST_F(UpdateRun, StalledBodyBreaksOffAndFailsItsFile) {
  if (const std::string why = test::WhyStallsAreNotCutOff(); !why.empty()) GTEST_SKIP() << why;
  platform::SetHttpTimeoutsForTests({5, 1});
  WriteFileBytes(Game("slow.dat"), "old");
  const std::string body = test::Bz2Compress("new");
  FServer.Http().ServeSlowBody("slow.dat.bz2", {body.substr(0, 10), body.substr(10)},
                               std::chrono::milliseconds(3000));
  FServer.PublishList(test::ListText(
      1, 0, {"slow.dat|" + test::Md5Hex("new") + "|" + std::to_string(body.size())}, {}));
  const Outcome run = Run(false, 1);
  platform::SetHttpTimeoutsForTests({});
  EXPECT_EQ(run.Status, kUpdateFailed);
  ASSERT_EQ(run.FailedFiles.size(), 1u);
  EXPECT_NE(run.FailedFiles[0].find("damaged archive"), std::string::npos) << run.FailedFiles[0];
  EXPECT_EQ(ReadFileBytes(Game("slow.dat")), "old");
}

}  // namespace
}  // namespace korvath
