// The settings of one game folder: a section/value store of integers. Windows keeps it in the
// registry under HKEY_LOCAL_MACHINE\Software\Korvath\<folder>; elsewhere a small file under the
// user's configuration folder keeps the same sections and values per game folder.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "runtime/SysUtils.h"

namespace korvath {

class ERegistryException : public Exception {
  using Exception::Exception;
};

// Section and value names of the game folder's settings.
inline constexpr const char* kSettingsSection = "Settings";
inline constexpr const char* kAtRevision = "AtRevision";
inline constexpr const char* kCreateBackup = "CreateBackup";
// The list revision the copies in the backup folder were made for.
inline constexpr const char* kBackupRevision = "BackupRevision";
// The revision and digest of the signed list last applied, as "<revision>:<digest>".
inline constexpr const char* kListDigest = "ListDigest";
// The highest revision whose signed list was taken, recorded before anything of it is applied.
inline constexpr const char* kVerifiedRevision = "VerifiedRevision";

class TSettingsStore {
 public:
  virtual ~TSettingsStore() = default;
  // The value, or Default when the section or value is missing. A value kept as text is
  // converted as a decimal integer (Default when it is not one).
  virtual int32_t ReadInteger(const std::string& section, const std::string& name,
                              int32_t defaultValue) = 0;
  // Stores the value as a number, or as its decimal text when the value is already text.
  virtual void WriteInteger(const std::string& section, const std::string& name, int32_t value) = 0;
  // The value as text (a number as its decimal digits), or Default when it is missing.
  virtual std::string ReadString(const std::string& section, const std::string& name,
                                 const std::string& defaultValue) = 0;
  virtual void WriteString(const std::string& section, const std::string& name,
                           const std::string& value) = 0;
};

// Opens (creating when missing) the store of the process's current folder.
std::unique_ptr<TSettingsStore> OpenSettingsStore();

// A value kept as text, as the store reads it: a decimal integer with an optional sign, the
// whole text and within 32 bits. Default for anything else: blanks, "$" and "0x" are no part of
// a stored number.
int32_t SettingsTextToInteger(const std::string& text, int32_t defaultValue);

// The registry path of a folder's settings: "Software\Korvath\" followed by the folder.
std::string SettingsKeyOf(const std::string& folder);

}  // namespace korvath
