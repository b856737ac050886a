#include "runtime/SettingsStore.h"

#include <string_view>

#include "platform/File.h"
#include "platform/Integer.h"
#include "platform/SettingsStore.h"

namespace korvath {
namespace {

ERegistryException Reworded(const platform::SettingsError& error) {
  const char* name = error.Name().c_str();
  switch (error.Failure()) {
    case platform::SettingsFailure::kInvalidType:
      return ERegistryException(Format("Invalid data type for '%s'", name));
    case platform::SettingsFailure::kCreateKey:
      return ERegistryException(Format("Failed to create key %s", name));
    case platform::SettingsFailure::kSetData:
      return ERegistryException(Format("Failed to set data for '%s'", name));
    case platform::SettingsFailure::kGetData:
      break;
  }
  return ERegistryException(Format("Failed to get data for '%s'", name));
}

class TSystemSettings final : public TSettingsStore {
 public:
  TSystemSettings() : FKey(platform::OpenSettingsKey(SettingsKeyOf(platform::GetCurrentDir()))) {}

  int32_t ReadInteger(const std::string& section, const std::string& name,
                      int32_t defaultValue) override {
    try {
      const platform::SettingsValue value = FKey->Read(section, name);
      switch (value.kind) {
        case platform::SettingsValue::kNumber:
          return static_cast<int32_t>(value.number);
        case platform::SettingsValue::kText:
          return SettingsTextToInteger(value.text, defaultValue);
        case platform::SettingsValue::kMissing:
          break;
      }
      return defaultValue;
    } catch (const platform::SettingsError& error) {
      throw Reworded(error);
    }
  }

  void WriteInteger(const std::string& section, const std::string& name, int32_t value) override {
    try {
      FKey->WriteInteger(section, name, value);
    } catch (const platform::SettingsError& error) {
      throw Reworded(error);
    }
  }

  std::string ReadString(const std::string& section, const std::string& name,
                         const std::string& defaultValue) override {
    try {
      const platform::SettingsValue value = FKey->Read(section, name);
      switch (value.kind) {
        case platform::SettingsValue::kNumber:
          return std::to_string(static_cast<int32_t>(value.number));
        case platform::SettingsValue::kText:
          return value.text;
        case platform::SettingsValue::kMissing:
          break;
      }
      return defaultValue;
    } catch (const platform::SettingsError& error) {
      throw Reworded(error);
    }
  }

  void WriteString(const std::string& section, const std::string& name,
                   const std::string& value) override {
    try {
      FKey->WriteText(section, name, value);
    } catch (const platform::SettingsError& error) {
      throw Reworded(error);
    }
  }

 private:
  std::unique_ptr<platform::SettingsKey> FKey;
};

}  // namespace

std::unique_ptr<TSettingsStore> OpenSettingsStore() {
  return std::make_unique<TSystemSettings>();
}

int32_t SettingsTextToInteger(const std::string& text, int32_t defaultValue) {
  std::string_view digits = text;
  const bool negative = !digits.empty() && digits.front() == '-';
  if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) digits.remove_prefix(1);
  int32_t value = 0;
  return ParseInt32(digits, 10, negative, value) ? value : defaultValue;
}

std::string SettingsKeyOf(const std::string& folder) {
  return "Software\\Korvath\\" + folder;
}

}  // namespace korvath
