#include "contacts/account_contact_requests.h"

#include "service/account_api_client.h"

namespace contacts {
namespace {

using service::AccountAPIClient;

std::optional<std::vector<std::string>> Given(const std::vector<std::string>& items) {
  if (items.empty()) return std::nullopt;
  return items;
}

}  // namespace

void AccountContactRequests::GetContacts(Success success, Failure failure) {
  AccountAPIClient::GetContacts(std::move(success), std::move(failure));
}

void AccountContactRequests::AddContacts(const std::vector<std::string>& internal,
                                         const std::vector<std::string>& external, Success success,
                                         Failure failure) {
  AccountAPIClient::AddContacts(Given(internal), Given(external), std::move(success),
                                std::move(failure));
}

void AccountContactRequests::RemoveContacts(const std::vector<std::string>& internal,
                                            const std::vector<std::string>& external,
                                            Success success, Failure failure) {
  AccountAPIClient::RemoveContacts(Given(internal), Given(external), std::move(success),
                                   std::move(failure));
}

void AccountContactRequests::GetBlackList(Success success, Failure failure) {
  AccountAPIClient::GetBlackList(std::move(success), std::move(failure));
}

void AccountContactRequests::AddUserToBlackList(const std::string& uid, Success success,
                                                Failure failure) {
  AccountAPIClient::AddUserToBlackList(uid, std::move(success), std::move(failure));
}

void AccountContactRequests::RemoveUserFromBlackList(const std::string& uid, Success success,
                                                     Failure failure) {
  AccountAPIClient::RemoveUserFromBlackList(uid, std::move(success), std::move(failure));
}

}  // namespace contacts
