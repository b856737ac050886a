// Prints a file's MD5 as hex, computed either by FileDigest or by OpenSSL over the same mapped
// views, so that bench/md5.sh can time the digest itself against a reference implementation.
#include <openssl/evp.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "platform/MappedFile.h"
#include "transfer/md5.h"

namespace {

constexpr size_t kViewSize = size_t{64} << 20;  // as FileDigest maps files

bool OpenSslDigest(const std::string& fileName, korvath::TDigestBytes& digest) {
  korvath::platform::MappedFile file;
  if (!korvath::platform::MappedFile::Open(fileName, file)) return false;
  const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                        &EVP_MD_CTX_free);
  if (!context || EVP_DigestInit_ex(context.get(), EVP_md5(), nullptr) != 1) return false;
  for (uint64_t offset = 0; offset < file.Size(); offset += file.ViewSize()) {
    if (!file.MapView(offset, kViewSize)) return false;
    if (EVP_DigestUpdate(context.get(), file.Data(), file.ViewSize()) != 1) return false;
  }
  unsigned int length = 0;
  return EVP_DigestFinal_ex(context.get(), digest.data(), &length) == 1 && length == digest.size();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: md5_bench filedigest|openssl FILE\n");
    return 2;
  }
  const std::string mode = argv[1];
  korvath::TDigestBytes digest{};
  if (mode == "filedigest") {
    korvath::FileDigest(argv[2], digest);
  } else if (mode == "openssl") {
    if (!OpenSslDigest(argv[2], digest)) {
      std::fprintf(stderr, "md5_bench: cannot hash %s\n", argv[2]);
      return 1;
    }
  } else {
    std::fprintf(stderr, "md5_bench: unknown mode %s\n", argv[1]);
    return 2;
  }
  std::printf("%s  %s\n", korvath::DigestToHex(digest).c_str(), argv[2]);
  return 0;
}
