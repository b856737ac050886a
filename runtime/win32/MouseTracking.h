// Which control the mouse is over and which one holds it: the control under the mouse is told
// when the mouse comes and when it leaves; the one that holds it from a press until the release
// is the only one told meanwhile.
#pragma once

#include <windows.h>

#include "runtime/win32/Controls.h"

namespace korvath {

class TMouseTracking {
 public:
  // The control that holds the mouse from a press until the release.
  TControl* CaptureControl() const { return FCaptureControl; }
  void SetCaptureControl(TControl* control);
  // Looks at the visible control under Point (screen coordinates) and tells the old and the
  // new one when it changed. Errors of their handlers reach the caller.
  void Track(POINT point);
  void ControlDestroying(TControl* control);

 private:
  TControl* FCaptureControl = nullptr;
  TControl* FMouseControl = nullptr;
};

}  // namespace korvath
