// A file written under a name of its own beside the file it is meant for, then put in its
// place in one step. Every replacement of a file by new content goes through one: the target
// is never half written, and a temporary nobody kept does not stay behind.
#pragma once

#include <string>

#include "platform/File.h"

namespace korvath::platform {

class TempFile {
 public:
  // Names the temporary; nothing is made before Create.
  explicit TempFile(std::string path) : FPath(std::move(path)) {}
  // Removes what Create made, unless it was kept or left.
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  // Creates the file for writing, only as a new file: what a killed run left under the name
  // is removed first, and a link of that name is removed rather than followed, so nothing is
  // ever written through one. Returns 0 or the error code.
  [[nodiscard]] int Create();

  const std::string& Path() const { return FPath; }
  // The file Create opened, until it is taken or closed.
  File& Output() { return FOutput; }
  // Hands the open file to a writer of its own (a stream); the writer must be done with it
  // before Keep.
  File TakeOutput() { return std::move(FOutput); }

  // Closes the file and puts it in place of Target in one step, replacing what is there.
  // Returns 0 or the error code; a temporary that could not be put in place is removed later.
  [[nodiscard]] int Keep(const std::string& target);
  // The same with a replacement of the system's own for a file it guards (the hosts file):
  // Put(source, target) returns 0 or the error code.
  using TPut = int (*)(const std::string& source, const std::string& target);
  [[nodiscard]] int Keep(const std::string& target, TPut put);
  // Closes the file and leaves it under its own name, for another program to take over.
  void Leave();

 private:
  std::string FPath;
  File FOutput;
  bool FCreated = false;
  bool FDone = false;
};

}  // namespace korvath::platform
