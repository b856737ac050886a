#include "transfer/Signature.h"

#include <sodium.h>

#include <utility>

namespace korvath {
namespace {

static_assert(kSignatureBytes == crypto_sign_BYTES);
static_assert(kPublicKeyBytes == crypto_sign_PUBLICKEYBYTES);
static_assert(kSecretKeyBytes == crypto_sign_SECRETKEYBYTES);

// Safe to call from any thread, any number of times.
void StartSodium() {
  if (sodium_init() < 0) throw ESignatureError("The signature library could not be started");
}

const unsigned char* Bytes(const std::string& s) {
  return reinterpret_cast<const unsigned char*>(s.data());
}
unsigned char* Bytes(std::string& s) {
  return reinterpret_cast<unsigned char*>(s.data());
}

}  // namespace

bool VerifyListSignature(const std::string& listBytes, const std::string& signature,
                         const std::string& publicKeyHex) {
  StartSodium();
  std::string key;
  if (!HexDecode(publicKeyHex, key) || key.size() != kPublicKeyBytes)
    throw ESignatureError("The public key the update list is checked with is not 64 hex digits");
  if (signature.size() != kSignatureBytes) return false;
  return crypto_sign_verify_detached(Bytes(signature), Bytes(listBytes), listBytes.size(),
                                     Bytes(key)) == 0;
}

TSigningKeys NewSigningKeys() {
  StartSodium();
  TSigningKeys keys{std::string(kPublicKeyBytes, '\0'), std::string(kSecretKeyBytes, '\0')};
  crypto_sign_keypair(Bytes(keys.PublicKey), Bytes(keys.SecretKey));
  return keys;
}

std::string SignList(const std::string& listBytes, const std::string& secretKey) {
  PublicKeyOf(secretKey);  // never signs with half a key
  std::string signature(kSignatureBytes, '\0');
  crypto_sign_detached(Bytes(signature), nullptr, Bytes(listBytes), listBytes.size(),
                       Bytes(secretKey));
  return signature;
}

std::string PublicKeyOf(const std::string& secretKey) {
  StartSodium();
  if (secretKey.size() != kSecretKeyBytes)
    throw ESignatureError("A secret key is 64 bytes long, this one is " +
                          std::to_string(secretKey.size()));
  std::string seed(crypto_sign_SEEDBYTES, '\0');
  crypto_sign_ed25519_sk_to_seed(Bytes(seed), Bytes(secretKey));
  std::string publicKey(kPublicKeyBytes, '\0'), derived(kSecretKeyBytes, '\0');
  crypto_sign_seed_keypair(Bytes(publicKey), Bytes(derived), Bytes(seed));
  sodium_memzero(seed.data(), seed.size());
  const bool matches = sodium_memcmp(derived.data(), secretKey.data(), kSecretKeyBytes) == 0;
  sodium_memzero(derived.data(), derived.size());
  if (!matches)
    throw ESignatureError("The secret key is damaged: its halves do not belong together");
  return publicKey;
}

std::string ListDigestHex(const std::string& listText) {
  StartSodium();
  std::string digest(crypto_hash_sha256_BYTES, '\0');
  crypto_hash_sha256(Bytes(digest), Bytes(listText), listText.size());
  return HexEncode(digest);
}

std::string HexEncode(const std::string& bytes) {
  std::string hex(bytes.size() * 2 + 1, '\0');
  sodium_bin2hex(hex.data(), hex.size(), Bytes(bytes), bytes.size());
  hex.pop_back();
  return hex;
}

bool HexDecode(const std::string& hex, std::string& bytes) {
  StartSodium();
  if (hex.size() % 2 != 0) return false;
  std::string out(hex.size() / 2, '\0');
  size_t length = 0;
  const char* end = nullptr;
  if (sodium_hex2bin(Bytes(out), out.size(), hex.c_str(), hex.size(), nullptr, &length, &end) !=
          0 ||
      end != hex.c_str() + hex.size() || length != out.size())
    return false;
  bytes = std::move(out);
  return true;
}

}  // namespace korvath
