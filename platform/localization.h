// Localised display texts: every text the user reads is looked up by key in the
// string table that ships with the program (resources/Localizable.strings,
// compiled in).
#pragma once

#include <string>
#include <string_view>

namespace platform {

// The text for `key`, or `fallback` when the table has none.
std::string LocalizedString(std::string_view key, std::string_view fallback = {});

// Parses a table in the ".strings" form: lines of "key" = "text"; with comments
// (/* ... */ and //) and the escapes \" \\ \n. Exposed for tests.
bool ParseStringsTable(std::string_view text,
                       void (*add)(void* context, std::string key, std::string value),
                       void* context);

}  // namespace platform
