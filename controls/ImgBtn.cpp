#include "controls/ImgBtn.h"

#include "runtime/win32/LayoutReader.h"

namespace korvath {

TImgBtn::TImgBtn() : FInside(false), FPressed(false), FSupported(true) {
  FPic = std::make_unique<TPicture>();
  FPicUp = std::make_unique<TPicture>();
  FPicDown = std::make_unique<TPicture>();
}

TImgBtn::~TImgBtn() {
  FPic.reset();
  FPicDown.reset();
  FPicUp.reset();
}

void TImgBtn::SetPic(const TPicture& Value) {
  Picture().Assign(Value);
  FPic->Assign(Value);
}

void TImgBtn::SetPicDown(const TPicture& Value) {
  FPicDown->Assign(Value);
}

void TImgBtn::SetPicUp(const TPicture& Value) {
  FPicUp->Assign(Value);
}

void TImgBtn::SetProperty(const TPropDesc& prop, TLayoutReader& reader) {
  const std::string name = prop.Name;
  if (name == "Pic")
    FPic->Assign(reader.Picture(prop));
  else if (name == "PicDown")
    FPicDown->Assign(reader.Picture(prop));
  else if (name == "PicUp")
    FPicUp->Assign(reader.Picture(prop));
  else if (name == "Supported")
    FSupported = PropBool(prop);
  else if (name == "OnMouseDown")
    OnMouseDown = reader.Handler<TOnMouseEvent>(prop);
  else if (name == "OnMouseEnter")
    OnMouseEnter = reader.Handler<TOnMouseEvent>(prop);
  else if (name == "OnMouseLeave")
    OnMouseLeave = reader.Handler<TOnMouseEvent>(prop);
  else if (name == "OnMouseUp")
    OnMouseUp = reader.Handler<TOnMouseEvent>(prop);
  else
    TImage::SetProperty(prop, reader);
}

void TImgBtn::CMMouseEnter(TWMMouse& Msg) {
  if (!FSupported) return;
  FInside = true;
  Picture().Assign(FPressed ? *FPicDown : *FPicUp);
  if (OnMouseEnter) OnMouseEnter(Msg);
}

void TImgBtn::CMMouseLeave(TWMMouse& Msg) {
  if (!FSupported) return;
  FInside = false;
  Picture().Assign(*FPic);
  if (OnMouseLeave) OnMouseLeave(Msg);
}

void TImgBtn::WMLButtonDown(TWMMouse& Msg) {
  TImage::WMLButtonDown(Msg);
  if (!FSupported) return;
  FPressed = true;
  if (FInside) Picture().Assign(*FPicDown);
  if (OnMouseDown) OnMouseDown(Msg);
}

void TImgBtn::WMLButtonUp(TWMMouse& Msg) {
  // The base handling releases the mouse and fires the click while the pressed picture is
  // still shown.
  TImage::WMLButtonUp(Msg);
  if (!FSupported) return;
  FPressed = false;
  if (FInside) Picture().Assign(*FPicUp);
  if (OnMouseUp) OnMouseUp(Msg);
}

}  // namespace korvath
