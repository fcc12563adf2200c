// Block decompressor: header checks, the bounded bit reader and the block decoder.
#include "runtime/decompress.hpp"

#include <algorithm>

#include "runtime/heap.hpp"

namespace tav {
namespace {

uint32_t read_le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

// Bits are taken least significant first; bytes are fetched one at a time and never past
// `end`, so a stream cut short is a fault instead of a read beyond the input.
struct bit_reader {
  const uint8_t* position;
  const uint8_t* end;
  uint64_t buffer = 0;
  unsigned count = 0;

  bool get(unsigned n, uint32_t& value) {
    while (count < n) {
      if (position == end) return false;
      buffer |= static_cast<uint64_t>(*position++) << count;
      count += 8;
    }
    value = static_cast<uint32_t>(buffer & ((uint64_t{1} << n) - 1));
    buffer >>= n;
    count -= n;
    return true;
  }

  // The next block starts at the byte after the one holding the last bit taken.
  const uint8_t* next_block() const { return position - count / 8; }
};

// Match length codes: after k zero bits and a one bit, `width` bits give n - base; five
// zero bits are followed by the 9-bit code.
struct length_code {
  uint8_t width;
  uint16_t base;
};
constexpr length_code length_codes[] = {{2, 0}, {2, 4}, {2, 8}, {3, 12}, {5, 20}, {9, 52}};

bool read_length(bit_reader& bits, uint32_t& length) {
  unsigned zeros = 0;
  for (uint32_t bit = 0; zeros < 5; ++zeros) {
    if (!bits.get(1, bit)) return false;
    if (bit) break;
  }
  uint32_t v;
  if (!bits.get(length_codes[zeros].width, v)) return false;
  length = length_codes[zeros].base + v + 3;
  return true;
}

bool read_distance(bit_reader& bits, uint32_t& distance) {
  uint32_t k;
  if (!bits.get(4, k)) return false;
  unsigned j = k + 2;
  if (j == 2) return bits.get(3, distance);
  uint32_t v;
  if (!bits.get(j, v)) return false;
  distance = (uint32_t{1} << j) + v;
  return true;
}

// Produces exactly `length` bytes at `out`; a match reaches only into this block.
bool decode_block(bit_reader& bits, uint8_t* out, uint32_t length) {
  uint32_t i = 0;
  while (i < length) {
    uint32_t flag, v;
    if (!bits.get(1, flag)) return false;
    if (!flag) {
      if (!bits.get(8, v)) return false;
      out[i++] = static_cast<uint8_t>(v);
      continue;
    }
    uint32_t n, d;
    if (!read_length(bits, n) || !read_distance(bits, d)) return false;
    if (d >= i || n > length - i) return false;
    const uint8_t* from = out + (i - 1 - d);
    // Byte by byte, so that an overlapping copy repeats the pattern.
    for (uint32_t k = 0; k < n; ++k) out[i + k] = from[k];
    i += n;
  }
  return true;
}

}  // namespace

bool read_compressed_header(const uint8_t* in, size_t in_length, compressed_header* header) {
  if (in_length < compressed_header_size) return false;
  uint32_t n = read_le32(in);
  uint32_t s = read_le32(in + 4);
  if (s > max_uncompressed_size) return false;
  if (static_cast<uint64_t>(n) > in_length - compressed_header_size) return false;
  *header = {n, s};
  return true;
}

bool decompress_block(const uint8_t* in, size_t in_length, uint8_t* out, size_t out_length, size_t* produced) {
  compressed_header header;
  if (!read_compressed_header(in, in_length, &header)) return false;
  const uint64_t limit = std::min<uint64_t>(out_length, uint64_t{header.uncompressed_size} + decompress_slack);
  const uint8_t* position = in + compressed_header_size;
  const uint8_t* end = position + header.compressed_size;
  uint64_t used = 0;
  while (position < end) {
    if (end - position < 4) return false;
    uint32_t length = read_le32(position);
    position += 4;
    if (length < 1 || length > max_compressed_block || length > limit - used) return false;
    bit_reader bits{position, end};
    if (!decode_block(bits, out + used, length)) return false;
    position = bits.next_block();
    used += length;
  }
  if (produced) *produced = used;
  return true;
}

uint8_t* decompress(const uint8_t* in, size_t in_length, uint32_t* out_size) {
  compressed_header header;
  if (!read_compressed_header(in, in_length, &header)) return nullptr;
  size_t room = size_t{header.uncompressed_size} + decompress_slack;
  auto* buffer = static_cast<uint8_t*>(heap_try_alloc(room));
  if (!buffer) return nullptr;
  size_t produced;
  if (!decompress_block(in, in_length, buffer, room, &produced)) {
    heap_free(buffer);
    return nullptr;
  }
  if (out_size) *out_size = static_cast<uint32_t>(produced);
  return buffer;
}

namespace compressor {
void free_buffer(void* buffer) { heap_free(buffer); }
}  // namespace compressor

}  // namespace tav
