// The embedded boot image. The program links the image's object, which defines the two symbols
// around the stream; a program built without it (the build's own tool) sees them null.
#include "boot/boot_image.hpp"

#include <cstdio>
#include <cstdlib>
#include <vector>

extern "C" {
extern const uint8_t tav_boot_image_start[] __attribute__((weak));
extern const uint8_t tav_boot_image_end[] __attribute__((weak));
}

namespace tav::boot {
namespace {

#ifdef TAV_TEST_MODES
// Test builds start from the image in the file TAV_BOOT_IMAGE names, when set: the tests of a
// damaged image start the program with one. A file that is missing or empty is an empty image.
// Its buffer is exactly as long as the file, so a read past the end is a sanitizer report.
bool image_from_file(image_bytes& image) {
  static std::vector<uint8_t> bytes;
  static const uint8_t nothing = 0;
  const char* path = std::getenv("TAV_BOOT_IMAGE");
  if (!path || !*path) return false;
  bytes.clear();
  if (std::FILE* file = std::fopen(path, "rb")) {
    uint8_t chunk[4096];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(file);
  }
  bytes.shrink_to_fit();
  image = bytes.empty() ? image_bytes{&nothing, 0} : image_bytes{bytes.data(), bytes.size()};
  return true;
}
#endif

}  // namespace

image_bytes boot_image() {
#ifdef TAV_TEST_MODES
  if (image_bytes file{nullptr, 0}; image_from_file(file)) return file;
#endif
  if (!tav_boot_image_start || !tav_boot_image_end) return {nullptr, 0};
  return {tav_boot_image_start, static_cast<size_t>(tav_boot_image_end - tav_boot_image_start)};
}

}  // namespace tav::boot
