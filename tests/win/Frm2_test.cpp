// The options dialog built from its real layout and picture, in a game folder of its own with
// its own settings key: reading and writing the game's options file, the backup setting, Apply
// and Cancel, and how it looks.
#include "options/Frm2.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/UnitMain.h"
#include "platform/File.h"
#include "runtime/SettingsStore.h"
#include "runtime/win32/Application.h"
#include "tests/support/SettingsFixture.h"
#include "tests/support/System.h"
#include "tests/support/TempDir.h"

namespace korvath {
namespace {

using test::Exists;
using test::ReadFileBytes;
using test::WriteFileBytes;

class Frm2Test : public SettingsFixture {
 protected:
  void SetUp() override {
    Application.OnException = [this](const std::string& text) { FErrors.push_back(text); };
    SavedBackup = 0;
  }
  void TearDown() override {
    FForm.reset();
    Form1 = nullptr;
    Application.OnException = nullptr;
    Application.ProcessMessages();
  }

  std::string OptionsPath() { return FGame / "system/option.ini"; }
  void WriteOptions(const std::string& text) { WriteFileBytes(OptionsPath(), text); }
  // What the file holds now; the profile functions may keep a copy of their own until told.
  std::string Options() {
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, OptionsPath().c_str());
    return ReadFileBytes(OptionsPath());
  }
  std::string Value(const char* section, const char* key) {
    char buffer[256] = {};
    GetPrivateProfileStringA(section, key, "<missing>", buffer, sizeof buffer,
                             OptionsPath().c_str());
    return buffer;
  }

  // Builds the dialog as the main routine does.
  TForm1& Create() {
    FForm = std::make_unique<TForm1>();
    Form1 = FForm.get();
    FForm->DoCreate();
    Application.ProcessMessages();
    return *FForm;
  }

  std::vector<int> Lists() {
    return {Form1->ComboBox1->ItemIndex(), Form1->ComboBox2->ItemIndex(),
            Form1->ComboBox3->ItemIndex(), Form1->ComboBox4->ItemIndex()};
  }

  int32_t StoredBackup() {
    return OpenSettingsStore()->ReadInteger(kSettingsSection, kCreateBackup, -1);
  }

  std::unique_ptr<TForm1> FForm;
  std::vector<std::string> FErrors;
};

TEST(Frm2Values, IntegersAreDecimalOrHexAndWhole) {
  struct Case {
    const char* Text;
    bool Valid;
    int32_t Value;
  };
  const Case cases[] = {
      {"800", true, 800},
      {"-1", true, -1},
      {"+7", true, 7},
      {"0x500", true, 1280},
      {"0X1f", true, 31},
      {"0xFFFFFFFF", true, -1},
      {"2147483647", true, INT32_MAX},
      {"-2147483648", true, INT32_MIN},
      {"800abc", false, 0},
      {"0x", false, 0},
      {"0x1G", false, 0},
      {"", false, 0},
      {"-", false, 0},
      {"2147483648", false, 0},
      {"0x100000000", false, 0},
      {"1.5", false, 0},
      {"12 ", false, 0},
  };
  for (const Case& c : cases) {
    int32_t value = 0;
    EXPECT_EQ(TryReadOptionInteger(c.Text, value), c.Valid) << c.Text;
    if (c.Valid) {
      EXPECT_EQ(value, c.Value) << c.Text;
    }
  }
}

TEST(Frm2Values, BooleansAreWordsOrNumbersAndAnythingElseIsAnError) {
  for (const char* yes : {"true", "TRUE", "True", "1", "-3", "0x10"})
    EXPECT_TRUE(ReadOptionBoolean(yes)) << yes;
  for (const char* no : {"false", "FALSE", "0", "0x0"}) EXPECT_FALSE(ReadOptionBoolean(no)) << no;
  for (const char* bad : {"yes", "", "t", "truee", "on"}) {
    try {
      ReadOptionBoolean(bad);
      ADD_FAILURE() << bad;
    } catch (const EConvertError& error) {
      EXPECT_EQ(std::string(error.what()),
                std::string("'") + bad + "' is not a valid boolean value");
    }
  }
}

TEST_F(Frm2Test, TheLayoutPlacesTheControlsWithTheirTextsAndItems) {
  Create();
  EXPECT_FALSE(Form1->Visible());
  EXPECT_FALSE(Form1->Image1->Visible());
  EXPECT_EQ(Form1->Image1->Picture().Width(), 220);
  EXPECT_EQ(Form1->Image1->Picture().Bitmap()->Pixel(0, 0), RGB(0x00, 0xFF, 0x18));
  struct Place {
    TControl* Control;
    int Left, Top, Width, Height;
  };
  const Place places[] = {
      {Form1->SpeedButton1, 48, 256, 59, 25}, {Form1->SpeedButton2, 114, 256, 59, 25},
      {Form1->ComboBox1, 100, 108, 93, 21},   {Form1->ComboBox2, 100, 132, 93, 21},
      {Form1->ComboBox3, 100, 156, 93, 21},   {Form1->CheckBox1, 100, 182, 97, 17},
      {Form1->CheckBox2, 100, 200, 97, 17},   {Form1->ComboBox4, 66, 221, 127, 21},
      {Form1->CheckBox3, 31, 58, 169, 17}};
  for (const Place& p : places) {
    EXPECT_EQ(p.Control->Left(), p.Left) << p.Control->Name();
    EXPECT_EQ(p.Control->Top(), p.Top) << p.Control->Name();
    EXPECT_EQ(p.Control->Width(), p.Width) << p.Control->Name();
    EXPECT_EQ(p.Control->Height(), p.Height) << p.Control->Name();
  }
  EXPECT_EQ(Form1->Label5->Caption(), "Game settings ");
  EXPECT_TRUE(Form1->Label5->Bold());
  EXPECT_EQ(Form1->Label6->Caption(), "Updater settings ");
  EXPECT_EQ(Form1->SpeedButton1->Caption(), "Apply");
  EXPECT_EQ(Form1->SpeedButton2->FontColor(), 15263976);
  EXPECT_EQ(Form1->CheckBox3->Caption(), "Create Backup before update");
  EXPECT_EQ(Form1->ComboBox1->Items(),
            (std::vector<std::string>{"640x480", "800x600", "1024x768", "1280x960", "1280x1024"}));
  EXPECT_EQ(Form1->ComboBox4->Items(),
            (std::vector<std::string>{"Finders Keepers", "Random", "Random including spoil",
                                      "By turn", "By turn including spoil"}));
  const TSystemControl* tabOrder[] = {Form1->ComboBox1, Form1->ComboBox2, Form1->ComboBox3,
                                      Form1->CheckBox1, Form1->CheckBox2, Form1->ComboBox4,
                                      Form1->CheckBox3};
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(tabOrder[i]->TabOrder(), i);
    const bool checkBox = i == 3 || i == 4 || i == 6;
    EXPECT_EQ(tabOrder[i]->Color(), checkBox ? 5453090 : 5454895);
  }
}

TEST_F(Frm2Test, LoadingFillsTheControlsFromTheOptionsFile) {
  struct Case {
    const char* File;  // nullptr: no options file
    std::vector<int> Lists;
    bool LowDetail;
    bool FullScreen;
  };
  const Case cases[] = {
      {nullptr, {-1, -1, -1, 0}, true, false},
      {"[Video]\nGamePlayViewportX=800\nGamePlayViewportY=600\nColorBits=32\nRefreshRate=60\n"
       "IsKeepMinFrameRate=false\nStartupFullScreen=true\n[Game]\nPartyLooting=2\n",
       {1, 0, 0, 2},
       false,
       true},
      // Only the sum counts; hex values are read.
      {"[Video]\nGamePlayViewportX=700\nGamePlayViewportY=420\nColorBits=16\nRefreshRate=100\n",
       {0, 1, 3, 0},
       true,
       false},
      {"[video]\ngameplayviewportx=0x500\nGamePlayViewportY=1024\ncolorbits=0x10\n"
       "RefreshRate=85\n[GAME]\nPartyLooting=4\n",
       {4, 1, 2, 4},
       true,
       false},
      {"[Video]\nGamePlayViewportX=1024\nGamePlayViewportY=1280\nRefreshRate=75\n"
       "IsKeepMinFrameRate=TRUE\nStartupFullScreen=1\n",
       {4, -1, 1, 0},
       true,
       true},
      // Sums and values that match no item leave the lists empty.
      {"[Video]\nGamePlayViewportX=1920\nGamePlayViewportY=1080\nColorBits=24\nRefreshRate=72\n"
       "IsKeepMinFrameRate=0\n[Game]\nPartyLooting=7\n",
       {-1, -1, -1, -1},
       false,
       false},
      {"[Game]\nPartyLooting=-1\n", {-1, -1, -1, -1}, true, false},
      // A value that is not a whole integer reads as the default: never 800 from "800abc".
      {"[Video]\nGamePlayViewportX=800abc\nGamePlayViewportY=320\nColorBits=32bit\n"
       "[Game]\nPartyLooting=3x\n",
       {-1, -1, -1, 0},
       true,
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.File != nullptr ? c.File : "(no file)");
    DeleteFileA(OptionsPath().c_str());
    if (c.File != nullptr) WriteOptions(c.File);
    Create();
    EXPECT_EQ(Lists(), c.Lists);
    EXPECT_EQ(Form1->CheckBox1->Checked(), c.LowDetail);
    EXPECT_EQ(Form1->CheckBox2->Checked(), c.FullScreen);
    EXPECT_FALSE(Form1->CheckBox3->Checked());
    EXPECT_TRUE(FErrors.empty());
    FForm.reset();
  }
}

TEST_F(Frm2Test, ApplyWritesEveryKeyAsItsItemAndKeepsTheRestOfTheFile) {
  WriteOptions(
      "; the game's own\n[Video]\nGamePlayViewportX=700\nWindowed=1\nGamePlayViewportY=420\n"
      "ColorBits=0x20\nRefreshRate=85\nIsKeepMinFrameRate=TRUE\nStartupFullScreen=0\n"
      "[Sound]\nVolume=9\n");
  SavedBackup = 1;
  Create();
  EXPECT_TRUE(Form1->CheckBox3->Checked());
  Form1->Show();
  Form1->SpeedButton1Click(nullptr);
  EXPECT_FALSE(Form1->Visible());
  const std::string file = Options();
  // The other lines stay where they were; the missing section is added.
  EXPECT_NE(file.find("; the game's own\r\n[Video]\r\nGamePlayViewportX=640\r\nWindowed=1\r\n"
                      "GamePlayViewportY=480\r\n"),
            std::string::npos)
      << file;
  EXPECT_NE(file.find("[Sound]\r\nVolume=9\r\n"), std::string::npos) << file;
  EXPECT_NE(file.find("[Game]\r\nPartyLooting=0\r\n"), std::string::npos) << file;
  // Every key is written, unchanged ones too, in the dialog's own spelling.
  const std::pair<const char*, const char*> written[] = {{"ColorBits", "32"},
                                                         {"RefreshRate", "85"},
                                                         {"IsKeepMinFrameRate", "true"},
                                                         {"StartupFullScreen", "false"}};
  for (const auto& [key, value] : written) EXPECT_EQ(Value("Video", key), value) << key;
  EXPECT_EQ(SavedBackup, 1);
  EXPECT_EQ(StoredBackup(), 1);

  // Unchecking the backup box is saved, in memory and in the store.
  Form1->CheckBox3->SetChecked(false);
  Form1->ComboBox2->SetItemIndex(1);
  Form1->ComboBox4->SetItemIndex(3);
  Form1->CheckBox1->SetChecked(false);
  Form1->CheckBox2->SetChecked(true);
  Form1->SpeedButton1Click(nullptr);
  EXPECT_EQ(Value("Video", "ColorBits"), "16");
  EXPECT_EQ(Value("Video", "IsKeepMinFrameRate"), "false");
  EXPECT_EQ(Value("Video", "StartupFullScreen"), "true");
  EXPECT_EQ(Value("Game", "PartyLooting"), "3");
  EXPECT_EQ(SavedBackup, 0);
  EXPECT_EQ(StoredBackup(), 0);
}

TEST_F(Frm2Test, AListWithoutASelectionWritesNothingForItsKeys) {
  WriteOptions(
      "[Video]\nGamePlayViewportX=1920\nGamePlayViewportY=1080\nColorBits=24\n"
      "RefreshRate=72\n[Game]\nPartyLooting=7\n");
  Create();
  Form1->SpeedButton1Click(nullptr);
  EXPECT_EQ(Value("Video", "GamePlayViewportX"), "1920");
  EXPECT_EQ(Value("Video", "GamePlayViewportY"), "1080");
  EXPECT_EQ(Value("Video", "ColorBits"), "24");
  EXPECT_EQ(Value("Video", "RefreshRate"), "72");
  EXPECT_EQ(Value("Game", "PartyLooting"), "7");
  EXPECT_EQ(Value("Video", "IsKeepMinFrameRate"), "true");
  EXPECT_EQ(Value("Video", "StartupFullScreen"), "false");
}

TEST_F(Frm2Test, ApplyWithoutTheOptionsFileSavesNothing) {
  Create();
  Form1->CheckBox3->SetChecked(true);
  Form1->ComboBox1->SetItemIndex(2);
  Form1->Show();
  Form1->SpeedButton1Click(nullptr);
  EXPECT_FALSE(Form1->Visible());
  EXPECT_FALSE(Exists(OptionsPath()));
  EXPECT_EQ(SavedBackup, 0);
  EXPECT_EQ(StoredBackup(), -1);
  EXPECT_TRUE(FErrors.empty());
}

TEST_F(Frm2Test, CancelWritesNothingAndKeepsTheChangesForTheNextShow) {
  const std::string original = "[Video]\r\nColorBits=32\r\n";
  WriteOptions(original);
  Create();
  Form1->ComboBox2->SetItemIndex(1);
  Form1->CheckBox3->SetChecked(true);
  Form1->Show();
  Form1->SpeedButton2Click(nullptr);
  EXPECT_FALSE(Form1->Visible());
  EXPECT_EQ(Options(), original);
  EXPECT_EQ(StoredBackup(), -1);
  Form1->Show();
  EXPECT_EQ(Form1->ComboBox2->ItemIndex(), 1);
  EXPECT_TRUE(Form1->CheckBox3->Checked());
  Form1->SpeedButton1Click(nullptr);
  EXPECT_EQ(Value("Video", "ColorBits"), "16");
  EXPECT_EQ(StoredBackup(), 1);
}

TEST_F(Frm2Test, ABadBooleanIsReportedAndTheOtherKeysStillLoad) {
  struct Case {
    const char* Value;
    const char* Message;
  };
  for (const Case& c : {Case{"yes", "'yes' is not a valid boolean value."},
                        Case{"", "'' is not a valid boolean value."}}) {
    SCOPED_TRACE(c.Value);
    WriteOptions(std::string("[Video]\nGamePlayViewportX=800\nGamePlayViewportY=600\n"
                             "IsKeepMinFrameRate=") +
                 c.Value + "\nStartupFullScreen=true\n[Game]\nPartyLooting=3\n");
    SavedBackup = 1;
    FErrors.clear();
    Create();
    EXPECT_EQ(FErrors, std::vector<std::string>{c.Message});
    // The bad key's box keeps its state from creation; everything after it is loaded.
    EXPECT_FALSE(Form1->CheckBox1->Checked());
    EXPECT_TRUE(Form1->CheckBox2->Checked());
    EXPECT_EQ(Lists(), (std::vector<int>{1, -1, -1, 3}));
    EXPECT_TRUE(Form1->CheckBox3->Checked());
    FForm.reset();
  }
}

TEST_F(Frm2Test, AnOptionsFileThatCannotBeWrittenEndsTheSaveAndChangesNoSetting) {
  WriteOptions("[Video]\r\nColorBits=16\r\n");
  Create();
  // Read-only, and held by another program that lets nobody else in (the tests may run with
  // rights that write read-only files anyway).
  SetFileAttributesA(OptionsPath().c_str(), FILE_ATTRIBUTE_READONLY);
  HANDLE holder = CreateFileA(OptionsPath().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  Form1->CheckBox3->SetChecked(true);
  Form1->Show();
  // A click goes through the window's messages, which show the error.
  SendMessageA(Form1->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(60, 265));
  SendMessageA(Form1->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(60, 265));
  Application.ProcessMessages();
  CloseHandle(holder);
  SetFileAttributesA(OptionsPath().c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(FErrors, std::vector<std::string>{"Unable to write to " + OptionsPath() + "."});
  EXPECT_TRUE(Form1->Visible());
  EXPECT_EQ(SavedBackup, 0);
  EXPECT_EQ(StoredBackup(), -1);
  EXPECT_EQ(Options(), "[Video]\r\nColorBits=16\r\n");
}

TEST_F(Frm2Test, TheCloseCommandActsLikeCancelAndAnyButtonDrags) {
  WriteOptions("[Video]\r\nColorBits=16\r\n");
  Create();
  Form1->ShowForm();
  Application.ProcessMessages();
  const int left = Form1->Left(), top = Form1->Top();
  SendMessageA(Form1->Handle(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(100, 20));
  SendMessageA(Form1->Handle(), WM_MOUSEMOVE, MK_RBUTTON, MAKELPARAM(130, 10));
  SendMessageA(Form1->Handle(), WM_RBUTTONUP, 0, MAKELPARAM(130, 10));
  SendMessageA(Form1->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(180, 60));
  EXPECT_EQ(Form1->Left(), left + 30);
  EXPECT_EQ(Form1->Top(), top - 10);
  SendMessageA(Form1->Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
  Application.ProcessMessages();
  EXPECT_FALSE(Form1->Visible());
  EXPECT_EQ(Options(), "[Video]\r\nColorBits=16\r\n");
}

// Tab walks the lists and boxes in their tab order and round the end; Shift+Tab walks back.
TEST_F(Frm2Test, TabMovesTheFocusThroughTheControlsInTabOrder) {
  Create();
  Form1->ShowForm();
  Application.ProcessMessages();
  const std::vector<HWND> order{Form1->ComboBox1->Inner(), Form1->ComboBox2->Inner(),
                                Form1->ComboBox3->Inner(), Form1->CheckBox1->Inner(),
                                Form1->CheckBox2->Inner(), Form1->ComboBox4->Inner(),
                                Form1->CheckBox3->Inner()};
  const auto pressTab = [](bool shift) {
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_SHIFT] = shift ? 0x80 : 0;
    SetKeyboardState(keys);
    PostMessageA(GetFocus(), WM_KEYDOWN, VK_TAB, 1);
    Application.ProcessMessages();
    keys[VK_SHIFT] = 0;
    SetKeyboardState(keys);
  };
  SetFocus(order[0]);
  for (size_t i = 1; i <= order.size(); ++i) {
    pressTab(false);
    EXPECT_EQ(GetFocus(), order[i % order.size()]) << "after " << i << " Tab presses";
  }
  pressTab(true);
  EXPECT_EQ(GetFocus(), order.back());
  pressTab(true);
  EXPECT_EQ(GetFocus(), order[order.size() - 2]);
}

// The screen's pixels in Area, as 0x00RRGGBB row by row; written as a BMP file to Path too.
std::vector<uint32_t> CaptureScreen(const RECT& area, const std::string& path) {
  const int width = area.right - area.left, height = area.bottom - area.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
  SelectObject(memory, old);
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = -height;
  info.biPlanes = 1;
  info.biBitCount = 32;
  info.biCompression = BI_RGB;
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height));
  GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
            reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);

  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = static_cast<DWORD>(file.bfOffBits + pixels.size() * 4);
  std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
  bytes.append(reinterpret_cast<const char*>(&info), sizeof info);
  bytes.append(reinterpret_cast<const char*>(pixels.data()), pixels.size() * 4);
  WriteFileBytes(path, bytes);
  for (uint32_t& pixel : pixels) pixel &= 0xFFFFFF;
  return pixels;
}

// While it lives, windows are made with the common controls the program's manifest picks:
// those draw check boxes through the window that holds them.
struct TProgramControls {
  TProgramControls() {
    const std::string manifest = test::NativeProgramPath(KORVATH_MANIFEST);
    ACTCTXA context{};
    context.cbSize = sizeof context;
    context.lpSource = manifest.c_str();
    ActivateActCtx(Context = CreateActCtxA(&context), &Cookie);
  }
  ~TProgramControls() {
    DeactivateActCtx(0, Cookie);
    ReleaseActCtx(Context);
  }
  HANDLE Context;
  ULONG_PTR Cookie = 0;
};

TEST_F(Frm2Test, CaptionsAndListBordersLookAsTheLayoutSaysUnderTheProgramsCommonControls) {
  TProgramControls controls;
  Create();
  Form1->ShowForm();
  for (int i = 0; i < 10; ++i) Application.ProcessMessages(), Sleep(25);
  // Where each caption is, pixels of its text colour; at each list's corner, a flat line round
  // the list's colour or the sunken edge's two shadows (greys, the same read either way round).
  const struct {
    TSystemControl* Control;
    uint32_t Outer, Inner;
  } cases[] = {{Form1->CheckBox1, 0, 0},
               {Form1->CheckBox3, 0, 0},
               {Form1->ComboBox1, GetSysColor(COLOR_WINDOWFRAME), 0x2F3C53u},
               {Form1->ComboBox3, GetSysColor(COLOR_BTNSHADOW), GetSysColor(COLOR_3DDKSHADOW)}};
  for (const auto& c : cases) {
    const int x = Form1->Left() + c.Control->Left(), y = Form1->Top() + c.Control->Top();
    const auto pixels = CaptureScreen(RECT{x, y, x + c.Control->Width(), y + 17}, FGame / "a.bmp");
    if (c.Outer == 0) {
      EXPECT_GT(std::count(pixels.begin(), pixels.end(), 0xCACACAu), 20) << c.Control->Name();
      continue;
    }
    EXPECT_EQ(pixels[0], c.Outer) << c.Control->Name();
    EXPECT_EQ(pixels[static_cast<size_t>(c.Control->Width()) + 1], c.Inner) << c.Control->Name();
  }
}

TEST_F(Frm2Test, TheSettingsButtonShowsTheDialogCentredOverTheDisabledMainWindow) {
  WriteOptions(
      "[Video]\r\nGamePlayViewportX=800\r\nGamePlayViewportY=600\r\nColorBits=32\r\n"
      "RefreshRate=75\r\nIsKeepMinFrameRate=true\r\nStartupFullScreen=false\r\n"
      "[Game]\r\nPartyLooting=1\r\n");
  SavedBackup = 1;
  auto main = std::make_unique<TFMain>();
  FMain = main.get();
  Application.SetMainForm(main.get());
  main->Timer1->SetEnabled(false);
  main->DoCreate();
  main->ShowForm();
  // The main window's creation read the (empty) settings store.
  SavedBackup = 1;
  Create();
  OptionsDialog = Form1;
  Form1->OnDone = [] { FMain->OptionsDialogClosed(); };
  Application.ProcessMessages();

  EXPECT_EQ(Application.ErrorBoxOwner(), main->Handle());
  main->ImgBtn5Click(nullptr);
  Application.ProcessMessages();
  EXPECT_FALSE(IsWindowEnabled(main->Handle()));
  ASSERT_TRUE(IsWindowVisible(Form1->Handle()));
  // The dialog belongs to the main window, and an error box of Apply to the dialog.
  EXPECT_EQ(GetWindow(Form1->Handle(), GW_OWNER), main->Handle());
  EXPECT_EQ(Application.ErrorBoxOwner(), Form1->Handle());
  EXPECT_EQ(Form1->Left(), std::max(main->Left() + (main->Width() - 220) / 2, 0));
  EXPECT_EQ(Form1->Top(), std::max(main->Top() + (main->Height() - 300) / 2, 0));
  EXPECT_EQ(Form1->Width(), 220);
  EXPECT_EQ(Form1->Height(), 300);
  for (int i = 0; i < 20; ++i) {
    Application.ProcessMessages();
    Sleep(25);
  }

  // What the player sees: the panel where the picture is, the main window's skin through the
  // cut-away corners.
  char exe[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, exe, MAX_PATH);
  std::string shot = exe;
  shot = shot.substr(0, shot.find_last_of('\\') + 1) + "options-dialog.bmp";
  const RECT area{Form1->Left(), Form1->Top(), Form1->Left() + 220, Form1->Top() + 300};
  const std::vector<uint32_t> pixels = CaptureScreen(area, shot);
  const auto at = [&](int x, int y) { return pixels[static_cast<size_t>(y) * 220 + x]; };
  EXPECT_NE(at(0, 0), 0x00FF18u) << "the key colour shows";
  EXPECT_NE(at(219, 299), 0x00FF18u) << "the key colour shows";
  EXPECT_EQ(at(15, 250), 0x233654u) << "the body";
  std::cout << "screenshot: " << shot << std::endl;

  // Cancel gives the main window back; the next show is where the dialog was.
  Form1->SetLeft(Form1->Left() + 7);
  const int left = Form1->Left();
  Form1->SpeedButton2Click(nullptr);
  EXPECT_TRUE(IsWindowEnabled(main->Handle()));
  main->ImgBtn5Click(nullptr);
  EXPECT_EQ(Form1->Left(), left);
  Form1->SpeedButton1Click(nullptr);
  EXPECT_TRUE(IsWindowEnabled(main->Handle()));
  EXPECT_EQ(Value("Game", "PartyLooting"), "1");
  EXPECT_EQ(StoredBackup(), 1);
  // The system's close command gives the main window back too.
  main->ImgBtn5Click(nullptr);
  EXPECT_FALSE(IsWindowEnabled(main->Handle()));
  SendMessageA(Form1->Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
  Application.ProcessMessages();
  EXPECT_FALSE(IsWindowVisible(Form1->Handle()));
  EXPECT_TRUE(IsWindowEnabled(main->Handle()));

  OptionsDialog = nullptr;
  FForm.reset();
  Form1 = nullptr;
  FMain = nullptr;
  main.reset();
}

}  // namespace
}  // namespace korvath
