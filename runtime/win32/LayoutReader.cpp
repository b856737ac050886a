#include "runtime/win32/LayoutReader.h"

namespace korvath {

TPicture TLayoutReader::Picture(const TPropDesc& prop) {
  const std::string resource = PropPicture(prop).Resource;
  auto& bitmap = FPictures[resource];
  if (!bitmap) bitmap = TBitmap::FromResource(FModule, resource);
  return TPicture(bitmap);
}

}  // namespace korvath
