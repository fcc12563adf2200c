// The boot image: the TAVBIN stream the build makes from the start-up sources and the tables of
// datatypes, actions and natives, embedded in the program's read-only data.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tav::boot {

struct image_bytes {
  const uint8_t* data;
  size_t length;
};

// The image start-up decodes: the embedded one; empty in a program built without one (the
// build's own tool). A test build reads the file TAV_BOOT_IMAGE names instead, when set.
image_bytes boot_image();

}  // namespace tav::boot
