// The reader of the update list "files.lst": named sections of "|"-separated entries,
// each section opened by [name] and closed by [/name].
#pragma once

#include <string>

#include "platform/File.h"
#include "runtime/SysUtils.h"
#include "transfer/Misc.h"

namespace korvath {

class EStringListError : public Exception {
  using Exception::Exception;
};

class TListFile {
 public:
  // Binds the reader to the list; nothing is opened until the first lookup.
  explicit TListFile(std::string fileName);

  // The entries of the first section called Name, trimmed, empty lines left out; the single
  // line "FAIL" when the section is missing or empty. Raises EInOutError when the list
  // cannot be opened.
  TStringList GetSection(const std::string& name);

  // The last field of the first entry of Section whose first field is Key; empty when the
  // section or the key is missing. An entry made only of "|" raises EStringListError.
  void ReadValue(const std::string& section, const std::string& key, std::string& value);

 private:
  // Reopens the list at its start.
  void Reset();
  // The next line, trimmed of everything with a code of 32 or less; false at the end.
  bool ReadLine(std::string& line);
  // Skips to the line that opens section Name; false when the list has none.
  bool FindSection(const std::string& name);

  std::string FFileName;
  platform::File FFile;
  std::string FBuffer;
  size_t FBufferPos = 0;
  bool FEnded = false;
};

// The entries of a section as GetSection gives it: none when it is the missing-section marker.
size_t EntryCount(const TStringList& section);

// Removes leading and trailing characters with codes of 32 or less.
std::string Trim(const std::string& text);

}  // namespace korvath
