// Files and folders of the operating system: one move-only owner of a file handle, and the
// file-system calls the program makes. Failures come back as the Windows error numbering
// (ERROR_FILE_NOT_FOUND = 2, ...); the POSIX build maps errno onto it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Handle.h"
// kPathDelim, the separator of local paths: "\" on Windows, "/" elsewhere. CMake puts the
// system's own folder (platform/win32/include or platform/posix/include) on the include path.
#include "platform/OsPath.h"

namespace korvath::platform {

enum class Access { Read, Write, ReadWrite };
enum class Share { None, Read, ReadWrite };  // what others may do while the file is open
// CreateAlways empties an existing file, and a link of the name goes as a name first, so that
// it is never written through; CreateNew fails (ERROR_FILE_EXISTS) when the name exists in any
// form, a link included, and so never writes through one either.
enum class Disposition { OpenExisting, CreateAlways, CreateNew };
enum class SeekFrom { Begin, Current, End };

// An open file of the system: a descriptor on POSIX, a HANDLE on Windows; -1 is none on both.
// Each system's File.cpp says how one is closed.
struct FileHandleTraits {
  using Type = intptr_t;
  static constexpr intptr_t Empty() noexcept { return -1; }
  static void Close(intptr_t handle) noexcept;
};

class File {
 public:
  // Returns 0 and an open file, or the error code and a closed one.
  [[nodiscard]] static int Open(const std::string& path, Access access, Share share,
                                Disposition disposition, File& result);

  bool IsOpen() const { return FHandle.IsOpen(); }
  // Each returns 0 or an error code.
  [[nodiscard]] int Read(void* buffer, size_t count, size_t& done);
  [[nodiscard]] int Write(const void* buffer, size_t count, size_t& done);
  [[nodiscard]] int Seek(int64_t offset, SeekFrom origin, int64_t& position);
  [[nodiscard]] int Size(int64_t& size) const;
  // Makes the file Size bytes long with its disk space taken, so that writing it through a
  // mapping never meets a full disk halfway.
  [[nodiscard]] int Allocate(int64_t size);
  void Close() { FHandle.Reset(); }

  // Opens an existing file to write on at its end, only when its name is a plain file with a
  // single link: a link of the name is never followed, and what was opened is checked again
  // once open, so a name changed in between is refused too. Returns 0 or the error code
  // (access denied for any other kind of name).
  [[nodiscard]] static int OpenPlainForAppend(const std::string& path, File& result);

 private:
  friend class MappedOutput;  // maps the file it is handed
  UniqueHandle<FileHandleTraits> FHandle;
};

// The error of the last failed system call of this thread, in the Windows numbering.
int LastError();
// The system's own text for an error code ("The system cannot find the file specified.").
std::string SysErrorMessage(int errorCode);

bool FileExists(const std::string& path);  // a file (not a folder) of that name exists
bool DirectoryExists(const std::string& path);
// Path's own name is a symbolic link, a junction or another reparse point (never followed).
bool IsLink(const std::string& path);
// Path's own name (a link is not followed) belongs to the player: its owner is the account
// that runs the program, or the administrators or the system (root on POSIX). False when the
// owner cannot be read.
bool MadeByThePlayer(const std::string& path);
// The part of Path below Base (which ends in the separator) up to the first folder on the way
// to Path's own name that is a link made by another account; empty when every folder on the
// way that exists is a real one or the player's link. Path's own name is not looked at: a link
// there is replaced as a name, never followed.
std::string ForeignLinkOnTheWay(const std::string& base, const std::string& path);
// The names of Folder's entries (not "." and ".."), in no order; false when it cannot be read.
[[nodiscard]] bool ListFolder(const std::string& folder, std::vector<std::string>& names);
[[nodiscard]] bool CreateDir(const std::string& path);  // one level; false when it exists or fails
[[nodiscard]] bool ForceDirectories(const std::string& path);  // all missing levels
// Makes the folders above Path that are missing; false, with LastError set, when it cannot.
[[nodiscard]] bool ForceFolderOf(const std::string& path);
// Its result may go unread: most callers remove temporaries whose absence is all they need.
bool DeleteFile(const std::string& path);
// Replaces Target by Source in one step (the target's old content is never half gone).
[[nodiscard]] bool RenameReplace(const std::string& source, const std::string& target);
// Copies Source over Target (replacing an older Target; a link of Target's name goes as a
// name, never written through). False when it fails.
[[nodiscard]] bool CopyFile(const std::string& source, const std::string& target);
std::string GetCurrentDir();
[[nodiscard]] int SetCurrentDir(const std::string& path);  // 0 or an error code

}  // namespace korvath::platform
