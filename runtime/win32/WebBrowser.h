// The system's embedded web browser in a child window: the control is made, activated in
// place and told of size changes; its navigation events reach the program as events.
#pragma once

#include <exdisp.h>
#include <oaidl.h>
#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "runtime/PageRules.h"
#include "runtime/win32/Controls.h"

namespace korvath {

using TWebBrowserNavigateComplete2 =
    std::function<void(TObject* sender, IDispatch* pDisp, const VARIANT* URL)>;
using TWebBrowserNewWindow2 =
    std::function<void(TObject* sender, IDispatch** ppDisp, VARIANT_BOOL* Cancel)>;
using TWebBrowserBeforeNavigate2 =
    std::function<void(TObject* sender, IDispatch* pDisp, const VARIANT* URL, const VARIANT* Flags,
                       const VARIANT* TargetFrameName, const VARIANT* PostData,
                       const VARIANT* Headers, VARIANT_BOOL* Cancel)>;

// A reference to a COM object, released with its owner.
template <class Interface>
class TComPtr {
 public:
  TComPtr() = default;
  TComPtr(const TComPtr&) = delete;
  TComPtr& operator=(const TComPtr&) = delete;
  ~TComPtr() { Reset(); }
  Interface* Get() const { return FPointer; }
  Interface* operator->() const { return FPointer; }
  Interface** Receive() {
    Reset();
    return &FPointer;
  }
  void Reset() {
    if (FPointer != nullptr) FPointer->Release();
    FPointer = nullptr;
  }
  explicit operator bool() const { return FPointer != nullptr; }

 private:
  Interface* FPointer = nullptr;
};

// The text of a variant (an address): a string in the ANSI code page; empty when it has none.
std::string OleVariantToText(const VARIANT* value);

// The browser's download control flags (DLCTL_...) for a page under these rules: pictures,
// videos and sounds always, and nothing the rules do not allow.
LONG DownloadControlFor(const TPageRules& rules);

class TWebBrowser : public TWinControl {
 public:
  TWebBrowser();
  ~TWebBrowser() override;

  void SetParent(TWinControl* parent) override;
  void SetBounds(int left, int top, int width, int height) override;
  void SetProperty(const TPropDesc& prop, TLayoutReader& reader) override;

  // Loads the address with no flags, target frame, post data or headers. What a page may run
  // follows its address (PageRulesFor): the one given here, then each one the pane itself goes
  // to or ends at; a frame's address does not count.
  void Navigate(const std::string& url);
  const TPageRules& PageRules() const { return FRules; }
  // Stops the loading under way.
  void Stop();
  // The browser's automation object; nullptr when the system has no browser control.
  IDispatch* Application() const;
  // Receives the browser's events; tests deliver made-up events through it.
  IDispatch* EventSink() const;

  TWebBrowserNavigateComplete2 OnNavigateComplete2;
  TWebBrowserNewWindow2 OnNewWindow2;
  TWebBrowserBeforeNavigate2 OnBeforeNavigate2;

 protected:
  LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  class TSite;
  class TEvents;
  void CreateBrowser();
  void CloseBrowser();
  void SetPageRules(const TPageRules& rules);
  // Takes the rules of Url when Frame is the pane's own page rather than a frame in it.
  void FollowPage(IDispatch* frame, const VARIANT* url);

  std::unique_ptr<TSite> FSite;
  std::unique_ptr<TEvents> FEvents;
  TComPtr<IOleObject> FOleObject;
  TComPtr<IWebBrowser2> FBrowser;
  TComPtr<IConnectionPoint> FConnection;
  DWORD FCookie = 0;
  // Nothing runs before the first address is known.
  TPageRules FRules;
};

}  // namespace korvath
