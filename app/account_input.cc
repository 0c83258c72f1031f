#include "app/account_input.h"

#include "shell/selvo_utils.h"

namespace app {

std::optional<AccountIdentity> ReadIdentity(const ArgParser& parser, std::string& error) {
  auto email = parser.Get("email");
  auto mobile = parser.Get("mobile");
  if (email.has_value() == mobile.has_value()) {
    error = "give either --email or --mobile";
    return std::nullopt;
  }
  if (email) {
    if (!shell::SelvoUtils::IsValidEmail(*email)) {
      error = "'" + *email + "' is not a valid e-mail address";
      return std::nullopt;
    }
    return AccountIdentity{*email, "email"};
  }
  if (!shell::SelvoUtils::IsValidMobliePhoneNumber(*mobile)) {
    error = "'" + *mobile + "' is not a valid mobile number (11 digits beginning with 1)";
    return std::nullopt;
  }
  return AccountIdentity{*mobile, "mobile"};
}

}  // namespace app
