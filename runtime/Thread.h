// A thread class in the run-time's manner: created suspended, one overridden Execute, an
// optional free-on-terminate, and Synchronize, which runs a call on the owner's thread while
// the worker waits.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
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

// The owner's side of Synchronize for a thread that has no window: calls from workers queue up
// and run when the owner processes them. An error raised by a call goes back to the worker.
class TCallQueue final : public ISynchronizer {
 public:
  TCallQueue() : FOwner(std::this_thread::get_id()) {}
  void Synchronize(const std::function<void()>& method) override;
  // Runs queued calls on the owner's thread until Done holds; Done is asked at least every
  // few milliseconds.
  void ProcessUntil(const std::function<bool()>& done);

 private:
  struct TCall {
    const std::function<void()>* Method;
    bool Ran = false;
    std::exception_ptr Error;
  };
  std::thread::id FOwner;
  std::mutex FLock;
  std::condition_variable FChanged;
  std::deque<TCall*> FCalls;
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
  // True once Execute has returned.
  bool Finished() const { return FFinished; }

  bool FreeOnTerminate = false;

 protected:
  virtual void Execute() = 0;
  bool Terminated() const { return FTerminated; }
  void Synchronize(const std::function<void()>& method) { FOwner.Synchronize(method); }

 private:
  ISynchronizer& FOwner;
  std::thread FThread;
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FFinished{false};
};

}  // namespace korvath
