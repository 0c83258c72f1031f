#include "server/crypto.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <stdexcept>
#include <vector>

namespace server {
namespace {

// A deliberate cost per login; high enough to slow guessing, low enough for a
// small server on two cores.
constexpr int kIterations = 60000;
constexpr size_t kSaltBytes = 16;
constexpr size_t kHashBytes = 32;

std::string Hex(const unsigned char* data, size_t size) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(size * 2);
  for (size_t i = 0; i < size; ++i) {
    text += kDigits[data[i] >> 4];
    text += kDigits[data[i] & 15];
  }
  return text;
}

bool FromHex(std::string_view text, std::vector<unsigned char>& out) {
  if (text.size() % 2) return false;
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  out.clear();
  for (size_t i = 0; i < text.size(); i += 2) {
    int hi = digit(text[i]), lo = digit(text[i + 1]);
    if (hi < 0 || lo < 0) return false;
    out.push_back(static_cast<unsigned char>(hi * 16 + lo));
  }
  return true;
}

std::vector<unsigned char> Derive(std::string_view password, const std::vector<unsigned char>& salt,
                                  int iterations) {
  std::vector<unsigned char> hash(kHashBytes);
  if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), salt.data(),
                        static_cast<int>(salt.size()), iterations, EVP_sha256(),
                        static_cast<int>(hash.size()), hash.data()) != 1) {
    throw std::runtime_error("password hashing failed");
  }
  return hash;
}

}  // namespace

std::string RandomHex(size_t bytes) {
  std::vector<unsigned char> data(bytes);
  if (RAND_bytes(data.data(), static_cast<int>(bytes)) != 1) {
    throw std::runtime_error("random generator failed");
  }
  return Hex(data.data(), data.size());
}

std::string HashPassword(std::string_view password) {
  std::vector<unsigned char> salt;
  FromHex(RandomHex(kSaltBytes), salt);
  auto hash = Derive(password, salt, kIterations);
  return "pbkdf2-sha256$" + std::to_string(kIterations) + "$" + Hex(salt.data(), salt.size()) +
         "$" + Hex(hash.data(), hash.size());
}

bool VerifyPassword(std::string_view password, std::string_view stored) {
  // Split into the four fields.
  std::string_view fields[4];
  for (int i = 0; i < 3; ++i) {
    size_t dollar = stored.find('$');
    if (dollar == std::string_view::npos) return false;
    fields[i] = stored.substr(0, dollar);
    stored.remove_prefix(dollar + 1);
  }
  fields[3] = stored;
  if (fields[0] != "pbkdf2-sha256") return false;
  int iterations = 0;
  for (char c : fields[1]) {
    if (c < '0' || c > '9' || iterations > 10'000'000) return false;
    iterations = iterations * 10 + (c - '0');
  }
  std::vector<unsigned char> salt, expected;
  if (iterations <= 0 || !FromHex(fields[2], salt) || !FromHex(fields[3], expected) ||
      expected.size() != kHashBytes) {
    return false;
  }
  auto hash = Derive(password, salt, iterations);
  return CRYPTO_memcmp(hash.data(), expected.data(), kHashBytes) == 0;
}

std::string TokenDigest(std::string_view token) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (EVP_Digest(token.data(), token.size(), digest, &size, EVP_sha256(), nullptr) != 1) {
    throw std::runtime_error("digest failed");
  }
  return Hex(digest, size);
}

}  // namespace server
