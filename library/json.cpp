// The JSON decoder's escape resolution, in place over a string that the grammar has already
// checked: only the escapes JSON allows reach it.
#include "library/json.hpp"

#include <vector>

#include "datatypes/string.hpp"
#include "runtime/errors.hpp"
#include "runtime/memory.hpp"

namespace tav::library::json {
namespace {

int32_t hex_value(uint32_t c) {
  if (c >= '0' && c <= '9') return static_cast<int32_t>(c - '0');
  if (c >= 'A' && c <= 'F') return static_cast<int32_t>(c - 'A' + 10);
  if (c >= 'a' && c <= 'f') return static_cast<int32_t>(c - 'a' + 10);
  return -1;
}

// The four hexadecimal digits from `at`, or -1 when they are not all there.
int32_t hex4(const std::vector<uint32_t>& text, size_t at) {
  if (at + 4 > text.size()) return -1;
  int32_t value = 0;
  for (size_t i = 0; i < 4; ++i) {
    const int32_t digit = hex_value(text[at + i]);
    if (digit < 0) return -1;
    value = value * 16 + digit;
  }
  return value;
}

uint32_t simple_escape(uint32_t c) {
  switch (c) {
    case 'b': return 0x08;
    case 'f': return 0x0C;
    case 'n': return 0x0A;
    case 'r': return 0x0D;
    case 't': return 0x09;
    default: return c;
  }
}

// Resolves the escapes of `text` in place; answers false for a high surrogate without its low
// half.
bool resolve(std::vector<uint32_t>& text) {
  size_t write = 0;
  for (size_t read = 0; read < text.size();) {
    uint32_t c = text[read++];
    if (c == '\\' && read < text.size()) {
      const uint32_t kind = text[read++];
      if (kind != 'u') {
        c = simple_escape(kind);
      } else {
        const int32_t high = hex4(text, read);
        if (high < 0) return false;
        read += 4;
        c = static_cast<uint32_t>(high);
        if (high >= 0xD800 && high <= 0xDBFF) {
          if (read + 6 > text.size() || text[read] != '\\' || text[read + 1] != 'u') return false;
          const int32_t low = hex4(text, read + 2);
          if (low < 0xDC00 || low > 0xDFFF) return false;
          read += 6;
          c = 0x10000 + (static_cast<uint32_t>(high) - 0xD800) * 1024 + (static_cast<uint32_t>(low) - 0xDC00);
        }
      }
    }
    text[write++] = c;
  }
  text.resize(write);
  return true;
}

}  // namespace

// The characters are decoded into a scratch vector of code points first and stored back by
// position, so no address into the buffer is held across a widening.
routine::answer unescape(cell* arguments) {
  cell str = arguments[0];
  const uint32_t head = static_cast<uint32_t>(string::ts_abs_length_p(str) - string::ts_length_p(str));
  const uint32_t length = string::ts_length_p(str);
  std::vector<uint32_t> text(length);
  for (uint32_t i = 0; i < length; ++i) text[i] = string::ts_abs_at(str, head + i);
  if (!resolve(text)) fire(error_id::script_invalid_data, str);
  series_buffer* buffer = buffer_of(str.payload2);
  for (uint32_t i = 0; i < text.size(); ++i) buffer = string::poke_char_at(buffer, head + i, text[i]);
  string::truncate_at(buffer, head + static_cast<uint32_t>(text.size()));
  arguments[0] = str;
  return {0, 0};
}

}  // namespace tav::library::json
