// Output hooks: the value-printer and raw-text-printer lists and the default printer.
#include "runtime/output_hooks.hpp"

#include <bit>
#include <cstdio>
#include <cstring>

#include "runtime/console_out.hpp"
#include "runtime/heap.hpp"
#include "runtime/memory.hpp"
#include "runtime/tui_hooks.hpp"

namespace tav::output_hooks {

hook_state state{};

namespace {

template <class Printer>
void grow(printer_list<Printer>& list) {
  auto* entries = static_cast<Printer*>(heap_alloc(sizeof(Printer) * (list.capacity + list_step)));
  if (list.count) std::memcpy(entries, list.entries, sizeof(Printer) * list.count);
  heap_free(list.entries);
  list.entries = entries;
  list.capacity += list_step;
}

template <class Printer>
void append(printer_list<Printer>& list, Printer printer) {
  if (!printer) return;
  if (list.count == list.capacity) grow(list);
  list.entries[list.count++] = printer;
}

template <class Printer>
void remove_first(printer_list<Printer>& list, Printer printer) {
  if (!printer) return;
  for (uint32_t i = 0; i < list.count; ++i) {
    if (list.entries[i] != printer) continue;
    std::memmove(list.entries + i, list.entries + i + 1, sizeof(Printer) * (list.count - i - 1));
    --list.count;
    return;
  }
}

}  // namespace

void init() {
  if (state.ready) return;
  grow(state.values);
  grow(state.raws);
  append<value_printer>(state.values, default_printer);
  state.ready = true;
}

void register_(value_printer value, raw_printer raw) {
  append(state.values, value);
  append(state.raws, raw);
}

void unregister(value_printer value, raw_printer raw) {
  remove_first(state.values, value);
  remove_first(state.raws, raw);
}

// Indexes, not a saved pointer: a printer may grow its list, which moves the entries.
void print_value(const cell& value, bool newline) {
  for (uint32_t i = 0; i < state.values.count; ++i) state.values.entries[i](value, newline);
}

void print_raw(const char* text, size_t length, int flag) {
  for (uint32_t i = 0; i < state.raws.count; ++i) state.raws.entries[i](text, length, flag);
}

void default_printer(const cell& value, bool newline) {
  tui::before_print();
  series_buffer* buffer = buffer_of(value.payload2);
  uint32_t unit = buffer->unit();
  if (unit == 1 || unit == 2 || unit == 4) {
    uint64_t start = buffer->offset + (uint64_t{value.payload1} << std::countr_zero(unit));
    if (start > buffer->tail) start = buffer->tail;
    const uint8_t* data = buffer->data() + start;
    size_t length = buffer->tail - start;
    switch (unit) {
      case 1: newline ? print_latin1_line(data, length) : print_latin1(data, length); break;
      case 2: newline ? print_ucs2_line(data, length) : print_ucs2(data, length); break;
      default: newline ? print_ucs4_line(data, length) : print_ucs4(data, length); break;
    }
  } else {
    print_line({print_item::of_text("Error: unknown string encoding: "), print_item::of_integer(static_cast<int32_t>(unit))});
  }
  std::fflush(stdout);
  tui::after_print();
}

}  // namespace tav::output_hooks
