// Kept partial downloads that no run would go on with: a file's partial download and its record
// stay beside it only while the list carries the file and the run checks it.
#include <cstring>
#include <vector>

#include "engine/GetFilesThr.h"
#include "list/FileEntry.h"
#include "platform/File.h"
#include "platform/FolderWalk.h"

namespace korvath {

void GFilesThread::RemoveForgottenPartials(const TStringList& critical, bool normalChecked) {
  const std::set<std::string>& listed = FListedPaths;
  std::set<std::string> criticalKeys;
  if (!normalChecked)
    for (const std::string& line : critical)
      if (const TStringList fields = SplitFromEnd(line, "|"); fields.size() >= 3)
        criticalKeys.insert(ListKey(fields[2]));
  const std::set<std::string>& checked = normalChecked ? listed : criticalKeys;
  // Gathered first and removed after the walk, so that the walk never sees a folder change.
  std::vector<std::string> forgotten;
  platform::ForEachNameBelow(
      FWorkDir,
      // The backup folder holds the player's copies of listed files, whatever their names.
      [](const std::string& folder) { return ListKey(folder) != "backup"; },
      [&](const std::string& relative) {
        for (const TCopyFormatTraits& traits : CopyFormats()) {
          const size_t suffix = std::strlen(traits.ResumeSuffix);
          if (relative.size() <= suffix ||
              relative.compare(relative.size() - suffix, suffix, traits.ResumeSuffix) != 0)
            continue;
          const std::string name = relative.substr(0, relative.size() - suffix);
          // A name the run checks keeps its partial for the replacement pass.
          if (checked.count(ListKey(name)) != 0) return;
          for (const std::string& own : {relative, name + traits.Suffix})
            if (listed.count(ListKey(own)) == 0) forgotten.push_back(own);
        }
      });
  for (const std::string& own : forgotten) platform::DeleteFile(FWorkDir + own);
}

}  // namespace korvath
