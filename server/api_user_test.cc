// Profiles, avatars, bindings, contacts, blacklist, search, matching,
// invitations and settings over real HTTP.
#include "server/api_test_support.h"
#include "service/service_identity.h"

namespace server_api_test {
namespace {

const std::string kJpeg = std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00", 11) + std::string(300, 'j');

TEST(UserApiTest, EveryUserEndpointWantsAValidToken) {
  HttpClient client(Server().url());
  client.set_token("0123456789abcdef");
  const std::pair<const char*, const char*> endpoints[] = {
      {"GET", "/api/user"},           {"POST", "/api/user/profile"},  {"POST", "/api/user/upload"},
      {"GET", "/api/user/contacts"},  {"POST", "/api/user/contacts"}, {"DELETE", "/api/user/contacts"},
      {"GET", "/api/user/blacklist"}, {"POST", "/api/user/blacklist"}, {"GET", "/api/user/search"},
      {"GET", "/api/user/match"},     {"POST", "/api/user/invite"},   {"GET", "/api/user/settings"},
      {"POST", "/api/user/binding"},  {"POST", "/api/user/binding/refresh"}};
  for (const auto& [method, path] : endpoints) {
    HttpAnswer answer = std::string(method) == "GET"    ? client.Get(path)
                        : std::string(method) == "POST" ? client.Post(path)
                                                        : client.Delete(path);
    EXPECT_TRUE(IsError(answer, 401)) << method << " " << path;
  }
}

TEST(UserApiTest, ProfileAndAvatar) {
  Account ann = NewUser("Ann");
  auto client = ClientFor(ann);
  HttpAnswer updated = client->Post("/api/user/profile", {{"screen_name", "Annie"}, {"gender", "F"},
                                                          {"birthday", "1990/02/03"},
                                                          {"introduction", "Hi\nthere"}});
  ASSERT_TRUE(IsOk(updated));
  EXPECT_EQ(updated.json["screen_name"].AsString(), "Annie");
  HttpAnswer user = client->Get("/api/user");
  ASSERT_TRUE(IsOk(user));
  EXPECT_EQ(user.json["login_meta"]["screen_name"].AsString(), "Annie");
  EXPECT_EQ(user.json["profile"]["gender"].AsString(), "F");
  EXPECT_EQ(user.json["profile"]["introduction"].AsString(), "Hi\nthere");

  // Refusals change nothing.
  EXPECT_TRUE(IsError(client->Post("/api/user/profile", {{"screen_name", "X"}, {"gender", "Q"}}), 400, "gender"));
  EXPECT_TRUE(IsError(client->Post("/api/user/profile", {{"birthday", "1990-02-03"}}), 400, "birthday"));
  EXPECT_EQ(client->Get("/api/user").json["profile"]["screen_name"].AsString(), "Annie");

  HttpAnswer avatar = client->PostFile("/api/user/upload", {{"desc", "avatar"}}, "payload", "jpg",
                                       "image/jpeg", kJpeg);
  ASSERT_TRUE(IsOk(avatar));
  std::string url = avatar.json["url"].AsString();
  ASSERT_TRUE(url.starts_with(Server().url() + "/media/avatars/")) << url;
  HttpAnswer image = client->Send("GET", url, "", {});
  EXPECT_EQ(image.status, 200);
  EXPECT_EQ(image.content_type, "image/jpeg");
  EXPECT_EQ(image.body, kJpeg);
  EXPECT_EQ(client->Get("/api/user").json["login_meta"]["avatar_url"].AsString(), url);

  EXPECT_TRUE(IsError(client->PostFile("/api/user/upload", {{"desc", "avatar"}}, "payload", "x.gif",
                                       "image/gif", "GIF89a...."), 400, "JPEG or PNG"));
  EXPECT_TRUE(IsError(client->PostFile("/api/user/upload", {{"desc", "avatar"}}, "other", "jpg",
                                       "image/jpeg", kJpeg), 400, "payload"));
  EXPECT_TRUE(IsError(client->PostFile("/api/user/upload", {{"desc", "avatar"}}, "payload", "jpg",
                                       "image/jpeg", kJpeg + std::string(5 << 20, 'x')), 413));
  EXPECT_TRUE(IsError(client->Get("/media/avatars/..%2Fselvo.db"), 404));
  EXPECT_TRUE(IsError(client->Get("/api/user", {{"uid", "999999"}}), 404));
}

TEST(UserApiTest, BindingsBelongToOneAccount) {
  Account ann = NewUser("Ann");
  Account bob = NewUser("Bob");
  auto a = ClientFor(ann);
  auto b = ClientFor(bob);
  auto bind = [](HttpClient&, const std::string& identity, const std::string& provider, Form more) {
    Form form = {{"provider", provider}, {"signature", service::Signature(identity, provider)},
                 {"identity", identity}};
    form.insert(form.end(), more.begin(), more.end());
    return form;
  };
  std::string weibo = "wb-" + std::to_string(ann.uid);
  HttpAnswer bound = a->Post("/api/user/binding",
                             bind(*a, weibo, "weibo", {{"screen_name", "ann_wb"}, {"access_token", "t1"}}));
  ASSERT_TRUE(IsOk(bound));
  EXPECT_EQ(bound.json["bindings"].size(), 2u);
  EXPECT_TRUE(IsError(b->Post("/api/user/binding", bind(*b, weibo, "weibo", {{"screen_name", "x"}})), 409,
                      "another account"));
  EXPECT_TRUE(IsOk(a->Post("/api/user/binding/refresh", bind(*a, weibo, "weibo", {{"access_token", "t2"}}))));
  EXPECT_TRUE(IsError(b->Post("/api/user/binding/refresh", bind(*b, "wb-none", "renren", {})), 404));
  // A second e-mail address replaces the first through refresh, with its password.
  std::string email = "ann.new." + std::to_string(ann.uid) + "@example.com";
  EXPECT_TRUE(IsError(a->Post("/api/user/binding", bind(*a, email, "email", {{"screen_name", "ann"}, {"password", "newpass1"}})),
                      409, "refresh"));
  ASSERT_TRUE(IsOk(a->Post("/api/user/binding/refresh", bind(*a, email, "email", {{"password", "newpass1"}}))));
  HttpClient anon(Server().url());
  HttpAnswer login = anon.Post("/api/auth/login", bind(anon, email, "email", {{"password", "newpass1"}}));
  ASSERT_TRUE(IsOk(login));
  EXPECT_EQ(login.json["_id"].AsInt(), ann.uid);
}

TEST(UserApiTest, ContactsGuestsAndTheirLimit) {
  Account ann = NewUser("Ann");
  Account bob = NewUser("Bob");
  Account cy = NewUser("Cy");
  auto a = ClientFor(ann);
  HttpAnswer added = a->Post("/api/user/contacts",
                             {{"internal[]", std::to_string(bob.uid)},
                              {"external[]", "mobile#13812345678#Dee #1#http://img.example/d.png"}});
  ASSERT_TRUE(IsOk(added));
  ASSERT_EQ(added.json["friend_list"].size(), 1u);
  EXPECT_EQ(added.json["friend_list"][size_t{0}]["_id"].AsInt(), bob.uid);
  EXPECT_EQ(added.json["friend_list"][size_t{0}]["login_meta"]["screen_name"].AsString(), "Bob");
  ASSERT_EQ(added.json["guest_list"].size(), 1u);
  const platform::Value& guest = added.json["guest_list"][size_t{0}];
  EXPECT_EQ(guest["provider"].AsString(), "mobile");
  EXPECT_EQ(guest["identity"].AsString(), "13812345678");
  EXPECT_EQ(guest["screen_name"].AsString(), "Dee #1");
  EXPECT_EQ(guest["avatar_url"].AsString(), "http://img.example/d.png");

  // Bob hears about it.
  HttpAnswer inbox = ClientFor(bob)->Get("/api/message/unread");
  ASSERT_TRUE(IsOk(inbox));
  ASSERT_GE(inbox.json.size(), 1u);
  EXPECT_EQ(inbox.json[size_t{0}]["mtype"].AsString(), "contacts");
  EXPECT_EQ(inbox.json[size_t{0}]["from_uid"].AsInt(), ann.uid);

  // Refusals store nothing: unknown user, oneself, malformed guest, the limit (4).
  int64_t contacts = CountRows("contacts"), guests = CountRows("guests");
  EXPECT_TRUE(IsError(a->Post("/api/user/contacts", {{"internal[]", std::to_string(cy.uid)}, {"internal[]", "99999999"}}), 404, "no user"));
  EXPECT_TRUE(IsError(a->Post("/api/user/contacts", {{"internal[]", std::to_string(ann.uid)}}), 400, "yourself"));
  EXPECT_TRUE(IsError(a->Post("/api/user/contacts", {{"internal[]", "bob"}}), 400, "user ids"));
  EXPECT_TRUE(IsError(a->Post("/api/user/contacts", {{"external[]", "fax#123#x#y"}}), 400, "provider"));
  EXPECT_TRUE(IsError(a->Post("/api/user/contacts", {{"external[]", "mobile#1"}}), 400, "screen name"));
  EXPECT_TRUE(IsError(a->Post("/api/user/contacts", {}), 400));
  EXPECT_TRUE(IsError(a->Post("/api/user/contacts", {{"internal[]", std::to_string(cy.uid)},
                                                     {"external[]", "weibo#w1#W1#"},
                                                     {"external[]", "weibo#w2#W2#"}}), 403, "at most 4"));
  EXPECT_EQ(CountRows("contacts"), contacts);
  EXPECT_EQ(CountRows("guests"), guests);
  EXPECT_EQ(a->Get("/api/user/settings").json["contacts_limit"].AsInt(), 4);

  HttpAnswer removed = a->Delete("/api/user/contacts", {{"internal[]", std::to_string(bob.uid)},
                                                        {"external[]", "mobile#13812345678"}});
  ASSERT_TRUE(IsOk(removed));
  EXPECT_EQ(removed.json["friend_list"].size(), 0u);
  EXPECT_EQ(removed.json["guest_list"].size(), 0u);
}

TEST(UserApiTest, BlacklistSearchMatchAndInvite) {
  Account ann = NewUser("Annabel Searchable");
  Account bob = NewUser("Bob");
  auto a = ClientFor(ann);
  auto b = ClientFor(bob);
  ASSERT_TRUE(IsOk(a->Post("/api/user/contacts", {{"internal[]", std::to_string(bob.uid)}})));
  ASSERT_TRUE(IsOk(a->Post("/api/user/blacklist", {{"uid", std::to_string(bob.uid)}})));
  HttpAnswer list = a->Get("/api/user/blacklist");
  ASSERT_EQ(list.json.size(), 1u);
  EXPECT_EQ(list.json[size_t{0}]["_id"].AsInt(), bob.uid);
  EXPECT_EQ(a->Get("/api/user/contacts").json["friend_list"].size(), 0u);  // no friend any more
  EXPECT_TRUE(IsError(a->Post("/api/user/blacklist", {{"uid", "99999999"}}), 404));
  EXPECT_TRUE(IsError(a->Post("/api/user/blacklist"), 400, "\"uid\" is missing"));
  ASSERT_TRUE(IsOk(a->Delete("/api/user/blacklist", {{"uid", std::to_string(bob.uid)}})));
  EXPECT_EQ(a->Get("/api/user/blacklist").json.size(), 0u);

  HttpAnswer by_name = b->Get("/api/user/search", {{"screen_name", "bel Search"}});
  ASSERT_TRUE(IsOk(by_name));
  ASSERT_EQ(by_name.json.size(), 1u);
  EXPECT_EQ(by_name.json[size_t{0}]["_id"].AsInt(), ann.uid);
  EXPECT_EQ(b->Get("/api/user/search", {{"screen_name", "%"}}).json.size(), 0u);  // no wildcard
  HttpAnswer by_id = b->Get("/api/user/search", {{"uid", std::to_string(ann.uid)}});
  ASSERT_EQ(by_id.json.size(), 1u);
  // Others do not see an e-mail address, nor any social-network secret.
  for (const auto& binding : *by_id.json[size_t{0}]["bindings"].array()) {
    EXPECT_NE(binding["provider"].AsString(), "email");
  }
  EXPECT_TRUE(IsError(b->Get("/api/user/search"), 400, "give"));
  EXPECT_TRUE(IsError(b->Get("/api/user/search", {{"latitude", "31"}}), 400, "both"));

  // Recommendations: someone nearby, flagged when he added the asker.
  ASSERT_TRUE(IsOk(a->Get("/api/user/search", {{"latitude", "31.20"}, {"longitude", "121.40"}})));
  HttpAnswer near = b->Get("/api/user/search", {{"latitude", "31.21"}, {"longitude", "121.41"}});
  ASSERT_TRUE(IsOk(near));
  bool found = false;
  for (const auto& user : *near.json.array()) {
    if (user["_id"].AsInt() == ann.uid) {
      found = true;
      EXPECT_FALSE(user["is_follower"].AsBool());
    }
  }
  EXPECT_TRUE(found);

  // Matching address-book entries against bindings.
  HttpAnswer matched = b->Get("/api/user/match", {{"identity[]", "email#" + ann.identity},
                                                  {"identity[]", "mobile#10000000000"}});
  ASSERT_TRUE(IsOk(matched));
  ASSERT_EQ(matched.json.size(), 1u);
  bool has_binding = false;
  for (const auto& binding : *matched.json[size_t{0}]["bindings"].array()) {
    has_binding = has_binding || (binding["provider"].AsString() == "email" &&
                                  binding["identity"].AsString() == ann.identity);
  }
  EXPECT_TRUE(has_binding);
  EXPECT_TRUE(IsError(b->Get("/api/user/match", {{"identity[]", "nohash"}}), 400));

  int64_t invitations = CountRows("invitations");
  EXPECT_TRUE(IsOk(b->Post("/api/user/invite", {{"mobile", "13811112222"}})));
  EXPECT_TRUE(IsError(b->Post("/api/user/invite", {{"mobile", "call me"}}), 400, "mobile number"));
  EXPECT_EQ(CountRows("invitations"), invitations + 1);
}

}  // namespace
}  // namespace server_api_test
