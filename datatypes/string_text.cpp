// String conversions at the edges: strings made from raw UTF-8 or UTF-16 bytes, numbers read
// from text, and the hexadecimal text helpers.
#include <algorithm>

#include "datatypes/context.hpp"
#include "datatypes/string.hpp"
#include "datatypes/types.hpp"
#include "interpreter/stack.hpp"
#include "runtime/float_text.hpp"
#include "runtime/series.hpp"
#include "runtime/throw.hpp"
#include "runtime/unicode_string.hpp"

namespace tav::string {
namespace {

// Only the two encodings exist; any other value is a fault of the calling code.
[[gnu::cold, noreturn]] void unsupported_encoding() { runtime_error(98); }

node_id load_node(const uint8_t* bytes, size_t length, encoding from) {
  switch (from) {
    case encoding::utf8: return unicode::load_utf8_new(bytes, length);
    case encoding::utf16le: return unicode::load_utf16(bytes, length / 2, 0, false);
  }
  unsupported_encoding();
}

const char hex_digits[] = "0123456789ABCDEF";
char hex_text[9];

}  // namespace

cell* load_at(const uint8_t* bytes, size_t length, cell* target, encoding from) {
  node_id node = load_node(bytes, length, from);
  if (!target) target = stack::push_cell();
  *target = cell{TYPE_STRING, 0, node, 0};
  return target;
}

cell* load_in(const uint8_t* bytes, size_t length, cell& block, encoding from) {
  node_id node = load_node(bytes, length, from);
  cell* slot = alloc_block_tail(block);
  *slot = cell{TYPE_STRING, 0, node, 0};
  return slot;
}

cell* load_in_root(const uint8_t* bytes, size_t length, encoding from) {
  return load_in(bytes, length, context::root, from);
}

cell* load(const uint8_t* bytes, size_t length, encoding from) { return load_at(bytes, length, nullptr, from); }

cell* make_from_utf8_series(const cell& series, uint32_t count) {
  series_buffer* buffer = buffer_of(series.payload2);
  uint32_t total = buffer->count();
  auto head = std::min<uint32_t>(static_cast<uint32_t>(std::max(static_cast<int32_t>(series.payload1), 0)), total);
  count = std::min(count, total - head);
  // The pointer held here pins the series while the new string is made.
  return load_at(buffer->head() + head, count, nullptr, encoding::utf8);
}

double to_float(const uint8_t* start, const uint8_t* end) {
  return strtod(reinterpret_cast<const char*>(start), reinterpret_cast<const char*>(end), 0, nullptr);
}

const char* byte_to_hex(uint8_t byte) {
  hex_text[0] = hex_digits[byte >> 4];
  hex_text[1] = hex_digits[byte & 15];
  hex_text[2] = 0;
  return hex_text;
}

const char* to_hex(int32_t value, bool short_form) {
  if (!short_form) {
    auto bits = static_cast<uint32_t>(value);
    for (int i = 7; i >= 0; --i, bits >>= 4) hex_text[i] = hex_digits[bits & 15];
    hex_text[8] = 0;
    return hex_text;
  }
  if (value == 0) return "00";
  // Digits from the right until only the sign fill is left; a negative value keeps going
  // until its top digit shows the sign.
  char* p = hex_text + 8;
  *p = 0;
  int32_t digit = 0;
  while (p > hex_text && (value < 0 ? value != -1 || digit < 8 : value != 0)) {
    digit = value & 15;
    *--p = hex_digits[digit];
    value >>= 4;
  }
  return p;
}

}  // namespace tav::string
