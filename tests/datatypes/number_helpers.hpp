// Test helpers for the number types: values, the arithmetic and conversion actions run as
// calls, and a fixture that puts back every hand-off a test installs.
#pragma once
#include <cstring>
#include <string>

#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/number_handoff.hpp"
#include "runtime/fire_helpers.hpp"
#include "value_fixture.hpp"

namespace tav::testing {

inline cell int_cell(int32_t value) { return scalar::integer(value); }
inline cell float_cell(double value) { return scalar::float_cell(value); }
inline cell percent_cell(double fraction) { return scalar::float_cell(fraction, TYPE_PERCENT); }
inline cell time_cell(double seconds) { return scalar::float_cell(seconds, TYPE_TIME); }
inline cell char_cell(uint32_t cp) { return char_::value_of(cp); }

// A string! holding the code points (so that a wide one widens the whole text).
inline cell text_cell(std::initializer_list<uint32_t> code_points) {
  cell string;
  text::make_at(string, 8);
  for (uint32_t cp : code_points) text::append_char(string, cp);
  return string;
}

inline cell text_cell(const char* ascii) {
  cell string;
  text::make_at(string, 8);
  text::append_c_string(string, ascii);
  return string;
}

inline cell binary_cell(std::initializer_list<uint8_t> bytes, uint32_t head = 0) {
  node_id node = alloc_bytes(static_cast<uint32_t>(bytes.size()));
  uint8_t* place = alloc_tail_bytes(buffer_of(node), static_cast<uint32_t>(bytes.size()));
  if (bytes.size()) std::memcpy(place, bytes.begin(), bytes.size());
  return cell{TYPE_BINARY, head, node, 0};
}

inline cell block_of(std::initializer_list<cell> values) {
  node_id node = alloc_cells(static_cast<uint32_t>(values.size() ? values.size() : 1));
  for (const cell& value : values) *alloc_tail(buffer_of(node)) = value;
  return cell{TYPE_BLOCK, 0, node, 0};
}

// The arithmetic action of an op code (0 add .. 7 xor) on two values; answers the result.
inline cell math(int32_t op, const cell& a, const cell& b) {
  constexpr actions::stack_entry entries[] = {actions::entry::add,       actions::entry::subtract,
                                              actions::entry::multiply,  actions::entry::divide,
                                              actions::entry::remainder, actions::entry::or_,
                                              actions::entry::and_,      actions::entry::xor_};
  return call_entry(entries[op], {a, b});
}

inline cell converted(uint8_t type, const cell& spec) {
  return call_entry(actions::entry::to, {datatype_cell(type), spec});
}

inline cell made(uint8_t type, const cell& spec) {
  return call_entry(actions::entry::make, {datatype_cell(type), spec});
}

// Refinements of round, in the order of the action's flags.
struct round_modes {
  bool even = false, down = false, half_down = false, floor = false, ceiling = false, half_ceiling = false;
};

inline cell rounded(const cell& n, const cell* scale = nullptr, round_modes m = {}) {
  auto flag = [](bool on) { return on ? 0 : -1; };
  std::initializer_list<int32_t> positions = {scale ? 1 : -1, flag(m.even),  flag(m.down),        flag(m.half_down),
                                              flag(m.floor),  flag(m.ceiling), flag(m.half_ceiling)};
  if (scale) return call_entry(actions::entry::round, {n, *scale}, positions);
  return call_entry(actions::entry::round, {n}, positions);
}

// The value's bits and type, for exact comparisons of doubles (NaN, -0.0).
inline bool same_bits(const cell& a, const cell& b) {
  return a.type() == b.type() && a.payload2 == b.payload2 && a.payload3 == b.payload3;
}

// Fresh values, and the hand-offs as they were before the test.
class number_values : public fresh_values {
 protected:
  void SetUp() override {
    fresh_values::SetUp();
    saved_integer_ = handoff::string_to_integer;
    saved_float_ = handoff::string_to_float;
    saved_scanner_ = handoff::transcode_first;
    saved_pair_ = handoff::pair_do_math;
    saved_tuple_ = handoff::tuple_do_math;
    saved_date_ = handoff::date_do_math;
    saved_pretty_ = float_::pretty_print;
  }

  void TearDown() override {
    handoff::string_to_integer = saved_integer_;
    handoff::string_to_float = saved_float_;
    handoff::transcode_first = saved_scanner_;
    handoff::pair_do_math = saved_pair_;
    handoff::tuple_do_math = saved_tuple_;
    handoff::date_do_math = saved_date_;
    float_::pretty_print = saved_pretty_;
    fresh_values::TearDown();
  }

 private:
  handoff::integer_reader saved_integer_;
  handoff::float_reader saved_float_;
  handoff::text_scanner saved_scanner_;
  handoff::do_math saved_pair_, saved_tuple_, saved_date_;
  bool saved_pretty_;
};

}  // namespace tav::testing
