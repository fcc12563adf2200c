// Language errors below the value layer: the catalog as one table, and `fire`, which
// raises an error by its catalog id through the system throw (code 0x7FFFFFFF).
#pragma once
#include <cstdint>

namespace tav {

enum class error_category : uint8_t {
  throw_ = 0, note = 1, syntax = 2, script = 3, math = 4, access = 5,
  reserved1 = 6, reserved2 = 7, user = 8, internal = 9,
};

enum class error_id : uint16_t {
#define TAV_ERROR(category, name, word, message) category##_##name,
#include "runtime/error_catalog.inc"
#undef TAV_ERROR
  count
};

struct error_entry {
  error_category category;
  const char* word;      // the id word, as the language spells it
  const char* message;   // the template, in the language's syntax
};

const error_entry& error_info(error_id id);
// Position of the id in its category object (fields 0 and 1 are `code` and `type`).
uint32_t error_position(error_id id);
// category x 100 + position - 2
uint32_t error_code(error_id id);
const char* error_category_word(error_category category);

// The error most recently raised by `fire`, for the catcher to read.
struct fired_error {
  error_id id;
};
extern fired_error last_fired;

[[noreturn]] void fire(error_id id);

}  // namespace tav
