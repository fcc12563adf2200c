// Base-N encodings: the encoders and decoders of bases 2, 16, 58 and 64 over raw memory.
#include "datatypes/base_n.hpp"

#include <algorithm>
#include <array>

#include "runtime/errors.hpp"
#include "runtime/heap.hpp"
#include "runtime/memory.hpp"
#include "runtime/series.hpp"

namespace tav::binary {
namespace {

constexpr char base64_alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char base58_alphabet[] = "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz";

// Classes of the base-58 and base-64 decoding tables; a value below 64 is a digit.
constexpr uint8_t skip = 64;
constexpr uint8_t pad = 65;
constexpr uint8_t comment = 66;
constexpr uint8_t invalid = 128;

using code_table = std::array<uint8_t, 128>;

constexpr code_table digit_table(const char* alphabet, bool padded) {
  code_table table{};
  table.fill(invalid);
  for (uint8_t c : {'\b', '\t', '\n', '\f', '\r', ' ', '\''}) table[c] = skip;
  table[';'] = comment;
  if (padded) table['='] = pad;
  for (uint8_t value = 0; alphabet[value]; ++value) table[static_cast<uint8_t>(alphabet[value])] = value;
  return table;
}

constexpr code_table base64_table = digit_table(base64_alphabet, true);
constexpr code_table base58_table = digit_table(base58_alphabet, false);

constexpr code_table hex_table = [] {
  code_table table{};
  table.fill(255);
  for (uint8_t value = 0; value < 16; ++value) {
    table[static_cast<uint8_t>(hex_digits[value])] = value;
    if (value >= 10) table['a' + value - 10] = value;
  }
  return table;
}();

// A comment runs up to the line feed, which the caller then reads like any skipped character.
template <class Unit>
const Unit* comment_end(const Unit* p, const Unit* end) {
  while (p < end && *p != '\n') ++p;
  return p;
}

template <class Decode>
node_id by_unit(const void* source, size_t count, uint32_t unit, Decode decode) {
  switch (unit) {
    case 1: return decode(static_cast<const uint8_t*>(source), count);
    case 2: return decode(static_cast<const uint16_t*>(source), count);
    case 4: return decode(static_cast<const uint32_t*>(source), count);
    default: return 0;
  }
}

// The decoders' result buffers. The capacity is computed in 64 bits: a character count near
// the largest series would overflow 32-bit products.
node_id new_output(uint64_t capacity) {
  if (capacity > max_series_size) [[unlikely]]
    fire(error_id::internal_no_memory);
  return alloc_bytes(static_cast<uint32_t>(capacity));
}

node_id finish(node_id node, const uint8_t* end) {
  series_buffer* buffer = buffer_of(node);
  buffer->tail = static_cast<uint32_t>(end - buffer->data());
  return node;
}

// A failed decoding abandons its buffer at once, as an expansion abandons the old one.
[[gnu::cold]] node_id discard(node_id node) {
  series_buffer* buffer = buffer_of(node);
  buffer->node = 0;
  buffer->flags &= ~series_flag::in_use;
  free_node(node);
  return 0;
}

// A zeroed block of 32-bit limbs on the tracked heap, given back however the scope ends.
struct limb_buffer {
  uint32_t* limbs;
  explicit limb_buffer(size_t count) : limbs(static_cast<uint32_t*>(heap_alloc_zeroed(count * sizeof(uint32_t)))) {}
  ~limb_buffer() { heap_free(limbs); }
  limb_buffer(const limb_buffer&) = delete;
  limb_buffer& operator=(const limb_buffer&) = delete;
};

// Base 58 works on big numbers held in 32-bit limbs, least significant first, five digits
// at a time: 58^5 is the largest power of 58 below 2^32.
constexpr uint32_t five_digits = 58u * 58u * 58u * 58u * 58u;

template <class Unit>
node_id decode_2_run(const Unit* p, size_t count) {
  const Unit* end = p + count;
  node_id node = new_output(count / 8);
  uint8_t* out = buffer_of(node)->data();
  uint32_t byte = 0;
  uint32_t bits = 0;
  while (p < end) {
    uint32_t c = *p++;
    if (c == ';') {
      p = comment_end(p, end);
    } else if (c == '0' || c == '1') {
      byte = (byte << 1) | (c - '0');
      if (++bits == 8) {
        *out++ = static_cast<uint8_t>(byte);
        byte = bits = 0;
      }
    } else if (c > ' ') {
      return discard(node);
    }
  }
  return bits ? discard(node) : finish(node, out);
}

template <class Unit>
node_id decode_16_run(const Unit* p, size_t count) {
  const Unit* end = p + count;
  node_id node = new_output(std::max<uint64_t>(count / 2, 1));
  uint8_t* out = buffer_of(node)->data();
  uint32_t high = 0;
  bool have_high = false;
  while (p < end) {
    uint32_t c = *p++;
    if (c == ';') {
      p = comment_end(p, end);
      continue;
    }
    if (c <= ' ') continue;
    uint8_t value = hex_digit_value(c);
    if (value == 255) return discard(node);
    if (have_high) *out++ = static_cast<uint8_t>((high << 4) | value);
    high = value;
    have_high = !have_high;
  }
  // A last digit alone holds half a byte.
  return have_high ? discard(node) : finish(node, out);
}

// The bytes that a last group of two or three digits holds, written without its padding;
// a single digit holds none.
bool flush_partial_group(uint32_t bits, uint32_t digits, uint8_t*& out) {
  if (digits == 1) return false;
  if (digits == 2) {
    *out++ = static_cast<uint8_t>(bits >> 4);
  } else if (digits == 3) {
    *out++ = static_cast<uint8_t>(bits >> 10);
    *out++ = static_cast<uint8_t>(bits >> 2);
  }
  return true;
}

template <class Unit>
node_id decode_64_run(const Unit* p, size_t count) {
  const Unit* end = p + count;
  node_id node = new_output((uint64_t{count} + 3) * 3 / 4);
  uint8_t* out = buffer_of(node)->data();
  uint32_t bits = 0;
  uint32_t digits = 0;
  while (p < end) {
    // Whole groups of four plain digits, the common case, go without the per-character rules.
    if (digits == 0) {
      for (; end - p >= 4; p += 4) {
        uint32_t a = p[0], b = p[1], c = p[2], d = p[3];
        if ((a | b | c | d) >= 128) break;
        uint32_t va = base64_table[a], vb = base64_table[b], vc = base64_table[c], vd = base64_table[d];
        if ((va | vb | vc | vd) >= 64) break;
        uint32_t group = (va << 18) | (vb << 12) | (vc << 6) | vd;
        out[0] = static_cast<uint8_t>(group >> 16);
        out[1] = static_cast<uint8_t>(group >> 8);
        out[2] = static_cast<uint8_t>(group);
        out += 3;
      }
      if (p == end) break;
    }
    uint32_t c = *p++;
    if (c >= 128) return discard(node);
    uint8_t value = base64_table[c];
    if (value < 64) {
      bits = (bits << 6) | value;
      if (++digits == 4) {
        out[0] = static_cast<uint8_t>(bits >> 16);
        out[1] = static_cast<uint8_t>(bits >> 8);
        out[2] = static_cast<uint8_t>(bits);
        out += 3;
        bits = digits = 0;
      }
    } else if (value == comment) {
      p = comment_end(p, end);
    } else if (value == pad) {
      if (digits < 2) return discard(node);
      flush_partial_group(bits, digits, out);
      return finish(node, out);
    } else if (value != skip) {
      return discard(node);
    }
  }
  return flush_partial_group(bits, digits, out) ? finish(node, out) : discard(node);
}

// limbs[0, used) := limbs × factor + addend
void multiply_add(uint32_t* limbs, size_t& used, uint32_t factor, uint32_t addend) {
  uint64_t carry = addend;
  for (size_t i = 0; i < used; ++i) {
    uint64_t product = uint64_t{limbs[i]} * factor + carry;
    limbs[i] = static_cast<uint32_t>(product);
    carry = product >> 32;
  }
  if (carry) limbs[used++] = static_cast<uint32_t>(carry);
}

template <class Unit>
node_id decode_58_run(const Unit* p, size_t count) {
  const Unit* end = p + count;
  // The result needs room for `count` bytes: a count that cannot have it fails before the
  // work buffer is sized by it.
  if (count > max_series_size) [[unlikely]]
    fire(error_id::internal_no_memory);
  // m digits after the leading "1"s make a number below 58^m < 2^(6m).
  limb_buffer work(count * 6 / 32 + 2);
  size_t used = 0;
  size_t zeros = 0;
  uint32_t group = 0;
  uint32_t scale = 1;
  while (p < end) {
    uint32_t c = *p++;
    if (c >= 128) return 0;
    uint8_t value = base58_table[c];
    if (value < 58) {
      if (value == 0 && used == 0 && scale == 1) {
        ++zeros;
        continue;
      }
      group = group * 58 + value;
      scale *= 58;
      if (scale == five_digits) {
        multiply_add(work.limbs, used, scale, group);
        group = 0;
        scale = 1;
      }
    } else if (value == comment) {
      p = comment_end(p, end);
    } else if (value != skip) {
      return 0;
    }
  }
  if (scale > 1) multiply_add(work.limbs, used, scale, group);

  // The digits take at least as many characters as the bytes they make, so `count` is room
  // for the zero bytes and the number together.
  node_id node = new_output(count);
  uint8_t* out = buffer_of(node)->data();
  out = std::fill_n(out, zeros, uint8_t{0});
  if (used) {
    uint32_t top = work.limbs[used - 1];
    for (int shift = 24; shift >= 0; shift -= 8)
      if (top >> shift) *out++ = static_cast<uint8_t>(top >> shift);
    for (size_t i = used - 1; i-- > 0;)
      for (int shift = 24; shift >= 0; shift -= 8) *out++ = static_cast<uint8_t>(work.limbs[i] >> shift);
  }
  return finish(node, out);
}

}  // namespace

uint8_t hex_digit_value(uint32_t cp) { return cp < 128 ? hex_table[cp] : 255; }

uint8_t* encode_2(uint8_t* destination, const uint8_t* source, size_t count) {
  for (size_t i = 0; i < count; ++i)
    for (int bit = 7; bit >= 0; --bit) *destination++ = static_cast<uint8_t>('0' + ((source[i] >> bit) & 1));
  return destination;
}

uint8_t* encode_16(uint8_t* destination, const uint8_t* source, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    *destination++ = static_cast<uint8_t>(hex_digits[source[i] >> 4]);
    *destination++ = static_cast<uint8_t>(hex_digits[source[i] & 15]);
  }
  return destination;
}

uint8_t* encode_64(uint8_t* destination, const uint8_t* source, size_t count) {
  const uint8_t* whole_end = source + (count - count % 3);
  for (; source < whole_end; source += 3) {
    uint32_t group = (uint32_t{source[0]} << 16) | (uint32_t{source[1]} << 8) | source[2];
    destination[0] = static_cast<uint8_t>(base64_alphabet[group >> 18]);
    destination[1] = static_cast<uint8_t>(base64_alphabet[(group >> 12) & 63]);
    destination[2] = static_cast<uint8_t>(base64_alphabet[(group >> 6) & 63]);
    destination[3] = static_cast<uint8_t>(base64_alphabet[group & 63]);
    destination += 4;
  }
  size_t rest = count % 3;
  if (rest == 0) return destination;
  uint32_t group = uint32_t{source[0]} << 16;
  if (rest == 2) group |= uint32_t{source[1]} << 8;
  destination[0] = static_cast<uint8_t>(base64_alphabet[group >> 18]);
  destination[1] = static_cast<uint8_t>(base64_alphabet[(group >> 12) & 63]);
  destination[2] = rest == 2 ? static_cast<uint8_t>(base64_alphabet[(group >> 6) & 63]) : '=';
  destination[3] = '=';
  return destination + 4;
}

uint8_t* encode_58(uint8_t* destination, const uint8_t* source, size_t count) {
  size_t zeros = 0;
  while (zeros < count && source[zeros] == 0) ++zeros;
  size_t length = count - zeros;
  uint8_t* out = std::fill_n(destination, zeros, static_cast<uint8_t>('1'));
  if (length == 0) return out;

  size_t used = (length + 3) / 4;
  limb_buffer work(used);
  for (size_t i = 0; i < length; ++i) {
    size_t k = length - 1 - i;  // byte k of the number, counting from the least significant
    work.limbs[k / 4] |= uint32_t{source[zeros + i]} << (8 * (k % 4));
  }

  // Digits come least significant first and are turned round at the end. Every division but
  // the last leaves five digits, zeros included; the last leaves only the significant ones.
  uint8_t* digits = out;
  while (used) {
    uint64_t remainder = 0;
    for (size_t i = used; i-- > 0;) {
      uint64_t current = (remainder << 32) | work.limbs[i];
      work.limbs[i] = static_cast<uint32_t>(current / five_digits);
      remainder = current % five_digits;
    }
    while (used && work.limbs[used - 1] == 0) --used;
    auto r = static_cast<uint32_t>(remainder);
    for (int n = 0; used ? n < 5 : r != 0; ++n) {
      *out++ = static_cast<uint8_t>(base58_alphabet[r % 58]);
      r /= 58;
    }
  }
  std::reverse(digits, out);
  return out;
}

node_id decode_2(const void* source, size_t count, uint32_t unit) {
  return by_unit(source, count, unit, [](auto* text, size_t n) { return decode_2_run(text, n); });
}

node_id decode_16(const void* source, size_t count, uint32_t unit) {
  return by_unit(source, count, unit, [](auto* text, size_t n) { return decode_16_run(text, n); });
}

node_id decode_58(const void* source, size_t count, uint32_t unit) {
  return by_unit(source, count, unit, [](auto* text, size_t n) { return decode_58_run(text, n); });
}

node_id decode_64(const void* source, size_t count, uint32_t unit) {
  return by_unit(source, count, unit, [](auto* text, size_t n) { return decode_64_run(text, n); });
}

}  // namespace tav::binary
