// The steps around a signed-in session that several places share: storing a
// successful login, putting a stored login back onto the service clients, and
// the local part of logging out.
#pragma once

#include "platform/value.h"

namespace shell {

// Stores a login, registration or social-network login response: the
// promotion flag, the login record, the bindings and profile, and the version
// under which the user's settings are kept.
void StoreLogin(const platform::Value& response);

// Installs the stored access token and the user agent on the four service
// clients; false when no token is stored.
bool InstallStoredLogin();

// Forgets the signed-in user here: the bindings and profile, the login record
// (keeping the last identity and provider), and marks contacts and blacklist
// for a re-fetch. Telling the service is AccountAPIClient::Logout.
void LogOutLocally();

}  // namespace shell
