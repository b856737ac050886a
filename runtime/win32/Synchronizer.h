// The window thread's side of TThread::Synchronize: a worker hands a call to the window thread
// and waits until it has run there, between two messages of the window's loop.
#pragma once

#include <windows.h>

#include "runtime/Thread.h"
#include "runtime/win32/UtilWindow.h"

namespace korvath {

class TWindowSynchronizer final : public ISynchronizer {
 public:
  // Made on the window thread, whose message loop then runs the calls.
  TWindowSynchronizer();
  // On the window thread the call runs at once. From a worker it runs on the window thread
  // while the worker waits; an error it raises goes back to the worker, and so does an error
  // when the call could not be handed over at all.
  void Synchronize(const std::function<void()>& method) override;

 private:
  DWORD FThreadId;
  TUtilWindow FWindow;
};

}  // namespace korvath
