// Tokenizer helpers: integers, decimals and money amounts read from text of any unit size
// with the lexer's number rules, and the decimal number automaton.
#include "interpreter/tokenizer.hpp"

#include <array>
#include <bit>
#include <cstring>

#include "datatypes/number_handoff.hpp"
#include "datatypes/types.hpp"
#include "runtime/float_text.hpp"
#include "runtime/unicode.hpp"

namespace tav::tokenizer {

money_from_string_fn money_from_string = nullptr;

namespace {

// Number classes of the automaton.
enum : uint8_t { digit_class, sign_class, point_class, exponent_class, quote_class, other_class, end_class };
inline constexpr uint32_t class_count = 7;

constexpr std::array<uint8_t, 256> number_classes = [] {
  std::array<uint8_t, 256> classes{};
  classes.fill(other_class);
  for (int c = '0'; c <= '9'; ++c) classes[c] = digit_class;
  classes['+'] = classes['-'] = sign_class;
  classes['.'] = classes[','] = point_class;
  classes['e'] = classes['E'] = exponent_class;
  classes['\''] = quote_class;
  return classes;
}();

// States: 0 start, 1 sign, 2 integer digits, 3 point before any digit, 4 point after digits,
// 5 fraction digits, 6 exponent mark, 7 exponent sign, 8 exponent digits, 9 accepted, 10 reject.
// A `'` may follow any digit of the integer or the fraction.
inline constexpr uint8_t reject = 10;
inline constexpr uint8_t number_states[9][class_count] = {
    //  digit sign point exp quote other end
    {2, 1, 3, reject, reject, reject, reject},       // 0 start
    {2, reject, 3, reject, reject, reject, reject},  // 1 sign
    {2, reject, 4, 6, 2, reject, 9},                 // 2 integer digits
    {5, reject, reject, reject, reject, reject, reject},  // 3 point first
    {5, reject, reject, 6, 5, reject, 9},            // 4 point after digits
    {5, reject, reject, 6, 5, reject, 9},            // 5 fraction digits
    {8, 7, reject, reject, reject, reject, reject},  // 6 exponent mark
    {8, reject, reject, reject, reject, reject, reject},  // 7 exponent sign
    {8, reject, reject, reject, reject, reject, 9},  // 8 exponent digits
};

uint32_t unit_at(const void* start, int32_t index, int32_t unit) {
  return unicode::get_unit(start, static_cast<size_t>(index), static_cast<uint32_t>(unit));
}

// The text as ASCII bytes, `,` made `.`; false when a character is not ASCII.
bool copy_ascii(const void* start, int32_t count, int32_t unit, char* out) {
  for (int32_t i = 0; i < count; ++i) {
    uint32_t c = unit_at(start, i, unit);
    if (c >= 0x80) return false;
    out[i] = c == ',' ? '.' : static_cast<char>(c);
  }
  return true;
}

double quiet_nan() { return std::bit_cast<double>(uint64_t{0x7FF8000000000000}); }

}  // namespace

bool number_syntax_p(const uint8_t* text, uint32_t length) {
  if (length > max_number_length) return false;
  uint32_t state = 0;
  for (uint32_t i = 0; i < length; ++i) {
    state = number_states[state][number_classes[text[i]]];
    if (state == reject) return false;
  }
  return number_states[state][end_class] != reject;
}

int32_t string_to_integer(const void* start, int32_t count, int32_t unit, int32_t* error) {
  *error = 0;
  int32_t i = 0;
  bool negative = false;
  if (count > 0) {
    uint32_t first = unit_at(start, 0, unit);
    if (first == '+' || first == '-') {
      negative = first == '-';
      i = 1;
    }
  }
  uint64_t value = 0;
  bool digits = false;
  for (; i < count; ++i) {
    uint32_t c = unit_at(start, i, unit);
    if (c == '\'') continue;
    if (c < '0' || c > '9') {
      *error = not_a_number;
      return 0;
    }
    digits = true;
    value = value * 10 + (c - '0');
    if (value > 0x80000000u) {
      *error = overflow;
      return 0;
    }
  }
  if (!digits) {
    *error = not_a_number;
    return 0;
  }
  if (value == 0x80000000u) {
    if (negative) return INT32_MIN;
    *error = overflow;
    return 0;
  }
  auto magnitude = static_cast<int32_t>(value);
  return negative ? -magnitude : magnitude;
}

double string_to_float(const void* start, int32_t count, int32_t unit, int32_t* error) {
  *error = not_a_number;
  if (count < 0 || static_cast<uint32_t>(count) > max_number_length) return quiet_nan();
  char short_text[31];
  char long_text[max_number_length];
  char* text = count <= static_cast<int32_t>(sizeof short_text) ? short_text : long_text;
  if (!copy_ascii(start, count, unit, text)) return quiet_nan();
  auto length = static_cast<uint32_t>(count);
  if (!number_syntax_p(reinterpret_cast<const uint8_t*>(text), length)) return quiet_nan();
  uint32_t kept = 0;
  for (uint32_t i = 0; i < length; ++i)
    if (text[i] != '\'') text[kept++] = text[i];
  size_t left = 0;
  double value = strtod(text, text + kept, 0, &left);
  if (left) return quiet_nan();
  *error = 0;
  return value;
}

cell string_to_money(const void* start, int32_t count, int32_t unit, int32_t* error) {
  *error = not_a_number;
  cell unset{unset_header, 0, 0, 0};
  char text[max_number_length + 1];
  if (count <= 0 || static_cast<uint32_t>(count) > max_number_length) return unset;
  for (int32_t i = 0; i < count; ++i) {
    uint32_t c = unit_at(start, i, unit);
    if (c >= 0x80) return unset;
    text[i] = static_cast<char>(c);
  }
  text[count] = 0;
  int32_t p = 0;
  bool negative = false;
  if (text[p] == '+' || text[p] == '-') negative = text[p++] == '-';
  char currency[4] = {};
  bool has_currency = false;
  if (p + 3 <= count && ascii_letter_p(static_cast<uint8_t>(text[p])) &&
      ascii_letter_p(static_cast<uint8_t>(text[p + 1])) && ascii_letter_p(static_cast<uint8_t>(text[p + 2]))) {
    if (count - (p + 3) < 5) return unset;
    std::memcpy(currency, text + p, 3);
    uppercase_ascii(currency);
    has_currency = true;
    p += 3;
  }
  if (p >= count || text[p] != '$') return unset;
  int32_t first = ++p;
  int32_t point = -1;
  bool digits = false;
  for (; p < count; ++p) {
    char c = text[p];
    if (c >= '0' && c <= '9') {
      digits = true;
    } else if ((c == '.' || c == ',') && point < 0) {
      point = p;
    } else if (c != '\'') {
      return unset;
    }
  }
  if (!digits) return unset;
  auto* bytes = reinterpret_cast<const uint8_t*>(text);
  cell money = unset;
  if (!handoff::need(money_from_string)(money, negative, has_currency ? currency : nullptr, bytes + first,
                                        point < 0 ? nullptr : bytes + point, bytes + count))
    return unset;
  *error = 0;
  return money;
}

bool ascii_letter_p(uint32_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

char* uppercase_ascii(char* text) {
  for (char* p = text; *p; ++p)
    if (static_cast<uint8_t>(*p) > 96) *p = static_cast<char>(*p - 32);
  return text;
}

}  // namespace tav::tokenizer
