#include "runtime/win32/Layout.h"

namespace korvath {
namespace {

template <class T>
const T& Expect(const TPropDesc& prop, const char* kind) {
  if (const T* value = std::get_if<T>(&prop.Value)) return *value;
  throw ELayoutError(std::string("The property ") + prop.Name + " must be " + kind);
}

}  // namespace

int PropInt(const TPropDesc& prop) {
  return Expect<int>(prop, "a number");
}
bool PropBool(const TPropDesc& prop) {
  return Expect<bool>(prop, "true or false");
}
std::string PropText(const TPropDesc& prop) {
  return Expect<TText>(prop, "a text").Value;
}
const TPictureRef& PropPicture(const TPropDesc& prop) {
  return Expect<TPictureRef>(prop, "a picture");
}
const THandlerRef& PropHandler(const TPropDesc& prop) {
  return Expect<THandlerRef>(prop, "a handler");
}

}  // namespace korvath
