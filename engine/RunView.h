// What an update run may change in the window that owns it. The worker reaches these only
// through its synchronized calls, so they always run on the owner's thread.
#pragma once

#include <cstdint>
#include <string>

namespace korvath {

// Gauge numbers of SetGaugeMax.
inline constexpr int32_t kFileGauge = 0;   // Gauge1, "File Download"
inline constexpr int32_t kTotalGauge = 1;  // Gauge2, "Total Progress"

class IRunView {
 public:
  virtual ~IRunView() = default;
  virtual void ShowStatus(const std::string& status) = 0;
  virtual void SetGaugeMax(int32_t gaugeIndex, int32_t maximum) = 0;
  virtual void SetFileProgress(int32_t position) = 0;
  virtual void SetTotalProgress(int32_t position) = 0;
  virtual void StoreRevision(int32_t revision) = 0;
  virtual void DisableButtons() = 0;
  virtual void EnableButtons() = 0;
};

}  // namespace korvath
