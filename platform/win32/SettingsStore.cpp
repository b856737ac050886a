// The settings store in the registry: HKEY_LOCAL_MACHINE\Software\Korvath\<current folder>,
// always in the registry's 32-bit view so that the 32-bit and the 64-bit program share it.
#include "runtime/SettingsStore.h"

#include <windows.h>

#include <utility>
#include <vector>

#include "platform/File.h"

namespace korvath {
namespace {

constexpr REGSAM kAccess = KEY_ALL_ACCESS | KEY_WOW64_32KEY;

class RegKey {
 public:
  RegKey() = default;
  RegKey(RegKey&& other) noexcept : FKey(std::exchange(other.FKey, nullptr)) {}
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  ~RegKey() {
    if (FKey != nullptr) RegCloseKey(FKey);
  }
  HKEY* Receive() { return &FKey; }
  HKEY Get() const { return FKey; }
  explicit operator bool() const { return FKey != nullptr; }

 private:
  HKEY FKey = nullptr;
};

class TRegistrySettings final : public TSettingsStore {
 public:
  TRegistrySettings() {
    // The key is created when missing; when that fails, reads give their defaults.
    const std::string path = SettingsKeyOf(platform::GetCurrentDir());
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, kAccess,
                        nullptr, FKey.Receive(), nullptr) != ERROR_SUCCESS)
      *FKey.Receive() = nullptr;
  }

  int32_t ReadInteger(const std::string& section, const std::string& name, int32_t defaultValue) override {
    RegKey sub;
    if (!FKey || RegOpenKeyExA(FKey.Get(), section.c_str(), 0, kAccess, sub.Receive()) != ERROR_SUCCESS)
      return defaultValue;
    DWORD type = 0, size = 0;
    const LONG query = RegQueryValueExA(sub.Get(), name.c_str(), nullptr, &type, nullptr, &size);
    if (query == ERROR_FILE_NOT_FOUND) return defaultValue;
    if (query != ERROR_SUCCESS) throw ERegistryException(Format("Failed to get data for '%s'", name.c_str()));
    if (type == REG_SZ) {
      std::vector<char> text(size + 1, '\0');
      DWORD got = size;
      if (RegQueryValueExA(sub.Get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &got) !=
          ERROR_SUCCESS)
        throw ERegistryException(Format("Failed to get data for '%s'", name.c_str()));
      return StrToIntDef(std::string(text.data()), defaultValue);
    }
    if (type != REG_DWORD) throw ERegistryException(Format("Invalid data type for '%s'", name.c_str()));
    DWORD value = 0;
    DWORD got = sizeof value;
    if (RegQueryValueExA(sub.Get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &got) !=
        ERROR_SUCCESS)
      throw ERegistryException(Format("Failed to get data for '%s'", name.c_str()));
    return static_cast<int32_t>(value);
  }

  void WriteInteger(const std::string& section, const std::string& name, int32_t value) override {
    RegKey sub;
    if (!FKey || RegCreateKeyExA(FKey.Get(), section.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, kAccess,
                                 nullptr, sub.Receive(), nullptr) != ERROR_SUCCESS)
      throw ERegistryException(Format("Failed to create key %s", section.c_str()));
    DWORD type = 0;
    LONG result;
    // A value that is already text stays text.
    if (RegQueryValueExA(sub.Get(), name.c_str(), nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS &&
        type == REG_SZ) {
      const std::string text = std::to_string(value);
      result = RegSetValueExA(sub.Get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                              static_cast<DWORD>(text.size() + 1));
    } else {
      const DWORD number = static_cast<DWORD>(value);
      result = RegSetValueExA(sub.Get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                              sizeof number);
    }
    if (result != ERROR_SUCCESS) throw ERegistryException(Format("Failed to set data for '%s'", name.c_str()));
  }

 private:
  RegKey FKey;
};

}  // namespace

std::unique_ptr<TSettingsStore> OpenSettingsStore() { return std::make_unique<TRegistrySettings>(); }

}  // namespace korvath
