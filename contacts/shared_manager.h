// The process's one manager of a kind (ContactDataManager, BlacklistDataManager)
// on its store file in the documents directory.
#pragma once

#include <memory>
#include <string>

#include "platform/environment.h"

namespace contacts {

template <typename Manager>
std::unique_ptr<Manager>& SharedManagerSlot() {
  static auto* shared = new std::unique_ptr<Manager>();
  return *shared;
}

// Opens the manager on first use.
template <typename Manager>
Manager& SharedManager(const char* fileName) {
  auto& shared = SharedManagerSlot<Manager>();
  if (!shared) {
    shared = std::make_unique<Manager>(platform::DefaultEnvironment().DocumentsDirectory() + "/" +
                                       fileName);
  }
  return *shared;
}

// Saves and drops the manager; the next SharedManager opens the store again.
template <typename Manager>
void ResetSharedManager() {
  auto& shared = SharedManagerSlot<Manager>();
  if (shared) shared->SaveContext();
  shared.reset();
}

}  // namespace contacts
