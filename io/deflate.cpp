// Deflate compressor: one final block with the fixed Huffman codes, matches found through
// a small hash table of recent positions, taking the first candidate that matches.
#include "io/deflate.hpp"

#include <algorithm>
#include <bit>

#include "io/byte_order.hpp"
#include "io/deflate_tables.hpp"

namespace tav::deflate {
namespace {

struct fixed_code {
  uint16_t bits;    // the code, first bit lowest, with any extra bits above it
  uint8_t length;   // bits in all
};

constexpr fixed_code literal_code(unsigned symbol) {
  unsigned canonical = symbol < 144   ? 0x30 + symbol
                       : symbol < 256 ? 0x190 + (symbol - 144)
                       : symbol < 280 ? symbol - 256
                                      : 0xC0 + (symbol - 280);
  unsigned bits = fixed_length_bits(symbol);
  return {uint16_t(reverse_bits(canonical, bits)), uint8_t(bits)};
}

constexpr std::array<fixed_code, 256> make_literal_codes() {
  std::array<fixed_code, 256> codes{};
  for (unsigned s = 0; s < 256; ++s) codes[s] = literal_code(s);
  return codes;
}

// Length symbol code followed by its extra bits, for every match length 3..258.
constexpr std::array<fixed_code, max_match + 1> make_length_codes() {
  std::array<fixed_code, max_match + 1> codes{};
  for (unsigned i = 0; i < length_symbols; ++i) {
    unsigned end = i + 1 < length_symbols ? length_base[i + 1] : max_match + 1;
    if (i == length_symbols - 2) end = max_match;  // 258 has a symbol of its own
    fixed_code code = literal_code(257 + i);
    for (unsigned length = length_base[i]; length < end; ++length) {
      unsigned extra = length - length_base[i];
      codes[length] = {uint16_t(code.bits | extra << code.length), uint8_t(code.length + length_extra[i])};
    }
  }
  return codes;
}

constexpr std::array<uint8_t, distance_symbols> make_distance_codes() {
  std::array<uint8_t, distance_symbols> codes{};
  for (unsigned s = 0; s < distance_symbols; ++s) codes[s] = uint8_t(reverse_bits(s, fixed_distance_bits));
  return codes;
}

constexpr std::array<fixed_code, 256> literal_codes = make_literal_codes();
constexpr std::array<uint8_t, distance_symbols> distance_codes = make_distance_codes();
constexpr std::array<fixed_code, max_match + 1> length_codes = make_length_codes();

// Distance code symbol: two symbols per power of two above 4.
inline unsigned distance_symbol(uint32_t distance) {
  uint32_t x = distance - 1;
  if (x < 4) return x;
  unsigned top = std::bit_width(x) - 1;
  return 2 * top + ((x >> (top - 1)) & 1);
}

// The cursor is an index: past the capacity it keeps counting without a pointer ever
// leaving the buffer, so that the final cursor is the size a second call needs.
struct bit_writer {
  uint8_t* output;
  size_t capacity;
  size_t cursor = 0;
  uint64_t held = 0;
  unsigned count = 0;

  void put(uint32_t bits, unsigned n) {
    held |= uint64_t(bits) << count;
    count += n;
    if (count >= 32) flush_word();
  }

  void flush_word() {
    uint32_t word = uint32_t(held);
    if (cursor + 4 <= capacity) {
      bytes::store_le32(output + cursor, word);
      cursor += 4;
    } else {
      for (int i = 0; i < 4; ++i) store_byte(uint8_t(word >> (8 * i)));
    }
    held >>= 32;
    count -= 32;
  }

  void store_byte(uint8_t byte) {
    if (cursor < capacity) output[cursor] = byte;
    ++cursor;
  }

  // Pads the last byte with 0 bits.
  void finish() {
    for (; count > 0; count = count > 8 ? count - 8 : 0) {
      store_byte(uint8_t(held));
      held >>= 8;
    }
  }
};

constexpr unsigned bucket_count = 1024;
constexpr unsigned slots_per_bucket = 4;

inline uint32_t three_bytes(const uint8_t* p) { return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]; }

inline uint32_t bucket_of(const uint8_t* p) {
  uint32_t x = three_bytes(p);
  x ^= x >> 16;
  x *= 0x7FEB352Du;
  x ^= x >> 15;
  x *= 0x846CA68Bu;
  x ^= x >> 16;
  return x & (bucket_count - 1);
}

inline uint32_t slot_of(const uint8_t* p) {
  uint32_t y = three_bytes(p);
  return ((y >> 14) - y) & (slots_per_bucket - 1);
}

inline bool same_three(const uint8_t* a, const uint8_t* b) { return a[0] == b[0] && a[1] == b[1] && a[2] == b[2]; }

// Length of the match at `p` against `q`, whose first three bytes are known to agree.
inline size_t match_length(const uint8_t* q, const uint8_t* p, size_t limit) {
  size_t length = 3;
  while (length + 8 <= limit) {
    uint64_t difference = bytes::load_le64(q + length) ^ bytes::load_le64(p + length);
    if (difference != 0) return length + std::countr_zero(difference) / 8;
    length += 8;
  }
  while (length < limit && q[length] == p[length]) ++length;
  return length;
}

}  // namespace

codec_status compress(uint8_t* output, size_t& length, const uint8_t* input, size_t input_length) {
  bit_writer writer{output, output ? length : 0};
  // Unused slots hold 0, which stands for position 0 like any other entry.
  uint32_t recent[bucket_count][slots_per_bucket] = {};

  writer.put(0b011, 3);  // BFINAL = 1, BTYPE = 1
  size_t p = 0;
  while (p < input_length) {
    size_t start = p;
    size_t left = input_length - p;
    uint32_t bucket = 0;
    size_t match = 0;
    uint32_t distance = 0;
    if (left >= 3) {
      bucket = bucket_of(input + p);
      if (p >= 3) {
        for (uint32_t q : recent[bucket]) {
          if (q < p && p - q < window_size && same_three(input + q, input + p)) {
            match = match_length(input + q, input + p, std::min<size_t>(max_match, left));
            distance = uint32_t(p - q);
            break;
          }
        }
      }
    }
    if (match) {
      const fixed_code& code = length_codes[match];
      writer.put(code.bits, code.length);
      unsigned symbol = distance_symbol(distance);
      uint32_t extra = distance - distance_base[symbol];
      writer.put(distance_codes[symbol] | extra << fixed_distance_bits,
                 fixed_distance_bits + distance_extra[symbol]);
      p += match;
    } else {
      const fixed_code& code = literal_codes[input[p]];
      writer.put(code.bits, code.length);
      ++p;
    }
    // Past this point fewer than three bytes remain and no lookup follows.
    if (left >= 3 && input_length - p >= 3) recent[bucket][slot_of(input + p)] = uint32_t(start);
  }
  writer.put(0, 7);  // end of block: seven 0 bits
  writer.finish();

  bool fits = writer.cursor <= writer.capacity;
  length = writer.cursor;
  return fits ? codec_status::ok : codec_status::too_small;
}

}  // namespace tav::deflate
