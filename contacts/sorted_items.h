// SortedItems: one user's items in display order, copied and sorted on first
// use and kept until the list changes (Release) or another user's is asked for.
#pragma once

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace contacts {

template <typename Item>
class SortedItems {
 public:
  // The sorted copy of `items` (none: an empty list), made when the kept one is
  // another user's.
  template <typename Less>
  const std::vector<Item>& Get(const std::string& ownId, const std::vector<Item>* items,
                               Less less) {
    if (!sorted_ || sorted_->first != ownId) {
      std::vector<Item> copy;
      if (items) copy = *items;
      std::stable_sort(copy.begin(), copy.end(), less);
      sorted_.emplace(ownId, std::move(copy));
    }
    return sorted_->second;
  }

  // Removes the item at `index` of the kept copy from it and from `items`; false
  // when `index` is out of range.
  bool Erase(size_t index, std::vector<Item>* items) {
    if (!sorted_ || index >= sorted_->second.size()) return false;
    std::vector<Item>& sorted = sorted_->second;
    auto it = std::find(items->begin(), items->end(), sorted[index]);
    if (it != items->end()) items->erase(it);
    sorted.erase(sorted.begin() + static_cast<std::ptrdiff_t>(index));
    return true;
  }

  void Release() { sorted_.reset(); }

 private:
  std::optional<std::pair<std::string, std::vector<Item>>> sorted_;
};

}  // namespace contacts
