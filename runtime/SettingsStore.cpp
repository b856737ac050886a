#include "runtime/SettingsStore.h"

namespace korvath {

std::string SettingsKeyOf(const std::string& folder) { return "Software\\Korvath\\" + folder; }

}  // namespace korvath
