#include "tools/publish/Progress.h"

#include <cmath>

#include "platform/Terminal.h"
#include "runtime/SysUtils.h"

namespace korvath::publish {
namespace {

constexpr auto kRedrawEvery = std::chrono::milliseconds(250);

std::string Bytes(double bytes) {
  static const char* const kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB"};
  size_t unit = 0;
  for (; bytes >= 1024 && unit + 1 < std::size(kUnits); ++unit) bytes /= 1024;
  return unit == 0 ? Format("%.0f B", bytes) : Format("%.1f %s", bytes, kUnits[unit]);
}

std::string Duration(double seconds) {
  const long long whole = std::llround(seconds);
  if (whole >= 3600) return Format("%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
  return Format("%lld:%02lld", whole / 60, whole % 60);
}

}  // namespace

std::string ProgressLine(const TProgressCount& count) {
  std::string line =
      Format("%s %llu/%llu files, ", count.Verb, static_cast<unsigned long long>(count.FilesDone),
             static_cast<unsigned long long>(count.FilesTotal)) +
      Bytes(static_cast<double>(count.BytesDone)) + "/" +
      Bytes(static_cast<double>(count.BytesTotal));
  if (count.BytesDone == 0 || count.Seconds <= 0) return line;
  const double rate = static_cast<double>(count.BytesDone) / count.Seconds;
  const double left = static_cast<double>(count.BytesTotal - count.BytesDone) / rate;
  return line + ", " + Bytes(rate) + "/s, " + Duration(left) + " left";
}

TProgress::TProgress(std::FILE* out, uint64_t files, uint64_t bytes, const char* verb)
    : FOut(out), FShown(platform::IsTerminal(out)) {
  FCount.Verb = verb;
  FCount.FilesTotal = files;
  FCount.BytesTotal = bytes;
  if (FShown) Draw();
}

TProgress::~TProgress() {
  if (!FShown) return;
  std::fputs("\r\x1b[K", FOut);
  std::fflush(FOut);
}

void TProgress::FileDone(uint64_t bytes) {
  std::lock_guard lock(FMutex);
  ++FCount.FilesDone;
  FCount.BytesDone += bytes;
  if (FShown && (std::chrono::steady_clock::now() - FDrawn >= kRedrawEvery ||
                 FCount.FilesDone == FCount.FilesTotal))
    Draw();
}

void TProgress::Draw() {
  FDrawn = std::chrono::steady_clock::now();
  FCount.Seconds = std::chrono::duration<double>(FDrawn - FStart).count();
  std::fprintf(FOut, "\r%s\x1b[K", ProgressLine(FCount).c_str());
  std::fflush(FOut);
}

}  // namespace korvath::publish
