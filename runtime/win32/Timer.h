// A timer of the window toolkit.
#pragma once

#include <windows.h>

#include <memory>

#include "runtime/win32/Controls.h"
#include "runtime/win32/UtilWindow.h"

namespace korvath {

// Calls OnTimer every Interval milliseconds while enabled. It starts counting when it is made.
class TTimer : public TComponent {
 public:
  TTimer();
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool enabled);
  unsigned Interval() const { return FInterval; }
  void SetInterval(unsigned interval);

  void SetProperty(const TPropDesc& prop, TLayoutReader& reader) override;

  TNotifyEvent OnTimer;

 private:
  void Restart();
  bool FEnabled = true;
  unsigned FInterval = 1000;
  std::unique_ptr<TUtilWindow> FWindow;
};

}  // namespace korvath
