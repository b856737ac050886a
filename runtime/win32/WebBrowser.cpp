#include "runtime/win32/WebBrowser.h"

#include <exdispid.h>
#include <mshtmdid.h>
#include <ocidl.h>
#include <ole2.h>

#include <vector>

#include "runtime/win32/ControlHost.h"
#include "runtime/win32/LayoutReader.h"

namespace korvath {
namespace {

template <class T>
HRESULT Hand(T* object, void** out) {
  *out = object;
  object->AddRef();
  return S_OK;
}

// An argument given by reference to a variant is the variant it refers to.
const VARIANT* Deref(const VARIANTARG& argument) {
  if (argument.vt == (VT_VARIANT | VT_BYREF) && argument.pvarVal != nullptr)
    return argument.pvarVal;
  return &argument;
}

std::string WideToAnsi(const wchar_t* text, int length) {
  if (length <= 0) return {};
  const int size = WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, length, result.data(), size, nullptr, nullptr);
  return result;
}

class TBstr {
 public:
  explicit TBstr(const std::string& text) {
    const int size =
        MultiByteToWideChar(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
    std::vector<wchar_t> wide(static_cast<size_t>(size) + 1, L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), wide.data(), size);
    FValue = SysAllocStringLen(wide.data(), static_cast<UINT>(size));
  }
  ~TBstr() { SysFreeString(FValue); }
  TBstr(const TBstr&) = delete;
  TBstr& operator=(const TBstr&) = delete;
  BSTR Get() const { return FValue; }

 private:
  BSTR FValue;
};

}  // namespace

LONG DownloadControlFor(const TPageRules& rules) {
  // Security: do NOT drop the ActiveX, Java and behaviour flags here, nor DLCTL_NO_SCRIPTS for
  // a page the rules give no scripts (one that came over plain http) - anyone on the way to
  // such a page would run code in the system's HTML engine, which can reach local files and
  // the system's protocol handlers.
  LONG flags = DLCTL_DLIMAGES | DLCTL_VIDEOS | DLCTL_BGSOUNDS | DLCTL_NO_BEHAVIORS | DLCTL_SILENT;
  if (!rules.Scripts) flags |= DLCTL_NO_SCRIPTS;
  if (!rules.Java) flags |= DLCTL_NO_JAVA;
  if (!rules.ActiveX) flags |= DLCTL_NO_RUNACTIVEXCTLS | DLCTL_NO_DLACTIVEXCTLS;
  return flags;
}

std::string OleVariantToText(const VARIANT* value) {
  if (value == nullptr) return {};
  if (value->vt == VT_BSTR)
    return WideToAnsi(value->bstrVal, static_cast<int>(SysStringLen(value->bstrVal)));
  VARIANT text;
  VariantInit(&text);
  std::string result;
  if (SUCCEEDED(VariantChangeType(&text, const_cast<VARIANT*>(value), 0, VT_BSTR)))
    result = WideToAnsi(text.bstrVal, static_cast<int>(SysStringLen(text.bstrVal)));
  VariantClear(&text);
  return result;
}

// COM objects are freed through Release, never through a pointer to an interface, so the
// interfaces declare no virtual destructor.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

// The browser's container: its client site (with its ambient properties), its in-place site
// and its frame, all in the child window of the TWebBrowser. It lives as long as its
// TWebBrowser; the counts only follow the protocol.
class TWebBrowser::TSite final : public IOleClientSite,
                                 public IOleInPlaceSite,
                                 public IOleInPlaceFrame,
                                 public IDispatch {
 public:
  explicit TSite(TWebBrowser& owner) : FOwner(owner) {}
  virtual ~TSite() = default;

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IOleClientSite)
      return Hand(static_cast<IOleClientSite*>(this), out);
    if (riid == IID_IOleWindow || riid == IID_IOleInPlaceSite)
      return Hand(static_cast<IOleInPlaceSite*>(this), out);
    if (riid == IID_IOleInPlaceUIWindow || riid == IID_IOleInPlaceFrame)
      return Hand(static_cast<IOleInPlaceFrame*>(this), out);
    if (riid == IID_IDispatch) return Hand(static_cast<IDispatch*>(this), out);
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++FCount; }
  ULONG STDMETHODCALLTYPE Release() override { return --FCount; }

  // IDispatch: the ambient properties; the browser asks for the download control only.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result,
                                   EXCEPINFO*, UINT*) override {
    if (id != DISPID_AMBIENT_DLCONTROL || result == nullptr) return DISP_E_MEMBERNOTFOUND;
    VariantInit(result);
    result->vt = VT_I4;
    // Asked again for every download: it follows the page the pane is showing or going to.
    result->lVal = DownloadControlFor(FOwner.FRules);
    return S_OK;
  }

  // IOleClientSite
  HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** moniker) override {
    *moniker = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override {
    *container = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow (shared by the in-place site and the frame: both answer the container window)
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
    *window = FOwner.Handle();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame,
                                             IOleInPlaceUIWindow** document, LPRECT position,
                                             LPRECT clip, LPOLEINPLACEFRAMEINFO info) override {
    *frame = this;
    AddRef();
    *document = nullptr;
    GetClientRect(FOwner.Handle(), position);
    GetClientRect(FOwner.Handle(), clip);
    info->fMDIApp = FALSE;
    info->hwndFrame = GetAncestor(FOwner.Handle(), GA_ROOT);
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT position) override {
    TComPtr<IOleInPlaceObject> inPlace;
    if (FOwner.FOleObject &&
        SUCCEEDED(FOwner.FOleObject->QueryInterface(IID_IOleInPlaceObject,
                                                    reinterpret_cast<void**>(inPlace.Receive()))))
      inPlace->SetObjectRects(position, position);
    return S_OK;
  }

  // IOleInPlaceUIWindow and IOleInPlaceFrame: the browser gets no menus, borders or tools.
  HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
  HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override {
    return INPLACE_E_NOTOOLSPACE;
  }
  HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

 private:
  TWebBrowser& FOwner;
  ULONG FCount = 1;
};

// Takes the browser's events (DWebBrowserEvents2) and hands the three the program uses to the
// TWebBrowser's handlers. Errors of a handler are shown, never passed back into the browser.
class TWebBrowser::TEvents final : public IDispatch {
 public:
  explicit TEvents(TWebBrowser& owner) : FOwner(owner) {}
  virtual ~TEvents() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == DIID_DWebBrowserEvents2)
      return Hand(this, out);
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++FCount; }
  ULONG STDMETHODCALLTYPE Release() override { return --FCount; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }

  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                   EXCEPINFO*, UINT*) override {
    try {
      Dispatch(id, params);
    } catch (const std::exception& error) {
      ControlHost().HandleException(error);
    }
    return S_OK;
  }

 private:
  // The arguments come last first.
  void Dispatch(DISPID id, const DISPPARAMS* params) {
    if (params == nullptr) return;
    const VARIANTARG* args = params->rgvarg;
    const UINT count = params->cArgs;
    if (id == DISPID_NAVIGATECOMPLETE2 && count == 2) {
      IDispatch* frame = args[1].vt == VT_DISPATCH ? args[1].pdispVal : nullptr;
      // The address the page came from in the end, after any redirection on the way.
      FOwner.FollowPage(frame, Deref(args[0]));
      if (FOwner.OnNavigateComplete2) FOwner.OnNavigateComplete2(&FOwner, frame, Deref(args[0]));
    } else if (id == DISPID_NEWWINDOW2 && count == 2 && FOwner.OnNewWindow2) {
      if (args[1].vt == (VT_DISPATCH | VT_BYREF) && args[0].vt == (VT_BOOL | VT_BYREF))
        FOwner.OnNewWindow2(&FOwner, args[1].ppdispVal, args[0].pboolVal);
    } else if (id == DISPID_BEFORENAVIGATE2 && count == 7 && args[0].vt == (VT_BOOL | VT_BYREF)) {
      IDispatch* frame = args[6].vt == VT_DISPATCH ? args[6].pdispVal : nullptr;
      if (FOwner.OnBeforeNavigate2)
        FOwner.OnBeforeNavigate2(&FOwner, frame, Deref(args[5]), Deref(args[4]), Deref(args[3]),
                                 Deref(args[2]), Deref(args[1]), args[0].pboolVal);
      if (*args[0].pboolVal == VARIANT_FALSE) FOwner.FollowPage(frame, Deref(args[5]));
    }
  }

  TWebBrowser& FOwner;
  ULONG FCount = 1;
};

#pragma GCC diagnostic pop

TWebBrowser::TWebBrowser()
    : FSite(std::make_unique<TSite>(*this)), FEvents(std::make_unique<TEvents>(*this)) {}

TWebBrowser::~TWebBrowser() {
  CloseBrowser();
}

void TWebBrowser::SetParent(TWinControl* parent) {
  const bool first = Handle() == nullptr;
  TWinControl::SetParent(parent);
  if (first && Handle() != nullptr) CreateBrowser();
}

void TWebBrowser::CreateBrowser() {
  // The object model must be ready on the window thread; a second call only counts up.
  static const HRESULT ole = OleInitialize(nullptr);
  (void)ole;
  // A system without the browser control still gets the window: the pane then stays empty.
  if (FAILED(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                              reinterpret_cast<void**>(FOleObject.Receive()))))
    return;
  if (FAILED(FOleObject->SetClientSite(FSite.get()))) {
    FOleObject.Reset();
    return;
  }
  // The browser read its ambient properties before the site was there to answer them.
  TComPtr<IOleControl> control;
  if (SUCCEEDED(
          FOleObject->QueryInterface(IID_IOleControl, reinterpret_cast<void**>(control.Receive()))))
    control->OnAmbientPropertyChange(DISPID_AMBIENT_DLCONTROL);
  OleSetContainedObject(FOleObject.Get(), TRUE);
  RECT area{0, 0, Width(), Height()};
  FOleObject->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, FSite.get(), 0, Handle(), &area);
  if (FAILED(FOleObject->QueryInterface(IID_IWebBrowser2,
                                        reinterpret_cast<void**>(FBrowser.Receive()))))
    return;
  TComPtr<IConnectionPointContainer> points;
  if (SUCCEEDED(FBrowser->QueryInterface(IID_IConnectionPointContainer,
                                         reinterpret_cast<void**>(points.Receive()))) &&
      SUCCEEDED(points->FindConnectionPoint(DIID_DWebBrowserEvents2, FConnection.Receive())))
    FConnection->Advise(FEvents.get(), &FCookie);
}

void TWebBrowser::CloseBrowser() {
  if (FConnection && FCookie != 0) FConnection->Unadvise(FCookie);
  FConnection.Reset();
  FBrowser.Reset();
  if (FOleObject) {
    FOleObject->Close(OLECLOSE_NOSAVE);
    FOleObject->SetClientSite(nullptr);
    FOleObject.Reset();
  }
}

void TWebBrowser::SetBounds(int left, int top, int width, int height) {
  TWinControl::SetBounds(left, top, width, height);
  TComPtr<IOleInPlaceObject> inPlace;
  if (FOleObject && SUCCEEDED(FOleObject->QueryInterface(
                        IID_IOleInPlaceObject, reinterpret_cast<void**>(inPlace.Receive())))) {
    RECT area{0, 0, width, height};
    inPlace->SetObjectRects(&area, &area);
  }
}

void TWebBrowser::SetProperty(const TPropDesc& prop, TLayoutReader& reader) {
  const std::string name = prop.Name;
  if (name == "OnNavigateComplete2")
    OnNavigateComplete2 = reader.Handler<TWebBrowserNavigateComplete2>(prop);
  else if (name == "OnNewWindow2")
    OnNewWindow2 = reader.Handler<TWebBrowserNewWindow2>(prop);
  else if (name == "OnBeforeNavigate2")
    OnBeforeNavigate2 = reader.Handler<TWebBrowserBeforeNavigate2>(prop);
  else if (name == "TabStop" || name == "ShowHint")
    // The browser is never reached with the tab key and shows no hints of the program's own.
    (void)PropBool(prop);
  else
    TWinControl::SetProperty(prop, reader);
}

void TWebBrowser::SetPageRules(const TPageRules& rules) {
  if (rules == FRules) return;
  FRules = rules;
  // The page the browser holds reads them again as well, not only the next download.
  TComPtr<IOleControl> control;
  if (FOleObject && SUCCEEDED(FOleObject->QueryInterface(
                        IID_IOleControl, reinterpret_cast<void**>(control.Receive()))))
    control->OnAmbientPropertyChange(DISPID_AMBIENT_DLCONTROL);
}

void TWebBrowser::FollowPage(IDispatch* frame, const VARIANT* url) {
  // A frame's page lives under the rules of the page around it.
  if (frame == nullptr || !FBrowser) return;
  TComPtr<IUnknown> frameIdentity, browserIdentity;
  if (FAILED(
          frame->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(frameIdentity.Receive()))) ||
      FAILED(FBrowser->QueryInterface(IID_IUnknown,
                                      reinterpret_cast<void**>(browserIdentity.Receive()))) ||
      frameIdentity.Get() != browserIdentity.Get())
    return;
  SetPageRules(PageRulesFor(OleVariantToText(url)));
}

void TWebBrowser::Navigate(const std::string& url) {
  if (!FBrowser) return;
  SetPageRules(PageRulesFor(url));
  TBstr address(url);
  VARIANT empty;
  VariantInit(&empty);
  FBrowser->Navigate(address.Get(), &empty, &empty, &empty, &empty);
}

void TWebBrowser::Stop() {
  if (FBrowser) FBrowser->Stop();
}

IDispatch* TWebBrowser::Application() const {
  IDispatch* dispatch = nullptr;
  if (FBrowser) FBrowser->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
  if (dispatch != nullptr) dispatch->Release();  // the browser keeps it alive
  return dispatch;
}

IDispatch* TWebBrowser::EventSink() const {
  return FEvents.get();
}

LRESULT TWebBrowser::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SIZE && FOleObject) {
    TComPtr<IOleInPlaceObject> inPlace;
    if (SUCCEEDED(FOleObject->QueryInterface(IID_IOleInPlaceObject,
                                             reinterpret_cast<void**>(inPlace.Receive())))) {
      RECT area{0, 0, LOWORD(lParam), HIWORD(lParam)};
      inPlace->SetObjectRects(&area, &area);
    }
    return 0;
  }
  return TWinControl::WndProc(message, wParam, lParam);
}

}  // namespace korvath
