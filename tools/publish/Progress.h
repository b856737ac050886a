// korvath-publish build's progress line on a terminal: compressing a large release takes
// minutes, and an admin wants to see that it moves and when it will be done.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

namespace korvath::publish {

struct TProgressCount {
  uint64_t FilesDone = 0, FilesTotal = 0;
  uint64_t BytesDone = 0, BytesTotal = 0;
  double Seconds = 0;               // since the work started
  const char* Verb = "compressed";  // what is done to the files
};

// "compressed 3/10 files, 1.5 GiB/4.0 GiB, 120.0 MiB/s, 0:21 left"; the rate and the time left
// only once some bytes are done.
std::string ProgressLine(const TProgressCount& count);

// One line on Out, redrawn in place as files finish (a few times a second at most) and erased
// when the progress goes, so that what follows starts on a clean line. Prints nothing at all
// when Out is not a terminal. Files may finish on any thread.
class TProgress {
 public:
  TProgress(std::FILE* out, uint64_t files, uint64_t bytes, const char* verb = "compressed");
  ~TProgress();
  TProgress(const TProgress&) = delete;
  TProgress& operator=(const TProgress&) = delete;

  void FileDone(uint64_t bytes);

 private:
  void Draw();

  std::FILE* const FOut;
  const bool FShown;
  const std::chrono::steady_clock::time_point FStart = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point FDrawn;
  std::mutex FMutex;
  TProgressCount FCount;
};

}  // namespace korvath::publish
