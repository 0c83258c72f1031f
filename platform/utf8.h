// UTF-8 as this program accepts it from peers: well-formed sequences only, no
// overlong forms, no UTF-16 surrogates, nothing beyond U+10FFFF.
#pragma once

#include <cstddef>
#include <string_view>

namespace platform {

// The length (1 to 4) of the sequence `text` starts with, its code point in
// `*code_point`; 0 when the sequence is malformed or `text` is empty.
size_t DecodeUtf8(std::string_view text, char32_t* code_point);
bool IsValidUtf8(std::string_view text);
// Characters of UTF-8 text: every byte but continuation bytes counts.
size_t CountUtf8Characters(std::string_view text);

}  // namespace platform
