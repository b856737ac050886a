// The settings store on POSIX: one text file, $XDG_CONFIG_HOME/korvath/settings.reg (or
// ~/.config/...), laid out like a registry export so that the same key paths, sections and
// value types (number or text) hold per game folder:
//   [Software\Korvath\/home/me/Games/Korvath\Settings]
//   "AtRevision"=dword:0000000c
//   "CreateBackup"="1"
#include "platform/SettingsStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/File.h"
#include "platform/TempFile.h"

namespace korvath::platform {
namespace {

namespace fs = std::filesystem;

struct TValue {
  enum Kind { kNumber, kText, kOther } kind = kNumber;
  std::string data;  // the number as 8 hex digits, the text, or the raw value of another type
};
using TSections = std::map<std::string, std::map<std::string, TValue>>;

fs::path StoreFolder() {
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg != '\0')
    return fs::path(xdg) / "korvath";
  const char* home = std::getenv("HOME");
  return fs::path(home != nullptr ? home : ".") / ".config" / "korvath";
}

std::string Quote(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

// Reads a quoted string starting at text[i] (the opening quote); i ends after the closing one.
bool Unquote(const std::string& text, size_t& i, std::string& out) {
  if (i >= text.size() || text[i] != '"') return false;
  for (++i; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size())
      out += text[++i];
    else if (text[i] == '"')
      return ++i, true;
    else
      out += text[i];
  }
  return false;
}

TSections Load(const fs::path& file) {
  TSections sections;
  std::ifstream in(file, std::ios::binary);
  std::string line, current;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      current = line.substr(1, line.size() - 2);
      sections[current];
      continue;
    }
    size_t i = 0;
    std::string name;
    if (current.empty() || !Unquote(line, i, name) || i >= line.size() || line[i] != '=') continue;
    const std::string rest = line.substr(i + 1);
    TValue value;
    size_t j = 0;
    if (rest.rfind("dword:", 0) == 0 && rest.size() == 14) {
      value.data = rest.substr(6);
    } else if (Unquote(rest, j, value.data)) {
      value.kind = TValue::kText;
    } else {
      value.kind = TValue::kOther;
      value.data = rest;
    }
    sections[current][name] = value;
  }
  return sections;
}

bool Save(const fs::path& file, const TSections& sections) {
  std::string text;
  {
    std::ostringstream out;
    for (const auto& [section, values] : sections) {
      out << '[' << section << "]\n";
      for (const auto& [name, value] : values) {
        out << Quote(name) << '=';
        if (value.kind == TValue::kNumber)
          out << "dword:" << value.data;
        else if (value.kind == TValue::kText)
          out << Quote(value.data);
        else
          out << value.data;
        out << '\n';
      }
      out << '\n';
    }
    text = out.str();
  }
  platform::TempFile temporary(file.string() + ".new");
  size_t written = 0;
  return temporary.Create() == 0 &&
         temporary.Output().Write(text.data(), text.size(), written) == 0 &&
         temporary.Keep(file.string()) == 0;
}

// Keeps two programs from interleaving their read-modify-write of the store.
class TStoreLock {
 public:
  explicit TStoreLock(const fs::path& folder)
      : FFd(::open((folder / "settings.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
    // The lock goes with the descriptor.
    if (FFd) ::flock(static_cast<int>(FFd.Get()), LOCK_EX);
  }

 private:
  platform::UniqueHandle<platform::FileHandleTraits> FFd;
};

class TFileSettings final : public SettingsKey {
 public:
  explicit TFileSettings(const std::string& path) : FFolder(StoreFolder()), FKey(path) {
    std::error_code ec;
    fs::create_directories(FFolder, ec);
    FOpened = fs::is_directory(FFolder, ec);
  }

  SettingsValue Read(const std::string& section, const std::string& name) override {
    if (!FOpened) return {};
    const TSections all = Load(File());
    const auto s = all.find(FKey + "\\" + section);
    if (s == all.end()) return {};
    const auto v = s->second.find(name);
    if (v == s->second.end()) return {};
    if (v->second.kind == TValue::kText) return {SettingsValue::kText, 0, v->second.data};
    if (v->second.kind == TValue::kOther) throw SettingsError(SettingsFailure::kInvalidType, name);
    // A number is kept as its eight hex digits.
    const std::string& digits = v->second.data;
    uint32_t value = 0;
    const auto [end, failed] =
        std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
    if (failed != std::errc() || end != digits.data() + digits.size())
      throw SettingsError(SettingsFailure::kGetData, name);
    return {SettingsValue::kNumber, value, {}};
  }

  void WriteInteger(const std::string& section, const std::string& name, int32_t value) override {
    if (!FOpened) throw SettingsError(SettingsFailure::kCreateKey, section);
    TStoreLock lock(FFolder);
    TSections all = Load(File());
    TValue& stored = all[FKey + "\\" + section][name];
    if (stored.kind == TValue::kText) {
      stored.data = std::to_string(value);  // a value that is already text stays text
    } else {
      stored.kind = TValue::kNumber;
      char digits[9];
      std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(value));
      stored.data = digits;
    }
    if (!Save(File(), all)) throw SettingsError(SettingsFailure::kSetData, name);
  }

  void WriteText(const std::string& section, const std::string& name,
                 const std::string& text) override {
    if (!FOpened) throw SettingsError(SettingsFailure::kCreateKey, section);
    TStoreLock lock(FFolder);
    TSections all = Load(File());
    all[FKey + "\\" + section][name] = TValue{TValue::kText, text};
    if (!Save(File(), all)) throw SettingsError(SettingsFailure::kSetData, name);
  }

 private:
  fs::path File() const { return FFolder / "settings.reg"; }

  fs::path FFolder;
  std::string FKey;
  bool FOpened = false;
};

}  // namespace

std::unique_ptr<SettingsKey> OpenSettingsKey(const std::string& path) {
  return std::make_unique<TFileSettings>(path);
}

}  // namespace korvath::platform
