// A thread class in the run-time's manner: created suspended, one overridden Execute, an
// optional free-on-terminate, and Synchronize, which runs a call on the owner's thread while
// the worker waits.
#pragma once

#include <functional>
#include <memory>
#include <thread>

namespace korvath {

// Runs a call on the owning thread (the window's, or the console's) and returns when it ran.
class ISynchronizer {
 public:
  virtual ~ISynchronizer() = default;
  virtual void Synchronize(const std::function<void()>& method) = 0;
};

// Runs the call at once on the calling thread; for owners that only wait for the run.
class TDirectSynchronizer final : public ISynchronizer {
 public:
  void Synchronize(const std::function<void()>& method) override { method(); }
  static TDirectSynchronizer& Instance();
};

class TThread {
 public:
  explicit TThread(ISynchronizer& owner) : FOwner(owner) {}
  virtual ~TThread();
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  // Starts Execute on a new thread. With FreeOnTerminate the object deletes itself when
  // Execute returns (and must then have been created with new).
  void Resume();
  void Terminate() { FTerminated = true; }
  // Waits for Execute to return; not allowed with FreeOnTerminate.
  void WaitFor();

  bool FreeOnTerminate = false;

 protected:
  virtual void Execute() = 0;
  bool Terminated() const { return FTerminated; }
  void Synchronize(const std::function<void()>& method) { FOwner.Synchronize(method); }

 private:
  ISynchronizer& FOwner;
  std::thread FThread;
  volatile bool FTerminated = false;
};

}  // namespace korvath
