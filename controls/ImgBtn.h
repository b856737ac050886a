// The skinned push button of the main window: a picture control that shows its normal, its
// mouse-over or its pressed picture as the mouse moves over it and presses it, and clicks like
// any control. It draws nothing but its pictures and takes no keyboard input.
#pragma once

#include <functional>
#include <memory>

#include "runtime/win32/Image.h"

namespace korvath {

using TOnMouseEvent = std::function<void(TWMMouse& Msg)>;

class TImgBtn : public TImage {
 public:
  TImgBtn();
  ~TImgBtn() override;

  const TPicture& Pic() const { return *FPic; }
  const TPicture& PicDown() const { return *FPicDown; }
  const TPicture& PicUp() const { return *FPicUp; }
  // Shows a copy of Value at once and keeps a copy as the normal picture.
  void SetPic(const TPicture& Value);
  // Keep a copy; the shown picture does not change.
  void SetPicDown(const TPicture& Value);
  void SetPicUp(const TPicture& Value);
  bool Supported() const { return FSupported; }
  void SetSupported(bool Value) { FSupported = Value; }
  bool Inside() const { return FInside; }
  bool Pressed() const { return FPressed; }

  // Pictures from a stored layout go straight into the owned pictures, not through the setters.
  void SetProperty(const TPropDesc& prop, TLayoutReader& reader) override;

  // These replace the picture control's mouse events of the same names.
  TOnMouseEvent OnMouseDown;
  TOnMouseEvent OnMouseEnter;
  TOnMouseEvent OnMouseLeave;
  TOnMouseEvent OnMouseUp;

 protected:
  void CMMouseEnter(TWMMouse& Msg) override;
  void CMMouseLeave(TWMMouse& Msg) override;
  void WMLButtonDown(TWMMouse& Msg) override;
  void WMLButtonUp(TWMMouse& Msg) override;

 private:
  bool FInside;
  bool FPressed;
  std::unique_ptr<TPicture> FPic;
  std::unique_ptr<TPicture> FPicDown;
  std::unique_ptr<TPicture> FPicUp;
  bool FSupported;
};

}  // namespace korvath
