#include "runtime/win32/Timer.h"

#include "runtime/win32/LayoutReader.h"

namespace korvath {
namespace {

constexpr UINT_PTR kTimerId = 1;

}  // namespace

TTimer::TTimer() {
  FWindow = std::make_unique<TUtilWindow>([this](UINT message, WPARAM wParam, LPARAM) -> LRESULT {
    if (message == WM_TIMER && wParam == kTimerId && FEnabled && OnTimer) OnTimer(this);
    return 0;
  });
  Restart();
}

void TTimer::SetEnabled(bool enabled) {
  if (FEnabled == enabled) return;
  FEnabled = enabled;
  Restart();
}

void TTimer::SetInterval(unsigned interval) {
  if (FInterval == interval) return;
  FInterval = interval;
  Restart();
}

void TTimer::Restart() {
  KillTimer(FWindow->Handle(), kTimerId);
  if (FEnabled && FInterval > 0) SetTimer(FWindow->Handle(), kTimerId, FInterval, nullptr);
}

void TTimer::SetProperty(const TPropDesc& prop, TLayoutReader& reader) {
  const std::string name = prop.Name;
  if (name == "Enabled")
    SetEnabled(PropBool(prop));
  else if (name == "Interval")
    SetInterval(static_cast<unsigned>(PropInt(prop)));
  else if (name == "OnTimer")
    OnTimer = reader.Handler<TNotifyEvent>(prop);
  else
    TComponent::SetProperty(prop, reader);
}

}  // namespace korvath
