#include "runtime/win32/Image.h"

#include "runtime/win32/LayoutReader.h"

namespace korvath {

TImage::TImage() {
  FPicture.OnChange = [this] { Invalidate(); };
}

void TImage::Paint(HDC dc) {
  if (const TBitmap* bitmap = FPicture.Bitmap()) bitmap->Draw(dc, 0, 0);
}

void TImage::SetProperty(const TPropDesc& prop, TLayoutReader& reader) {
  const std::string name = prop.Name;
  if (name == "Picture")
    FPicture.Assign(reader.Picture(prop));
  else if (name == "Transparent")
    FTransparent = PropBool(prop);
  else
    TControl::SetProperty(prop, reader);
}

}  // namespace korvath
