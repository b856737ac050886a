#include "runtime/win32/Gauge.h"

#include "runtime/win32/LayoutReader.h"

namespace korvath {

void TGauge::SetMaxValue(int32_t value) {
  Change(value, FProgress);
}

void TGauge::SetProgress(int32_t value) {
  Change(FMaxValue, value);
}

void TGauge::Change(int32_t maxValue, int32_t progress) {
  const int before = PercentDone();
  FMaxValue = maxValue;
  if (progress > FMaxValue) progress = FMaxValue;
  if (progress < FMinValue) progress = FMinValue;
  FProgress = progress;
  if (PercentDone() != before) Invalidate();
}

int TGauge::PercentDone() const {
  const int64_t range = int64_t{FMaxValue} - FMinValue;
  if (range <= 0) return 0;
  return static_cast<int>((int64_t{FProgress} - FMinValue) * 100 / range);
}

void TGauge::Paint(HDC dc) {
  const int filled = static_cast<int>(int64_t{Width()} * PercentDone() / 100);
  RECT done{0, 0, filled, Height()}, rest{filled, 0, Width(), Height()};
  TGdiObject<HBRUSH> fore(CreateSolidBrush(ColorToRGB(FForeColor)));
  TGdiObject<HBRUSH> back(CreateSolidBrush(ColorToRGB(FBackColor)));
  if (filled > 0) FillRect(dc, &done, fore.Get());
  if (filled < Width()) FillRect(dc, &rest, back.Get());
}

void TGauge::SetProperty(const TPropDesc& prop, TLayoutReader& reader) {
  const std::string name = prop.Name;
  if (name == "ForeColor") {
    FForeColor = PropInt(prop);
  } else if (name == "BackColor") {
    FBackColor = PropInt(prop);
  } else if (name == "MinValue") {
    FMinValue = PropInt(prop);
  } else if (name == "MaxValue") {
    SetMaxValue(PropInt(prop));
  } else if (name == "Progress") {
    SetProgress(PropInt(prop));
  } else if (name == "BorderStyle" || name == "ShowText" || name == "Kind") {
    // Only the look the program uses is drawn: a borderless horizontal bar without text.
    const bool plain = name == "ShowText"
                           ? !PropBool(prop)
                           : PropText(prop) == (name == "Kind" ? "gkHorizontalBar" : "bsNone");
    if (!plain)
      throw ELayoutError(Name() + ": only borderless horizontal bars without text are drawn");
  } else {
    TControl::SetProperty(prop, reader);
  }
}

}  // namespace korvath
