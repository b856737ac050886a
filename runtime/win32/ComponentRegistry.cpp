#include "runtime/win32/ComponentRegistry.h"

#include <map>

#include "runtime/win32/CheckBox.h"
#include "runtime/win32/ComboBox.h"
#include "runtime/win32/Gauge.h"
#include "runtime/win32/Image.h"
#include "runtime/win32/Label.h"
#include "runtime/win32/Panel.h"
#include "runtime/win32/SpeedButton.h"
#include "runtime/win32/Timer.h"
#include "runtime/win32/WebBrowser.h"

namespace korvath {
namespace {

std::map<std::string, TComponentFactory>& ClassRegistry() {
  static std::map<std::string, TComponentFactory> registry = [] {
    std::map<std::string, TComponentFactory> standard;
    standard["TImage"] = [] { return std::make_unique<TImage>(); };
    standard["TLabel"] = [] { return std::make_unique<TLabel>(); };
    standard["TGauge"] = [] { return std::make_unique<TGauge>(); };
    standard["TPanel"] = [] { return std::make_unique<TPanel>(); };
    standard["TTimer"] = [] { return std::make_unique<TTimer>(); };
    standard["TWebBrowser"] = [] { return std::make_unique<TWebBrowser>(); };
    standard["TSpeedButton"] = [] { return std::make_unique<TSpeedButton>(); };
    standard["TComboBox"] = [] { return std::make_unique<TComboBox>(); };
    standard["TCheckBox"] = [] { return std::make_unique<TCheckBox>(); };
    return standard;
  }();
  return registry;
}

}  // namespace

void RegisterComponentClass(const std::string& className, TComponentFactory factory) {
  ClassRegistry()[className] = std::move(factory);
}

const TComponentFactory& FindComponentClass(const std::string& className) {
  const auto factory = ClassRegistry().find(className);
  if (factory == ClassRegistry().end()) throw ELayoutError("Class " + className + " not found");
  return factory->second;
}

}  // namespace korvath
