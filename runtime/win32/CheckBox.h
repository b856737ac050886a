// A check box of the window toolkit: a system check box in a window that colours it.
#pragma once

#include <windows.h>

#include <string>

#include "runtime/win32/SystemControl.h"

namespace korvath {

class TCheckBox : public TSystemControl {
 public:
  bool Checked() const;
  void SetChecked(bool checked);
  std::string Caption() const;
  void SetProperty(const TPropDesc& prop, TLayoutReader& reader) override;

 protected:
  HWND CreateInner(HWND container) override;

 private:
  std::string FCaption;
  bool FChecked = false;
};

}  // namespace korvath
