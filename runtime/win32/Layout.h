// A stored window description: the form's own properties and its controls in creation order,
// each with its class, parent and properties by name. Pictures name BITMAP resources of the
// program; event properties name the form's published handlers.
#pragma once

#include <string>
#include <variant>
#include <vector>

#include "runtime/SysUtils.h"

namespace korvath {

struct TText {
  const char* Value;
};
struct TPictureRef {
  const char* Resource;
};
struct THandlerRef {
  const char* Method;
};
using TPropValue = std::variant<int, bool, TText, TPictureRef, THandlerRef>;

struct TPropDesc {
  const char* Name;
  TPropValue Value;
};

struct TControlDesc {
  const char* Name;
  const char* ClassName;
  const char* ParentName;  // nullptr: the form itself
  std::vector<TPropDesc> Props;
};

struct TFormDesc {
  std::vector<TPropDesc> Props;
  std::vector<TControlDesc> Controls;
};

// A layout that names an unknown class, parent, property, picture or handler, or gives a
// property a value of the wrong kind.
class ELayoutError : public Exception {
  using Exception::Exception;
};

// The value of a property as the kind it must be; raises ELayoutError otherwise.
int PropInt(const TPropDesc& prop);
bool PropBool(const TPropDesc& prop);
std::string PropText(const TPropDesc& prop);
const TPictureRef& PropPicture(const TPropDesc& prop);
const THandlerRef& PropHandler(const TPropDesc& prop);

}  // namespace korvath
