// The key file's text without OpenSSL, for the Windows build of the tool: PEM "PRIVATE KEY"
// (PKCS#8) of an ECDSA P-256 key that carries its public point, the layout OpenSSL writes.
#pragma once

#include <string>

// The private scalar d (32 bytes) and the public point (X then Y), or false for any other text.
bool ParseKeyFile(const std::string& text, std::string* privateScalar, std::string* point);
std::string FormatKeyFile(const std::string& privateScalar, const std::string& point);
