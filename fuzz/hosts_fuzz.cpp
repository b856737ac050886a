// The hosts-file step on any "hosts" section and any hosts file: it either refuses with its own
// error and leaves the file alone, or keeps every line of the file (commented out at most),
// appends only checked mappings, and finds nothing more to do when run again.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/GetFilesThr.h"
#include "fuzz/FuzzSupport.h"
#include "list/HostsEntry.h"
#include "list/LstFile.h"
#include "runtime/Thread.h"

namespace {

using korvath::TStringList;

class TNullView final : public korvath::IRunView {
 public:
  void ShowStatus(const std::string&) override {}
  void SetGaugeMax(int32_t, int32_t) override {}
  void SetFileProgress(int32_t) override {}
  void SetTotalProgress(int32_t) override {}
  void StoreRevision(int32_t) override {}
  void DisableButtons() override {}
  void EnableButtons() override {}
};

class THostsStep final : public korvath::GFilesThread {
 public:
  explicit THostsStep(korvath::IRunView& view)
      : GFilesThread(view, korvath::TDirectSynchronizer::Instance()) {}
  using GFilesThread::ModifyHosts;

 protected:
  void Execute() override {}
};

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
std::string LowerText(std::string text) {
  for (char& c : text) c = Lower(c);
  return text;
}

// Lines as the step reads them: CR LF, LF and a lone CR end a line; each trimmed.
std::vector<std::string> FileLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.push_back(korvath::Trim(text.substr(start, i - start)));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.push_back(korvath::Trim(text.substr(start)));
  return lines;
}

// The fields of a hosts line: separated by blanks and TABs, ended by "#".
std::vector<std::string> LineFields(const std::string& line) {
  std::vector<std::string> fields;
  std::string field;
  for (char c : line.substr(0, line.find('#')) + " ") {
    if (c != ' ' && c != '\t') {
      field += c;
    } else if (!field.empty()) {
      fields.push_back(field);
      field.clear();
    }
  }
  return fields;
}

// True when two entries of the section give one name two different addresses: the step then
// cannot settle on one (see the report of the fuzzing runs), so idempotence is not asked for.
bool NamesClash(const TStringList& section) {
  std::vector<std::pair<std::string, std::string>> pairs;
  for (const std::string& line : section) {
    const TStringList fields = korvath::SplitFromEnd(line, "|");
    if (fields.size() < 2) continue;
    for (const auto& [host, address] : pairs)
      if (host == LowerText(fields[0]) && address != LowerText(fields[1])) return true;
    pairs.emplace_back(LowerText(fields[0]), LowerText(fields[1]));
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string hostsPath = [] {
    const std::string path = korvath::fuzz::ScratchPath("hosts");
    setenv("KORVATH_HOSTS_FILE", path.c_str(), 1);
    return path;
  }();
  // Section lines, a NUL, the hosts file.
  const std::vector<std::string> parts = korvath::fuzz::SplitInput(data, size, '\0', 2);
  TStringList section;
  for (const std::string& line : FileLines(parts[0]))
    if (!line.empty()) section.push_back(line);
  if (section.empty()) section.push_back("FAIL");  // as GetSection hands over a missing section
  const std::string before = parts[1];
  korvath::fuzz::WriteScratch(hostsPath, before);

  TNullView view;
  THostsStep step(view);
  try {
    step.ModifyHosts(section);
  } catch (const korvath::Exception&) {
    FUZZ_CHECK(korvath::fuzz::ReadScratch(hostsPath) == before);
    return 0;
  }
  const std::string after = korvath::fuzz::ReadScratch(hostsPath);
  if (after == before) return 0;

  // Every line of the old file is still there, in order, commented out at most, and a commented
  // line may be followed by the same line without some of its names; whatever follows them is one
  // marked block of checked mappings.
  const std::vector<std::string> old = FileLines(before), now = FileLines(after);
  size_t next = 0;  // the line of the new file that the next old line is
  for (size_t i = 0; i < old.size(); ++i) {
    FUZZ_CHECK(next < now.size());
    FUZZ_CHECK(now[next] == old[i] || now[next] == "#" + old[i]);
    if (now[next++] == old[i] || next == now.size() || now[next].empty() || now[next][0] == '#')
      continue;
    // Otherwise the next line is the same address with a strict subsequence of the names, or
    // else the next old line.
    const std::vector<std::string> whole = LineFields(old[i]), kept = LineFields(now[next]);
    size_t k = 1;
    for (size_t w = 1; w < whole.size() && k < kept.size(); ++w)
      if (whole[w] == kept[k]) ++k;
    if (kept.size() >= 2 && kept.size() < whole.size() && kept[0] == whole[0] && k == kept.size())
      ++next;
  }
  if (now.size() > next) {
    FUZZ_CHECK(now.size() >= next + 3);
    FUZZ_CHECK(now[next] == "#-------- Added by Korvath --------");
    FUZZ_CHECK(now.back() == "#-----------------");
    for (size_t i = next + 1; i + 1 < now.size(); ++i) {
      const size_t tab = now[i].find('\t');
      FUZZ_CHECK(tab != std::string::npos);
      FUZZ_CHECK(
          korvath::RefusedHostsEntryReason(now[i].substr(0, tab), now[i].substr(tab + 1)).empty());
    }
  }

  // A second run finds every mapping in place.
  if (!NamesClash(section)) {
    step.ModifyHosts(section);
    FUZZ_CHECK(korvath::fuzz::ReadScratch(hostsPath) == after);
  }
  return 0;
}
