// The replacement pass with its transfers running ahead: the window must see exactly what a
// file-by-file pass shows, the server gets a few requests at a time, and work done ahead
// of a pass that ends early must leave nothing behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <new>
#include <optional>
#include <span>
#include <stdexcept>
#include <thread>

#include "engine/GetFilesThr.h"
#include "engine/TransferRoad.h"
#include "platform/Http.h"
#include "tests/integration/UpdateRun.h"
#include "tests/support/Bz2Compress.h"
#include "tests/support/RecordingView.h"
#include "tests/support/Release.h"
#include "tests/support/SettingsFixture.h"
#include "tests/support/TempDir.h"
#include "tests/support/UpdateRunner.h"

namespace korvath {
namespace {

using test::Exists;
using test::ReadFileBytes;
using test::WriteFileBytes;
using Strings = std::vector<std::string>;

constexpr const char* kBase = "http://fake.example/";
constexpr const char* kOutOfMemory = "<out of memory>";

// An update server in memory that hands bodies out in reads of whatever size is asked, and
// writes down how many transfers were open at once.
class FakeServer {
 public:
  void Serve(const std::string& path, const std::string& body) {
    const std::lock_guard lock(FLock);
    FBodies[path] = body;
  }
  // Opening the address fails, as with a dead server.
  void Refuse(const std::string& path) {
    const std::lock_guard lock(FLock);
    FRefused.push_back(path);
  }
  // Game files' bodies give no byte until a refused address has been asked for and a moment has
  // passed since, so that the client has taken in the refusal before any other transfer ends.
  void HoldBodiesUntilARefusal() { FHoldBodies = true; }
  // The body of Path ends only a second after its last byte, as a slow line's may.
  void StallAtTheEnd(const std::string& path) {
    const std::lock_guard lock(FLock);
    FStalled.push_back(path);
  }

  std::string PublishFile(const std::string& listPath, const std::string& content) {
    const std::string compressed = test::Bz2Compress(content);
    Serve(ReplaceAll(listPath, "\\", "/") + ".bz2", compressed);
    return listPath + "|" + test::Md5Hex(content) + "|" + std::to_string(compressed.size());
  }
  Strings Requests() const {
    const std::lock_guard lock(FLock);
    return FRequests;
  }
  int MostOpenAtOnce() const { return FMostOpen; }

  HttpOpener Opener() {
    return [this](const std::string&) -> std::unique_ptr<platform::HttpSession> {
      return std::make_unique<Session>(*this);
    };
  }

 private:
  class Response : public platform::HttpResponse {
   public:
    Response(FakeServer& server, std::string body, bool held, bool stalls)
        : FServer(server), FBody(std::move(body)), FHeld(held), FStalls(stalls) {
      const int open = ++FServer.FOpen;
      int most = FServer.FMostOpen;
      while (open > most && !FServer.FMostOpen.compare_exchange_weak(most, open)) {
      }
    }
    ~Response() override { --FServer.FOpen; }
    size_t Read(char* buffer, size_t count) override {
      if (FHeld) FServer.WaitForTheRefusal();
      if (FStalls && FPos == FBody.size()) std::this_thread::sleep_for(std::chrono::seconds(1));
      // The body a client could not find room for in its memory.
      if (FBody == kOutOfMemory) throw std::bad_alloc();
      const size_t n = std::min(count, FBody.size() - FPos);
      std::copy_n(FBody.data() + FPos, n, buffer);
      FPos += n;
      return n;
    }

   private:
    FakeServer& FServer;
    std::string FBody;
    bool FHeld;
    bool FStalls;
    size_t FPos = 0;
  };
  class Session : public platform::HttpSession {
   public:
    explicit Session(FakeServer& server) : FServer(server) {}
    std::unique_ptr<platform::HttpResponse> OpenUrl(const std::string& url,
                                                    const platform::HttpRequest&) override {
      const std::string path = url.substr(std::string(kBase).size());
      const std::lock_guard lock(FServer.FLock);
      FServer.FRequests.push_back(path);
      if (std::find(FServer.FRefused.begin(), FServer.FRefused.end(), path) !=
          FServer.FRefused.end()) {
        FServer.FRefusedAt = std::chrono::steady_clock::now();
        FServer.FRefusal.notify_all();
        return nullptr;
      }
      const auto body = FServer.FBodies.find(path);
      return std::make_unique<Response>(
          FServer, body == FServer.FBodies.end() ? std::string("not found") : body->second,
          FServer.FHoldBodies && path != "files.lst.bz2",
          std::ranges::count(FServer.FStalled, path) != 0);
    }
    void DeleteUrlCacheEntry(const std::string&) override {}

   private:
    FakeServer& FServer;
  };

  void WaitForTheRefusal() {
    std::unique_lock lock(FLock);
    // Bounded, so that a client that never asks for the refused address still ends.
    FRefusal.wait_for(lock, std::chrono::seconds(5), [&] { return FRefusedAt.has_value(); });
    const auto settled =
        FRefusedAt.value_or(std::chrono::steady_clock::now()) + std::chrono::milliseconds(300);
    lock.unlock();
    std::this_thread::sleep_until(settled);
  }

  mutable std::mutex FLock;
  std::condition_variable FRefusal;
  std::optional<std::chrono::steady_clock::time_point> FRefusedAt;
  bool FHoldBodies = false;
  std::map<std::string, std::string> FBodies;
  Strings FRefused;
  Strings FStalled;
  Strings FRequests;
  std::atomic<int> FOpen{0};
  std::atomic<int> FMostOpen{0};
};

// A window that is slow to show each extraction, so that the transfers run well ahead of it,
// and that fails at one status text if asked to.
class SlowView : public test::RecordingView {
 public:
  std::string FailAt;
  void ShowStatus(const std::string& status) override {
    RecordingView::ShowStatus(status);
    if (status.rfind("Extracting ", 0) == 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(15));
    if (!FailAt.empty() && status == FailAt) throw std::runtime_error("the window went away");
  }
};

class ReplaceAhead : public SettingsFixture {
 protected:
  struct Outcome {
    Strings Calls;
    Strings FailedFiles;
  };
  Outcome Run(SlowView& view) {
    test::RecordingLog log;
    GFilesThread worker(view, TDirectSynchronizer::Instance(), &log);
    worker.FServer = kBase;
    worker.FRevision = 1;
    worker.SetHttpOpener(FServer.Opener());
    worker.Resume();
    worker.WaitFor();
    return {view.Calls, log.Files};
  }

  // The calls a file-by-file pass makes for entry Number (0-based) of the pass.
  Strings ExpectedFileCalls(const std::string& listPath, const std::string& content,
                            size_t number) {
    FakeServer single;
    const std::string entry = single.PublishFile(listPath, content);
    test::RecordingView view;
    // What a plain worker's download and unpacking of one file show, made one after the other.
    GFilesThread reference(view, TDirectSynchronizer::Instance());
    reference.SetHttpOpener(single.Opener());
    const std::string size = entry.substr(entry.rfind('|') + 1);
    const std::string download = FScratch / "file.bz2";
    EXPECT_TRUE(
        reference.DownloadFile(kBase + ReplaceAll(listPath, "\\", "/") + ".bz2", download, true));
    const size_t downloadCalls = view.Calls.size();
    reference.UnpackFile(download, FScratch / "file");
    Strings expected{"status:Downloading " + listPath, "max0:" + size};
    expected.insert(expected.end(), view.Calls.begin(),
                    view.Calls.begin() + static_cast<std::ptrdiff_t>(downloadCalls));
    expected.push_back("status:Extracting " + listPath);
    expected.insert(expected.end(), view.Calls.begin() + static_cast<std::ptrdiff_t>(downloadCalls),
                    view.Calls.end());
    expected.push_back("total:" + std::to_string(number + 1));
    return expected;
  }

  // The temporaries left in Folder, but for a download stopped halfway with its record, which
  // the next run goes on from.
  static std::string Temporaries(const std::string& folder) {
    const std::map<std::string, std::string> contents = test::FolderContents(folder);
    std::string left;
    for (const auto& [name, content] : contents) {
      const bool kept = name.ends_with(".bz2") && contents.contains(name + ".resume");
      if (name.size() > 4 && (name.ends_with(".bz2") || name.ends_with(".unpack")) && !kept)
        left += name + " ";
    }
    return left;
  }

  FakeServer FServer;
  test::TempDir FScratch;
};

TEST_F(ReplaceAhead, WindowSeesEachFileAsAFileByFilePassShowsIt) {
  // Sizes around the 1,024-byte download reads and the 65,536-byte unpacking blocks, in nested
  // folders, with several files large enough to keep the transfers busy ahead of the window.
  const std::vector<std::pair<std::string, std::string>> files{
      {"empty.dat", ""},
      {"one.dat", "1"},
      {"sys\\exact.dat", test::NoiseBytes(1024 - 60, 2)},
      {"sys\\deep\\Sub\\noise.bin", test::NoiseBytes(300000, 3)},
      {"text.txt", std::string(500000, 'k')},
      {"sys\\deep\\more.bin", test::NoiseBytes(140000, 4)},
      {"last.dat", test::NoiseBytes(70000, 5)},
  };
  Strings entries, expected;
  for (size_t i = 0; i < files.size(); ++i) {
    entries.push_back(FServer.PublishFile(files[i].first, files[i].second));
    const Strings one = ExpectedFileCalls(files[i].first, files[i].second, i);
    expected.insert(expected.end(), one.begin(), one.end());
  }
  expected.push_back("total:0");
  FServer.Serve("files.lst.bz2", test::Bz2Compress(test::ListText(2, 0, entries, {})));

  SlowView view;
  const Outcome run = Run(view);
  const auto first = std::find(run.Calls.begin(), run.Calls.end(), "status:Downloading empty.dat");
  ASSERT_NE(first, run.Calls.end());
  const Strings pass(
      first, std::min(run.Calls.end(), first + static_cast<std::ptrdiff_t>(expected.size())));
  EXPECT_EQ(pass, expected);
  EXPECT_EQ(view.Only("status:").back(), "status:All the files have been updated");
  for (const auto& [path, content] : files)
    EXPECT_EQ(ReadFileBytes(FGame / ReplaceAll(path, "\\", "/")), content) << path;
  EXPECT_LE(FServer.MostOpenAtOnce(), static_cast<int>(kDefaultConnections));
  EXPECT_EQ(Temporaries(FGame.Path()), "");
}

TEST_F(ReplaceAhead, DownloadThatCannotBeOpenedStopsThePassAndNothingAfterItIsAskedFor) {
  Strings entries;
  for (int i = 1; i <= 8; ++i) {
    const std::string name = "f" + std::to_string(i) + ".dat";
    WriteFileBytes(FGame / name, "old " + name);
    entries.push_back(FServer.PublishFile(name, test::NoiseBytes(90000, static_cast<uint32_t>(i))));
  }
  FServer.Refuse("f4.dat.bz2");
  FServer.HoldBodiesUntilARefusal();
  FServer.Serve("files.lst.bz2", test::Bz2Compress(test::ListText(2, 0, entries, {})));

  SlowView view;
  const Outcome run = Run(view);
  EXPECT_EQ(view.Only("status:").back(), "status:Update Failed");
  for (int i = 1; i <= 8; ++i) {
    const std::string name = "f" + std::to_string(i) + ".dat";
    EXPECT_EQ(ReadFileBytes(FGame / name) == "old " + name, i >= 4) << name;
  }
  // f1 to f4 go out at once, one on each connection; no file after f4 is started once f4 found
  // no server, and none is asked for twice.
  Strings requests = FServer.Requests();
  std::sort(requests.begin(), requests.end());
  const Strings asked{"f1.dat.bz2", "f2.dat.bz2", "f3.dat.bz2", "f4.dat.bz2", "files.lst.bz2"};
  EXPECT_EQ(requests, asked);
  const Strings downloading = view.Only("status:Downloading");
  EXPECT_EQ(downloading.back(), "status:Downloading f4.dat");
  EXPECT_EQ(Temporaries(FGame.Path()), "");
}

// A file the worker waits for again (its copy was sent round once more) while every thread of
// the kind it needs holds a file ahead that waits for room: that file gives its thread up and
// comes again later, and nothing else is asked for twice.
TEST_F(ReplaceAhead, FileSentRoundAgainGetsAThreadFromAFileWaitingForRoom) {
  struct Case {
    const char* Name;
    unsigned Connections, Decoders;
    int64_t Budget;  // below the large file's download, or only below its download and content
  };
  const std::string small = test::NoiseBytes(2000, 1), large = test::NoiseBytes(200000, 2);
  const Strings entries{FServer.PublishFile("small.dat", small),
                        FServer.PublishFile("large.dat", large)};
  for (const Case& c : {Case{"a fetch thread", 1, 1, 50000}, Case{"a decoder", 2, 1, 300000}}) {
    SCOPED_TRACE(c.Name);
    const test::TempDir work;
    TTransferRoad::TSettings settings;
    settings.WorkDir = work.Path() + platform::kPathDelim;
    settings.Server = kBase;
    settings.Opener = FServer.Opener();
    settings.Connections = c.Connections;
    settings.Decoders = c.Decoders;
    settings.AheadBudget = c.Budget;
    TTransferRoad road(std::move(settings), entries);
    const auto none = [](std::span<const TGaugeCall>) {};
    ASSERT_EQ(road.PlayDownload(0, none).Kind, TFetched::TKind::Copy);
    // The large file is under way and soon waits for room.
    while (std::ranges::count(FServer.Requests(), "large.dat.bz2") == 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    road.Refetch(0, TFetchPlan{});
    for (size_t i = 0; i < 2; ++i) {
      ASSERT_EQ(road.PlayDownload(i, none).Kind, TFetched::TKind::Copy) << i;
      ASSERT_FALSE(road.PlayDecode(i, none).Error) << i;
      EXPECT_EQ(road.Keep(i), 0);
      road.Finished(i);
    }
    EXPECT_EQ(ReadFileBytes(work / "small.dat"), small);
    EXPECT_EQ(ReadFileBytes(work / "large.dat"), large);
  }
  // The small file twice for each case, by the worker's wish; the large one at most twice.
  EXPECT_EQ(std::ranges::count(FServer.Requests(), "small.dat.bz2"), 4);
  EXPECT_LE(std::ranges::count(FServer.Requests(), "large.dat.bz2"), 4);
}

TEST_F(ReplaceAhead, DownloadThatCannotBeOpenedLeavesAListedFileOfItsTemporaryNameAlone) {
  const std::string current = FServer.PublishFile("x.dat.bz2", "a listed file");
  WriteFileBytes(FGame / "x.dat.bz2", "a listed file");
  const std::string missing = FServer.PublishFile("x.dat", "new x");
  FServer.Refuse("x.dat.bz2");
  FServer.Serve("files.lst.bz2", test::Bz2Compress(test::ListText(2, 0, {current, missing}, {})));
  SlowView view;
  Run(view);
  EXPECT_EQ(view.Only("status:").back(), "status:Update Failed");
  EXPECT_EQ(ReadFileBytes(FGame / "x.dat.bz2"), "a listed file");
  EXPECT_FALSE(Exists(FGame / "x.dat"));
}

TEST_F(ReplaceAhead, PassEndingEarlyDiscardsWhatWasFetchedAndUnpackedAhead) {
  Strings entries;
  for (int i = 1; i <= 10; ++i) {
    const std::string name = "sub" + std::to_string(i % 3) + "/f" + std::to_string(i) + ".dat";
    entries.push_back(FServer.PublishFile(ReplaceAll(name, "/", "\\"),
                                          test::NoiseBytes(40000, static_cast<uint32_t>(i))));
  }
  FServer.Serve("files.lst.bz2", test::Bz2Compress(test::ListText(2, 0, entries, {})));

  SlowView view;
  view.FailAt = "Extracting sub2\\f2.dat";
  // f6's body is all there but not yet ended when the pass ends: it goes too.
  FServer.StallAtTheEnd("sub0/f6.dat.bz2");
  Run(view);
  EXPECT_GT(FServer.Requests().size(), 3u) << "the transfers had run ahead of the window";
  EXPECT_TRUE(Exists(FGame / "sub1/f1.dat"));
  for (int i = 2; i <= 10; ++i)
    EXPECT_FALSE(
        Exists(FGame / ("sub" + std::to_string(i % 3) + "/f" + std::to_string(i) + ".dat")))
        << i;
  EXPECT_EQ(Temporaries(FGame.Path()), "");
}

TEST_F(ReplaceAhead, OutOfMemoryOnOneFileFailsThatFileAlone) {
  Strings entries{FServer.PublishFile("a.dat", "alpha"), FServer.PublishFile("b.dat", "bravo"),
                  FServer.PublishFile("c.dat", "charlie")};
  FServer.Serve("b.dat.bz2", kOutOfMemory);
  FServer.Serve("files.lst.bz2", test::Bz2Compress(test::ListText(2, 0, entries, {})));
  SlowView view;
  const Outcome run = Run(view);
  EXPECT_EQ(run.FailedFiles, Strings{"b.dat: out of memory while downloading"});
  EXPECT_EQ(ReadFileBytes(FGame / "a.dat"), "alpha");
  EXPECT_EQ(ReadFileBytes(FGame / "c.dat"), "charlie");
  EXPECT_FALSE(Exists(FGame / "b.dat"));
  EXPECT_EQ(Temporaries(FGame.Path()), "");
}

TEST_F(ReplaceAhead, TemporaryNamedLikeAListedFileWaitsForTheFilesBeforeIt) {
  // Whichever comes first, the download of "a.dat" never takes the listed "a.dat.bz2" for its
  // temporary: both stay.
  const struct {
    Strings order;
    std::map<std::string, std::string> left;
  } cases[] = {
      {{"a.dat.bz2", "a.dat"},
       {{"a.dat", "content of a.dat"}, {"a.dat.bz2", "content of a.dat.bz2"}}},
      {{"a.dat", "a.dat.bz2"},
       {{"a.dat", "content of a.dat"}, {"a.dat.bz2", "content of a.dat.bz2"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.order.front());
    for (const std::string name : {"a.dat", "a.dat.bz2"}) std::filesystem::remove(FGame / name);
    Strings entries;
    for (const std::string& name : c.order)
      entries.push_back(FServer.PublishFile(name, "content of " + name));
    FServer.Serve("files.lst.bz2", test::Bz2Compress(test::ListText(2, 0, entries, {})));
    SlowView view;
    Run(view);
    auto left = test::FolderContents(FGame.Path());
    std::erase_if(left, [](const auto& item) { return item.first.rfind("config/", 0) == 0; });
    EXPECT_EQ(left, c.left);
  }
}

}  // namespace
}  // namespace korvath

namespace korvath {
namespace {

// A release that lists a file beside names its temporaries would have: a failed replacement and
// a good one leave those listed files as the list has them.
TEST_F(UpdateRun, ListedFilesNamedLikeAnotherFilesTemporariesAreNeverTaken) {
  const std::string neighbours[] = {"a.dat.bz2", "a.dat.unpack", "a.dat.patch", "b.dat.bz2"};
  std::vector<std::string> entries;
  for (const std::string& name : neighbours) {
    entries.push_back(FServer.PublishFile(name, "listed " + name));
    test::WriteFileBytes(Game(name), "listed " + name);
  }
  // a.dat's copy is damaged: it fails, and is discarded; b.dat comes right.
  FServer.Http().ServeBody("a.dat.bz2", "not bzip2");
  entries.push_back("a.dat|" + test::Md5Hex("alpha") + "|9");
  entries.push_back(FServer.PublishFile("b.dat", "bravo"));
  FServer.PublishList(test::ListText(1, 0, entries, {}));
  const Outcome run = Run();
  EXPECT_EQ(run.Status, kUpdateFailed);
  ASSERT_EQ(run.FailedFiles.size(), 1u);
  EXPECT_EQ(run.FailedFiles[0].rfind("a.dat: damaged archive", 0), 0u) << run.FailedFiles[0];
  for (const std::string& name : neighbours)
    EXPECT_EQ(test::ReadFileBytes(Game(name)), "listed " + name) << name;
  EXPECT_EQ(test::ReadFileBytes(Game("b.dat")), "bravo");
}

}  // namespace
}  // namespace korvath
