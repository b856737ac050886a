// The console's side of an update run: status lines on standard output, a live progress line
// for the two gauges when the output is a terminal, failures on standard error, and the
// revision stored in the folder's settings. Statuses, paths and reasons carry text from the
// update list and the server, so their control bytes are shown escaped ("\x1b" for ESC).
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/GetFilesThr.h"
#include "engine/RunView.h"

namespace korvath {

class TConsoleView final : public IRunView, public IRunLog {
 public:
  TConsoleView(std::FILE* out, std::FILE* err, bool liveProgress);

  void ShowStatus(const std::string& status) override;
  void SetGaugeMax(int32_t gaugeIndex, int32_t maximum) override;
  void SetFileProgress(int32_t position) override;
  void SetTotalProgress(int32_t position) override;
  void StoreRevision(int32_t revision) override;
  void DisableButtons() override {}
  void EnableButtons() override;

  void FileFailed(const std::string& path, const std::string& reason) override;
  void RunFailed(const std::string& message) override;
  void PatchGaveWay(const std::string& path, const std::string& reason) override;
  void CopyGaveWay(const std::string& path, const std::string& format,
                   const std::string& reason) override;
  void Notice(const std::string& message) override;

  // The status line's last text: the run's final status once it ended.
  const std::string& LastStatus() const { return FLastStatus; }
  bool Ended() const { return FEnded; }

 private:
  struct TGauge {
    int32_t Maximum = 100;
    int32_t Position = 0;
  };
  void DrawProgress();
  void ClearProgress();

  std::FILE* FOut;
  std::FILE* FErr;
  bool FLive;
  bool FProgressShown = false;
  std::chrono::steady_clock::time_point FLastDraw{};
  std::string FLastStatus;
  bool FEnded = false;
  TGauge FFile, FTotal;
};

// "12.3 KiB" and the like, for progress lines.
std::string FormatBytes(int64_t bytes);

}  // namespace korvath
