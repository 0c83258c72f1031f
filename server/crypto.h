// The secrets of the accounts: password hashes, access tokens, random names.
// OpenSSL does the work; nothing here is home-made cryptography.
#pragma once

#include <string>
#include <string_view>

namespace server {

// "pbkdf2-sha256$<iterations>$<salt hex>$<hash hex>", with a fresh random salt.
std::string HashPassword(std::string_view password);
// Whether `password` matches a text made by HashPassword (constant-time compare).
bool VerifyPassword(std::string_view password, std::string_view stored);

// `bytes` random bytes from the operating system's generator, as lower-case hex.
std::string RandomHex(size_t bytes);

// The SHA-256 of a token as hex: the database stores only this, so a copy of
// the database does not hand out working access tokens.
std::string TokenDigest(std::string_view token);

}  // namespace server
