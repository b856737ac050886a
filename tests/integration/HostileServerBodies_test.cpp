// The hostile-server corpus, third part: bodies of a game file that are not its archive. Error
// pages, bodies broken off at every KiB, concatenated, damaged and bomb-like archives, endless
// and stalled bodies: each fails its file, keeps the old one and leaves no temporary behind.
#include <chrono>
#include <string>
#include <vector>

#include "engine/Resume.h"
#include "list/FileEntry.h"
#include "list/Limits.h"
#include "platform/Http.h"
#include "tests/integration/HostileServer.h"
#include "tests/support/Bz2Compress.h"
#include "tests/support/SilentListener.h"
#include "tests/support/System.h"
#include "tests/support/UpdateRunner.h"
#include "transfer/Sha256.h"

namespace korvath::test {
namespace {

const std::string kOldF = "old content of f";
// Incompressible, so that its archive is between 8 and 16 KiB.
const std::string& NewF() {
  static const std::string content = NoiseBytes(12000, 5);
  return content;
}
const std::string& NewFArchive() {
  static const std::string archive = Bz2Compress(NewF());
  return archive;
}
const FolderFiles kOldOnly{{"f.dat", kOldF}};
const std::vector<std::string> kDamaged{"damaged archive"};

// The integrity field of an entry whose content is listed as Unpacked bytes long.
std::string UnpackedField(int64_t unpacked) {
  return IntegrityField(Sha256Hex(NewF()), unpacked) + "|";
}

// f.dat is listed with its true digest and size (and, when given, an integrity field with that
// unpacked size), the folder holds its old version, and the server answers its address with
// whatever Serve puts there.
HostileCase FileCase(std::string name, std::function<void(HttpFixture&)> serve,
                     HostileExpect expect, int64_t sizeField = -1, int64_t unpacked = -1) {
  return {
      std::move(name),
      [serve, sizeField, unpacked](HostileScene& s) {
        s.Plant("f.dat", kOldF);
        const int64_t size =
            sizeField >= 0 ? sizeField : static_cast<int64_t>(NewFArchive().size());
        s.Server.PublishList(ListWith("Rev|5\r\nModHosts|0\r\n",
                                      (unpacked >= 0 ? UnpackedField(unpacked) : "") + "f.dat|" +
                                          Md5Hex(NewF()) + "|" + std::to_string(size) + "\r\n"));
        serve(s.Server.Http());
      },
      std::move(expect)};
}

HostileCase BodyCase(std::string name, std::string body,
                     std::vector<std::string> reasons = kDamaged) {
  return FileCase(
      std::move(name), [body](HttpFixture& h) { h.ServeBody("f.dat.bz2", body); },
      Failed(kOldOnly, std::move(reasons)));
}

std::string Flipped(size_t offset, char mask) {
  std::string body = NewFArchive();
  body[offset] = static_cast<char>(body[offset] ^ mask);
  return body;
}

TEST_F(HostileServer, BodiesBrokenOffAtEveryKiB) {
  const std::string& archive = NewFArchive();
  ASSERT_GE(archive.size(), 8u * 1024);
  ASSERT_LE(archive.size(), 16u * 1024);
  std::vector<size_t> cuts;
  for (size_t cut = 0; cut < archive.size(); cut += 1024) cuts.push_back(cut);
  cuts.push_back(archive.size() - 1);
  std::vector<HostileCase> cases;
  for (const size_t cut : cuts)
    cases.push_back(FileCase(
        "broken off after " + std::to_string(cut) + " of " + std::to_string(archive.size()) +
            " bytes",
        [&archive, cut](HttpFixture& h) {
          h.ServeBrokenBody("f.dat.bz2", archive.substr(0, cut), archive.size());
        },
        Failed(kOldOnly, kDamaged)));
  // The whole body, for comparison: the same server path installs the file.
  cases.push_back(FileCase(
      "the whole body", [&archive](HttpFixture& h) { h.ServeBody("f.dat.bz2", archive); },
      AllUpdated({{"f.dat", NewF()}})));
  RunCases(cases);
}

// A partial download an earlier run kept, of bytes that no rest completes, beside a record that
// names Address (the server's own when empty) and the whole body's Length, and the requests
// for f.dat.bz2 the run must make (Range and If-Range).
HostileCase KeptPartialCase(std::string name, size_t partial, std::string address, int64_t length,
                            std::vector<HttpScriptedAnswer> answers,
                            std::vector<std::string> asked) {
  HostileCase c = FileCase(
      std::move(name), [answers](HttpFixture& h) { h.ServeScript("f.dat.bz2", answers); },
      AllUpdated({{"f.dat", NewF()}}));
  c.Setup = [setup = c.Setup, partial, address, length, asked](HostileScene& s) {
    setup(s);
    s.Plant("f.dat.bz2", std::string(partial, 'x'));
    const std::string from = address.empty() ? s.Server.BaseUrl() + "f.dat.bz2" : address;
    s.Plant("f.dat.bz2.resume", FormatResumeRecord({from, "\"v1\"", length}));
    s.AfterRun = [&server = s.Server, asked] {
      std::vector<std::string> requests;
      for (const auto& r : server.Http().Requests())
        if (r.Path == "f.dat.bz2") requests.push_back(r.Range + " " + r.IfRange);
      EXPECT_EQ(requests, asked);
    };
  };
  return c;
}

// Whatever is not the rest of the kept body from its own address starts the file over: never
// joined to the kept bytes, the listed content is installed.
TEST_F(HostileServer, KeptPartialsThatAreNotContinued) {
  const std::string& archive = NewFArchive();
  const size_t half = archive.size() / 2;
  const auto size = static_cast<int64_t>(archive.size());
  const HttpScriptedAnswer whole{200, archive, archive.size(), "", "\"v2\""};
  const HttpScriptedAnswer rest{206, archive.substr(half), archive.size() - half,
                                "bytes " + std::to_string(half) + "-" +
                                    std::to_string(archive.size() - 1) + "/" +
                                    std::to_string(archive.size()),
                                "\"v2\""};
  const std::string resumed = "bytes=" + std::to_string(half) + "- \"v1\"";
  RunCases({
      KeptPartialCase("a record of another address", half, "http://elsewhere.example/f.dat.bz2",
                      size, {whole}, {" "}),
      KeptPartialCase("a partial longer than recorded", archive.size() + 1, "", size, {whole},
                      {" "}),
      KeptPartialCase("the whole body in answer to the request for the rest", half, "", size,
                      {whole}, {resumed}),
      KeptPartialCase("the rest of a body with another validator", half, "", size, {rest, whole},
                      {resumed, " "}),
  });
}

TEST_F(HostileServer, ErrorPagesInsteadOfTheArchive) {
  const std::string page = HttpFixture::kNotFoundPage;
  RunCases({
      FileCase(
          "404 with a page",
          [&](HttpFixture& h) { h.ServeBody("f.dat.bz2", page, 404, "text/html"); },
          Failed(kOldOnly, kDamaged)),
      FileCase(
          "403 with a page",
          [&](HttpFixture& h) { h.ServeBody("f.dat.bz2", "<h1>Forbidden</h1>", 403, "text/html"); },
          Failed(kOldOnly, kDamaged)),
      FileCase(
          "500 without a body", [](HttpFixture& h) { h.ServeBody("f.dat.bz2", "", 500); },
          Failed(kOldOnly, kDamaged)),
      FileCase(
          "503 with a page",
          [](HttpFixture& h) { h.ServeBody("f.dat.bz2", "<p>Try later</p>", 503, "text/html"); },
          Failed(kOldOnly, kDamaged)),
      FileCase(
          "200 with a page",
          [&](HttpFixture& h) { h.ServeBody("f.dat.bz2", page, 200, "text/html"); },
          Failed(kOldOnly, kDamaged)),
      FileCase(
          "200 without a body", [](HttpFixture& h) { h.ServeBody("f.dat.bz2", ""); },
          Failed(kOldOnly, kDamaged)),
      FileCase(
          "redirected to a missing address",
          [](HttpFixture& h) { h.ServeRedirect("f.dat.bz2", "gone/f.dat.bz2"); },
          Failed(kOldOnly, kDamaged)),
      FileCase(
          "redirected in a loop",
          [](HttpFixture& h) {
            h.ServeRedirect("f.dat.bz2", "loop.bz2");
            h.ServeRedirect("loop.bz2", "f.dat.bz2");
          },
          Failed(kOldOnly, {"damaged archive", "could not be opened"})),
      FileCase(
          "no answer", [](HttpFixture& h) { h.ServeNoAnswer("f.dat.bz2"); },
          Failed(kOldOnly, {"could not be opened"})),
      FileCase(
          "redirected to the archive",
          [](HttpFixture& h) {
            h.ServeBody("mirror/f.dat.bz2", NewFArchive());
            h.ServeRedirect("f.dat.bz2", "mirror/f.dat.bz2", 301);
          },
          AllUpdated({{"f.dat", NewF()}})),
  });
}

TEST_F(HostileServer, ConcatenatedDamagedAndBombLikeArchives) {
  const std::string& archive = NewFArchive();
  std::vector<HostileCase> cases{
      BodyCase("two archives in a row", archive + archive),
      BodyCase("the archive and another one", archive + Bz2Compress("more")),
      BodyCase("the archive followed by garbage", archive + "garbage"),
      BodyCase("the archive followed by one zero byte", archive + std::string(1, '\0')),
      BodyCase("garbage ahead of the archive", "garbage" + archive),
      BodyCase("the content without compression", NewF()),
      BodyCase("a gzip header", "\x1f\x8b\x08\x00" + NoiseBytes(2000, 8)),
      BodyCase("a bzip2 header and nothing else", "BZh9"),
      BodyCase("the archive of other content", Bz2Compress("other content"), {"digest mismatch"}),
      BodyCase("the archive of nothing", Bz2Compress(""), {"digest mismatch"}),
      BodyCase("the archive of the content twice", Bz2Compress(NewF() + NewF()),
               {"digest mismatch"}),
      BodyCase("the archive of the content less its last byte",
               Bz2Compress(NewF().substr(0, NewF().size() - 1)), {"digest mismatch"}),
  };
  // A flipped byte anywhere: the header, the block's magic, its data, the stream's checksum.
  for (const size_t offset :
       {size_t{0}, size_t{2}, size_t{3}, size_t{5}, size_t{12}, archive.size() / 3,
        archive.size() / 2, archive.size() - 6, archive.size() - 1})
    cases.push_back(
        BodyCase("byte " + std::to_string(offset) + " flipped", Flipped(offset, '\xFF')));
  // 200 MiB of zeros from a body of a few hundred bytes: unpacked in full, then refused by its
  // digest.
  if (WhyLargeDataIsSlow().empty())
    cases.push_back(BodyCase("a bomb of 200 MiB of zeros", ZeroBombArchive(), {"digest mismatch"}));
  RunCases(cases);
}

TEST_F(HostileServer, EndlessBodiesAreCutOffAtTheLimit) {
  // Sent in pieces of 256 KiB, far beyond the limit; the client stops reading there.
  auto endless = [](size_t bytes) {
    return [bytes](HttpFixture& h) {
      h.ServeSlowBody(
          "f.dat.bz2",
          std::vector<std::string>(bytes / (256 * 1024) + 1, std::string(256 * 1024, 'x')),
          std::chrono::milliseconds(0));
    };
  };
  const auto longer = [](int64_t size) {
    return "longer than " + std::to_string(MaxBodyFor(size)) + " bytes";
  };
  RunCases({
      FileCase("endless body for a size of 100", endless(8 * kMiB), Failed(kOldOnly, {longer(100)}),
               100, 100),
      FileCase("endless body for a size of 0", endless(4 * kMiB), Failed(kOldOnly, {longer(0)}), 0,
               0),
      FileCase("endless body for the archive's own size", endless(16 * kMiB),
               Failed(kOldOnly, {longer(static_cast<int64_t>(NewFArchive().size()))}), -1,
               static_cast<int64_t>(NewFArchive().size())),
      FileCase(
          "body one byte over the limit",
          [](HttpFixture& h) {
            h.ServeBody("f.dat.bz2", std::string(static_cast<size_t>(MaxBodyFor(10)) + 1, 'x'));
          },
          Failed(kOldOnly, {longer(10)}), 10, 10),
      // At the limit a body is still taken, and then fails as what it is.
      FileCase(
          "body exactly at the limit",
          [](HttpFixture& h) {
            h.ServeBody("f.dat.bz2", std::string(static_cast<size_t>(MaxBodyFor(10)), 'x'));
          },
          Failed(kOldOnly, kDamaged), 10, 10),
      // A size field far below the archive's: the allowance still takes it.
      FileCase(
          "archive larger than its size field",
          [](HttpFixture& h) { h.ServeBody("f.dat.bz2", NewFArchive()); },
          AllUpdated({{"f.dat", NewF()}}), 1),
      {"endless body for the updater itself",
       [endless](HostileScene& s) {
         s.Server.PublishList(
             ListWith("Rev|5\r\nModHosts|0\r\n", s.Server.PublishFile("good.dat", "good") + "\r\n",
                      "[self]\r\n" + IntegrityField(Sha256Hex("new updater"), 100) +
                          "|Korvath.exe|" + Md5Hex("new updater") + "|100\r\n[/self]\r\n"));
         s.Server.Http().ServeSlowBody("Korvath.exe.bz2",
                                       std::vector<std::string>(12, std::string(256 * 1024, 'x')),
                                       std::chrono::milliseconds(0));
       },
       FailedStep({{"good.dat", "good"}}, {longer(100)})},
  });
}

TEST_F(HostileServer, StalledBodiesBreakOffAfterTheTimeLimit) {
  if (const std::string why = WhyStallsAreNotCutOff(); !why.empty()) GTEST_SKIP() << why;
  // The limit is 30 s; shortened here so that each stall ends within seconds. The pauses leave
  // a wide margin on both sides of the limit: a loaded machine must not turn a stall into a
  // slow body, or a slow body into a stall.
  struct ShortLimits {
    ShortLimits() { platform::SetHttpTimeoutsForTests({5, 1}); }
    ~ShortLimits() { platform::SetHttpTimeoutsForTests({}); }
  } shortLimits;
  const auto pause = std::chrono::milliseconds(2500);
  RunCases({
      FileCase(
          "file body stalled before its first byte",
          [pause](HttpFixture& h) { h.ServeSlowBody("f.dat.bz2", {NewFArchive()}, pause); },
          Failed(kOldOnly, kDamaged)),
      {"list body stalled",
       [pause](HostileScene& s) {
         s.Plant("f.dat", kOldF);
         s.Server.Http().ServeSlowBody(
             "files.lst.bz2", {Bz2Compress(ListWith("Rev|5\r\nModHosts|0\r\n", ""))}, pause);
       },
       Failed(kOldOnly, {"could not be unpacked"})},
      {"updater body stalled",
       [pause](HostileScene& s) {
         s.Server.PublishList(
             ListWith("Rev|5\r\nModHosts|0\r\n", s.Server.PublishFile("good.dat", "good") + "\r\n",
                      "[self]\r\n" + s.Server.PublishFile("Korvath.exe", "new updater") +
                          "\r\n[/self]\r\n"));
         s.Server.Http().ServeSlowBody("Korvath.exe.bz2", {Bz2Compress("new updater")}, pause);
       },
       FailedStep({{"good.dat", "good"}}, {"not put in place"})},
      // The limit is on silence, not on the whole transfer: a slow body that keeps coming
      // arrives. A limit of 3 s here keeps a busy machine's hiccups from looking like silence.
      {"slow body that never falls silent for the limit",
       [](HostileScene& s) {
         platform::SetHttpTimeoutsForTests({5, 3});
         s.Plant("f.dat", kOldF);
         s.Server.PublishList(ListWith(
             "Rev|5\r\nModHosts|0\r\n",
             "f.dat|" + Md5Hex(NewF()) + "|" + std::to_string(NewFArchive().size()) + "\r\n"));
         std::vector<std::string> pieces;
         for (size_t at = 0; at < NewFArchive().size(); at += 2048)
           pieces.push_back(NewFArchive().substr(at, 2048));
         s.Server.Http().ServeSlowBody("f.dat.bz2", pieces, std::chrono::milliseconds(250));
       },
       AllUpdated({{"f.dat", NewF()}})},
  });
  platform::SetHttpTimeoutsForTests({5, 1});
  // A server that takes the connection and never answers: the address cannot be opened.
  {
    SilentListener silent;
    TempDir game;
    CurrentDirScope inGame(game.Path());
    const RunOutcome run = RunUpdate(silent.BaseUrl());
    EXPECT_EQ(run.Status, kUpdateFailed);
    EXPECT_EQ(run.Calls.back(), "enable");
    ASSERT_EQ(run.RunFailures.size(), 1u);
    EXPECT_NE(run.RunFailures[0].find("could not be opened"), std::string::npos)
        << run.RunFailures[0];
    EXPECT_TRUE(FolderContents(game.Path()).empty());
  }
}

}  // namespace
}  // namespace korvath::test
