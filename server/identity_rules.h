// What makes an e-mail address, a mobile number, a provider name and a
// request signature acceptable to the service.
#pragma once

#include <string>
#include <string_view>

#include "server/params.h"

namespace server {

bool IsValidEmail(std::string_view text);
// Digits with an optional leading "+", 5 to 20 digits.
bool IsValidMobile(std::string_view text);
bool IsSocialProvider(std::string_view provider);  // "weibo", "qzone", "renren"
bool IsKnownProvider(std::string_view provider);   // those and "email", "mobile"

// Reads "identity", "provider" and "signature", checks the provider is one of
// `allowed` and the signature matches; refuses with 400 or 403.
struct SignedIdentity {
  std::string identity;
  std::string provider;
};
SignedIdentity ReadSignedIdentity(const Params& params,
                                  std::initializer_list<std::string_view> allowed);
// Checks the identity's form for its provider (e-mail, mobile number); 400.
void CheckIdentityForm(const SignedIdentity& who);

}  // namespace server
