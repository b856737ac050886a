// A fresh folder per test, removed afterwards, with small helpers to write and read files in it.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace korvath::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder with a trailing separator, as the program's working folder looks.
  const std::string& Path() const { return FPath; }
  // Path() + relative, with "/" in relative turned into the platform's separator.
  std::string operator/(const std::string& relative) const;

 private:
  std::string FPath;
};

void WriteFileBytes(const std::string& path, const std::string& bytes);
std::string ReadFileBytes(const std::string& path);  // empty when missing
bool Exists(const std::string& path);

// Makes the folder current for the life of the object, and goes back afterwards.
class CurrentDirScope {
 public:
  explicit CurrentDirScope(const std::string& folder);
  ~CurrentDirScope();

 private:
  std::string FPrevious;
};

}  // namespace korvath::test
