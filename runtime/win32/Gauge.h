// A progress gauge: a horizontal bar filled from the left in the fore colour by the
// whole-number percentage of its position between minimum and maximum.
#pragma once

#include <cstdint>

#include "runtime/win32/Controls.h"

namespace korvath {

class TGauge : public TControl {
 public:
  int32_t MinValue() const { return FMinValue; }
  int32_t MaxValue() const { return FMaxValue; }
  int32_t Progress() const { return FProgress; }
  // A position above the new maximum drops to it.
  void SetMaxValue(int32_t value);
  // The position is held within minimum and maximum: a larger value becomes the maximum, a
  // smaller one the minimum.
  void SetProgress(int32_t value);
  // (position - minimum) * 100 / (maximum - minimum), rounded towards zero; 0 for an empty range.
  int PercentDone() const;
  TColor ForeColor() const { return FForeColor; }
  TColor BackColor() const { return FBackColor; }

  void Paint(HDC dc) override;
  void SetProperty(const TPropDesc& prop, TLayoutReader& reader) override;

 private:
  // Stores the values and repaints only when the shown percentage changes.
  void Change(int32_t maxValue, int32_t progress);
  int32_t FMinValue = 0;
  int32_t FMaxValue = 100;
  int32_t FProgress = 0;
  TColor FForeColor = clBlack;
  TColor FBackColor = clWhite;
};

}  // namespace korvath
