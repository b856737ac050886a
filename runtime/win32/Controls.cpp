#include "runtime/win32/Controls.h"

#include <windowsx.h>

#include <algorithm>

#include "platform/File.h"
#include "runtime/win32/ControlHost.h"
#include "runtime/win32/LayoutReader.h"

namespace korvath {
namespace {

constexpr const char* kWindowClass = "KorvathWindow";
constexpr WPARAM kAnyButton = MK_LBUTTON | MK_RBUTTON | MK_MBUTTON;

TShiftState ShiftOf(WPARAM keys) {
  TShiftState shift = 0;
  if (keys & MK_SHIFT) shift |= ssShift;
  if (keys & MK_CONTROL) shift |= ssCtrl;
  if (keys & MK_LBUTTON) shift |= ssLeft;
  if (keys & MK_RBUTTON) shift |= ssRight;
  if (keys & MK_MBUTTON) shift |= ssMiddle;
  if (GetKeyState(VK_MENU) < 0) shift |= ssAlt;
  return shift;
}

bool IsMouseMessage(UINT message) {
  return message >= WM_MOUSEFIRST && message <= WM_MBUTTONDBLCLK && message != WM_MOUSEWHEEL;
}

void RegisterWindowClass(WNDPROC windowProc) {
  static const bool registered = [windowProc] {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    // Double clicks arrive as their own message, which only the base handling of a control
    // takes: a double click is one click, not two.
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hIcon = LoadIconA(windowClass.hInstance, "MAINICON");
    windowClass.lpszClassName = kWindowClass;
    return RegisterClassExA(&windowClass) != 0;
  }();
  if (!registered) throw Exception("The window class cannot be registered");
}

}  // namespace

void TComponent::SetProperty(const TPropDesc& prop, TLayoutReader&) {
  throw ELayoutError(Name() + " has no property " + prop.Name);
}

const IFormFont* FormFontOf(const TControl& control) {
  for (const TControl* owner = &control; owner != nullptr; owner = owner->Parent())
    if (const auto* form = dynamic_cast<const IFormFont*>(owner)) return form;
  return nullptr;
}

// ---- TControl

TControl::~TControl() {
  ControlHost().ControlDestroying(this);
  if (FParent != nullptr) FParent->RemoveControl(this);
}

void TControl::SetParent(TWinControl* parent) {
  if (FParent == parent) return;
  if (FParent != nullptr) FParent->RemoveControl(this);
  FParent = parent;
  if (FParent != nullptr) FParent->InsertControl(this);
}

HWND TControl::MouseWindow() const {
  if (IsWindowed()) return static_cast<const TWinControl*>(this)->Handle();
  return FParent != nullptr ? FParent->Handle() : nullptr;
}

void TControl::SetBounds(int left, int top, int width, int height) {
  if (left == FLeft && top == FTop && width == FWidth && height == FHeight) return;
  Invalidate();
  StoreBounds(left, top, width, height);
  Invalidate();
}

void TControl::StoreBounds(int left, int top, int width, int height) {
  FLeft = left;
  FTop = top;
  FWidth = width;
  FHeight = height;
}

void TControl::SetVisible(bool visible) {
  if (FVisible == visible) return;
  FVisible = visible;
  if (!IsWindowed()) {
    // A hidden control gives up the mouse it held.
    if (!visible && ControlHost().CaptureControl() == this)
      ControlHost().SetCaptureControl(nullptr);
    RECT area = BoundsRect();
    if (FParent != nullptr && FParent->Handle() != nullptr)
      InvalidateRect(FParent->Handle(), &area, FALSE);
  }
}

void TControl::SetEnabled(bool enabled) {
  if (FEnabled == enabled) return;
  FEnabled = enabled;
  Invalidate();
}

void TControl::Invalidate() {
  if (IsWindowed()) {
    if (HWND handle = static_cast<TWinControl*>(this)->Handle())
      InvalidateRect(handle, nullptr, FALSE);
    return;
  }
  if (FVisible && FParent != nullptr && FParent->Handle() != nullptr) {
    RECT area = BoundsRect();
    InvalidateRect(FParent->Handle(), &area, FALSE);
  }
}

void TControl::Paint(HDC) {}

void TControl::Perform(TWMMouse& message) {
  switch (message.Msg) {
    case WM_LBUTTONDOWN:
      WMLButtonDown(message);
      break;
    case WM_LBUTTONUP:
      WMLButtonUp(message);
      break;
    case WM_LBUTTONDBLCLK:
      WMLButtonDblClk(message);
      break;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
    case WM_MBUTTONDBLCLK:
      WMOtherButton(message);
      break;
    case WM_MOUSEMOVE:
      WMMouseMove(message);
      break;
    case CM_MOUSEENTER:
      CMMouseEnter(message);
      break;
    case CM_MOUSELEAVE:
      CMMouseLeave(message);
      break;
    default:
      break;
  }
}

void TControl::SetProperty(const TPropDesc& prop, TLayoutReader& reader) {
  const std::string name = prop.Name;
  if (name == "Left") {
    SetBounds(PropInt(prop), FTop, FWidth, FHeight);
  } else if (name == "Top") {
    SetBounds(FLeft, PropInt(prop), FWidth, FHeight);
  } else if (name == "Width") {
    SetBounds(FLeft, FTop, PropInt(prop), FHeight);
  } else if (name == "Height") {
    SetBounds(FLeft, FTop, FWidth, PropInt(prop));
  } else if (name == "Visible") {
    SetVisible(PropBool(prop));
  } else if (name == "Enabled") {
    SetEnabled(PropBool(prop));
  } else if (name == "Cursor") {
    FCursor = PropInt(prop);
  } else if (name == "OnClick") {
    OnClick = reader.Handler<TNotifyEvent>(prop);
  } else if (name == "OnDblClick") {
    OnDblClick = reader.Handler<TNotifyEvent>(prop);
  } else if (name == "OnMouseDown") {
    OnMouseDown = reader.Handler<TMouseEvent>(prop);
  } else if (name == "OnMouseMove") {
    OnMouseMove = reader.Handler<TMouseMoveEvent>(prop);
  } else if (name == "OnMouseUp") {
    OnMouseUp = reader.Handler<TMouseEvent>(prop);
  } else {
    TComponent::SetProperty(prop, reader);
  }
}

void TControl::WMLButtonDown(TWMMouse& message) {
  SetMouseCapture(true);
  FClicked = true;
  MouseDown(TMouseButton::mbLeft, ShiftOf(message.Keys), message.XPos, message.YPos);
}

void TControl::WMLButtonUp(TWMMouse& message) {
  ReleaseCaptureAfter(message);
  if (FClicked) {
    FClicked = false;
    if (message.XPos >= 0 && message.XPos < FWidth && message.YPos >= 0 && message.YPos < FHeight)
      Click();
  }
  MouseUp(TMouseButton::mbLeft, ShiftOf(message.Keys), message.XPos, message.YPos);
}

void TControl::WMLButtonDblClk(TWMMouse& message) {
  // Keeps the mouse so that the release comes back here, but remembers no press: the
  // release after a double click is no second click.
  SetMouseCapture(true);
  DblClick();
  MouseDown(TMouseButton::mbLeft, ShiftOf(message.Keys) | ssDouble, message.XPos, message.YPos);
}

void TControl::WMOtherButton(TWMMouse& message) {
  const bool right = message.Msg == WM_RBUTTONDOWN || message.Msg == WM_RBUTTONUP ||
                     message.Msg == WM_RBUTTONDBLCLK;
  const TMouseButton button = right ? TMouseButton::mbRight : TMouseButton::mbMiddle;
  const TShiftState shift = ShiftOf(message.Keys);
  if (message.Msg == WM_RBUTTONUP || message.Msg == WM_MBUTTONUP) {
    ReleaseCaptureAfter(message);
    MouseUp(button, shift, message.XPos, message.YPos);
    return;
  }
  // A form keeps the mouse for a press of any button, so that a drag ends where it ends.
  if (IsWindowed()) SetMouseCapture(true);
  const bool twice = message.Msg == WM_RBUTTONDBLCLK || message.Msg == WM_MBUTTONDBLCLK;
  MouseDown(button, twice ? shift | ssDouble : shift, message.XPos, message.YPos);
}

void TControl::WMMouseMove(TWMMouse& message) {
  MouseMove(ShiftOf(message.Keys), message.XPos, message.YPos);
}

void TControl::CMMouseEnter(TWMMouse&) {}
void TControl::CMMouseLeave(TWMMouse&) {}

void TControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseDown) OnMouseDown(this, button, shift, x, y);
}

void TControl::MouseMove(TShiftState shift, int x, int y) {
  if (OnMouseMove) OnMouseMove(this, shift, x, y);
}

void TControl::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseUp) OnMouseUp(this, button, shift, x, y);
}

void TControl::Click() {
  if (!OnClick) return;
  // The handler's error is shown here, so that the control still finishes the message that
  // clicked it (an image button lets go of its pressed state).
  try {
    OnClick(this);
  } catch (const std::exception& error) {
    ControlHost().HandleException(error);
  }
}

void TControl::DblClick() {
  if (OnDblClick) OnDblClick(this);
}

void TControl::SetMouseCapture(bool capture) {
  if (capture)
    ControlHost().SetCaptureControl(this);
  else if (ControlHost().CaptureControl() == this)
    ControlHost().SetCaptureControl(nullptr);
}

void TControl::ReleaseCaptureAfter(const TWMMouse& message) {
  if ((message.Keys & kAnyButton) == 0) SetMouseCapture(false);
}

// ---- TWinControl

TWinControl::~TWinControl() {
  // The graphic controls go with their owner; they only need to forget this window.
  const std::vector<TControl*> children = FControls;
  for (TControl* control : children) control->SetParent(nullptr);
  if (FHandle != nullptr) {
    SetWindowLongPtrA(FHandle, GWLP_USERDATA, 0);
    DestroyWindow(FHandle);
  }
}

TWinControl* TWinControl::FromHandle(HWND handle) {
  if (handle == nullptr) return nullptr;
  // Another program's window (a second launcher, say) may have the same class name; its
  // window data means nothing here.
  DWORD process = 0;
  GetWindowThreadProcessId(handle, &process);
  if (process != GetCurrentProcessId()) return nullptr;
  char className[32] = {};
  GetClassNameA(handle, className, sizeof className);
  if (std::string(className) != kWindowClass) return nullptr;
  return reinterpret_cast<TWinControl*>(GetWindowLongPtrA(handle, GWLP_USERDATA));
}

void TWinControl::CreateHandle(DWORD style, DWORD exStyle, HWND parent,
                               const std::string& caption) {
  RegisterWindowClass(&TWinControl::StaticWndProc);
  FHandle = CreateWindowExA(exStyle, kWindowClass, caption.c_str(), style, Left(), Top(), Width(),
                            Height(), parent, nullptr, GetModuleHandleA(nullptr), nullptr);
  if (FHandle == nullptr) {
    const std::string reason = platform::SysErrorMessage(static_cast<int>(GetLastError()));
    throw Exception(Format("Error creating window: %s", reason.c_str()));
  }
  // Until here the window's messages took the system's default handling.
  SetWindowLongPtrA(FHandle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

void TWinControl::SetParent(TWinControl* parent) {
  TControl::SetParent(parent);
  if (parent == nullptr) return;
  if (FHandle == nullptr)
    CreateHandle(WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, parent->Handle(), "");
  else
    ::SetParent(FHandle, parent->Handle());
}

void TWinControl::Loaded() {
  // Child windows are made hidden and shown once their layout is complete.
  if (FHandle != nullptr && Parent() != nullptr && Visible()) ShowWindow(FHandle, SW_SHOWNA);
}

void TWinControl::SetBounds(int left, int top, int width, int height) {
  if (left == Left() && top == Top() && width == Width() && height == Height()) return;
  StoreBounds(left, top, width, height);
  if (FHandle != nullptr)
    SetWindowPos(FHandle, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TWinControl::SetVisible(bool visible) {
  TControl::SetVisible(visible);
  if (FHandle != nullptr && (IsWindowVisible(FHandle) != FALSE) != visible)
    ShowWindow(FHandle, visible ? SW_SHOWNA : SW_HIDE);
}

void TWinControl::SetEnabled(bool enabled) {
  TControl::SetEnabled(enabled);
  if (FHandle != nullptr) EnableWindow(FHandle, enabled);
}

void TWinControl::InsertControl(TControl* control) {
  if (control->IsWindowed()) return;
  FControls.push_back(control);
  control->Invalidate();
}

void TWinControl::RemoveControl(TControl* control) {
  const auto it = std::find(FControls.begin(), FControls.end(), control);
  if (it == FControls.end()) return;
  FControls.erase(it);
  RECT area = control->BoundsRect();
  if (FHandle != nullptr) InvalidateRect(FHandle, &area, FALSE);
}

TControl* TWinControl::ControlAtPos(POINT point, bool allowDisabled) const {
  for (auto it = FControls.rbegin(); it != FControls.rend(); ++it) {
    TControl* control = *it;
    if (!control->Visible() || (!allowDisabled && !control->Enabled())) continue;
    const RECT area = control->BoundsRect();
    if (PtInRect(&area, point)) return control;
  }
  return nullptr;
}

LRESULT CALLBACK TWinControl::StaticWndProc(HWND handle, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
  TWinControl* control = reinterpret_cast<TWinControl*>(GetWindowLongPtrA(handle, GWLP_USERDATA));
  if (control == nullptr) return DefWindowProcA(handle, message, wParam, lParam);
  // Errors never cross the system's frames: an error in a handler is shown, and the program
  // goes on with the next message.
  try {
    return control->WndProc(message, wParam, lParam);
  } catch (const std::exception& error) {
    ControlHost().HandleException(error);
  }
  return 0;
}

LRESULT TWinControl::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (IsMouseMessage(message)) {
    RouteMouse(message, wParam, lParam);
    return 0;
  }
  switch (message) {
    case WM_ERASEBKGND:
      return 1;  // painted together with the controls, without flicker
    case WM_PAINT:
      PaintAll();
      return 0;
    case WM_MOUSELEAVE:
      // Nothing to do here: the message wakes the loop, which then looks at what is under the
      // mouse now.
      FTrackingLeave = false;
      return 0;
    case WM_SETCURSOR:
      if (reinterpret_cast<HWND>(wParam) == FHandle && LOWORD(lParam) == HTCLIENT) {
        ::SetCursor(ControlHost().CursorHandle(CursorAt(GetMessagePos())));
        return TRUE;
      }
      return DefWindowProcA(FHandle, message, wParam, lParam);
    case WM_CAPTURECHANGED: {
      TControl* holder = ControlHost().CaptureControl();
      if (holder != nullptr && holder->MouseWindow() == FHandle &&
          reinterpret_cast<HWND>(lParam) != FHandle) {
        ControlHost().SetCaptureControl(nullptr);
        if (holder->OnCaptureLost) holder->OnCaptureLost(holder);
      }
      return 0;
    }
    default:
      return DefWindowProcA(FHandle, message, wParam, lParam);
  }
}

void TWinControl::RouteMouse(UINT message, WPARAM wParam, LPARAM lParam) {
  TWMMouse mouse{message, wParam, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), 0};
  TControl* target = ControlHost().CaptureControl();
  if (target == nullptr || target->MouseWindow() != FHandle) {
    target = ControlAtPos(POINT{mouse.XPos, mouse.YPos}, false);
    if (target == nullptr) target = this;
  }
  if (target != this) {
    mouse.XPos -= target->Left();
    mouse.YPos -= target->Top();
  }
  if (message == WM_MOUSEMOVE && !FTrackingLeave) {
    TRACKMOUSEEVENT track{sizeof(TRACKMOUSEEVENT), TME_LEAVE, FHandle, 0};
    FTrackingLeave = TrackMouseEvent(&track) != FALSE;
  }
  target->Perform(mouse);
}

int TWinControl::CursorAt(DWORD screenPos) const {
  POINT point{GET_X_LPARAM(screenPos), GET_Y_LPARAM(screenPos)};
  ScreenToClient(FHandle, &point);
  if (const TControl* control = ControlAtPos(point, true);
      control != nullptr && control->Cursor() != crDefault)
    return control->Cursor();
  // A control without a cursor of its own shows its window's, or that window's parent's.
  for (const TControl* owner = this; owner != nullptr; owner = owner->Parent())
    if (owner->Cursor() != crDefault) return owner->Cursor();
  return crDefault;
}

void TWinControl::PaintBackground(HDC dc, const RECT& area) {
  FillRect(dc, &area, GetSysColorBrush(COLOR_BTNFACE));
}

void TWinControl::PaintAll() {
  PAINTSTRUCT paint;
  HDC target = BeginPaint(FHandle, &paint);
  const RECT area = paint.rcPaint;
  const int width = area.right - area.left, height = area.bottom - area.top;
  if (width > 0 && height > 0) {
    // Drawn off screen first, so that labels never flicker over the background.
    HDC buffer = CreateCompatibleDC(target);
    TGdiObject<HBITMAP> surface(CreateCompatibleBitmap(target, width, height));
    HGDIOBJ old = SelectObject(buffer, surface.Get());
    SetViewportOrgEx(buffer, -area.left, -area.top, nullptr);
    SetBrushOrgEx(buffer, -area.left, -area.top, nullptr);
    PaintBackground(buffer, area);
    for (TControl* control : FControls) {
      RECT bounds = control->BoundsRect(), overlap;
      if (!control->Visible() || !IntersectRect(&overlap, &bounds, &area)) continue;
      const int saved = SaveDC(buffer);
      SetViewportOrgEx(buffer, control->Left() - area.left, control->Top() - area.top, nullptr);
      IntersectClipRect(buffer, 0, 0, control->Width(), control->Height());
      control->Paint(buffer);
      RestoreDC(buffer, saved);
    }
    SetViewportOrgEx(buffer, 0, 0, nullptr);
    BitBlt(target, area.left, area.top, width, height, buffer, 0, 0, SRCCOPY);
    SelectObject(buffer, old);
    DeleteDC(buffer);
  }
  EndPaint(FHandle, &paint);
}

}  // namespace korvath
