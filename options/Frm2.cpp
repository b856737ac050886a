#include "options/Frm2.h"

#include <windows.h>

#include <array>
#include <optional>
#include <string_view>

#include "forms/Layouts.h"
#include "platform/Ascii.h"
#include "platform/File.h"
#include "platform/Integer.h"
#include "runtime/SettingsStore.h"
#include "runtime/win32/Region.h"
#include "settings/Settings.h"

namespace korvath {

TForm1* Form1 = nullptr;

namespace {

constexpr const char* kVideo = "Video";
constexpr const char* kGame = "Game";

struct TResolution {
  int32_t Sum;
  const char* Width;
  const char* Height;
};
// In the order of ComboBox1's items; a stored size is matched by width + height only.
constexpr std::array<TResolution, 5> kResolutions{{{1120, "640", "480"},
                                                   {1400, "800", "600"},
                                                   {1792, "1024", "768"},
                                                   {2240, "1280", "960"},
                                                   {2304, "1280", "1024"}}};
constexpr std::array<int32_t, 2> kColorBits{32, 16};
constexpr std::array<const char*, 4> kRefreshRates{"60", "75", "85", "100"};
constexpr int kLootMethods = 5;

// Longer values than this are no value the dialog reads.
constexpr DWORD kValueLimit = 1024;

// The profile functions tell a missing key from an empty one only by the default they return.
constexpr const char* kMissing = "\x01\x02missing";

// The key's text, or nothing when the key (or the file) is missing.
std::optional<std::string> ReadText(const std::string& file, const char* section, const char* key) {
  std::string buffer(kValueLimit + 1, '\0');
  const DWORD length = GetPrivateProfileStringA(section, key, kMissing, buffer.data(),
                                                static_cast<DWORD>(buffer.size()), file.c_str());
  buffer.resize(length);
  if (buffer == kMissing) return std::nullopt;
  return buffer;
}

int32_t ReadInteger(const std::string& file, const char* section, const char* key,
                    int32_t defaultValue) {
  int32_t value = 0;
  const auto text = ReadText(file, section, key);
  return text && TryReadOptionInteger(*text, value) ? value : defaultValue;
}

bool ReadBoolean(const std::string& file, const char* section, const char* key,
                 const char* defaultText) {
  return ReadOptionBoolean(ReadText(file, section, key).value_or(defaultText));
}

void WriteText(const std::string& file, const char* section, const char* key,
               const std::string& value) {
  if (!WritePrivateProfileStringA(section, key, value.c_str(), file.c_str()))
    throw EIniFileException(Format("Unable to write to %s", file.c_str()));
}

}  // namespace

std::string OptionsFileName() {
  std::string folder = platform::GetCurrentDir();
  // A drive's root already ends in a backslash.
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  return folder + "system\\option.ini";
}

bool TryReadOptionInteger(const std::string& text, int32_t& value) {
  std::string_view rest = text;
  // "0x" and up to eight digits: the 32 bits as they stand, so 0xFFFFFFFF is -1.
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
    return text.size() <= 10 && ParseInt32(rest.substr(2), 16, false, value);
  const bool negative = !rest.empty() && rest.front() == '-';
  if (!rest.empty() && (rest.front() == '-' || rest.front() == '+')) rest.remove_prefix(1);
  return ParseInt32(rest, 10, negative, value);
}

bool ReadOptionBoolean(const std::string& text) {
  if (SameText(text, "true")) return true;
  if (SameText(text, "false")) return false;
  int32_t number = 0;
  if (TryReadOptionInteger(text, number)) return number != 0;
  throw EConvertError(Format("'%s' is not a valid boolean value", text.c_str()));
}

void LoadOptions() {
  const std::string file = OptionsFileName();

  const int64_t sum = int64_t{ReadInteger(file, kVideo, "GamePlayViewportX", 0)} +
                      ReadInteger(file, kVideo, "GamePlayViewportY", 0);
  for (size_t i = 0; i < kResolutions.size(); ++i)
    if (kResolutions[i].Sum == sum) Form1->ComboBox1->SetItemIndex(static_cast<int>(i));

  const int32_t bits = ReadInteger(file, kVideo, "ColorBits", 0);
  for (size_t i = 0; i < kColorBits.size(); ++i)
    if (kColorBits[i] == bits) Form1->ComboBox2->SetItemIndex(static_cast<int>(i));

  const int32_t rate = ReadInteger(file, kVideo, "RefreshRate", 0);
  for (size_t i = 0; i < kRefreshRates.size(); ++i)
    if (std::to_string(rate) == kRefreshRates[i])
      Form1->ComboBox3->SetItemIndex(static_cast<int>(i));

  // A key that is no Boolean leaves its box as it is and does not stop the loading: skipping
  // the rest would let the next Apply overwrite the player's other options with the
  // dialog's empty state. The first such error is raised once everything else is read.
  std::optional<EConvertError> badBoolean;
  const auto setBox = [&](TCheckBox* box, const char* key, const char* defaultText) {
    try {
      box->SetChecked(ReadBoolean(file, kVideo, key, defaultText));
    } catch (const EConvertError& error) {
      if (!badBoolean) badBoolean = error;
    }
  };
  setBox(Form1->CheckBox1, "IsKeepMinFrameRate", "true");
  setBox(Form1->CheckBox2, "StartupFullScreen", "false");

  const int32_t loot = ReadInteger(file, kGame, "PartyLooting", 0);
  Form1->ComboBox4->SetItemIndex(loot >= 0 && loot < kLootMethods ? loot : -1);

  if (SavedBackup == 1) Form1->CheckBox3->SetChecked(true);
  if (badBoolean) throw *badBoolean;
}

void SaveOptions() {
  const std::string file = OptionsFileName();
  // A list without a selection writes nothing for its keys: the file keeps what the game
  // wrote there.
  if (const int index = Form1->ComboBox1->ItemIndex(); index >= 0) {
    WriteText(file, kVideo, "GamePlayViewportX", kResolutions[static_cast<size_t>(index)].Width);
    WriteText(file, kVideo, "GamePlayViewportY", kResolutions[static_cast<size_t>(index)].Height);
  }
  if (const int index = Form1->ComboBox2->ItemIndex(); index >= 0)
    WriteText(file, kVideo, "ColorBits", std::to_string(kColorBits[static_cast<size_t>(index)]));
  if (const int index = Form1->ComboBox3->ItemIndex(); index >= 0)
    WriteText(file, kVideo, "RefreshRate", kRefreshRates[static_cast<size_t>(index)]);
  WriteText(file, kVideo, "IsKeepMinFrameRate", Form1->CheckBox1->Checked() ? "true" : "false");
  WriteText(file, kVideo, "StartupFullScreen", Form1->CheckBox2->Checked() ? "true" : "false");
  if (const int index = Form1->ComboBox4->ItemIndex(); index >= 0)
    WriteText(file, kGame, "PartyLooting", std::to_string(index));

  SavedBackup = Form1->CheckBox3->Checked() ? 1 : 0;
  auto store = OpenIniFileInstance();
  store->WriteInteger(kSettingsSection, kCreateBackup, SavedBackup);
}

TForm1::TForm1() {
  Publish<TNotifyEvent>("SpeedButton2Click", [this](TObject* s) { SpeedButton2Click(s); });
  Publish<TNotifyEvent>("FormCreate", [this](TObject* s) { FormCreate(s); });
  Publish<TMouseMoveEvent>("FormMouseMove", [this](TObject* s, TShiftState k, int x, int y) {
    FormMouseMove(s, k, x, y);
  });
  Publish<TMouseEvent>("FormMouseDown", [this](TObject* s, TMouseButton b, TShiftState k, int x,
                                               int y) { FormMouseDown(s, b, k, x, y); });
  Publish<TMouseEvent>("FormMouseUp", [this](TObject* s, TMouseButton b, TShiftState k, int x,
                                             int y) { FormMouseUp(s, b, k, x, y); });
  Publish<TNotifyEvent>("SpeedButton1Click", [this](TObject* s) { SpeedButton1Click(s); });

  LoadLayout(Form1Layout, GetModuleHandleA(nullptr));
  ComboBox1 = Find<TComboBox>("ComboBox1");
  Label1 = Find<TLabel>("Label1");
  Label2 = Find<TLabel>("Label2");
  ComboBox2 = Find<TComboBox>("ComboBox2");
  Label3 = Find<TLabel>("Label3");
  ComboBox3 = Find<TComboBox>("ComboBox3");
  SpeedButton1 = Find<TSpeedButton>("SpeedButton1");
  SpeedButton2 = Find<TSpeedButton>("SpeedButton2");
  CheckBox1 = Find<TCheckBox>("CheckBox1");
  CheckBox2 = Find<TCheckBox>("CheckBox2");
  ComboBox4 = Find<TComboBox>("ComboBox4");
  Label4 = Find<TLabel>("Label4");
  Image1 = Find<TImage>("Image1");
  CheckBox3 = Find<TCheckBox>("CheckBox3");
  Label5 = Find<TLabel>("Label5");
  Label6 = Find<TLabel>("Label6");
  // The system's close command (Alt+F4) must not leave the main window disabled: it acts like
  // Cancel.
  OnClose = [this](TObject*) { Done(); };
  // Without the mouse no release comes: the drag ends here.
  OnCaptureLost = [this](TObject*) { FDragging = false; };
}

void TForm1::FormCreate(TObject*) {
  if (const TBitmap* background = Image1->Picture().Bitmap()) {
    SetBackgroundBrush(TGdiObject<HBRUSH>(CreatePatternBrush(background->Handle())));
    SetWindowRegion(RegionWithoutKeyColour(*background));
  }
  LoadOptions();
}

void TForm1::SpeedButton1Click(TObject*) {
  // Without the game's options file nothing is saved, the backup setting included.
  if (platform::FileExists(OptionsFileName())) SaveOptions();
  Hide();
  Done();
}

void TForm1::SpeedButton2Click(TObject*) {
  Hide();
  Done();
}

void TForm1::Done() {
  if (OnDone) OnDone();
}

void TForm1::FormMouseDown(TObject*, TMouseButton, TShiftState, int X, int Y) {
  FDragging = true;
  FDragX = X;
  FDragY = Y;
}

void TForm1::FormMouseMove(TObject*, TShiftState, int X, int Y) {
  if (!FDragging) return;
  SetLeft(Left() + X - FDragX);
  SetTop(Top() + Y - FDragY);
}

void TForm1::FormMouseUp(TObject*, TMouseButton, TShiftState, int, int) {
  FDragging = false;
}

}  // namespace korvath
