// The main window: its start-up, the saved settings of the game folder, the update runs it
// starts and the worker's calls into it, the game start, the news pane, and dragging the
// borderless window.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "controls/ImgBtn.h"
#include "engine/RunView.h"
#include "runtime/win32/Form.h"
#include "runtime/win32/Gauge.h"
#include "runtime/win32/Image.h"
#include "runtime/win32/Label.h"
#include "runtime/win32/Panel.h"
#include "runtime/win32/Timer.h"
#include "runtime/win32/WebBrowser.h"
#include "settings/Settings.h"

namespace korvath {

class TFMain : public TForm {
 public:
  // Builds the window from its stored layout; the caller runs FormCreate through DoCreate.
  TFMain();

  TImage* Image1;
  TGauge* Gauge1;
  TGauge* Gauge2;
  TLabel* Label1;
  TLabel* Label2;
  TLabel* Label3;
  TImgBtn* ImgBtn1;
  TImgBtn* ImgBtn2;
  TImgBtn* ImgBtn3;
  TImgBtn* ImgBtn4;
  TImage* Image2;
  TImage* Image3;
  TImage* Image4;
  TImgBtn* ImgBtn5;
  TPanel* Panel1;
  TWebBrowser* WebBrowser1;
  TPanel* Panel2;
  TWebBrowser* WebBrowser2;
  TTimer* Timer1;

  void FormCreate(TObject* Sender);
  void Timer1Timer(TObject* Sender);
  void ImgBtn1Click(TObject* Sender);
  void ImgBtn2Click(TObject* Sender);
  void ImgBtn3Click(TObject* Sender);
  void ImgBtn4Click(TObject* Sender);
  void ImgBtn5Click(TObject* Sender);
  void FormMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
  void FormMouseMove(TObject* Sender, TShiftState Shift, int X, int Y);
  void FormMouseUp(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
  void WebBrowser1NavigateComplete2(TObject* Sender, IDispatch* pDisp, const VARIANT* URL);
  void WebBrowser1NewWindow2(TObject* Sender, IDispatch** ppDisp, VARIANT_BOOL* Cancel);
  void WebBrowser1BeforeNavigate2(TObject* Sender, IDispatch* pDisp, const VARIANT* URL,
                                  const VARIANT* Flags, const VARIANT* TargetFrameName,
                                  const VARIANT* PostData, const VARIANT* Headers,
                                  VARIANT_BOOL* Cancel);
  void WebBrowser2BeforeNavigate2(TObject* Sender, IDispatch* pDisp, const VARIANT* URL,
                                  const VARIANT* Flags, const VARIANT* TargetFrameName,
                                  const VARIANT* PostData, const VARIANT* Headers,
                                  VARIANT_BOOL* Cancel);

  // The options dialog has closed: the window takes input again.
  void OptionsDialogClosed();
  // Stores Value as "AtRevision"; SavedRevision keeps what was read at start.
  void UpdateRevision(int32_t Value);

 private:
  // One run at a time: none starts while one of this program is active, nor while another
  // program runs in the same game folder.
  void StartUpdateRun(bool fullCheck);

  bool FDragging = false;
  int32_t FDragX = 0;
  int32_t FDragY = 0;
};

extern TFMain* FMain;

// The options dialog; ImgBtn5Click shows it when the program has one.
extern TForm* OptionsDialog;

// The status a start shows when another updater works in the same game folder.
inline constexpr const char* kAnotherRunActive = "Another update is running in this folder";

// Hands a web address to the system's default browser; only http and https addresses go.
// Tests put a recorder here.
extern std::function<void(const std::string& url)> OpenInDefaultBrowser;
bool IsWebAddress(const std::string& url);
// Whether the news pane may follow the address, in a page or a frame: web addresses and the
// blank page only.
bool MayNewsPaneFollow(const std::string& url);

// What the update worker's synchronized calls do: they work on FMain's controls.
IRunView& MainRunView();
// True while a run the window started has not yet freed itself.
bool UpdateRunActive();

}  // namespace korvath
