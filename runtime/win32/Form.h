// A form: a top-level window built from a stored layout, holding the components the layout
// makes and the handlers they are bound to by name.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "runtime/win32/Controls.h"
#include "runtime/win32/LayoutReader.h"

namespace korvath {

class TForm;

// What a form takes from the program that runs it: which form is the main one, the title the
// task bar shows for it, and the end of the message loop. The application implements it and
// registers itself, so that forms stand below it.
class IFormHost {
 public:
  virtual ~IFormHost() = default;
  virtual TForm* MainForm() const = 0;
  virtual void SetMainForm(TForm* form) = 0;
  virtual const std::string& MainFormTitle() const = 0;
  virtual void Terminate() = 0;
};

// The registered host; there is one as long as the program's application object lives.
IFormHost& FormHost();
void SetFormHost(IFormHost* host);

// Where a form is put the first time it is shown; poMainFormCenter centres it over the main
// form, never above or left of the screen's edge.
enum class TPosition { poDesigned, poDesktopCenter, poMainFormCenter };

class TForm : public TWinControl, public IFormFont {
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
    FMethods.Publish(name, std::move(handler));
  }
  template <class Event>
  Event Method(const std::string& name) const {
    return FMethods.Method<Event>(name);
  }

  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& caption);
  const TFontDesc& Font() const override { return FFont; }
  HFONT FontHandle() const override { return FFontHandle.Get(); }
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
  TMethodTable FMethods;
  std::string FCaption;
  TColor FColor = clBtnFace;
  TFontDesc FFont;
  TGdiObject<HFONT> FFontHandle;
  TGdiObject<HBRUSH> FBackground;
  TPosition FPosition = TPosition::poDesigned;
  bool FPlaced = false;
  bool FVisibleAtStart = true;
};

template <class T>
T* TForm::Find(const std::string& name) const {
  T* found = dynamic_cast<T*>(FindComponent(name));
  if (found == nullptr)
    throw ELayoutError("The layout has no component " + name + " of the expected class");
  return found;
}

}  // namespace korvath
