// The folders a checking pass meets, each asked once per pass rather than once per file:
// whether another account's link lies on the way to it, and which leftovers of earlier runs
// it holds. Per file, those questions cost more than the hashing saves.
#pragma once

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace korvath {

class TCheckedFolders {
 public:
  struct TFolder {
    // Another account's link lies on the way from the game folder: nothing in it is touched.
    bool Foreign = false;
    // Its names that end in one of the suffixes, in lower case: the file system may ignore
    // case, so this only says which names may be there.
    std::set<std::string> Leftovers;
  };

  // Folders below WorkDir (which ends in the separator); leftovers end in one of Suffixes.
  TCheckedFolders(std::string workDir, std::vector<std::string> suffixes)
      : FWorkDir(std::move(workDir)), FSuffixes(std::move(suffixes)) {}

  // The folder of Local, a file's path below WorkDir. Safe on several threads at once.
  const TFolder& Of(const std::string& local);
  // Whether Local + Suffix may be among its folder's leftovers.
  static bool MayHold(const TFolder& folder, const std::string& local, const char* suffix);

 private:
  const std::string FWorkDir;
  const std::vector<std::string> FSuffixes;
  std::mutex FLock;
  std::map<std::string, TFolder> FFolders;  // by path; a map's elements stay where they are
};

}  // namespace korvath
