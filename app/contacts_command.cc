// selvo contacts [list | add ID | remove ID | block ID | unblock ID | search TEXT]:
// the signed-in user's contacts (friends and guests) and blacklist, kept in
// the contact and blacklist stores and changed through the service.
//
// list shows the stores at once, then refreshes both from the service. ID is
// a user id; add and remove also take a guest, "provider#identity" (add may
// give "#screen name#avatar URL" after it). search looks users up by screen
// name, and also by id or mobile number when the text is one.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>

#include "app/args.h"
#include "app/service_job.h"
#include "contacts/account_contact_requests.h"
#include "contacts/contact_sync.h"
#include "platform/environment.h"
#include "service/account_api_client.h"
#include "shell/login_user_info_preferences.h"
#include "shell/selvo_global_preferences.h"
#include "shell/selvo_utils.h"
#include "shell/session.h"
#include "store/storelib.h"
#include "store/timeline_utils.h"

namespace app {
namespace {

using contacts::BlacklistDataManager;
using contacts::ContactDataManager;

constexpr const char* kProviders[] = {"email", "mobile", "weibo", "qzone", "renren"};

std::string Name(const contacts::Text& name) {
  return name && !name->empty() ? OneLine(*name) : "(no name)";
}

void PrintLists(ContactDataManager& contactData, BlacklistDataManager& blacklist,
                const std::string& ownId, const char* heading) {
  const auto& friends = contactData.FriendContactArray(ownId);
  const auto& guests = contactData.GuestContactArray(ownId);
  const auto& blocked = blacklist.BlackArray(ownId);
  std::printf("%s: %zu friend%s, %zu guest%s, %zu blocked\n", heading, friends.size(),
              friends.size() == 1 ? "" : "s", guests.size(), guests.size() == 1 ? "" : "s",
              blocked.size());
  for (const auto& item : friends) {
    std::printf("  friend  %s  %s\n", item.friendId.c_str(), Name(item.screenName).c_str());
  }
  for (const auto& item : guests) {
    std::printf("  guest   %s#%s  %s\n", OneLine(item.provider).c_str(),
                OneLine(item.identity).c_str(), Name(item.screenName).c_str());
  }
  for (const auto& item : blocked) {
    std::printf("  blocked %s  %s\n", item.blackId.c_str(), Name(item.screenName).c_str());
  }
  std::fflush(stdout);
}

bool IsUserId(const std::string& text) { return ParseInteger(text, 1, INT64_MAX).has_value(); }

// "provider#identity[#screen name[#avatar URL]]" with a known provider and an
// identity; sets `reference` to "provider#identity" and `entry` to the four
// parts the service takes when adding.
bool ParseGuest(const std::string& text, std::string* reference, std::string* entry) {
  const size_t hash = text.find('#');
  if (hash == std::string::npos) return false;
  const std::string provider = text.substr(0, hash);
  const size_t next = text.find('#', hash + 1);
  const std::string identity = text.substr(hash + 1, next - hash - 1);
  bool known = false;
  for (const char* p : kProviders) known = known || provider == p;
  if (!known || identity.empty()) return false;
  std::string rest = next == std::string::npos ? "" : text.substr(next + 1);
  // The screen name may hold "#"; the avatar URL is what follows the last one.
  if (rest.find('#') == std::string::npos) rest += "#";
  *reference = provider + "#" + identity;
  *entry = *reference + "#" + rest;
  return true;
}

struct Request {
  std::string action;  // list, add, remove, block, unblock, search
  std::string argument;
  std::string guestReference, guestEntry;  // add and remove of a guest
};

std::optional<std::string> ParseRequest(const std::vector<std::string>& words, Request* request) {
  request->action = words.empty() ? "list" : words[0];
  const std::string& action = request->action;
  const bool takesArgument = action == "add" || action == "remove" || action == "block" ||
                             action == "unblock" || action == "search";
  if (action != "list" && !takesArgument) {
    return "unknown contacts action '" + action +
           "': use list, add, remove, block, unblock or search";
  }
  if (!takesArgument) {
    if (words.size() > 1) return std::string("contacts list takes no arguments");
    return std::nullopt;
  }
  if (words.size() != 2) return "contacts " + action + " takes one argument";
  request->argument = words[1];
  if (action == "search") {
    const std::string& text = request->argument;
    const size_t first = text.find_first_not_of(" \t\r\n");
    const std::string trimmed =
        first == std::string::npos
            ? ""
            : text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
    if (trimmed.empty()) return std::string("contacts search needs some text");
    request->argument = trimmed;
    return std::nullopt;
  }
  if (IsUserId(request->argument)) return std::nullopt;
  if ((action == "add" || action == "remove") &&
      ParseGuest(request->argument, &request->guestReference, &request->guestEntry)) {
    if (action == "remove" && request->guestReference != request->argument) {
      return std::string("contacts remove takes a guest as provider#identity");
    }
    return std::nullopt;
  }
  if (action == "add" || action == "remove") {
    return "contacts " + action + " takes a user id or a guest as provider#identity, not '" +
           request->argument + "'";
  }
  return "contacts " + action + " takes a user id, not '" + request->argument + "'";
}

// Every user the three searches found, by id, in the order found.
struct SearchResults {
  int waiting = 0;
  std::vector<platform::Value> users;
  std::optional<platform::Value> error;
  void Add(const platform::Value& answer) {
    if (!answer.is_array()) return;
    for (const platform::Value& user : *answer.array()) {
      bool known = false;
      for (const platform::Value& u : users) known = known || u["_id"] == user["_id"];
      if (!known) users.push_back(user);
    }
  }
};

}  // namespace

int ContactsCommand(const GlobalOptions& global, const std::vector<std::string>& args) {
  ArgParser parser;
  if (!parser.Parse(args)) return UsageError(parser.error());
  Request request;
  if (auto problem = ParseRequest(parser.positional(), &request)) return UsageError(*problem);

  contacts::AccountContactRequests requests;
  std::unique_ptr<contacts::ContactSync> sync;
  auto search = std::make_shared<SearchResults>();
  bool store_open = false;
  // What the callbacks below use outlives the job that sets them up.
  std::string ownId, server;
  ContactDataManager* contactData = nullptr;
  BlacklistDataManager* blacklist = nullptr;
  const std::string& id = request.argument;
  const std::string& action = request.action;
  const int status = RunServiceJob(global, [&](const ApplicationHost& host,
                                               ApplicationHost::Finish finish) {
    if (!shell::InstallStoredLogin()) return Fail(finish, "not signed in");
    ownId = shell::LoginUserInfoPreferences::UserId();
    server = host.ServerUrl();
    contactData = &ContactDataManager::SharedInstance();
    blacklist = &BlacklistDataManager::SharedInstance();
    // The cache directories, where a removed friend's avatar file goes.
    store_open = storelib::OpenStore(std::strtoull(ownId.c_str(), nullptr, 10),
                                     platform::DefaultEnvironment().DocumentsDirectory());
    sync = std::make_unique<contacts::ContactSync>(
        requests, *contactData, *blacklist, ownId,
        platform::DefaultEnvironment().ApplicationVersion());
    sync->SetFriendRemovedHandler([](const contacts::FriendItem& item) {
      if (item.avatar) store::TimelineUtils::RemoveBuddyAvatarFile(*item.avatar, item.friendId);
    });

    // Ends the command: the stores are written, their trouble reported.
    auto end = [&, finish](int code) {
      contactData->SaveContext();
      blacklist->SaveContext();
      for (const std::string* error : {&contactData->last_error(), &blacklist->last_error()}) {
        if (!error->empty()) std::fprintf(stderr, "selvo: contact store: %s\n", error->c_str());
      }
      finish(code);
    };
    auto failed = [end, server](const std::string& what, const platform::Value& error) {
      std::fprintf(stderr, "selvo: %s failed: %s\n", what.c_str(),
                   FailureText(error, server).c_str());
      end(1);
    };

    if (action == "list") {
      PrintLists(*contactData, *blacklist, ownId, "stored");
      sync->RefreshContacts(false, [&, end, failed](bool ok, const platform::Value& error) {
        if (!ok) return failed("refreshing the contacts", error);
        sync->RefreshBlacklist(false, [&, end, failed](bool done, const platform::Value& why) {
          if (!done) return failed("refreshing the blacklist", why);
          PrintLists(*contactData, *blacklist, ownId, "refreshed");
          end(0);
        });
      });
    } else if (action == "add") {
      const size_t count = contactData->FriendContactArray(ownId).size() +
                           contactData->GuestContactArray(ownId).size();
      const int limit = shell::SelvoGlobalPreferences::ContactListMaxCount();
      if (static_cast<int64_t>(count) + 1 > limit) {
        std::fprintf(stderr, "selvo: the contact list is full (%d contacts at most)\n", limit);
        return end(1);
      }
      auto done = [&, end, failed](bool ok, const platform::Value& error) {
        if (!ok) return failed("adding " + id, error);
        if (request.guestReference.empty()) {
          const contacts::FriendItem* added = nullptr;
          for (const auto& item : contactData->FriendContactArray(ownId)) {
            if (item.friendId == id) added = &item;
          }
          std::printf("added %s %s to your friends\n", id.c_str(),
                      added ? Name(added->screenName).c_str() : "");
        } else {
          std::printf("added guest %s\n", request.guestReference.c_str());
        }
        end(0);
      };
      if (request.guestReference.empty()) {
        sync->AddFriend(id, done);
      } else {
        sync->AddGuests({request.guestEntry}, done);
      }
    } else if (action == "remove") {
      sync->RemoveContact(id, [&, end, failed](bool ok, const platform::Value& error) {
        if (!ok) return failed("removing " + id, error);
        std::printf("removed %s from your contacts\n", id.c_str());
        end(0);
      });
    } else if (action == "block") {
      contacts::Text screenName, avatar;
      for (const auto& item : contactData->FriendContactArray(ownId)) {
        if (item.friendId != id) continue;
        screenName = item.screenName;
        avatar = item.avatar;
      }
      sync->Block(id, screenName, avatar, [&, end, failed](bool ok, const platform::Value& error) {
        if (!ok) return failed("blocking " + id, error);
        std::printf("blocked %s\n", id.c_str());
        end(0);
      });
    } else if (action == "unblock") {
      sync->Unblock(id, [&, end, failed](bool ok, const platform::Value& error) {
        if (!ok) return failed("unblocking " + id, error);
        std::printf("unblocked %s\n", id.c_str());
        end(0);
      });
    } else {
      // By screen name always; by id and by mobile number when the text is one.
      auto answered = [&, end, search, failed] {
        if (--search->waiting > 0) return;
        if (search->users.empty() && search->error) return failed("search", *search->error);
        if (search->users.empty()) std::printf("nobody found for \"%s\"\n", id.c_str());
        for (const platform::Value& user : search->users) {
          const std::string uid = user["_id"].AsString();
          const char* relation = uid == ownId                                      ? "  (you)"
                                 : contactData->IsFriend(uid, std::nullopt, ownId) ? "  (friend)"
                                 : blacklist->IsBlack(uid, ownId)                  ? "  (blocked)"
                                                                                   : "";
          std::printf("  %s  %s%s\n", uid.c_str(),
                      Name(contacts::TextOf(user["login_meta"]["screen_name"])).c_str(), relation);
        }
        std::fflush(stdout);
        end(0);
      };
      auto found = [search, answered](const platform::Value& users) {
        search->Add(users);
        answered();
      };
      auto refused = [search, answered](const platform::Value& error) {
        search->error = error;
        answered();
      };
      using service::AccountAPIClient;
      const auto number = ParseInteger(id, 1, INT64_MAX);
      const bool mobile = shell::SelvoUtils::IsValidMobliePhoneNumber(id);
      search->waiting = 1 + (number ? 1 : 0) + (number && mobile ? 1 : 0);
      AccountAPIClient::SearchUserByScreenName(id, found, refused);
      if (number) AccountAPIClient::SearchUserById(*number, found, refused);
      if (number && mobile) AccountAPIClient::SearchUserByMobileNum(*number, found, refused);
    }
  });
  if (store_open) storelib::CloseStore();
  return status;
}

}  // namespace app
