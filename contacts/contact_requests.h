// ContactRequests: the service's contact and blacklist endpoints as the
// synchronisation uses them. AccountContactRequests sends them with the
// account client; tests answer them on demand.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/value.h"

namespace contacts {

class ContactRequests {
 public:
  using Success = std::function<void(const platform::Value& answer)>;
  // The error JSON ("code", "msg"), or null when there was no answer.
  using Failure = std::function<void(const platform::Value& error)>;

  virtual ~ContactRequests() = default;
  // {"friend_list": [...], "guest_list": [...]}.
  virtual void GetContacts(Success success, Failure failure) = 0;
  // `internal`: user ids; `external`: guest entries
  // "provider#identity#screen name#avatar URL". Answers a contact list that
  // holds (at least) the members added.
  virtual void AddContacts(const std::vector<std::string>& internal,
                           const std::vector<std::string>& external, Success success,
                           Failure failure) = 0;
  // `internal`: user ids; `external`: guests as "provider#identity".
  virtual void RemoveContacts(const std::vector<std::string>& internal,
                              const std::vector<std::string>& external, Success success,
                              Failure failure) = 0;
  // An array of user objects.
  virtual void GetBlackList(Success success, Failure failure) = 0;
  virtual void AddUserToBlackList(const std::string& uid, Success success, Failure failure) = 0;
  virtual void RemoveUserFromBlackList(const std::string& uid, Success success,
                                       Failure failure) = 0;
};

}  // namespace contacts
