// The error catalog table and `fire`.
#include "runtime/errors.hpp"

#include <array>
#include <cstddef>

#include "runtime/throw.hpp"

namespace tav {
namespace {

constexpr error_entry catalog[] = {
#define TAV_ERROR(category, name, word, message) {error_category::category, word, message},
#include "runtime/error_catalog.inc"
#undef TAV_ERROR
};
static_assert(std::size(catalog) == static_cast<std::size_t>(error_id::count));

constexpr std::array<uint8_t, std::size(catalog)> positions = [] {
  std::array<uint8_t, std::size(catalog)> result{};
  std::array<uint8_t, error_category_count> next{};
  next.fill(2);
  for (std::size_t i = 0; i < std::size(catalog); ++i) result[i] = next[static_cast<std::size_t>(catalog[i].category)]++;
  return result;
}();

constexpr const char* category_words[] = {"throw",  "note",      "syntax",    "script", "math",
                                          "access", "reserved1", "reserved2", "user",   "internal"};
static_assert(std::size(category_words) == error_category_count);

constexpr const char* category_texts[] = {"Throw Error",  "note",           "Syntax Error",    "Script Error",
                                          "Math Error",   "Access Error",   "Reserved1 Error", "Reserved2 Error",
                                          "User Error",   "Internal Error"};
static_assert(std::size(category_texts) == error_category_count);

constexpr cell none_cell{none_type_id, 0, 0, 0};

fire_tracer tracer = nullptr;
value_builder builder = nullptr;
error_raiser raiser = nullptr;

// The arguments may be cells of the previous error, so they are copied out before it is replaced.
[[noreturn]] void raise(error_id id, uint32_t count, const cell* args) {
  cell copies[3] = {none_cell, none_cell, none_cell};
  for (uint32_t i = 0; i < count; ++i) copies[i] = args[i];
  last_fired.id = id;
  last_fired.arg_count = count;
  for (uint32_t i = 0; i < 3; ++i) last_fired.args[i] = copies[i];
  last_fired.near = last_fired.where = last_fired.stack = last_fired.value = none_cell;
  if (tracer) {
    uint32_t saved = thrown_code;
    thrown_code = 0;
    tracer(last_fired);
    thrown_code = saved;
  }
  if (raiser) raiser();
  build_fired_value();
  system_throw(code::error);
}

}  // namespace

fired_error last_fired{error_id::count, 0, {none_cell, none_cell, none_cell}, none_cell, none_cell, none_cell,
                       none_cell};

void set_fire_tracer(fire_tracer hook) { tracer = hook; }

void set_error_raiser(error_raiser hook) { raiser = hook; }

value_builder set_value_builder(value_builder hook) {
  value_builder before = builder;
  builder = hook;
  return before;
}

void build_fired_value() {
  if (builder) builder(last_fired);
}

const error_entry& error_info(error_id id) { return catalog[static_cast<std::size_t>(id)]; }

uint32_t error_position(error_id id) { return positions[static_cast<std::size_t>(id)]; }

uint32_t error_code(error_id id) {
  return static_cast<uint32_t>(error_info(id).category) * 100 + error_position(id) - 2;
}

const char* error_category_word(error_category category) {
  return category_words[static_cast<std::size_t>(category)];
}

const char* error_category_text(error_category category) {
  return category_texts[static_cast<std::size_t>(category)];
}

void fire(error_id id) { raise(id, 0, nullptr); }

void fire(error_id id, const cell& arg1) { raise(id, 1, &arg1); }

void fire(error_id id, const cell& arg1, const cell& arg2) {
  const cell args[] = {arg1, arg2};
  raise(id, 2, args);
}

void fire(error_id id, const cell& arg1, const cell& arg2, const cell& arg3) {
  const cell args[] = {arg1, arg2, arg3};
  raise(id, 3, args);
}

void clear_fired() {
  last_fired =
      fired_error{error_id::count, 0, {none_cell, none_cell, none_cell}, none_cell, none_cell, none_cell, none_cell};
}

}  // namespace tav
