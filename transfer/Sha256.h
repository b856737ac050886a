// SHA-256 of data fed in pieces, in the 64-character text form the update list writes beside
// an entry's MD5: a digest that cannot be forged the way an MD5 can.
#pragma once

#include <cstddef>
#include <string>

namespace korvath {

class TSha256 {
 public:
  TSha256();
  void Update(const void* data, size_t length);
  // 64 lower-case hexadecimal characters; the state starts over afterwards.
  std::string FinalHex();

 private:
  // The signature library's state, kept opaque so that its header stays in one file.
  alignas(16) unsigned char FState[128];
};

std::string Sha256Hex(const std::string& data);

}  // namespace korvath
