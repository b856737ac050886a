#include "tests/support/SettingsFixture.h"

#include <windows.h>

#include "platform/File.h"
#include "runtime/SettingsStore.h"

namespace korvath {
namespace {

HKEY SectionKey() {
  const std::string path = SettingsKeyOf(platform::GetCurrentDir()) + "\\" + kSettingsSection;
  HKEY key = nullptr;
  RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY,
                  nullptr, &key, nullptr);
  return key;
}

}  // namespace

// Every test has its own folder, and so its own key; the keys are removed afterwards.
SettingsFixture::SettingsFixture() {
  FInGame = std::make_unique<test::CurrentDirScope>(FGame.Path());
}

SettingsFixture::~SettingsFixture() {
  const std::string path = SettingsKeyOf(platform::GetCurrentDir());
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, path.c_str());
  FInGame.reset();
}

void SettingsFixture::PlantText(const std::string& name, const std::string& text) {
  HKEY key = SectionKey();
  RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>(text.size() + 1));
  RegCloseKey(key);
}

void SettingsFixture::PlantOtherType(const std::string& name) {
  HKEY key = SectionKey();
  const BYTE bytes[2] = {1, 2};
  RegSetValueExA(key, name.c_str(), 0, REG_BINARY, bytes, sizeof bytes);
  RegCloseKey(key);
}

std::string SettingsFixture::ReadText(const std::string& name) {
  HKEY key = SectionKey();
  char buffer[256] = {};
  DWORD size = sizeof buffer - 1, type = 0;
  const LONG r =
      RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  return r == ERROR_SUCCESS && type == REG_SZ ? std::string(buffer) : "(not text)";
}

void SettingsFixture::BlockStoreWrites() {
  // A volatile key takes no lasting key below it: the settings' section cannot be made.
  const std::string path = SettingsKeyOf(platform::GetCurrentDir());
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, path.c_str());
  HKEY key = nullptr;
  RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                  KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &key, nullptr);
  RegCloseKey(key);
}

}  // namespace korvath
