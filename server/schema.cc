#include "server/schema.h"

namespace server {

// AUTOINCREMENT keeps ids growing with time even after deletions, which the
// clients rely on: they page by id and compare ids to find what is newer.
void CreateSchema(SqliteDb& db) {
  db.Exec(R"sql(
CREATE TABLE IF NOT EXISTS users(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  screen_name TEXT NOT NULL,
  first_name TEXT NOT NULL DEFAULT '',
  last_name TEXT NOT NULL DEFAULT '',
  domain_name TEXT NOT NULL DEFAULT '',
  avatar_url TEXT NOT NULL DEFAULT '',
  background_url TEXT NOT NULL DEFAULT '',
  gender TEXT NOT NULL DEFAULT '',
  birthday TEXT NOT NULL DEFAULT '',
  location TEXT NOT NULL DEFAULT '',
  introduction TEXT NOT NULL DEFAULT '',
  latitude REAL,
  longitude REAL,
  apn_token TEXT NOT NULL DEFAULT '',
  push_switch INTEGER NOT NULL DEFAULT 1,
  promotion INTEGER NOT NULL DEFAULT 1,
  login_provider TEXT NOT NULL DEFAULT '',
  login_identity TEXT NOT NULL DEFAULT '',
  created_ts INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS identities(
  provider TEXT NOT NULL,
  identity TEXT NOT NULL,
  user_id INTEGER NOT NULL REFERENCES users(id) ON DELETE CASCADE,
  screen_name TEXT NOT NULL DEFAULT '',
  avatar_url TEXT NOT NULL DEFAULT '',
  password_hash TEXT NOT NULL DEFAULT '',
  activated INTEGER NOT NULL DEFAULT 1,
  access_token TEXT NOT NULL DEFAULT '',
  expired_time TEXT NOT NULL DEFAULT '',
  session_uid TEXT NOT NULL DEFAULT '',
  session_key TEXT NOT NULL DEFAULT '',
  secret_key TEXT NOT NULL DEFAULT '',
  created_ts INTEGER NOT NULL,
  PRIMARY KEY(provider, identity));
CREATE INDEX IF NOT EXISTS identities_user ON identities(user_id);
CREATE TABLE IF NOT EXISTS tokens(
  token_hash TEXT PRIMARY KEY,
  user_id INTEGER NOT NULL REFERENCES users(id) ON DELETE CASCADE,
  created_ts INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS contacts(
  user_id INTEGER NOT NULL REFERENCES users(id) ON DELETE CASCADE,
  friend_id INTEGER NOT NULL REFERENCES users(id) ON DELETE CASCADE,
  created_ts INTEGER NOT NULL,
  PRIMARY KEY(user_id, friend_id));
CREATE INDEX IF NOT EXISTS contacts_friend ON contacts(friend_id);
CREATE TABLE IF NOT EXISTS guests(
  user_id INTEGER NOT NULL REFERENCES users(id) ON DELETE CASCADE,
  provider TEXT NOT NULL,
  identity TEXT NOT NULL,
  screen_name TEXT NOT NULL,
  avatar_url TEXT NOT NULL,
  created_ts INTEGER NOT NULL,
  PRIMARY KEY(user_id, provider, identity));
CREATE TABLE IF NOT EXISTS blacklist(
  user_id INTEGER NOT NULL REFERENCES users(id) ON DELETE CASCADE,
  blocked_id INTEGER NOT NULL REFERENCES users(id) ON DELETE CASCADE,
  created_ts INTEGER NOT NULL,
  PRIMARY KEY(user_id, blocked_id));
CREATE TABLE IF NOT EXISTS invitations(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  user_id INTEGER NOT NULL REFERENCES users(id) ON DELETE CASCADE,
  mobile TEXT NOT NULL,
  created_ts INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS account_requests(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  kind TEXT NOT NULL,
  provider TEXT NOT NULL,
  identity TEXT NOT NULL,
  created_ts INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS videos(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  owner_id INTEGER NOT NULL REFERENCES users(id) ON DELETE CASCADE,
  title TEXT NOT NULL,
  channel TEXT NOT NULL DEFAULT '',
  public INTEGER NOT NULL,
  status TEXT NOT NULL DEFAULT 'ready',
  publish_utc_ts INTEGER NOT NULL,
  end_utc_ts INTEGER,
  network TEXT NOT NULL DEFAULT '',
  device TEXT NOT NULL DEFAULT '',
  longitude REAL,
  latitude REAL,
  orientation INTEGER NOT NULL DEFAULT 0,
  watcher_counter INTEGER NOT NULL DEFAULT 0,
  liker_counter INTEGER NOT NULL DEFAULT 0,
  comment_counter INTEGER NOT NULL DEFAULT 0,
  stream_key TEXT NOT NULL,
  created_ts INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS videos_owner ON videos(owner_id, id);
CREATE TABLE IF NOT EXISTS video_acl(
  video_id INTEGER NOT NULL REFERENCES videos(id) ON DELETE CASCADE,
  position INTEGER NOT NULL,
  user_id INTEGER,
  provider TEXT NOT NULL DEFAULT '',
  identity TEXT NOT NULL DEFAULT '',
  PRIMARY KEY(video_id, position));
CREATE INDEX IF NOT EXISTS video_acl_user ON video_acl(user_id);
CREATE TABLE IF NOT EXISTS comments(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  video_id INTEGER NOT NULL REFERENCES videos(id) ON DELETE CASCADE,
  user_id INTEGER NOT NULL REFERENCES users(id) ON DELETE CASCADE,
  ctype TEXT NOT NULL,
  text TEXT NOT NULL DEFAULT '',
  location TEXT NOT NULL DEFAULT '',
  stream_key TEXT NOT NULL DEFAULT '',
  utc_ts INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS comments_video ON comments(video_id, id);
CREATE TABLE IF NOT EXISTS likes(
  video_id INTEGER NOT NULL REFERENCES videos(id) ON DELETE CASCADE,
  user_id INTEGER NOT NULL REFERENCES users(id) ON DELETE CASCADE,
  utc_ts INTEGER NOT NULL,
  PRIMARY KEY(video_id, user_id));
CREATE TABLE IF NOT EXISTS messages(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  user_id INTEGER NOT NULL REFERENCES users(id) ON DELETE CASCADE,
  mtype TEXT NOT NULL,
  from_uid INTEGER NOT NULL DEFAULT 0,
  text TEXT NOT NULL DEFAULT '',
  video_id INTEGER REFERENCES videos(id) ON DELETE CASCADE,
  comment_id INTEGER REFERENCES comments(id) ON DELETE CASCADE,
  utc_ts INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS messages_user ON messages(user_id, utc_ts, id);
)sql");
}

}  // namespace server
