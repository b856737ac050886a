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
    if (FreeOnTerminate) {
      delete this;
      return;
    }
    FFinished = true;
  });
}

void TCallQueue::Synchronize(const std::function<void()>& method) {
  if (std::this_thread::get_id() == FOwner) {
    method();
    return;
  }
  TCall call{&method, false, nullptr};
  std::unique_lock lock(FLock);
  FCalls.push_back(&call);
  FChanged.notify_all();
  FChanged.wait(lock, [&] { return call.Ran; });
  if (call.Error) std::rethrow_exception(call.Error);
}

void TCallQueue::ProcessUntil(const std::function<bool()>& done) {
  std::unique_lock lock(FLock);
  while (true) {
    while (!FCalls.empty()) {
      TCall* call = FCalls.front();
      FCalls.pop_front();
      lock.unlock();
      try {
        (*call->Method)();
      } catch (...) {
        call->Error = std::current_exception();
      }
      lock.lock();
      call->Ran = true;
      FChanged.notify_all();
    }
    lock.unlock();
    if (done()) return;
    lock.lock();
    FChanged.wait_for(lock, std::chrono::milliseconds(20), [&] { return !FCalls.empty(); });
  }
}

void TThread::WaitFor() {
  if (FThread.joinable()) FThread.join();
}

}  // namespace korvath
