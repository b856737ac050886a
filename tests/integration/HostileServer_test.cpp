// The hostile-server corpus, first part: lists whose settings or entries end the run, list texts
// of odd shapes, and list bodies that are not a list. The fixture serves every part.
#include "tests/integration/HostileServer.h"

#include <filesystem>

#include "list/Limits.h"
#include "tests/support/Bz2Compress.h"
#include "tests/support/RecordingView.h"
#include "tests/support/System.h"
#include "tests/support/UpdateRunner.h"
#include "transfer/Misc.h"

namespace korvath::test {

namespace fs = std::filesystem;

const std::string HostileServer::kHostsBefore = "127.0.0.1\tlocalhost\r\n";

void HostileScene::Plant(const std::string& name, const std::string& content) const {
  std::string local = Game + name;
  for (char& c : local)
    if (c == '/') c = static_cast<char>(fs::path::preferred_separator);
  WriteFileBytes(local, content);
}

HostileExpect Failed(FolderFiles files, std::vector<std::string> reasons) {
  return HostileExpect{kUpdateFailed, false, std::move(files), std::move(reasons), std::nullopt};
}
HostileExpect FailedStep(FolderFiles files, std::vector<std::string> reasons) {
  return HostileExpect{kUpdateFailed, true, std::move(files), std::move(reasons), std::nullopt};
}
HostileExpect AllUpdated(FolderFiles files) {
  return HostileExpect{kAllUpdated, true, std::move(files), {}, std::nullopt};
}
HostileExpect NothingToDo(FolderFiles files) {
  return HostileExpect{"", true, std::move(files), {}, std::nullopt};
}

std::string ListWith(const std::string& settings, const std::string& critical,
                     const std::string& extra) {
  return "[settings]\r\n" + settings + "[/settings]\r\n[files_critical]\r\n" + critical +
         "[/files_critical]\r\n" + extra;
}

const std::string& ZeroBombArchive() {
  static const std::string archive = Bz2Compress(std::string(200 * kMiB, '\0'));
  return archive;
}

HostileServer::HostileServer()
    : FHostsEnv("KORVATH_HOSTS_FILE", FHostsDir / "hosts"),
      FConfigEnv("XDG_CONFIG_HOME", FConfigDir.Path()) {}

void HostileServer::RunCases(const std::vector<HostileCase>& cases) {
  for (const HostileCase& c : cases) RunCase(c);
}

void HostileServer::RunCase(const HostileCase& c) {
  SCOPED_TRACE(c.Name);
  const std::string game = FOuter / "game";
  std::error_code ec;
  fs::remove_all(game, ec);
  fs::remove_all(HostsFile(), ec);
  fs::remove_all(FConfigDir / "korvath", ec);
  fs::create_directories(game);
  WriteFileBytes(HostsFile(), kHostsBefore);

  RunOutcome run;
  {
    TestServer server;
    HostileScene scene{server,      game + static_cast<char>(fs::path::preferred_separator),
                       HostsFile(), nullptr,
                       nullptr,     {},
                       {}};
    c.Setup(scene);
    CurrentDirScope inGame(scene.Game);
    run = RunUpdate(server.BaseUrl(), [&](GFilesThread& worker) {
      if (scene.Configure) scene.Configure(worker);
    });
    if (scene.AfterRun) scene.AfterRun();
    const auto gaveWay = [](const std::vector<std::string>& expected,
                            const std::vector<std::string>& reported, const char* what) {
      for (const std::string& reason : expected) {
        bool found = false;
        for (const std::string& line : reported)
          found = found || line.find(reason) != std::string::npos;
        EXPECT_TRUE(found) << "no " << what << " gave way for \"" << reason << "\""
                           << (reported.empty() ? "" : "; one did for \"" + reported[0] + "\"");
      }
    };
    gaveWay(scene.PatchReasons, run.Patches, "patch");
    gaveWay(scene.CopyReasons, run.Copies, "zstd copy");
  }

  ASSERT_FALSE(run.Calls.empty());
  EXPECT_EQ(run.Calls.front(), "disable");
  EXPECT_EQ(run.Calls.back(), "enable") << "the buttons must come back whatever the server sent";
  EXPECT_EQ(run.Status, c.Expect.Status);
  EXPECT_EQ(!Only(run.Calls, "rev:").empty(), c.Expect.Stored);
  EXPECT_EQ(FolderContents(game), c.Expect.Files);

  // Failures name list text, which may be long: each is shown shortened.
  std::vector<std::string> failures = run.RunFailures;
  failures.insert(failures.end(), run.FailedFiles.begin(), run.FailedFiles.end());
  std::string shown;
  for (const std::string& f : failures)
    shown += (f.size() > 300 ? f.substr(0, 150) + "..." + f.substr(f.size() - 150) : f) + "\n";
  if (c.Expect.Reasons.empty()) {
    EXPECT_TRUE(failures.empty()) << "reported:\n" << shown;
  } else {
    bool found = false;
    for (const std::string& f : failures)
      for (const std::string& reason : c.Expect.Reasons)
        found = found || f.find(reason) != std::string::npos;
    EXPECT_TRUE(found) << "reported:\n" << shown;
  }

  // Nothing beside the game folder, nothing but the hosts file beside the hosts file.
  std::vector<std::string> outside;
  for (const auto& item : fs::recursive_directory_iterator(FOuter.Path())) {
    const std::string name = fs::relative(item.path(), FOuter.Path()).generic_string();
    if (name != "game" && name.rfind("game/", 0) != 0) outside.push_back(name);
  }
  for (const auto& item : fs::directory_iterator(FHostsDir.Path()))
    if (item.path().filename() != "hosts") outside.push_back(item.path().generic_string());
  EXPECT_EQ(outside, std::vector<std::string>{});
  if (fs::is_regular_file(HostsFile())) {
    EXPECT_EQ(ReadFileBytes(HostsFile()), c.Expect.HostsAfter.value_or(kHostsBefore));
  }
}

namespace {

const std::string kOldA = "old content of a";
const std::string kNewA = "new content of a";
const FolderFiles kUnchanged{{"a.dat", kOldA}};
const FolderFiles kReplaced{{"a.dat", kNewA}};
const std::string kSettings = "Rev|5\r\nModHosts|0\r\n";

// A case whose list is Text with "%A%" standing for the entry of a.dat, which the folder holds
// in its old version and the server in its new one.
HostileCase ListCase(std::string name, std::string text, HostileExpect expect) {
  return {std::move(name),
          [text](HostileScene& s) {
            s.Plant("a.dat", kOldA);
            s.Server.PublishList(ReplaceAll(text, "%A%", s.Server.PublishFile("a.dat", kNewA)));
          },
          std::move(expect)};
}

// The usual list with Settings, a.dat as its critical file, and Extra after it.
HostileCase SettingsCase(std::string name, const std::string& settings, HostileExpect expect,
                         const std::string& extra = "") {
  return ListCase(std::move(name), ListWith(settings, "%A%\r\n", extra), std::move(expect));
}

// The list body as the server sends it, whatever it is.
HostileCase BodyCase(std::string name,
                     std::function<void(TestServer&, const std::string& listText)> serve,
                     HostileExpect expect) {
  return {std::move(name),
          [serve](HostileScene& s) {
            s.Plant("a.dat", kOldA);
            serve(s.Server, ListWith(kSettings, s.Server.PublishFile("a.dat", kNewA) + "\r\n"));
          },
          std::move(expect)};
}

TEST_F(HostileServer, SettingsThatEndTheRun) {
  const std::vector<std::string> rev{"\"Rev\""}, modHosts{"\"ModHosts\""}, fields{"List index"};
  RunCases({
      SettingsCase("Rev missing", "ModHosts|0\r\n", Failed(kUnchanged, rev)),
      SettingsCase("Rev without a value", "Rev|\r\nModHosts|0\r\n", Failed(kUnchanged, rev)),
      SettingsCase("Rev a word", "Rev|five\r\nModHosts|0\r\n", Failed(kUnchanged, rev)),
      SettingsCase("Rev with trailing letters", "Rev|12abc\r\nModHosts|0\r\n",
                   Failed(kUnchanged, rev)),
      SettingsCase("Rev beyond 32 bits", "Rev|99999999999\r\nModHosts|0\r\n",
                   Failed(kUnchanged, rev)),
      SettingsCase("Rev with a decimal point", "Rev|1.5\r\nModHosts|0\r\n",
                   Failed(kUnchanged, rev)),
      SettingsCase("Rev with two signs", "Rev|--5\r\nModHosts|0\r\n", Failed(kUnchanged, rev)),
      SettingsCase("Rev key followed by a blank", "Rev |5\r\nModHosts|0\r\n",
                   Failed(kUnchanged, rev)),
      SettingsCase("Rev key in lower case", "rev|5\r\nModHosts|0\r\n", Failed(kUnchanged, rev)),
      SettingsCase("Rev given twice, the first a word", "Rev|x\r\nRev|5\r\nModHosts|0\r\n",
                   Failed(kUnchanged, rev)),
      ListCase("settings section missing", "[files_critical]\r\n%A%\r\n[/files_critical]\r\n",
               Failed(kUnchanged, rev)),
      ListCase("settings header in another case",
               "[Settings]\r\nRev|5\r\nModHosts|0\r\n[/Settings]\r\n", Failed(kUnchanged, rev)),
      SettingsCase("ModHosts missing", "Rev|5\r\n", Failed(kUnchanged, modHosts)),
      SettingsCase("ModHosts a word", "Rev|5\r\nModHosts|yes\r\n", Failed(kUnchanged, modHosts)),
      SettingsCase("ModHosts without a value", "Rev|5\r\nModHosts|\r\n",
                   Failed(kUnchanged, modHosts)),
      SettingsCase("ModHosts bad hexadecimal", "Rev|5\r\nModHosts|0xZZ\r\n",
                   Failed(kUnchanged, modHosts)),
      SettingsCase("bar-only entry ahead of Rev", "|\r\nRev|5\r\nModHosts|0\r\n",
                   Failed(kUnchanged, fields)),
      SettingsCase("double bar ahead of Rev", "||\r\nRev|5\r\nModHosts|0\r\n",
                   Failed(kUnchanged, fields)),
      SettingsCase("bar-only entry between Rev and ModHosts", "Rev|5\r\n|||\r\nModHosts|0\r\n",
                   Failed(kUnchanged, fields)),
      SettingsCase("bar-only entry after both keys is never read", kSettings + "|\r\n",
                   AllUpdated(kReplaced)),
      ListCase("bar-only line outside every section is never read",
               "|\r\n" + ListWith(kSettings, "%A%\r\n"), AllUpdated(kReplaced)),
  });
}

TEST_F(HostileServer, HostsSectionsThatFailTheStage) {
  // The hosts step fails on its own: the files are still brought up to date and their revision
  // stored, and the run ends as a failed one.
  const std::string hostsOn = "Rev|5\r\nModHosts|1\r\n";
  auto withHosts = [&](std::string name, const std::string& hosts,
                       std::vector<std::string> reasons) {
    return SettingsCase(std::move(name), hostsOn, FailedStep(kReplaced, std::move(reasons)),
                        "[hosts]\r\n" + hosts + "[/hosts]\r\n");
  };
  HostileExpect added = AllUpdated(kReplaced);
  added.HostsAfter =
      kHostsBefore +
      "#-------- Added by Korvath --------\r\n10.0.0.1\tgame.example\r\n#-----------------\r\n";
  HostileExpect unreadable = FailedStep(kReplaced, {"cannot be read"});
  unreadable.HostsAfter = "";
  RunCases({
      SettingsCase("ModHosts 1 without a hosts section", hostsOn,
                   FailedStep(kReplaced, {"no \"hosts\" section"})),
      withHosts("ModHosts 1 with an empty hosts section", "", {"no \"hosts\" section"}),
      withHosts("hosts entry of one field", "10.0.0.1\r\n", {"fewer than two fields"}),
      withHosts("hosts entry made of bars", "||\r\n", {"fewer than two fields"}),
      withHosts("second hosts entry of one field", "10.0.0.1|game.example\r\ngame.example\r\n",
                {"fewer than two fields"}),
      withHosts("hosts address out of range", "10.0.0.256|game.example\r\n", {"refused"}),
      withHosts("hosts address with leading zeros", "010.0.0.1|game.example\r\n", {"refused"}),
      withHosts("hosts address a name", "localhost|game.example\r\n", {"refused"}),
      withHosts("hosts address with a zone", "fe80::1%eth0|game.example\r\n", {"refused"}),
      withHosts("hosts name with a blank", "10.0.0.1|game example\r\n", {"refused"}),
      withHosts("hosts name with a TAB and a second name",
                "10.0.0.1|game.example\tbank.example\r\n", {"refused"}),
      withHosts("hosts name with a comment sign", "10.0.0.1|game.example#\r\n", {"refused"}),
      withHosts("hosts name with a control character", "10.0.0.1|game\x01.example\r\n",
                {"refused"}),
      withHosts("hosts name of 300 characters", "10.0.0.1|" + std::string(300, 'h') + "\r\n",
                {"refused"}),
      withHosts("hosts name with an empty label", "10.0.0.1|game..example\r\n", {"refused"}),
      {"hosts file missing",
       [&](HostileScene& s) {
         fs::remove(s.Hosts);
         s.Plant("a.dat", kOldA);
         s.Server.PublishList(ListWith(hostsOn, s.Server.PublishFile("a.dat", kNewA) + "\r\n",
                                       "[hosts]\r\n10.0.0.1|game.example\r\n[/hosts]\r\n"));
       },
       unreadable},
      SettingsCase("ModHosts 1 with a good entry", hostsOn, added,
                   "[hosts]\r\n10.0.0.1|game.example\r\n[/hosts]\r\n"),
      SettingsCase("ModHosts 2 needs no hosts section", "Rev|5\r\nModHosts|2\r\n",
                   AllUpdated(kReplaced)),
  });
}

TEST_F(HostileServer, FileEntriesThatEndTheRun) {
  const std::string digest = Md5Hex("b");
  auto withEntry = [&](std::string name, const std::string& entry,
                       std::vector<std::string> reasons) {
    return ListCase(std::move(name), ListWith(kSettings, entry + "\r\n%A%\r\n"),
                    Failed(kUnchanged, std::move(reasons)));
  };
  const std::vector<std::string> fields{"fewer than three fields"}, size{"not a valid size"};
  HostileExpect notRisen{"", false, kReplaced, {}, std::nullopt};
  RunCases({
      withEntry("file entry of two fields", "b.dat|" + digest, fields),
      withEntry("file entry of one field", "b.dat", fields),
      withEntry("file entry made of bars", "|||", fields),
      withEntry("file entry with an empty size", "b.dat|" + digest + "|", fields),
      withEntry("file entry with an empty digest", "b.dat||12", fields),
      withEntry("size a word", "b.dat|" + digest + "|abc", size),
      withEntry("size with trailing letters", "b.dat|" + digest + "|12abc", size),
      withEntry("negative size", "b.dat|" + digest + "|-5", size),
      withEntry("size with a plus sign", "b.dat|" + digest + "|+5", size),
      withEntry("hexadecimal size", "b.dat|" + digest + "|0x10", size),
      withEntry("size of a lone minus", "b.dat|" + digest + "|-", size),
      withEntry("size with an exponent", "b.dat|" + digest + "|1e3", size),
      withEntry("size one above the largest", "b.dat|" + digest + "|2147483648", size),
      withEntry("size beyond 32 bits", "b.dat|" + digest + "|4294967296", size),
      withEntry("size with a leading blank", "b.dat|" + digest + "| 12", size),
      {"a bad size of a current file is never looked at",
       [&](HostileScene& s) {
         s.Plant("a.dat", kNewA);
         s.Server.PublishList(ListWith(kSettings, "a.dat|" + Md5Hex(kNewA) + "|zz\r\n"));
       },
       NothingToDo(kReplaced)},
      {"a short normal entry is not read without a rise",
       [&](HostileScene& s) {
         s.Plant("a.dat", kNewA);
         s.Server.PublishList(
             ListWith(kSettings, s.Server.PublishFile("a.dat", kNewA) + "\r\n",
                      "[files_normal]\r\nb.dat|" + digest + "\r\n[/files_normal]\r\n"));
         s.Configure = [](GFilesThread& w) { w.FRevision = 5; };
       },
       notRisen},
      ListCase("a short normal entry ends a run with a rise",
               ListWith(kSettings, "%A%\r\n",
                        "[files_normal]\r\nb.dat|" + digest + "\r\n[/files_normal]\r\n"),
               Failed(kUnchanged, fields)),
      ListCase(
          "short self entry",
          ListWith(kSettings, "%A%\r\n", "[self]\r\nKorvath.exe|" + digest + "\r\n[/self]\r\n"),
          Failed(kUnchanged, fields)),
      ListCase(
          "self entry with a bad size",
          ListWith(kSettings, "%A%\r\n", "[self]\r\nKorvath.exe|" + digest + "|big\r\n[/self]\r\n"),
          Failed(kUnchanged, size)),
      {"backup folder that cannot be made again",
       [&](HostileScene& s) {
         s.Plant("a.dat", kOldA);
         s.Plant("backup", "a file where the folder goes");
         s.Server.PublishList(ListWith(kSettings, s.Server.PublishFile("a.dat", kNewA) + "\r\n"));
         s.Configure = [](GFilesThread& w) { w.FCreateBackup = 1; };
       },
       Failed({{"a.dat", kOldA}, {"backup", "a file where the folder goes"}},
              {"backup cannot be made (I/O error"})},
  });
}

TEST_F(HostileServer, ListTextsOfOddShapes) {
  std::string ctrlZEntry;  // a.dat's entry with a Ctrl-Z in its digest
  const std::string megaLine(1024 * 1024, 'n');
  const std::string noise = NoiseBytes(5000, 11);
  RunCases({
      ListCase("settings unclosed at the end of the list",
               "[files_critical]\r\n%A%\r\n[/files_critical]\r\n[settings]\r\n" + kSettings,
               AllUpdated(kReplaced)),
      ListCase("files unclosed at the end of the list",
               "[settings]\r\n" + kSettings + "[/settings]\r\n[files_critical]\r\n%A%\r\n",
               AllUpdated(kReplaced)),
      ListCase(
          "files unclosed before the next header",
          "[settings]\r\n" + kSettings +
              "[/settings]\r\n[files_critical]\r\n%A%\r\n[files_normal]\r\n[/files_normal]\r\n",
          Failed(kUnchanged, {"fewer than three fields"})),
      ListCase("closing line in another case",
               "[settings]\r\n" + kSettings +
                   "[/settings]\r\n[files_critical]\r\n%A%\r\n[/Files_critical]\r\n",
               Failed(kUnchanged, {"fewer than three fields"})),
      ListCase("binary garbage", noise, Failed(kUnchanged, {"\"Rev\""})),
      ListCase("binary garbage after a whole list", ListWith(kSettings, "%A%\r\n") + noise,
               AllUpdated(kReplaced)),
      // Random bytes hold Ctrl-Z, which ends the text before the list begins.
      ListCase("binary garbage ahead of a whole list",
               noise + "\r\n" + ListWith(kSettings, "%A%\r\n"), Failed(kUnchanged, {"\"Rev\""})),
      ListCase("binary garbage without Ctrl-Z ahead of a whole list",
               ReplaceAll(noise, "\x1a", "z") + "\r\n" + ListWith(kSettings, "%A%\r\n"),
               AllUpdated(kReplaced)),
      ListCase("Ctrl-Z ahead of the file sections",
               "[settings]\r\n" + kSettings + "[/settings]\r\n\x1a" +
                   "[files_critical]\r\n%A%\r\n[/files_critical]\r\n",
               NothingToDo(kUnchanged)),
      ListCase("Ctrl-Z between Rev and ModHosts",
               ListWith("Rev|5\r\n\x1aModHosts|0\r\n", "%A%\r\n"),
               Failed(kUnchanged, {"\"ModHosts\""})),
      {"Ctrl-Z inside a file entry",
       [](HostileScene& s) {
         s.Plant("a.dat", kOldA);
         std::string entry = s.Server.PublishFile("a.dat", kNewA);
         entry.insert(entry.find('|') + 4, "\x1a");
         s.Server.PublishList(ListWith(kSettings, entry + "\r\n"));
       },
       Failed(kUnchanged, {"fewer than three fields"})},
      ListCase("NUL bytes at the ends of lines",
               ListWith(std::string("Rev|5\0\0\r\nModHosts|0\0\r\n", 22), "%A%\r\n"),
               AllUpdated(kReplaced)),
      ListCase("NUL byte inside a key",
               ListWith(std::string("R\0ev|5\r\nModHosts|0\r\n", 20), "%A%\r\n"),
               Failed(kUnchanged, {"\"Rev\""})),
      ListCase("lone CR line ends", ReplaceAll(ListWith(kSettings, "%A%\r\n"), "\r\n", "\r"),
               Failed(kUnchanged, {"\"Rev\""})),
      ListCase("LF line ends", ReplaceAll(ListWith(kSettings, "%A%\r\n"), "\r\n", "\n"),
               AllUpdated(kReplaced)),
      ListCase("headers and entries indented by blanks and TABs",
               ReplaceAll(ListWith(kSettings, "%A%\r\n"), "\r\n", " \t\r\n \t "),
               AllUpdated(kReplaced)),
      ListCase("byte order mark ahead of the first header",
               "\xEF\xBB\xBF" + ListWith(kSettings, "%A%\r\n"), Failed(kUnchanged, {"\"Rev\""})),
      ListCase("1 MiB line ahead of Rev",
               ListWith("Note|" + megaLine + "\r\n" + kSettings, "%A%\r\n"), AllUpdated(kReplaced)),
      ListCase("1 MiB line between sections", ListWith(kSettings, "%A%\r\n", megaLine + "\r\n"),
               AllUpdated(kReplaced)),
      ListCase("1 MiB line in the file section",
               ListWith(kSettings, "%A%\r\n" + megaLine + "|" + megaLine + "|" + "7\r\n"),
               Failed(kReplaced, {"file name too long", "could not be opened", "cannot be"})),
  });
}

TEST_F(HostileServer, ListBodiesThatAreNoList) {
  const std::vector<std::string> unpack{"could not be unpacked"}, opened{"could not be opened"};
  const std::string limit = "larger than " + std::to_string(kMaxListBytes) + " bytes";
  RunCases({
      BodyCase(
          "list answered with a 404 page",
          [](TestServer& s, const std::string&) {
            s.Http().ServeBody("files.lst.bz2", HttpFixture::kNotFoundPage, 404, "text/html");
          },
          Failed(kUnchanged, unpack)),
      BodyCase(
          "list answered with a 500 and no body",
          [](TestServer& s, const std::string&) { s.Http().ServeBody("files.lst.bz2", "", 500); },
          Failed(kUnchanged, unpack)),
      BodyCase(
          "list answered with a page and status 200",
          [](TestServer& s, const std::string&) {
            s.Http().ServeBody("files.lst.bz2", "<html>maintenance</html>", 200, "text/html");
          },
          Failed(kUnchanged, unpack)),
      BodyCase(
          "list without an answer",
          [](TestServer& s, const std::string&) { s.Http().ServeNoAnswer("files.lst.bz2"); },
          Failed(kUnchanged, opened)),
      BodyCase(
          "list broken off halfway",
          [](TestServer& s, const std::string& text) {
            const std::string body = Bz2Compress(text + NoiseBytes(3000, 2));
            s.Http().ServeBrokenBody("files.lst.bz2", body.substr(0, body.size() / 2), body.size());
          },
          Failed(kUnchanged, unpack)),
      BodyCase(
          "list followed by a second stream",
          [](TestServer& s, const std::string& text) {
            s.Http().ServeBody("files.lst.bz2", Bz2Compress(text) + Bz2Compress(text));
          },
          Failed(kUnchanged, unpack)),
      BodyCase(
          "list followed by garbage",
          [](TestServer& s, const std::string& text) {
            s.Http().ServeBody("files.lst.bz2", Bz2Compress(text) + "garbage");
          },
          Failed(kUnchanged, unpack)),
      BodyCase(
          "list with a flipped byte",
          [](TestServer& s, const std::string& text) {
            std::string body = Bz2Compress(text);
            body[body.size() / 2] = static_cast<char>(body[body.size() / 2] ^ 0x20);
            s.Http().ServeBody("files.lst.bz2", body);
          },
          Failed(kUnchanged, unpack)),
      BodyCase(
          "list of nothing, compressed",
          [](TestServer& s, const std::string&) {
            s.Http().ServeBody("files.lst.bz2", Bz2Compress(""));
          },
          Failed(kUnchanged, {"\"Rev\""})),
      BodyCase(
          "list redirected to where it is",
          [](TestServer& s, const std::string& text) {
            s.Http().ServeBody("real/files.lst.bz2", Bz2Compress(text));
            s.Http().ServeRedirect("files.lst.bz2", "real/files.lst.bz2");
          },
          AllUpdated(kReplaced)),
      BodyCase(
          "list redirected in a loop",
          [](TestServer& s, const std::string&) {
            s.Http().ServeRedirect("files.lst.bz2", "loop.bz2");
            s.Http().ServeRedirect("loop.bz2", "files.lst.bz2");
          },
          Failed(kUnchanged, {"could not be unpacked", "could not be opened"})),
  });
}

// Lists of 64 MiB and more.
TEST_F(HostileServer, ListBodiesAtTheSizeLimit) {
  if (const std::string why = WhyLargeDataIsSlow(); !why.empty()) GTEST_SKIP() << why;
  const std::string limit = "larger than " + std::to_string(kMaxListBytes) + " bytes";
  RunCases({
      BodyCase(
          "list of 65 MiB",
          [](TestServer& s, const std::string& text) {
            s.Http().ServeBody("files.lst.bz2", Bz2Compress(text + std::string(65 * kMiB, ' ')));
          },
          Failed(kUnchanged, {limit})),
      BodyCase(
          "list that unpacks to 200 MiB of zeros",
          [](TestServer& s, const std::string&) {
            s.Http().ServeBody("files.lst.bz2", ZeroBombArchive());
          },
          Failed(kUnchanged, {limit})),
      BodyCase(
          "list of exactly the largest size",
          [](TestServer& s, const std::string& text) {
            s.Http().ServeBody("files.lst.bz2",
                               Bz2Compress(text + std::string(kMaxListBytes - text.size(), ' ')));
          },
          AllUpdated(kReplaced)),
      BodyCase(
          "list body without end",
          [](TestServer& s, const std::string&) {
            // More than any list may be, sent in pieces; the client stops reading at the limit.
            s.Http().ServeSlowBody("files.lst.bz2",
                                   std::vector<std::string>(70, std::string(kMiB, 'B')),
                                   std::chrono::milliseconds(0));
          },
          Failed(kUnchanged, {"longer than " + std::to_string(kMaxListDownload) + " bytes"})),
  });
}

}  // namespace
}  // namespace korvath::test
