// The settings of the game folder the launcher's windows share: read once when the main window
// is made, then changed by the options dialog and by finished runs.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "runtime/SettingsStore.h"

namespace korvath {

// The game folder with a backslash, and the settings as the main window read them at its
// creation.
extern std::string WorkDir;
extern int32_t SavedBackup;
extern int32_t SavedRevision;
void LoadSettings();

// Opens (creating when missing) the settings of the current folder; the caller frees it.
std::unique_ptr<TSettingsStore> OpenIniFileInstance();

}  // namespace korvath
