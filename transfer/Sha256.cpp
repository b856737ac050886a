#include "transfer/Sha256.h"

#include <sodium.h>

#include <new>

#include "transfer/Signature.h"

namespace korvath {
namespace {

static_assert(sizeof(crypto_hash_sha256_state) <= 128 && alignof(crypto_hash_sha256_state) <= 16);

crypto_hash_sha256_state& State(unsigned char* bytes) {
  return *std::launder(reinterpret_cast<crypto_hash_sha256_state*>(bytes));
}

}  // namespace

TSha256::TSha256() {
  crypto_hash_sha256_init(new (FState) crypto_hash_sha256_state);
}

void TSha256::Update(const void* data, size_t length) {
  crypto_hash_sha256_update(&State(FState), static_cast<const unsigned char*>(data), length);
}

std::string TSha256::FinalHex() {
  std::string digest(crypto_hash_sha256_BYTES, '\0');
  crypto_hash_sha256_final(&State(FState), reinterpret_cast<unsigned char*>(digest.data()));
  crypto_hash_sha256_init(&State(FState));
  return HexEncode(digest);
}

std::string Sha256Hex(const std::string& data) {
  TSha256 hash;
  hash.Update(data.data(), data.size());
  return hash.FinalHex();
}

}  // namespace korvath
