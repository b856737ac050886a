#include "tests/support/Release.h"

#include <filesystem>

#include "tests/support/Bz2Compress.h"
#include "tests/support/TempDir.h"
#include "transfer/Misc.h"
#include "transfer/md5.h"

namespace korvath::test {

std::string Md5Hex(const std::string& bytes) {
  TDigestContext context;
  DigestInit(context);
  DigestUpdate(context, bytes.data(), static_cast<uint32_t>(bytes.size()));
  TDigestBytes digest;
  DigestFinal(context, digest);
  return DigestToHex(digest);
}

std::string TestServer::PublishFile(const std::string& listPath, const std::string& content) {
  const std::string compressed = Bz2Compress(content);
  FHttp.ServeBody(ReplaceAll(listPath, "\\", "/") + ".bz2", compressed);
  return listPath + "|" + Md5Hex(content) + "|" + std::to_string(compressed.size());
}

void TestServer::PublishList(const std::string& listText) {
  FHttp.ServeBody("files.lst.bz2", Bz2Compress(listText));
}

int TestServer::RequestsFor(const std::string& path) const {
  int count = 0;
  for (const auto& r : FHttp.Requests())
    if (r.Path == path) ++count;
  return count;
}

std::string ListText(int rev, int modHosts, const std::vector<std::string>& critical,
                     const std::vector<std::string>& normal, const std::string& extra) {
  std::string text = "[settings]\r\nRev|" + std::to_string(rev) + "\r\nModHosts|" +
                     std::to_string(modHosts) + "\r\n[/settings]\r\n[files_critical]\r\n";
  for (const auto& e : critical) text += e + "\r\n";
  text += "[/files_critical]\r\n[files_normal]\r\n";
  for (const auto& e : normal) text += e + "\r\n";
  text += "[/files_normal]\r\n" + extra;
  return text;
}

std::map<std::string, std::string> FolderContents(const std::string& folder) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> result;
  for (const auto& item : fs::recursive_directory_iterator(folder)) {
    if (!item.is_regular_file()) continue;
    result[fs::relative(item.path(), folder).generic_string()] =
        ReadFileBytes(item.path().string());
  }
  return result;
}

}  // namespace korvath::test
