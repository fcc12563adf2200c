// Image containers: the shared output buffer, the size limits and the choice of codec.
#include "io/image_codecs.hpp"

#include <algorithm>
#include <cstring>

#include "datatypes/image.hpp"

namespace tav::image_codecs {

bool output::reserve(size_t total) {
  if (total <= capacity) return true;
  if (total > growth_limit) return false;
  size_t room = std::max<size_t>({total, capacity * 2, 4096});
  if (room > growth_limit) room = total;
  auto* grown = static_cast<uint8_t*>(std::realloc(data, room));
  if (!grown) return false;
  data = grown;
  capacity = room;
  return true;
}

bool output::append(const void* bytes, size_t count) { return write_at(size, bytes, count); }

bool output::write_at(size_t position, const void* bytes, size_t count) {
  if (position > SIZE_MAX - count || !reserve(position + count)) return false;
  if (position > size) std::memset(data + size, 0, position - size);
  if (count) std::memcpy(data + position, bytes, count);
  size = std::max(size, position + count);
  return true;
}

bool size_ok_p(uint64_t width, uint64_t height) {
  return width >= 1 && height >= 1 && width <= 0xFFFF && height <= 0xFFFF && width * height <= (uint64_t{1} << 28);
}

uint32_t* allocate(picture& out, uint64_t width, uint64_t height) {
  if (!size_ok_p(width, height)) return nullptr;
  std::free(out.pixels);
  out.pixels = static_cast<uint32_t*>(std::malloc(width * height * 4));
  if (!out.pixels) return nullptr;
  out.width = static_cast<uint32_t>(width);
  out.height = static_cast<uint32_t>(height);
  return out.pixels;
}

int32_t format_of(const uint8_t* data, size_t length) { return image::signature_format(data, length); }

bool decode(const uint8_t* data, size_t length, picture& out) {
  bool done = false;
  switch (format_of(data, length)) {
    case png: done = decode_png(data, length, out); break;
    case jpeg: done = decode_jpeg(data, length, out); break;
    case bmp: done = decode_bmp(data, length, out); break;
    case gif: done = decode_gif(data, length, out); break;
    case tiff: done = decode_tiff(data, length, out); break;
    default: break;
  }
  if (!done) {
    std::free(out.release());
    out.width = out.height = 0;
  }
  return done;
}

bool encode(format container, const uint32_t* pixels, uint32_t width, uint32_t height, output& out) {
  switch (container) {
    case bmp: return encode_bmp(pixels, width, height, out);
    case png: return encode_png(pixels, width, height, out);
    case gif: return encode_gif(pixels, width, height, out);
    case jpeg: return encode_jpeg(pixels, width, height, out);
    case tiff: return encode_tiff(pixels, width, height, out);
  }
  return false;
}

}  // namespace tav::image_codecs
