// The simplest values: unset!, none! and logic! with their constructors, the truth tests of
// conditionals, and the readers of the number cells the logic conversions look at.
#pragma once
#include <cstdint>
#include <cstring>

#include "datatypes/types.hpp"
#include "runtime/cell.hpp"

namespace tav {

namespace unset {
// The shared unset cell; never written.
extern cell value;
cell* box();  // into the result slot
cell* push();
cell* make_in(cell& block);

cell* make(cell* prototype, cell* spec, int32_t type);
int32_t form(cell* value, cell* buffer, cell* part, int32_t limit);
int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent);
int32_t compare(cell* value1, cell* value2, int32_t op);
void init();
}  // namespace unset

namespace none {
// The shared none cell; never written.
extern cell value;
cell* box();
cell* push();
cell* make_in(cell& block);

cell* make(cell* prototype, cell* spec, int32_t type);
int32_t form(cell* value, cell* buffer, cell* part, int32_t limit);
int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent);
int32_t compare(cell* value1, cell* value2, int32_t op);
cell* clear(cell* series);
cell* find(cell* series, cell* value, cell* part, bool only, bool case_sensitive, bool same, bool any, cell* with,
           cell* skip, bool last, bool reverse, bool tail, bool match);
int32_t length_p(cell* series);
cell* remove(cell* series, cell* part, cell* key);
cell* select(cell* series, cell* value, cell* part, bool only, bool case_sensitive, bool same, bool any, cell* with,
             cell* skip, bool last, bool reverse);
cell* take(cell* series, cell* part, bool deep, bool last);
void init();
}  // namespace none

namespace logic {
// The shared true and false cells that `to` answers; never written.
extern cell true_value;
extern cell false_value;
inline cell value_of(bool flag) { return cell{TYPE_LOGIC, flag ? 1u : 0u, 0, 0}; }
inline bool get(const cell& value) { return value.payload1 != 0; }
cell* box(bool flag);
cell* push(bool flag);
cell* make_in(cell& block, bool flag);

// False exactly for none and false.
inline bool false_p(const cell& value) {
  return value.type() == TYPE_NONE || (value.type() == TYPE_LOGIC && value.payload1 == 0);
}
// The first argument of the current call; unset! raises script/no-return.
bool true_p();
// The last pushed value (the result slot when nothing was pushed after it); no unset check.
bool top_true_p();
bool top_false_p();
// With `check_unset` an unset! value raises script/no-value with `argument`.
bool cell_true_p(const cell& value, bool check_unset, const cell& argument);

cell* make(cell* prototype, cell* spec, int32_t type);
cell* random(cell* value, bool seed, bool secure, bool only);
cell* to(cell* prototype, cell* spec, int32_t type);
int32_t form(cell* value, cell* buffer, cell* part, int32_t limit);
int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent);
int32_t compare(cell* value1, cell* value2, int32_t op);
cell* and_();
cell* complement(cell* value);
cell* or_();
cell* xor_();
void init();
}  // namespace logic

// Readers and makers of the number cells other modules look into.
namespace scalar {
inline cell integer(int32_t value) { return cell{TYPE_INTEGER, 0, static_cast<uint32_t>(value), 0}; }
inline int32_t integer_value(const cell& value) { return static_cast<int32_t>(value.payload2); }
// float!, percent! and time!: the low half of the double in payload 2, the high half in 3.
inline double float_value(const cell& value) {
  uint64_t bits = (uint64_t{value.payload3} << 32) | value.payload2;
  double result;
  std::memcpy(&result, &bits, sizeof result);
  return result;
}
inline cell float_cell(double value, uint8_t type = TYPE_FLOAT) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return cell{type, 0, static_cast<uint32_t>(bits), static_cast<uint32_t>(bits >> 32)};
}
}  // namespace scalar

}  // namespace tav
