#include "runtime/win32/CheckBox.h"

#include "runtime/win32/LayoutReader.h"

namespace korvath {

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
