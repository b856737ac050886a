// The settings of one game folder as the system keeps them: a registry key on Windows, a small
// file elsewhere. Sections hold named values that are numbers or text; the run-time's settings
// classes give them their meaning and their messages.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

namespace korvath::platform {

struct SettingsValue {
  enum Kind { kMissing, kNumber, kText };
  Kind kind = kMissing;
  uint32_t number = 0;  // a number's 32 bits
  std::string text;
};

// What a read or a write could not do, and the value or section it was about.
enum class SettingsFailure { kGetData, kInvalidType, kCreateKey, kSetData };

class SettingsError : public std::runtime_error {
 public:
  SettingsError(SettingsFailure failure, const std::string& name)
      : std::runtime_error(name), FFailure(failure), FName(name) {}
  SettingsFailure Failure() const noexcept { return FFailure; }
  const std::string& Name() const noexcept { return FName; }

 private:
  SettingsFailure FFailure;
  std::string FName;
};

class SettingsKey {
 public:
  virtual ~SettingsKey() = default;
  // The value, kMissing when the section or the value is not there. Throws SettingsError
  // (kGetData, kInvalidType) for a value that cannot be read or is neither number nor text.
  virtual SettingsValue Read(const std::string& section, const std::string& name) = 0;
  // Stores the value as a number, or as its decimal text when the value is already text.
  // Throws SettingsError (kCreateKey with the section, kSetData with the name).
  virtual void WriteInteger(const std::string& section, const std::string& name, int32_t value) = 0;
  // Stores the value as text, whatever type it had. Throws like WriteInteger.
  virtual void WriteText(const std::string& section, const std::string& name,
                         const std::string& text) = 0;
};

// Opens the key of that path ("Software\Korvath\<folder>"), creating it when missing. A key
// that cannot be opened reads as empty and refuses writes.
std::unique_ptr<SettingsKey> OpenSettingsKey(const std::string& path);

}  // namespace korvath::platform
