// The identity this application presents to the Selvo service, and the request
// signature built from it. Shared, header-only, by the service clients (which
// sign) and by selvo-server (which checks), so both always agree.
//
// Anonymous requests (the /webapi/ variants, sent while no access token is
// installed) and the account requests that carry an "identity" (login,
// registration, social-network sign-in, bindings, reactivation, password reset)
// send three parameters next to their own:
//
//   "identity"  - the user's e-mail address, mobile number or social-network
//                 user id; for the anonymous /webapi/ requests the
//                 installation id (a UUID kept in the device preferences)
//   "provider"  - "email", "mobile", "weibo", "qzone", "renren", or "app" for
//                 requests that identify the application rather than a user
//   "signature" - Signature(identity, provider) below
//
// The signature is the MD5 digest, as 32 lower-case hexadecimal digits, of
//   identity + "$" + provider + "$" + kApplicationId + "$" + kApplicationSecret
// taking the texts as UTF-8 bytes. The server recomputes it from the received
// identity and provider and refuses the request when it differs.
//
// The application id (10 decimal digits) and secret (32 lower-case hexadecimal
// digits) are issued by the service for this application and compiled in. A
// signature proves only that the request came from a copy of this program: the
// secret ships inside it. It is a gate against casual misuse, not an
// authentication of the user; passwords and access tokens do that.
#pragma once

#include <string>
#include <string_view>

#include "service/md5.h"

namespace service {

inline constexpr std::string_view kApplicationId = "4817203956";
inline constexpr std::string_view kApplicationSecret = "9c1e6f3a0b7d4e2f8a5c6b1d0e3f7a29";

// The text that is digested: identity$provider$application id$application secret.
inline std::string SignatureText(std::string_view identity, std::string_view provider) {
  std::string text;
  text.reserve(identity.size() + provider.size() + kApplicationId.size() +
               kApplicationSecret.size() + 3);
  text.append(identity).append("$").append(provider).append("$");
  text.append(kApplicationId).append("$").append(kApplicationSecret);
  return text;
}

// The "signature" parameter for an identity and provider.
inline std::string Signature(std::string_view identity, std::string_view provider) {
  return Md5Hex(SignatureText(identity, provider));
}

}  // namespace service
