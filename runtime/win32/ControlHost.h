// What the controls take from the program that runs their windows: the control that holds the
// mouse, the cursor table, and the place where errors of their handlers are shown. The
// application implements it and registers itself, so that the controls stand below it.
#pragma once

#include <windows.h>

#include <exception>

namespace korvath {

class TControl;

class IControlHost {
 public:
  virtual ~IControlHost() = default;

  // Shows an error that a handler raised; the message in progress goes on.
  virtual void HandleException(const std::exception& error) = 0;
  // The control that holds the mouse from a press until the release.
  virtual TControl* CaptureControl() const = 0;
  virtual void SetCaptureControl(TControl* control) = 0;
  // The cursor of a number of the cursor table.
  virtual HCURSOR CursorHandle(int index) const = 0;
  // A control is going: the host forgets it.
  virtual void ControlDestroying(TControl* control) = 0;
};

// The registered host; there is one as long as the program's application object lives.
IControlHost& ControlHost();
void SetControlHost(IControlHost* host);

}  // namespace korvath
