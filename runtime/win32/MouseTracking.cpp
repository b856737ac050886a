#include "runtime/win32/MouseTracking.h"

namespace korvath {
namespace {

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

void TMouseTracking::SetCaptureControl(TControl* control) {
  FCaptureControl = control;
  if (control != nullptr) {
    SetCapture(control->MouseWindow());
  } else if (HWND holder = GetCapture();
             holder != nullptr && TWinControl::FromHandle(holder) != nullptr) {
    ReleaseCapture();
  }
}

void TMouseTracking::Track(POINT point) {
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
  if (old != nullptr) {
    TWMMouse leave{CM_MOUSELEAVE, 0, 0, 0, 0};
    old->Perform(leave);
  }
  if (now != nullptr && FMouseControl == now) {
    TWMMouse enter{CM_MOUSEENTER, 0, 0, 0, 0};
    now->Perform(enter);
  }
}

void TMouseTracking::ControlDestroying(TControl* control) {
  if (FMouseControl == control) FMouseControl = nullptr;
  if (FCaptureControl == control) SetCaptureControl(nullptr);
}

}  // namespace korvath
