// Hosts-file editing: the list's "hosts" section becomes mappings in the system's hosts file.
// A line that maps an entry's name elsewhere loses that name (commented out when no other name
// is left) and the missing mappings are appended as one marked block; the new file replaces the
// old one in one step.
#include "platform/Hosts.h"

#include <algorithm>
#include <string_view>

#include "engine/GetFilesThr.h"
#include "list/HostsEntry.h"
#include "list/LstFile.h"
#include "platform/File.h"
#include "platform/TempFile.h"
#include "runtime/SysUtils.h"

namespace korvath {
namespace {

constexpr const char* kOpeningMarker = "#-------- Added by Korvath --------";
constexpr const char* kClosingMarker = "#-----------------";
// Where the new file is written before it takes the hosts file's place.
constexpr const char* kReplacementSuffix = ".korvath-new";
// A hosts file is a small text file; anything far bigger is not one to rewrite.
constexpr int64_t kMaxHostsSize = 16 * 1024 * 1024;

class EHostsError : public Exception {
  using Exception::Exception;
};

struct THostsEntry {
  std::string Address;
  std::string Host;
};

// Every entry is checked before the hosts file is read: the entries come from the network and
// go into a file every program on the machine trusts.
std::vector<THostsEntry> CheckedEntries(const TStringList& section) {
  if (section.size() == 1 && section.front() == "FAIL")
    throw EHostsError("The update list asks for hosts entries but has no \"hosts\" section");
  std::vector<THostsEntry> entries;
  for (const std::string& line : section) {
    const TStringList fields = SplitFromEnd(line, "|");
    if (fields.size() < 2)
      throw EHostsError(Format("The update list's hosts entry '%s' has fewer than two fields",
                               Printable(line).c_str()));
    THostsEntry entry{fields[1], fields[0]};
    if (const std::string reason = RefusedHostsEntryReason(entry.Address, entry.Host);
        !reason.empty())
      throw EHostsError(Format("The update list's hosts entry '%s' is refused: %s",
                               Printable(line).c_str(), reason.c_str()));
    entries.push_back(std::move(entry));
  }
  return entries;
}

// The file's lines, each trimmed, empty lines kept. CR LF, LF and a lone CR all end a line, so
// that a rewrite keeps every line of a file whatever wrote it.
TStringList ReadHostsLines(const std::string& path) {
  auto fail = [&](int error) {
    return EHostsError(Format("The hosts file %s cannot be read: %s", path.c_str(),
                              platform::SysErrorMessage(error).c_str()));
  };
  platform::File file;
  if (const int error =
          platform::File::Open(path, platform::Access::Read, platform::Share::ReadWrite,
                               platform::Disposition::OpenExisting, file))
    throw fail(error);
  int64_t size = 0;
  if (const int error = file.Size(size)) throw fail(error);
  if (size > kMaxHostsSize)
    throw EHostsError(Format("The hosts file %s is too large to be a hosts file", path.c_str()));
  std::string text(static_cast<size_t>(size), '\0');
  size_t got = 0;
  if (const int error = file.Read(text.data(), text.size(), got)) throw fail(error);
  text.resize(got);

  TStringList lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.push_back(Trim(text.substr(start, i - start)));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.push_back(Trim(text.substr(start)));
  return lines;
}

// The fields of a hosts line: separated by blanks and TABs, ended by "#".
std::vector<std::string_view> LineFields(std::string_view line) {
  line = line.substr(0, line.find('#'));
  std::vector<std::string_view> fields;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    const size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) fields.push_back(line.substr(start, i - start));
  }
  return fields;
}

// What takes the place of a line some of whose names the list maps elsewhere. The line stays in
// the file as a comment; when other names are left on it, the line follows without the dropped
// ones (each goes with the blanks ahead of it, the rest stays as it was), so that the names the
// list does not care about go on resolving.
std::string WithoutNames(const std::string& line, const std::vector<std::string_view>& fields,
                         const std::vector<bool>& dropped) {
  const std::string commented = "#" + line;
  if (std::find(dropped.begin() + 1, dropped.end(), false) == dropped.end()) return commented;
  std::string kept;
  size_t from = 0;
  for (size_t i = 1; i < fields.size(); ++i) {
    if (!dropped[i]) continue;
    const size_t start = static_cast<size_t>(fields[i].data() - line.data());
    size_t gap = start;
    while (gap > from && (line[gap - 1] == ' ' || line[gap - 1] == '\t')) --gap;
    kept.append(line, from, gap - from);
    from = start + fields[i].size();
  }
  kept.append(line, from, std::string::npos);
  return commented + "\r\n" + kept;
}

void ReplaceHostsFile(const std::string& path, const std::string& text) {
  auto fail = [&](int error) {
    return EHostsError(Format("The hosts file %s cannot be changed: %s", path.c_str(),
                              platform::SysErrorMessage(error).c_str()));
  };
  // The file beside the hosts file that becomes the hosts file, or is removed again.
  platform::TempFile replacement(path + kReplacementSuffix);
  if (const int error = replacement.Create()) throw fail(error);
  size_t written = 0;
  if (const int error = replacement.Output().Write(text.data(), text.size(), written))
    throw fail(error);
  if (const int error = replacement.Keep(path, platform::ReplaceHostsFile)) throw fail(error);
}

}  // namespace

void GFilesThread::ModifyHosts(const TStringList& hosts) {
  const std::string path = platform::HostsFilePath();
  if (path.empty()) return;  // no Windows folder, no hosts file to edit
  const std::vector<THostsEntry> entries = CheckedEntries(hosts);
  const TStringList lines = ReadHostsLines(path);
  // Each line's fields (none for a comment), and which of its names the list maps elsewhere.
  std::vector<std::vector<std::string_view>> fields(lines.size());
  std::vector<std::vector<bool>> dropped(lines.size());
  for (size_t l = 0; l < lines.size(); ++l) {
    if (lines[l].empty() || lines[l][0] == '#') continue;
    fields[l] = LineFields(lines[l]);
    dropped[l].assign(fields[l].size(), false);
  }

  // A name the list maps to several addresses (say one of each family) keeps all of them: a
  // line is in the way only when its address is none of the list's for that name. Otherwise
  // each run would comment out the mapping the previous one added and append it again.
  // Whether one of the first Count entries maps Host to Address.
  const auto listed = [&](size_t count, std::string_view address, const std::string& host) {
    for (size_t i = 0; i < count; ++i)
      if (SameText(entries[i].Host, host) && SameText(entries[i].Address, address)) return true;
    return false;
  };
  TStringList block{kOpeningMarker};
  bool commented = false;
  for (size_t e = 0; e < entries.size(); ++e) {
    const THostsEntry& entry = entries[e];
    const bool listedBefore = listed(e, entry.Address, entry.Host);  // appended once
    // 0: no line maps the name, 1: the last line that did mapped it elsewhere, 2: mapped here.
    int state = 0;
    for (size_t l = 0; l < lines.size(); ++l) {
      const std::vector<std::string_view>& line = fields[l];
      bool mapsHost = false;
      for (size_t i = 1; i < line.size(); ++i)
        if (!dropped[l][i] && SameText(line[i], entry.Host)) mapsHost = true;
      if (!mapsHost) continue;
      if (SameText(line[0], entry.Address)) {
        state = 2;
      } else if (!listed(entries.size(), line[0], entry.Host)) {
        for (size_t i = 1; i < line.size(); ++i)
          if (SameText(line[i], entry.Host)) dropped[l][i] = true;
        state = 1;
        commented = true;
      }
    }
    if (state != 2 && !listedBefore) block.push_back(entry.Address + "\t" + entry.Host);
  }
  block.push_back(kClosingMarker);
  // A line that maps a name elsewhere ahead of the right one still decides the lookup
  // (resolvers take the first), so it loses the name even when no mapping is missing;
  // the block is written only with a mapping in it.
  const bool appended = block.size() > 2;
  if (!appended && !commented) return;

  FStatus = kApplyingHosts;
  ShowStatus();
  std::string text;
  for (size_t l = 0; l < lines.size(); ++l) {
    const bool changed = std::find(dropped[l].begin(), dropped[l].end(), true) != dropped[l].end();
    text += (changed ? WithoutNames(lines[l], fields[l], dropped[l]) : lines[l]) + "\r\n";
  }
  if (appended)
    for (const std::string& line : block) text += line + "\r\n";
  ReplaceHostsFile(path, text);
  FStatus = kHostsChanged;
  ShowStatus();
}

}  // namespace korvath
