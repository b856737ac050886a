#include "runtime/win32/Application.h"

#include <ole2.h>

#include "runtime/win32/Synchronizer.h"

namespace korvath {

TApplication Application;

namespace {

struct TOwnedSearch {
  HWND Owner;
  HWND Found;
};

// Stops at the first visible window of Owner's that takes input.
BOOL CALLBACK FindOwnedInputWindow(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<TOwnedSearch*>(data);
  if (GetWindow(window, GW_OWNER) != search->Owner || !IsWindowVisible(window) ||
      !IsWindowEnabled(window))
    return TRUE;
  search->Found = window;
  return FALSE;
}

}  // namespace

TApplication::TApplication() {
  SetControlHost(this);
  SetFormHost(this);
  CursorPos = [] {
    POINT point{};
    GetCursorPos(&point);
    return point;
  };
}

TApplication::~TApplication() {
  DestroyForms();
  SetFormHost(nullptr);
  SetControlHost(nullptr);
}

void TApplication::Initialize() {
  // The browser control needs the object model's single-threaded apartment on this thread.
  OleInitialize(nullptr);
  Synchronizer();
}

void TApplication::DestroyForms() {
  while (!FForms.empty()) FForms.pop_back();
  FMainForm = nullptr;
}

void TApplication::Run() {
  while (!FTerminated) {
    if (ProcessMessage()) continue;
    TrackMouseControl();
    if (FTerminated) break;
    // Sent messages of worker threads wake the wait too.
    MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
}

void TApplication::Terminate() {
  FTerminated = true;
  PostQuitMessage(0);
}

bool TApplication::ProcessMessage() {
  MSG message;
  if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) return false;
  if (message.message == WM_QUIT) {
    FTerminated = true;
    return true;
  }
  if (message.message == WM_KEYDOWN && message.wParam == VK_TAB && GetKeyState(VK_CONTROL) >= 0 &&
      GetKeyState(VK_MENU) >= 0) {
    auto* form = dynamic_cast<TForm*>(TWinControl::FromHandle(GetAncestor(message.hwnd, GA_ROOT)));
    if (form != nullptr && form->SelectNext(message.hwnd, GetKeyState(VK_SHIFT) < 0)) return true;
  }
  TranslateMessage(&message);
  DispatchMessageA(&message);
  return true;
}

void TApplication::ProcessMessages() {
  while (ProcessMessage()) {
  }
  TrackMouseControl();
}

void TApplication::HandleException(const std::exception& error) {
  ShowException(error.what());
}

void TApplication::ShowException(const std::string& message) {
  const std::string text = WithFullStop(message);
  if (OnException) {
    OnException(text);
    return;
  }
  MessageBoxA(ErrorBoxOwner(), text.c_str(), Title.c_str(), MB_OK | MB_ICONSTOP);
}

HWND TApplication::ErrorBoxOwner() const {
  if (FMainForm == nullptr || !IsWindowVisible(FMainForm->Handle())) return nullptr;
  HWND main = FMainForm->Handle();
  if (IsWindowEnabled(main)) return main;
  // The main form waits for a window of its own. The box goes over that one and keeps it from
  // input while it is up, so a second click on the same button cannot stack a second box.
  TOwnedSearch search{main, nullptr};
  EnumThreadWindows(GetCurrentThreadId(), &FindOwnedInputWindow, reinterpret_cast<LPARAM>(&search));
  return search.Found != nullptr ? search.Found : main;
}

ISynchronizer& TApplication::Synchronizer() {
  // Made once on the window thread and never freed: a worker may still hold it while the
  // program ends.
  static TWindowSynchronizer* synchronizer = new TWindowSynchronizer();
  return *synchronizer;
}

HCURSOR TApplication::CursorHandle(int index) const {
  const auto it = FCursors.find(index);
  if (it != FCursors.end() && it->second != nullptr) return it->second;
  return LoadCursorA(nullptr, IDC_ARROW);
}

void TApplication::SetCursorHandle(int index, HCURSOR cursor) {
  FCursors[index] = cursor;
}

void TApplication::TrackMouseControl() {
  const POINT point = CursorPos();
  try {
    FMouse.Track(point);
  } catch (const std::exception& error) {
    HandleException(error);
  }
}

}  // namespace korvath
