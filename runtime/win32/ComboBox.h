// A pick-only drop-down list of the window toolkit.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "runtime/win32/SystemControl.h"

namespace korvath {

// A pick-only drop-down list whose items are drawn in its own colours at ItemHeight pixels.
// The field's border is drawn over the system's edge after each paint: sunken for Ctl3D, a
// flat line in the window-frame colour otherwise, with or without visual styles.
class TComboBox : public TSystemControl {
 public:
  ~TComboBox() override;
  const std::vector<std::string>& Items() const { return FItems; }
  void SetItems(const std::vector<std::string>& items);
  // The selected item's index, -1 when none is.
  int ItemIndex() const;
  void SetItemIndex(int index);
  int ItemHeight() const { return FItemHeight; }
  bool Ctl3D() const { return FCtl3D; }
  void SetProperty(const TPropDesc& prop, TLayoutReader& reader) override;
  void Loaded() override;

 protected:
  HWND CreateInner(HWND container) override;
  int InnerHeight() const override;
  LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void DrawItem(const DRAWITEMSTRUCT& item);
  void DrawBorder(HWND field);
  static LRESULT CALLBACK FieldProc(HWND field, UINT message, WPARAM wParam, LPARAM lParam);
  WNDPROC FFieldProc = nullptr;
  std::vector<std::string> FItems;
  int FItemHeight = 13;
  bool FCtl3D = true;
};

}  // namespace korvath
