// A game folder of its own, made current, with an isolated settings store, and ways to plant
// values of other types the way other programs (or older versions) may have left them.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/support/TempDir.h"

namespace korvath {

class SettingsFixture : public ::testing::Test {
 protected:
  SettingsFixture();
  ~SettingsFixture() override;
  void PlantText(const std::string& name, const std::string& text);
  void PlantOtherType(const std::string& name);
  std::string ReadText(const std::string& name);
  // From here on the store refuses every write, as a store the program may not change does.
  void BlockStoreWrites();

  test::TempDir FGame;

 private:
  std::unique_ptr<test::CurrentDirScope> FInGame;
  std::string FOldConfigHome;
};

}  // namespace korvath
