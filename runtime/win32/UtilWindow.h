// A hidden message-only window for the toolkit's own traffic: timer ticks and calls that worker
// threads hand to the window thread.
#pragma once

#include <windows.h>

#include <functional>

namespace korvath {

class TUtilWindow {
 public:
  using THandler = std::function<LRESULT(UINT message, WPARAM wParam, LPARAM lParam)>;
  explicit TUtilWindow(THandler handler);
  ~TUtilWindow();
  TUtilWindow(const TUtilWindow&) = delete;
  TUtilWindow& operator=(const TUtilWindow&) = delete;
  HWND Handle() const { return FHandle; }

 private:
  static LRESULT CALLBACK WindowProc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam);
  THandler FHandler;
  HWND FHandle = nullptr;
};

}  // namespace korvath
