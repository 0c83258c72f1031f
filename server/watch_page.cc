#include "server/backend.h"

namespace server {
namespace {

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace

// Browsers with native HLS play the playlist directly; the others get the
// playlist link, which any HLS player opens.
std::string WatchPage(const std::string& title, const std::string& playlist_url,
                      const std::string& thumbnail_url) {
  std::string t = Escape(title), p = Escape(playlist_url), i = Escape(thumbnail_url);
  return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
         "<title>" + t + " - Selvo</title>"
         "<style>body{font-family:sans-serif;margin:0;background:#111;color:#eee;text-align:center}"
         "video{width:100%;max-width:640px;background:#000}a{color:#8cf}</style></head><body>"
         "<h1>" + t + "</h1>"
         "<video controls autoplay playsinline poster=\"" + i + "\" src=\"" + p + "\"></video>"
         "<p><a href=\"" + p + "\">Open the broadcast in an HLS player</a></p>"
         "</body></html>\n";
}

}  // namespace server
