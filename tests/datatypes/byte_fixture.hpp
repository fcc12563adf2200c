// Test fixture of the binary and bitset tests: the object fixture (runtime words, owners,
// blocks, integers and words) with makers of the other values those tests feed in.
#pragma once
#include <initializer_list>
#include <string>
#include <string_view>

#include "datatypes/base_n.hpp"
#include "datatypes/binary.hpp"
#include "datatypes/bitset.hpp"
#include "datatypes/tuple.hpp"
#include "object_fixture.hpp"
#include "runtime/string_cell.hpp"

namespace tav::testing {

using byte_values = object_values;

inline const uint8_t* raw(std::string_view bytes) { return reinterpret_cast<const uint8_t*>(bytes.data()); }

// Bytes written as hexadecimal digits, and back.
inline std::string unhex(std::string_view digits) {
  std::string bytes;
  for (size_t k = 0; k + 1 < digits.size(); k += 2)
    bytes.push_back(static_cast<char>(binary::hex_digit_value(static_cast<uint8_t>(digits[k])) * 16 +
                                      binary::hex_digit_value(static_cast<uint8_t>(digits[k + 1]))));
  return bytes;
}
inline std::string hex(std::string_view bytes) {
  std::string digits;
  for (char byte : bytes) {
    digits.push_back(binary::hex_digits[static_cast<uint8_t>(byte) >> 4]);
    digits.push_back(binary::hex_digits[static_cast<uint8_t>(byte) & 15]);
  }
  return digits;
}

// A binary! holding the bytes, with its head at `head`.
inline cell bin(std::string_view bytes, int32_t head = 0) {
  cell value = *binary::load(raw(bytes), bytes.size());
  value.payload1 = static_cast<uint32_t>(head);
  return value;
}

// The bytes from the head to the tail.
inline std::string bytes_of(const cell& value) {
  return std::string(reinterpret_cast<const char*>(binary::ts_head(value)), binary::ts_length_p(value));
}

inline cell bin_hex(std::string_view digits, int32_t head = 0) { return bin(unhex(digits), head); }
inline std::string hex_of(const cell& value) { return hex(bytes_of(value)); }

// A string! of the UTF-8 text (Latin-1 units where they suffice).
inline cell str(std::string_view utf8, int32_t head = 0) {
  return string_cell::make(unicode::load_utf8_new(raw(utf8), utf8.size()), static_cast<uint32_t>(head));
}

inline cell character(uint32_t cp) { return cell{TYPE_CHAR, 0, cp, 0}; }
inline cell number(double x) { return scalar::float_cell(x); }
inline cell none_value() { return none::value; }
inline cell logic_value(bool flag) { return logic::value_of(flag); }

// A tuple! of three to twelve bytes.
inline cell tuple_of(std::initializer_list<uint8_t> bytes) {
  cell value;
  tuple::make_at(value, static_cast<uint32_t>(bytes.size()), std::data(bytes));
  return value;
}

}  // namespace tav::testing
