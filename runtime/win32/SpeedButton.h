// A flat button drawn by its form.
#pragma once

#include <windows.h>

#include <string>

#include "runtime/win32/Controls.h"

namespace korvath {

// A button without a window of its own: its caption on the form's background, a raised edge
// while the mouse is over it and a sunken one while it is pressed (when Flat; always raised
// otherwise).
class TSpeedButton : public TControl {
 public:
  const std::string& Caption() const { return FCaption; }
  bool Flat() const { return FFlat; }
  TColor FontColor() const { return FFontColor; }

  void Paint(HDC dc) override;
  void SetProperty(const TPropDesc& prop, TLayoutReader& reader) override;

 protected:
  void CMMouseEnter(TWMMouse& message) override;
  void CMMouseLeave(TWMMouse& message) override;
  void WMLButtonDown(TWMMouse& message) override;
  void WMLButtonUp(TWMMouse& message) override;

 private:
  std::string FCaption;
  bool FFlat = false;
  bool FInside = false;
  bool FPressed = false;
  TColor FFontColor = clWindowText;
};

}  // namespace korvath
