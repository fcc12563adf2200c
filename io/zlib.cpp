// Zlib framing: header 78 01 (deflate, 32 KB window, fastest level), the stream, and the
// Adler-32 of the uncompressed bytes, big-endian.
#include "io/zlib.hpp"

#include "io/byte_order.hpp"
#include "io/checksum.hpp"

namespace tav::zlib {
namespace {

constexpr uint8_t header[2] = {0x78, 0x01};

bool header_ok(const uint8_t* input) {
  unsigned cmf = input[0], flg = input[1];
  bool checked = (cmf * 256 + flg) % 31 == 0;
  bool deflate_method = (cmf & 0x0F) == 8;
  bool window_ok = (cmf >> 4) <= 7;
  bool no_dictionary = (flg & 0x20) == 0;
  return checked && deflate_method && window_ok && no_dictionary;
}

}  // namespace

codec_status compress(uint8_t* output, size_t& length, const uint8_t* input, size_t input_length) {
  size_t capacity = output ? length : 0;
  if (capacity < framing_size) {
    length = input_length + framing_size;
    return codec_status::malformed;
  }
  output[0] = header[0];
  output[1] = header[1];
  size_t stream = capacity - 2;
  codec_status status = deflate::compress(output + 2, stream, input, input_length);
  length = stream + framing_size;
  if (status != codec_status::ok) return status;
  if (length > capacity) return codec_status::too_small;
  bytes::store_be32(output + 2 + stream, digest::adler32(input, input_length));
  return codec_status::ok;
}

codec_status decompress(uint8_t* output, size_t& length, const uint8_t* input, size_t input_length) {
  if (input_length < framing_size || !header_ok(input)) return codec_status::malformed;
  // The trailer is read where the deflate data ends, and must end the input: bytes between
  // the two, or after the trailer, are not part of any zlib stream.
  size_t used = 0;
  codec_status status = deflate::inflate(output, length, input + 2, input_length - 2, &used);
  if (status != codec_status::ok) return status;
  if (2 + used + 4 != input_length) return codec_status::malformed;
  uint32_t expected = bytes::load_be32(input + 2 + used);
  return digest::adler32(output, length) == expected ? codec_status::ok : codec_status::malformed;
}

}  // namespace tav::zlib
