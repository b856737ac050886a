// The list reader against a plain model of the list's format, on any bytes: the same entries for
// every section the run asks for, the same values, and an error exactly where a settings entry
// has no fields.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "list/LstFile.h"
#include "transfer/Misc.h"

namespace {

using korvath::TStringList;

// The lines as the format defines them: LF ends a line, a CR is dropped, Ctrl-Z ends the text;
// each line trimmed of everything with a code of 32 or less.
std::vector<std::string> ModelLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (const char c : text) {
    if (c == '\x1a') break;
    if (c == '\n') {
      lines.push_back(korvath::Trim(line));
      line.clear();
    } else if (c != '\r') {
      line += c;
    }
  }
  lines.push_back(korvath::Trim(line));
  return lines;
}

// Index of the first line after the section's opening line; lines.size() when there is none.
size_t ModelSectionStart(const std::vector<std::string>& lines, const std::string& name) {
  for (size_t i = 0; i < lines.size(); ++i)
    if (lines[i] == "[" + name + "]") return i + 1;
  return lines.size();
}

TStringList ModelSection(const std::vector<std::string>& lines, const std::string& name) {
  TStringList result;
  for (size_t i = ModelSectionStart(lines, name); i < lines.size(); ++i) {
    if (lines[i] == "[/" + name + "]") break;
    if (!lines[i].empty()) result.push_back(lines[i]);
  }
  if (result.empty()) result.push_back("FAIL");
  return result;
}

// The value, or "!" for the error of an entry without fields.
std::string ModelValue(const std::vector<std::string>& lines, const std::string& section,
                       const std::string& key) {
  for (size_t i = ModelSectionStart(lines, section); i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (!line.empty()) {
      // Fields from the left; empty ones do not count.
      std::vector<std::string> fields;
      std::string field;
      for (const char c : line + "|") {
        if (c != '|') {
          field += c;
        } else if (!field.empty()) {
          fields.push_back(field);
          field.clear();
        }
      }
      if (fields.empty()) return "!";
      if (fields.front() == key) return fields.back();
    }
    if (line == "[/" + section + "]") return "";
  }
  return "";
}

std::string ReaderValue(korvath::TListFile& list, const std::string& section,
                        const std::string& key) {
  std::string value = "(not set)";
  try {
    list.ReadValue(section, key, value);
  } catch (const korvath::EStringListError&) {
    FUZZ_CHECK(value.empty());  // cleared before the search
    return "!";
  }
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = korvath::fuzz::ScratchPath("files.lst");
  const std::string text(reinterpret_cast<const char*>(data), size);
  korvath::fuzz::WriteScratch(path, text);
  const std::vector<std::string> lines = ModelLines(text);

  korvath::TListFile list(path);
  // In the order a run asks, and a second time: every lookup starts again from the top.
  for (int pass = 0; pass < 2; ++pass) {
    for (const char* key : {"Rev", "ModHosts"})
      FUZZ_CHECK(ReaderValue(list, "settings", key) == ModelValue(lines, "settings", key));
    for (const char* section : {"hosts", "self", "files_critical", "files_normal"})
      FUZZ_CHECK(list.GetSection(section) == ModelSection(lines, section));
  }
  return 0;
}
