// The image button with real window messages: presses and releases are sent to the form's
// window; enter and leave come from the application's tracking of the control under the mouse.
#include "controls/ImgBtn.h"

#include <gtest/gtest.h>
#include <windowsx.h>

#include <memory>
#include <string>
#include <vector>

#include "runtime/win32/Application.h"

namespace korvath {
namespace {

TPicture Solid(uint32_t colour, int width = 60, int height = 30) {
  return TPicture(TBitmap::FromPixels(
      width, height, std::vector<uint32_t>(static_cast<size_t>(width * height), colour)));
}

enum class Act { Enter, Leave, Press, Release, RightPress, RightRelease, DoubleClick, Hide, Show };
enum class Shown { Start, Pic, Up, Down };

struct Step {
  Act Action;
  Shown Expected;
  int Clicks;
};

struct Scenario {
  const char* Name;
  std::vector<Step> Steps;
};

class ImgBtnTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FForm = std::make_unique<TForm>();
    FForm->SetBounds(60, 60, 240, 120);
    FButton = new TImgBtn;
    FOwned.reset(FButton);
    FButton->SetParent(FForm.get());
    FButton->SetBounds(40, 30, 60, 30);
    FButton->Picture().Assign(FStart);
    FButton->SetPic(FPic);
    FButton->Picture().Assign(FStart);  // as a layout leaves it: the stored start picture
    FButton->SetPicUp(FUp);
    FButton->SetPicDown(FDown);
    FButton->OnClick = [this](TObject*) {
      ++FClicks;
      FShownAtClick = Current();
      if (FHideOnClick) FButton->Hide();
    };
    FForm->ShowForm();
    Cursor(200, 100);  // away from the button
  }

  void TearDown() override {
    Application.CursorPos = [] {
      POINT point{};
      GetCursorPos(&point);
      return point;
    };
    FOwned.reset();
    FForm.reset();
    Application.ProcessMessages();
  }

  // Puts the mouse at a point of the form's client area and lets the application look.
  void Cursor(int x, int y) {
    FX = x;
    FY = y;
    POINT screen{x, y};
    ClientToScreen(FForm->Handle(), &screen);
    Application.CursorPos = [screen] { return screen; };
    Application.ProcessMessages();
  }

  void Send(UINT message, WPARAM keys) {
    SendMessageA(FForm->Handle(), message, keys, MAKELPARAM(FX, FY));
    Application.ProcessMessages();
  }

  void Do(Act action) {
    switch (action) {
      case Act::Enter:
        Cursor(60, 40);
        break;
      case Act::Leave:
        Cursor(200, 100);
        break;
      case Act::Press:
        Send(WM_LBUTTONDOWN, MK_LBUTTON);
        break;
      case Act::Release:
        Send(WM_LBUTTONUP, 0);
        break;
      case Act::RightPress:
        Send(WM_RBUTTONDOWN, MK_RBUTTON);
        break;
      case Act::RightRelease:
        Send(WM_RBUTTONUP, 0);
        break;
      case Act::DoubleClick:
        Send(WM_LBUTTONDBLCLK, MK_LBUTTON);
        break;
      case Act::Hide:
        FButton->Hide();
        Application.ProcessMessages();
        break;
      case Act::Show:
        FButton->Show();
        Application.ProcessMessages();
        break;
    }
  }

  Shown Current() const {
    const TPicture& shown = FButton->Picture();
    if (shown.SameAs(FPic)) return Shown::Pic;
    if (shown.SameAs(FUp)) return Shown::Up;
    if (shown.SameAs(FDown)) return Shown::Down;
    return Shown::Start;
  }

  TPicture FStart = Solid(0x101010), FPic = Solid(0x2040A0), FUp = Solid(0x60A0FF),
           FDown = Solid(0x3060C0);
  std::unique_ptr<TForm> FForm;
  std::unique_ptr<TImgBtn> FOwned;
  TImgBtn* FButton = nullptr;
  int FX = 0, FY = 0;
  int FClicks = 0;
  Shown FShownAtClick = Shown::Start;
  bool FHideOnClick = false;
};

const char* NameOf(Shown shown) {
  switch (shown) {
    case Shown::Start:
      return "start";
    case Shown::Pic:
      return "Pic";
    case Shown::Up:
      return "PicUp";
    case Shown::Down:
      return "PicDown";
  }
  return "?";
}

TEST_F(ImgBtnTest, MouseSequencesShowTheRightPictureAndClickOnlyOnReleaseOverTheButton) {
  const std::vector<Scenario> scenarios = {
      {"enter, press, leave, return, release",
       {{Act::Enter, Shown::Up, 0},
        {Act::Press, Shown::Down, 0},
        {Act::Leave, Shown::Pic, 0},
        {Act::Enter, Shown::Down, 0},
        {Act::Release, Shown::Up, 1},
        {Act::Leave, Shown::Pic, 1}}},
      {"release outside after dragging off",
       {{Act::Enter, Shown::Up, 0},
        {Act::Press, Shown::Down, 0},
        {Act::Leave, Shown::Pic, 0},
        {Act::Release, Shown::Pic, 0},
        {Act::Enter, Shown::Up, 0}}},
      {"the right button changes nothing",
       {{Act::Enter, Shown::Up, 0},
        {Act::RightPress, Shown::Up, 0},
        {Act::RightRelease, Shown::Up, 0}}},
      {"a double click is one click",
       {{Act::Enter, Shown::Up, 0},
        {Act::Press, Shown::Down, 0},
        {Act::Release, Shown::Up, 1},
        {Act::DoubleClick, Shown::Up, 1},
        {Act::Release, Shown::Up, 1}}},
      {"the start picture stays until the first enter",
       {{Act::RightPress, Shown::Start, 0},
        {Act::RightRelease, Shown::Start, 0},
        {Act::Enter, Shown::Up, 0},
        {Act::Leave, Shown::Pic, 0}}},
      {"hidden while hovered shows Pic again",
       {{Act::Enter, Shown::Up, 0}, {Act::Hide, Shown::Pic, 0}, {Act::Show, Shown::Up, 0}}},
  };
  for (const Scenario& scenario : scenarios) {
    SCOPED_TRACE(scenario.Name);
    TearDown();
    FClicks = 0;
    SetUp();
    int index = 0;
    for (const Step& step : scenario.Steps) {
      Do(step.Action);
      EXPECT_STREQ(NameOf(Current()), NameOf(step.Expected)) << "after step " << index;
      EXPECT_EQ(FClicks, step.Clicks) << "after step " << index;
      ++index;
    }
    EXPECT_FALSE(FButton->Pressed());
  }
}

TEST_F(ImgBtnTest, ClickFiresWhileThePressedPictureIsShownAndBeforeOnMouseUp) {
  std::vector<std::string> events;
  FButton->OnMouseDown = [&](TWMMouse& Msg) {
    events.push_back("down " + std::to_string(Msg.XPos) + "," + std::to_string(Msg.YPos));
  };
  FButton->OnMouseUp = [&](TWMMouse&) {
    events.push_back(FClicks == 1 ? "up after click" : "up before click");
  };
  FButton->OnMouseEnter = [&](TWMMouse& Msg) {
    events.push_back(Msg.Msg == CM_MOUSEENTER && Msg.Keys == 0 && Msg.XPos == 0 ? "enter"
                                                                                : "enter?");
  };
  FButton->OnMouseLeave = [&](TWMMouse& Msg) {
    events.push_back(Msg.Msg == CM_MOUSELEAVE ? "leave" : "leave?");
  };
  Do(Act::Enter);
  Do(Act::Press);
  Do(Act::Release);
  Do(Act::Leave);
  EXPECT_EQ(FShownAtClick, Shown::Down);
  // The press at client (60, 40) of the form is (20, 10) of the button.
  EXPECT_EQ(events, (std::vector<std::string>{"enter", "down 20,10", "up after click", "leave"}));
}

TEST_F(ImgBtnTest, ButtonHiddenByItsClickShowsPicWhenShownAgain) {
  FHideOnClick = true;
  Do(Act::Enter);
  Do(Act::Press);
  Do(Act::Release);
  EXPECT_EQ(FClicks, 1);
  EXPECT_FALSE(FButton->Inside()) << "hiding the button under the mouse is a leave";
  Do(Act::Leave);
  FButton->Show();
  EXPECT_EQ(Current(), Shown::Pic);
}

TEST_F(ImgBtnTest, SetPicShowsAtOnceWhileSetPicUpAndSetPicDownDoNot) {
  const TPicture other = Solid(0xFFFF00);
  FButton->SetPicUp(other);
  FButton->SetPicDown(other);
  EXPECT_EQ(Current(), Shown::Start);
  EXPECT_TRUE(FButton->PicUp().SameAs(other));
  FButton->SetPic(other);
  EXPECT_TRUE(FButton->Picture().SameAs(other));
  EXPECT_TRUE(FButton->Pic().SameAs(other));
}

TEST_F(ImgBtnTest, UnsupportedButtonKeepsItsPictureAndTellsNothingButStillClicks) {
  FButton->SetSupported(false);
  int notices = 0;
  FButton->OnMouseEnter = [&](TWMMouse&) { ++notices; };
  FButton->OnMouseDown = [&](TWMMouse&) { ++notices; };
  FButton->OnMouseUp = [&](TWMMouse&) { ++notices; };
  FButton->OnMouseLeave = [&](TWMMouse&) { ++notices; };
  for (Act action : {Act::Enter, Act::Press, Act::Leave, Act::Enter, Act::Release, Act::Leave})
    Do(action);
  EXPECT_EQ(Current(), Shown::Start);
  EXPECT_EQ(notices, 0);
  EXPECT_EQ(FClicks, 1);
  EXPECT_FALSE(FButton->Inside());
  EXPECT_FALSE(FButton->Pressed());
}

TEST_F(ImgBtnTest, PressesOnAHiddenOrDisabledButtonGoToTheFormBeneath) {
  int formPresses = 0;
  FForm->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int, int) { ++formPresses; };
  Do(Act::Enter);
  FButton->SetEnabled(false);
  Do(Act::Press);
  Do(Act::Release);
  FButton->SetEnabled(true);
  FButton->Hide();
  Do(Act::Press);
  Do(Act::Release);
  EXPECT_EQ(formPresses, 2);
  EXPECT_EQ(FClicks, 0);
}

}  // namespace
}  // namespace korvath
