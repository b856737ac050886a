// The window toolkit under the main window: calls handed from worker threads to the window
// thread, gauges, and mistakes in stored layouts.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "runtime/win32/Application.h"
#include "runtime/win32/Gauge.h"
#include "runtime/win32/Label.h"

namespace korvath {
namespace {

TEST(WindowSynchronizer, RunsCallsOnTheWindowThreadAndBringsTheirErrorsBack) {
  ISynchronizer& synchronizer = Application.Synchronizer();
  const DWORD windowThread = GetCurrentThreadId();
  DWORD ranOn = 0;
  std::string caught;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    synchronizer.Synchronize([&] { ranOn = GetCurrentThreadId(); });
    try {
      synchronizer.Synchronize([] { throw Exception("Failed to set data for 'AtRevision'"); });
    } catch (const Exception& error) {
      caught = error.Message();
    }
    done = true;
  });
  // The worker waits until the window thread looks at its messages.
  while (!done) Application.ProcessMessages();
  worker.join();
  EXPECT_EQ(ranOn, windowThread);
  EXPECT_EQ(caught, "Failed to set data for 'AtRevision'");
  bool direct = false;
  synchronizer.Synchronize([&] { direct = true; });
  EXPECT_TRUE(direct) << "on the window thread the call runs at once";
}

class GaugeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FForm = std::make_unique<TForm>();
    FForm->SetBounds(40, 40, 500, 60);
    FGauge = std::make_unique<TGauge>();
    FGauge->SetParent(FForm.get());
    FGauge->SetBounds(10, 10, 430, 5);
    FForm->ShowForm();
    UpdateWindow(FForm->Handle());
  }
  void TearDown() override {
    FGauge.reset();
    FForm.reset();
  }
  bool Repaints() {
    RECT area;
    const bool pending = GetUpdateRect(FForm->Handle(), &area, FALSE) != FALSE;
    ValidateRect(FForm->Handle(), nullptr);
    return pending;
  }
  std::unique_ptr<TForm> FForm;
  std::unique_ptr<TGauge> FGauge;
};

TEST_F(GaugeTest, HoldsItsPositionInRangeAndRepaintsOnlyWhenThePercentageChanges) {
  struct Step {
    int32_t Max, Position;
    int32_t Shown, Percent;
    bool Repaint;
  };
  ValidateRect(FForm->Handle(), nullptr);
  const Step steps[] = {
      {100, 0, 0, 0, false},   {100, 1, 1, 1, true},
      {1000, 1, 1, 0, true},   {1000, 9, 9, 0, false},
      {1000, 10, 10, 1, true}, {1000, 5000, 1000, 100, true},
      {1000, -5, 0, 0, true},  {0, 7, 0, 0, false},
      {-1, 7, 0, 0, false},    {2147483647, 2147483646, 2147483646, 99, true},
  };
  for (const Step& step : steps) {
    FGauge->SetMaxValue(step.Max);
    FGauge->SetProgress(step.Position);
    EXPECT_EQ(FGauge->Progress(), step.Shown) << step.Max << " " << step.Position;
    EXPECT_EQ(FGauge->PercentDone(), step.Percent) << step.Max << " " << step.Position;
    EXPECT_EQ(Repaints(), step.Repaint) << step.Max << " " << step.Position;
  }
  FGauge->SetMaxValue(100);
  FGauge->SetProgress(80);
  Repaints();
  FGauge->SetMaxValue(40);
  EXPECT_EQ(FGauge->Progress(), 40) << "a position above a new maximum drops to it";
  EXPECT_EQ(FGauge->PercentDone(), 100);
  EXPECT_TRUE(Repaints());
}

TEST(FormLayout, MistakesInAStoredLayoutAreReported) {
  const std::vector<std::pair<const char*, TFormDesc>> cases = {
      {"unknown class", TFormDesc{{}, {{"A", "TNoSuchControl", nullptr, {}}}}},
      {"unknown property", TFormDesc{{}, {{"A", "TLabel", nullptr, {{"Colour", 1}}}}}},
      {"wrong kind", TFormDesc{{}, {{"A", "TLabel", nullptr, {{"Left", TText{"ten"}}}}}}},
      {"missing handler",
       TFormDesc{{}, {{"A", "TLabel", nullptr, {{"OnClick", THandlerRef{"A2Click"}}}}}}},
      {"handler that does not fit",
       TFormDesc{{}, {{"A", "TLabel", nullptr, {{"OnClick", THandlerRef{"A1Click"}}}}}}},
      {"missing picture",
       TFormDesc{{}, {{"A", "TImage", nullptr, {{"Picture", TPictureRef{"NO_SUCH_BMP"}}}}}}},
      {"unknown parent", TFormDesc{{}, {{"A", "TPanel", "Panel9", {}}}}},
      {"duplicate name",
       TFormDesc{{}, {{"A", "TLabel", nullptr, {}}, {"A", "TLabel", nullptr, {}}}}},
  };
  for (const auto& [name, layout] : cases) {
    TForm form;
    form.Publish<TMouseEvent>("A1Click", TMouseEvent{});
    EXPECT_THROW(form.LoadLayout(layout, GetModuleHandleA(nullptr)), Exception) << name;
  }
}

TEST(FormLayout, AnOptionalFormThatCannotBeMadeIsShownAsAnErrorAndLeftOut) {
  struct TBroken : TForm {
    TBroken() { LoadLayout({{}, {{"A", "TNoSuchControl", nullptr, {}}}}, nullptr); }
  };
  std::string error;
  Application.OnException = [&](const std::string& text) { error += text; };
  TBroken* form = nullptr;
  Application.CreateOptionalForm(form);
  Application.OnException = nullptr;
  EXPECT_EQ(form, nullptr);
  EXPECT_NE(error.find("TNoSuchControl"), std::string::npos) << error;
}

TEST(FormLayout, ALabelSizesItselfToItsTextUnlessToldNot) {
  TForm form;
  form.LoadLayout(
      TFormDesc{{{"Font.Name", TText{"MS Sans Serif"}}, {"Font.Height", -11}},
                {{"Short", "TLabel", nullptr, {{"Caption", TText{"Hi"}}, {"Width", 200}}},
                 {"Long", "TLabel", nullptr, {{"Caption", TText{"Total Progress & more"}}}},
                 {"Fixed",
                  "TLabel",
                  nullptr,
                  {{"AutoSize", false},
                   {"Width", 50},
                   {"Height", 13},
                   {"Caption", TText{"A long text"}}}}}},
      GetModuleHandleA(nullptr));
  auto* shortLabel = form.Find<TLabel>("Short");
  auto* longLabel = form.Find<TLabel>("Long");
  EXPECT_LT(shortLabel->Width(), 40);
  EXPECT_GT(longLabel->Width(), shortLabel->Width() * 4);
  EXPECT_EQ(longLabel->Height(), shortLabel->Height());
  EXPECT_EQ(form.Find<TLabel>("Fixed")->Width(), 50);
}

}  // namespace
}  // namespace korvath
