// The application object: runs the message loop, follows the control under the mouse, shows
// errors in a message box and carries the forms, the cursor table and the window thread's
// synchronizer.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "runtime/Thread.h"
#include "runtime/win32/ControlHost.h"
#include "runtime/win32/Form.h"
#include "runtime/win32/MouseTracking.h"

namespace korvath {

class TApplication final : public IControlHost, public IFormHost {
 public:
  TApplication();
  ~TApplication() override;
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  // Readies the window thread: the object model for the browser control, the synchronizer.
  void Initialize();

  // The title on the task bar button and the caption of error boxes.
  std::string Title;

  // Creates the form into Reference; the first form made is the main form. The form is built,
  // OnCreate runs, and it is shown when its layout says it is visible.
  template <class TF>
  void CreateForm(TF*& reference) {
    auto form = std::make_unique<TF>();
    reference = form.get();
    if (FMainForm == nullptr) FMainForm = form.get();
    TForm* added = form.get();
    FForms.push_back(std::move(form));
    added->DoCreate();
    if (added->ShowAtStart()) added->ShowForm();
  }
  // CreateForm for a form the program can do without: an error while it is made is shown,
  // Reference stays nullptr and the program goes on.
  template <class TF>
  void CreateOptionalForm(TF*& reference) {
    try {
      CreateForm(reference);
    } catch (const std::exception& error) {
      reference = nullptr;
      HandleException(error);
    }
  }
  TForm* MainForm() const override { return FMainForm; }
  void SetMainForm(TForm* form) override { FMainForm = form; }
  const std::string& MainFormTitle() const override { return Title; }
  // Destroys the forms CreateForm made, last first.
  void DestroyForms();

  // Runs the message loop until Terminate.
  void Run();
  void Terminate() override;
  bool Terminated() const { return FTerminated; }
  // Handles the messages waiting now, then looks at the control under the mouse.
  void ProcessMessages();

  // Shows the error: a stop box captioned Title with the message and a full stop.
  void HandleException(const std::exception& error) override;
  void ShowException(const std::string& message);
  // The window an error box belongs to: the main form while it takes input, else the visible
  // window of its own that does (the options dialog); none while the main form is hidden.
  HWND ErrorBoxOwner() const;
  // When set, gets the text of each error box instead of the box; for tests.
  std::function<void(const std::string& text)> OnException;

  // Runs calls of worker threads on the window thread; lives as long as the program.
  ISynchronizer& Synchronizer();

  HCURSOR CursorHandle(int index) const override;
  void SetCursorHandle(int index, HCURSOR cursor);

  // The control that holds the mouse from a press until the release.
  TControl* CaptureControl() const override { return FMouse.CaptureControl(); }
  void SetCaptureControl(TControl* control) override { FMouse.SetCaptureControl(control); }
  // Looks at the visible control under the mouse and tells the old and the new one when it
  // changed. Runs whenever the message queue has run empty.
  void TrackMouseControl();
  void ControlDestroying(TControl* control) override { FMouse.ControlDestroying(control); }
  // Where the mouse is, in screen coordinates.
  std::function<POINT()> CursorPos;

 private:
  bool ProcessMessage();

  std::vector<std::unique_ptr<TForm>> FForms;
  TForm* FMainForm = nullptr;
  bool FTerminated = false;
  std::map<int, HCURSOR> FCursors;
  TMouseTracking FMouse;
};

extern TApplication Application;

}  // namespace korvath
