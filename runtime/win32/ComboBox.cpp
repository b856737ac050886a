#include "runtime/win32/ComboBox.h"

#include <algorithm>

#include "runtime/win32/LayoutReader.h"
#include "runtime/win32/TextDrawing.h"

namespace korvath {
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
  HWND field = CreateWindowExA(0, "COMBOBOX", "",
                               WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST |
                                   CBS_OWNERDRAWFIXED | CBS_HASSTRINGS,
                               0, 0, Width(), InnerHeight(), container, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
  if (field == nullptr) return nullptr;
  // The system draws the field's edge in its own paint, as its theme or its 3D look says; the
  // border the layout asks for goes over it afterwards.
  SetWindowLongPtrA(field, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  FFieldProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(field, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&FieldProc)));
  return field;
}

TComboBox::~TComboBox() {
  // The field outlives this part of the control by a moment: it is destroyed with the window
  // that holds it.
  if (Inner() != nullptr && FFieldProc != nullptr)
    SetWindowLongPtrA(Inner(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FFieldProc));
}

LRESULT CALLBACK TComboBox::FieldProc(HWND field, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<TComboBox*>(GetWindowLongPtrA(field, GWLP_USERDATA));
  const LRESULT result = CallWindowProcA(self->FFieldProc, field, message, wParam, lParam);
  if (message == WM_PAINT || message == WM_NCPAINT || message == WM_SETFOCUS ||
      message == WM_KILLFOCUS || message == WM_ENABLE)
    self->DrawBorder(field);
  return result;
}

void TComboBox::DrawBorder(HWND field) {
  RECT area;
  GetClientRect(field, &area);
  HDC dc = GetDC(field);
  if (FCtl3D) {
    DrawEdge(dc, &area, EDGE_SUNKEN, BF_RECT);
  } else {
    FrameRect(dc, &area, GetSysColorBrush(COLOR_WINDOWFRAME));
    InflateRect(&area, -1, -1);
    FrameRect(dc, &area, BackgroundBrush());
  }
  // The system leaves a line of its window colour round the item inside its area; the list's
  // colour fills it.
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  if (GetComboBoxInfo(field, &info)) FrameRect(dc, &info.rcItem, BackgroundBrush());
  ReleaseDC(field, dc);
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

}  // namespace korvath
