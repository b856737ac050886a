#include "app/UnitMain.h"

#include <shellapi.h>

#include <atomic>
#include <system_error>

#include "engine/Addresses.h"
#include "engine/GetFilesThr.h"
#include "forms/Layouts.h"
#include "platform/Ascii.h"
#include "platform/File.h"
#include "platform/RunGuard.h"
#include "runtime/win32/Application.h"
#include "runtime/win32/ComponentRegistry.h"
#include "runtime/win32/Region.h"
#include "transfer/Misc.h"

namespace korvath {

TFMain* FMain = nullptr;
TForm* OptionsDialog = nullptr;

std::function<void(const std::string& url)> OpenInDefaultBrowser = [](const std::string& url) {
  // Security: the address comes from a web page that travels as plain HTTP. Only web addresses
  // reach the shell; a file path or another scheme could start a program.
  if (!IsWebAddress(url)) return;
  ShellExecuteA(nullptr, nullptr, url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
};

namespace {

// The cursor number of the window's own cursor in the application's table.
constexpr int kSkinCursor = 5;

std::atomic<int> ActiveRuns{0};

class TMainRunView final : public IRunView {
 public:
  void ShowStatus(const std::string& status) override {
    if (FMain != nullptr) FMain->Label3->SetCaption(status);
  }
  void SetGaugeMax(int32_t gaugeIndex, int32_t maximum) override {
    if (FMain == nullptr) return;
    if (gaugeIndex == kFileGauge) FMain->Gauge1->SetMaxValue(maximum);
    if (gaugeIndex == kTotalGauge) FMain->Gauge2->SetMaxValue(maximum);
  }
  void SetFileProgress(int32_t position) override {
    if (FMain != nullptr) FMain->Gauge1->SetProgress(position);
  }
  void SetTotalProgress(int32_t position) override {
    if (FMain != nullptr) FMain->Gauge2->SetProgress(position);
  }
  void StoreRevision(int32_t revision) override {
    if (FMain != nullptr) FMain->UpdateRevision(revision);
  }
  void DisableButtons() override {
    if (FMain == nullptr) return;
    FMain->ImgBtn1->Hide();
    FMain->ImgBtn2->Hide();
    FMain->ImgBtn5->SetEnabled(false);
  }
  void EnableButtons() override {
    if (FMain == nullptr) return;
    FMain->ImgBtn1->Show();
    FMain->ImgBtn2->Show();
    FMain->ImgBtn5->SetEnabled(true);
  }
};

// A run the window started: it holds the game folder's run guard until it has freed itself.
class TWindowRun final : public GFilesThread {
 public:
  explicit TWindowRun(platform::RunGuard guard)
      : GFilesThread(MainRunView(), Application.Synchronizer()), FGuard(std::move(guard)) {
    ++ActiveRuns;
  }
  ~TWindowRun() override {
    FGuard.Release();
    --ActiveRuns;
  }

 private:
  platform::RunGuard FGuard;
};

}  // namespace

IRunView& MainRunView() {
  static TMainRunView view;
  return view;
}

bool UpdateRunActive() {
  return ActiveRuns > 0;
}

bool IsWebAddress(const std::string& url) {
  const std::string scheme = LowerCase(url.substr(0, url.find(':')));
  return url.find(':') != std::string::npos && (scheme == "http" || scheme == "https");
}

bool MayNewsPaneFollow(const std::string& url) {
  return IsWebAddress(url) || LowerCase(url) == "about:blank";
}

TFMain::TFMain() {
  RegisterComponentClass<TImgBtn>("TImgBtn");
  Publish<TNotifyEvent>("FormCreate", [this](TObject* s) { FormCreate(s); });
  Publish<TNotifyEvent>("Timer1Timer", [this](TObject* s) { Timer1Timer(s); });
  Publish<TNotifyEvent>("ImgBtn1Click", [this](TObject* s) { ImgBtn1Click(s); });
  Publish<TNotifyEvent>("ImgBtn2Click", [this](TObject* s) { ImgBtn2Click(s); });
  Publish<TNotifyEvent>("ImgBtn3Click", [this](TObject* s) { ImgBtn3Click(s); });
  Publish<TNotifyEvent>("ImgBtn4Click", [this](TObject* s) { ImgBtn4Click(s); });
  Publish<TNotifyEvent>("ImgBtn5Click", [this](TObject* s) { ImgBtn5Click(s); });
  Publish<TMouseEvent>("FormMouseDown", [this](TObject* s, TMouseButton b, TShiftState k, int x,
                                               int y) { FormMouseDown(s, b, k, x, y); });
  Publish<TMouseMoveEvent>("FormMouseMove", [this](TObject* s, TShiftState k, int x, int y) {
    FormMouseMove(s, k, x, y);
  });
  Publish<TMouseEvent>("FormMouseUp", [this](TObject* s, TMouseButton b, TShiftState k, int x,
                                             int y) { FormMouseUp(s, b, k, x, y); });
  Publish<TWebBrowserNavigateComplete2>("WebBrowser1NavigateComplete2",
                                        [this](TObject* s, IDispatch* d, const VARIANT* u) {
                                          WebBrowser1NavigateComplete2(s, d, u);
                                        });
  Publish<TWebBrowserNewWindow2>(
      "WebBrowser1NewWindow2",
      [this](TObject* s, IDispatch** d, VARIANT_BOOL* c) { WebBrowser1NewWindow2(s, d, c); });
  Publish<TWebBrowserBeforeNavigate2>(
      "WebBrowser1BeforeNavigate2",
      [this](TObject* s, IDispatch* d, const VARIANT* u, const VARIANT* f, const VARIANT* t,
             const VARIANT* p, const VARIANT* h,
             VARIANT_BOOL* c) { WebBrowser1BeforeNavigate2(s, d, u, f, t, p, h, c); });
  Publish<TWebBrowserBeforeNavigate2>(
      "WebBrowser2BeforeNavigate2",
      [this](TObject* s, IDispatch* d, const VARIANT* u, const VARIANT* f, const VARIANT* t,
             const VARIANT* p, const VARIANT* h,
             VARIANT_BOOL* c) { WebBrowser2BeforeNavigate2(s, d, u, f, t, p, h, c); });

  LoadLayout(FMainLayout, GetModuleHandleA(nullptr));
  Image1 = Find<TImage>("Image1");
  Gauge1 = Find<TGauge>("Gauge1");
  Gauge2 = Find<TGauge>("Gauge2");
  Label1 = Find<TLabel>("Label1");
  Label2 = Find<TLabel>("Label2");
  Label3 = Find<TLabel>("Label3");
  ImgBtn1 = Find<TImgBtn>("ImgBtn1");
  ImgBtn2 = Find<TImgBtn>("ImgBtn2");
  ImgBtn3 = Find<TImgBtn>("ImgBtn3");
  ImgBtn4 = Find<TImgBtn>("ImgBtn4");
  Image2 = Find<TImage>("Image2");
  Image3 = Find<TImage>("Image3");
  Image4 = Find<TImage>("Image4");
  ImgBtn5 = Find<TImgBtn>("ImgBtn5");
  Panel1 = Find<TPanel>("Panel1");
  WebBrowser1 = Find<TWebBrowser>("WebBrowser1");
  Panel2 = Find<TPanel>("Panel2");
  WebBrowser2 = Find<TWebBrowser>("WebBrowser2");
  Timer1 = Find<TTimer>("Timer1");
  // Without the mouse no release comes: the drag ends here, or the window would follow the
  // pointer on its next hover.
  OnCaptureLost = [this](TObject*) { FDragging = false; };
}

void TFMain::UpdateRevision(int32_t Value) {
  OpenIniFileInstance()->WriteInteger(kSettingsSection, kAtRevision, Value);
}

void TFMain::FormCreate(TObject*) {
  // An error here is shown, and the window opens without its cursor, skin and shape.
  LoadSettings();
  Application.SetCursorHandle(kSkinCursor,
                              LoadCursorA(GetModuleHandleA(nullptr), "DuskmereCursor"));
  SetCursor(kSkinCursor);
  const TBitmap* skin = Image1->Picture().Bitmap();
  if (skin == nullptr) return;
  SetBackgroundBrush(TGdiObject<HBRUSH>(CreatePatternBrush(skin->Handle())));
  SetWindowRegion(RegionWithoutKeyColour(*skin));
}

void TFMain::Timer1Timer(TObject*) {
  Timer1->SetEnabled(false);
  WebBrowser1->Navigate(NewsPageAddress());
  Label3->SetCaption("");
  StartUpdateRun(false);
}

void TFMain::ImgBtn1Click(TObject*) {
  // RunProgram passes the whole path on, however long the game folder's path is.
  RunProgram(WorkDir + "system\\qx.exe");
  Close();
}

void TFMain::ImgBtn2Click(TObject*) {
  Label3->SetCaption("");
  StartUpdateRun(true);
}

void TFMain::ImgBtn3Click(TObject*) {
  Close();
}

void TFMain::ImgBtn4Click(TObject*) {
  Close();
}

void TFMain::ImgBtn5Click(TObject*) {
  if (OptionsDialog == nullptr) return;
  SetEnabled(false);
  OptionsDialog->ShowForm();
}

void TFMain::OptionsDialogClosed() {
  SetEnabled(true);
}

void TFMain::StartUpdateRun(bool fullCheck) {
  // The full-check button is visible for a moment before the timer's run hides it, so a
  // second start is possible; it is turned away here.
  if (ActiveRuns > 0) return;
  platform::RunGuard guard;
  try {
    if (!platform::RunGuard::TryAcquire(platform::GetCurrentDir(), guard)) {
      Label3->SetCaption(kAnotherRunActive);
      return;
    }
  } catch (const std::system_error&) {
    // A folder that cannot carry a guard is a run that failed before it began: runs report
    // on the status line, never in a box.
    Label3->SetCaption(kUpdateFailed);
    return;
  }
  auto* worker = new TWindowRun(std::move(guard));
  worker->FreeOnTerminate = true;
  worker->FServer = DefaultUpdateServer();
  worker->FFullCheck = fullCheck;
  worker->FCreateBackup = SavedBackup;
  worker->FRevision = SavedRevision;
  worker->FScriptedSelfUpdate = true;
  worker->Resume();
}

void TFMain::FormMouseDown(TObject*, TMouseButton, TShiftState, int X, int Y) {
  FDragging = true;
  FDragX = X;
  FDragY = Y;
}

void TFMain::FormMouseMove(TObject*, TShiftState, int X, int Y) {
  if (!FDragging) return;
  SetLeft(Left() + X - FDragX);
  SetTop(Top() + Y - FDragY);
}

void TFMain::FormMouseUp(TObject*, TMouseButton, TShiftState, int, int) {
  FDragging = false;
}

void TFMain::WebBrowser1NavigateComplete2(TObject*, IDispatch*, const VARIANT*) {
  Panel1->Show();
  Image2->Show();
  Image3->Show();
  Image4->Show();
}

void TFMain::WebBrowser1NewWindow2(TObject*, IDispatch** ppDisp, VARIANT_BOOL* Cancel) {
  IDispatch* hidden = WebBrowser2->Application();
  if (hidden == nullptr) {
    // Without the hidden browser the new window would be a browser window of its own.
    *Cancel = VARIANT_TRUE;
    return;
  }
  hidden->AddRef();
  *ppDisp = hidden;
}

void TFMain::WebBrowser1BeforeNavigate2(TObject*, IDispatch*, const VARIANT* URL, const VARIANT*,
                                        const VARIANT*, const VARIANT*, const VARIANT*,
                                        VARIANT_BOOL* Cancel) {
  // Security: the page travels as plain HTTP, so whoever alters it chooses where the pane goes.
  // A "file:", "search-ms:" or "ms-msdt:" address would hand a local file or a system handler
  // to the HTML engine; the pane goes to the web or nowhere.
  if (!MayNewsPaneFollow(OleVariantToText(URL))) *Cancel = VARIANT_TRUE;
}

void TFMain::WebBrowser2BeforeNavigate2(TObject*, IDispatch*, const VARIANT* URL, const VARIANT*,
                                        const VARIANT*, const VARIANT*, const VARIANT*,
                                        VARIANT_BOOL* Cancel) {
  *Cancel = VARIANT_TRUE;
  WebBrowser1->Stop();
  OpenInDefaultBrowser(OleVariantToText(URL));
}

}  // namespace korvath
