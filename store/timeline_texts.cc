#include "store/timeline_texts.h"

#include <map>

namespace store {

std::string TimelineText(std::string_view key) {
  static const auto* texts = new std::map<std::string, std::string, std::less<>>{
      {"$$$second", "s"},      {"$$$minute", "m"},
      {"$$$hour", "h"},        {"$$$day", "d"},
      {"$$$month", "mo"},      {"$$$year", "y"},
      {"$$$time_ago", " ago"}, {"$$$Watch", " watched"},
      {"$$$Like", " liked"},   {"$$$Leave_Message", " comments"},
  };
  auto it = texts->find(key);
  return it == texts->end() ? std::string(key) : it->second;
}

}  // namespace store
