// A release as the update server publishes it (files.lst.bz2 and one .bz2 per file), served
// from a loopback HttpFixture, and the list text that goes with it.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "tests/support/HttpFixture.h"

namespace korvath::test {

// The MD5 of bytes as 32 lower-case hex digits.
std::string Md5Hex(const std::string& bytes);

class TestServer {
 public:
  std::string BaseUrl() const { return FHttp.BaseUrl(); }
  HttpFixture& Http() { return FHttp; }

  // Serves the file's compressed copy at its path with "/" + ".bz2" and returns its list entry
  // "path|digest|size" (path with "\" as the list writes it).
  std::string PublishFile(const std::string& listPath, const std::string& content);
  // Serves the list itself, compressed, as files.lst.bz2.
  void PublishList(const std::string& listText);
  // How many requests asked for this path (relative to the base, "/" separators).
  int RequestsFor(const std::string& path) const;

 private:
  HttpFixture FHttp;
};

// A list of the usual shape; extra is appended as it stands (more sections, say).
std::string ListText(int rev, int modHosts, const std::vector<std::string>& critical,
                     const std::vector<std::string>& normal, const std::string& extra = "");

// Every file below folder (relative names with "/"), with its content; for checking that a
// run left exactly what it should.
std::map<std::string, std::string> FolderContents(const std::string& folder);

}  // namespace korvath::test
