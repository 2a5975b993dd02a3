// The operator's signing key and the update list's signature, one implementation per system
// (signing_posix.cpp with OpenSSL's libcrypto, signing_win.cpp with the launcher's bcrypt code).
// A key file is PEM text, "PRIVATE KEY" (PKCS#8) of an ECDSA P-256 key with its public point, as
// "openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256" writes it.
#pragma once

#include <string>

// A new key: the key file's text and the public point (X then Y).
bool GenerateSigningKey(std::string* keyFile, std::string* point);

// r then s of an ECDSA P-256 signature over SHA-256 of `bytes`; false when `keyFile` holds no
// P-256 private key.
bool SignWithKeyFile(const std::string& keyFile, const std::string& bytes, std::string* signature);

// Whether `signature` (r then s) signs `bytes` for the public point.
bool VerifySignature(const std::string& point, const std::string& bytes, const std::string& signature);
