// Any parameter text through the checked readers: a refusal or a value, never a crash.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "server/http_types.h"
#include "server/params.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::multimap<std::string, std::string> values = {{"v", text}, {"a[]", text}, {"a[]", text}};
  server::Params params(values);
  auto attempt = [](auto read) {
    try {
      read();
    } catch (const server::ApiError&) {
    }
  };
  attempt([&] { params.Int("v", -5, 5); });
  attempt([&] { params.Text("v", 10, true); });
  attempt([&] { params.Real("v", -1, 1); });
  attempt([&] { params.Bool("v"); });
  attempt([&] { params.Array("a", 3, 20); });
  return 0;
}
