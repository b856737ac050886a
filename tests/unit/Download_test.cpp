// DownloadFile against a scripted HTTP client: the order of the client calls, the size of the
// reads, and what happens to the handles and the gauge when the local file fails.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/GetFilesThr.h"
#include "runtime/SysUtils.h"
#include "tests/support/RecordingView.h"
#include "tests/support/System.h"
#include "tests/support/TempDir.h"

namespace korvath {
namespace {

using test::RecordingView;
using test::TempDir;
using Strings = std::vector<std::string>;

// Writes down every call the download makes of its HTTP client.
struct Script {
  bool OpenFails = false;
  std::string Body;
  std::string LocalName;  // looked at when the cache entry goes
  Strings Log;
};

class FakeResponse : public platform::HttpResponse {
 public:
  explicit FakeResponse(Script& script) : FScript(script) {}
  ~FakeResponse() override { FScript.Log.push_back("close-url"); }
  size_t Read(char* buffer, size_t count) override {
    FScript.Log.push_back("read:" + std::to_string(count));
    const size_t n = std::min(count, FScript.Body.size() - FPos);
    FScript.Body.copy(buffer, n, FPos);
    FPos += n;
    return n;
  }

 private:
  Script& FScript;
  size_t FPos = 0;
};

class FakeSession : public platform::HttpSession {
 public:
  explicit FakeSession(Script& script) : FScript(script) {}
  ~FakeSession() override { FScript.Log.push_back("close-internet"); }
  std::unique_ptr<platform::HttpResponse> OpenUrl(const std::string& url,
                                                  const platform::HttpRequest&) override {
    FScript.Log.push_back("open:" + url);
    if (FScript.OpenFails) return nullptr;
    return std::make_unique<FakeResponse>(FScript);
  }
  void DeleteUrlCacheEntry(const std::string& url) override {
    FScript.Log.push_back("uncache:" + url +
                          (test::Exists(FScript.LocalName) ? " (file exists)" : ""));
  }

 private:
  Script& FScript;
};

class DownloadFileTest : public ::testing::Test {
 protected:
  DownloadFileTest() : FWorker(FView, TDirectSynchronizer::Instance()) {
    FWorker.SetHttpOpener([this](const std::string& agent) {
      FScript.Log.push_back("internet:" + agent);
      return std::make_unique<FakeSession>(FScript);
    });
  }

  TempDir FDir;
  RecordingView FView;
  GFilesThread FWorker;  // a plain worker, never started
  Script FScript;
  const std::string FUrl = "http://update.test/data/a.bin.bz2";
};

TEST_F(DownloadFileTest, CallsTheClientInOrderAndReadsAKilobyteAtATime) {
  FScript.Body = std::string(2100, 'x');
  FScript.LocalName = FDir / "a.bin.bz2";

  EXPECT_TRUE(FWorker.DownloadFile(FUrl, FScript.LocalName, true));

  EXPECT_EQ(FScript.Log,
            (Strings{"internet:ViDivivuRidevuv", "open:" + FUrl, "uncache:" + FUrl, "read:1024",
                     "read:1024", "read:1024", "read:1024", "close-url", "close-internet"}));
  EXPECT_EQ(FView.Calls, (Strings{"file:1024", "file:2048", "file:2100", "file:2100", "file:0"}));
  EXPECT_EQ(test::ReadFileBytes(FScript.LocalName), FScript.Body);
  EXPECT_EQ(FWorker.FGaugeValue, 0);
}

TEST_F(DownloadFileTest, WithoutProgressTheGaugeIsOnlyReset) {
  FScript.Body = std::string(3000, 'y');
  FScript.LocalName = FDir / "quiet.bz2";
  FWorker.FGaugeValue = 77;

  EXPECT_TRUE(FWorker.DownloadFile(FUrl, FScript.LocalName, false));

  EXPECT_EQ(FView.Calls, Strings{"file:0"});
  EXPECT_EQ(test::ReadFileBytes(FScript.LocalName), FScript.Body);
}

TEST_F(DownloadFileTest, FailedOpenTouchesNoFileAndLeavesTheCacheAlone) {
  FScript.OpenFails = true;
  FScript.LocalName = FDir / "kept.bz2";
  const std::string old("old\0bytes", 9);
  test::WriteFileBytes(FScript.LocalName, old);

  EXPECT_FALSE(FWorker.DownloadFile(FUrl, FScript.LocalName, true));

  EXPECT_EQ(FScript.Log, (Strings{"internet:ViDivivuRidevuv", "open:" + FUrl, "close-internet"}));
  EXPECT_EQ(FView.Calls, Strings{"file:0"});
  EXPECT_EQ(test::ReadFileBytes(FScript.LocalName), old);
}

// A local file that cannot be created or written raises with the run-time's message; both
// handles are closed on the way out and the gauge is not reset.
TEST_F(DownloadFileTest, LocalFileErrorsAreRaisedAfterClosingBothHandles) {
  struct Case {
    std::string LocalName;
    int Code;
    std::string Message;
  };
  test::WriteFileBytes(FDir / "folder/inside", "");
  std::vector<Case> cases = {
      {FDir / "missing/a.bz2", ioerror::kPathNotFound, "Invalid filename"},
      {FDir / "folder", ioerror::kAccessDenied, "File access denied"},  // a folder of that name
  };
  if (const std::string full = test::AlwaysFullFile(); !full.empty())
    cases.push_back({full, ioerror::kDiskFull, "Disk full"});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.LocalName);
    FScript = Script{};
    FScript.Body = std::string(1500, 'z');
    FView.Calls.clear();
    try {
      FWorker.DownloadFile(FUrl, c.LocalName, true);
      ADD_FAILURE() << "no error raised";
    } catch (const EInOutError& e) {
      EXPECT_EQ(e.ErrorCode(), c.Code);
      EXPECT_EQ(e.Message(), c.Message);
    }
    ASSERT_GE(FScript.Log.size(), 2u);
    EXPECT_EQ(Strings(FScript.Log.end() - 2, FScript.Log.end()),
              (Strings{"close-url", "close-internet"}));
    EXPECT_EQ(FView.Calls, Strings{});
  }
  EXPECT_FALSE(test::Exists(FDir / "missing"));
}

}  // namespace
}  // namespace korvath
