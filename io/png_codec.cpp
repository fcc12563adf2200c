// PNG through libpng's simplified interface: straight BGRA in and out, all in memory.
#include <png.h>

#include "io/image_codecs.hpp"

namespace tav::image_codecs {

// The simplified interface keeps its messages in the image record and prints nothing.
bool decode_png(const uint8_t* data, size_t length, picture& out) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, data, length)) return false;
  image.format = PNG_FORMAT_BGRA;
  if (!allocate(out, image.width, image.height)) {
    png_image_free(&image);
    return false;
  }
  return png_image_finish_read(&image, nullptr, out.pixels, 0, nullptr) != 0;
}

// The buffer is sized for the worst case once, so the stream is compressed only once; pages
// that are never written are never touched.
bool encode_png(const uint32_t* pixels, uint32_t width, uint32_t height, output& out) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = width;
  image.height = height;
  image.format = PNG_FORMAT_BGRA;
  png_alloc_size_t room = PNG_IMAGE_PNG_SIZE_MAX(image);
  if (!out.reserve(room)) return false;
  if (!png_image_write_to_memory(&image, out.data, &room, 0, pixels, 0, nullptr)) {
    png_image_free(&image);
    return false;
  }
  out.size = room;
  return true;
}

}  // namespace tav::image_codecs
