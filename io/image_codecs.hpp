// Image containers in memory: PNG, JPEG, GIF and TIFF on their libraries, BMP our own. Every
// pixel that crosses is the straight BGRA word 0xAARRGGBB, rows top first, no padding. Nothing
// here prints, allocates a picture before its size passed the limits, or lets a library's
// failure escape as anything but a false answer.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace tav::image_codecs {

// The codes image encoding takes.
enum format : int32_t { bmp = 0, png = 1, gif = 2, jpeg = 3, tiff = 4 };

// A decoded picture; the pixels come from malloc and go to whoever releases them.
struct picture {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t* pixels = nullptr;
  picture() = default;
  picture(const picture&) = delete;
  picture& operator=(const picture&) = delete;
  ~picture() { std::free(pixels); }
  uint32_t* release() {
    uint32_t* p = pixels;
    pixels = nullptr;
    return p;
  }
};

// Encoded bytes, grown by doubling; `grow` answers false when the room cannot be had.
struct output {
  uint8_t* data = nullptr;
  size_t size = 0;
  size_t capacity = 0;
  output() = default;
  output(const output&) = delete;
  output& operator=(const output&) = delete;
  ~output() { std::free(data); }
  bool reserve(size_t total);
  bool append(const void* bytes, size_t count);
  // Writes at `position`, extending the bytes (a gap reads as zeros).
  bool write_at(size_t position, const void* bytes, size_t count);
};

// For tests: output buffers refuse to grow beyond this many bytes.
inline size_t growth_limit = SIZE_MAX;

// True when a picture of that size may be made: each side 1 to 65535, at most 2^28 pixels.
bool size_ok_p(uint64_t width, uint64_t height);
// Pixel memory for a picture of that size (checked), or null.
uint32_t* allocate(picture& out, uint64_t width, uint64_t height);

// The container whose signature the bytes begin with, or -1.
int32_t format_of(const uint8_t* data, size_t length);

// Decodes the first picture of any of the five containers; false for bytes that are none of
// them or do not decode whole.
bool decode(const uint8_t* data, size_t length, picture& out);
// Encodes width x height pixels (both at least 1) in the container; false when it fails.
bool encode(format container, const uint32_t* pixels, uint32_t width, uint32_t height, output& out);

bool decode_png(const uint8_t* data, size_t length, picture& out);
bool decode_jpeg(const uint8_t* data, size_t length, picture& out);
bool decode_gif(const uint8_t* data, size_t length, picture& out);
bool decode_tiff(const uint8_t* data, size_t length, picture& out);
bool decode_bmp(const uint8_t* data, size_t length, picture& out);
bool encode_png(const uint32_t* pixels, uint32_t width, uint32_t height, output& out);
bool encode_jpeg(const uint32_t* pixels, uint32_t width, uint32_t height, output& out);
bool encode_gif(const uint32_t* pixels, uint32_t width, uint32_t height, output& out);
bool encode_tiff(const uint32_t* pixels, uint32_t width, uint32_t height, output& out);
bool encode_bmp(const uint32_t* pixels, uint32_t width, uint32_t height, output& out);

}  // namespace tav::image_codecs
