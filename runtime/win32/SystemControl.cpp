#include "runtime/win32/SystemControl.h"

#include "runtime/SysUtils.h"
#include "runtime/win32/LayoutReader.h"

namespace korvath {

void TSystemControl::SetParent(TWinControl* parent) {
  TWinControl::SetParent(parent);
  if (parent == nullptr || FInner != nullptr) return;
  FInner = CreateInner(Handle());
  if (FInner == nullptr) throw Exception("Error creating window: " + Name());
  if (const IFormFont* form = FormFontOf(*this))
    SendMessageA(FInner, WM_SETFONT, reinterpret_cast<WPARAM>(form->FontHandle()), FALSE);
  SetWindowPos(FInner, nullptr, 0, 0, Width(), InnerHeight(), SWP_NOZORDER | SWP_NOACTIVATE);
}

void TSystemControl::SetBounds(int left, int top, int width, int height) {
  TWinControl::SetBounds(left, top, width, height);
  if (FInner != nullptr)
    SetWindowPos(FInner, nullptr, 0, 0, Width(), InnerHeight(), SWP_NOZORDER | SWP_NOACTIVATE);
}

void TSystemControl::SetEnabled(bool enabled) {
  TWinControl::SetEnabled(enabled);
  if (FInner != nullptr) EnableWindow(FInner, enabled);
}

void TSystemControl::SetProperty(const TPropDesc& prop, TLayoutReader& reader) {
  const std::string name = prop.Name;
  if (name == "TabOrder") {
    FTabOrder = PropInt(prop);
  } else if (name == "Color") {
    FColor = PropInt(prop);
  } else if (name == "Font.Color") {
    FFontColor = PropInt(prop);
  } else {
    TWinControl::SetProperty(prop, reader);
    return;
  }
  if (FInner != nullptr) InvalidateRect(FInner, nullptr, TRUE);
}

HBRUSH TSystemControl::BackgroundBrush() {
  if (!FBrush || FBrushColor != FColor) {
    FBrush = TGdiObject<HBRUSH>(CreateSolidBrush(ColorToRGB(FColor)));
    FBrushColor = FColor;
  }
  return FBrush.Get();
}

LRESULT TSystemControl::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLOREDIT: {
      HDC dc = reinterpret_cast<HDC>(wParam);
      SetTextColor(dc, ColorToRGB(FFontColor));
      SetBkColor(dc, ColorToRGB(FColor));
      return reinterpret_cast<LRESULT>(BackgroundBrush());
    }
    default:
      return TWinControl::WndProc(message, wParam, lParam);
  }
}

}  // namespace korvath
