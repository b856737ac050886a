#include "fuzz/FuzzSupport.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace korvath::fuzz {

namespace {

namespace fs = std::filesystem;

// The folder of this process's scratch files, removed when the process ends normally.
class TScratchFolder {
 public:
  TScratchFolder() {
    std::error_code ec;
    const fs::path base =
        fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
    FPath = base / ("korvath-fuzz-" + std::to_string(::getpid()));
    fs::create_directories(FPath);
  }
  ~TScratchFolder() {
    std::error_code ec;
    fs::remove_all(FPath, ec);
  }
  TScratchFolder(const TScratchFolder&) = delete;
  TScratchFolder& operator=(const TScratchFolder&) = delete;
  const fs::path& Path() const { return FPath; }

 private:
  fs::path FPath;
};

}  // namespace

std::string ScratchPath(const std::string& name) {
  static const TScratchFolder folder;
  return (folder.Path() / name).string();
}

void WriteScratch(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  FUZZ_CHECK(static_cast<bool>(out));
}

std::string ReadScratch(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace korvath::fuzz
