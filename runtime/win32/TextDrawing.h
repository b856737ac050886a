// What the toolkit's text-drawing controls share: how a line of text is drawn, and a font
// selected into a device context for as long as the selection lives.
#pragma once

#include <windows.h>

#include "runtime/win32/Controls.h"

namespace korvath {

// One line; "&" is shown as it stands, no accelerator mark.
inline constexpr UINT kTextFlags = DT_SINGLELINE | DT_NOPREFIX;

class TFontSelection {
 public:
  // The font of the form Control lies on, if it lies on one.
  TFontSelection(HDC dc, const TControl& control) : FDC(dc) {
    if (const IFormFont* form = FormFontOf(control)) FOld = SelectObject(dc, form->FontHandle());
  }
  TFontSelection(HDC dc, HFONT font) : FDC(dc) {
    if (font != nullptr) FOld = SelectObject(dc, font);
  }
  ~TFontSelection() {
    if (FOld != nullptr) SelectObject(FDC, FOld);
  }
  TFontSelection(const TFontSelection&) = delete;
  TFontSelection& operator=(const TFontSelection&) = delete;

 private:
  HDC FDC;
  HGDIOBJ FOld = nullptr;
};

}  // namespace korvath
