// A picture control of the window toolkit.
#pragma once

#include <windows.h>

#include "runtime/win32/Controls.h"

namespace korvath {

// Shows one picture at its top-left corner, at the picture's own size.
class TImage : public TControl {
 public:
  TImage();
  // The shown picture; assigning to it repaints the control.
  TPicture& Picture() { return FPicture; }
  const TPicture& Picture() const { return FPicture; }
  bool Transparent() const { return FTransparent; }

  void Paint(HDC dc) override;
  void SetProperty(const TPropDesc& prop, TLayoutReader& reader) override;

 private:
  TPicture FPicture;
  bool FTransparent = false;
};

}  // namespace korvath
