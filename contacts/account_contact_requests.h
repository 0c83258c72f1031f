// ContactRequests sent with the shared AccountAPIClient.
#pragma once

#include "contacts/contact_requests.h"

namespace contacts {

class AccountContactRequests final : public ContactRequests {
 public:
  void GetContacts(Success success, Failure failure) override;
  void AddContacts(const std::vector<std::string>& internal,
                   const std::vector<std::string>& external, Success success,
                   Failure failure) override;
  void RemoveContacts(const std::vector<std::string>& internal,
                      const std::vector<std::string>& external, Success success,
                      Failure failure) override;
  void GetBlackList(Success success, Failure failure) override;
  void AddUserToBlackList(const std::string& uid, Success success, Failure failure) override;
  void RemoveUserFromBlackList(const std::string& uid, Success success, Failure failure) override;
};

}  // namespace contacts
