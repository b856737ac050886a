#include "runtime/win32/ExtCtrls.h"

#include "runtime/win32/LayoutReader.h"

namespace korvath {
namespace {

constexpr UINT_PTR kTimerId = 1;

}  // namespace

// ---- TImage

TImage::TImage() {
  FPicture.OnChange = [this] { Invalidate(); };
}

void TImage::Paint(HDC dc) {
  if (const TBitmap* bitmap = FPicture.Bitmap()) bitmap->Draw(dc, 0, 0);
}

void TImage::SetProperty(const TPropDesc& prop, TLayoutReader& reader) {
  const std::string name = prop.Name;
  if (name == "Picture")
    FPicture.Assign(reader.Picture(prop));
  else if (name == "Transparent")
    FTransparent = PropBool(prop);
  else
    TControl::SetProperty(prop, reader);
}

// ---- TPanel

void TPanel::SetProperty(const TPropDesc& prop, TLayoutReader& reader) {
  const std::string name = prop.Name;
  if (name == "BevelOuter") {
    const std::string bevel = PropText(prop);
    if (bevel == "bvNone")
      FBevelOuter = TBevel::bvNone;
    else if (bevel == "bvRaised")
      FBevelOuter = TBevel::bvRaised;
    else
      throw ELayoutError("Unknown bevel " + bevel);
  } else if (name == "Caption") {
    FCaption = PropText(prop);
  } else if (name == "Color") {
    FColor = PropInt(prop);
  } else {
    TWinControl::SetProperty(prop, reader);
  }
}

void TPanel::PaintBackground(HDC dc, const RECT& area) {
  TGdiObject<HBRUSH> brush(CreateSolidBrush(ColorToRGB(FColor)));
  FillRect(dc, &area, brush.Get());
  RECT client{0, 0, Width(), Height()};
  if (FBevelOuter == TBevel::bvRaised) DrawEdge(dc, &client, BDR_RAISEDINNER, BF_RECT);
  if (FCaption.empty()) return;
  const IFormFont* form = FormFontOf(*this);
  HGDIOBJ old = form != nullptr ? SelectObject(dc, form->FontHandle()) : nullptr;
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, ColorToRGB(form != nullptr ? form->Font().Color : clWindowText));
  DrawTextA(dc, FCaption.c_str(), static_cast<int>(FCaption.size()), &client,
            DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  if (old != nullptr) SelectObject(dc, old);
}

// ---- TTimer

TTimer::TTimer() {
  FWindow = std::make_unique<TUtilWindow>([this](UINT message, WPARAM wParam, LPARAM) -> LRESULT {
    if (message == WM_TIMER && wParam == kTimerId && FEnabled && OnTimer) OnTimer(this);
    return 0;
  });
  Restart();
}

void TTimer::SetEnabled(bool enabled) {
  if (FEnabled == enabled) return;
  FEnabled = enabled;
  Restart();
}

void TTimer::SetInterval(unsigned interval) {
  if (FInterval == interval) return;
  FInterval = interval;
  Restart();
}

void TTimer::Restart() {
  KillTimer(FWindow->Handle(), kTimerId);
  if (FEnabled && FInterval > 0) SetTimer(FWindow->Handle(), kTimerId, FInterval, nullptr);
}

void TTimer::SetProperty(const TPropDesc& prop, TLayoutReader& reader) {
  const std::string name = prop.Name;
  if (name == "Enabled")
    SetEnabled(PropBool(prop));
  else if (name == "Interval")
    SetInterval(static_cast<unsigned>(PropInt(prop)));
  else if (name == "OnTimer")
    OnTimer = reader.Handler<TNotifyEvent>(prop);
  else
    TComponent::SetProperty(prop, reader);
}

}  // namespace korvath
