// One move-only owner for every kind of operating-system handle. A kind says in a small traits
// struct what its empty value is and how a handle of it is closed:
//
//   struct FdTraits {
//     using Type = int;
//     static constexpr int Empty() noexcept { return -1; }
//     static void Close(int fd) noexcept { ::close(fd); }
//   };
//   using UniqueFd = UniqueHandle<FdTraits>;
#pragma once

#include <utility>

namespace korvath::platform {

template <typename Traits>
class UniqueHandle {
 public:
  using Type = typename Traits::Type;

  UniqueHandle() noexcept = default;
  explicit UniqueHandle(Type handle) noexcept : FHandle(handle) {}
  UniqueHandle(UniqueHandle&& other) noexcept : FHandle(other.Release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { Reset(); }

  Type Get() const noexcept { return FHandle; }
  bool IsOpen() const noexcept { return FHandle != Traits::Empty(); }
  explicit operator bool() const noexcept { return IsOpen(); }

  // Gives the handle up without closing it.
  Type Release() noexcept { return std::exchange(FHandle, Traits::Empty()); }
  // Closes the handle held, if any, and holds Handle instead.
  void Reset(Type handle = Traits::Empty()) noexcept {
    const Type old = std::exchange(FHandle, handle);
    if (old != Traits::Empty()) Traits::Close(old);
  }

 private:
  Type FHandle = Traits::Empty();
};

}  // namespace korvath::platform
