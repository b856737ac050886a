// The client never sees the release folder, only the list, so every name that the list would
// carry into trouble on a player's machine is refused here, while the admin can still rename it:
// paths the client refuses, names that Windows folds into one, names the client uses for its own
// files in the game folder, and names the list cannot carry unchanged.
#include "tools/publish/ReleaseScan.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "list/FileEntry.h"
#include "list/LocalPath.h"
#include "list/PublishedNames.h"
#include "list/SelfName.h"
#include "list/WorkingNames.h"
#include "platform/Ascii.h"
#include "tools/publish/Glob.h"
#include "tools/publish/Problems.h"
#include "transfer/Misc.h"

namespace fs = std::filesystem;

namespace korvath::publish {
namespace {

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Why the list cannot carry this path to the client as it stands, or "".
std::string ListPathProblem(const std::string& listPath) {
  if (const std::string reason = RefusedPathReason(listPath); !reason.empty())
    return "the client refuses this path (" + reason + ")";
  // The list's reader trims every line, which would take the blank off the path.
  if (listPath.front() == ' ') return "begins with a blank, which the list's reader trims away";
  // Web servers keep names starting with a dot to themselves (the nginx configuration and
  // korvath-publish serve answer 404 for them).
  if (listPath.front() == '.' || listPath.find("\\.") != std::string::npos)
    return "a name begins with a dot, which web servers refuse to send";
  for (char c : listPath)
    if (static_cast<unsigned char>(c) >= 128)
      return "has a non-ASCII character: the client reads the list in the Windows ANSI code "
             "page, so the name would change on the way";
  return "";
}

// Names of the client's own files in the game folder, lower case: a game file of that name
// would be overwritten or deleted by every update run.
bool IsClientWorkName(const std::string& lowerPath) {
  return lowerPath == "files.lst" || lowerPath == published::kList || lowerPath == "update.bat" ||
         lowerPath.rfind("backup\\", 0) == 0;
}

struct TScan {
  std::vector<TReleaseFile> Files;
  std::vector<std::string> Problems;
};

TScan Walk(const fs::path& root) {
  TScan scan;
  std::error_code ec;
  fs::recursive_directory_iterator it(root, ec);
  if (ec)
    throw EPublishError("The release folder " + root.string() + " cannot be read: " + ec.message());
  for (; it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (ec)
      throw EPublishError("The release folder " + root.string() +
                          " cannot be read: " + ec.message());
    const fs::directory_entry& item = *it;
    const std::string relative = fs::relative(item.path(), root).generic_string();
    // A folder link is not followed (it could loop, or reach outside the release); a file link
    // stands for the file it names.
    if (item.is_symlink() && item.is_directory()) {
      scan.Problems.push_back(Printable(relative) +
                              ": a link to a folder is not followed; copy the folder in");
      continue;
    }
    if (item.is_directory()) continue;
    if (!item.is_regular_file()) {
      scan.Problems.push_back(Printable(relative) + ": not a regular file (or a broken link)");
      continue;
    }
    scan.Files.push_back({ReplaceAll(relative, "/", "\\"), item.path().string(), false});
  }
  std::sort(scan.Files.begin(), scan.Files.end(),
            [](const TReleaseFile& a, const TReleaseFile& b) { return a.ListPath < b.ListPath; });
  return scan;
}

// Problems between files: two names that Windows holds as one, a file where another needs a
// folder, and a file named like one the client works on beside another.
void CheckClashes(const std::vector<TReleaseFile>& files, const std::string& selfName,
                  std::vector<std::string>& problems) {
  std::map<std::string, std::string> byLower;
  std::set<std::string> lowerFolders;
  for (const TReleaseFile& file : files) {
    const std::string lower = LowerCase(file.ListPath);
    const auto [at, added] = byLower.emplace(lower, file.ListPath);
    if (!added)
      problems.push_back(Printable(file.ListPath) + ": differs from " + Printable(at->second) +
                         " only in letter case; Windows holds them as one file");
    for (size_t p = lower.find('\\'); p != std::string::npos; p = lower.find('\\', p + 1))
      lowerFolders.insert(lower.substr(0, p));
  }
  std::map<std::string, std::string> byKey;
  for (const TReleaseFile& file : files) byKey.emplace(ListKey(file.ListPath), file.ListPath);
  if (!selfName.empty()) byKey.emplace(ListKey(selfName), selfName);
  for (const TReleaseFile& file : files) {
    const std::string lower = LowerCase(file.ListPath);
    if (lowerFolders.count(lower) != 0)
      problems.push_back(
          Printable(file.ListPath) +
          ": a file of this name (letter case ignored) is also a folder of the release");
    // The client works on a file under its name and a suffix; with ListKey's folding, as the
    // client compares names, so that no case spelling slips past.
    const std::string key = ListKey(file.ListPath);
    for (const working::TWorkingName& name : working::kNames) {
      const std::string suffix = name.Suffix;
      if (!EndsWith(key, suffix)) continue;
      const auto other = byKey.find(key.substr(0, key.size() - suffix.size()));
      if (other != byKey.end())
        problems.push_back(Printable(file.ListPath) + ": the client " + name.Use + " " +
                           Printable(other->second) + " under this name, replacing this file");
    }
    if (!selfName.empty() && lower == LowerCase(selfName) + ".new")
      problems.push_back(Printable(file.ListPath) + ": the client unpacks a new " + selfName +
                         " under this name");
  }
}

}  // namespace

std::string CompressedCopyPath(const std::string& outDir, const std::string& listPath,
                               TCopyFormat format) {
  return (fs::path(outDir) / PublishedCopyName(listPath, format)).string();
}

std::string PatchPath(const std::string& outDir, const std::string& listPath,
                      const std::string& baseDigest) {
  return (fs::path(outDir) / published::PatchName(listPath, baseDigest)).string();
}

TRelease ScanRelease(const std::string& releaseDir,
                     const std::vector<std::string>& criticalPatterns,
                     const std::string& selfName) {
  TScan scan = Walk(releaseDir);
  std::vector<std::string>& problems = scan.Problems;

  TRelease release;
  if (!selfName.empty()) {
    if (!IsSafeSelfName(selfName))
      problems.push_back("--self " + Printable(selfName) +
                         ": not a plain name of an .exe file (letters, digits, '.', '_', '-'; no "
                         "folder; not starting with '.' or '-'; no device name)");
    const auto self = std::find_if(scan.Files.begin(), scan.Files.end(),
                                   [&](const TReleaseFile& f) { return f.ListPath == selfName; });
    if (self == scan.Files.end()) {
      problems.push_back("--self " + Printable(selfName) +
                         ": the release folder has no file of that name at its top");
    } else {
      release.Self = *self;
      scan.Files.erase(self);
    }
  }

  for (const TReleaseFile& file : scan.Files) {
    if (const std::string problem = ListPathProblem(file.ListPath); !problem.empty())
      problems.push_back(Printable(file.ListPath) + ": " + problem);
    else if (IsClientWorkName(LowerCase(file.ListPath)))
      problems.push_back(Printable(file.ListPath) +
                         ": the client keeps its own files under this name in the game folder");
  }
  CheckClashes(scan.Files, selfName, problems);

  std::vector<bool> patternUsed(criticalPatterns.size(), false);
  for (TReleaseFile& file : scan.Files) {
    const std::string path = ReplaceAll(file.ListPath, "\\", "/");
    for (size_t p = 0; p < criticalPatterns.size(); ++p)
      if (GlobMatch(ReplaceAll(criticalPatterns[p], "\\", "/"), path)) {
        file.Critical = true;
        patternUsed[p] = true;
      }
  }
  // A pattern with a typo would quietly make critical files normal ones.
  for (size_t p = 0; p < criticalPatterns.size(); ++p)
    if (!patternUsed[p])
      problems.push_back("--critical " + Printable(criticalPatterns[p]) +
                         ": matches no game file of the release");

  if (scan.Files.empty() && !release.Self) problems.push_back("the release folder holds no files");
  if (!problems.empty()) throw EPublishError(std::move(problems));
  release.Files = std::move(scan.Files);
  return release;
}

}  // namespace korvath::publish
