// The controls of the window toolkit. A graphic control (picture, label, gauge) has no window
// of its own: its parent window paints it and hands it the mouse messages that fall on it. A
// windowed control (form, panel, browser) is a system window.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "runtime/Classes.h"
#include "runtime/win32/Graphics.h"
#include "runtime/win32/Layout.h"

namespace korvath {

class TWinControl;
class TLayoutReader;

enum class TMouseButton { mbLeft, mbRight, mbMiddle };

using TShiftState = uint32_t;
inline constexpr TShiftState ssShift = 1;
inline constexpr TShiftState ssAlt = 2;
inline constexpr TShiftState ssCtrl = 4;
inline constexpr TShiftState ssLeft = 8;
inline constexpr TShiftState ssRight = 16;
inline constexpr TShiftState ssMiddle = 32;
inline constexpr TShiftState ssDouble = 64;

using TMouseEvent =
    std::function<void(TObject* sender, TMouseButton button, TShiftState shift, int x, int y)>;
using TMouseMoveEvent = std::function<void(TObject* sender, TShiftState shift, int x, int y)>;

// The toolkit's notifications that the mouse has come over a control and has left it; numbers
// above the system's own messages.
inline constexpr UINT CM_MOUSEENTER = 0xB013;
inline constexpr UINT CM_MOUSELEAVE = 0xB014;

// The system's mouse message record: message number, key flags (MK_...), position in the
// receiving control's client coordinates, result. Enter and leave notifications carry their
// number and zero in the other fields.
struct TWMMouse {
  UINT Msg = 0;
  WPARAM Keys = 0;
  int XPos = 0;
  int YPos = 0;
  LRESULT Result = 0;
};

// Cursor numbers of the application's cursor table; 0 takes the parent's (finally the arrow).
inline constexpr int crDefault = 0;

// Anything a layout can hold: named, and set up property by property.
class TComponent : public TObject {
 public:
  TComponent() = default;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  const std::string& Name() const { return FName; }
  void SetName(const std::string& name) { FName = name; }
  // Sets a property by its stored name; each class knows its own and passes the rest on.
  virtual void SetProperty(const TPropDesc& prop, TLayoutReader& reader);
  // Called once every property of the layout has been set.
  virtual void Loaded() {}

 private:
  std::string FName;
};

class TControl : public TComponent {
 public:
  TControl() = default;
  ~TControl() override;

  TWinControl* Parent() const { return FParent; }
  virtual void SetParent(TWinControl* parent);

  int Left() const { return FLeft; }
  int Top() const { return FTop; }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  RECT BoundsRect() const { return RECT{FLeft, FTop, FLeft + FWidth, FTop + FHeight}; }
  virtual void SetBounds(int left, int top, int width, int height);
  void SetLeft(int left) { SetBounds(left, FTop, FWidth, FHeight); }
  void SetTop(int top) { SetBounds(FLeft, top, FWidth, FHeight); }

  bool Visible() const { return FVisible; }
  virtual void SetVisible(bool visible);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  bool Enabled() const { return FEnabled; }
  virtual void SetEnabled(bool enabled);
  int Cursor() const { return FCursor; }
  void SetCursor(int cursor) { FCursor = cursor; }

  virtual bool IsWindowed() const { return false; }
  // The window the control's mouse input and painting go through: its own, or its parent's.
  HWND MouseWindow() const;
  // Asks the parent to repaint the control's rectangle.
  void Invalidate();
  // Draws a graphic control; the origin is the control's top-left corner and drawing is
  // clipped to its rectangle.
  virtual void Paint(HDC dc);

  // Hands a mouse message or notification to the control's handler for its number.
  void Perform(TWMMouse& message);
  void SetProperty(const TPropDesc& prop, TLayoutReader& reader) override;

  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TMouseEvent OnMouseDown;
  TMouseMoveEvent OnMouseMove;
  TMouseEvent OnMouseUp;
  // The system took the mouse away between a press and its release (another window took
  // it, or Alt+Tab switched away); no release follows.
  TNotifyEvent OnCaptureLost;

 protected:
  // The base handling of each message: capture, the click, and the mouse events.
  virtual void WMLButtonDown(TWMMouse& message);
  virtual void WMLButtonUp(TWMMouse& message);
  virtual void WMLButtonDblClk(TWMMouse& message);
  virtual void WMOtherButton(TWMMouse& message);  // right and middle, down, up and double
  virtual void WMMouseMove(TWMMouse& message);
  virtual void CMMouseEnter(TWMMouse& message);
  virtual void CMMouseLeave(TWMMouse& message);

  virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseMove(TShiftState shift, int x, int y);
  virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
  virtual void Click();
  virtual void DblClick();

  // Keeps the mouse for this control until the last button comes up.
  void SetMouseCapture(bool capture);
  // Releases the capture when no button is held any more.
  void ReleaseCaptureAfter(const TWMMouse& message);
  // Records a place and size the system gave the control's window.
  void StoreBounds(int left, int top, int width, int height);

 private:
  TWinControl* FParent = nullptr;
  int FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
  bool FVisible = true;
  bool FEnabled = true;
  int FCursor = crDefault;
  bool FClicked = false;  // a left press on the control waits for its release
};

// The font a form hands to the controls on it; the form implements it.
class IFormFont {
 public:
  virtual ~IFormFont() = default;
  virtual const TFontDesc& Font() const = 0;
  virtual HFONT FontHandle() const = 0;
};

// The font of the form a control lies on (the control's own when it is a form); nullptr while
// it lies on none.
const IFormFont* FormFontOf(const TControl& control);

class TWinControl : public TControl {
 public:
  ~TWinControl() override;

  HWND Handle() const { return FHandle; }
  bool IsWindowed() const override { return true; }
  void Loaded() override;
  // A child window is made the first time it gets a parent.
  void SetParent(TWinControl* parent) override;
  void SetBounds(int left, int top, int width, int height) override;
  void SetVisible(bool visible) override;
  void SetEnabled(bool enabled) override;

  // Graphic controls drawn on this window, bottom first.
  const std::vector<TControl*>& Controls() const { return FControls; }
  void InsertControl(TControl* control);
  void RemoveControl(TControl* control);
  // The topmost visible graphic control at Point (client coordinates); disabled ones only
  // when AllowDisabled. nullptr when the point is on the window's own surface.
  TControl* ControlAtPos(POINT point, bool allowDisabled) const;

  // The control object of one of the toolkit's windows, or nullptr.
  static TWinControl* FromHandle(HWND handle);

 protected:
  // Makes the system window; Parent is nullptr for a top-level one.
  void CreateHandle(DWORD style, DWORD exStyle, HWND parent, const std::string& caption);
  virtual LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam);
  // Fills the window's background in Area before its graphic controls are drawn.
  virtual void PaintBackground(HDC dc, const RECT& area);

 private:
  static LRESULT CALLBACK StaticWndProc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam);
  void PaintAll();
  void RouteMouse(UINT message, WPARAM wParam, LPARAM lParam);
  // The cursor number for the mouse at ScreenPos (packed as GetMessagePos gives it).
  int CursorAt(DWORD screenPos) const;

  HWND FHandle = nullptr;
  std::vector<TControl*> FControls;
  bool FTrackingLeave = false;
};

}  // namespace korvath
