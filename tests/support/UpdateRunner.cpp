#include "tests/support/UpdateRunner.h"

#include "tests/support/RecordingView.h"

namespace korvath::test {

RunOutcome RunUpdate(const std::string& server,
                     const std::function<void(GFilesThread&)>& configure) {
  RecordingView view;
  RecordingLog log;
  GFilesThread worker(view, TDirectSynchronizer::Instance(), &log);
  worker.FServer = server;
  if (configure) configure(worker);
  worker.Resume();
  worker.WaitFor();
  RunOutcome outcome{"", view.Calls, log.Files, log.Runs, log.Notices, log.Patches, log.Copies};
  const auto statuses = view.Only("status:");
  if (!statuses.empty()) outcome.Status = statuses.back().substr(7);
  return outcome;
}

}  // namespace korvath::test
