#include "tests/support/TempDir.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "platform/File.h"

namespace fs = std::filesystem;

namespace korvath::test {

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  std::random_device rd;
  const fs::path base = fs::temp_directory_path() /
                        ("korvath-test-" + std::to_string(rd()) + "-" + std::to_string(counter++));
  fs::create_directories(base);
  FPath = base.string();
  if (FPath.back() != platform::kPathDelim) FPath += platform::kPathDelim;
}

TempDir::~TempDir() {
  std::error_code ec;
  // Files a test made read-only must not keep the folder alive.
  for (auto it = fs::recursive_directory_iterator(FPath, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(FPath, ec);
}

std::string TempDir::operator/(const std::string& relative) const {
  std::string r = relative;
  for (char& c : r)
    if (c == '/') c = platform::kPathDelim;
  return FPath + r;
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) ADD_FAILURE() << "cannot write " << path;
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

CurrentDirScope::CurrentDirScope(const std::string& folder) : FPrevious(platform::GetCurrentDir()) {
  if (platform::SetCurrentDir(folder) != 0) throw std::runtime_error("cannot enter " + folder);
}

CurrentDirScope::~CurrentDirScope() {
  // Nothing can be done about a failure on the way out.
  static_cast<void>(platform::SetCurrentDir(FPrevious));
}

}  // namespace korvath::test
