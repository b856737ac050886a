#include "runtime/win32/SpeedButton.h"

#include "runtime/win32/LayoutReader.h"
#include "runtime/win32/TextDrawing.h"

namespace korvath {

void TSpeedButton::Paint(HDC dc) {
  RECT area{0, 0, Width(), Height()};
  if (FPressed && FInside)
    DrawEdge(dc, &area, BDR_SUNKENOUTER, BF_RECT);
  else if (FInside || !FFlat)
    DrawEdge(dc, &area, BDR_RAISEDINNER, BF_RECT);
  if (FCaption.empty()) return;
  TFontSelection font(dc, *this);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, ColorToRGB(Enabled() ? FFontColor : static_cast<TColor>(0x808080)));
  if (FPressed && FInside) OffsetRect(&area, 1, 1);
  DrawTextA(dc, FCaption.c_str(), static_cast<int>(FCaption.size()), &area,
            kTextFlags | DT_CENTER | DT_VCENTER);
}

void TSpeedButton::SetProperty(const TPropDesc& prop, TLayoutReader& reader) {
  const std::string name = prop.Name;
  if (name == "Caption")
    FCaption = PropText(prop);
  else if (name == "Flat")
    FFlat = PropBool(prop);
  else if (name == "Font.Color")
    FFontColor = PropInt(prop);
  else
    TControl::SetProperty(prop, reader);
}

void TSpeedButton::CMMouseEnter(TWMMouse& message) {
  TControl::CMMouseEnter(message);
  FInside = true;
  Invalidate();
}

void TSpeedButton::CMMouseLeave(TWMMouse& message) {
  TControl::CMMouseLeave(message);
  FInside = false;
  Invalidate();
}

void TSpeedButton::WMLButtonDown(TWMMouse& message) {
  FPressed = true;
  Invalidate();
  TControl::WMLButtonDown(message);
}

void TSpeedButton::WMLButtonUp(TWMMouse& message) {
  FPressed = false;
  Invalidate();
  TControl::WMLButtonUp(message);
}

}  // namespace korvath
