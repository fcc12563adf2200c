// Percent-encoding of URL text: character classes, the encoder and the decoder.
#include "datatypes/percent_coding.hpp"

#include <algorithm>
#include <array>
#include <cstring>

#include "datatypes/base_n.hpp"
#include "runtime/errors.hpp"

namespace tav::url {
namespace {

constexpr uint8_t url_class = 1;
constexpr uint8_t strict_class = 2;

constexpr std::array<uint8_t, 128> classes = [] {
  std::array<uint8_t, 128> table{};
  for (uint8_t c : {'-', '.', '_', '~'}) table[c] = url_class | strict_class;
  for (int c = '0'; c <= '9'; ++c) table[c] = url_class | strict_class;
  for (int c = 'A'; c <= 'Z'; ++c) table[c] = url_class | strict_class;
  for (int c = 'a'; c <= 'z'; ++c) table[c] = url_class | strict_class;
  for (uint8_t c : {'!', '#', '$', '&', '\'', '(', ')', '*', '+', ',', '/', ':', '=', '?', '@'}) table[c] = url_class;
  return table;
}();

template <class Unit>
bool pair_at(const Unit* p, const Unit* end, uint8_t* out) {
  if (end - p < 3 || p[0] != '%') return false;
  uint8_t high = binary::hex_digit_value(p[1]);
  uint8_t low = binary::hex_digit_value(p[2]);
  if ((high | low) == 255) return false;
  *out = static_cast<uint8_t>((high << 4) | low);
  return true;
}

// Bytes of the UTF-8 sequence a byte starts; 1 for a byte that starts none.
int sequence_length(uint8_t byte) {
  if (byte < 0xC0 || byte >= 0xF8) return 1;
  return byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : 4;
}

constexpr uint32_t smallest_of_length[5] = {0, 0, 0x80, 0x800, 0x10000};

// The code point encoded by the pairs at p, moving p past them; false, p unmoved, when p holds
// no pair or the pairs make a sequence that is cut short or not well-formed UTF-8 (overlong,
// a surrogate, beyond U+10FFFF).
template <class Unit>
bool encoded_char(const Unit*& p, const Unit* end, uint32_t& out) {
  uint8_t lead;
  if (!pair_at(p, end, &lead)) return false;
  int length = sequence_length(lead);
  const Unit* q = p + 3;
  uint32_t cp = lead;
  if (length > 1) {
    cp &= 0x7Fu >> length;
    for (int k = 1; k < length; ++k, q += 3) {
      uint8_t byte;
      if (!pair_at(q, end, &byte) || (byte & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (byte & 0x3Fu);
    }
    if (cp < smallest_of_length[length] || cp > unicode::max_code_point || (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
  }
  p = q;
  out = cp;
  return true;
}

void append(unit_sink& sink, uint32_t cp, size_t still_to_come) {
  uint32_t width = unicode::width_for(cp);
  if (width > sink.width) sink.make_room(sink, width, sink.count + 1 + still_to_come);
  unicode::set_unit(sink.data, sink.count++, sink.width, cp);
}

template <class Unit, class TakeRaw>
void decode_run(const Unit* p, const Unit* end, unit_sink& sink, TakeRaw take_raw) {
  size_t room = sink.count + static_cast<size_t>(end - p);
  if (sink.capacity < room) sink.make_room(sink, sink.width, room);
  while (p < end) {
    uint32_t cp;
    if (*p != '%' || !encoded_char(p, end, cp)) cp = take_raw(p, end);
    append(sink, cp, static_cast<size_t>(end - p));
  }
}


template <class Unit>
size_t encoded_size_run(const Unit* units, size_t count, uint32_t mode) {
  size_t size = 0;
  for (size_t i = 0; i < count; ++i) {
    uint32_t cp = units[i];
    size += cp < 128 ? (plain_p(static_cast<uint8_t>(cp), mode) ? 1 : 3) : 3 * unicode::cp_utf8_size(cp);
  }
  return size;
}

template <class Unit>
uint8_t* encode_run(const Unit* units, size_t count, uint32_t mode, uint8_t* out) {
  for (size_t i = 0; i < count; ++i) {
    uint32_t cp = units[i];
    if (cp < 128) {
      out += encode_char(static_cast<uint8_t>(cp), mode, out);
      continue;
    }
    uint8_t bytes[4];
    int n = unicode::cp_to_utf8(cp, bytes);
    for (int k = 0; k < n; ++k) out += encode_char(bytes[k], mode, out);
  }
  return out;
}

template <class Run>
auto by_width(const void* units, uint32_t width, Run run) {
  switch (width) {
    case 1: return run(static_cast<const uint8_t*>(units));
    case 2: return run(static_cast<const uint16_t*>(units));
    default: return run(static_cast<const uint32_t*>(units));
  }
}

}  // namespace

bool plain_p(uint8_t byte, uint32_t mode) {
  return byte < 128 && (classes[byte] & (mode == strict_mode ? strict_class : url_class)) != 0;
}

size_t encode_char(uint8_t byte, uint32_t mode, uint8_t* out) {
  if (plain_p(byte, mode)) {
    out[0] = byte;
    return 1;
  }
  out[0] = '%';
  out[1] = static_cast<uint8_t>(binary::hex_digits[byte >> 4]);
  out[2] = static_cast<uint8_t>(binary::hex_digits[byte & 15]);
  return 3;
}

size_t encoded_size(const void* units, size_t count, uint32_t width, uint32_t mode) {
  return by_width(units, width, [&](auto* text) { return encoded_size_run(text, count, mode); });
}

uint8_t* encode(const void* units, size_t count, uint32_t width, uint32_t mode, uint8_t* out) {
  return by_width(units, width, [&](auto* text) { return encode_run(text, count, mode, out); });
}

bool decode_pair(const uint8_t* p, const uint8_t* end, uint8_t* out) { return pair_at(p, end, out); }

void decode(const void* units, size_t count, uint32_t width, unit_sink& sink) {
  by_width(units, width, [&](auto* text) {
    decode_run(text, text + count, sink, [](auto*& p, auto*) -> uint32_t { return *p++; });
  });
}

void decode_utf8(const uint8_t* bytes, size_t length, unit_sink& sink) {
  decode_run(bytes, bytes + length, sink, [](const uint8_t*& p, const uint8_t* end) {
    size_t available = static_cast<size_t>(end - p);
    int32_t cp = unicode::decode_utf8_char(p, &available);
    if (cp < 0) unicode::raise_invalid_utf8(p, static_cast<size_t>(end - p));
    p += available;
    return static_cast<uint32_t>(cp);
  });
}

}  // namespace tav::url
