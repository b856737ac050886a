#include "tests/support/SettingsFixture.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/File.h"
#include "runtime/SettingsStore.h"

namespace korvath {
namespace {

std::string StoreFile(const test::TempDir& game) {
  return game / "config/korvath/settings.reg";
}

// Appended piece by piece: GCC 12 at -O3 takes "[" + key + ... for an overlapping copy
// (-Wrestrict).
std::string SectionHeader() {
  std::string header = "[";
  header += SettingsKeyOf(platform::GetCurrentDir());
  header += '\\';
  header += kSettingsSection;
  header += "]\n";
  return header;
}

}  // namespace

SettingsFixture::SettingsFixture() {
  const char* old = std::getenv("XDG_CONFIG_HOME");
  FOldConfigHome = old != nullptr ? old : "";
  // The store lives inside the test's own folder, so that tests never share one.
  setenv("XDG_CONFIG_HOME", (FGame / "config").c_str(), 1);
  FInGame = std::make_unique<test::CurrentDirScope>(FGame.Path());
}

SettingsFixture::~SettingsFixture() {
  FInGame.reset();
  if (FOldConfigHome.empty())
    unsetenv("XDG_CONFIG_HOME");
  else
    setenv("XDG_CONFIG_HOME", FOldConfigHome.c_str(), 1);
}

void SettingsFixture::PlantText(const std::string& name, const std::string& text) {
  test::WriteFileBytes(StoreFile(FGame), test::ReadFileBytes(StoreFile(FGame)) + SectionHeader() +
                                             "\"" + name + "\"=\"" + text + "\"\n");
}

void SettingsFixture::PlantOtherType(const std::string& name) {
  test::WriteFileBytes(StoreFile(FGame), test::ReadFileBytes(StoreFile(FGame)) + SectionHeader() +
                                             "\"" + name + "\"=hex:01,02\n");
}

std::string SettingsFixture::ReadText(const std::string& name) {
  const std::string all = test::ReadFileBytes(StoreFile(FGame));
  const std::string key = "\"" + name + "\"=\"";
  const size_t at = all.find(key);
  if (at == std::string::npos) return "(not text)";
  const size_t from = at + key.size();
  return all.substr(from, all.find('"', from) - from);
}

void SettingsFixture::BlockStoreWrites() {
  // A folder where the store puts its new text before it takes its place.
  std::filesystem::create_directories(StoreFile(FGame) + ".new");
}

}  // namespace korvath
