// Makes components by class name while a layout is read. The toolkit's own classes are always
// known; others (the image button) are registered by the program.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "runtime/win32/Controls.h"

namespace korvath {

using TComponentFactory = std::function<std::unique_ptr<TComponent>()>;
void RegisterComponentClass(const std::string& className, TComponentFactory factory);
template <class T>
void RegisterComponentClass(const std::string& className) {
  RegisterComponentClass(className, [] { return std::make_unique<T>(); });
}

// The factory of the class; raises ELayoutError for a class nobody registered.
const TComponentFactory& FindComponentClass(const std::string& className);

}  // namespace korvath
