// The files of a signing key: the private key the service reads, and the public key
// line the program is built with.
#pragma once

#include <memory>
#include <string>

#include "Signing.h"

namespace zel::svc {

// Writes DIR/<key id>.pem (the private key, PKCS#8, mode 0600) and DIR/<key id>.pub
// (its public key line), creating DIR (mode 0700) when it is missing. Never replaces
// a file: when either exists, nothing is written and the error names it.
bool WriteKeyFiles(const SigningKey& key, const std::string& dir, std::string& error);

// Reads a private key file. Refuses a file that anyone but its owner may read or
// write, and one that holds no key of the two kinds; the error names the file.
std::shared_ptr<const SigningKey> LoadKeyFile(const std::string& path, std::string& error);

}  // namespace zel::svc
