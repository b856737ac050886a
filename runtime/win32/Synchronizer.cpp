#include "runtime/win32/Synchronizer.h"

#include <exception>

#include "runtime/SysUtils.h"

namespace korvath {
namespace {

constexpr UINT kRunCall = WM_APP + 1;

struct TCall {
  const std::function<void()>* Method;
  std::exception_ptr Error;
  bool Ran = false;
};

}  // namespace

TWindowSynchronizer::TWindowSynchronizer()
    : FThreadId(GetCurrentThreadId()), FWindow([](UINT message, WPARAM, LPARAM lParam) -> LRESULT {
        if (message != kRunCall) return 0;
        auto* call = reinterpret_cast<TCall*>(lParam);
        try {
          (*call->Method)();
        } catch (...) {
          call->Error = std::current_exception();
        }
        call->Ran = true;
        return 1;
      }) {}

void TWindowSynchronizer::Synchronize(const std::function<void()>& method) {
  if (GetCurrentThreadId() == FThreadId) {
    method();
    return;
  }
  TCall call{&method, nullptr, false};
  // SendMessage waits until the window thread has taken the call, which it does whenever it
  // looks at its queue, also inside a message box.
  SendMessageA(FWindow.Handle(), kRunCall, 0, reinterpret_cast<LPARAM>(&call));
  if (!call.Ran) throw Exception("The window is gone");
  if (call.Error) std::rethrow_exception(call.Error);
}

}  // namespace korvath
