#include "settings/Settings.h"

#include "platform/File.h"

namespace korvath {

std::string WorkDir;
int32_t SavedBackup = 0;
int32_t SavedRevision = 0;

void LoadSettings() {
  WorkDir = platform::GetCurrentDir() + "\\";
  auto store = OpenIniFileInstance();
  SavedBackup = store->ReadInteger(kSettingsSection, kCreateBackup, 0);
  SavedRevision = store->ReadInteger(kSettingsSection, kAtRevision, 0);
}

std::unique_ptr<TSettingsStore> OpenIniFileInstance() {
  return OpenSettingsStore();
}

}  // namespace korvath
