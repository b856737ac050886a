// Pictures, panels and timers of the window toolkit.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "runtime/win32/Controls.h"
#include "runtime/win32/UtilWindow.h"

namespace korvath {

// Shows one picture at its top-left corner, at the picture's own size.
class TImage : public TControl {
 public:
  TImage();
  // The shown picture; assigning to it repaints the control.
  TPicture& Picture() { return FPicture; }
  const TPicture& Picture() const { return FPicture; }
  bool Transparent() const { return FTransparent; }

  void Paint(HDC dc) override;
  void SetProperty(const TPropDesc& prop, TLayoutReader& reader) override;

 private:
  TPicture FPicture;
  bool FTransparent = false;
};

enum class TBevel { bvNone, bvRaised };

// A child window that holds other controls; painted in its colour, with an optional raised
// edge and a centred caption.
class TPanel : public TWinControl {
 public:
  void SetProperty(const TPropDesc& prop, TLayoutReader& reader) override;
  TBevel BevelOuter() const { return FBevelOuter; }

 protected:
  void PaintBackground(HDC dc, const RECT& area) override;

 private:
  TBevel FBevelOuter = TBevel::bvRaised;
  std::string FCaption;
  TColor FColor = clBtnFace;
};

// Calls OnTimer every Interval milliseconds while enabled. It starts counting when it is made.
class TTimer : public TComponent {
 public:
  TTimer();
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool enabled);
  unsigned Interval() const { return FInterval; }
  void SetInterval(unsigned interval);

  void SetProperty(const TPropDesc& prop, TLayoutReader& reader) override;

  TNotifyEvent OnTimer;

 private:
  void Restart();
  bool FEnabled = true;
  unsigned FInterval = 1000;
  std::unique_ptr<TUtilWindow> FWindow;
};

}  // namespace korvath
