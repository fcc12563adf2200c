// time!: a signed duration or time of day held as seconds in a double, made from hours,
// minutes and seconds, written h:mm:ss, read and set by field.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace tav::time {

inline constexpr double seconds_per_hour = 3600.0;
inline constexpr double seconds_per_minute = 60.0;

// time! cell: the float! layout, seconds in payloads 2 (low half) and 3 (high half).
cell* push(double seconds);
cell* make_at(cell& target, double seconds);  // the type byte set, flags kept
cell* make_in(cell& block, uint32_t high, uint32_t low);
// Whole hours toward zero; whole minutes within the hour of the magnitude.
int32_t get_hours(double seconds);
int32_t get_minutes(double seconds);
// The seconds with one field (1 hours, 2 minutes, 3 seconds) replaced, the others kept.
double with_field(double s, int32_t field, double v);
// 1, 2, 3 for hour, minute, second in any letter case. Another word raises script/cannot-use
// when `value` is a time!, else answers -1.
int32_t get_named_index(const cell& word, const cell& value);
// Pushes field 1 hours or 2 minutes as integer!, 3 the seconds within the minute as float!.
cell* get_field(const cell& value, int32_t index);
// Writes h:mm:ss (with a "-" before a negative time) and answers the budget left.
int32_t form_text(double seconds, cell& buffer, int32_t part);
[[gnu::cold, noreturn]] void fire_bad_make(const cell& spec);

cell* make(cell* prototype, cell* spec, int32_t type);
int32_t form(cell* value, cell* buffer, cell* part, int32_t limit);
int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent);
cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell* container, cell* previous, int32_t index,
                bool case_sensitive, bool get, bool last, bool store_back);
cell* add();
cell* divide();
cell* multiply();
cell* round(cell* n, cell* scale, bool even, bool down, bool half_down, bool floor, bool ceiling, bool half_ceiling);
cell* subtract();
bool even_p(cell* number);
bool odd_p(cell* number);
cell* pick(cell* series, int32_t index, cell* index_cell);
// Inherits from float!, which must be registered first.
void init();

}  // namespace tav::time
