#include "runtime/Thread.h"

namespace korvath {

TDirectSynchronizer& TDirectSynchronizer::Instance() {
  static TDirectSynchronizer instance;
  return instance;
}

TThread::~TThread() {
  if (FThread.joinable()) {
    if (FThread.get_id() == std::this_thread::get_id())
      FThread.detach();  // freeing itself at the end of its own Execute
    else
      FThread.join();
  }
}

void TThread::Resume() {
  FThread = std::thread([this] {
    // An error that escapes Execute ends the thread silently, as the run-time's threads do;
    // the run itself decides what a failure shows.
    try {
      Execute();
    } catch (...) {
    }
    if (FreeOnTerminate) delete this;
  });
}

void TThread::WaitFor() {
  if (FThread.joinable()) FThread.join();
}

}  // namespace korvath
