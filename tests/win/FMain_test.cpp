// The main window built from its real layout and pictures, in a game folder of its own with its
// own settings key: settings, shape, dragging, the worker's calls, whole runs, the news pane
// and the start button.
#include <exdispid.h>
#include <gtest/gtest.h>
#include <mshtmdid.h>
#include <windowsx.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "app/UnitMain.h"
#include "platform/File.h"
#include "platform/RunGuard.h"
#include "runtime/SettingsStore.h"
#include "runtime/win32/Application.h"
#include "tests/support/Bz2Compress.h"
#include "tests/support/Process.h"
#include "tests/support/Release.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/SettingsFixture.h"
#include "tests/support/TempDir.h"

namespace korvath {
namespace {

using test::Exists;
using test::ReadFileBytes;

// A browser's automation object as the event arguments carry it; it only counts references.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class TFakeDispatch final : public IDispatch {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IDispatch) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++Count; }
  ULONG STDMETHODCALLTYPE Release() override { return --Count; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return E_NOTIMPL;
  }
  ULONG Count = 1;
};
#pragma GCC diagnostic pop

class FMainTest : public SettingsFixture {
 protected:
  void SetUp() override {
    Application.OnException = [this](const std::string& text) { FErrors.push_back(text); };
    FSavedOpener = OpenInDefaultBrowser;
    OpenInDefaultBrowser = [this](const std::string& url) { FOpened.push_back(url); };
  }

  void TearDown() override {
    EXPECT_TRUE(PumpUntil([] { return !UpdateRunActive(); })) << "a run did not end";
    FForm.reset();
    FMain = nullptr;
    Application.OnException = nullptr;
    OpenInDefaultBrowser = FSavedOpener;
    Application.ProcessMessages();
  }

  // Builds the window as the main routine does, without its start timer.
  TFMain& Create() {
    FForm = std::make_unique<TFMain>();
    FMain = FForm.get();
    FForm->Timer1->SetEnabled(false);
    FForm->DoCreate();
    FForm->ShowForm();
    Application.ProcessMessages();
    return *FForm;
  }

  bool PumpUntil(const std::function<bool()>& done, int milliseconds = 30000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      Application.ProcessMessages();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    Application.ProcessMessages();
    return true;
  }

  void Send(UINT message, WPARAM keys, int x, int y) {
    SendMessageA(FForm->Handle(), message, keys, MAKELPARAM(x, y));
  }

  int32_t Stored(const char* name) {
    return OpenSettingsStore()->ReadInteger(kSettingsSection, name, -1);
  }

  std::unique_ptr<TFMain> FForm;
  std::vector<std::string> FErrors;
  std::vector<std::string> FOpened;
  std::function<void(const std::string&)> FSavedOpener;
};

TEST_F(FMainTest, SettingsAreReadAsNumbersOrDecimalTextAndDefaultToZero) {
  struct Case {
    const char* Name;
    std::function<void()> Plant;
    int32_t Backup, Revision;
  };
  const std::vector<Case> cases = {
      {"nothing stored", [] {}, 0, 0},
      {"numbers",
       [] {
         auto store = OpenSettingsStore();
         store->WriteInteger(kSettingsSection, kCreateBackup, 1);
         store->WriteInteger(kSettingsSection, kAtRevision, 12);
       },
       1, 12},
      {"decimal texts",
       [this] {
         PlantText(kAtRevision, "34");
         PlantText(kCreateBackup, "1");
       },
       1, 34},
      {"letters", [this] { PlantText(kAtRevision, "abc"); }, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    // Each case in a folder of its own, and so with a key of its own.
    const std::string folder = FGame / c.Name;
    ASSERT_TRUE(platform::CreateDir(folder));
    test::CurrentDirScope inFolder(folder);
    c.Plant();
    SavedBackup = SavedRevision = -7;
    LoadSettings();
    EXPECT_EQ(SavedBackup, c.Backup);
    EXPECT_EQ(SavedRevision, c.Revision);
    EXPECT_EQ(WorkDir, platform::GetCurrentDir() + "\\");
  }
}

TEST_F(FMainTest, UpdateRevisionWritesTheStoreButNotSavedRevision) {
  PlantText(kAtRevision, "3");
  TFMain& form = Create();
  EXPECT_EQ(SavedRevision, 3);
  form.UpdateRevision(11);
  EXPECT_EQ(Stored(kAtRevision), 11);
  EXPECT_EQ(ReadText(kAtRevision), "11") << "a value kept as text stays text";
  EXPECT_EQ(SavedRevision, 3);
  MainRunView().StoreRevision(12);
  EXPECT_EQ(Stored(kAtRevision), 12);
  EXPECT_EQ(SavedRevision, 3);
}

TEST_F(FMainTest, ASettingsErrorIsShownAndTheWindowOpensWithoutItsSkinCursorAndShape) {
  PlantOtherType(kAtRevision);
  TFMain& form = Create();
  EXPECT_EQ(FErrors, std::vector<std::string>{"Invalid data type for 'AtRevision'."});
  EXPECT_TRUE(IsWindowVisible(form.Handle()));
  EXPECT_EQ(form.Cursor(), crDefault);
  TGdiObject<HRGN> shape(CreateRectRgn(0, 0, 0, 0));
  EXPECT_EQ(GetWindowRgn(form.Handle(), shape.Get()), ERROR) << "the window keeps its rectangle";
}

TEST_F(FMainTest, TheWindowIsShapedLikeItsSkinPixelForPixel) {
  TFMain& form = Create();
  ASSERT_TRUE(FErrors.empty());
  const TBitmap& skin = *form.Image1->Picture().Bitmap();
  ASSERT_EQ(skin.Width(), 800);
  ASSERT_EQ(skin.Height(), 599);
  // The region as the one-pixel-at-a-time description builds it: the whole rectangle, then
  // every key-coloured pixel taken away, column by column.
  const COLORREF key = skin.Pixel(0, 0);
  EXPECT_EQ(key, RGB(0x1F, 0xFF, 0x08));
  TGdiObject<HRGN> expected(CreateRectRgn(0, 0, skin.Width(), skin.Height()));
  int cut = 0;
  for (int x = 0; x < skin.Width(); ++x)
    for (int y = 0; y < skin.Height(); ++y)
      if (skin.Pixel(x, y) == key) {
        TGdiObject<HRGN> pixel(CreateRectRgn(x, y, x + 1, y + 1));
        CombineRgn(expected.Get(), expected.Get(), pixel.Get(), RGN_DIFF);
        ++cut;
      }
  EXPECT_GT(cut, 10000) << "the margins are cut away";
  TGdiObject<HRGN> shape(CreateRectRgn(0, 0, 0, 0));
  ASSERT_NE(GetWindowRgn(form.Handle(), shape.Get()), ERROR);
  EXPECT_TRUE(EqualRgn(shape.Get(), expected.Get()));
  EXPECT_FALSE(PtInRegion(shape.Get(), 0, 0));
  EXPECT_FALSE(PtInRegion(shape.Get(), 2, 300)) << "the left margin";
  EXPECT_TRUE(PtInRegion(shape.Get(), 400, 300));
  EXPECT_TRUE(PtInRegion(shape.Get(), 400, 1)) << "the ornament rises to the top edge";
  EXPECT_EQ(form.Cursor(), 5);
  EXPECT_NE(Application.CursorHandle(5), LoadCursorA(nullptr, IDC_ARROW));
}

TEST_F(FMainTest, DraggingMovesTheWindowWithTheMouseOnlyFromItsOwnSurface) {
  TFMain& form = Create();
  const int left = form.Left(), top = form.Top();
  // Any button drags, from the skin (the news area is skin until the page has loaded).
  Send(WM_RBUTTONDOWN, MK_RBUTTON, 300, 200);
  Send(WM_MOUSEMOVE, MK_RBUTTON, 310, 190);
  EXPECT_EQ(form.Left(), left + 10);
  EXPECT_EQ(form.Top(), top - 10);
  // The window moved under the mouse, so the press point is under it again.
  Send(WM_MOUSEMOVE, MK_RBUTTON, 305, 203);
  EXPECT_EQ(form.Left(), left + 15);
  EXPECT_EQ(form.Top(), top - 7);
  Send(WM_RBUTTONUP, 0, 305, 203);
  Send(WM_MOUSEMOVE, 0, 350, 250);
  EXPECT_EQ(form.Left(), left + 15);
  // Another window takes the mouse in mid-drag: no release comes, and the drag is over.
  Send(WM_LBUTTONDOWN, MK_LBUTTON, 300, 200);
  SetCapture(form.Panel2->Handle());
  ReleaseCapture();
  Send(WM_MOUSEMOVE, 0, 350, 250);
  EXPECT_EQ(form.Left(), left + 15);
  // A press on a label or a gauge is theirs; it drags nothing.
  for (POINT on : {POINT{45, 530}, POINT{200, 533}}) {
    Send(WM_LBUTTONDOWN, MK_LBUTTON, on.x, on.y);
    Send(WM_MOUSEMOVE, MK_LBUTTON, on.x + 30, on.y + 30);
    Send(WM_LBUTTONUP, 0, on.x + 30, on.y + 30);
    EXPECT_EQ(form.Left(), left + 15);
    EXPECT_EQ(form.Top(), top - 7);
  }
}

TEST_F(FMainTest, WorkerCallsSetTheStatusGaugesAndButtons) {
  TFMain& form = Create();
  IRunView& view = MainRunView();
  struct Op {
    std::function<void()> Call;
    int32_t File, FileMax, Total, TotalMax;
  };
  const std::vector<Op> ops = {
      {[&] { view.SetFileProgress(40); }, 40, 100, 0, 100},
      {[&] { view.SetGaugeMax(kFileGauge, 30); }, 30, 30, 0,
       100},  // the position drops to the maximum
      {[&] { view.SetFileProgress(80); }, 30, 30, 0, 100},
      {[&] { view.SetFileProgress(-4); }, 0, 30, 0, 100},
      {[&] { view.SetGaugeMax(kTotalGauge, 5000); }, 0, 30, 0, 5000},
      {[&] { view.SetTotalProgress(4999); }, 0, 30, 4999, 5000},
      {[&] { view.SetGaugeMax(kTotalGauge, -1); }, 0, 30, 0, -1},  // nothing to check: empty
      {[&] { view.SetGaugeMax(2, 7); }, 0, 30, 0, -1},             // no such gauge
  };
  int index = 0;
  for (const Op& op : ops) {
    op.Call();
    EXPECT_EQ(form.Gauge1->Progress(), op.File) << "op " << index;
    EXPECT_EQ(form.Gauge1->MaxValue(), op.FileMax) << "op " << index;
    EXPECT_EQ(form.Gauge2->Progress(), op.Total) << "op " << index;
    EXPECT_EQ(form.Gauge2->MaxValue(), op.TotalMax) << "op " << index;
    ++index;
  }
  EXPECT_EQ(form.Label3->Caption(), "... Loading ...");
  view.ShowStatus("Checking files");
  EXPECT_EQ(form.Label3->Caption(), "Checking files");
  view.ShowStatus("");
  EXPECT_EQ(form.Label3->Caption(), "");
  EXPECT_EQ(form.Label3->Width(), 429) << "the status line keeps its size";

  view.DisableButtons();
  EXPECT_FALSE(form.ImgBtn1->Visible());
  EXPECT_FALSE(form.ImgBtn2->Visible());
  EXPECT_FALSE(form.ImgBtn5->Enabled());
  EXPECT_TRUE(form.ImgBtn3->Visible());
  EXPECT_TRUE(form.ImgBtn4->Visible());
  view.EnableButtons();
  EXPECT_TRUE(form.ImgBtn1->Visible());
  EXPECT_TRUE(form.ImgBtn2->Visible());
  EXPECT_TRUE(form.ImgBtn5->Enabled());
  EXPECT_FALSE(form.ImgBtn5->Visible()) << "the settings button is never shown";
}

TEST_F(FMainTest, TheTimersRunBringsTheFolderUpToDateAndStoresTheRevision) {
  test::TestServer server;
  test::ScopedEnv address("KORVATH_UPDATE_SERVER", server.BaseUrl());
  test::ScopedEnv news("KORVATH_NEWS_URL", server.BaseUrl() + "updater");
  server.PublishList(test::ListText(4, 0, {server.PublishFile("game.exe", "game bytes")},
                                    {server.PublishFile("data\\one.pak", std::string(3000, 'p'))}));
  TFMain& form = Create();
  form.Timer1Timer(nullptr);
  EXPECT_FALSE(form.Timer1->Enabled()) << "the timer fires once";
  ASSERT_TRUE(PumpUntil([] { return !UpdateRunActive(); }));
  EXPECT_EQ(ReadFileBytes(FGame / "game.exe"), "game bytes");
  EXPECT_EQ(ReadFileBytes(FGame / "data/one.pak"), std::string(3000, 'p'));
  EXPECT_EQ(Stored(kAtRevision), 4);
  EXPECT_EQ(SavedRevision, 0);
  EXPECT_EQ(form.Label3->Caption(), "All the files have been updated");
  EXPECT_TRUE(form.ImgBtn1->Visible());
  EXPECT_TRUE(form.ImgBtn2->Visible());
  EXPECT_EQ(form.Gauge2->Progress(), 0);
  EXPECT_TRUE(FErrors.empty());
}

TEST_F(FMainTest, RunsNeverOverlap) {
  test::TestServer server;
  test::ScopedEnv address("KORVATH_UPDATE_SERVER", server.BaseUrl());
  const std::string list = test::Bz2Compress(test::ListText(1, 0, {}, {}));
  const size_t third = list.size() / 3;
  // A list that takes a while to arrive keeps the first run going.
  server.Http().ServeSlowBody(
      "files.lst.bz2", {list.substr(0, third), list.substr(third, third), list.substr(2 * third)},
      std::chrono::milliseconds(300));
  TFMain& form = Create();
  form.ImgBtn2Click(nullptr);  // in the first second, before the timer's run
  form.Timer1Timer(nullptr);
  form.ImgBtn2Click(nullptr);
  ASSERT_TRUE(PumpUntil([] { return !UpdateRunActive(); }));
  EXPECT_EQ(server.RequestsFor("files.lst.bz2"), 1);
  form.ImgBtn2Click(nullptr);
  ASSERT_TRUE(PumpUntil([] { return !UpdateRunActive(); }));
  EXPECT_EQ(server.RequestsFor("files.lst.bz2"), 2) << "after a run, the next one starts";

  // Another updater working in the same folder keeps the window's runs out too.
  platform::RunGuard other;
  ASSERT_TRUE(platform::RunGuard::TryAcquire(FGame.Path(), other));
  form.ImgBtn2Click(nullptr);
  EXPECT_FALSE(UpdateRunActive());
  EXPECT_EQ(form.Label3->Caption(), kAnotherRunActive);
  EXPECT_EQ(server.RequestsFor("files.lst.bz2"), 2);
}

TEST_F(FMainTest, NewsPaneEventsShowThePaneAndSendNewWindowsToTheDefaultBrowser) {
  TFMain& form = Create();
  TFakeDispatch page;
  VARIANT url;
  VariantInit(&url);
  url.vt = VT_BSTR;
  url.bstrVal = SysAllocString(L"http://www.korvath.example/news/1 2?a=b");
  VARIANT byRef;
  VariantInit(&byRef);
  byRef.vt = VT_VARIANT | VT_BYREF;
  byRef.pvarVal = &url;
  VARIANT empty;
  VariantInit(&empty);

  EXPECT_FALSE(form.Panel1->Visible());
  {
    VARIANTARG args[2];
    args[1].vt = VT_DISPATCH;
    args[1].pdispVal = &page;
    args[0] = byRef;
    DISPPARAMS params{args, nullptr, 2, 0};
    for (int twice = 0; twice < 2; ++twice)
      form.WebBrowser1->EventSink()->Invoke(DISPID_NAVIGATECOMPLETE2, IID_NULL, 0, DISPATCH_METHOD,
                                            &params, nullptr, nullptr, nullptr);
  }
  for (TControl* shown : std::vector<TControl*>{form.Panel1, form.Image2, form.Image3, form.Image4})
    EXPECT_TRUE(shown->Visible()) << shown->Name();
  EXPECT_TRUE(IsWindowVisible(form.Panel1->Handle()));

  {
    IDispatch* newWindow = nullptr;
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANTARG args[2];
    args[1].vt = VT_DISPATCH | VT_BYREF;
    args[1].ppdispVal = &newWindow;
    args[0].vt = VT_BOOL | VT_BYREF;
    args[0].pboolVal = &cancel;
    DISPPARAMS params{args, nullptr, 2, 0};
    form.WebBrowser1->EventSink()->Invoke(DISPID_NEWWINDOW2, IID_NULL, 0, DISPATCH_METHOD, &params,
                                          nullptr, nullptr, nullptr);
    if (IDispatch* hidden = form.WebBrowser2->Application()) {
      EXPECT_EQ(newWindow, hidden) << "the new window is the hidden browser";
      EXPECT_EQ(cancel, VARIANT_FALSE);
      newWindow->Release();
    } else {
      // Without a browser control there is nothing to hand over; no window of its own opens.
      EXPECT_EQ(newWindow, nullptr);
      EXPECT_EQ(cancel, VARIANT_TRUE);
    }
  }

  {
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANTARG args[7];
    args[6].vt = VT_DISPATCH;
    args[6].pdispVal = &page;
    args[5] = byRef;
    for (int i = 1; i <= 4; ++i) {
      args[i].vt = VT_VARIANT | VT_BYREF;
      args[i].pvarVal = &empty;
    }
    args[0].vt = VT_BOOL | VT_BYREF;
    args[0].pboolVal = &cancel;
    DISPPARAMS params{args, nullptr, 7, 0};
    form.WebBrowser2->EventSink()->Invoke(DISPID_BEFORENAVIGATE2, IID_NULL, 0, DISPATCH_METHOD,
                                          &params, nullptr, nullptr, nullptr);
    EXPECT_EQ(cancel, VARIANT_TRUE) << "the hidden browser never loads anything";
    EXPECT_EQ(FOpened, std::vector<std::string>{"http://www.korvath.example/news/1 2?a=b"});

    // The news pane follows the web address and refuses another.
    for (const bool web : {true, false}) {
      cancel = VARIANT_FALSE;
      if (!web) url.bstrVal[0] = L'f';
      form.WebBrowser1->EventSink()->Invoke(DISPID_BEFORENAVIGATE2, IID_NULL, 0, DISPATCH_METHOD,
                                            &params, nullptr, nullptr, nullptr);
      EXPECT_EQ(cancel, web ? VARIANT_FALSE : VARIANT_TRUE);
    }

    // Scripts follow the address of the pane's own page, whatever a frame in it goes to.
    if (IDispatch* pane = form.WebBrowser1->Application()) {
      const std::tuple<const wchar_t*, IDispatch*, bool> steps[] = {
          {L"https://news.example/", pane, true},
          {L"http://ads.example/", &page, true},
          {L"http://news.example/", pane, false},
          {L"https://ads.example/", &page, false}};
      for (const auto& [address, frame, scripts] : steps) {
        SysFreeString(url.bstrVal);
        url.bstrVal = SysAllocString(address);
        args[6].pdispVal = frame;
        cancel = VARIANT_FALSE;
        form.WebBrowser1->EventSink()->Invoke(DISPID_BEFORENAVIGATE2, IID_NULL, 0, DISPATCH_METHOD,
                                              &params, nullptr, nullptr, nullptr);
        EXPECT_EQ(DownloadControlFor(form.WebBrowser1->PageRules()) & DLCTL_NO_SCRIPTS,
                  scripts ? 0 : DLCTL_NO_SCRIPTS)
            << address;
      }
    }
  }
  EXPECT_EQ(page.Count, 1u);
  VariantClear(&url);
}

TEST(WebAddress, OnlyHttpAndHttpsAddressesGoToTheShell) {
  const std::vector<std::pair<std::string, bool>> cases = {
      {"http://www.korvath.example/", true},
      {"HTTPS://forum.example/t?id=1", true},
      {"file:///C:/Windows/notepad.exe", false},
      {"C:\\Windows\\notepad.exe", false},
      {"javascript:alert(1)", false},
      {"httpx://a", false},
      {"", false},
      {"http", false},
  };
  for (const auto& [url, web] : cases) EXPECT_EQ(IsWebAddress(url), web) << url;
}

TEST(WebAddress, TheNewsPaneFollowsWebAddressesAndTheBlankPageOnly) {
  for (const char* url : {"http://a.example/", "HTTPS://b.example/x", "about:blank", "About:Blank"})
    EXPECT_TRUE(MayNewsPaneFollow(url)) << url;
  for (const char* url : {"file:///C:/x.html", "search-ms:query=x", "ms-msdt:/id", "about:config",
                          "\\\\host\\share\\a.html", "javascript:x", ""})
    EXPECT_FALSE(MayNewsPaneFollow(url)) << url;
}

TEST_F(FMainTest, TheStartButtonStartsTheGameFromALongFolderPathAndCloses) {
  // The game path is far longer than 100 characters.
  const std::string game = FGame / (std::string(60, 'g') + "/" + std::string(60, 'h'));
  ASSERT_TRUE(platform::ForceDirectories(game + "\\system"));
  ASSERT_TRUE(CopyFileA(test::NativeProgramPath(KORVATH_QX_MARKER_EXE).c_str(),
                        (game + "\\system\\qx.exe").c_str(), FALSE));
  test::CurrentDirScope inGame(game);
  TFMain& form = Create();
  ASSERT_GT((WorkDir + "system\\qx.exe").size(), 100u);
  const RECT start = form.ImgBtn1->BoundsRect();
  Send(WM_LBUTTONDOWN, MK_LBUTTON, start.left + 48, start.top + 50);
  Send(WM_LBUTTONUP, 0, start.left + 48, start.top + 50);
  EXPECT_TRUE(FErrors.empty());
  EXPECT_FALSE(form.Visible()) << "the window closes";
  const std::string marker = game + "\\system\\qx-started.txt";
  ASSERT_TRUE(PumpUntil([&] { return Exists(marker); }, 20000));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const std::string started = ReadFileBytes(marker);
  EXPECT_EQ(started.rfind(game + "\\system", 0), 0u)
      << "the game runs in its own folder: " << started;
  EXPECT_NE(started.find("system\\qx.exe"), std::string::npos) << started;
}

TEST_F(FMainTest, TheStartButtonWithoutTheGamesFolderShowsTheErrorAndStaysOpen) {
  TFMain& form = Create();
  const std::string missing = WorkDir + "system\\";
  SetCurrentDirectoryA(missing.c_str());
  const std::string expected = WithFullStop(IOErrorMessage(static_cast<int>(GetLastError())));
  const RECT start = form.ImgBtn1->BoundsRect();
  Send(WM_LBUTTONDOWN, MK_LBUTTON, start.left + 48, start.top + 50);
  Send(WM_LBUTTONUP, 0, start.left + 48, start.top + 50);
  EXPECT_EQ(FErrors, std::vector<std::string>{expected});
  EXPECT_TRUE(expected == "File not found." || expected == "Invalid filename.") << expected;
  EXPECT_TRUE(form.Visible());
}

TEST_F(FMainTest, TheLayoutPlacesTheControlsAndTheirStartPictures) {
  TFMain& form = Create();
  EXPECT_EQ(form.Width(), 800);
  EXPECT_EQ(form.Height(), 599);
  RECT client;
  GetClientRect(form.Handle(), &client);
  EXPECT_EQ(client.right, 800);
  EXPECT_EQ(client.bottom, 599);
  // The settings button starts with its mouse-over picture and is hidden.
  EXPECT_FALSE(form.ImgBtn5->Visible());
  EXPECT_TRUE(form.ImgBtn5->Picture().SameAs(form.ImgBtn5->PicUp()));
  EXPECT_FALSE(form.ImgBtn5->Picture().SameAs(form.ImgBtn5->Pic()));
  for (TImgBtn* button : {form.ImgBtn1, form.ImgBtn2, form.ImgBtn3, form.ImgBtn4}) {
    EXPECT_TRUE(button->Picture().SameAs(button->Pic())) << button->Name();
    EXPECT_EQ(button->Pic().Width(), button->Width()) << button->Name();
    EXPECT_EQ(button->PicDown().Height(), button->Height()) << button->Name();
  }
  EXPECT_EQ(form.Image4->Height(), 444);
  EXPECT_EQ(form.Image4->Picture().Height(), 437);
  // The browser's own border lies outside its panel.
  RECT browser;
  GetWindowRect(form.WebBrowser1->Handle(), &browser);
  MapWindowPoints(nullptr, form.Panel1->Handle(), reinterpret_cast<POINT*>(&browser), 2);
  EXPECT_EQ(browser.left, -2);
  EXPECT_EQ(browser.top, -2);
  EXPECT_EQ(browser.right - browser.left, 778);
  EXPECT_EQ(browser.bottom - browser.top, 443);
  EXPECT_EQ(form.Label1->Caption(), "File Download");
  EXPECT_EQ(form.Label1->Height(), 13) << "labels size themselves to the font";
  EXPECT_FALSE(IsWindowVisible(form.Panel2->Handle()));
}

}  // namespace
}  // namespace korvath
