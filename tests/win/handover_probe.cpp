// A stand-in for the window in the self-update's hand-over test: one update run of the folder
// it is started in, as the window runs it, against the server named by KORVATH_UPDATE_SERVER.
// It writes its own digest and the run's final status to "probe.log". When "probe.wait" holds
// its own digest (the version the test started), it then keeps that file open and waits to be
// ended by the script, as the window would still be running.
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "engine/GetFilesThr.h"
#include "platform/File.h"
#include "platform/Program.h"
#include "transfer/md5.h"

namespace {

using namespace korvath;

class TProbeView : public IRunView {
 public:
  std::string Status;
  void ShowStatus(const std::string& status) override { Status = status; }
  void SetGaugeMax(int32_t, int32_t) override {}
  void SetFileProgress(int32_t) override {}
  void SetTotalProgress(int32_t) override {}
  void StoreRevision(int32_t) override {}
  void DisableButtons() override {}
  void EnableButtons() override {}
};

void Log(const std::string& line) {
  std::ofstream("probe.log", std::ios::app | std::ios::binary) << line << "\n";
}

}  // namespace

int main() {
  const char* server = std::getenv("KORVATH_UPDATE_SERVER");
  if (server == nullptr) return 2;
  TDigestBytes digest;
  FileDigest(platform::ProgramFilePath(), digest);
  const std::string own = DigestToHex(digest);

  TProbeView view;
  GFilesThread worker(view, TDirectSynchronizer::Instance());
  worker.FServer = server;
  worker.FScriptedSelfUpdate = true;
  worker.Resume();
  worker.WaitFor();
  Log(own + " " + view.Status);

  platform::File wait;
  if (platform::File::Open("probe.wait", platform::Access::Read, platform::Share::None,
                           platform::Disposition::OpenExisting, wait) != 0)
    return 0;
  std::string text(32, '\0');
  size_t got = 0;
  if (wait.Read(text.data(), text.size(), got) != 0 || text != own) return 0;
  std::this_thread::sleep_for(std::chrono::seconds(20));
  Log("not stopped");
  return 0;
}
