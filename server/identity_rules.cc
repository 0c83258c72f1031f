#include "server/identity_rules.h"

#include <openssl/crypto.h>

#include "server/http_types.h"
#include "server/model.h"
#include "service/service_identity.h"

namespace server {

bool IsValidEmail(std::string_view text) {
  if (text.size() < 3 || text.size() > kMaxIdentityChars) return false;
  size_t at = text.find('@');
  if (at == 0 || at == std::string_view::npos || text.find('@', at + 1) != std::string_view::npos) {
    return false;
  }
  std::string_view domain = text.substr(at + 1);
  size_t dot = domain.rfind('.');
  if (dot == 0 || dot == std::string_view::npos || dot + 1 >= domain.size()) return false;
  for (char c : text) {
    if (static_cast<unsigned char>(c) <= ' ' || c == '<' || c == '>' || c == '"' || c == '\\') {
      return false;
    }
  }
  return true;
}

bool IsValidMobile(std::string_view text) {
  if (!text.empty() && text[0] == '+') text.remove_prefix(1);
  if (text.size() < 5 || text.size() > 20) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

bool IsSocialProvider(std::string_view provider) {
  return provider == "weibo" || provider == "qzone" || provider == "renren";
}

bool IsKnownProvider(std::string_view provider) {
  return IsSocialProvider(provider) || provider == "email" || provider == "mobile";
}

SignedIdentity ReadSignedIdentity(const Params& params,
                                  std::initializer_list<std::string_view> allowed) {
  SignedIdentity who;
  who.provider = params.RequiredText("provider", 16);
  bool ok = false;
  for (auto name : allowed) ok = ok || who.provider == name;
  if (!ok) {
    std::string list;
    for (auto name : allowed) list += (list.empty() ? "\"" : ", \"") + std::string(name) + "\"";
    Fail(400, "parameter \"provider\" must be one of " + list);
  }
  who.identity = params.RequiredText("identity", kMaxIdentityChars);
  if (who.identity.empty()) Fail(400, "parameter \"identity\" is empty");
  std::string signature = params.RequiredText("signature", 64);
  std::string expected = service::Signature(who.identity, who.provider);
  if (signature.size() != expected.size() ||
      CRYPTO_memcmp(signature.data(), expected.data(), expected.size()) != 0) {
    Fail(403, "the request signature does not match");
  }
  return who;
}

void CheckIdentityForm(const SignedIdentity& who) {
  if (who.provider == "email" && !IsValidEmail(who.identity)) {
    Fail(400, "\"" + who.identity + "\" is not an e-mail address");
  }
  if (who.provider == "mobile" && !IsValidMobile(who.identity)) {
    Fail(400, "\"" + who.identity + "\" is not a mobile number");
  }
}

}  // namespace server
