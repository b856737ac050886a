// A text on its form's surface, in the form's font or a bold one of the same face and size.
#pragma once

#include <windows.h>

#include <string>

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

}  // namespace korvath
