#include "runtime/win32/Label.h"

#include "runtime/win32/LayoutReader.h"
#include "runtime/win32/TextDrawing.h"

namespace korvath {

void TLabel::SetCaption(const std::string& caption) {
  if (caption == FCaption) return;
  FCaption = caption;
  AdjustSize();
  Invalidate();
}

void TLabel::AdjustSize() {
  if (!FAutoSize || FormFontOf(*this) == nullptr) return;
  HDC screen = GetDC(nullptr);
  RECT measured{0, 0, 0, 0};
  {
    TFontSelection font(screen, FontHandle());
    // An empty text is measured as a blank, so that the label keeps the font's height.
    const std::string text = FCaption.empty() ? " " : FCaption;
    DrawTextA(screen, text.c_str(), static_cast<int>(text.size()), &measured,
              kTextFlags | DT_CALCRECT);
  }
  ReleaseDC(nullptr, screen);
  SetBounds(Left(), Top(), FCaption.empty() ? 0 : measured.right, measured.bottom);
}

void TLabel::Paint(HDC dc) {
  RECT area{0, 0, Width(), Height()};
  if (!FTransparent) {
    TGdiObject<HBRUSH> brush(CreateSolidBrush(ColorToRGB(FColor)));
    FillRect(dc, &area, brush.Get());
  }
  if (FCaption.empty()) return;
  TFontSelection font(dc, FontHandle());
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, ColorToRGB(FFontColor));
  UINT align = DT_LEFT;
  if (FAlignment == TAlignment::taCenter) align = DT_CENTER;
  if (FAlignment == TAlignment::taRightJustify) align = DT_RIGHT;
  DrawTextA(dc, FCaption.c_str(), static_cast<int>(FCaption.size()), &area, kTextFlags | align);
}

void TLabel::SetProperty(const TPropDesc& prop, TLayoutReader& reader) {
  const std::string name = prop.Name;
  if (name == "Caption") {
    SetCaption(PropText(prop));
  } else if (name == "AutoSize") {
    FAutoSize = PropBool(prop);
  } else if (name == "Alignment") {
    const std::string value = PropText(prop);
    if (value == "taLeftJustify")
      FAlignment = TAlignment::taLeftJustify;
    else if (value == "taCenter")
      FAlignment = TAlignment::taCenter;
    else if (value == "taRightJustify")
      FAlignment = TAlignment::taRightJustify;
    else
      throw ELayoutError("Unknown alignment " + value);
  } else if (name == "Font.Color") {
    FFontColor = PropInt(prop);
  } else if (name == "Color") {
    FColor = PropInt(prop);
  } else if (name == "Transparent") {
    FTransparent = PropBool(prop);
  } else if (name == "Font.Bold") {
    FBold = PropBool(prop);
    FBoldFont.Reset();
    AdjustSize();
    Invalidate();
  } else {
    TControl::SetProperty(prop, reader);
  }
}

HFONT TLabel::FontHandle() const {
  const IFormFont* form = FormFontOf(*this);
  if (form == nullptr) return nullptr;
  if (!FBold) return form->FontHandle();
  if (!FBoldFont) {
    TFontDesc bold = form->Font();
    bold.Bold = true;
    // Made on first use, once the form's font is known; the label owns it.
    FBoldFont = CreateFontFrom(bold);
  }
  return FBoldFont.Get();
}

void TLabel::Loaded() {
  AdjustSize();
}

}  // namespace korvath
