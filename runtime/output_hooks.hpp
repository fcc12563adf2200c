// Output hooks: the printers that values printed by the language go to, and the listeners
// that get the raw text of every low-level write.
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/cell.hpp"

namespace tav::output_hooks {

using value_printer = void (*)(const cell& value, bool newline);
using raw_printer = void (*)(const char* text, size_t length, int flag);

// A list that grows by `list_step` entries, each growth a new tracked-heap array.
template <class Printer>
struct printer_list {
  Printer* entries;
  uint32_t count;
  uint32_t capacity;
};
inline constexpr uint32_t list_step = 5;

struct hook_state {
  printer_list<value_printer> values;
  printer_list<raw_printer> raws;
  bool ready;  // set by `init`
};
extern hook_state state;

// Makes both lists and registers `default_printer`. Later calls do nothing.
void init();
// Appends each printer that is not null to its list.
void register_(value_printer value, raw_printer raw);
// Removes the first entry of each printer that is not null, keeping the order of the rest.
void unregister(value_printer value, raw_printer raw);

// Call every printer of the list in registration order. A printer may register or
// unregister printers while it runs; those after it in the list see the change.
void print_value(const cell& value, bool newline);
void print_raw(const char* text, size_t length, int flag);

// Writes a string! value (head index in payload 1, node in payload 2) from its head to
// its tail to standard output by its unit width, between the terminal backend's hooks.
void default_printer(const cell& value, bool newline);

}  // namespace tav::output_hooks
