// The settings store in the registry: HKEY_LOCAL_MACHINE\Software\Korvath\<current folder>,
// always in the registry's 32-bit view so that the 32-bit and the 64-bit program share it.
#include "platform/SettingsStore.h"

#include <windows.h>

#include <vector>

#include "platform/Handle.h"

namespace korvath::platform {
namespace {

constexpr REGSAM kAccess = KEY_ALL_ACCESS | KEY_WOW64_32KEY;

struct RegKeyTraits {
  using Type = HKEY;
  static constexpr HKEY Empty() noexcept { return nullptr; }
  static void Close(HKEY key) noexcept { RegCloseKey(key); }
};
using RegKey = UniqueHandle<RegKeyTraits>;

// Opens or creates the key Name below Parent; an empty owner when the system refuses.
RegKey OpenKey(HKEY parent, const std::string& name, bool create) {
  HKEY key = nullptr;
  const LONG result =
      create ? RegCreateKeyExA(parent, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, kAccess,
                               nullptr, &key, nullptr)
             : RegOpenKeyExA(parent, name.c_str(), 0, kAccess, &key);
  return RegKey(result == ERROR_SUCCESS ? key : nullptr);
}

class TRegistrySettings final : public SettingsKey {
 public:
  // The key is created when missing; when that fails, reads find nothing.
  explicit TRegistrySettings(const std::string& path)
      : FKey(OpenKey(HKEY_LOCAL_MACHINE, path, true)) {}

  SettingsValue Read(const std::string& section, const std::string& name) override {
    const RegKey sub = FKey ? OpenKey(FKey.Get(), section, false) : RegKey();
    if (!sub) return {};
    DWORD type = 0, size = 0;
    const LONG query = RegQueryValueExA(sub.Get(), name.c_str(), nullptr, &type, nullptr, &size);
    if (query == ERROR_FILE_NOT_FOUND) return {};
    if (query != ERROR_SUCCESS) throw SettingsError(SettingsFailure::kGetData, name);
    if (type == REG_SZ) {
      std::vector<char> text(size + 1, '\0');
      DWORD got = size;
      if (RegQueryValueExA(sub.Get(), name.c_str(), nullptr, &type,
                           reinterpret_cast<BYTE*>(text.data()), &got) != ERROR_SUCCESS)
        throw SettingsError(SettingsFailure::kGetData, name);
      return {SettingsValue::kText, 0, std::string(text.data())};
    }
    if (type != REG_DWORD) throw SettingsError(SettingsFailure::kInvalidType, name);
    DWORD value = 0;
    DWORD got = sizeof value;
    if (RegQueryValueExA(sub.Get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value),
                         &got) != ERROR_SUCCESS)
      throw SettingsError(SettingsFailure::kGetData, name);
    return {SettingsValue::kNumber, value, {}};
  }

  void WriteInteger(const std::string& section, const std::string& name, int32_t value) override {
    const RegKey sub = FKey ? OpenKey(FKey.Get(), section, true) : RegKey();
    if (!sub) throw SettingsError(SettingsFailure::kCreateKey, section);
    DWORD type = 0;
    LONG result;
    // A value that is already text stays text.
    if (RegQueryValueExA(sub.Get(), name.c_str(), nullptr, &type, nullptr, nullptr) ==
            ERROR_SUCCESS &&
        type == REG_SZ) {
      const std::string text = std::to_string(value);
      result = RegSetValueExA(sub.Get(), name.c_str(), 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(text.c_str()),
                              static_cast<DWORD>(text.size() + 1));
    } else {
      const DWORD number = static_cast<DWORD>(value);
      result = RegSetValueExA(sub.Get(), name.c_str(), 0, REG_DWORD,
                              reinterpret_cast<const BYTE*>(&number), sizeof number);
    }
    if (result != ERROR_SUCCESS) throw SettingsError(SettingsFailure::kSetData, name);
  }

  void WriteText(const std::string& section, const std::string& name,
                 const std::string& text) override {
    const RegKey sub = FKey ? OpenKey(FKey.Get(), section, true) : RegKey();
    if (!sub) throw SettingsError(SettingsFailure::kCreateKey, section);
    if (RegSetValueExA(sub.Get(), name.c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>(text.size() + 1)) != ERROR_SUCCESS)
      throw SettingsError(SettingsFailure::kSetData, name);
  }

 private:
  RegKey FKey;
};

}  // namespace

std::unique_ptr<SettingsKey> OpenSettingsKey(const std::string& path) {
  return std::make_unique<TRegistrySettings>(path);
}

}  // namespace korvath::platform
