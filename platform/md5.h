// MD5 digests. MD5 serves only where a peer defines a value with it (the
// service's request signature); it protects nothing.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace platform {

std::array<unsigned char, 16> Md5Digest(std::string_view data);
// The digest as 32 lower-case hexadecimal digits.
std::string Md5HexDigest(std::string_view data);

}  // namespace platform
