// A panel of the window toolkit.
#pragma once

#include <windows.h>

#include <string>

#include "runtime/win32/Controls.h"

namespace korvath {

enum class TBevel { bvNone, bvRaised };

// A child window that holds other controls; painted in its colour, with an optional raised
// edge and a centred caption.
class TPanel : public TWinControl {
 public:
  void SetProperty(const TPropDesc& prop, TLayoutReader& reader) override;
  TBevel BevelOuter() const { return FBevelOuter; }

 protected:
  void PaintBackground(HDC dc, const RECT& area) override;

 private:
  TBevel FBevelOuter = TBevel::bvRaised;
  std::string FCaption;
  TColor FColor = clBtnFace;
};

}  // namespace korvath
