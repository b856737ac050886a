// POSIX files: open(2) and friends, errno mapped onto the Windows numbering.
#include "platform/File.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <utility>

#include "platform/ErrorCodes.h"

namespace korvath::platform {
namespace {

int MapErrno(int e) {
  switch (e) {
    case 0:
      return 0;
    case ENOENT:
      return kErrorFileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      return kErrorPathNotFound;
    case EMFILE:
    case ENFILE:
      return kErrorTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
    case EBUSY:
      return kErrorAccessDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return kErrorDiskFull;
    case EEXIST:
      return kErrorFileExists;
    case EINVAL:
      return kErrorInvalidParameter;
    case ENOMEM:
      return kErrorNotEnoughMemory;
    default:
      return kErrorErrnoBase + e;
  }
}

thread_local int tLastError = 0;

int Fail() {
  tLastError = MapErrno(errno);
  return tLastError;
}

}  // namespace

void FileHandleTraits::Close(intptr_t handle) noexcept {
  ::close(static_cast<int>(handle));
}

int File::Open(const std::string& path, Access access, Share, Disposition disposition,
               File& result) {
  result.Close();
  // Sharing has no counterpart on POSIX: other processes are never kept out.
  int flags = O_CLOEXEC;
  switch (access) {
    case Access::Read:
      flags |= O_RDONLY;
      break;
    case Access::Write:
      flags |= O_WRONLY;
      break;
    case Access::ReadWrite:
      flags |= O_RDWR;
      break;
  }
  // SECURITY: O_NOFOLLOW keeps a file that is to be emptied from being a link's target
  // elsewhere; do NOT drop it. The link itself goes and a file takes its name.
  if (disposition == Disposition::CreateAlways) flags |= O_CREAT | O_TRUNC | O_NOFOLLOW;
  // With O_EXCL a final symbolic link is never followed: the name counts as taken.
  if (disposition == Disposition::CreateNew) flags |= O_CREAT | O_EXCL;
  int fd = ::open(path.c_str(), flags, 0666);
  if (fd < 0 && errno == ELOOP && disposition == Disposition::CreateAlways && IsLink(path) &&
      ::unlink(path.c_str()) == 0)
    fd = ::open(path.c_str(), flags, 0666);
  if (fd < 0) {
    // Creating a file inside a missing folder is a bad path, as Windows reports it.
    if (errno == ENOENT && disposition != Disposition::OpenExisting) {
      tLastError = kErrorPathNotFound;
      return tLastError;
    }
    return Fail();
  }
  result.FHandle.Reset(fd);
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    result.Close();
    tLastError = kErrorAccessDenied;
    return tLastError;
  }
  return 0;
}

int File::Read(void* buffer, size_t count, size_t& done) {
  done = 0;
  while (done < count) {
    const ssize_t n =
        ::read(static_cast<int>(FHandle.Get()), static_cast<char*>(buffer) + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Fail();
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return 0;
}

int File::Write(const void* buffer, size_t count, size_t& done) {
  done = 0;
  while (done < count) {
    const ssize_t n = ::write(static_cast<int>(FHandle.Get()),
                              static_cast<const char*>(buffer) + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Fail();
    }
    done += static_cast<size_t>(n);
  }
  return 0;
}

int File::Seek(int64_t offset, SeekFrom origin, int64_t& position) {
  const int whence = origin == SeekFrom::Begin     ? SEEK_SET
                     : origin == SeekFrom::Current ? SEEK_CUR
                                                   : SEEK_END;
  const off_t p = ::lseek(static_cast<int>(FHandle.Get()), static_cast<off_t>(offset), whence);
  if (p < 0) return Fail();
  position = p;
  return 0;
}

int File::Size(int64_t& size) const {
  struct stat st {};
  if (::fstat(static_cast<int>(FHandle.Get()), &st) != 0) return Fail();
  size = st.st_size;
  return 0;
}

int File::Allocate(int64_t size) {
  const int fd = static_cast<int>(FHandle.Get());
  const int error = ::posix_fallocate(fd, 0, static_cast<off_t>(size));
  // A file system that cannot take space in advance gets the length alone.
  if (error == EOPNOTSUPP || error == EINVAL)
    return ::ftruncate(fd, static_cast<off_t>(size)) != 0 ? Fail() : 0;
  errno = error;
  return error != 0 ? Fail() : 0;
}

int LastError() {
  return tLastError;
}

std::string SysErrorMessage(int errorCode) {
  switch (errorCode) {
    case kErrorFileNotFound:
      return "No such file or directory.";
    case kErrorPathNotFound:
      return "The path is not valid.";
    case kErrorTooManyOpenFiles:
      return "Too many open files.";
    case kErrorAccessDenied:
      return "Access denied.";
    case kErrorNotEnoughMemory:
      return "Not enough memory.";
    case kErrorFileExists:
      return "The file exists.";
    case kErrorInvalidParameter:
      return "The parameter is incorrect.";
    case kErrorDiskFull:
      return "No space left on device.";
    default:
      if (errorCode > kErrorErrnoBase)
        return std::string(std::strerror(errorCode - kErrorErrnoBase)) + ".";
      return "Error " + std::to_string(errorCode) + ".";
  }
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsLink(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool CreateDir(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) == 0) return true;
  Fail();
  return false;
}

bool ForceDirectories(const std::string& path) {
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  if (ec) {
    tLastError = MapErrno(ec.value());
    return false;
  }
  return DirectoryExists(path);
}

bool DeleteFile(const std::string& path) {
  if (::unlink(path.c_str()) == 0) return true;
  Fail();
  return false;
}

bool RenameReplace(const std::string& source, const std::string& target) {
  if (::rename(source.c_str(), target.c_str()) == 0) return true;
  Fail();
  return false;
}

bool CopyFile(const std::string& source, const std::string& target) {
  std::error_code ec;
  if (!FileExists(source)) {
    tLastError = kErrorFileNotFound;
    return false;
  }
  if (IsLink(target) && ::unlink(target.c_str()) != 0) {
    Fail();
    return false;
  }
  std::filesystem::copy_file(source, target, std::filesystem::copy_options::overwrite_existing, ec);
  if (ec) tLastError = MapErrno(ec.value());
  return !ec;
}

std::string GetCurrentDir() {
  std::error_code ec;
  auto p = std::filesystem::current_path(ec);
  return ec ? std::string() : p.string();
}

int SetCurrentDir(const std::string& path) {
  return ::chdir(path.c_str()) == 0 ? 0 : Fail();
}

}  // namespace korvath::platform
