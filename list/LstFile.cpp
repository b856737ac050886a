#include "list/LstFile.h"

#include "runtime/SysUtils.h"

namespace korvath {
namespace {

constexpr char kCtrlZ = 26;  // ends the text, as in every text file of the platform
constexpr size_t kReadBlock = 65536;

}  // namespace

std::string Trim(const std::string& text) {
  size_t first = 0, last = text.size();
  while (first < last && static_cast<unsigned char>(text[first]) <= 32) ++first;
  while (last > first && static_cast<unsigned char>(text[last - 1]) <= 32) --last;
  return text.substr(first, last - first);
}

TListFile::TListFile(std::string fileName) : FFileName(std::move(fileName)) {}

void TListFile::Reset() {
  using namespace platform;
  FFile.Close();
  if (const int error =
          File::Open(FFileName, Access::Read, Share::Read, Disposition::OpenExisting, FFile))
    throw EInOutError(error);
  FBuffer.clear();
  FBufferPos = 0;
  FEnded = false;
}

bool TListFile::ReadLine(std::string& line) {
  line.clear();
  bool any = false;
  while (!FEnded) {
    if (FBufferPos == FBuffer.size()) {
      FBuffer.resize(kReadBlock);
      size_t got = 0;
      if (const int error = FFile.Read(FBuffer.data(), kReadBlock, got)) throw EInOutError(error);
      FBuffer.resize(got);
      FBufferPos = 0;
      if (got == 0) {
        FEnded = true;
        break;
      }
    }
    const char c = FBuffer[FBufferPos++];
    any = true;
    if (c == '\n') return (line = Trim(line), true);
    if (c == kCtrlZ) {
      FEnded = true;
      break;
    }
    if (c != '\r') line += c;  // a CR never ends a line; the LF after it does
  }
  if (!any) return false;
  line = Trim(line);
  return true;
}

bool TListFile::FindSection(const std::string& name) {
  Reset();
  const std::string header = "[" + name + "]";
  std::string line;
  while (ReadLine(line))
    if (line == header) return true;
  return false;
}

TStringList TListFile::GetSection(const std::string& name) {
  TStringList result;
  if (FindSection(name)) {
    const std::string closing = "[/" + name + "]";
    std::string line;
    // A section the list never closes ends with the list.
    while (ReadLine(line)) {
      if (line == closing) break;
      if (!line.empty()) result.push_back(line);
    }
  }
  if (result.empty()) result.push_back("FAIL");
  return result;
}

void TListFile::ReadValue(const std::string& section, const std::string& key, std::string& value) {
  value.clear();
  if (!FindSection(section)) return;
  const std::string closing = "[/" + section + "]";
  std::string line;
  while (ReadLine(line)) {
    if (!line.empty()) {
      const TStringList fields = SplitFromEnd(line, "|");
      if (fields.empty()) throw EStringListError("List index out of bounds (-1)");
      if (fields.back() == key) {
        value = fields.front();
        return;
      }
    }
    if (line == closing) return;
  }
}

size_t EntryCount(const TStringList& section) {
  return section.size() == 1 && section.front() == "FAIL" ? 0 : section.size();
}

}  // namespace korvath
