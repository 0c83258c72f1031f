// The two stores on disk: "ContactData.sqlite" (each user's contact list:
// friends with their bindings, and guests) and "BlacklistData.sqlite" (each
// user's blocked users with their bindings). A user's record is written whole
// in one transaction, so a crash or a failed write leaves the old record or
// the new one, never a mix.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "contacts/contact_items.h"
#include "contacts/record_file.h"

namespace contacts {

class ContactStore {
 public:
  static constexpr char kFileName[] = "ContactData.sqlite";

  explicit ContactStore(std::string path, int busyTimeoutMs = 2000);

  bool Open(std::string* error) { return file_.Open(error); }
  const std::string& path() const { return file_.path(); }

  // Every stored user id, largest first.
  bool UserIds(std::vector<std::string>* ids, std::string* error);
  // False on a read error; `data` is none when the user has no record.
  bool Load(const std::string& userId, std::optional<ContactData>* data, std::string* error);
  // Replaces the user's record.
  bool Save(const ContactData& data, std::string* error);
  bool Remove(const std::string& userId, std::string* error);

 private:
  RecordFile file_;
};

class BlacklistStore {
 public:
  static constexpr char kFileName[] = "BlacklistData.sqlite";

  explicit BlacklistStore(std::string path, int busyTimeoutMs = 2000);

  bool Open(std::string* error) { return file_.Open(error); }
  const std::string& path() const { return file_.path(); }

  bool UserIds(std::vector<std::string>* ids, std::string* error);
  bool Load(const std::string& userId, std::optional<BlacklistData>* data, std::string* error);
  bool Save(const BlacklistData& data, std::string* error);
  bool Remove(const std::string& userId, std::string* error);

 private:
  RecordFile file_;
};

}  // namespace contacts
