// MD5 through OpenSSL's EVP interface.
#include <openssl/evp.h>

#include <cstdio>
#include <cstdlib>

#include "platform/md5.h"

namespace platform {

std::array<unsigned char, 16> Md5Digest(std::string_view data) {
  std::array<unsigned char, 16> digest{};
  unsigned int size = 0;
  if (EVP_Digest(data.data(), data.size(), digest.data(), &size, EVP_md5(), nullptr) != 1 ||
      size != digest.size()) {
    std::fprintf(stderr, "EVP_Digest(md5) failed\n");
    std::abort();
  }
  return digest;
}

std::string Md5HexDigest(std::string_view data) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  text.reserve(32);
  for (unsigned char byte : Md5Digest(data)) {
    text += kHex[byte >> 4];
    text += kHex[byte & 15];
  }
  return text;
}

}  // namespace platform
