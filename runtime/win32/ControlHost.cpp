#include "runtime/win32/ControlHost.h"

namespace korvath {
namespace {

// Constant-initialised, so that it is there before any object of static storage registers.
IControlHost* Host = nullptr;

}  // namespace

IControlHost& ControlHost() {
  return *Host;
}

void SetControlHost(IControlHost* host) {
  Host = host;
}

}  // namespace korvath
