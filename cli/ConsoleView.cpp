#include "cli/ConsoleView.h"

#include <algorithm>
#include <chrono>

#include "runtime/SettingsStore.h"
#include "runtime/SysUtils.h"
#include "transfer/Misc.h"

namespace korvath {

std::string FormatBytes(int64_t bytes) {
  if (bytes < 1024) return std::to_string(bytes) + " B";
  const char* units[] = {"KiB", "MiB", "GiB"};
  double value = static_cast<double>(bytes) / 1024.0;
  int unit = 0;
  while (value >= 1024.0 && unit < 2) {
    value /= 1024.0;
    ++unit;
  }
  return Format("%.1f %s", value, units[unit]);
}

TConsoleView::TConsoleView(std::FILE* out, std::FILE* err, bool liveProgress)
    : FOut(out), FErr(err), FLive(liveProgress) {}

void TConsoleView::ShowStatus(const std::string& status) {
  FLastStatus = status;
  if (status.empty()) return;
  ClearProgress();
  std::fprintf(FOut, "%s\n", ConsoleEscaped(status).c_str());
  std::fflush(FOut);
  DrawProgress();
}

void TConsoleView::SetGaugeMax(int32_t gaugeIndex, int32_t maximum) {
  (gaugeIndex == kFileGauge ? FFile : FTotal).Maximum = maximum;
  DrawProgress();
}

void TConsoleView::SetFileProgress(int32_t position) {
  FFile.Position = position;
  DrawProgress();
}

void TConsoleView::SetTotalProgress(int32_t position) {
  FTotal.Position = position;
  DrawProgress();
}

void TConsoleView::StoreRevision(int32_t revision) {
  OpenSettingsStore()->WriteInteger(kSettingsSection, kAtRevision, revision);
}

void TConsoleView::EnableButtons() {
  FEnded = true;
  ClearProgress();
}

void TConsoleView::FileFailed(const std::string& path, const std::string& reason) {
  ClearProgress();
  std::fprintf(FErr, "korvath-update: %s: %s\n", ConsoleEscaped(path).c_str(),
               ConsoleEscaped(reason).c_str());
  std::fflush(FErr);
}

void TConsoleView::RunFailed(const std::string& message) {
  ClearProgress();
  std::fprintf(FErr, "korvath-update: %s\n", ConsoleEscaped(message).c_str());
  std::fflush(FErr);
}

void TConsoleView::PatchGaveWay(const std::string& path, const std::string& reason) {
  ClearProgress();
  std::fprintf(FErr, "korvath-update: %s: patch not used (%s); the whole file is fetched\n",
               ConsoleEscaped(path).c_str(), ConsoleEscaped(reason).c_str());
  std::fflush(FErr);
}

void TConsoleView::CopyGaveWay(const std::string& path, const std::string& format,
                               const std::string& reason) {
  ClearProgress();
  std::fprintf(FErr, "korvath-update: %s: %s copy not used (%s); the bzip2 copy is fetched\n",
               ConsoleEscaped(path).c_str(), format.c_str(), ConsoleEscaped(reason).c_str());
  std::fflush(FErr);
}

void TConsoleView::Notice(const std::string& message) {
  ClearProgress();
  std::fprintf(FErr, "korvath-update: warning: %s\n", ConsoleEscaped(message).c_str());
  std::fflush(FErr);
}

void TConsoleView::DrawProgress() {
  if (!FLive || FEnded) return;
  // Downloads report every kilobyte; a terminal needs far fewer redraws than that.
  const auto now = std::chrono::steady_clock::now();
  if (FProgressShown && now - FLastDraw < std::chrono::milliseconds(100)) return;
  FLastDraw = now;
  // The gauges keep their positions inside 0..maximum, as the window's do.
  auto percent = [](const TGauge& g) {
    const int64_t position = std::clamp<int64_t>(g.Position, 0, std::max(g.Maximum, 0));
    return g.Maximum <= 0 ? 0 : static_cast<int>(position * 100 / g.Maximum);
  };
  const std::string line = Format("  file %3d%% %s / %s   total %3d%% (%d of %d)", percent(FFile),
                                  FormatBytes(std::max(FFile.Position, 0)).c_str(),
                                  FormatBytes(std::max(FFile.Maximum, 0)).c_str(), percent(FTotal),
                                  std::max(FTotal.Position, 0), std::max(FTotal.Maximum, 0));
  std::fprintf(FOut, "\r\033[K%s", line.c_str());
  std::fflush(FOut);
  FProgressShown = true;
}

void TConsoleView::ClearProgress() {
  if (!FProgressShown) return;
  FLastDraw = {};
  std::fprintf(FOut, "\r\033[K");
  FProgressShown = false;
}

}  // namespace korvath
