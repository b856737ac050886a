#include "runtime/win32/StdCtrls.h"

#include <algorithm>

#include "runtime/win32/LayoutReader.h"

namespace korvath {
namespace {

constexpr UINT kTextFlags = DT_SINGLELINE | DT_NOPREFIX;

class TFontSelection {
 public:
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

}  // namespace

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

namespace korvath {

// ---- TSpeedButton

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

// ---- TSystemControl

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

// ---- TComboBox

namespace {

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

}  // namespace

HWND TComboBox::CreateInner(HWND container) {
  // Owner-drawn so that the items take the list's colours and height.
  return CreateWindowExA(0, "COMBOBOX", "",
                         WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST |
                             CBS_OWNERDRAWFIXED | CBS_HASSTRINGS,
                         0, 0, Width(), InnerHeight(), container, nullptr,
                         GetModuleHandleA(nullptr), nullptr);
}

int TComboBox::InnerHeight() const {
  // The field plus room for every item when the list drops down.
  return Height() + FItemHeight * (static_cast<int>(FItems.size()) + 1);
}

void TComboBox::SetItems(const std::vector<std::string>& items) {
  FItems = items;
  if (Inner() == nullptr) return;
  SendMessageA(Inner(), CB_RESETCONTENT, 0, 0);
  for (const std::string& item : FItems)
    SendMessageA(Inner(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
  // The list drops down as far as the system window reaches.
  SetWindowPos(Inner(), nullptr, 0, 0, Width(), InnerHeight(), SWP_NOZORDER | SWP_NOACTIVATE);
}

void TComboBox::Loaded() {
  TSystemControl::Loaded();
  // The system asked for the heights while the control had no size yet.
  if (Inner() == nullptr) return;
  SendMessageA(Inner(), CB_SETITEMHEIGHT, 0, FItemHeight);
  SendMessageA(Inner(), CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), std::max(Height() - 6, 1));
}

int TComboBox::ItemIndex() const {
  if (Inner() == nullptr) return -1;
  return static_cast<int>(SendMessageA(Inner(), CB_GETCURSEL, 0, 0));
}

void TComboBox::SetItemIndex(int index) {
  if (Inner() == nullptr) return;
  const bool inRange = index >= 0 && index < static_cast<int>(FItems.size());
  SendMessageA(Inner(), CB_SETCURSEL, static_cast<WPARAM>(inRange ? index : -1), 0);
}

void TComboBox::SetProperty(const TPropDesc& prop, TLayoutReader& reader) {
  const std::string name = prop.Name;
  if (name == "Items.Strings") {
    SetItems(SplitLines(PropText(prop)));
  } else if (name == "ItemHeight") {
    FItemHeight = PropInt(prop);
  } else if (name == "Ctl3D") {
    FCtl3D = PropBool(prop);
  } else if (name == "Style") {
    // Only the pick-only kind is made.
    const std::string style = PropText(prop);
    if (style != "csDropDownList" && style != "csOwnerDrawFixed")
      throw ELayoutError("Unknown list style " + style);
  } else {
    TSystemControl::SetProperty(prop, reader);
  }
}

LRESULT TComboBox::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_MEASUREITEM: {
      auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
      // The field (item -1) fills the control's height inside the system's edge.
      measure->itemHeight = measure->itemID == static_cast<UINT>(-1)
                                ? static_cast<UINT>(std::max(Height() - 6, 1))
                                : static_cast<UINT>(FItemHeight);
      return TRUE;
    }
    case WM_DRAWITEM:
      DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      return TRUE;
    default:
      return TSystemControl::WndProc(message, wParam, lParam);
  }
}

void TComboBox::DrawItem(const DRAWITEMSTRUCT& item) {
  RECT area = item.rcItem;
  const bool selected = (item.itemState & ODS_SELECTED) != 0;
  FillRect(item.hDC, &area, selected ? GetSysColorBrush(COLOR_HIGHLIGHT) : BackgroundBrush());
  if (item.itemID == static_cast<UINT>(-1) || item.itemID >= FItems.size()) return;
  const std::string& text = FItems[item.itemID];
  SetBkMode(item.hDC, TRANSPARENT);
  SetTextColor(item.hDC, selected ? GetSysColor(COLOR_HIGHLIGHTTEXT) : ColorToRGB(FontColor()));
  area.left += 2;
  DrawTextA(item.hDC, text.c_str(), static_cast<int>(text.size()), &area, kTextFlags | DT_VCENTER);
  if ((item.itemState & ODS_FOCUS) != 0) DrawFocusRect(item.hDC, &item.rcItem);
}

// ---- TCheckBox

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

}  // namespace korvath
