// POSIX file mapping: open(2) and mmap(2) with the sequential-access hints, each view under the
// bus-error guard.
#include "platform/MappedFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "platform/posix/BusGuard.h"

namespace korvath::platform {

bool MappedFile::Open(const std::string& path, MappedFile& result) {
  result.Close();
  // O_NONBLOCK: a FIFO of that name must not hold the caller until a writer comes along; it is
  // refused below like every other file that is not a regular one.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  result.FFile.Reset(fd);
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) {
    result.Close();
    return false;
  }
  result.FSize = static_cast<uint64_t>(st.st_size);
#ifdef POSIX_FADV_SEQUENTIAL
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);  // larger read-ahead; only a hint
#endif
  return true;
}

bool MappedFile::ReadAt(uint64_t offset, void* buffer, size_t length) const {
  if (!FFile.IsOpen()) return false;
  auto* out = static_cast<char*>(buffer);
  while (length > 0) {
    const ssize_t done =
        ::pread(static_cast<int>(FFile.Get()), out, length, static_cast<off_t>(offset));
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return false;
    out += done;
    offset += static_cast<uint64_t>(done);
    length -= static_cast<size_t>(done);
  }
  return true;
}

bool MappedFile::MapView(uint64_t offset, size_t length) {
  FView.Reset();
  if (!FFile.IsOpen() || offset >= FSize || offset % Granularity() != 0) return false;
  length = static_cast<size_t>(std::min<uint64_t>(length, FSize - offset));
  // Touching a mapped page beyond the end of a file that another program has cut short raises
  // SIGBUS. A file already short is refused here; one cut short while this very view is read
  // reads as zeros under the bus-error guard, and Intact() tells.
  struct stat st {};
  if (::fstat(static_cast<int>(FFile.Get()), &st) != 0 ||
      static_cast<uint64_t>(st.st_size) < offset + length)
    return false;
  void* view = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, static_cast<int>(FFile.Get()),
                      static_cast<off_t>(offset));
  if (view == MAP_FAILED) return false;
  ::posix_madvise(view, length, POSIX_MADV_SEQUENTIAL);
  FView.Reset({static_cast<const unsigned char*>(view), length, bus::Guard(view, length)});
  return true;
}

bool MappedFile::Intact() const {
  struct stat st {};
  return FFile.IsOpen() && ::fstat(static_cast<int>(FFile.Get()), &st) == 0 &&
         static_cast<uint64_t>(st.st_size) >= FSize;
}

size_t MappedFile::Granularity() {
  static const size_t granularity = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
  return granularity;
}

void MappedFile::MappingTraits::Close(intptr_t /*mapping*/) noexcept {}

void MappedFile::ViewTraits::Close(View view) noexcept {
  bus::Unguard(view.Guard);  // before the addresses can be another mapping's
  ::munmap(const_cast<unsigned char*>(view.Data), view.Size);
}

void MappedFile::Close() {
  FView.Reset();
  FFile.Reset();
  FSize = 0;
}

}  // namespace korvath::platform
