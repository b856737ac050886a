#include "runtime/win32/Forms.h"

#include <ole2.h>

#include <algorithm>

#include "runtime/win32/ExtCtrls.h"
#include "runtime/win32/Gauges.h"
#include "runtime/win32/StdCtrls.h"
#include "runtime/win32/Synchronizer.h"
#include "runtime/win32/WebBrowser.h"

namespace korvath {
namespace {

std::map<std::string, TComponentFactory>& ClassRegistry() {
  static std::map<std::string, TComponentFactory> registry = [] {
    std::map<std::string, TComponentFactory> standard;
    standard["TImage"] = [] { return std::make_unique<TImage>(); };
    standard["TLabel"] = [] { return std::make_unique<TLabel>(); };
    standard["TGauge"] = [] { return std::make_unique<TGauge>(); };
    standard["TPanel"] = [] { return std::make_unique<TPanel>(); };
    standard["TTimer"] = [] { return std::make_unique<TTimer>(); };
    standard["TWebBrowser"] = [] { return std::make_unique<TWebBrowser>(); };
    standard["TSpeedButton"] = [] { return std::make_unique<TSpeedButton>(); };
    standard["TComboBox"] = [] { return std::make_unique<TComboBox>(); };
    standard["TCheckBox"] = [] { return std::make_unique<TCheckBox>(); };
    return standard;
  }();
  return registry;
}

RECT ScreenRectOf(const TControl& control) {
  RECT area{};
  if (control.IsWindowed()) {
    GetWindowRect(static_cast<const TWinControl&>(control).Handle(), &area);
    return area;
  }
  area = control.BoundsRect();
  if (control.Parent() != nullptr)
    MapWindowPoints(control.Parent()->Handle(), nullptr, reinterpret_cast<POINT*>(&area), 2);
  return area;
}

}  // namespace

TApplication Application;

void RegisterComponentClass(const std::string& className, TComponentFactory factory) {
  ClassRegistry()[className] = std::move(factory);
}

// ---- TForm

TForm::TForm() {
  TControl::SetVisible(false);
  // No border, no caption bar; the system menu and minimize box only let the task bar button
  // minimise and restore the window.
  CreateHandle(WS_POPUP | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX, 0,
               nullptr, "");
  FFontHandle = CreateFontFrom(FFont);
}

TForm::~TForm() {
  // Last made, first gone: a browser goes before the panel that holds it.
  while (!FComponents.empty()) FComponents.pop_back();
  if (Application.MainForm() == this) Application.SetMainForm(nullptr);
}

void TForm::LoadLayout(const TFormDesc& layout, HINSTANCE module) {
  TLayoutReader reader(FMethods, module);
  for (const TPropDesc& prop : layout.Props) SetProperty(prop, reader);
  for (const TControlDesc& desc : layout.Controls) {
    const auto factory = ClassRegistry().find(desc.ClassName);
    if (factory == ClassRegistry().end())
      throw ELayoutError(std::string("Class ") + desc.ClassName + " not found");
    if (FindComponent(desc.Name) != nullptr)
      throw ELayoutError(std::string("Duplicate name ") + desc.Name);
    std::unique_ptr<TComponent> component = factory->second();
    component->SetName(desc.Name);
    if (auto* control = dynamic_cast<TControl*>(component.get()))
      control->SetParent(desc.ParentName != nullptr ? Find<TWinControl>(desc.ParentName) : this);
    TComponent* added = component.get();
    FComponents.push_back(std::move(component));
    for (const TPropDesc& prop : desc.Props) added->SetProperty(prop, reader);
  }
  for (const auto& component : FComponents) component->Loaded();
}

TComponent* TForm::FindComponent(const std::string& name) const {
  for (const auto& component : FComponents)
    if (component->Name() == name) return component.get();
  return nullptr;
}

bool TForm::SelectNext(HWND focused, bool backward) {
  std::vector<TSystemControl*> stops;
  for (const auto& component : FComponents) {
    auto* control = dynamic_cast<TSystemControl*>(component.get());
    if (control != nullptr && control->TabOrder() >= 0 && control->Inner() != nullptr &&
        IsWindowEnabled(control->Inner()) && IsWindowVisible(control->Inner()))
      stops.push_back(control);
  }
  if (stops.empty()) return false;
  std::stable_sort(stops.begin(), stops.end(),
                   [](const TSystemControl* a, const TSystemControl* b) {
                     return a->TabOrder() < b->TabOrder();
                   });
  const size_t count = stops.size();
  size_t next = backward ? count - 1 : 0;  // from outside the tab stops: the first or the last
  for (size_t i = 0; i < count; ++i) {
    if (stops[i]->Inner() == focused || IsChild(stops[i]->Inner(), focused)) {
      next = backward ? (i + count - 1) % count : (i + 1) % count;
      break;
    }
  }
  SetFocus(stops[next]->Inner());
  return true;
}

void TForm::SetCaption(const std::string& caption) {
  FCaption = caption;
  // The task bar shows the application's title for the main form.
  const bool main = Application.MainForm() == this && !Application.Title.empty();
  SetWindowTextA(Handle(), main ? Application.Title.c_str() : caption.c_str());
}

void TForm::SetBackgroundBrush(TGdiObject<HBRUSH> brush) {
  FBackground = std::move(brush);
  InvalidateRect(Handle(), nullptr, FALSE);
}

void TForm::SetWindowRegion(TGdiObject<HRGN> region) {
  if (SetWindowRgn(Handle(), region.Get(), TRUE) != 0) region.Release();
}

void TForm::DoCreate() {
  if (!OnCreate) return;
  try {
    OnCreate(this);
  } catch (const std::exception& error) {
    Application.HandleException(error);
  }
}

void TForm::ShowForm() {
  if (!FPlaced) {
    FPlaced = true;
    if (FPosition == TPosition::poDesktopCenter)
      SetBounds((GetSystemMetrics(SM_CXSCREEN) - Width()) / 2,
                (GetSystemMetrics(SM_CYSCREEN) - Height()) / 2, Width(), Height());
    const TForm* main = Application.MainForm();
    if (FPosition == TPosition::poMainFormCenter && main != nullptr && main != this)
      SetBounds(std::max(main->Left() + (main->Width() - Width()) / 2, 0),
                std::max(main->Top() + (main->Height() - Height()) / 2, 0), Width(), Height());
  }
  SetCaption(FCaption);
  TControl::SetVisible(true);
  ShowWindow(Handle(), SW_SHOW);
  UpdateWindow(Handle());
}

void TForm::Close() {
  if (OnClose) OnClose(this);
  Hide();
  if (Application.MainForm() == this) Application.Terminate();
}

bool TForm::ShowAtStart() const {
  return FVisibleAtStart;
}

void TForm::SetProperty(const TPropDesc& prop, TLayoutReader& reader) {
  const std::string name = prop.Name;
  if (name == "ClientWidth") {
    SetBounds(Left(), Top(), PropInt(prop), Height());
  } else if (name == "ClientHeight") {
    SetBounds(Left(), Top(), Width(), PropInt(prop));
  } else if (name == "Caption") {
    SetCaption(PropText(prop));
  } else if (name == "Color") {
    FColor = PropInt(prop);
  } else if (name == "Font.Name" || name == "Font.Height" || name == "Font.Color" ||
             name == "Font.Bold") {
    if (name == "Font.Name") FFont.Name = PropText(prop);
    if (name == "Font.Height") FFont.Height = PropInt(prop);
    if (name == "Font.Color") FFont.Color = PropInt(prop);
    if (name == "Font.Bold") FFont.Bold = PropBool(prop);
    FFontHandle = CreateFontFrom(FFont);
  } else if (name == "Position") {
    const std::string value = PropText(prop);
    if (value == "poDesktopCenter")
      FPosition = TPosition::poDesktopCenter;
    else if (value == "poDesigned")
      FPosition = TPosition::poDesigned;
    else if (value == "poMainFormCenter")
      FPosition = TPosition::poMainFormCenter;
    else
      throw ELayoutError("Unknown position " + value);
  } else if (name == "BorderStyle") {
    // Both windows of the program are borderless skins; no other border is made.
    if (PropText(prop) != "bsNone") throw ELayoutError("Only borderless forms are supported");
  } else if (name == "Visible") {
    FVisibleAtStart = PropBool(prop);
  } else if (name == "OnCreate") {
    OnCreate = reader.Handler<TNotifyEvent>(prop);
  } else {
    TWinControl::SetProperty(prop, reader);
  }
}

LRESULT TForm::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      Close();
      return 0;
    case WM_WINDOWPOSCHANGED: {
      const auto* position = reinterpret_cast<const WINDOWPOS*>(lParam);
      if ((position->flags & SWP_NOMOVE) == 0 || (position->flags & SWP_NOSIZE) == 0) {
        RECT area;
        GetWindowRect(Handle(), &area);
        StoreBounds(area.left, area.top, area.right - area.left, area.bottom - area.top);
      }
      return TWinControl::WndProc(message, wParam, lParam);
    }
    default:
      return TWinControl::WndProc(message, wParam, lParam);
  }
}

void TForm::PaintBackground(HDC dc, const RECT& area) {
  if (FBackground) {
    FillRect(dc, &area, FBackground.Get());
    return;
  }
  TGdiObject<HBRUSH> plain(CreateSolidBrush(ColorToRGB(FColor)));
  FillRect(dc, &area, plain.Get());
}

// ---- TApplication

TApplication::TApplication() {
  SetControlHost(this);
  CursorPos = [] {
    POINT point{};
    GetCursorPos(&point);
    return point;
  };
}

TApplication::~TApplication() {
  DestroyForms();
  SetControlHost(nullptr);
}

void TApplication::Initialize() {
  // The browser control needs the object model's single-threaded apartment on this thread.
  OleInitialize(nullptr);
  Synchronizer();
}

void TApplication::DestroyForms() {
  while (!FForms.empty()) FForms.pop_back();
  FMainForm = nullptr;
}

void TApplication::Run() {
  while (!FTerminated) {
    if (ProcessMessage()) continue;
    TrackMouseControl();
    if (FTerminated) break;
    // Sent messages of worker threads wake the wait too.
    MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
}

void TApplication::Terminate() {
  FTerminated = true;
  PostQuitMessage(0);
}

bool TApplication::ProcessMessage() {
  MSG message;
  if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) return false;
  if (message.message == WM_QUIT) {
    FTerminated = true;
    return true;
  }
  if (message.message == WM_KEYDOWN && message.wParam == VK_TAB && GetKeyState(VK_CONTROL) >= 0 &&
      GetKeyState(VK_MENU) >= 0) {
    auto* form = dynamic_cast<TForm*>(TWinControl::FromHandle(GetAncestor(message.hwnd, GA_ROOT)));
    if (form != nullptr && form->SelectNext(message.hwnd, GetKeyState(VK_SHIFT) < 0)) return true;
  }
  TranslateMessage(&message);
  DispatchMessageA(&message);
  return true;
}

void TApplication::ProcessMessages() {
  while (ProcessMessage()) {
  }
  TrackMouseControl();
}

void TApplication::HandleException(const std::exception& error) {
  ShowException(error.what());
}

void TApplication::ShowException(const std::string& message) {
  const std::string text = WithFullStop(message);
  if (OnException) {
    OnException(text);
    return;
  }
  HWND owner =
      FMainForm != nullptr && IsWindowVisible(FMainForm->Handle()) ? FMainForm->Handle() : nullptr;
  MessageBoxA(owner, text.c_str(), Title.c_str(), MB_OK | MB_ICONSTOP);
}

ISynchronizer& TApplication::Synchronizer() {
  // Made once on the window thread and never freed: a worker may still hold it while the
  // program ends.
  static TWindowSynchronizer* synchronizer = new TWindowSynchronizer();
  return *synchronizer;
}

HCURSOR TApplication::CursorHandle(int index) const {
  const auto it = FCursors.find(index);
  if (it != FCursors.end() && it->second != nullptr) return it->second;
  return LoadCursorA(nullptr, IDC_ARROW);
}

void TApplication::SetCursorHandle(int index, HCURSOR cursor) {
  FCursors[index] = cursor;
}

void TApplication::SetCaptureControl(TControl* control) {
  FCaptureControl = control;
  if (control != nullptr) {
    SetCapture(control->MouseWindow());
  } else if (HWND holder = GetCapture();
             holder != nullptr && TWinControl::FromHandle(holder) != nullptr) {
    ReleaseCapture();
  }
}

void TApplication::TrackMouseControl() {
  const POINT point = CursorPos();
  TControl* now = nullptr;
  if (FCaptureControl != nullptr) {
    // The control that holds the mouse is the only one told, as the mouse leaves and returns.
    const RECT area = ScreenRectOf(*FCaptureControl);
    if (FCaptureControl->Visible() && PtInRect(&area, point)) now = FCaptureControl;
  } else {
    HWND window = WindowFromPoint(point);
    TWinControl* owner = nullptr;
    while (window != nullptr && (owner = TWinControl::FromHandle(window)) == nullptr)
      window = GetParent(window);
    if (owner != nullptr) {
      POINT local = point;
      ScreenToClient(owner->Handle(), &local);
      now = owner->ControlAtPos(local, true);
      if (now == nullptr) now = owner;
    }
  }
  if (now == FMouseControl) return;
  TControl* old = FMouseControl;
  FMouseControl = now;
  try {
    if (old != nullptr) {
      TWMMouse leave{CM_MOUSELEAVE, 0, 0, 0, 0};
      old->Perform(leave);
    }
    if (now != nullptr && FMouseControl == now) {
      TWMMouse enter{CM_MOUSEENTER, 0, 0, 0, 0};
      now->Perform(enter);
    }
  } catch (const std::exception& error) {
    HandleException(error);
  }
}

void TApplication::ControlDestroying(TControl* control) {
  if (FMouseControl == control) FMouseControl = nullptr;
  if (FCaptureControl == control) SetCaptureControl(nullptr);
}

}  // namespace korvath
