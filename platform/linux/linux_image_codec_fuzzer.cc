// Decodes arbitrary bytes as a picture: it must fail cleanly, never crash.
#include <cstddef>
#include <cstdint>

#include "platform/linux/linux_image_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  platform::LinuxImageCodec codec;
  std::string error;
  auto image = codec.Decode(std::string_view(reinterpret_cast<const char*>(data), size), &error);
  if (image && !image->valid()) __builtin_trap();
  return 0;
}
