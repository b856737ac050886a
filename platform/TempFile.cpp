#include "platform/TempFile.h"

#include "platform/ErrorCodes.h"

namespace korvath::platform {

TempFile::~TempFile() {
  FOutput.Close();  // an open file cannot be deleted on Windows
  if (FCreated && !FDone) DeleteFile(FPath);
}

int TempFile::Create() {
  int error = File::Open(FPath, Access::ReadWrite, Share::None, Disposition::CreateNew, FOutput);
  // The fixed names of temporaries are taken over: a leftover goes, a folder stays in the way.
  if (error == kErrorFileExists) {
    if (!DeleteFile(FPath)) return LastError();
    error = File::Open(FPath, Access::ReadWrite, Share::None, Disposition::CreateNew, FOutput);
  }
  FCreated = error == 0;
  return error;
}

int TempFile::Keep(const std::string& target) {
  return Keep(target, [](const std::string& source, const std::string& to) {
    return RenameReplace(source, to) ? 0 : LastError();
  });
}

int TempFile::Keep(const std::string& target, TPut put) {
  FOutput.Close();
  if (const int error = put(FPath, target)) return error;
  FDone = true;
  return 0;
}

void TempFile::Leave() {
  FOutput.Close();
  FDone = true;
}

}  // namespace korvath::platform
