#include "runtime/win32/UtilWindow.h"

#include "runtime/SysUtils.h"
#include "runtime/win32/ControlHost.h"

namespace korvath {
namespace {

constexpr const char* kUtilClass = "KorvathUtilWindow";

}  // namespace

TUtilWindow::TUtilWindow(THandler handler) : FHandler(std::move(handler)) {
  static const bool registered = [] {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &TUtilWindow::WindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kUtilClass;
    return RegisterClassExA(&windowClass) != 0;
  }();
  if (registered)
    FHandle = CreateWindowExA(0, kUtilClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
  if (FHandle == nullptr) throw Exception("The toolkit's message window cannot be created");
  SetWindowLongPtrA(FHandle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

TUtilWindow::~TUtilWindow() {
  SetWindowLongPtrA(FHandle, GWLP_USERDATA, 0);
  DestroyWindow(FHandle);
}

LRESULT CALLBACK TUtilWindow::WindowProc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* window = reinterpret_cast<TUtilWindow*>(GetWindowLongPtrA(handle, GWLP_USERDATA));
  // Only timer ticks and the toolkit's own messages are the owner's business.
  if (window == nullptr || (message != WM_TIMER && message < WM_APP))
    return DefWindowProcA(handle, message, wParam, lParam);
  try {
    return window->FHandler(message, wParam, lParam);
  } catch (const std::exception& error) {
    ControlHost().HandleException(error);
  }
  return 0;
}

}  // namespace korvath
