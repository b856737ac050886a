// Ed25519 signatures of the update list: the publisher signs the exact bytes of files.lst.bz2
// with its secret key, and a client built with the matching public key checks them.
#pragma once

#include <cstddef>
#include <string>

#include "runtime/SysUtils.h"

namespace korvath {

// The list's signature is published beside it, under its name with this appended.
inline constexpr const char* kSignatureSuffix = ".sig";

inline constexpr size_t kSignatureBytes = 64;
inline constexpr size_t kPublicKeyBytes = 32;
inline constexpr size_t kSecretKeyBytes = 64;

// A key that is not a key, or a signing library that cannot start.
class ESignatureError : public Exception {
  using Exception::Exception;
};

// True only when Signature is a valid signature of ListBytes by the key PublicKeyHex (64 hex
// digits); a signature of any other length is simply false. Raises ESignatureError for a key
// that is not 64 hex digits, so that a broken key never reads as a forged list.
bool VerifyListSignature(const std::string& listBytes, const std::string& signature,
                         const std::string& publicKeyHex);

// A fresh key pair from the system's random source, both halves as raw bytes.
struct TSigningKeys {
  std::string PublicKey;
  std::string SecretKey;
};
TSigningKeys NewSigningKeys();

// The signature of ListBytes by SecretKey (raw, as NewSigningKeys makes it).
std::string SignList(const std::string& listBytes, const std::string& secretKey);

// The public key that belongs to SecretKey. Raises ESignatureError when SecretKey is not a
// secret key: its second half must be the public key its first half (the seed) makes.
std::string PublicKeyOf(const std::string& secretKey);

// The SHA-256 digest of a list's text as 64 lower-case hex digits: what a folder remembers of
// the signed list it applied, to know that list again.
std::string ListDigestHex(const std::string& listText);

// Lower-case hex text of bytes, and back; false for anything but an even number of hex digits.
std::string HexEncode(const std::string& bytes);
bool HexDecode(const std::string& hex, std::string& bytes);

}  // namespace korvath
