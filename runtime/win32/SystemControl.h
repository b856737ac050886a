// What the toolkit's lists and check boxes have in common.
#pragma once

#include <windows.h>

#include "runtime/win32/Controls.h"

namespace korvath {

// Base of the windowed controls that wrap a system control: the toolkit's window holds the
// system window, fills it, hands it the form's font and answers its colour questions.
class TSystemControl : public TWinControl {
 public:
  HWND Inner() const { return FInner; }
  int TabOrder() const { return FTabOrder; }
  TColor Color() const { return FColor; }
  TColor FontColor() const { return FFontColor; }
  void SetParent(TWinControl* parent) override;
  void SetBounds(int left, int top, int width, int height) override;
  void SetEnabled(bool enabled) override;
  void SetProperty(const TPropDesc& prop, TLayoutReader& reader) override;

 protected:
  // Makes the system window inside this one, the first time the control gets a parent.
  virtual HWND CreateInner(HWND container) = 0;
  // The height the system window gets; a list is taller than its field.
  virtual int InnerHeight() const { return Height(); }
  LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  HBRUSH BackgroundBrush();

 private:
  HWND FInner = nullptr;
  int FTabOrder = -1;
  TColor FColor = static_cast<TColor>(0x80000000u | COLOR_WINDOW);
  TColor FFontColor = clWindowText;
  TGdiObject<HBRUSH> FBrush;
  TColor FBrushColor = 0;
};

}  // namespace korvath
