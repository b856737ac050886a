// The signing key of korvath-publish: a key pair made once per update server, and the secret
// half read back whenever a release is built with --sign.
#pragma once

#include <string>

namespace korvath::publish {

// Makes a key pair: the secret key into KeyFile, readable by its owner only, the public key
// into KeyFile + ".pub"; returns the public key as 64 hex digits. Raises EPublishError when
// either file already exists: a lost secret key would strand every client built with its
// public key.
std::string GenerateKeyFiles(const std::string& keyFile);

// The secret key that GenerateKeyFiles wrote into KeyFile. Raises EPublishError for a file that
// cannot be read or is no such key (a public key file, say).
std::string ReadSecretKeyFile(const std::string& keyFile);

}  // namespace korvath::publish
