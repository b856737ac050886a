#include "tests/crash/CrashRelease.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "tests/support/Bz2Compress.h"
#include "tests/support/Release.h"
#include "tests/support/TempDir.h"
#include "transfer/Misc.h"

namespace korvath::crash {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPlayerFile = "player/notes.txt";
const std::string kPlayerText = "the player's own notes, never listed\n";

std::string Noise(size_t size, uint32_t seed) {
  return test::NoiseBytes(size, seed);
}

// Text that compresses well: unpacking, not downloading, is then most of its replacement.
std::string Text(size_t size, uint32_t seed) {
  std::string text;
  for (uint32_t line = 0; text.size() < size; ++line)
    text += "line " + std::to_string(line * seed % 100003) + " of the game's log, version " +
            std::to_string(seed) + "\r\n";
  text.resize(size);
  return text;
}

std::string LocalName(const std::string& listPath) {
  return ReplaceAll(listPath, "\\", "/");
}

std::map<std::string, std::string> FolderFiles(const std::string& game) {
  std::map<std::string, std::string> files;
  for (const auto& item : fs::recursive_directory_iterator(game))
    if (item.is_regular_file())
      files[fs::relative(item.path(), game).generic_string()] =
          test::ReadFileBytes(item.path().string());
  return files;
}

std::string Describe(const std::string& content) {
  return std::to_string(content.size()) + " bytes";
}

}  // namespace

CrashRelease::CrashRelease(bool small) {
  constexpr size_t KiB = 1024, MiB = 1024 * 1024;
  auto cap = [small](size_t size) { return small ? std::min(size, 64 * KiB + 1) : size; };
  auto add = [&](const std::string& path, std::optional<std::string> old, std::string fresh,
                 bool critical) {
    FFiles.push_back({path, std::move(old), std::move(fresh), critical});
  };
  add("empty.dat", "x", "", true);
  add("one.dat", "", "1", true);
  add("small\\a.txt", Noise(100, 1), Noise(1023, 2), true);
  add("small\\b.txt", Noise(1024, 3), Noise(1025, 4), false);
  add("data\\block4k.bin", Noise(4096, 5), Noise(4096, 6), false);
  add("data\\b64k-1.bin", Noise(65535, 7), Noise(65536, 8), true);
  add("data\\b64k+1.bin", Noise(65537, 9), Noise(65535, 10), false);
  add("same.dat", Noise(5000, 11), Noise(5000, 11), true);
  add("new\\deep\\x\\y.bin", std::nullopt, Noise(10, 12), false);
  if (!small) {
    add("data\\mid.bin", Noise(200000, 13), Noise(300000, 14), false);
    add("big\\one.bin", Noise(MiB, 15), Noise(MiB + 7, 16), true);
    add("big\\two.bin", Noise(5 * MiB / 2, 17), Noise(2 * MiB, 18), false);
    add("big\\four.bin", Noise(3 * MiB, 19), Noise(4 * MiB, 20), false);
    add("new\\fresh.bin", std::nullopt, Noise(500 * KiB, 21), true);
    add("Game.exe", Noise(3 * MiB / 2, 22), Noise(3 * MiB / 2, 23), true);
    add("text\\log.txt", Text(3 * MiB, 24), Text(3 * MiB, 25), false);
  } else {
    add("data\\mid.bin", Noise(cap(200000), 13), Noise(cap(300000), 14), false);
    add("text\\log.txt", Text(cap(3 * MiB), 24), Text(cap(3 * MiB), 25), false);
  }
  for (const ReleaseFile& f : FFiles) {
    FArchives.push_back(test::Bz2Compress(f.New));
    FPublishedBytes += static_cast<int64_t>(FArchives.back().size());
  }
}

void CrashRelease::Publish(ThrottledServer& server) const {
  std::string critical, normal;
  for (size_t i = 0; i < FFiles.size(); ++i) {
    const ReleaseFile& f = FFiles[i];
    server.Serve(LocalName(f.ListPath) + ".bz2", FArchives[i]);
    (f.Critical ? critical : normal) +=
        f.ListPath + "|" + test::Md5Hex(f.New) + "|" + std::to_string(FArchives[i].size()) + "\r\n";
  }
  const std::string list =
      "[settings]\r\nRev|7\r\nModHosts|0\r\n[/settings]\r\n[files_critical]\r\n" + critical +
      "[/files_critical]\r\n[files_normal]\r\n" + normal + "[/files_normal]\r\n";
  server.Serve("files.lst.bz2", test::Bz2Compress(list));
}

void CrashRelease::PlantOld(const std::string& game) const {
  for (const auto& item : fs::directory_iterator(game)) fs::remove_all(item.path());
  for (const ReleaseFile& f : FFiles)
    if (f.Old) test::WriteFileBytes(game + "/" + LocalName(f.ListPath), *f.Old);
  test::WriteFileBytes(game + "/" + kPlayerFile, kPlayerText);
}

std::vector<std::string> CrashRelease::CheckConsistent(const std::string& game) const {
  std::vector<std::string> problems;
  auto files = FolderFiles(game);
  std::set<std::string> temporaries{"files.lst", "files.lst.bz2"};
  for (const ReleaseFile& f : FFiles) {
    const std::string name = LocalName(f.ListPath);
    temporaries.insert(name + ".bz2");
    temporaries.insert(name + ".unpack");
    // A killed download is kept with its record for the next run to go on with.
    temporaries.insert(name + ".bz2.resume");
    const auto it = files.find(name);
    if (it == files.end()) {
      if (f.Old) problems.push_back(name + ": gone");
    } else if (it->second != f.New && (!f.Old || it->second != *f.Old)) {
      problems.push_back(name + ": neither its old nor its new version (" + Describe(it->second) +
                         ")");
    }
    if (it != files.end()) files.erase(it);
  }
  if (files[kPlayerFile] != kPlayerText) problems.push_back(std::string(kPlayerFile) + ": changed");
  files.erase(kPlayerFile);
  for (const auto& [name, content] : files)
    if (temporaries.count(name) == 0)
      problems.push_back(name + ": stray file (" + Describe(content) + ")");
  return problems;
}

std::vector<std::string> CrashRelease::CheckConverged(const std::string& game) const {
  std::vector<std::string> problems;
  auto files = FolderFiles(game);
  for (const ReleaseFile& f : FFiles) {
    const std::string name = LocalName(f.ListPath);
    const auto it = files.find(name);
    if (it == files.end())
      problems.push_back(name + ": missing after a finished run");
    else if (it->second != f.New)
      problems.push_back(name + ": not its new version after a finished run (" +
                         Describe(it->second) + ")");
    if (it != files.end()) files.erase(it);
  }
  if (files[kPlayerFile] != kPlayerText) problems.push_back(std::string(kPlayerFile) + ": changed");
  files.erase(kPlayerFile);
  for (const auto& [name, content] : files)
    problems.push_back(name + ": left behind (" + Describe(content) + ")");
  return problems;
}

}  // namespace korvath::crash
