// Lexer value loaders: a loader per value token that checks it (scan mode) or appends its
// value to the output (load mode), the series made when a bracket closes, construction
// values, syntax errors raised with their argument values, and the text readers the number
// and word conversions borrow from the lexer.
#include "interpreter/lexer_loaders.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <iterator>
#include <limits>

#include "datatypes/binary.hpp"
#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/date.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/map.hpp"
#include "datatypes/money.hpp"
#include "datatypes/number_handoff.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/percent_coding.hpp"
#include "datatypes/point.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/time.hpp"
#include "datatypes/tuple.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/lexer_internal.hpp"
#include "interpreter/tokenizer.hpp"
#include "runtime/float_text.hpp"
#include "runtime/series.hpp"
#include "runtime/unicode_string.hpp"

namespace tav::lexer {
namespace {

// ---- Output ---------------------------------------------------------------------------------

// Appends a value cell; the new-line flag `alloc_cell` chose stays. Values are made before
// this: making one may collect, and the output cells are then marked up to the tail.
void emit(lexer_state& ls, const cell& value) {
  uint32_t index = alloc_cell(ls);  // may move the output buffer
  out_cell& c = output_base[index];
  c = {(c.header & new_line_flag) | value.header, value.payload1, value.payload2, value.payload3};
}

bool is_digit(uint8_t c) { return c >= '0' && c <= '9'; }

// Raises invalid `type` unless [start, end) is valid UTF-8.
void check_utf8_text(lexer_state& ls, uint32_t start, uint32_t end, uint32_t flags, int32_t type, uint32_t quote_from) {
  check_text(ls, start, end, flags & ~lex_flag::caret, type, quote_from);
}

// ---- Text -----------------------------------------------------------------------------------

// The unit the hexadecimal `^(...)` escapes of [start, end) need beside `unit`: more than two
// digits take 2 bytes, more than four take 4. Names do not widen.
uint32_t escape_unit(const uint8_t* in, uint32_t start, uint32_t end, uint32_t unit) {
  for (uint32_t p = start; p + 1 < end; ++p) {
    if (in[p] != '^') continue;
    if (in[p + 1] != '(') {
      ++p;  // the escaped byte is no caret of its own
      continue;
    }
    uint32_t q = p + 2, digits = 0;
    while (q < end && in[q] != ')' && digits < 7) {
      uint8_t c = in[q];
      bool hex = is_digit(c) || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f');
      if (!hex) break;
      ++digits;
      ++q;
    }
    if (q < end && in[q] == ')') {
      if (digits > 4) return 4;
      if (digits > 2) unit = 2;
    }
    p = q;
  }
  return unit;
}

// A text value of `type` from [start, end): `^` escapes decoded when `escapes` is set, the
// UTF-8 decoded, in the narrowest unit the token's flags allow.
cell load_text(lexer_state& ls, uint32_t start, uint32_t end, uint32_t flags, int32_t type, bool escapes,
               uint32_t quote_from) {
  const uint8_t* in = ls.input;
  bool carets = escapes && (flags & lex_flag::caret);
  uint32_t unit = unit_size(flags);
  if (carets && unit < 4) unit = escape_unit(in, start, end, unit);
  uint32_t length = end - start;
  node_id node = alloc_by_unit(length ? length : 1, unit);
  uint8_t* data = buffer_of(node)->data();
  uint32_t count = 0;
  if (!carets && !(flags & lex_flag::high_byte)) {
    std::memcpy(data, in + start, length);
    count = length;
  } else {
    for (uint32_t p = start; p < end;) {
      uint32_t cp = in[p], n = 1;
      if (cp == '^' && carets)
        n = decode_escape(in + p, in + end, &cp);
      else if (cp >= 0x80)
        n = decode_utf8(in + p, in + end, &cp);
      if (!n) syntax_error(ls, quote_from, end, type);
      unicode::set_unit(data, count++, unit, cp);
      p += n;
    }
  }
  buffer_of(node)->tail = count * unit;
  return cell{static_cast<uint32_t>(type), 0, node, 0};
}

// The flags a text carries when it reaches past its token (a raw string searched on).
uint32_t text_flags(const uint8_t* in, uint32_t start, uint32_t end) {
  uint32_t flags = 0;
  for (uint32_t p = start; p < end; ++p) flags |= in[p] >= 0x80 ? lex_classes[in[p]] | lex_flag::high_byte : 0;
  return flags & ~lex_flag::class_mask;
}

// Percent-decoded text ("%XX" pairs) of [start, end), already checked as UTF-8.
cell load_decoded(lexer_state& ls, uint32_t start, uint32_t end, int32_t type) {
  node_id node = alloc_by_unit(end > start ? end - start : 1, 1);
  unit_sink sink = unicode::string_sink(node);
  url::decode_utf8(ls.input + start, end - start, sink);
  unicode::close_string_sink(sink);
  return cell{static_cast<uint32_t>(type), 0, node, 0};
}

void load_string(lexer_state& ls, uint32_t start, uint32_t end, uint32_t flags, bool load) {
  if (load)
    emit(ls, load_text(ls, start + 1, end, flags, type::string, true, start));
  else
    check_text(ls, start + 1, end, flags, type::string, start);
  ls.position = end + 1;
}

void load_rawstring(lexer_state& ls, uint32_t start, uint32_t end, uint32_t flags, bool load) {
  check_raw_string(ls, start, end, flags, load);
  uint32_t stop = ls.position;
  uint32_t signs = 0;
  while (ls.input[start + signs] == '%') ++signs;
  uint32_t first = start + signs + 1, last = stop - signs - 1;
  if (stop > end) flags |= text_flags(ls.input, end, stop);
  if (load)
    emit(ls, load_text(ls, first, last, flags, type::string, false, start));
  else
    check_utf8_text(ls, first, last, flags, type::string, start);
}

void load_file(lexer_state& ls, uint32_t start, uint32_t end, uint32_t flags, bool load) {
  check_file(ls, start, end, flags, load);
  const uint8_t* in = ls.input;
  if (end - start >= 2 && in[start + 1] == '"') {
    if (load)
      emit(ls, load_text(ls, start + 2, end, flags, type::file, true, start));
    else
      check_text(ls, start + 2, end, flags, type::file, start);
    return;
  }
  check_utf8_text(ls, start + 1, end, flags, type::file, start);
  if (!load) return;
  bool encoded = std::memchr(in + start + 1, '%', end - start - 1) != nullptr;
  emit(ls, encoded ? load_decoded(ls, start + 1, end, type::file)
                   : load_text(ls, start + 1, end, flags, type::file, false, start));
}

void load_url(lexer_state& ls, uint32_t start, uint32_t end, uint32_t flags, bool load) {
  if (ls.input[start] == ':') syntax_error(ls, start, end, type::get_word);
  if (ls.input[start] == '\'') syntax_error(ls, start, end, type::lit_word);
  check_utf8_text(ls, start, end, flags, type::url, start);
  if (!load) return;
  emit(ls, (flags & lex_flag::percent) ? load_decoded(ls, start, end, type::url)
                                       : load_text(ls, start, end, flags, type::url, false, start));
}

void load_tag(lexer_state& ls, uint32_t start, uint32_t end, uint32_t flags, bool load) {
  check_tag(ls, start, end, flags, load);
  check_utf8_text(ls, start + 1, end, flags, type::tag, start);
  if (load) emit(ls, load_text(ls, start + 1, end, flags, type::tag, false, start));
}

void load_email(lexer_state& ls, uint32_t start, uint32_t end, uint32_t flags, bool load) {
  check_utf8_text(ls, start, end, flags, type::email, start);
  if (load) emit(ls, load_text(ls, start, end, flags, type::email, false, start));
}

void load_ref(lexer_state& ls, uint32_t start, uint32_t end, uint32_t flags, bool load) {
  check_utf8_text(ls, start + 1, end, flags, type::ref, start);
  if (load) emit(ls, load_text(ls, start + 1, end, flags, type::ref, false, start));
}

void load_char(lexer_state& ls, uint32_t start, uint32_t end, uint32_t flags, bool load) {
  check_char(ls, start, end, flags, load);
  if (!load) return;
  const uint8_t* p = ls.input + start + 2;
  uint32_t cp = *p;
  if (cp == '^')
    decode_escape(p, ls.input + end, &cp);
  else if (cp >= 0x80)
    decode_utf8(p, ls.input + end, &cp);
  emit(ls, char_::value_of(cp));
}

// ---- Words ----------------------------------------------------------------------------------

// Names met lately and their symbols: a script says the same words again and again, and a
// name found here needs no hashing through the symbol table. A name of up to 24 bytes is kept
// in its entry, zero-padded, and compared as three words. The entries hold for the symbol
// table they were filled from only, so a table made anew empties the cache.
struct cached_name {
  uint64_t words[3];
  uint32_t length;  // 0: empty, as no name is
  uint32_t symbol;
};
constexpr uint32_t name_cache_size = 4096;
constexpr uint32_t cached_length_max = sizeof(cached_name::words);
cached_name name_cache[name_cache_size];
uint32_t name_cache_generation = 0;

static_assert(std::endian::native == std::endian::little, "a padded name keeps its first byte lowest");

// By length, the masks that keep a name's bytes in each of its three words.
constexpr auto padding_masks = [] {
  std::array<std::array<uint64_t, 3>, cached_length_max + 1> masks{};
  for (uint32_t length = 0; length <= cached_length_max; ++length)
    for (uint32_t i = 0; i < 3; ++i) {
      uint32_t kept = length > i * 8 ? length - i * 8 : 0;
      masks[length][i] = kept >= 8 ? ~uint64_t{0} : (uint64_t{1} << (kept * 8)) - 1;
    }
  return masks;
}();

// The name's bytes in three words, zero past its end; `room` bytes may be read from `name`.
void pad_name(const uint8_t* name, uint32_t length, uint32_t room, uint64_t (&words)[3]) {
  if (room < cached_length_max) [[unlikely]] {
    words[0] = words[1] = words[2] = 0;
    std::memcpy(words, name, length);
    return;
  }
  std::memcpy(words, name, cached_length_max);
  for (uint32_t i = 0; i < 3; ++i) words[i] &= padding_masks[length][i];
}

[[gnu::noinline]] uint32_t remember_name(cached_name& entry, const uint8_t* name, uint32_t length,
                                         const uint64_t (&words)[3]) {
  if (symbol::generation() != name_cache_generation) {
    std::memset(name_cache, 0, sizeof name_cache);
    name_cache_generation = symbol::generation();
  }
  uint32_t symbol = symbol::make_from_buffer(name, length);
  entry = {{words[0], words[1], words[2]}, length, symbol};
  return symbol;
}

uint32_t intern_name(const uint8_t* name, uint32_t length, uint32_t room) {
  if (length > cached_length_max) return symbol::make_from_buffer(name, length);
  uint64_t words[3];
  pad_name(name, length, room, words);
  uint64_t hash = (words[0] ^ std::rotl(words[1], 21) ^ std::rotl(words[2], 42) ^ length) * 0x9E3779B97F4A7C15u;
  static_assert(name_cache_size == 1u << 12);
  cached_name& entry = name_cache[hash >> 52];
  if (entry.length == length && entry.words[0] == words[0] && entry.words[1] == words[1] &&
      entry.words[2] == words[2] && name_cache_generation == symbol::generation())
    return entry.symbol;
  return remember_name(entry, name, length, words);
}

void emit_word(lexer_state& ls, int32_t type, uint32_t start, uint32_t end) {
  uint32_t symbol = intern_name(ls.input + start, end - start, ls.input_end - start);
  node_id context = type == type::issue ? context::global : 0;  // an issue is global, never resolved
  emit(ls, word::make_cell(static_cast<uint8_t>(type), context, symbol, -1));
}

// The scanner has checked the token and chosen its type; the marks are not part of the name.
void load_word(lexer_state& ls, uint32_t start, uint32_t end, uint32_t, bool load) {
  int32_t type = ls.scanner_type > 0 ? ls.scanner_type : ls.token_type;
  const uint8_t* in = ls.input;
  uint32_t first = start, last = end;
  switch (type) {
    case type::get_word: first += in[first] == ':'; break;
    case type::set_word: last -= last > first && in[last - 1] == ':'; break;
    case type::lit_word:
      if (last - first > 1 && in[last - 1] == ':') syntax_error(ls, start, end, type::lit_word);
      first += in[first] == '\'';
      break;
    case type::refinement:
    case type::issue: ++first; break;
    default: break;
  }
  if (first >= last) syntax_error(ls, start, end, type);
  if (load) emit_word(ls, type, first, last);
}

// `/` alone and `'/`, `:/`, `/:` are words of the name `/`.
void load_refinement(lexer_state& ls, uint32_t start, uint32_t end, uint32_t flags, bool load) {
  const uint8_t* in = ls.input;
  uint32_t length = end - start;
  int32_t type = type::refinement;
  uint32_t first = start + 1, last = end;
  if (length == 1 && in[start] == '/') {
    type = type::word;
    first = start;
  } else if (length == 2 && in[start + 1] == '/' && (in[start] == '\'' || in[start] == ':')) {
    type = in[start] == '\'' ? type::lit_word : type::get_word;
  } else if (length == 2 && in[start] == '/' && in[start + 1] == ':') {
    type = type::set_word;
    first = start;
    last = start + 1;
  } else if (length < 2 || in[start] != '/') {
    syntax_error(ls, start, end, type::refinement);
  }
  check_utf8_text(ls, first, last, flags, type::refinement, start);
  ls.token_type = type;
  if (load) emit_word(ls, type, first, last);
}

// ---- Numbers --------------------------------------------------------------------------------

// Digits with `'` (never two in a row) and an optional sign, as a 32-bit integer; false when
// the value needs more: more than 10 digits or past 32 bits. Only a minus sign reaches the
// minimum. No digits at all is an empty pair side.
bool read_integer(lexer_state& ls, uint32_t start, uint32_t end, int32_t error_type, int32_t& value) {
  const uint8_t* in = ls.input;
  uint32_t p = start;
  bool negative = false;
  if (p < end && (in[p] == '+' || in[p] == '-')) negative = in[p++] == '-';
  if (p == end) syntax_error(ls, start, end, type::pair);
  if (end - p == 1) {
    if (!is_digit(in[p])) syntax_error(ls, start, end, error_type);
    value = negative ? '0' - in[p] : in[p] - '0';
    return true;
  }
  uint64_t magnitude = 0;
  uint32_t digits = 0;
  for (; p < end; ++p) {
    uint8_t c = in[p];
    if (c == '\'') {
      if (p + 1 < end && in[p + 1] == '\'') syntax_error(ls, start, end, error_type);
      continue;
    }
    if (!is_digit(c)) syntax_error(ls, start, end, error_type);
    if (++digits <= 10) magnitude = magnitude * 10 + (c - '0');
  }
  if (digits == 0) syntax_error(ls, start, end, error_type);
  if (digits > 10 || magnitude > (negative ? 0x80000000u : 0x7FFFFFFFu)) return false;
  value = static_cast<int32_t>(negative ? 0 - magnitude : magnitude);
  return true;
}

// Up to nine digits alone, which always fit: the common integer needs none of the checks.
bool read_short_integer(const uint8_t* text, uint32_t length, int32_t& value) {
  if (length == 0 || length > 9) return false;
  int32_t v = 0;
  for (uint32_t i = 0; i < length; ++i) {
    uint32_t digit = text[i] - uint32_t{'0'};
    if (digit > 9) return false;
    v = v * 10 + static_cast<int32_t>(digit);
  }
  value = v;
  return true;
}

// [sign] digits [. digits] with at most 15 digits in all: the digits make an integer below
// 2^53 and the fraction a power of ten up to 10^22, both exact as doubles, so one division
// rounds correctly, as the general reading would.
bool read_simple_decimal(const uint8_t* text, uint32_t length, int extra_exponent, double& value) {
  constexpr double powers_of_ten[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                      1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  uint32_t p = 0;
  bool negative = false;
  if (length > 0 && (text[0] == '+' || text[0] == '-')) negative = text[p++] == '-';
  uint64_t digits = 0;
  uint32_t count = 0, whole = 0;
  bool point = false;
  for (; p < length; ++p) {
    uint32_t digit = text[p] - uint32_t{'0'};
    if (digit <= 9) {
      digits = digits * 10 + digit;
      ++count;
    } else if (text[p] == '.' && !point && count > 0) {
      point = true;
      whole = count;
    } else {
      return false;
    }
  }
  uint32_t fraction = point ? count - whole : 0;
  int scale = static_cast<int>(fraction) - extra_exponent;
  if (count == 0 || count > 15 || (point && fraction == 0) || scale < 0 || scale > 22) return false;
  double magnitude = static_cast<double>(digits) / powers_of_ten[scale];
  value = negative ? -magnitude : magnitude;
  return true;
}

// A decimal token checked by the number automaton, `'` dropped, correctly rounded with
// `extra_exponent` added to its decimal exponent.
bool read_decimal(const uint8_t* text, uint32_t length, int extra_exponent, double& value) {
  if (read_simple_decimal(text, length, extra_exponent, value)) return true;
  if (!tokenizer::number_syntax_p(text, length)) return false;
  char digits[tokenizer::max_number_length];
  uint32_t kept = 0;
  for (uint32_t i = 0; i < length; ++i)
    if (text[i] != '\'') digits[kept++] = text[i] == ',' ? '.' : static_cast<char>(text[i]);
  size_t left = 0;
  value = strtod(digits, digits + kept, extra_exponent, &left);
  return left == 0;
}

bool same_letters(const uint8_t* text, const char* upper) {
  for (int i = 0; i < 3; ++i)
    if ((text[i] & ~0x20) != upper[i]) return false;
  return true;
}

// [sign] "1.#" then NAN or INF in any case; what follows those letters is not looked at.
bool read_special(const uint8_t* text, uint32_t length, double& value) {
  uint32_t p = 0;
  bool negative = false;
  if (length > 0 && (text[0] == '+' || text[0] == '-')) negative = text[p++] == '-';
  if (length - p < 6 || text[p] != '1' || text[p + 1] != '.' || text[p + 2] != '#') return false;
  const uint8_t* letters = text + p + 3;
  if (same_letters(letters, "NAN")) {
    value = std::bit_cast<double>(uint64_t{0x7FF8000000000000});
    return true;
  }
  if (same_letters(letters, "INF")) {
    value = negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
    return true;
  }
  return false;
}

void load_decimal(lexer_state& ls, uint32_t start, uint32_t end, bool load, int extra_exponent, uint8_t type) {
  double value;
  if (!read_decimal(ls.input + start, end - start, extra_exponent, value)) syntax_error(ls, start, end, type::float_);
  if (load) emit(ls, scalar::float_cell(value, type));
}

void load_integer(lexer_state& ls, uint32_t start, uint32_t end, uint32_t, bool load) {
  int32_t value;
  if (read_short_integer(ls.input + start, end - start, value) || read_integer(ls, start, end, type::integer, value)) {
    if (load) emit(ls, scalar::integer(value));
    return;
  }
  ls.token_type = type::float_;
  load_decimal(ls, start, end, load, 0, TYPE_FLOAT);
}

void load_hex(lexer_state& ls, uint32_t start, uint32_t end, uint32_t, bool load) {
  const uint8_t* in = ls.input;
  uint32_t last = end - 1;  // the `h`
  uint32_t digits = last - start;
  if (digits == 1 && in[start] >= 'A') syntax_error(ls, start, end, type::word);
  if (digits < 2 || digits > 8) syntax_error(ls, start, end, type::integer);
  uint32_t value = 0;
  for (uint32_t p = start; p < last; ++p) {
    uint8_t c = in[p];
    uint32_t digit = is_digit(c) ? c - '0' : (c >= 'A' && c <= 'F') ? c - 'A' + 10u : 16u;
    if (digit > 15) syntax_error(ls, start, end, type::integer);
    value = value << 4 | digit;
  }
  if (load) emit(ls, scalar::integer(static_cast<int32_t>(value)));
}

void load_float(lexer_state& ls, uint32_t start, uint32_t end, uint32_t, bool load) {
  load_decimal(ls, start, end, load, 0, TYPE_FLOAT);
}

// The text's value divided by 100 in one rounding; the `%` is consumed.
void load_percent(lexer_state& ls, uint32_t start, uint32_t end, uint32_t flags, bool load) {
  check_percent(ls, start, end, flags, load);
  load_decimal(ls, start, end, load, -2, TYPE_PERCENT);
}

void load_float_special(lexer_state& ls, uint32_t start, uint32_t end, uint32_t, bool load) {
  double value;
  if (!read_special(ls.input + start, end - start, value)) syntax_error(ls, start, end, type::float_);
  if (load) emit(ls, scalar::float_cell(value));
}

// Numbers of 0 to 255 between single dots, 3 to 12 of them, kept in the cell's payload bytes
// with their count in the header.
void load_tuple(lexer_state& ls, uint32_t start, uint32_t end, uint32_t, bool load) {
  const uint8_t* in = ls.input;
  uint8_t bytes[12] = {};
  uint32_t count = 0, value = 0;
  bool digits = false;
  for (uint32_t p = start; p <= end; ++p) {
    uint8_t c = p < end ? in[p] : '.';
    if (is_digit(c)) {
      value = value * 10 + (c - '0');
      if (value > 255) syntax_error(ls, start, end, type::tuple);
      digits = true;
    } else if (c == '.' && digits && count < 12) {
      bytes[count++] = static_cast<uint8_t>(value);
      value = 0;
      digits = false;
    } else {
      syntax_error(ls, start, end, type::tuple);
    }
  }
  if (count < tuple::min_length) syntax_error(ls, start, end, type::tuple);
  if (!load) return;
  cell made;
  emit(ls, *tuple::make_at(made, count, bytes));
}

void load_pair(lexer_state& ls, uint32_t start, uint32_t end, uint32_t flags, bool load) {
  if (flags & lex_flag::dot) syntax_error(ls, start, end, type::pair);
  const uint8_t* in = ls.input;
  uint32_t x = start + 1;
  while (x < end && (in[x] | 0x20) != 'x') ++x;
  int32_t first = 0, second = 0;
  if (!read_integer(ls, start, x, type::pair, first) || !read_integer(ls, x + 1, end, type::pair, second))
    syntax_error(ls, start, end, type::pair);
  cell value{};
  if (load) emit(ls, *pair::make_at(value, first, second));
}

// Two or three numbers between `(` and `)`; `start` is past the `(`. Coordinates are 32-bit
// floats.
void load_point(lexer_state& ls, uint32_t start, uint32_t end, uint32_t flags, bool load) {
  check_point(ls, start, end, flags, load);
  point_parts parts = split_point(ls, start, end);
  float xyz[3] = {};
  for (uint32_t i = 0; i < parts.count; ++i) {
    const uint8_t* text = ls.input + parts.start[i];
    uint32_t length = parts.end[i] - parts.start[i];
    double value;
    bool special = std::memchr(text, '#', length) != nullptr;
    if (!(special ? read_special(text, length, value) : read_decimal(text, length, 0, value)))
      syntax_error(ls, start - 1, end, type::float_);
    xyz[i] = static_cast<float>(value);
  }
  if (!load) return;
  cell point{};
  emit(ls, parts.count == 3 ? *point3D::make_at(point, xyz[0], xyz[1], xyz[2]) : *point2D::make_at(point, xyz[0], xyz[1]));
}

// Digits with `'` as a count of at most 15 digits.
bool read_count(const uint8_t* in, uint32_t& p, uint32_t end, bool quotes, double& value) {
  uint64_t n = 0;
  uint32_t digits = 0;
  for (; p < end; ++p) {
    if (quotes && in[p] == '\'') continue;
    if (!is_digit(in[p])) break;
    if (++digits > 15) return false;
    n = n * 10 + (in[p] - '0');
  }
  value = static_cast<double>(n);
  return digits > 0;
}

// [sign] hours `:` minutes [`:` seconds], or minutes `:` seconds with a fraction; no part
// has an upper bound. The value is in seconds.
void load_time(lexer_state& ls, uint32_t start, uint32_t end, uint32_t, bool load) {
  const uint8_t* in = ls.input;
  auto invalid = [&] { syntax_error(ls, start, end, type::time); };
  uint32_t p = start;
  bool negative = false;
  if (in[p] == '+' || in[p] == '-') negative = in[p++] == '-';
  double first, second, hours, minutes, seconds = 0;
  if (!read_count(in, p, end, true, first) || p >= end || in[p] != ':') invalid();
  uint32_t second_start = ++p;
  if (!read_count(in, p, end, false, second)) invalid();
  hours = first;
  minutes = second;
  if (p < end) {
    uint32_t seconds_start = p + 1;
    if (in[p] == '.' || in[p] == ',') {  // the first number was the minutes
      hours = 0;
      minutes = first;
      seconds_start = second_start;
    } else if (in[p] != ':' || seconds_start >= end) {
      invalid();
    }
    const uint8_t* text = in + seconds_start;
    uint32_t length = end - seconds_start;
    for (uint32_t i = 0; i < length; ++i)
      if ((text[i] | 0x20) == 'e' || text[i] == ':' || text[i] == '+' || text[i] == '-') invalid();
    if (!read_decimal(text, length, 0, seconds)) invalid();
  }
  double value = hours * 3600 + minutes * 60 + seconds;
  cell time{};
  if (load) emit(ls, *time::make_at(time, negative ? -value : value));
}

// ---- Dates ----------------------------------------------------------------------------------

// A reader over a date token; every rule broken is an invalid date!.
struct date_reader {
  lexer_state& ls;
  uint32_t start, end, p;

  [[noreturn]] void invalid() const { syntax_error(ls, start, end, type::date); }
  uint8_t peek() const { return p < end ? ls.input[p] : 0; }
  bool at_digit() const { return p < end && is_digit(ls.input[p]); }
  bool accept(uint8_t c) {
    if (peek() != c) return false;
    ++p;
    return true;
  }
  void expect(uint8_t c) {
    if (!accept(c)) invalid();
  }
  // Up to `most` digits, at least one; the count read goes to `digits`.
  int32_t number(uint32_t most, uint32_t& digits) {
    int32_t value = 0;
    digits = 0;
    while (digits < most && at_digit()) {
      value = value * 10 + (ls.input[p++] - '0');
      ++digits;
    }
    if (digits == 0) invalid();
    return value;
  }
  int32_t exactly(uint32_t count) {
    uint32_t digits;
    int32_t value = number(count, digits);
    if (digits != count) invalid();
    return value;
  }
  // A month name of 3 to 9 letters, matched in any case with the start of a full name.
  uint32_t month_name() {
    uint32_t from = p;
    while (p < end && ((ls.input[p] | 0x20) >= 'a' && (ls.input[p] | 0x20) <= 'z')) ++p;
    uint32_t length = p - from;
    if (length < 3 || length > 9) invalid();
    for (uint32_t m = 0; m < 12; ++m) {
      const char* name = date::english_months[m];
      uint32_t i = 0;
      while (i < length && name[i] && (ls.input[from + i] | 0x20) == (name[i] | 0x20)) ++i;
      if (i == length) return m + 1;
    }
    invalid();
  }
};

struct date_fields {
  int32_t year = 0, month = 1, day = 1, zone_minutes = 0;
  double time = 0.0;  // local seconds
  bool has_time = false;
};

// Seconds: digits with an optional fraction after `.` or `,`.
double read_seconds(date_reader& r) {
  uint32_t from = r.p;
  while (r.at_digit()) ++r.p;
  if (r.p == from) r.invalid();
  if (r.peek() == '.' || r.peek() == ',') {
    ++r.p;
    uint32_t fraction = r.p;
    while (r.at_digit()) ++r.p;
    if (r.p == fraction) r.invalid();
  }
  double seconds;
  if (!read_decimal(r.ls.input + from, r.p - from, 0, seconds)) r.invalid();
  return seconds;
}

// `Z`, or a sign, zone hours and minutes (hh:mm, hhmm or h).
void read_zone(date_reader& r, date_fields& f) {
  if (r.accept('Z') || r.accept('z')) return;
  uint8_t sign = r.peek();
  if (sign != '+' && sign != '-') return;
  ++r.p;
  uint32_t digits;
  int32_t hours = r.number(2, digits), minutes = 0;
  if (hours > 15) r.invalid();
  if (r.accept(':') || r.at_digit()) minutes = r.exactly(2);
  if (minutes > 59) r.invalid();
  int32_t magnitude = hours * 60 + minutes;
  f.zone_minutes = sign == '-' ? -magnitude : magnitude;
}

// hours:minutes[:seconds] with a zone, or the compact hhmm[ss] of the compact form.
void read_time(date_reader& r, date_fields& f, bool compact) {
  uint32_t digits;
  double hours, minutes, seconds = 0.0;
  if (compact) {
    hours = r.exactly(2);
    minutes = r.exactly(2);
    if (r.at_digit()) seconds = read_seconds(r);
  } else {
    hours = r.number(2, digits);
    r.expect(':');
    minutes = r.exactly(2);
    if (r.accept(':')) seconds = read_seconds(r);
  }
  if (hours > 23 || minutes > 59 || !(seconds < 60.0)) r.invalid();
  f.time = hours * 3600.0 + minutes * 60.0 + seconds;
  f.has_time = true;
  read_zone(r, f);
}

bool time_start_p(uint8_t c) { return c == '/' || c == 'T' || c == 't'; }

uint32_t month_length(int32_t year, int32_t month) {
  constexpr uint8_t lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && date::leap_year_p(year) ? 29 : lengths[month - 1];
}

// Year, month, day: day first or year first, the month by number or by name.
void read_calendar_date(date_reader& r, date_fields& f, int32_t first, uint32_t first_digits, bool first_negative) {
  uint8_t sep = r.peek();
  if (sep != '-' && sep != '/') r.invalid();
  ++r.p;
  uint32_t digits;
  if (r.at_digit())
    f.month = r.number(2, digits);
  else
    f.month = static_cast<int32_t>(r.month_name());
  r.expect(sep);
  bool last_negative = r.accept('-');
  uint32_t last_digits;
  int32_t last = r.number(4, last_digits);
  if (last_negative) last = -last;
  if (first_negative) first = -first;
  uint32_t year_digits = last_digits;
  if (first > 99 && last >= 0 && last <= 31) {
    f.year = first;
    f.day = last;
    year_digits = first_digits;
  } else {
    f.day = first;
    f.year = last;
  }
  if (year_digits <= 2 && f.year >= 0) f.year += f.year <= 49 ? 2000 : 1900;
}

// The date of an ISO week (yyyy-Www[-d]) or of a day of the year (yyyy-ddd).
void move_date(cell& value, int32_t week, int32_t weekday, int32_t yearday) {
  if (yearday) {
    date::set_yearday(value, yearday);
    return;
  }
  date::set_isoweek(value, week);
  date::set_weekday(value, weekday);
}

// `-` and exactly three digits, then the end or a time.
bool ordinal_p(const uint8_t* in, uint32_t p, uint32_t end) {
  if (p + 4 > end || in[p] != '-') return false;
  for (uint32_t i = 1; i <= 3; ++i)
    if (!is_digit(in[p + i])) return false;
  return p + 4 == end || in[p + 4] == 'T' || in[p + 4] == 't';
}

void load_date(lexer_state& ls, uint32_t start, uint32_t end, uint32_t, bool load) {
  date_reader r{ls, start, end, start};
  date_fields f;
  int32_t week = 0, weekday = 1, yearday = 0;
  bool negative = r.accept('-');
  uint32_t first_digits;
  int32_t first = r.number(4, first_digits);
  const uint8_t* in = ls.input;
  if (r.at_digit()) {
    if (first_digits != 4) r.invalid();
    f.year = negative ? -first : first;
    f.month = r.exactly(2);
    f.day = r.exactly(2);
    if (!r.accept('T') && !r.accept('t')) r.invalid();
    read_time(r, f, true);
  } else if (first_digits == 4 && r.peek() == '-' && r.p + 1 < end && (in[r.p + 1] | 0x20) == 'w') {
    r.p += 2;
    f.year = negative ? -first : first;
    week = r.exactly(2);
    if (week < 1 || week > 53) r.invalid();
    if (r.accept('-')) {
      weekday = r.exactly(1);
      if (weekday < 1 || weekday > 7) r.invalid();
    }
    if (r.accept('T') || r.accept('t')) read_time(r, f, false);
  } else if (ordinal_p(in, r.p, end)) {
    ++r.p;
    f.year = negative ? -first : first;
    yearday = r.exactly(3);
    if (yearday < 1 || yearday > (date::leap_year_p(f.year) ? 366 : 365)) r.invalid();
    if (r.accept('T') || r.accept('t')) read_time(r, f, false);
  } else {
    read_calendar_date(r, f, first, first_digits, negative);
    if (r.p < end && time_start_p(in[r.p])) {
      ++r.p;
      read_time(r, f, false);
    }
  }
  if (r.p != end) r.invalid();
  if (f.day < 1 || f.month < 1 || f.month > 12 || f.year < -9999 || f.year > 9999) r.invalid();
  if (static_cast<uint32_t>(f.day) > month_length(f.year, f.month)) r.invalid();
  if (!load) return;
  cell value;
  date::make_at(value, f.year, static_cast<uint32_t>(f.month), static_cast<uint32_t>(f.day), f.time, f.zone_minutes,
                f.has_time);
  if (week || yearday) move_date(value, week, weekday, yearday);
  emit(ls, value);
}

// Optional sign, none or three letters of currency, `$`, then digits: `'` only between two
// integer digits, at most 17 integer digits once leading zeros are left out, and after a `.`
// one to five digits.
void load_money(lexer_state& ls, uint32_t start, uint32_t end, uint32_t, bool load) {
  const uint8_t* in = ls.input;
  auto invalid = [&] { syntax_error(ls, start, end, type::money); };
  uint32_t p = start;
  bool negative = false;
  if (in[p] == '+' || in[p] == '-') negative = in[p++] == '-';
  uint32_t letters = p;
  while (p < end && in[p] != '$') ++p;
  if (p >= end || (p - letters != 0 && p - letters != 3)) invalid();
  char currency[4] = {};
  for (uint32_t i = 0; i < p - letters; ++i) {
    if (!tokenizer::ascii_letter_p(in[letters + i])) invalid();
    currency[i] = static_cast<char>(in[letters + i]);
  }
  uint32_t first = ++p;
  if (p >= end || !is_digit(in[p])) invalid();
  uint32_t digits = 0, point = 0;
  bool leading = true;
  for (; p < end && in[p] != '.'; ++p) {
    if (in[p] == '\'') {
      if (p + 1 >= end || !is_digit(in[p + 1]) || in[p - 1] == '\'') invalid();
      continue;
    }
    if (!is_digit(in[p])) invalid();
    leading = leading && in[p] == '0';
    if (!leading) ++digits;
  }
  if (digits > money::integer_digits) invalid();
  if (p < end) {
    point = p++;
    if (p >= end || end - p > static_cast<uint32_t>(money::fraction_digits)) invalid();
    for (; p < end; ++p)
      if (!is_digit(in[p])) invalid();
  }
  cell value;
  if (!money::from_string(value, negative, currency[0] ? tokenizer::uppercase_ascii(currency) : nullptr, in + first,
                          point ? in + point : nullptr, in + end))
    invalid();
  if (load) emit(ls, value);
}

// ---- Binary ---------------------------------------------------------------------------------

int hex_value(uint8_t c) {
  if (is_digit(c)) return c - '0';
  uint8_t lower = c | 0x20;
  if (lower >= 'a' && lower <= 'f') return lower - 'a' + 10;
  return -1;
}

int base64_value(uint8_t c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (is_digit(c)) return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Steps over blanks and `;` comments (and, in base 64, backspace, form feed and `'`).
uint32_t skip_filler(const uint8_t* in, uint32_t p, uint32_t end, bool base64) {
  while (p < end) {
    uint8_t c = in[p];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || (base64 && (c == 8 || c == 12 || c == '\''))) {
      ++p;
    } else if (c == ';') {
      while (p < end && in[p] != '\n') ++p;
    } else {
      break;
    }
  }
  return p;
}

// Decodes [p, end) in the base into `out` (null: only checks); answers the bytes, or -1.
int64_t decode_base(const uint8_t* in, uint32_t p, uint32_t end, uint32_t base, uint8_t* out) {
  int64_t count = 0;
  if (base == 16) {
    for (;;) {
      p = skip_filler(in, p, end, false);
      if (p >= end) return count;
      int high = hex_value(in[p]);
      p = skip_filler(in, p + 1, end, false);
      if (high < 0 || p >= end) return -1;
      int low = hex_value(in[p++]);
      if (low < 0) return -1;
      if (out) out[count] = static_cast<uint8_t>(high << 4 | low);
      ++count;
    }
  }
  if (base == 2) {
    uint32_t bits = 0, value = 0;
    for (;;) {
      p = skip_filler(in, p, end, false);
      if (p >= end) return bits == 0 ? count : -1;
      if (in[p] != '0' && in[p] != '1') return -1;
      value = value << 1 | (in[p++] - '0');
      if (++bits == 8) {
        if (out) out[count] = static_cast<uint8_t>(value);
        ++count;
        bits = value = 0;
      }
    }
  }
  uint32_t group = 0, taken = 0;
  for (;;) {
    p = skip_filler(in, p, end, true);
    if (p >= end) return taken == 0 ? count : -1;
    if (in[p] == '=') {  // padding after two or three characters ends the decoding
      if (taken < 2) return -1;
      uint32_t bytes = taken - 1;
      group <<= 6 * (4 - taken);
      for (uint32_t i = 0; i < bytes; ++i) {
        if (out) out[count] = static_cast<uint8_t>(group >> (16 - 8 * i));
        ++count;
      }
      return count;
    }
    int digit = base64_value(in[p++]);
    if (digit < 0) return -1;
    group = group << 6 | static_cast<uint32_t>(digit);
    if (++taken == 4) {
      for (uint32_t i = 0; i < 3; ++i) {
        if (out) out[count] = static_cast<uint8_t>(group >> (16 - 8 * i));
        ++count;
      }
      group = taken = 0;
    }
  }
}

// [base] `#{` digits `}`: the token ends before the `}`.
void load_binary(lexer_state& ls, uint32_t start, uint32_t end, uint32_t flags, bool load) {
  check_binary(ls, start, end, flags, load);
  const uint8_t* in = ls.input;
  uint32_t sharp = start, base = 0;
  while (in[sharp] != '#') {
    base = base < 1000 ? base * 10 + (in[sharp] - '0') : base;
    ++sharp;
  }
  if (sharp == start) base = 16;
  if (base != 2 && base != 16 && base != 64) syntax_error(ls, start, end, type::binary);
  uint32_t first = sharp + 2;
  uint32_t n = end - first;
  if (!load) {
    if (decode_base(in, first, end, base, nullptr) < 0) syntax_error(ls, start, end, type::binary);
    return;
  }
  uint32_t capacity = base == 16 ? n / 2 : base == 2 ? n / 8 : (n + 3) * 3 / 4;
  cell bytes;
  binary::make_at(bytes, capacity);
  series_buffer* buffer = buffer_of(binary::node_of(bytes));
  int64_t count = decode_base(in, first, end, base, buffer->head());
  if (count < 0) syntax_error(ls, start, end, type::binary);
  buffer->tail = buffer->offset + static_cast<uint32_t>(count);
  emit(ls, bytes);
}

// ---- Series and constructions ---------------------------------------------------------------

void close_series_value(lexer_state& ls, uint32_t marker, int32_t type) {
  if (type == type::map) {
    for (uint32_t key = marker + 1; key < ls.tail; key += 2)
      if (!map::valid_key_type_p(static_cast<uint8_t>(output_base[key].header))) {
        syntax_error(ls, from_open_series, ls.token_end, type::map);
      }
  }
  cell series = cells_to_block(marker + 1, ls.tail - marker - 1, static_cast<uint8_t>(type));
  if (type == type::map) map::make_at(series, series.payload2, ls.tail - marker - 1);
  out_cell& c = output_base[marker];
  c = {(c.header & ~cell_flag::type_mask) | series.header, series.payload1, series.payload2, series.payload3};
}

void construct_cell(lexer_state& ls, construct_value kind, int32_t datatype) {
  cell value{unset_header, 0, 0, 0};
  switch (kind) {
    case construct_value::datatype: datatype::make_at(value, static_cast<uint8_t>(datatype)); break;
    case construct_value::truth: value = logic::value_of(true); break;
    case construct_value::falsehood: value = logic::value_of(false); break;
    case construct_value::none: value = none::value; break;
    case construct_value::unset: break;
  }
  emit(ls, value);
}

// The loaders of the value tokens, terminal 79 (string) to 101 (ref) in order.
constexpr token_fn value_loaders[] = {
    load_string, load_word,  load_word,     load_integer, load_refinement, load_char, load_file,  load_binary,
    load_percent, load_float, load_float_special, load_tuple, load_date, load_pair, load_point, load_time,
    load_money,  load_tag,   load_url,      load_email,   load_hex,        load_rawstring, load_ref,
};
static_assert(std::size(value_loaders) == terminal::last - terminal::string + 1);

// ---- Syntax errors --------------------------------------------------------------------------

// Bytes as a string!: whole UTF-8 characters, and a byte that starts none as its own code.
cell text_of_bytes(const uint8_t* bytes, uint32_t length) {
  cell text;
  string::make_at(text, length ? length : 1, 1);
  for (uint32_t p = 0; p < length;) {
    uint32_t cp = bytes[p], n = 1;
    if (cp >= 0x80 && !(n = decode_utf8(bytes + p, bytes + length, &cp))) {
      cp = bytes[p];
      n = 1;
    }
    string::append_char(buffer_of(text.payload2), cp);
    p += n;
  }
  return text;
}

}  // namespace

namespace {

// A new series of `type` (block layout) whose `count` cells are yet to be written.
cell block_of_count(uint32_t count, uint8_t type) {
  cell series;
  block::make_at(series, static_cast<int32_t>(count));
  block::set_tail_at(series, count);
  set_type(series, type);
  return series;
}

}  // namespace

cell cells_to_block(uint32_t first, uint32_t count, uint8_t type) {
  cell series = block_of_count(count, type);
  if (count) std::memcpy(block::ts_abs_at(series, 0), output_base + first, size_t{count} * sizeof(cell));
  return series;
}

cell take_run_cells(lexer_state& ls, uint8_t type) {
  const uint32_t first = ls.head, count = ls.tail - ls.head;
  cell series = block_of_count(count, type);
  // Copied from the end in steps, the output buffer giving back what each step has copied, so
  // that the cells of a large source are never held twice. Nothing here allocates a series, so
  // the block stays where it is.
  constexpr uint32_t step = 1u << 18;
  cell* target = count ? block::ts_abs_at(series, 0) : nullptr;
  for (uint32_t left = count; left > 0;) {
    const uint32_t taken = std::min(left, step);
    left -= taken;
    std::memcpy(target + left, output_base + first + left, size_t{taken} * sizeof(cell));
    trim_output(first + left);
  }
  ls.tail = first;
  return series;
}

void append_cells(cell& target, uint32_t first, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) block::append_cell(target, *reinterpret_cast<const cell*>(output_base + first + i));
}

void fire_syntax_error(const syntax_error_record& record) {
  cell line = text_of_bytes(reinterpret_cast<const uint8_t*>(record.line_text), std::strlen(record.line_text));
  cell quote = text_of_bytes(record.quote, record.quote_length);
  switch (record.id) {
    case error_id::syntax_invalid: {
      cell name = datatype::type_name_table[record.datatype & 0xFF].word;
      if (name.type() != TYPE_WORD) name = none::value;
      fire(record.id, line, name, quote);
    }
    case error_id::syntax_missing: fire(record.id, line, char_::value_of(record.missing), quote);
    default: fire(record.id, line, quote);
  }
}

void load_first_value(const cell& text, cell& first) {
  series_buffer* buffer = buffer_of(text.payload2);
  uint32_t unit = buffer->unit(), count = buffer->count();
  uint32_t head = text.payload1 < count ? text.payload1 : count;
  source_text source(buffer->head() + head * unit, count - head, unit);
  run_options options;
  options.one_value = true;
  run_result scanned;
  {
    run check(source.data(), source.size(), options);
    scanned = check.execute();
  }
  if (scanned.type == 0) {
    first = cell{unset_header, 0, 0, 0};
    return;
  }
  if (scanned.type == type::error || !scanned.complete) {
    first = none::value;
    return;
  }
  run_options rest;
  rest.scan = false;
  if (transcode(source.data() + scanned.position, source.size() - scanned.position, rest).type != 0) {
    first = none::value;
    return;
  }
  options.load = true;
  run loaded(source.data(), source.size(), options);
  loaded.execute();
  first = loaded.cell_count() ? *reinterpret_cast<const cell*>(loaded.cells()) : cell{unset_header, 0, 0, 0};
}

void load_block(const cell& text, cell& result) {
  uint32_t count = buffer_of(text.payload2)->count();
  uint32_t head = text.payload1 < count ? text.payload1 : count;
  series_buffer* buffer = buffer_of(text.payload2);
  source_text source(buffer->head() + head * buffer->unit(), count - head, buffer->unit());
  run_options options;
  options.load = true;
  run r(source.data(), source.size(), options);
  r.execute();
  result = cells_to_block(r.state().head, r.cell_count(), TYPE_BLOCK);
}

namespace {
cell read_money(const cell& text) {
  series_buffer* buffer = buffer_of(text.payload2);
  uint32_t count = buffer->count();
  uint32_t head = text.payload1 < count ? text.payload1 : count;
  int32_t error = 0;
  cell value = tokenizer::string_to_money(buffer->head() + head * buffer->unit(), static_cast<int32_t>(count - head),
                                          static_cast<int32_t>(buffer->unit()), &error);
  return error ? cell{unset_header, 0, 0, 0} : value;
}
}  // namespace

void install_loaders() {
  for (uint32_t i = 0; i < std::size(value_loaders); ++i)
    hooks.loaders[terminal::string - lex_first_terminal + i] = value_loaders[i];
  hooks.close_series = close_series_value;
  hooks.construct = construct_cell;
  handoff::string_to_integer = tokenizer::string_to_integer;
  handoff::string_to_float = tokenizer::string_to_float;
  handoff::string_to_money = read_money;
  tokenizer::money_from_string = money::from_string;
  handoff::transcode_first = load_first_value;
  word::set_text_scanner(load_first_value);
  block::set_text_loader(load_block);
}

}  // namespace tav::lexer
