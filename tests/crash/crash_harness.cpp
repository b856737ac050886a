// crash_harness: stops korvath-update at many points of runs that replace files of every size,
// and checks after each stop that every game file is its old or its new version, and after the
// next whole run that the folder is exactly the release. The server is slowed so that the
// points spread over the whole run. Natively the program is killed with SIGKILL; with --wine
// the Windows build is ended by "taskkill /F" in its Wine prefix.
//
// crash_harness --program PATH [--kills N] [--small] [--rate KIB_PER_S] [--seed S] [--wine REPO]
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/crash/ChildProcess.h"
#include "tests/crash/CrashRelease.h"
#include "tests/crash/ThrottledServer.h"

namespace korvath::crash {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Options {
  std::string Program;
  int Kills = 200;
  bool Small = false;
  int64_t RateKiB = 0;  // 0: chosen from the release's size
  uint32_t Seed = 1;
  std::string WineRepo;  // set: run the Windows program through REPO/scripts/wine-run
};

// Where a stop happens: a time after the start, or a delay after the program printed a given
// status line (so that stops also fall into the short unpacking and renaming steps).
struct KillPoint {
  bool AfterLine = false;
  double Seconds = 0;
  size_t Line = 0;
  int DelayMs = 0;
};

class Harness {
 public:
  explicit Harness(const Options& options)
      : FOptions(options),
        FRelease(options.Small),
        FServer(options.RateKiB > 0 ? options.RateKiB * 1024
                                    // About one second of downloading for the whole release.
                                    : std::max<int64_t>(FRelease.PublishedBytes(), 256 * 1024)) {
    FRoot = fs::temp_directory_path() / ("korvath-crash-" + std::to_string(::getpid()));
    FGame = (FRoot / "game").string();
    fs::create_directories(FGame);
    fs::create_directories(FRoot / "config");
    FRelease.Publish(FServer);
  }
  ~Harness() {
    std::error_code ec;
    fs::remove_all(FRoot, ec);
  }
  Harness(const Harness&) = delete;
  Harness& operator=(const Harness&) = delete;

  int Run();

 private:
  std::unique_ptr<ChildProcess> Start() {
    std::vector<std::string> argv{FOptions.Program, "--full-check"};
    if (!FOptions.WineRepo.empty())
      argv.insert(argv.begin(), FOptions.WineRepo + "/scripts/wine-run");
    // Settings live outside the game folder; no proxy stands between the program and loopback.
    const std::map<std::string, std::string> env{{"KORVATH_UPDATE_SERVER", FServer.BaseUrl()},
                                                 {"XDG_CONFIG_HOME", (FRoot / "config").string()},
                                                 {"no_proxy", "127.0.0.1"},
                                                 {"NO_PROXY", "127.0.0.1"}};
    return std::make_unique<ChildProcess>(argv, FGame, env, (FRoot / "stderr.txt").string());
  }
  // Ends the program at once, the way the platform does it by force. False when it had ended
  // by itself before the stop reached it.
  bool Stop(ChildProcess& child) {
    bool stopped = true;
    if (FOptions.WineRepo.empty()) {
      child.Kill(SIGKILL);
    } else {
      const std::string name = fs::path(FOptions.Program).filename().string();
      const std::string command =
          FOptions.WineRepo + "/scripts/wine-run taskkill /F /IM " + name + " >/dev/null 2>&1";
      // taskkill fails when no such process is left to end.
      stopped = std::system(command.c_str()) == 0;
    }
    if (child.Wait(std::chrono::seconds(60)) == -1 && !child.Ended()) {
      ++FForcedAfterTaskkill;
      child.Kill(SIGKILL);
      child.Wait(std::chrono::seconds(10));
    }
    return FOptions.WineRepo.empty() ? child.EndedBySignal(SIGKILL) : stopped;
  }
  // A whole run from the current state; false (with the reasons printed) when it did not end
  // well or did not leave exactly the release.
  bool Converge(const std::string& when);
  // One stopped run; false when it ended before the point was reached.
  bool KillAt(const KillPoint& point, std::string& phase);
  void Violation(const std::string& what) {
    ++FViolations;
    std::printf("VIOLATION: %s\n", what.c_str());
  }

  Options FOptions;
  CrashRelease FRelease;
  ThrottledServer FServer;
  fs::path FRoot;
  std::string FGame;
  double FRunSeconds = 0;
  std::vector<std::string> FRunLines;
  std::vector<double> FRunLineSeconds;
  // The lines that start the steps that write: downloading and unpacking a file.
  std::vector<size_t> FStepLines;
  int FViolations = 0;
  int FConvergenceFailures = 0;
  int FForcedAfterTaskkill = 0;
};

bool Harness::Converge(const std::string& when) {
  const auto child = Start();
  const int status = child->Wait(std::chrono::seconds(600));
  std::vector<std::string> problems = FRelease.CheckConverged(FGame);
  if (status != 0) problems.insert(problems.begin(), "exit status " + std::to_string(status));
  for (const std::string& p : problems)
    std::printf("NOT CONVERGED (%s): %s\n", when.c_str(), p.c_str());
  if (!problems.empty()) ++FConvergenceFailures;
  return problems.empty();
}

bool Harness::KillAt(const KillPoint& point, std::string& phase) {
  const auto child = Start();
  const auto start = Clock::now();
  bool reached = true;
  if (point.AfterLine) {
    // Status lines are flushed as they are shown; the stop follows the chosen one.
    const auto limit = start + std::chrono::seconds(600);
    while (child->Lines().size() <= point.Line && (reached = child->WaitForLine(limit))) {
    }
    if (reached) reached = child->RunUntil(Clock::now() + std::chrono::milliseconds(point.DelayMs));
  } else {
    reached = child->RunUntil(start +
                              std::chrono::microseconds(static_cast<int64_t>(point.Seconds * 1e6)));
  }
  if (!reached || child->Ended()) {
    child->Wait(std::chrono::seconds(600));
    return false;
  }
  if (!Stop(*child)) return false;
  const auto& lines = child->Lines();
  phase = lines.empty() ? "(nothing shown yet)" : lines.back();
  return true;
}

// The kind of step a status line announces, for the summary.
std::string PhaseOf(const std::string& line) {
  for (const char* prefix :
       {"Downloading updates list", "Checking files", "Checking ", "Downloading ", "Extracting "})
    if (line.rfind(prefix, 0) == 0)
      return prefix == std::string("Checking files") ? "Checking " : prefix;
  return line;
}

int Harness::Run() {
  const auto begin = Clock::now();
  std::printf("crash harness: %zu files, %lld bytes published, %s\n", FRelease.Files().size(),
              static_cast<long long>(FRelease.PublishedBytes()),
              FOptions.WineRepo.empty() ? "SIGKILL" : "taskkill /F under Wine");

  // Two undisturbed runs first: how long a run lasts (the faster one counts), which lines it
  // shows and when.
  for (int calibration = 0; calibration < 2; ++calibration) {
    FRelease.PlantOld(FGame);
    const auto t0 = Clock::now();
    const auto child = Start();
    const int status = child->Wait(std::chrono::seconds(600));
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    const std::vector<std::string> problems = FRelease.CheckConverged(FGame);
    if (status != 0 || !problems.empty()) {
      std::printf("the undisturbed run failed (exit status %d):\n", status);
      for (const std::string& p : problems) std::printf("  %s\n", p.c_str());
      return 2;
    }
    if (calibration == 0 || seconds < FRunSeconds) {
      FRunSeconds = seconds;
      FRunLines = child->Lines();
      FRunLineSeconds = child->LineSeconds();
    }
  }
  for (size_t i = 0; i < FRunLines.size(); ++i)
    if (FRunLines[i].rfind("Downloading ", 0) == 0 || FRunLines[i].rfind("Extracting ", 0) == 0)
      FStepLines.push_back(i);
  std::printf("an undisturbed run takes %.2f s and shows %zu lines\n", FRunSeconds,
              FRunLines.size());

  std::mt19937 random(FOptions.Seed);
  std::map<std::string, int> phases;
  int kills = 0, missed = 0, chained = 0, attempts = 0;
  bool fromKilledState = false;
  const int half = (FOptions.Kills + 1) / 2;
  while (kills < FOptions.Kills && attempts < FOptions.Kills * 3) {
    ++attempts;
    KillPoint point;
    if (kills % 2 == 0) {
      // Evenly over the run, a little shaken so that no two runs stop at the same moment.
      const double slot =
          (kills / 2 + std::uniform_real_distribution<double>(0.1, 0.9)(random)) / half;
      point.Seconds = slot * FRunSeconds * (fromKilledState ? 0.5 : 0.97);
    } else {
      // Somewhere in the step a line starts, up to the moment before the next line: at once,
      // anywhere, or just before the step ends (where a file is put in place).
      point.AfterLine = true;
      const size_t step = static_cast<size_t>(kills / 2) % FStepLines.size();
      point.Line = FStepLines[step];
      const double gap = point.Line + 1 < FRunLineSeconds.size()
                             ? FRunLineSeconds[point.Line + 1] - FRunLineSeconds[point.Line]
                             : FRunSeconds - FRunLineSeconds[point.Line];
      const int shape = (kills / 2) % 4;
      const double share = shape == 0   ? 0.0
                           : shape == 3 ? std::uniform_real_distribution<double>(0.85, 1.0)(random)
                                        : std::uniform_real_distribution<double>(0.0, 1.0)(random);
      point.DelayMs = static_cast<int>(share * gap * 1000);
    }
    if (!fromKilledState) FRelease.PlantOld(FGame);
    std::string phase;
    if (!KillAt(point, phase)) {
      // The run ended before its point; it must have left the release all the same.
      ++missed;

      const std::vector<std::string> problems = FRelease.CheckConverged(FGame);
      for (const std::string& p : problems) Violation("run that ended by itself: " + p);
      fromKilledState = false;
      continue;
    }
    ++kills;
    if (fromKilledState) ++chained;
    ++phases[PhaseOf(phase)];
    for (const std::string& p : FRelease.CheckConsistent(FGame))
      Violation("kill " + std::to_string(kills) + " (" + phase + "): " + p);
    // Every fifth stop is followed by another stopped run from where this one left the folder;
    // every other by a whole run that must bring the folder to the release.
    if (kills % 5 == 3) {
      fromKilledState = true;
    } else {
      fromKilledState = false;
      Converge("after kill " + std::to_string(kills));
    }
    if (kills % 20 == 0) std::printf("  %d kills, %d violations so far\n", kills, FViolations);
    std::fflush(stdout);
  }
  if (fromKilledState) Converge("after the last kill");

  const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
  std::printf(
      "kills: %d (%d after a stopped run; %d runs ended before their point and were checked "
      "whole)\n",
      kills, chained, missed);
  std::printf("kills by the step under way:");
  for (const auto& [name, count] : phases) std::printf(" [%s] %d", name.c_str(), count);
  std::printf("\n");
  if (!FOptions.WineRepo.empty())
    std::printf("processes still alive 60 s after taskkill: %d\n", FForcedAfterTaskkill);
  std::printf("violations: %d\nconvergence failures: %d\nruntime: %.1f s\n", FViolations,
              FConvergenceFailures, seconds);
  const bool pass = FViolations == 0 && FConvergenceFailures == 0 && kills == FOptions.Kills;
  std::printf("result: %s\n", pass ? "PASS" : "FAIL");
  return pass ? 0 : 1;
}

int Usage() {
  std::fprintf(stderr,
               "usage: crash_harness --program PATH [--kills N] [--small] [--rate KIB_PER_S] "
               "[--seed S] [--wine REPO]\n");
  return 2;
}

}  // namespace
}  // namespace korvath::crash

int main(int argc, char** argv) {
  using namespace korvath::crash;
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--program" && hasValue)
      options.Program = argv[++i];
    else if (arg == "--kills" && hasValue)
      options.Kills = std::atoi(argv[++i]);
    else if (arg == "--rate" && hasValue)
      options.RateKiB = std::atoll(argv[++i]);
    else if (arg == "--seed" && hasValue)
      options.Seed = static_cast<uint32_t>(std::atol(argv[++i]));
    else if (arg == "--wine" && hasValue)
      options.WineRepo = argv[++i];
    else if (arg == "--small")
      options.Small = true;
    else
      return Usage();
  }
  if (options.Program.empty() || options.Kills < 1) return Usage();
  // The program starts in the game folder: relative paths would no longer lead to it.
  options.Program = std::filesystem::absolute(options.Program).string();
  if (!options.WineRepo.empty())
    options.WineRepo = std::filesystem::absolute(options.WineRepo).string();
  try {
    Harness harness(options);
    return harness.Run();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "crash_harness: %s\n", e.what());
    return 2;
  }
}
