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
  std::array<uint8_t, 10> next{};
  next.fill(2);
  for (std::size_t i = 0; i < std::size(catalog); ++i) result[i] = next[static_cast<std::size_t>(catalog[i].category)]++;
  return result;
}();

constexpr const char* category_words[] = {"throw",  "note",      "syntax",    "script", "math",
                                          "access", "reserved1", "reserved2", "user",   "internal"};

}  // namespace

fired_error last_fired{error_id::count};

const error_entry& error_info(error_id id) { return catalog[static_cast<std::size_t>(id)]; }

uint32_t error_position(error_id id) { return positions[static_cast<std::size_t>(id)]; }

uint32_t error_code(error_id id) {
  return static_cast<uint32_t>(error_info(id).category) * 100 + error_position(id) - 2;
}

const char* error_category_word(error_category category) {
  return category_words[static_cast<std::size_t>(category)];
}

void fire(error_id id) {
  last_fired = {id};
  system_throw(code::error);
}

}  // namespace tav
