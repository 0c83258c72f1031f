// The display texts of the timeline screens, by localisation key ("$$$second").
#pragma once

#include <string>
#include <string_view>

namespace store {

// The text of `key`; the key itself when there is none.
std::string TimelineText(std::string_view key);

}  // namespace store
