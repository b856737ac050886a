// A check box of the window toolkit: a system check box in a window that colours it. Under
// visual styles the system draws captions in the theme's colour whatever the colour answer
// says, so there the window draws the box and its caption itself.
#pragma once

#include <windows.h>
// After windows.h: the common controls header needs its types.
#include <commctrl.h>

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
  LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void Draw(const NMCUSTOMDRAW& draw);

  std::string FCaption;
  bool FChecked = false;
};

}  // namespace korvath
