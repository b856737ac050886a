// POSIX names are case-sensitive; the list was written for a file system that is not, so an
// entry must find "system/x.dll" when it says "System\X.DLL" instead of making a second folder.
#include "platform/CaseFold.h"

#include <dirent.h>
#include <sys/stat.h>

#include <memory>

#include "platform/Ascii.h"

namespace korvath::platform {
namespace {

struct DirCloser {
  void operator()(DIR* d) const { closedir(d); }
};

}  // namespace

std::string ResolveCaseInsensitive(const std::string& folder, const std::string& name) {
  std::string prefix = folder;
  if (!prefix.empty() && prefix.back() != '/') prefix += '/';
  // The usual case costs one lstat: the name exists as the list spells it.
  struct stat st {};
  if (lstat((prefix + name).c_str(), &st) == 0) return name;

  std::unique_ptr<DIR, DirCloser> dir(opendir(prefix.empty() ? "." : prefix.c_str()));
  if (!dir) return name;
  std::string best;
  bool found = false;
  while (const dirent* entry = readdir(dir.get())) {
    // Several spellings can coexist here; the smallest in byte order wins, so every run and
    // every machine picks the same one whatever order the directory lists them in.
    if (SameText(name, entry->d_name) && (!found || best > entry->d_name)) {
      best = entry->d_name;
      found = true;
    }
  }
  return found ? best : name;
}

bool ExistsAsWritten(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

}  // namespace korvath::platform
