// Labels, flat buttons, pick-only lists and check boxes of the window toolkit. Labels and flat
// buttons are drawn by their form; lists and check boxes are system controls inside a window
// of the toolkit that colours them.
#pragma once

#include <string>
#include <vector>

#include "runtime/win32/Controls.h"

namespace korvath {

enum class TAlignment { taLeftJustify, taCenter, taRightJustify };

class TLabel : public TControl {
 public:
  const std::string& Caption() const { return FCaption; }
  // Shows the text as it stands ("&" is no accelerator mark); a label that sizes itself to
  // its text takes the new size.
  void SetCaption(const std::string& caption);
  bool AutoSize() const { return FAutoSize; }
  TAlignment Alignment() const { return FAlignment; }
  TColor FontColor() const { return FFontColor; }
  bool Transparent() const { return FTransparent; }
  bool Bold() const { return FBold; }

  void Paint(HDC dc) override;
  void SetProperty(const TPropDesc& prop, TLayoutReader& reader) override;
  void Loaded() override;

 private:
  void AdjustSize();
  // The form's font, or a bold one of the same face and size made for this label.
  HFONT FontHandle() const;
  std::string FCaption;
  bool FBold = false;
  mutable TGdiObject<HFONT> FBoldFont;
  bool FAutoSize = true;
  TAlignment FAlignment = TAlignment::taLeftJustify;
  TColor FFontColor = clWindowText;
  TColor FColor = clBtnFace;
  bool FTransparent = false;
};

// A button without a window of its own: its caption on the form's background, a raised edge
// while the mouse is over it and a sunken one while it is pressed (when Flat; always raised
// otherwise).
class TSpeedButton : public TControl {
 public:
  const std::string& Caption() const { return FCaption; }
  bool Flat() const { return FFlat; }
  TColor FontColor() const { return FFontColor; }

  void Paint(HDC dc) override;
  void SetProperty(const TPropDesc& prop, TLayoutReader& reader) override;

 protected:
  void CMMouseEnter(TWMMouse& message) override;
  void CMMouseLeave(TWMMouse& message) override;
  void WMLButtonDown(TWMMouse& message) override;
  void WMLButtonUp(TWMMouse& message) override;

 private:
  std::string FCaption;
  bool FFlat = false;
  bool FInside = false;
  bool FPressed = false;
  TColor FFontColor = clWindowText;
};

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

// A pick-only drop-down list whose items are drawn in its own colours at ItemHeight pixels.
// Ctl3D false asks for the flat border; the system draws the field's edge either way.
class TComboBox : public TSystemControl {
 public:
  const std::vector<std::string>& Items() const { return FItems; }
  void SetItems(const std::vector<std::string>& items);
  // The selected item's index, -1 when none is.
  int ItemIndex() const;
  void SetItemIndex(int index);
  int ItemHeight() const { return FItemHeight; }
  bool Ctl3D() const { return FCtl3D; }
  void SetProperty(const TPropDesc& prop, TLayoutReader& reader) override;
  void Loaded() override;

 protected:
  HWND CreateInner(HWND container) override;
  int InnerHeight() const override;
  LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void DrawItem(const DRAWITEMSTRUCT& item);
  std::vector<std::string> FItems;
  int FItemHeight = 13;
  bool FCtl3D = true;
};

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
