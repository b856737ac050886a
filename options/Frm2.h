// The options dialog: edits a few options of the game's own options file
// ("system\option.ini") and the updater's backup setting.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "runtime/SysUtils.h"
#include "runtime/win32/CheckBox.h"
#include "runtime/win32/ComboBox.h"
#include "runtime/win32/Form.h"
#include "runtime/win32/Image.h"
#include "runtime/win32/Label.h"
#include "runtime/win32/SpeedButton.h"

namespace korvath {

// A write to the options file that the system refused.
class EIniFileException : public Exception {
  using Exception::Exception;
};

class TForm1 : public TForm {
 public:
  // Builds the dialog from its stored layout, hidden; the caller runs FormCreate through
  // DoCreate.
  TForm1();

  TComboBox* ComboBox1;
  TLabel* Label1;
  TLabel* Label2;
  TComboBox* ComboBox2;
  TLabel* Label3;
  TComboBox* ComboBox3;
  TSpeedButton* SpeedButton1;
  TSpeedButton* SpeedButton2;
  TCheckBox* CheckBox1;
  TCheckBox* CheckBox2;
  TComboBox* ComboBox4;
  TLabel* Label4;
  TImage* Image1;
  TCheckBox* CheckBox3;
  TLabel* Label5;
  TLabel* Label6;

  void SpeedButton2Click(TObject* Sender);
  void FormCreate(TObject* Sender);
  void FormMouseMove(TObject* Sender, TShiftState Shift, int X, int Y);
  void FormMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
  void FormMouseUp(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
  void SpeedButton1Click(TObject* Sender);

  // Told when the dialog closes by Apply, Cancel or the system's close command; the main
  // routine hands it to the window that opened the dialog, which it disabled meanwhile.
  std::function<void()> OnDone;

 private:
  void Done();

  bool FDragging = false;
  int32_t FDragX = 0;
  int32_t FDragY = 0;
};

extern TForm1* Form1;

// Fills Form1's controls from the options file and from SavedBackup. A Boolean text that is no
// Boolean is reported once every other key has been read.
void LoadOptions();
// Writes Form1's controls to the options file, then SavedBackup and the settings store.
void SaveOptions();

// The options file below the current folder, taken anew at each use.
std::string OptionsFileName();

// An options-file integer: decimal with an optional sign, or hexadecimal after "0x" / "0X",
// the whole text and within 32 bits. False when the text is not one.
bool TryReadOptionInteger(const std::string& text, int32_t& value);
// An options-file Boolean: the words true and false in any case, or a number (zero is false).
// Raises EConvertError for any other text.
bool ReadOptionBoolean(const std::string& text);

}  // namespace korvath
