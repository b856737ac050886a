#include "runtime/win32/Form.h"

#include <algorithm>

#include "runtime/win32/ComponentRegistry.h"
#include "runtime/win32/ControlHost.h"
#include "runtime/win32/SystemControl.h"

namespace korvath {
namespace {

// Constant-initialised, so that it is there before any object of static storage registers.
IFormHost* Host = nullptr;

}  // namespace

IFormHost& FormHost() {
  return *Host;
}

void SetFormHost(IFormHost* host) {
  Host = host;
}

TForm::TForm() {
  TControl::SetVisible(false);
  // No border, no caption bar; the system menu and minimize box only let the task bar button
  // minimise and restore the window.
  CreateHandle(WS_POPUP | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX, 0,
               nullptr, "");
  FFontHandle = CreateFontFrom(FFont);
}

TForm::~TForm() {
  // Last made, first gone: a browser goes before the panel that holds it.
  while (!FComponents.empty()) FComponents.pop_back();
  if (FormHost().MainForm() == this) FormHost().SetMainForm(nullptr);
}

void TForm::LoadLayout(const TFormDesc& layout, HINSTANCE module) {
  TLayoutReader reader(FMethods, module);
  for (const TPropDesc& prop : layout.Props) SetProperty(prop, reader);
  for (const TControlDesc& desc : layout.Controls) {
    const TComponentFactory& factory = FindComponentClass(desc.ClassName);
    if (FindComponent(desc.Name) != nullptr)
      throw ELayoutError(std::string("Duplicate name ") + desc.Name);
    std::unique_ptr<TComponent> component = factory();
    component->SetName(desc.Name);
    if (auto* control = dynamic_cast<TControl*>(component.get()))
      control->SetParent(desc.ParentName != nullptr ? Find<TWinControl>(desc.ParentName) : this);
    TComponent* added = component.get();
    FComponents.push_back(std::move(component));
    for (const TPropDesc& prop : desc.Props) added->SetProperty(prop, reader);
  }
  for (const auto& component : FComponents) component->Loaded();
}

TComponent* TForm::FindComponent(const std::string& name) const {
  for (const auto& component : FComponents)
    if (component->Name() == name) return component.get();
  return nullptr;
}

bool TForm::SelectNext(HWND focused, bool backward) {
  std::vector<TSystemControl*> stops;
  for (const auto& component : FComponents) {
    auto* control = dynamic_cast<TSystemControl*>(component.get());
    if (control != nullptr && control->TabOrder() >= 0 && control->Inner() != nullptr &&
        IsWindowEnabled(control->Inner()) && IsWindowVisible(control->Inner()))
      stops.push_back(control);
  }
  if (stops.empty()) return false;
  std::stable_sort(stops.begin(), stops.end(),
                   [](const TSystemControl* a, const TSystemControl* b) {
                     return a->TabOrder() < b->TabOrder();
                   });
  const size_t count = stops.size();
  size_t next = backward ? count - 1 : 0;  // from outside the tab stops: the first or the last
  for (size_t i = 0; i < count; ++i) {
    if (stops[i]->Inner() == focused || IsChild(stops[i]->Inner(), focused)) {
      next = backward ? (i + count - 1) % count : (i + 1) % count;
      break;
    }
  }
  SetFocus(stops[next]->Inner());
  return true;
}

void TForm::SetCaption(const std::string& caption) {
  FCaption = caption;
  // The task bar shows the application's title for the main form.
  const std::string& title = FormHost().MainFormTitle();
  const bool main = FormHost().MainForm() == this && !title.empty();
  SetWindowTextA(Handle(), main ? title.c_str() : caption.c_str());
}

void TForm::SetBackgroundBrush(TGdiObject<HBRUSH> brush) {
  FBackground = std::move(brush);
  InvalidateRect(Handle(), nullptr, FALSE);
}

void TForm::SetWindowRegion(TGdiObject<HRGN> region) {
  if (SetWindowRgn(Handle(), region.Get(), TRUE) != 0) region.Release();
}

void TForm::DoCreate() {
  if (!OnCreate) return;
  try {
    OnCreate(this);
  } catch (const std::exception& error) {
    ControlHost().HandleException(error);
  }
}

void TForm::ShowForm() {
  if (!FPlaced) {
    FPlaced = true;
    if (FPosition == TPosition::poDesktopCenter)
      SetBounds((GetSystemMetrics(SM_CXSCREEN) - Width()) / 2,
                (GetSystemMetrics(SM_CYSCREEN) - Height()) / 2, Width(), Height());
    const TForm* main = FormHost().MainForm();
    if (FPosition == TPosition::poMainFormCenter && main != nullptr && main != this)
      SetBounds(std::max(main->Left() + (main->Width() - Width()) / 2, 0),
                std::max(main->Top() + (main->Height() - Height()) / 2, 0), Width(), Height());
  }
  // Any other form belongs to the main form: it stays above it, has no task bar button of its
  // own, and cannot fall behind the main form while that one waits for it disabled.
  if (const TForm* main = FormHost().MainForm(); main != nullptr && main != this)
    SetWindowLongPtrA(Handle(), GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(main->Handle()));
  SetCaption(FCaption);
  TControl::SetVisible(true);
  ShowWindow(Handle(), SW_SHOW);
  UpdateWindow(Handle());
}

void TForm::Close() {
  if (OnClose) OnClose(this);
  Hide();
  if (FormHost().MainForm() == this) FormHost().Terminate();
}

bool TForm::ShowAtStart() const {
  return FVisibleAtStart;
}

void TForm::SetProperty(const TPropDesc& prop, TLayoutReader& reader) {
  const std::string name = prop.Name;
  if (name == "ClientWidth") {
    SetBounds(Left(), Top(), PropInt(prop), Height());
  } else if (name == "ClientHeight") {
    SetBounds(Left(), Top(), Width(), PropInt(prop));
  } else if (name == "Caption") {
    SetCaption(PropText(prop));
  } else if (name == "Color") {
    FColor = PropInt(prop);
  } else if (name == "Font.Name" || name == "Font.Height" || name == "Font.Color" ||
             name == "Font.Bold") {
    if (name == "Font.Name") FFont.Name = PropText(prop);
    if (name == "Font.Height") FFont.Height = PropInt(prop);
    if (name == "Font.Color") FFont.Color = PropInt(prop);
    if (name == "Font.Bold") FFont.Bold = PropBool(prop);
    FFontHandle = CreateFontFrom(FFont);
  } else if (name == "Position") {
    const std::string value = PropText(prop);
    if (value == "poDesktopCenter")
      FPosition = TPosition::poDesktopCenter;
    else if (value == "poDesigned")
      FPosition = TPosition::poDesigned;
    else if (value == "poMainFormCenter")
      FPosition = TPosition::poMainFormCenter;
    else
      throw ELayoutError("Unknown position " + value);
  } else if (name == "BorderStyle") {
    // Both windows of the program are borderless skins; no other border is made.
    if (PropText(prop) != "bsNone") throw ELayoutError("Only borderless forms are supported");
  } else if (name == "Visible") {
    FVisibleAtStart = PropBool(prop);
  } else if (name == "OnCreate") {
    OnCreate = reader.Handler<TNotifyEvent>(prop);
  } else {
    TWinControl::SetProperty(prop, reader);
  }
}

LRESULT TForm::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      Close();
      return 0;
    case WM_WINDOWPOSCHANGED: {
      const auto* position = reinterpret_cast<const WINDOWPOS*>(lParam);
      if ((position->flags & SWP_NOMOVE) == 0 || (position->flags & SWP_NOSIZE) == 0) {
        RECT area;
        GetWindowRect(Handle(), &area);
        StoreBounds(area.left, area.top, area.right - area.left, area.bottom - area.top);
      }
      return TWinControl::WndProc(message, wParam, lParam);
    }
    default:
      return TWinControl::WndProc(message, wParam, lParam);
  }
}

void TForm::PaintBackground(HDC dc, const RECT& area) {
  if (FBackground) {
    FillRect(dc, &area, FBackground.Get());
    return;
  }
  TGdiObject<HBRUSH> plain(CreateSolidBrush(ColorToRGB(FColor)));
  FillRect(dc, &area, plain.Get());
}

}  // namespace korvath
