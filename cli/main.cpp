// korvath-update: one update run of the game folder it is started in, on the console; the
// same run the launcher window starts, against the same settings.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "cli/ConsoleView.h"
#include "engine/Addresses.h"
#include "engine/GetFilesThr.h"
#include "platform/File.h"
#include "platform/RunGuard.h"
#include "platform/Terminal.h"
#include "runtime/SettingsStore.h"
#include "transfer/Misc.h"

namespace korvath {
namespace {

enum ExitStatus { kExitOk = 0, kExitFailed = 1, kExitUsage = 2, kExitBusy = 3 };

int RunUpdate(const std::string& server, bool fullCheck, unsigned connections) {
  const std::string folder = platform::GetCurrentDir();
  platform::RunGuard guard;
  if (!platform::RunGuard::TryAcquire(folder, guard)) {
    std::fprintf(
        stderr,
        "korvath-update: another update run is active in %s; try again when it has ended.\n",
        ConsoleEscaped(folder).c_str());
    return kExitBusy;
  }
  int32_t revision = 0, backup = 0;
  {
    auto store = OpenSettingsStore();
    backup = store->ReadInteger(kSettingsSection, kCreateBackup, 0);
    revision = store->ReadInteger(kSettingsSection, kAtRevision, 0);
  }
  TConsoleView view(stdout, stderr, platform::IsTerminal(stdout));
  TCallQueue owner;
  GFilesThread worker(view, owner, &view);
  worker.FServer = server;
  worker.FFullCheck = fullCheck;
  worker.FConnections = connections;
  worker.FCreateBackup = backup;
  worker.FRevision = revision;
  worker.Resume();
  owner.ProcessUntil([&] { return worker.Finished(); });
  worker.WaitFor();
  return worker.Outcome().Failed() ? kExitFailed : kExitOk;
}

// Every value a run keeps in the folder's settings, each on a line of its own.
int ShowSettings() {
  auto store = OpenSettingsStore();
  for (const char* name : {kAtRevision, kCreateBackup, kBackupRevision})
    std::printf("%s=%d\n", name, store->ReadInteger(kSettingsSection, name, 0));
  std::printf("%s=%s\n", kListDigest,
              ConsoleEscaped(store->ReadString(kSettingsSection, kListDigest, "")).c_str());
  std::printf("%s=%d\n", kVerifiedRevision,
              store->ReadInteger(kSettingsSection, kVerifiedRevision, 0));
  return kExitOk;
}

int SetBackup(int value) {
  OpenSettingsStore()->WriteInteger(kSettingsSection, kCreateBackup, value);
  return kExitOk;
}

}  // namespace
}  // namespace korvath

int main(int argc, char** argv) {
  using namespace korvath;
  CLI::App app{
      "Brings the Korvath game folder it is started in up to date from the update server."};
  app.name("korvath-update");
  bool fullCheck = false, showSettings = false;
  int setBackup = -1;
  std::string server = DefaultUpdateServer();
  app.add_flag("--full-check", fullCheck, "Check every listed file, not only the critical ones");
  auto* show =
      app.add_flag("--show-settings", showSettings, "Print the values this folder's runs keep");
  auto* backup =
      app.add_option("--set-backup", setBackup, "Keep backups of replaced files (1) or not (0)")
          ->check(CLI::IsMember({0, 1}));
  app.add_option("--server", server, "Base address of the update server")->capture_default_str();
  unsigned connections = kDefaultConnections;
  app.add_option("--connections", connections,
                 "Game files fetched at once, each over a connection of its own")
      ->check(CLI::Range(1u, kMaxConnections))
      ->capture_default_str();
  show->excludes(backup);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int status = app.exit(e);
    return status == 0 ? kExitOk : kExitUsage;
  }
  try {
    if (showSettings) return ShowSettings();
    if (setBackup >= 0) return SetBackup(setBackup);
    return RunUpdate(server, fullCheck, connections);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "korvath-update: %s\n", ConsoleEscaped(e.what()).c_str());
    return kExitFailed;
  }
}
