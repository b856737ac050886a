// DownloadFile over the platform's real HTTP client against a loopback server: what is stored,
// what the server sees, and how the file gauge moves.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/GetFilesThr.h"
#include "engine/TransferRoad.h"
#include "runtime/SysUtils.h"
#include "tests/support/HttpFixture.h"
#include "tests/support/RecordingView.h"
#include "tests/support/TempDir.h"

namespace korvath {
namespace {

using test::HttpFixture;
using test::HttpScriptedAnswer;
using test::RecordingView;
using test::TempDir;
using Strings = std::vector<std::string>;

std::string RandomBytes(size_t n) {
  std::mt19937 random(static_cast<unsigned>(n));
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(random());
  return s;
}

class DownloadHttpTest : public ::testing::Test {
 protected:
  DownloadHttpTest() : FWorker(FView, TDirectSynchronizer::Instance()) {}

  HttpFixture FServer;
  TempDir FDir;
  RecordingView FView;
  GFilesThread FWorker;  // a plain worker, never started
};

TEST_F(DownloadHttpTest, GaugeShowsRunningTotalsThenTheTotalAgainThenZero) {
  const std::string body = RandomBytes(300 * 1024 + 17);  // more than the client keeps buffered
  FServer.ServeBody("files.lst.bz2", body);

  ASSERT_TRUE(
      FWorker.DownloadFile(FServer.BaseUrl() + "files.lst.bz2", FDir / "files.lst.bz2", true));

  EXPECT_EQ(test::ReadFileBytes(FDir / "files.lst.bz2"), body);
  const Strings& calls = FView.Calls;
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(calls[calls.size() - 3], "file:" + std::to_string(body.size()));
  EXPECT_EQ(calls[calls.size() - 2], "file:" + std::to_string(body.size()));
  EXPECT_EQ(calls.back(), "file:0");
  long previous = 0;
  for (size_t i = 0; i + 2 < calls.size(); ++i) {
    ASSERT_EQ(calls[i].rfind("file:", 0), 0u) << calls[i];
    const long total = std::stol(calls[i].substr(5));
    EXPECT_GT(total, previous) << "call " << i;
    EXPECT_LE(total - previous, 1024) << "call " << i;
    previous = total;
  }

  const auto requests = FServer.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].Path, "files.lst.bz2");
  EXPECT_EQ(requests[0].UserAgent, "ViDivivuRidevuv");
}

// Whatever the server answers is stored as it arrived, and counts as a completed download.
TEST_F(DownloadHttpTest, StoresEveryAnswerAsDelivered) {
  const std::string data = RandomBytes(5000);
  const std::string errorPage =
      "<html><head><title>404 Not Found</title></head><body>Not Found</body></html>";
  FServer.ServeBody("plain.bz2", data);
  FServer.ServeBody("gone.bz2", errorPage, 404, "text/html");
  FServer.ServeBody("failing.bz2", "<html><body>Internal Server Error</body></html>", 500,
                    "text/html");
  FServer.ServeBody("empty.bz2", "");
  FServer.ServeBrokenBody("broken.bz2", data.substr(0, 3000), 10000);
  FServer.ServeRedirect("moved.bz2", "new/place.bz2");
  FServer.ServeBody("new/place.bz2", data.substr(100));
  FServer.ServeSlowBody("slow.bz2", {"first ", "second ", "third"}, std::chrono::milliseconds(150));
  FServer.ServeBody("sub dir/with space.bz2", data.substr(0, 10));

  struct Case {
    std::string Path;
    std::string Expected;
  };
  const std::vector<Case> cases = {
      {"plain.bz2", data},
      {"gone.bz2", errorPage},
      {"failing.bz2", "<html><body>Internal Server Error</body></html>"},
      {"empty.bz2", ""},
      {"broken.bz2", data.substr(0, 3000)},
      {"moved.bz2", data.substr(100)},
      {"slow.bz2", "first second third"},
      {"sub dir/with space.bz2", data.substr(0, 10)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Path);
    const std::string local = FDir / "out.bz2";
    test::WriteFileBytes(local, "left over from an earlier run, longer than some answers");
    FView.Calls.clear();

    EXPECT_TRUE(FWorker.DownloadFile(FServer.BaseUrl() + c.Path, local, true));

    EXPECT_EQ(test::ReadFileBytes(local), c.Expected);
    const std::string total = "file:" + std::to_string(c.Expected.size());
    ASSERT_GE(FView.Calls.size(), 2u);
    EXPECT_EQ(FView.Calls[FView.Calls.size() - 2], total);
    EXPECT_EQ(FView.Calls.back(), "file:0");
  }

  Strings asked;
  for (const auto& r : FServer.Requests()) {
    asked.push_back(r.Path);
    EXPECT_EQ(r.UserAgent, "ViDivivuRidevuv") << r.Path;
  }
  // The broken body is asked for again, and answered whole and broken each time.
  EXPECT_EQ(asked, (Strings{"plain.bz2", "gone.bz2", "failing.bz2", "empty.bz2", "broken.bz2",
                            "broken.bz2", "broken.bz2", "broken.bz2", "broken.bz2", "moved.bz2",
                            "new/place.bz2", "slow.bz2", "sub dir/with space.bz2"}));
}

// A body that breaks off is asked for again from where it stopped, and only the rest of the
// same body is spliced on; whatever else comes ends the download with what arrived.
TEST_F(DownloadHttpTest, BrokenBodyIsContinuedOnlyWithItsOwnRest) {
  const std::string data = RandomBytes(10000);
  const std::string cut = data.substr(0, 3000);
  const auto whole = [&](size_t sent) {
    return HttpScriptedAnswer{200, data.substr(0, sent), 10000, "", "\"v1\""};
  };
  const auto rest = [&](size_t from, size_t sent, const std::string& range,
                        const std::string& tag = "\"v1\"") {
    return HttpScriptedAnswer{206, data.substr(from, sent), 10000 - from, range, tag};
  };
  struct Case {
    std::vector<HttpScriptedAnswer> Answers;
    std::string Expected;
    Strings Ranges;
  };
  // A body that breaks after every KiB and a half moves on each time: it is followed to its end.
  Case stepwise{{whole(1500)}, data, {""}};
  for (size_t from = 1500; from < data.size(); from += 1500) {
    stepwise.Answers.push_back(rest(from, 1500, "bytes " + std::to_string(from) + "-9999/10000"));
    stepwise.Ranges.push_back("bytes=" + std::to_string(from) + "-");
  }
  const std::vector<Case> cases = {
      stepwise,
      {{whole(3000), rest(3000, 7000, "bytes 3000-9999/10000")}, data, {"", "bytes=3000-"}},
      {{whole(3000), rest(3000, 2000, "bytes 3000-9999/10000"),
        rest(5000, 5000, "bytes 5000-9999/10000")},
       data,
       {"", "bytes=3000-", "bytes=5000-"}},
      {{whole(3000), whole(10000)}, data, {"", "bytes=3000-"}},
      {{whole(3000), rest(2000, 8000, "bytes 2000-9999/10000")}, cut, {"", "bytes=3000-"}},
      {{whole(3000), rest(3000, 7000, "bytes 3000-9999/20000")}, cut, {"", "bytes=3000-"}},
      {{whole(3000), rest(3000, 7000, "")}, cut, {"", "bytes=3000-"}},
      {{whole(3000), rest(3000, 7000, "bytes 3000-9999/10000", "\"v2\"")},
       cut,
       {"", "bytes=3000-"}},
      {{whole(3000), rest(3000, 0, "bytes 3000-9999/10000")},
       cut,
       {"", "bytes=3000-", "bytes=3000-", "bytes=3000-", "bytes=3000-"}},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    const std::string path = "case" + std::to_string(i) + ".bz2";
    FServer.ServeScript(path, cases[i].Answers);
    FView.Calls.clear();

    EXPECT_TRUE(FWorker.DownloadFile(FServer.BaseUrl() + path, FDir / "out.bz2", true));

    EXPECT_EQ(test::ReadFileBytes(FDir / "out.bz2"), cases[i].Expected);
    ASSERT_GE(FView.Calls.size(), 2u);
    EXPECT_EQ(FView.Calls[FView.Calls.size() - 2],
              "file:" + std::to_string(cases[i].Expected.size()));
    Strings ranges;
    for (const auto& r : FServer.Requests()) {
      if (r.Path != path) continue;
      ranges.push_back(r.Range);
      EXPECT_EQ(r.IfRange, r.Range.empty() ? "" : "\"v1\"");
    }
    EXPECT_EQ(ranges, cases[i].Ranges);
  }
}

// A stop ends the pause before a further attempt at once, so that a closed window never waits
// it out: a worker told to stop keeps what arrived, look-ahead transfers that end go at once.
TEST_F(DownloadHttpTest, StopEndsThePauseBeforeAFurtherAttempt) {
  const TDownloadRetry before = CurrentDownloadRetry();
  SetDownloadRetryForTests({kDownloadAttempts, std::chrono::hours(1)});
  const std::string data = RandomBytes(10000);
  FServer.ServeBrokenBody("f.dat.bz2", data.substr(0, 3000), data.size());
  FWorker.Terminate();

  EXPECT_TRUE(FWorker.DownloadFile(FServer.BaseUrl() + "f.dat.bz2", FDir / "out.bz2", true));
  {
    TTransferRoad::TSettings settings;
    settings.WorkDir = FDir.Path();
    settings.Server = FServer.BaseUrl();
    settings.Opener = platform::OpenInternet;
    const TTransferRoad road(std::move(settings),
                             {"f.dat|" + std::string(32, '0') + "|" + std::to_string(data.size())});
    while (FServer.Requests().size() < 2) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    // Its body has arrived and broken off: the transfer waits for its next attempt.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  SetDownloadRetryForTests(before);

  EXPECT_EQ(test::ReadFileBytes(FDir / "out.bz2"), data.substr(0, 3000));
  EXPECT_EQ(FServer.Requests().size(), 2u);
}

// A file that changed on the server must never come from a cache of the client's.
TEST_F(DownloadHttpTest, EveryCallFetchesTheServersCurrentCopy) {
  const std::string url = FServer.BaseUrl() + "files.lst.bz2";
  FServer.ServeBody("files.lst.bz2", "first revision");
  ASSERT_TRUE(FWorker.DownloadFile(url, FDir / "files.lst.bz2", true));
  FServer.ServeBody("files.lst.bz2", "second revision, longer");
  ASSERT_TRUE(FWorker.DownloadFile(url, FDir / "files.lst.bz2", true));

  EXPECT_EQ(test::ReadFileBytes(FDir / "files.lst.bz2"), "second revision, longer");
  EXPECT_EQ(FServer.Requests().size(), 2u);
}

TEST_F(DownloadHttpTest, EmptyBodyCreatesAnEmptyFile) {
  FServer.ServeBody("empty.bz2", "");

  EXPECT_TRUE(FWorker.DownloadFile(FServer.BaseUrl() + "empty.bz2", FDir / "empty.bz2", true));

  EXPECT_TRUE(test::Exists(FDir / "empty.bz2"));
  EXPECT_EQ(test::ReadFileBytes(FDir / "empty.bz2"), "");
  EXPECT_EQ(FView.Calls, (Strings{"file:0", "file:0"}));
}

// No answer at all: nothing running at the address, a server that hangs up without a word,
// and a redirect to such a server.
TEST_F(DownloadHttpTest, AddressWithoutAnswerLeavesTheLocalFileAlone) {
  std::string closedBase;
  {
    HttpFixture gone;
    closedBase = gone.BaseUrl();
  }
  FServer.ServeNoAnswer("files.lst.bz2");
  FServer.ServeRedirect("moved.bz2", "files.lst.bz2");
  const std::string local = FDir / "files.lst.bz2";
  const std::string old = RandomBytes(2000);
  test::WriteFileBytes(local, old);
  const std::vector<std::string> urls = {closedBase + "files.lst.bz2",
                                         FServer.BaseUrl() + "files.lst.bz2",
                                         FServer.BaseUrl() + "moved.bz2"};

  for (const std::string& url : urls) {
    SCOPED_TRACE(url);
    FView.Calls.clear();

    EXPECT_FALSE(FWorker.DownloadFile(url, local, true));

    EXPECT_EQ(test::ReadFileBytes(local), old);
    EXPECT_EQ(FView.Calls, Strings{"file:0"});
  }
}

TEST_F(DownloadHttpTest, MissingLocalFolderRaisesAndCreatesNothing) {
  FServer.ServeBody("a.bz2", "data");
  const std::string local = FDir / "no such folder/a.bz2";

  try {
    FWorker.DownloadFile(FServer.BaseUrl() + "a.bz2", local, true);
    ADD_FAILURE() << "no error raised";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.ErrorCode(), ioerror::kPathNotFound);
    EXPECT_EQ(e.Message(), "Invalid filename");
  }
  EXPECT_FALSE(test::Exists(FDir / "no such folder"));
  EXPECT_EQ(FView.Calls, Strings{});
}

}  // namespace
}  // namespace korvath
