// Reading a stored layout into components: the handlers a form publishes by name, and what a
// component takes from the layout while its properties are set (pictures from the program's
// resources, handlers by name).
#pragma once

#include <windows.h>

#include <any>
#include <map>
#include <memory>
#include <string>

#include "runtime/win32/Graphics.h"
#include "runtime/win32/Layout.h"

namespace korvath {

// A form's handlers by name, for the layout's event properties.
class TMethodTable {
 public:
  template <class Event>
  void Publish(const std::string& name, Event handler) {
    FMethods[name] = std::any(std::move(handler));
  }
  // The named handler as the event it must fit; raises ELayoutError otherwise.
  template <class Event>
  Event Method(const std::string& name) const {
    const auto it = FMethods.find(name);
    if (it == FMethods.end()) throw ELayoutError("The form has no handler " + name);
    if (const Event* handler = std::any_cast<Event>(&it->second)) return *handler;
    throw ELayoutError("The handler " + name + " does not fit the event");
  }

 private:
  std::map<std::string, std::any> FMethods;
};

class TLayoutReader {
 public:
  TLayoutReader(const TMethodTable& methods, HINSTANCE module)
      : FMethods(methods), FModule(module) {}
  TPicture Picture(const TPropDesc& prop);
  template <class Event>
  Event Handler(const TPropDesc& prop) {
    return FMethods.Method<Event>(PropHandler(prop).Method);
  }

 private:
  const TMethodTable& FMethods;
  HINSTANCE FModule;
  std::map<std::string, std::shared_ptr<const TBitmap>> FPictures;  // one bitmap per resource
};

}  // namespace korvath
