// Key files are text: the secret key as 128 hex digits (its seed, then its public key), the
// public key as 64, each on one line, so that they survive being copied around by hand.
#include "tools/publish/Sign.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/File.h"
#include "runtime/Classes.h"
#include "tools/publish/Problems.h"
#include "transfer/Signature.h"

namespace fs = std::filesystem;

namespace korvath::publish {
namespace {

constexpr const char* kPublicSuffix = ".pub";

// Creates Path, which must not exist yet, with Mode from the first byte on: a secret key is
// never readable by others, not even while it is being written.
void WriteNewFile(const std::string& path, const std::string& text, mode_t mode) {
  platform::UniqueHandle<platform::FileHandleTraits> file(
      ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
  if (!file) throw EPublishError(path + ": cannot be created: " + std::strerror(errno));
  const int fd = static_cast<int>(file.Get());
  const ssize_t written = ::write(fd, text.data(), text.size());
  const bool ok = written == static_cast<ssize_t>(text.size()) && ::fsync(fd) == 0;
  const int error = errno;
  file.Reset();
  if (!ok) {
    ::unlink(path.c_str());
    throw EPublishError(path + ": cannot be written: " + std::strerror(error));
  }
}

}  // namespace

std::string GenerateKeyFiles(const std::string& keyFile) {
  const std::string publicFile = keyFile + kPublicSuffix;
  for (const std::string& path : {keyFile, publicFile}) {
    std::error_code ec;
    if (fs::exists(fs::symlink_status(path, ec)))
      throw EPublishError(path +
                          ": already exists; a key is never overwritten (move it away first)");
  }
  TSigningKeys keys = NewSigningKeys();
  const std::string publicHex = HexEncode(keys.PublicKey);
  WriteNewFile(keyFile, HexEncode(keys.SecretKey) + "\n", S_IRUSR | S_IWUSR);
  try {
    WriteNewFile(publicFile, publicHex + "\n", S_IRUSR | S_IWUSR | S_IRGRP | S_IROTH);
  } catch (...) {
    ::unlink(keyFile.c_str());  // half a key pair is no key pair
    throw;
  }
  return publicHex;
}

std::string ReadSecretKeyFile(const std::string& keyFile) {
  std::error_code ec;
  const auto size = fs::file_size(keyFile, ec);
  if (ec) throw EPublishError("--sign " + keyFile + ": cannot be read: " + ec.message());
  // Anything much longer is not a key file; it is not read whole.
  if (size > 4 * kSecretKeyBytes)
    throw EPublishError("--sign " + keyFile + ": not a secret key made by korvath-publish keygen");
  std::string text(static_cast<size_t>(size), '\0');
  try {
    TFileStream file(keyFile, fmOpenRead | fmShareDenyWrite);
    if (!text.empty()) file.ReadBuffer(text.data(), static_cast<int32_t>(text.size()));
  } catch (const Exception& e) {
    throw EPublishError("--sign " + keyFile + ": cannot be read: " + e.Message());
  }
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
    text.pop_back();
  std::string key;
  if (!HexDecode(text, key) || key.size() != kSecretKeyBytes) {
    const bool isPublic = key.size() == kPublicKeyBytes;
    throw EPublishError("--sign " + keyFile +
                        (isPublic ? ": this is a public key; --sign takes the secret key file"
                                  : ": not a secret key made by korvath-publish keygen"));
  }
  try {
    PublicKeyOf(key);
  } catch (const ESignatureError& e) {
    throw EPublishError("--sign " + keyFile + ": " + e.Message());
  }
  return key;
}

}  // namespace korvath::publish
