// Compression by method: output sizing around the codecs and their failure as invalid-data.
#include "io/compression.hpp"

#include <algorithm>

#include "io/deflate.hpp"
#include "io/gzip.hpp"
#include "io/zlib.hpp"
#include "runtime/errors.hpp"

namespace tav::compression {
namespace {

constexpr size_t hint_multiple = 16;

using codec = codec_status (*)(uint8_t*, size_t&, const uint8_t*, size_t);

codec compressor(method how) {
  switch (how) {
    case method::zlib:
      return zlib::compress;
    case method::gzip:
      return gzip::compress;
    default:
      return deflate::compress;
  }
}

codec decompressor(method how) {
  switch (how) {
    case method::zlib:
      return zlib::decompress;
    case method::gzip:
      return gzip::decompress;
    default:
      return [](uint8_t* output, size_t& length, const uint8_t* input, size_t input_length) {
        return deflate::inflate(output, length, input, input_length);
      };
  }
}

size_t framing(method how) {
  return how == method::zlib ? zlib::framing_size : how == method::gzip ? gzip::framing_size : 0;
}

// Runs the codec with `capacity`, and once more with the size it reports when that was too
// small; any other refusal is invalid data.
std::vector<uint8_t> run(codec code, size_t capacity, const uint8_t* input, size_t length) {
  std::vector<uint8_t> output;
  for (int pass = 0; pass < 2; ++pass) {
    output.resize(capacity);
    size_t produced = capacity;
    codec_status status = code(capacity ? output.data() : nullptr, produced, input, length);
    if (status == codec_status::ok) {
      output.resize(produced);
      return output;
    }
    if (status != codec_status::too_small || produced > max_output) break;
    capacity = produced;
  }
  fire(error_id::script_invalid_data);
}

}  // namespace

std::vector<uint8_t> compress(method how, const uint8_t* input, size_t length) {
  return run(compressor(how), deflate::compress_bound(length) + framing(how), input, length);
}

std::vector<uint8_t> decompress(method how, const uint8_t* input, size_t length, size_t size) {
  size_t capacity;
  if (how == method::gzip) {
    auto claim = gzip::claimed_size(input, length);
    if (!claim) fire(error_id::script_invalid_data);
    capacity = *claim;
  } else {
    // Most streams expand less than four times; a larger one costs a second pass. A size
    // given is trusted only up to a small multiple of the input, so that a false one cannot
    // make the first pass fill gigabytes: the decoder reports the true size when it is short.
    const size_t guess = std::min(4 * length + 64, max_output);
    capacity = size > length ? std::min(size, hint_multiple * length + 64) : guess;
  }
  return run(decompressor(how), std::min(capacity, max_output), input, length);
}

}  // namespace tav::compression
