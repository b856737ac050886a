// korvath-publish as an admin runs it: releases built, checked and served, and the real
// korvath-update fetching them from the publisher's own server and from nginx.

// GCC 12's sanitizer build reports std::regex, which the HTTP client's header uses, as maybe
// uninitialized.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "list/CopyFormats.h"
#include "list/Limits.h"
#include "runtime/Classes.h"
#include "tests/support/Bz2Compress.h"
#include "tests/support/Process.h"
#include "tests/support/Release.h"
#include "tests/support/TempDir.h"
#include "tests/support/posix/Background.h"
#include "transfer/BZip2.h"
#include "transfer/Misc.h"
#include "transfer/Sha256.h"
#include "transfer/Zstd.h"

extern char** environ;

namespace korvath {
namespace {

namespace fs = std::filesystem;
using Contents = std::map<std::string, std::string>;
using std::chrono::steady_clock;

constexpr auto kStartTimeout = std::chrono::seconds(10);

std::string Quote(const std::string& argument) {
  return "'" + ReplaceAll(argument, "'", "'\\''") + "'";
}

std::string ReadAll(TStream& decoder) {
  std::string text;
  char block[4096];
  for (int32_t n; (n = decoder.Read(block, sizeof block)) > 0;)
    text.append(block, static_cast<size_t>(n));
  return text;
}

std::string Bz2Decode(const std::string& bytes) {
  TMemoryStream source(bytes);
  TBZDecompressionStream decoder(source);
  return ReadAll(decoder);
}

std::string ZstdDecode(const std::string& bytes) {
  TMemoryStream source(bytes);
  TZstdDecompressionStream decoder(source, kZstdWindowLogMax, kNoLimit);
  return ReadAll(decoder);
}

void WriteRelease(const std::string& folder, const Contents& files) {
  for (const auto& [path, content] : files) {
    fs::create_directories((fs::path(folder) / path).parent_path());
    test::WriteFileBytes((fs::path(folder) / path).string(), content);
  }
}

using test::BackgroundProcess;
using test::FreePort;
using test::WaitForPort;

std::string FindNginx() {
  for (const char* candidate : {"/usr/sbin/nginx", "/usr/bin/nginx", "/usr/local/sbin/nginx"})
    if (access(candidate, X_OK) == 0) return candidate;
  return "";
}

// One folder for the release, the published folder, the game folder and the client's settings.
class Publish : public ::testing::Test {
 protected:
  Publish() {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    FOldConfigHome = old != nullptr ? old : "";
    setenv("XDG_CONFIG_HOME", (FRoot / "config").c_str(), 1);
    fs::create_directories(FGame);
  }
  ~Publish() override {
    if (FOldConfigHome.empty())
      unsetenv("XDG_CONFIG_HOME");
    else
      setenv("XDG_CONFIG_HOME", FOldConfigHome.c_str(), 1);
  }

  test::ProcessResult Run(const std::string& arguments) {
    return test::RunProcess(KORVATH_PUBLISH_EXE, arguments, FRoot.Path());
  }
  test::ProcessResult Build(int rev, const std::string& more = "",
                            const std::string& release = "release") {
    return Run("build " + Quote(FRoot / release) + " " + Quote(FOut) + " --rev " +
               std::to_string(rev) + " --jobs 2 " + more);
  }
  test::ProcessResult Verify(const std::string& folder) { return Run("verify " + Quote(folder)); }
  test::ProcessResult Update(const std::string& server) {
    return test::RunProcess(KORVATH_UPDATE_EXE, "--server " + Quote(server), FGame);
  }
  std::string ListText() { return Bz2Decode(test::ReadFileBytes(FOut + "/files.lst.bz2")); }

  // Publishes a release, brings an empty game folder up to date from the server at Base, then
  // publishes a second release over the first while the server runs and updates again. Log
  // gives the server's request log so far.
  void RoundTrip(const std::string& base, const std::function<std::string()>& log);

  test::TempDir FRoot;
  const std::string FOut = FRoot / "out";
  const std::string FGame = FRoot / "game";
  std::string FOldConfigHome;
};

Contents FirstRelease() {
  return {{"system/qx.exe", "MZ stand-in for the game"},
          {"system/option.ini", "[Video]\r\nWidth=800\r\n"},
          {"data/noise.bin", test::NoiseBytes(1'500'000)},  // two bzip2 blocks, many input buffers
          {"data/text.dat", std::string(3'000'000, 'k')},   // compressed block by block
          {"data/maps/m1.map", "map one"},
          {"empty.dat", ""}};
}

void Publish::RoundTrip(const std::string& base, const std::function<std::string()>& log) {
  Contents release = FirstRelease();
  WriteRelease(FRoot / "release", release);
  const auto first = Build(1, "--critical 'system/*'");
  ASSERT_EQ(first.ExitCode, 0) << first.Err;
  const auto update = Update(base);
  EXPECT_EQ(update.ExitCode, 0) << update.Out << update.Err;
  EXPECT_NE(update.Out.find("All the files have been updated"), std::string::npos) << update.Out;
  const Contents game = test::FolderContents(FGame);
  EXPECT_TRUE(game == release) << "the game folder differs from the release after the first update";

  // The second release changes a normal file, adds one and drops one, at a higher revision.
  fs::remove_all(FRoot / "release");
  release["data/maps/m1.map"] = "map one, second edition";
  release["data/maps/m2.map"] = "map two";
  release.erase("empty.dat");
  WriteRelease(FRoot / "release", release);
  const auto second = Build(2, "--critical 'system/*'");
  ASSERT_EQ(second.ExitCode, 0) << second.Err;
  // The dropped file's bzip2 and zstd copies.
  EXPECT_NE(second.Out.find("removed 2 compressed copies"), std::string::npos) << second.Out;
  const auto again = Update(base);
  EXPECT_EQ(again.ExitCode, 0) << again.Out << again.Err;
  Contents expected = release;
  expected["empty.dat"] = "";  // the client never deletes a file the list stopped naming
  EXPECT_TRUE(test::FolderContents(FGame) == expected)
      << "the game folder differs after the second update";

  // Only what changed travelled the second time; every request came from the client. Servers
  // write a request's log line after its answer, so the log is read once it has settled.
  std::string requests = log();
  for (auto end = steady_clock::now() + kStartTimeout; steady_clock::now() < end;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const std::string later = log();
    if (later == requests) break;
    requests = later;
  }
  auto count = [&](const std::string& path) {
    size_t n = 0;
    for (size_t at = requests.find("GET /" + path + " "); at != std::string::npos;
         at = requests.find("GET /" + path + " ", at + 1))
      ++n;
    return n;
  };
  // Files come as their zstd copies, but for the one whose zstd copy would be larger than its
  // bzip2 copy by too much (a run of one letter), which has none.
  EXPECT_EQ(count("files.lst.bz2"), 2u) << requests;
  EXPECT_EQ(count("data/noise.bin.zst"), 1u) << requests;
  EXPECT_EQ(count("data/maps/m1.map.zst"), 2u) << requests;
  EXPECT_EQ(count("data/maps/m2.map.zst"), 1u) << requests;
  EXPECT_EQ(count("data/text.dat.bz2"), 1u) << requests;
  EXPECT_EQ(count("data/noise.bin.bz2") + count("data/maps/m1.map.bz2"), 0u) << requests;
  EXPECT_NE(requests.find("ViDivivuRidevuv"), std::string::npos) << requests;
}

// The address korvath-publish serve prints into its log once it listens; empty if it does not.
std::string ServedAddress(const std::string& serveLog) {
  std::string base;
  for (auto end = steady_clock::now() + kStartTimeout; base.empty() && steady_clock::now() < end;) {
    const std::string text = test::ReadFileBytes(serveLog);
    const size_t at = text.find(" at http://");
    const size_t stop = text.find(' ', at + 4);
    if (at != std::string::npos && stop != std::string::npos)
      base = text.substr(at + 4, stop - at - 4);
    else
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return base;
}

TEST_F(Publish, RoundTripThroughItsOwnServer) {
  fs::create_directories(FOut);
  const std::string serveLog = FRoot / "serve.log";
  BackgroundProcess server({KORVATH_PUBLISH_EXE, "serve", FOut, "--port", "0"}, serveLog);
  ASSERT_TRUE(server.Started());
  const std::string base = ServedAddress(serveLog);
  ASSERT_FALSE(base.empty()) << test::ReadFileBytes(serveLog);
  RoundTrip(base, [&] { return test::ReadFileBytes(serveLog); });
}

TEST_F(Publish, ServeSendsOnlyWhatTheListNamesAndFollowsNoLinks) {
  WriteRelease(FRoot / "release", FirstRelease());
  ASSERT_EQ(Run("keygen signing.key").ExitCode, 0);
  ASSERT_EQ(Build(1, "--sign signing.key").ExitCode, 0);
  test::WriteFileBytes(FOut + "/unlisted.dat.bz2", "left over");
  test::WriteFileBytes(FOut + "/.htpasswd", "admin:secret");
  test::WriteFileBytes(FRoot / "outside.bz2", "not published");
  fs::remove(FOut + "/data/text.dat.bz2");
  fs::create_symlink(FRoot / "outside.bz2", FOut + "/data/text.dat.bz2");
  fs::rename(FOut + "/data/maps", FRoot / "maps");
  fs::create_directory_symlink(FRoot / "maps", FOut + "/data/maps");
  const std::string serveLog = FRoot / "serve.log";
  BackgroundProcess server({KORVATH_PUBLISH_EXE, "serve", FOut, "--port", "0"}, serveLog);
  ASSERT_TRUE(server.Started());
  const std::string base = ServedAddress(serveLog);
  ASSERT_FALSE(base.empty()) << test::ReadFileBytes(serveLog);
  httplib::Client client(base.substr(0, base.size() - 1));
  const std::vector<std::pair<std::string, int>> cases = {
      {"files.lst.bz2", 200},     {"files.lst.bz2.sig", 200},
      {"system/qx.exe.bz2", 200}, {"unlisted.dat.bz2", 404},
      {".htpasswd", 404},         {"signing.key", 404},
      {"data/text.dat.bz2", 404}, {"data/maps/m1.map.bz2", 404},
      {"../outside.bz2", 404},    {"data/noise.bin.bz2.part", 404},
      {"data/noise.bin.zst", 200}};
  for (const auto& [path, status] : cases) {
    const httplib::Result result = client.Get("/" + path);
    ASSERT_TRUE(result) << path;
    EXPECT_EQ(result->status, status) << path;
  }
}

TEST_F(Publish, RoundTripThroughNginx) {
  const std::string nginx = FindNginx();
  if (nginx.empty()) GTEST_SKIP() << "nginx is not installed (scripts/setup installs it)";
  const std::string prefix = FRoot / "nginx";
  fs::create_directories(prefix);
  fs::create_directories(FOut);
  const int port = FreePort();
  std::string config = test::ReadFileBytes(KORVATH_NGINX_CONF);
  ASSERT_FALSE(config.empty());
  config = ReplaceAll(config, "@PORT@", std::to_string(port));
  config = ReplaceAll(config, "@ROOT@", FOut);
  config = ReplaceAll(config, "@PREFIX@", prefix);
  config = ReplaceAll(config, "@USER@", getpwuid(geteuid())->pw_name);
  test::WriteFileBytes(prefix + "/nginx.conf", config);
  BackgroundProcess server({nginx, "-p", prefix, "-c", prefix + "/nginx.conf"},
                           prefix + "/stdout.log");
  ASSERT_TRUE(server.Started());
  ASSERT_TRUE(WaitForPort(port)) << test::ReadFileBytes(prefix + "/stdout.log")
                                 << test::ReadFileBytes(prefix + "/error.log");
  // nginx writes its access log when a request ends, so the log read after a run is complete.
  RoundTrip("http://127.0.0.1:" + std::to_string(port) + "/",
            [&] { return test::ReadFileBytes(prefix + "/access.log"); });
}

TEST_F(Publish, ListCarriesSettingsHostsSelfAndTheTwoKindsOfFiles) {
  const Contents release = {{"Korvath.exe", "MZ updater"},     {"system/qx.exe", "MZ game"},
                            {"system/sub/lib.dll", "library"}, {"top.ini", "t"},
                            {"config/user.ini", "u"},          {"maps/m/x1.dat", "x1"},
                            {"maps/m/deep/x2.dat", "x2"}};
  WriteRelease(FRoot / "release", release);
  const auto run = Build(
      7,
      "--self Korvath.exe --critical 'system/**' --critical '*.ini' --critical 'maps/*/x?.dat' "
      "--hosts 10.0.0.1=login.korvath.example --hosts ::1=ipv6.korvath.example");
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  // Every file but the self entry has a zstd copy too: these are small enough that it pays.
  auto entry = [&](const std::string& path) {
    const std::string copy = test::ReadFileBytes(FOut + "/" + path + ".bz2");
    EXPECT_EQ(Bz2Decode(copy), release.at(path)) << path;
    const std::string zstd = test::ReadFileBytes(FOut + "/" + path + ".zst");
    EXPECT_EQ(path == "Korvath.exe", zstd.empty()) << path;
    if (!zstd.empty()) {
      EXPECT_EQ(ZstdDecode(zstd), release.at(path)) << path;
    }
    return (zstd.empty() ? "" : "zst=" + std::to_string(zstd.size()) + "|") +
           "sha256=" + Sha256Hex(release.at(path)) + ":" + std::to_string(release.at(path).size()) +
           "|" + ReplaceAll(path, "/", "\\") + "|" + test::Md5Hex(release.at(path)) + "|" +
           std::to_string(copy.size()) + "\r\n";
  };
  EXPECT_EQ(ListText(),
            "[settings]\r\nRev|7\r\nModHosts|1\r\n[/settings]\r\n"
            "[hosts]\r\n10.0.0.1|login.korvath.example\r\n::1|ipv6.korvath.example\r\n[/hosts]\r\n"
            "[self]\r\n" +
                entry("Korvath.exe") +
                "[/self]\r\n"
                "[files_critical]\r\n" +
                entry("maps/m/x1.dat") + entry("system/qx.exe") + entry("system/sub/lib.dll") +
                entry("top.ini") +
                "[/files_critical]\r\n"
                "[files_normal]\r\n" +
                entry("config/user.ini") + entry("maps/m/deep/x2.dat") + "[/files_normal]\r\n");
  const auto check = Verify(FOut);
  EXPECT_EQ(check.ExitCode, 0) << check.Err;
  EXPECT_NE(check.Out.find("revision 7, 7 files"), std::string::npos) << check.Out;

  // Without hosts entries the list switches the hosts step off. Without zstd copies the list
  // names none and the previous ones go.
  EXPECT_EQ(Build(8, "--self Korvath.exe --no-zstd").ExitCode, 0);
  EXPECT_NE(ListText().find("ModHosts|0\r\n[/settings]\r\n[hosts]\r\n[/hosts]"), std::string::npos)
      << ListText();
  EXPECT_EQ(ListText().find("zst="), std::string::npos) << ListText();
  for (const auto& file : fs::recursive_directory_iterator(FOut))
    EXPECT_NE(file.path().extension(), ".zst") << file.path();
}

TEST_F(Publish, MirrorsGoIntoASectionOfTheirOwnAndVerifyReadsThemBack) {
  WriteRelease(FRoot / "release", {{"a.dat", "alpha"}});
  ASSERT_EQ(Build(1).ExitCode, 0);
  const std::string without = ListText();
  const auto run = Build(1, "--mirror http://m1.example/korvath --mirror HTTPS://m2.example/");
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_EQ(ListText(), without +
                            "[mirrors]\r\nhttp://m1.example/korvath/\r\nHTTPS://m2.example/\r\n"
                            "[/mirrors]\r\n");
  const auto check = Verify(FOut);
  EXPECT_EQ(check.ExitCode, 0) << check.Err;
  EXPECT_NE(check.Out.find(", mirrors http://m1.example/korvath/ HTTPS://m2.example/\n"),
            std::string::npos)
      << check.Out;
}

TEST_F(Publish, VerifyCatchesMissingDamagedAndMismatchedCopies) {
  WriteRelease(FRoot / "release", FirstRelease());
  ASSERT_EQ(Build(1).ExitCode, 0);
  const auto good = Verify(FOut);
  EXPECT_EQ(good.ExitCode, 0) << good.Err;
  EXPECT_NE(good.Out.find("revision 1, 6 files, all present"), std::string::npos) << good.Out;
  // A zstd copy much larger than the bzip2 copy (of a long run of one byte) is not published.
  EXPECT_FALSE(fs::exists(FOut + "/data/text.dat.zst"));
  const std::string list = ListText();
  const size_t textLine = list.rfind('\n', list.find("|data\\text.dat|")) + 1;
  EXPECT_EQ(list.compare(textLine, 7, "sha256="), 0) << list;

  struct Case {
    const char* Name;
    std::function<void(const std::string& out)> Damage;
    std::vector<std::string> Expected;  // fragments of the report
    std::string Path;                   // what every problem line names
  };
  const std::vector<Case> cases = {
      {"missing copy",
       [](const std::string& out) { fs::remove(out + "/data/maps/m1.map.bz2"); },
       {"data\\maps\\m1.map: the compressed copy", "is missing"},
       "data\\maps\\m1.map: "},
      {"flipped byte",
       [](const std::string& out) {
         std::string bytes = test::ReadFileBytes(out + "/data/noise.bin.bz2");
         bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 0x55);
         test::WriteFileBytes(out + "/data/noise.bin.bz2", bytes);
       },
       {"data\\noise.bin: the compressed copy does not decode as one bzip2 stream"},
       "data\\noise.bin: "},
      {"cut short",
       [](const std::string& out) {
         const std::string bytes = test::ReadFileBytes(out + "/data/text.dat.bz2");
         test::WriteFileBytes(out + "/data/text.dat.bz2", bytes.substr(0, bytes.size() / 2));
       },
       {"data\\text.dat: the compressed copy is", "does not decode"},
       "data\\text.dat: "},
      {"bytes after the stream",
       [](const std::string& out) {
         test::WriteFileBytes(out + "/empty.dat.bz2",
                              test::ReadFileBytes(out + "/empty.dat.bz2") + "junk");
       },
       {"empty.dat: the compressed copy does not decode"},
       "empty.dat: "},
      {"other content",
       [](const std::string& out) {
         test::WriteFileBytes(out + "/system/qx.exe.bz2", test::Bz2Compress("MZ another game"));
       },
       {"system\\qx.exe: the content's digest is " + test::Md5Hex("MZ another game") +
        ", the list says " + test::Md5Hex("MZ stand-in for the game")},
       "system\\qx.exe: "},
      {"SHA-256 and unpacked size that the content does not have",
       [](const std::string& out) {
         std::string text = Bz2Decode(test::ReadFileBytes(out + "/files.lst.bz2"));
         const size_t path = text.find("|data\\text.dat|");
         const size_t field = text.rfind('\n', path) + 1;
         text.replace(field, path - field, "sha256=" + std::string(64, '0') + ":1");
         test::WriteFileBytes(out + "/files.lst.bz2", test::Bz2Compress(text));
       },
       {"data\\text.dat: the content's SHA-256 is", "data\\text.dat: the content is"},
       "data\\text.dat: "},
      {"malformed integrity field",
       [](const std::string& out) {
         std::string text = Bz2Decode(test::ReadFileBytes(out + "/files.lst.bz2"));
         const size_t path = text.find("|empty.dat|");
         text.replace(text.rfind(':', path), 1, "");
         test::WriteFileBytes(out + "/files.lst.bz2", test::Bz2Compress(text));
       },
       {"empty.dat: the client fails this file (malformed integrity field"},
       "empty.dat: "},
      {"missing zstd copy",
       [](const std::string& out) { fs::remove(out + "/empty.dat.zst"); },
       {"empty.dat: the zstd copy", "is missing"},
       "empty.dat: "},
      {"damaged zstd copy",
       [](const std::string& out) {
         std::string bytes = test::ReadFileBytes(out + "/data/noise.bin.zst");
         bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 0x55);
         test::WriteFileBytes(out + "/data/noise.bin.zst", bytes);
       },
       {"data\\noise.bin: the zstd copy does not decode as one zstd frame"},
       "data\\noise.bin: "},
      {"error page for the list",
       [](const std::string& out) {
         test::WriteFileBytes(out + "/files.lst.bz2", "<html>Not Found</html>");
       },
       {"files.lst.bz2: does not decode"},
       "files.lst.bz2: "},
  };
  for (const Case& c : cases) {
    const std::string copy = FRoot / (std::string("copy-") + std::to_string(&c - cases.data()));
    fs::copy(FOut, copy, fs::copy_options::recursive);
    c.Damage(copy);
    const auto report = Verify(copy);
    EXPECT_EQ(report.ExitCode, 1) << c.Name;
    for (const std::string& fragment : c.Expected)
      EXPECT_NE(report.Err.find(fragment), std::string::npos) << c.Name << ":\n" << report.Err;
    // Only the damaged file is reported.
    for (size_t start = 0, end; (end = report.Err.find('\n', start)) != std::string::npos;
         start = end + 1) {
      const std::string line = report.Err.substr(start, end - start);
      if (line.size() < 9 || line.compare(line.size() - 9, 9, " problems") != 0) {
        EXPECT_NE(line.find(c.Path), std::string::npos) << c.Name << ":\n" << report.Err;
      }
    }
  }
}

TEST_F(Publish, RefusesWhatTheClientWouldRefuseAndWritesNothing) {
  struct Case {
    const char* Name;
    Contents Files;
    std::string Arguments;
    std::string Expected;
  };
  const std::vector<Case> cases = {
      {"device name",
       {{"system/con.txt", "x"}},
       "",
       "system\\con.txt: the client refuses this path (reserved device name"},
      {"bar in a name",
       {{"a|b.dat", "x"}},
       "",
       "a|b.dat: the client refuses this path (character not allowed"},
      {"trailing dot",
       {{"data./x.dat", "x"}},
       "",
       "data.\\x.dat: the client refuses this path (segment ending in a dot)"},
      {"control character",
       {{"a\x01.dat", "x"}},
       "",
       "a?.dat: the client refuses this path (control character)"},
      {"leading blank", {{" lead.dat", "x"}}, "", " lead.dat: begins with a blank"},
      {"leading dot", {{"maps/.hidden/x.dat", "x"}}, "", "maps\\.hidden\\x.dat: a name begins"},
      {"non-ASCII name",
       {{"caf\xC3\xA9.dat", "x"}},
       "",
       "caf\xC3\xA9.dat: has a non-ASCII character"},
      {"letter case",
       {{"Sound/a.wav", "1"}, {"sound/A.wav", "2"}},
       "",
       "sound\\A.wav: differs from Sound\\a.wav only in letter case"},
      {"file and folder",
       {{"Maps", "1"}, {"maps/x.map", "2"}},
       "",
       "Maps: a file of this name (letter case ignored) is also a folder"},
      {"the client's list",
       {{"files.lst", "x"}},
       "",
       "files.lst: the client keeps its own files under this name"},
      {"the client's backups",
       {{"Backup/a.dat", "x"}},
       "",
       "Backup\\a.dat: the client keeps its own files"},
      {"a download's name",
       {{"a.dat", "1"}, {"a.dat.bz2", "2"}},
       "",
       "a.dat.bz2: the client downloads a.dat under this name"},
      {"a patch's name, in another letter case",
       {{"a.dat", "1"}, {"A.DAT.Patch", "2"}},
       "",
       "A.DAT.Patch: the client keeps a patch for a.dat under this name"},
      {"an unpacked copy's name",
       {{"maps/x.map", "1"}, {"maps/x.map.unpack", "2"}},
       "",
       "maps\\x.map.unpack: the client unpacks maps\\x.map under this name"},
      {"a resume record's name",
       {{"a.dat", "1"}, {"a.dat.bz2.resume", "2"}},
       "",
       "a.dat.bz2.resume: the client keeps the record of a partial download of a.dat"},
      {"a zstd copy's name",
       {{"a.dat", "1"}, {"a.dat.zst", "2"}},
       "",
       "a.dat.zst: the client downloads a.dat under this name"},
      {"the self's download",
       {{"K.exe", "x"}, {"k.exe.bz2", "y"}},
       "--self K.exe",
       "k.exe.bz2: the client downloads K.exe under this name"},
      {"self not in the release",
       {},
       "--self Korvath.exe",
       "--self Korvath.exe: the release folder has no file of that name"},
      {"self in a folder",
       {{"bin/Korvath.exe", "x"}},
       "--self bin/Korvath.exe",
       "--self bin/Korvath.exe: not a plain name"},
      {"self with a blank",
       {{"Run me.exe", "x"}},
       "--self 'Run me.exe'",
       "--self Run me.exe: not a plain name"},
      {"self not an exe",
       {{"Korvath.dll", "x"}},
       "--self Korvath.dll",
       "--self Korvath.dll: not a plain name"},
      {"self a device", {{"con.exe", "x"}}, "--self con.exe", "--self con.exe: not a plain name"},
      {"self as a switch", {{"-x.exe", "x"}}, "--self=-x.exe", "--self -x.exe: not a plain name"},
      {"the new self's name",
       {{"K.exe", "x"}, {"K.exe.New", "y"}},
       "--self K.exe",
       "K.exe.New: the client unpacks a new K.exe"},
      {"short address",
       {},
       "--hosts 10.0.0=login.korvath.example",
       "--hosts 10.0.0=login.korvath.example: the client refuses"},
      {"octal-looking address",
       {},
       "--hosts 010.0.0.1=login",
       "--hosts 010.0.0.1=login: the client refuses"},
      {"address with a zone",
       {},
       "--hosts fe80::1%eth0=login",
       "--hosts fe80::1%eth0=login: the client refuses"},
      {"host with an underscore",
       {},
       "--hosts 10.0.0.1=bad_host",
       "--hosts 10.0.0.1=bad_host: the client refuses this entry (not a host name"},
      {"host with a bar",
       {},
       "--hosts '10.0.0.1=a|b'",
       "--hosts 10.0.0.1=a|b: the client refuses this entry (not a host name"},
      {"no host", {}, "--hosts 10.0.0.1", "--hosts 10.0.0.1: not of the form ADDRESS=HOSTNAME"},
      {"mirror of another scheme",
       {},
       "--mirror ftp://m.example/",
       "--mirror ftp://m.example/: not"},
      {"mirror without a host", {}, "--mirror http:///k/", "--mirror http:///k/: no host name"},
      {"pattern with a typo",
       {},
       "--critical 'sytem/*'",
       "--critical sytem/*: matches no game file"},
  };
  for (const Case& c : cases) {
    fs::remove_all(FRoot / "release");
    Contents files = c.Files;
    files["ok.dat"] = "fine";
    WriteRelease(FRoot / "release", files);
    const auto run = Build(1, c.Arguments);
    EXPECT_EQ(run.ExitCode, 1) << c.Name;
    EXPECT_NE(run.Err.find("korvath-publish: " + c.Expected), std::string::npos) << c.Name << ":\n"
                                                                                 << run.Err;
    EXPECT_FALSE(fs::exists(FOut)) << c.Name << ": a refused publish wrote the output folder";
  }

  // Every problem is named at once, and what is not a file is refused too.
  fs::remove_all(FRoot / "release");
  WriteRelease(FRoot / "release", {{"nul", "x"}, {"a?.dat", "y"}});
  ASSERT_EQ(mkfifo((FRoot / "release/pipe").c_str(), 0600), 0);
  const auto several = Build(1, "--hosts 1.2.3=x");
  EXPECT_EQ(several.ExitCode, 1);
  for (const char* name :
       {"korvath-publish: nul:", "korvath-publish: a?.dat:",
        "korvath-publish: pipe: not a regular file", "korvath-publish: --hosts 1.2.3=x"})
    EXPECT_NE(several.Err.find(name), std::string::npos) << name << "\n" << several.Err;

  // The output folder may not lie inside the release, where the next publish would find it.
  fs::remove_all(FRoot / "release");
  WriteRelease(FRoot / "release", {{"ok.dat", "fine"}});
  const auto inside =
      Run("build " + Quote(FRoot / "release") + " " + Quote(FRoot / "release/out") + " --rev 1");
  EXPECT_EQ(inside.ExitCode, 1);
  EXPECT_NE(inside.Err.find("must not lie inside the release folder"), std::string::npos)
      << inside.Err;
  EXPECT_EQ(Run("build " + Quote(FRoot / "release") + " " + Quote(FOut) + " --rev -1").ExitCode, 2);
}

TEST_F(Publish, AFailedPublishLeavesTheListThatWasThere) {
  Contents release = {{"a.dat", "alpha"}, {"sub/b.dat", "beta"}, {"z.dat", "zeta"}};
  WriteRelease(FRoot / "release", release);

  // A compressed copy that cannot be written: nothing of the publish stays behind, no list.
  const std::string blocker = FOut + "/z.dat.bz2.part";
  fs::create_directories(blocker);
  test::WriteFileBytes(blocker + "/keep", "");
  const auto blocked = Build(1);
  EXPECT_EQ(blocked.ExitCode, 1);
  EXPECT_NE(blocked.Err.find("z.dat.bz2.part"), std::string::npos) << blocked.Err;
  EXPECT_TRUE(test::FolderContents(FOut) == (Contents{{"z.dat.bz2.part/keep", ""}}));

  // Over a published release: the old list and every copy it names stay as they were.
  fs::remove_all(blocker);
  ASSERT_EQ(Build(1).ExitCode, 0);
  const Contents published = test::FolderContents(FOut);
  release["a.dat"] = "alpha, changed";
  release["sub/c.dat"] = "gamma";
  WriteRelease(FRoot / "release", release);
  fs::create_directories(blocker);
  test::WriteFileBytes(blocker + "/keep", "");
  EXPECT_EQ(Build(2).ExitCode, 1);
  fs::remove_all(blocker);
  EXPECT_TRUE(test::FolderContents(FOut) == published);
  EXPECT_EQ(Verify(FOut).ExitCode, 0);
}

TEST_F(Publish, NormalFilesChangeOnlyWithAHigherRevisionAndOldCopiesGo) {
  WriteRelease(FRoot / "release",
               {{"system/c.dat", "critical"}, {"n.dat", "normal"}, {"old/deep/o.dat", "old"}});
  ASSERT_EQ(Build(3, "--critical 'system/*'").ExitCode, 0);
  const std::string list = ListText();

  // Clients at revision 3 would never check the changed normal file.
  WriteRelease(FRoot / "release", {{"n.dat", "normal, changed"}});
  const auto same = Build(3, "--critical 'system/*'");
  EXPECT_EQ(same.ExitCode, 1);
  EXPECT_NE(same.Err.find("the normal file n.dat is new or changed"), std::string::npos)
      << same.Err;
  EXPECT_NE(same.Err.find("publish with --rev 4 or higher"), std::string::npos) << same.Err;
  EXPECT_EQ(ListText(), list);
  EXPECT_EQ(Build(4, "--critical 'system/*'").ExitCode, 0);

  // Critical files are checked on every run: no new revision needed.
  WriteRelease(FRoot / "release", {{"system/c.dat", "critical, changed"}});
  EXPECT_EQ(Build(4, "--critical 'system/*'").ExitCode, 0);

  // A dropped file's copies go once the new list no longer names it, with its emptied folders.
  fs::remove_all(FRoot / "release/old");
  const auto dropped = Build(4, "--critical 'system/*'");
  EXPECT_EQ(dropped.ExitCode, 0) << dropped.Err;
  EXPECT_NE(dropped.Out.find("removed 2 compressed copies"), std::string::npos) << dropped.Out;
  EXPECT_FALSE(fs::exists(FOut + "/old"));
  EXPECT_EQ(Verify(FOut).ExitCode, 0);
}

TEST_F(Publish, PatchesFromEarlierReleasesAreMadeOnceCheckedAndRemovedWithTheirLine) {
  Contents first = FirstRelease();
  first["data/fresh.bin"] = test::NoiseBytes(200'000, 7);
  WriteRelease(FRoot / "base1", first);
  WriteRelease(FRoot / "base2", first);  // the same versions again: no second patch
  Contents second = first;
  second["data/noise.bin"].replace(700'000, 5, "edit!");
  second["data/fresh.bin"] = test::NoiseBytes(200'000, 8);  // rewritten: no patch worth it
  WriteRelease(FRoot / "release", second);
  const auto built =
      Build(2, "--base " + Quote(FRoot / "base1") + " --base " + Quote(FRoot / "base2"));
  ASSERT_EQ(built.ExitCode, 0) << built.Err;
  EXPECT_NE(built.Out.find("1 patches from 2 earlier releases"), std::string::npos) << built.Out;
  EXPECT_NE(built.Out.find("1 more were over half"), std::string::npos) << built.Out;
  const std::string baseDigest = test::Md5Hex(first["data/noise.bin"]);
  const std::string patch = FOut + "/data/noise.bin." + baseDigest + ".patch";
  const std::string bytes = test::ReadFileBytes(patch);
  EXPECT_NE(
      ListText().find("[patches]\r\ndata\\noise.bin|" + baseDigest + "|" + test::Md5Hex(bytes) +
                      "|" + std::to_string(bytes.size()) + "\r\n[/patches]\r\n"),
      std::string::npos)
      << ListText();

  const auto plain = Verify(FOut);
  EXPECT_EQ(plain.ExitCode, 0) << plain.Err;
  EXPECT_NE(plain.Out.find("1 patches of the listed sizes and digests, 0 of them applied"),
            std::string::npos)
      << plain.Out;
  const auto withBase = Run("verify " + Quote(FOut) + " --base " + Quote(FRoot / "base2"));
  EXPECT_EQ(withBase.ExitCode, 0) << withBase.Err;
  EXPECT_NE(withBase.Out.find("1 of them applied"), std::string::npos) << withBase.Out;

  std::string damaged = bytes;
  damaged[damaged.size() / 2] = static_cast<char>(damaged[damaged.size() / 2] ^ 0x55);
  test::WriteFileBytes(patch, damaged);
  const auto bad = Run("verify " + Quote(FOut) + " --base " + Quote(FRoot / "base2"));
  EXPECT_EQ(bad.ExitCode, 1);
  EXPECT_NE(bad.Err.find("data\\noise.bin: the patch from " + baseDigest + " has the digest"),
            std::string::npos)
      << bad.Err;

  // Published again without bases, the patch goes with its line.
  const auto again = Build(3);
  EXPECT_EQ(again.ExitCode, 0) << again.Err;
  EXPECT_NE(again.Out.find("removed 1 patches"), std::string::npos) << again.Out;
  EXPECT_FALSE(fs::exists(patch));
  EXPECT_EQ(ListText().find("[patches]"), std::string::npos);
}

}  // namespace
}  // namespace korvath
