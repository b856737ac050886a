// Forms and the application object: a form is a top-level window built from a stored layout;
// the application runs the message loop, follows the control under the mouse, shows errors in
// a message box and carries the cursor table and the window thread's synchronizer.
#pragma once

#include <windows.h>

#include <any>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "runtime/Thread.h"
#include "runtime/win32/Controls.h"

namespace korvath {

class TForm;

// Makes components by class name while a layout is read. The toolkit's own classes are always
// known; others (the image button) are registered by the program.
using TComponentFactory = std::function<std::unique_ptr<TComponent>()>;
void RegisterComponentClass(const std::string& className, TComponentFactory factory);
template <class T>
void RegisterComponentClass(const std::string& className) {
  RegisterComponentClass(className, [] { return std::make_unique<T>(); });
}

// What a component needs from the layout while its properties are set: pictures from the
// program's resources and the form's handlers by name.
class TLayoutReader {
 public:
  TLayoutReader(TForm& form, HINSTANCE module) : FForm(form), FModule(module) {}
  TPicture Picture(const TPropDesc& prop);
  template <class Event>
  Event Handler(const TPropDesc& prop);

 private:
  TForm& FForm;
  HINSTANCE FModule;
  std::map<std::string, std::shared_ptr<const TBitmap>> FPictures;  // one bitmap per resource
};

// Where a form is put the first time it is shown; poMainFormCenter centres it over the main
// form, never above or left of the screen's edge.
enum class TPosition { poDesigned, poDesktopCenter, poMainFormCenter };

class TForm : public TWinControl {
 public:
  TForm();
  ~TForm() override;

  // Creates the layout's controls in order, sets the form's and their properties and binds the
  // handlers by name. The window stays hidden; ShowForm shows it.
  void LoadLayout(const TFormDesc& layout, HINSTANCE module);
  TComponent* FindComponent(const std::string& name) const;
  // Tab and Shift+Tab: moves the focus from Focused to the next (previous) enabled, visible
  // control with a tab order, in that order and round the end. False when the form has no
  // such control, so that the key goes on to Focused as usual.
  bool SelectNext(HWND focused, bool backward);
  // The named component as the class it must be; raises ELayoutError otherwise.
  template <class T>
  T* Find(const std::string& name) const;

  // Makes a handler known by name, for the layout's event properties.
  template <class Event>
  void Publish(const std::string& name, Event handler) {
    FMethods[name] = std::any(std::move(handler));
  }
  template <class Event>
  Event Method(const std::string& name) const;

  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& caption);
  const TFontDesc& Font() const { return FFont; }
  HFONT FontHandle() const { return FFontHandle.Get(); }
  // The brush the background is painted with; the form owns it. nullptr paints Color.
  void SetBackgroundBrush(TGdiObject<HBRUSH> brush);
  // Gives the window its shape; from then on the system owns the region.
  void SetWindowRegion(TGdiObject<HRGN> region);

  // Runs OnCreate; an error is shown and the form goes on.
  void DoCreate();
  // Shows the form, placed as its Position says the first time.
  void ShowForm();
  // Runs OnClose, then hides the form; closing the main form ends the message loop. The
  // system's close command (Alt+F4) comes here too.
  void Close();
  // Whether the layout makes the form visible once it is created.
  bool ShowAtStart() const;

  void SetProperty(const TPropDesc& prop, TLayoutReader& reader) override;

  TNotifyEvent OnCreate;
  TNotifyEvent OnClose;

 protected:
  LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  void PaintBackground(HDC dc, const RECT& area) override;

 private:
  std::vector<std::unique_ptr<TComponent>> FComponents;
  std::map<std::string, std::any> FMethods;
  std::string FCaption;
  TColor FColor = clBtnFace;
  TFontDesc FFont;
  TGdiObject<HFONT> FFontHandle;
  TGdiObject<HBRUSH> FBackground;
  TPosition FPosition = TPosition::poDesigned;
  bool FPlaced = false;
  bool FVisibleAtStart = true;
};

class TApplication {
 public:
  TApplication();
  ~TApplication();
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
  TForm* MainForm() const { return FMainForm; }
  void SetMainForm(TForm* form) { FMainForm = form; }
  // Destroys the forms CreateForm made, last first.
  void DestroyForms();

  // Runs the message loop until Terminate.
  void Run();
  void Terminate();
  bool Terminated() const { return FTerminated; }
  // Handles the messages waiting now, then looks at the control under the mouse.
  void ProcessMessages();

  // Shows the error: a stop box captioned Title with the message and a full stop.
  void HandleException(const std::exception& error);
  void ShowException(const std::string& message);
  // When set, gets the text of each error box instead of the box; for tests.
  std::function<void(const std::string& text)> OnException;

  // Runs calls of worker threads on the window thread; lives as long as the program.
  ISynchronizer& Synchronizer();

  HCURSOR CursorHandle(int index) const;
  void SetCursorHandle(int index, HCURSOR cursor);

  // The control that holds the mouse from a press until the release.
  TControl* CaptureControl() const { return FCaptureControl; }
  void SetCaptureControl(TControl* control);
  // Looks at the visible control under the mouse and tells the old and the new one when it
  // changed. Runs whenever the message queue has run empty.
  void TrackMouseControl();
  void ControlDestroying(TControl* control);
  // Where the mouse is, in screen coordinates.
  std::function<POINT()> CursorPos;

 private:
  bool ProcessMessage();

  std::vector<std::unique_ptr<TForm>> FForms;
  TForm* FMainForm = nullptr;
  bool FTerminated = false;
  std::map<int, HCURSOR> FCursors;
  TControl* FCaptureControl = nullptr;
  TControl* FMouseControl = nullptr;
};

extern TApplication Application;

// The form a control lies on (the control itself when it is one); nullptr while it has none.
const TForm* FormOf(const TControl& control);

template <class Event>
Event TForm::Method(const std::string& name) const {
  const auto it = FMethods.find(name);
  if (it == FMethods.end()) throw ELayoutError("The form has no handler " + name);
  if (const Event* handler = std::any_cast<Event>(&it->second)) return *handler;
  throw ELayoutError("The handler " + name + " does not fit the event");
}

template <class T>
T* TForm::Find(const std::string& name) const {
  T* found = dynamic_cast<T*>(FindComponent(name));
  if (found == nullptr)
    throw ELayoutError("The layout has no component " + name + " of the expected class");
  return found;
}

template <class Event>
Event TLayoutReader::Handler(const TPropDesc& prop) {
  return FForm.Method<Event>(PropHandler(prop).Method);
}

}  // namespace korvath
