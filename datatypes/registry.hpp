// Datatype registry: the type-name table, the action table with one row of handlers per
// type id, and the registration through which every datatype module installs its row.
#pragma once
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "datatypes/action_list.hpp"
#include "datatypes/types.hpp"
#include "runtime/cell.hpp"

namespace tav {

// The two entries of a registration that are not handlers of the type's own.
struct inherit_t {};
struct unsupported_t {};
inline constexpr inherit_t inherit{};          // take the parent's handler as it is now
inline constexpr unsupported_t unsupported{};  // the type does not support the action

namespace datatype {

// One word of a registration buffer: a type id, a name pointer, or a handler entry
// (a handler pointer, 0 unsupported, -1 inherit).
using registration_word = intptr_t;
inline constexpr registration_word inherit_entry = -1;
inline constexpr uint32_t registration_header = 3;  // type id, parent id, name
inline constexpr uint32_t registration_words = registration_header + action_count;

// Row of the action table: slot k (1-based) of type t is at t * row_stride + k - 1.
inline constexpr uint32_t row_stride = 256;

struct type_name_entry {
  const char* name;  // with its "!"
  uint32_t length;   // without the "!"
  cell word;         // the global word of the name (with its "!"), unset until words exist
};

extern type_name_entry type_name_table[type_table_size];
extern erased_handler action_table[type_table_size * row_stride];
extern uint32_t max_type_id;

struct action_row {
  registration_word entries[action_count];
};

namespace detail {
template <uint32_t Slot, class Entry>
registration_word row_entry(Entry entry) {
  if constexpr (std::is_same_v<Entry, inherit_t>) {
    return inherit_entry;
  } else if constexpr (std::is_same_v<Entry, unsupported_t>) {
    return 0;
  } else {
    static_assert(std::is_same_v<Entry, handler_pointer<static_cast<action_slot>(Slot)>>,
                  "a handler's signature must be the one of its action slot");
    return reinterpret_cast<registration_word>(entry);
  }
}
}  // namespace detail

// The 62 entries of a registration, in slot order: a handler of the slot's signature,
// `inherit` or `unsupported`. Anything else, or any other count, does not compile.
template <class... Entry>
action_row actions_row(Entry... entries) {
  static_assert(sizeof...(Entry) == action_count, "a datatype registration hands exactly 62 action entries");
  return [&]<std::size_t... I>(std::index_sequence<I...>) {
    return action_row{{detail::row_entry<static_cast<uint32_t>(I + 1)>(entries)...}};
  }(std::make_index_sequence<sizeof...(Entry)>{});
}

// Installs one type from a registration buffer of `word_count` words: type id, parent id,
// name, then the handler entries. A count other than 3 + 62 prints the datatype error and
// ends the process with status 0. Inheritance copies the parent's handler as it is now.
void register_buffer(uint32_t word_count, const registration_word* buffer);
// The same from a checked row; the name and parent come from the type table.
void register_type(uint8_t id, const action_row& row);

// Interns the names of types 1..max_type_id as words (once the symbol table exists; later
// registrations intern their own name).
void make_words();

// Writes a datatype! naming the type into the cell.
void make_at(cell& target, uint8_t id);
cell* push(uint8_t id);
cell* make_in(cell& block, uint8_t id);

// Every datatype module's registration, parents before children.
void register_all();

// event!, the last datatype, belongs to the GUI backend: the backend installs its registration
// here before start-up, which runs it when it defines the GUI layer. Null without a backend.
inline void (*last_type_registration)() = nullptr;

// The datatype! handlers.
int32_t form(cell* value, cell* buffer, cell* part, int32_t limit);
int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent);
int32_t compare(cell* value1, cell* value2, int32_t op);
void init();

}  // namespace datatype

}  // namespace tav
