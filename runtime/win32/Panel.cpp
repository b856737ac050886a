#include "runtime/win32/Panel.h"

#include "runtime/win32/LayoutReader.h"

namespace korvath {

void TPanel::SetProperty(const TPropDesc& prop, TLayoutReader& reader) {
  const std::string name = prop.Name;
  if (name == "BevelOuter") {
    const std::string bevel = PropText(prop);
    if (bevel == "bvNone")
      FBevelOuter = TBevel::bvNone;
    else if (bevel == "bvRaised")
      FBevelOuter = TBevel::bvRaised;
    else
      throw ELayoutError("Unknown bevel " + bevel);
  } else if (name == "Caption") {
    FCaption = PropText(prop);
  } else if (name == "Color") {
    FColor = PropInt(prop);
  } else {
    TWinControl::SetProperty(prop, reader);
  }
}

void TPanel::PaintBackground(HDC dc, const RECT& area) {
  TGdiObject<HBRUSH> brush(CreateSolidBrush(ColorToRGB(FColor)));
  FillRect(dc, &area, brush.Get());
  RECT client{0, 0, Width(), Height()};
  if (FBevelOuter == TBevel::bvRaised) DrawEdge(dc, &client, BDR_RAISEDINNER, BF_RECT);
  if (FCaption.empty()) return;
  const IFormFont* form = FormFontOf(*this);
  HGDIOBJ old = form != nullptr ? SelectObject(dc, form->FontHandle()) : nullptr;
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, ColorToRGB(form != nullptr ? form->Font().Color : clWindowText));
  DrawTextA(dc, FCaption.c_str(), static_cast<int>(FCaption.size()), &client,
            DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  if (old != nullptr) SelectObject(dc, old);
}

}  // namespace korvath
