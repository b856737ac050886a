#include "runtime/win32/CheckBox.h"

#include <commctrl.h>
#include <uxtheme.h>
#include <vssym32.h>

#include "runtime/win32/LayoutReader.h"
#include "runtime/win32/TextDrawing.h"

namespace korvath {
namespace {

// The box's side and the gap before the caption where no theme says otherwise.
constexpr int kBoxSide = 13;
constexpr int kCaptionGap = 4;

int ThemeState(bool checked, UINT item) {
  const int base = checked ? CBS_CHECKEDNORMAL : CBS_UNCHECKEDNORMAL;
  if ((item & CDIS_DISABLED) != 0) return base + 3;
  if ((item & CDIS_SELECTED) != 0) return base + 2;
  if ((item & CDIS_HOT) != 0) return base + 1;
  return base;
}

}  // namespace

HWND TCheckBox::CreateInner(HWND container) {
  return CreateWindowExA(0, "BUTTON", FCaption.c_str(),
                         WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, 0, 0, Width(),
                         Height(), container, nullptr, GetModuleHandleA(nullptr), nullptr);
}

bool TCheckBox::Checked() const {
  if (Inner() == nullptr) return FChecked;
  return SendMessageA(Inner(), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TCheckBox::SetChecked(bool checked) {
  FChecked = checked;
  if (Inner() != nullptr)
    SendMessageA(Inner(), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

std::string TCheckBox::Caption() const {
  return FCaption;
}

void TCheckBox::SetProperty(const TPropDesc& prop, TLayoutReader& reader) {
  const std::string name = prop.Name;
  if (name == "Caption") {
    FCaption = PropText(prop);
    if (Inner() != nullptr) SetWindowTextA(Inner(), FCaption.c_str());
  } else if (name == "Checked") {
    SetChecked(PropBool(prop));
  } else {
    TSystemControl::SetProperty(prop, reader);
  }
}

LRESULT TCheckBox::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
  // Only the common controls with visual styles ask; the older ones take the colour answer.
  if (message == WM_NOTIFY) {
    const auto* header = reinterpret_cast<const NMHDR*>(lParam);
    if (header->hwndFrom == Inner() && header->code == NM_CUSTOMDRAW) {
      const auto* draw = reinterpret_cast<const NMCUSTOMDRAW*>(lParam);
      if (draw->dwDrawStage != CDDS_PREPAINT) return CDRF_DODEFAULT;
      Draw(*draw);
      return CDRF_SKIPDEFAULT;
    }
  }
  return TSystemControl::WndProc(message, wParam, lParam);
}

void TCheckBox::Draw(const NMCUSTOMDRAW& draw) {
  HDC dc = draw.hdc;
  RECT area = draw.rc;
  FillRect(dc, &area, BackgroundBrush());
  const bool checked = Checked();
  SIZE box{kBoxSide, kBoxSide};
  HTHEME theme = OpenThemeData(Inner(), L"Button");
  if (theme != nullptr) GetThemePartSize(theme, dc, BP_CHECKBOX, 0, nullptr, TS_DRAW, &box);
  RECT glyph{area.left, area.top + (area.bottom - area.top - box.cy) / 2, 0, 0};
  glyph.right = glyph.left + box.cx;
  glyph.bottom = glyph.top + box.cy;
  if (theme != nullptr) {
    DrawThemeBackground(theme, dc, BP_CHECKBOX, ThemeState(checked, draw.uItemState), &glyph,
                        nullptr);
    CloseThemeData(theme);
  } else {
    UINT state = DFCS_BUTTONCHECK | DFCS_FLAT;
    if (checked) state |= DFCS_CHECKED;
    if ((draw.uItemState & CDIS_SELECTED) != 0) state |= DFCS_PUSHED;
    if ((draw.uItemState & CDIS_DISABLED) != 0) state |= DFCS_INACTIVE;
    DrawFrameControl(dc, &glyph, DFC_BUTTON, state);
  }

  RECT text{glyph.right + kCaptionGap, area.top, area.right, area.bottom};
  TFontSelection font(dc, reinterpret_cast<HFONT>(SendMessageA(Inner(), WM_GETFONT, 0, 0)));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, (draw.uItemState & CDIS_DISABLED) != 0 ? GetSysColor(COLOR_GRAYTEXT)
                                                          : ColorToRGB(FontColor()));
  DrawTextA(dc, FCaption.c_str(), static_cast<int>(FCaption.size()), &text,
            DT_SINGLELINE | DT_VCENTER);
  if ((draw.uItemState & CDIS_FOCUS) != 0 &&
      (SendMessageA(Inner(), WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS) == 0) {
    RECT measured = text;
    DrawTextA(dc, FCaption.c_str(), static_cast<int>(FCaption.size()), &measured,
              DT_SINGLELINE | DT_CALCRECT);
    OffsetRect(&measured, 0, (text.bottom - text.top - (measured.bottom - measured.top)) / 2);
    InflateRect(&measured, 1, 1);
    DrawFocusRect(dc, &measured);
  }
}

}  // namespace korvath
