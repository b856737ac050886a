// The checks of list paths and of the updater's own name, on any bytes: an accepted path names a
// place inside the game folder and breaks none of the rules the check states; an accepted self
// name is a bare program name by a rule written out independently here.
#include <cstdint>
#include <filesystem>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "list/LocalPath.h"
#include "list/SelfName.h"

namespace {

namespace fs = std::filesystem;

bool SafeNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '_' || c == '-';
}

std::string Upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

bool ModelSafeSelfName(const std::string& name) {
  if (name.empty() || name[0] == '.' || name[0] == '-') return false;
  for (const char c : name)
    if (!SafeNameCharacter(c)) return false;
  if (name.size() < 4 || Upper(name.substr(name.size() - 4)) != ".EXE") return false;
  const std::string stem = Upper(name.substr(0, name.find('.')));
  if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL") return false;
  if (stem.size() == 4 && (stem.rfind("COM", 0) == 0 || stem.rfind("LPT", 0) == 0) &&
      stem[3] >= '1' && stem[3] <= '9')
    return false;
  // Trailing dots are no part of a name ending in ".exe"; nothing else stands in the way.
  return true;
}

// The game folder, with a sub-folder whose letter case the list may spell differently.
const std::string& WorkDir() {
  static const std::string dir = [] {
    const std::string base = korvath::fuzz::ScratchPath("game");
    fs::create_directories(base + "/System/Maps");
    return base + "/";
  }();
  return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path(reinterpret_cast<const char*>(data), size);
  const std::string reason = korvath::RefusedPathReason(path);
  for (const char c : reason) FUZZ_CHECK(static_cast<unsigned char>(c) >= 32 && c != 127);

  FUZZ_CHECK(korvath::IsSafeSelfName(path) == ModelSafeSelfName(path));

  if (!reason.empty()) return 0;
  // The rules an accepted path keeps, segment by segment.
  FUZZ_CHECK(!path.empty());
  for (const char c : path)
    FUZZ_CHECK(static_cast<unsigned char>(c) >= 32 && c != 127 && c != ':' && c != '<' &&
               c != '>' && c != '"' && c != '|' && c != '?' && c != '*');
  size_t segments = 0;
  std::string segment;
  for (const char c : path + "/") {
    if (c != '/' && c != '\\') {
      segment += c;
      continue;
    }
    FUZZ_CHECK(!segment.empty() && segment != "." && segment != "..");
    FUZZ_CHECK(segment.back() != '.' && segment.back() != ' ');
    ++segments;
    segment.clear();
  }

  // The local name stays below the game folder, one level per segment, whatever the case
  // matching finds.
  const std::string local = korvath::LocalPathOf(WorkDir(), path);
  FUZZ_CHECK(local.compare(0, WorkDir().size(), WorkDir()) == 0);
  const fs::path relative = fs::path(local.substr(WorkDir().size()));
  FUZZ_CHECK(relative.is_relative());
  size_t levels = 0;
  for (const fs::path& part : relative) {
    FUZZ_CHECK(part != "." && part != ".." && !part.empty());
    ++levels;
  }
  FUZZ_CHECK(levels == segments);
  const std::string normal = (fs::path(WorkDir()) / relative).lexically_normal().string();
  FUZZ_CHECK(normal.compare(0, WorkDir().size(), WorkDir()) == 0);
  return 0;
}
