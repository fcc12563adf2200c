// Terminal input decoding: one pass over the input buffer turns every complete item into an
// input_item and keeps an item the end of the buffer cut off for the next pass.
#include "view/backends/terminal/input.hpp"

#include <array>
#include <limits>

namespace tav::tui {
namespace {

constexpr uint8_t esc = 27;
constexpr uint8_t bel = 7;
// A device control or operating system command whose end is further away is dropped.
constexpr size_t string_command_limit = 256;
// So is a control sequence with no final byte so far, rather than kept growing.
constexpr size_t control_sequence_limit = 256;
constexpr int32_t max_parameter = std::numeric_limits<int32_t>::max();

// The keys of ESC [ n ~ by n: Home and End also under the Linux console's 1, 7, 4 and 8.
constexpr std::array<int32_t, 25> tilde_keys = [] {
  std::array<int32_t, 25> keys{};
  keys[1] = keys[7] = special_key::home;
  keys[4] = keys[8] = special_key::end;
  keys[3] = special_key::delete_;
  keys[5] = special_key::page_up;
  keys[6] = special_key::page_down;
  keys[15] = -35;  // F5
  keys[17] = -36;
  keys[18] = -37;
  keys[19] = -38;
  keys[20] = -39;
  keys[21] = -40;
  keys[23] = -41;
  keys[24] = -42;
  return keys;
}();

// The key of ESC [ letter, and in application mode of ESC O letter.
int32_t letter_code(char letter) {
  switch (letter) {
    case 'A': return special_key::up;
    case 'B': return special_key::down;
    case 'C': return special_key::right;
    case 'D': return special_key::left;
    case 'F': return special_key::end;
    case 'H': return special_key::home;
    case 'Z': return special_key::back_tab;
    default: return 0;
  }
}

// ESC O P to ESC O S are F1 to F4; the cursor keys, Home and End come so in application mode.
int32_t ss3_code(char letter) {
  if (letter >= 'P' && letter <= 'S') return special_key::f1 - (letter - 'P');
  return letter == 'Z' ? 0 : letter_code(letter);
}

bool continuation_p(uint8_t byte) { return (byte & 0xC0) == 0x80; }

// The length of the UTF-8 sequence a lead byte starts, 0 for a byte that starts none.
size_t sequence_length(uint8_t lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

// Whether the second byte may follow the lead: no overlong forms, surrogates or code points
// above 0x10FFFF.
bool second_byte_p(uint8_t lead, uint8_t second) {
  switch (lead) {
    case 0xE0: return second >= 0xA0 && second <= 0xBF;
    case 0xED: return second >= 0x80 && second <= 0x9F;
    case 0xF0: return second >= 0x90 && second <= 0xBF;
    case 0xF4: return second >= 0x80 && second <= 0x8F;
    default: return continuation_p(second);
  }
}

input_item key_item(int32_t character, int32_t special) {
  input_item item;
  item.kind = input_item::key;
  item.a = character;
  item.special = special;
  return item;
}

}  // namespace

input_decoder& input_buffer() {
  static input_decoder buffer;
  return buffer;
}

int32_t key_sequence_code(std::string_view sequence) {
  if (sequence.size() < 2) return 0;
  if (sequence[0] == 'O') return sequence.size() == 2 ? ss3_code(sequence[1]) : 0;
  if (sequence[0] != '[') return 0;
  if (sequence.size() == 2) return letter_code(sequence[1]);
  // [ n ~ with n of one or two digits, no leading zero.
  const std::string_view digits = sequence.substr(1, sequence.size() - 2);
  if (sequence.back() != '~' || digits.size() > 2 || digits[0] == '0') return 0;
  size_t n = 0;
  for (char digit : digits) {
    if (digit < '0' || digit > '9') return 0;
    n = n * 10 + static_cast<size_t>(digit - '0');
  }
  return n < tilde_keys.size() ? tilde_keys[n] : 0;
}

// Where decoding stands in the buffer; `incomplete` once an item ran past its end.
struct input_decoder::cursor {
  const uint8_t* data;
  size_t size;
  size_t position;
  bool incomplete = false;

  bool at_end() const { return position >= size; }
  uint8_t byte() const { return data[position]; }
};

bool input_decoder::append_char(uint32_t cp) {
  if (cp > 0x10FFFF) return false;
  if (cp < 0x80) {
    buffer_.push_back(static_cast<uint8_t>(cp));
  } else if (cp < 0x800) {
    buffer_.push_back(static_cast<uint8_t>(0xC0 | cp >> 6));
    buffer_.push_back(static_cast<uint8_t>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    buffer_.push_back(static_cast<uint8_t>(0xE0 | cp >> 12));
    buffer_.push_back(static_cast<uint8_t>(0x80 | (cp >> 6 & 0x3F)));
    buffer_.push_back(static_cast<uint8_t>(0x80 | (cp & 0x3F)));
  } else {
    buffer_.push_back(static_cast<uint8_t>(0xF0 | cp >> 18));
    buffer_.push_back(static_cast<uint8_t>(0x80 | (cp >> 12 & 0x3F)));
    buffer_.push_back(static_cast<uint8_t>(0x80 | (cp >> 6 & 0x3F)));
    buffer_.push_back(static_cast<uint8_t>(0x80 | (cp & 0x3F)));
  }
  return true;
}

void input_decoder::reset() {
  buffer_.clear();
  position_ = 0;
}

void input_decoder::process(std::vector<input_item>& out) {
  cursor at{buffer_.data(), buffer_.size(), position_};
  while (!at.at_end()) {
    const size_t start = at.position;
    const uint8_t c = at.byte();
    if (c == esc && at.size - position_ > 1) {
      decode_escape(at, out);
    } else if (c < 32 || c == 127) {
      out.push_back(key_item(c == 8 ? 127 : c == 10 ? 13 : c, 0));
      ++at.position;
    } else if (c < 0x80) {
      out.push_back(key_item(c, 0));
      ++at.position;
    } else {
      decode_utf8(at, out);
    }
    if (at.incomplete) {
      // The unfinished item moves to the front and waits for the rest of its bytes.
      buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(start));
      position_ = 0;
      return;
    }
  }
  reset();
}

void input_decoder::decode_utf8(cursor& at, std::vector<input_item>& out) {
  const size_t start = at.position;
  const uint8_t lead = at.byte();
  const size_t length = sequence_length(lead);
  // A byte that cannot start a sequence, or a lead whose sequence breaks off before the end of
  // the buffer, is dropped alone; the bytes after it are decoded as they are.
  if (length == 0) {
    ++at.position;
    return;
  }
  uint32_t cp = lead & (0xFF >> (length + 1));
  for (size_t k = 1; k < length; ++k) {
    if (start + k >= at.size) {
      at.incomplete = true;
      return;
    }
    const uint8_t next = at.data[start + k];
    if (k == 1 ? !second_byte_p(lead, next) : !continuation_p(next)) {
      at.position = start + 1;
      return;
    }
    cp = cp << 6 | (next & 0x3F);
  }
  out.push_back(key_item(static_cast<int32_t>(cp), 0));
  at.position = start + length;
}

void input_decoder::decode_escape(cursor& at, std::vector<input_item>& out) {
  const size_t start = at.position;
  at.position = start + 1;
  if (at.at_end()) {
    at.incomplete = true;
    return;
  }
  const uint8_t kind = at.byte();
  if (kind == 'P' || kind == ']') {
    decode_string_command(at);
  } else if (kind == '[') {
    decode_csi(at, out);
  } else if (kind == 'O') {
    // SS3: the byte after the O names the key.
    if (start + 2 >= at.size) {
      at.incomplete = true;
      return;
    }
    const char sequence[2] = {'O', static_cast<char>(at.data[start + 2])};
    if (const int32_t code = key_sequence_code({sequence, 2})) out.push_back(key_item(0, code));
    at.position = start + 3;
  } else {
    // ESC and one byte (Alt with a key, among others) names no key; the byte after it is the
    // next key and is decoded as such.
    at.position = start + 2;
  }
}

// A device control string or operating system command: skipped up to its ST or BEL.
void input_decoder::decode_string_command(cursor& at) {
  const size_t start = at.position - 1;
  for (size_t i = at.position + 1; i < at.size && i - start < string_command_limit; ++i) {
    if (at.data[i] == bel) {
      at.position = i + 1;
      return;
    }
    if (at.data[i] != esc) continue;
    if (i + 1 >= at.size) break;
    if (at.data[i + 1] == '\\') {
      at.position = i + 2;
      return;
    }
    ++i;
  }
  // Its end is not in sight: only ESC and the introducer are dropped.
  at.position = start + 2;
}

void input_decoder::decode_csi(cursor& at, std::vector<input_item>& out) {
  const size_t start = at.position - 1;
  int32_t parameters[4] = {0, 0, 0, 0};
  size_t index = 0;
  bool any = false;
  size_t i = at.position + 1;
  uint8_t final = 0;
  for (;; ++i) {
    if (i >= at.size) {
      if (i - start > control_sequence_limit)
        at.position = start + 2;
      else
        at.incomplete = true;
      return;
    }
    const uint8_t byte = at.data[i];
    if (byte == esc) {
      at.position = i + 1;
      return;
    }
    if (byte >= '0' && byte <= '9') {
      any = true;
      if (index < 4) {
        int32_t& value = parameters[index];
        const int32_t digit = byte - '0';
        value = value > (max_parameter - digit) / 10 ? max_parameter : value * 10 + digit;
      }
    } else if (byte == ';') {
      any = true;
      if (index < 5) ++index;
    } else if (byte >= 64 && byte <= 126 && byte != '[') {
      final = byte;
      break;
    }
  }
  at.position = i + 1;
  const size_t count = any ? index + 1 : 0;
  input_item item;
  if ((final == 'M' || final == 'm') && count == 3) {
    item.kind = input_item::mouse;
    item.release = final == 'm';
    item.a = parameters[0];
    item.b = parameters[1];
    item.c = parameters[2];
    out.push_back(item);
  } else if (final == 'R' && count == 2 && reports_expected_ > 0) {
    --reports_expected_;
    item.kind = input_item::cursor_report;
    item.a = parameters[0];
    item.b = parameters[1];
    out.push_back(item);
  } else {
    const std::string_view sequence(reinterpret_cast<const char*>(at.data) + start + 1, i - start);
    if (const int32_t code = key_sequence_code(sequence)) out.push_back(key_item(0, code));
  }
}

}  // namespace tav::tui
