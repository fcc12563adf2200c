// Gzip framing: the member header written and skipped, members read one after another,
// each trailer checked against the bytes its stream produced.
#include "io/gzip.hpp"

#include <algorithm>
#include <iterator>

#include "io/byte_order.hpp"
#include "io/checksum.hpp"

namespace tav::gzip {
namespace {

constexpr size_t header_size = 10;
constexpr size_t trailer_size = 8;
// ID1 ID2 CM FLG, MTIME, XFL (fastest) and OS as this writer always gives them.
constexpr uint8_t header[header_size] = {0x1F, 0x8B, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0x04};

enum flag : uint8_t { header_crc = 2, extra = 4, name = 8, comment = 16, reserved = 0xE0 };

// The offset just past a NUL-terminated field starting at `at`, or 0 when there is none
// before `end`.
size_t skip_string(const uint8_t* input, size_t at, size_t end) {
  const uint8_t* nul = std::find(input + at, input + end, uint8_t(0));
  return nul == input + end ? 0 : size_t(nul - input) + 1;
}

// The offset of the deflate stream of the member that starts at `start`, or 0 when its
// header is malformed. Every field must leave room for the trailer.
size_t skip_header(const uint8_t* input, size_t length, size_t start) {
  const uint8_t* h = input + start;
  if (h[0] != 0x1F || h[1] != 0x8B || h[2] != 0x08 || (h[3] & reserved)) return 0;
  uint8_t flags = h[3];
  size_t end = length - trailer_size;
  size_t at = start + header_size;
  if (flags & extra) {
    if (end - at < 2) return 0;
    size_t extra_length = size_t(input[at]) | size_t(input[at + 1]) << 8;
    at += 2;
    if (extra_length > end - at) return 0;
    at += extra_length;
  }
  if ((flags & name) && !(at = skip_string(input, at, end))) return 0;
  if ((flags & comment) && !(at = skip_string(input, at, end))) return 0;
  if (flags & header_crc) {
    if (end - at < 2) return 0;
    uint32_t stored = uint32_t(input[at]) | uint32_t(input[at + 1]) << 8;
    if ((digest::crc32(input + start, at - start) & 0xFFFF) != stored) return 0;
    at += 2;
  }
  return at;
}

}  // namespace

std::optional<size_t> claimed_size(const uint8_t* input, size_t input_length) {
  if (input_length < framing_size) return std::nullopt;
  size_t claim = bytes::load_le32(input + input_length - 4);
  if (claim > max_size || claim > max_expansion * input_length) return std::nullopt;
  return claim;
}

codec_status compress(uint8_t* output, size_t& length, const uint8_t* input, size_t input_length) {
  size_t capacity = output ? length : 0;
  if (capacity < framing_size) {
    length = input_length + framing_size;
    return codec_status::malformed;
  }
  std::copy(std::begin(header), std::end(header), output);
  size_t stream = capacity - header_size;
  codec_status status = deflate::compress(output + header_size, stream, input, input_length);
  length = stream + framing_size;
  if (status != codec_status::ok) return status;
  if (length > capacity) return codec_status::too_small;
  uint8_t* trailer = output + header_size + stream;
  bytes::store_le32(trailer, digest::crc32(input, input_length));
  bytes::store_le32(trailer + 4, uint32_t(input_length));
  return codec_status::ok;
}

codec_status decompress(uint8_t* output, size_t& length, const uint8_t* input, size_t input_length) {
  size_t capacity = output ? length : 0;
  if (!claimed_size(input, input_length)) return codec_status::malformed;
  size_t total = 0;
  size_t at = 0;
  do {
    if (input_length - at < framing_size) return codec_status::malformed;
    size_t stream = skip_header(input, input_length, at);
    if (!stream) return codec_status::malformed;
    // Once the output is full the rest is only counted.
    size_t room = total < capacity ? capacity - total : 0;
    uint8_t* into = room ? output + total : nullptr;
    size_t produced = room, used = 0;
    codec_status status = deflate::inflate(into, produced, input + stream, input_length - trailer_size - stream, &used);
    if (status != codec_status::ok && status != codec_status::too_small) {
      length = total + produced;
      return status;
    }
    const uint8_t* trailer = input + stream + used;
    if (bytes::load_le32(trailer + 4) != produced) return codec_status::malformed;
    if (status == codec_status::ok) {
      uint32_t crc = produced ? digest::crc32(into, produced) : 0;
      if (crc != bytes::load_le32(trailer)) return codec_status::malformed;
    }
    total += produced;
    if (total > max_size) return codec_status::malformed;
    at = stream + used + trailer_size;
    while (at < input_length && input[at] == 0) ++at;
  } while (at < input_length);
  length = total;
  return total > capacity ? codec_status::too_small : codec_status::ok;
}

}  // namespace tav::gzip
