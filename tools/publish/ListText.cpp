#include "tools/publish/ListText.h"

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>

#include "list/Limits.h"
#include "list/LstFile.h"
#include "list/Mirrors.h"
#include "runtime/SysUtils.h"
#include "tools/publish/Codec.h"

namespace fs = std::filesystem;

namespace korvath::publish {
namespace {

std::string EntryLine(const TListEntry& entry) {
  return (entry.Copies.empty() ? "" : entry.Copies + "|") +
         (entry.Integrity.empty() ? "" : entry.Integrity + "|") + entry.Path + "|" + entry.Digest +
         "|" + std::to_string(entry.CompressedSize);
}

void Section(std::string& text, const std::string& name, const std::vector<std::string>& lines) {
  text += "[" + name + "]\r\n";
  for (const std::string& line : lines) text += line + "\r\n";
  text += "[/" + name + "]\r\n";
}

std::vector<std::string> EntryLines(const std::vector<TListEntry>& entries) {
  std::vector<std::string> lines;
  for (const TListEntry& entry : entries) lines.push_back(EntryLine(entry));
  return lines;
}

// The decoded list in a file of its own for the client's reader, removed afterwards.
class TTemporaryList {
 public:
  explicit TTemporaryList(const std::string& text) {
    static std::atomic<unsigned> counter{0};
    FPath = (fs::temp_directory_path() / ("korvath-publish-" + std::to_string(getpid()) + "-" +
                                          std::to_string(counter++) + ".lst"))
                .string();
    std::ofstream out(FPath, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (!out.flush()) {
      out.close();
      std::error_code ec;
      fs::remove(FPath, ec);
      throw Exception("The temporary file " + FPath + " cannot be written");
    }
  }
  ~TTemporaryList() {
    std::error_code ec;
    fs::remove(FPath, ec);
  }
  TTemporaryList(const TTemporaryList&) = delete;
  TTemporaryList& operator=(const TTemporaryList&) = delete;
  const std::string& Path() const { return FPath; }

 private:
  std::string FPath;
};

}  // namespace

std::string ListText(const TListContent& content) {
  std::string text;
  Section(text, "settings",
          {"Rev|" + std::to_string(content.Rev),
           std::string("ModHosts|") + (content.Hosts.empty() ? "0" : "1")});
  std::vector<std::string> hosts;
  for (const auto& [address, host] : content.Hosts) hosts.push_back(address + "|" + host);
  Section(text, "hosts", hosts);
  Section(text, "self",
          content.Self ? std::vector{EntryLine(*content.Self)} : std::vector<std::string>{});
  Section(text, "files_critical", EntryLines(content.Critical));
  Section(text, "files_normal", EntryLines(content.Normal));
  // Clients that know no patches never read this section; a list without patches stays as
  // such clients have always seen it.
  if (!content.Patches.empty()) {
    std::vector<std::string> patches;
    for (const TPatchEntry& patch : content.Patches)
      patches.push_back(patch.Path + "|" + patch.BaseDigest + "|" + patch.PatchDigest + "|" +
                        std::to_string(patch.PatchSize));
    Section(text, "patches", patches);
  }
  // Only when there are any: older clients never read it, and a list without mirrors
  // stays byte for byte what it was.
  if (!content.Mirrors.empty()) Section(text, kMirrorsSection, content.Mirrors);
  return text;
}

TPublishedList ReadPublishedList(const std::string& compressedList) {
  TTemporaryList file(DecodeText(compressedList, kMaxListBytes));
  TListFile reader(file.Path());
  TPublishedList list;
  reader.ReadValue("settings", "Rev", list.Rev);
  reader.ReadValue("settings", "ModHosts", list.ModHosts);
  list.Hosts = reader.GetSection("hosts");
  list.Self = reader.GetSection("self");
  list.Critical = reader.GetSection("files_critical");
  list.Normal = reader.GetSection("files_normal");
  list.Patches = reader.GetSection("patches");
  list.Mirrors = reader.GetSection(kMirrorsSection);
  return list;
}

}  // namespace korvath::publish
