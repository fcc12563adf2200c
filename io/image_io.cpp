// Images to and from their containers: the bytes go to the codecs with no collection between,
// and a decoded picture's pixel memory becomes the new image's bitmap without a copy.
#include "io/image_io.hpp"

#include <string>
#include <vector>

#include "datatypes/binary.hpp"
#include "datatypes/image.hpp"
#include "datatypes/values.hpp"
#include "io/image_codecs.hpp"
#include "io/simple_io.hpp"
#include "runtime/errors.hpp"
#include "runtime/series.hpp"

namespace tav::image_io {
namespace {

cell image_of(image_codecs::picture& picture) {
  const uint32_t width = picture.width, height = picture.height;
  return image::make_at(image::adopt_node(width, height, picture.release()));
}

bool read_whole(const std::string& path, std::vector<uint8_t>& bytes) {
  const int file = simple_io::open_file(path.c_str(), simple_io::mode::read);
  if (file < 0) return false;
  bool done = true;
  uint8_t chunk[65536];
  for (;;) {
    const int64_t n = simple_io::read_data(file, chunk, sizeof chunk);
    if (n <= 0) {
      done = n == 0;
      break;
    }
    bytes.insert(bytes.end(), chunk, chunk + n);
  }
  simple_io::close_file(file);
  return done;
}

}  // namespace

void load_binary(const cell& binary, cell& result) {
  if (!image::known_format_p(binary)) {
    result = none::value;
    return;
  }
  image_codecs::picture picture;
  if (!image_codecs::decode(binary::ts_head(binary), binary::ts_length_p(binary), picture))
    fire(error_id::access_bad_media);
  result = image_of(picture);
}

void load_file(const cell& file, cell& result) {
  cell name = file;
  std::vector<uint8_t> bytes;
  image_codecs::picture picture;
  if (!read_whole(simple_io::os_path(name), bytes) || !image_codecs::decode(bytes.data(), bytes.size(), picture))
    fire(error_id::access_cannot_open, file);
  std::vector<uint8_t>().swap(bytes);
  result = image_of(picture);
}

void decode(const cell& data, cell& result) {
  if (data.type() == TYPE_BINARY) return load_binary(data, result);
  if (data.type() != TYPE_FILE) fire(error_id::script_invalid_arg, data);
  load_file(data, result);
}

void encode(const cell& image, cell& result, int32_t format) {
  const uint32_t width = image::width_of(image), height = image::height_of(image);
  if (width == 0 && height == 0) fire(error_id::access_bad_media);
  const uint32_t* pixels = image::pixels_of(image);
  if (width == 0 || height == 0 || !pixels) {
    binary::make_at(result, 1);
    return;
  }
  image_codecs::output out;
  if (format < image_codecs::bmp || format > image_codecs::tiff ||
      !image_codecs::encode(static_cast<image_codecs::format>(format), pixels, width, height, out))
    fire(error_id::access_bad_media);
  binary::make_at(result, static_cast<uint32_t>(out.size));
  binary::append_bytes(result, out.data, static_cast<uint32_t>(out.size));
}

}  // namespace tav::image_io
