// Output natives: print and prin over the one print routine and its re-entrant print buffer,
// and stats over the memory statistics.
#include "datatypes/actions.hpp"
#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/text_output.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/interpreter.hpp"
#include "interpreter/library_calls.hpp"
#include "interpreter/natives.hpp"
#include "interpreter/natives_reduce.hpp"
#include "interpreter/stack.hpp"
#include "runtime/errors.hpp"
#include "runtime/memory.hpp"
#include "runtime/memory_stats.hpp"
#include "runtime/output_hooks.hpp"

namespace tav::natives {

int32_t last_lf_flag = 0;

namespace {

constexpr uint32_t index_prin = 24, index_stats = 37;

// A string! from its head, the head pulled back to the tail when it lies beyond; any other
// value formed into a new string. The text is left pushed, where the collector sees it.
const cell& text_of(const cell& value) {
  cell* text = stack::push_copy(value);
  if (value.type() == TYPE_STRING) {
    uint32_t length = buffer_of(value.payload2)->count();
    if (text->payload1 > length) text->payload1 = length;
    return *text;
  }
  text::make_at(*text, 64);
  cell copy = value;
  actions::form(&copy, text, nullptr, INT32_MAX);
  return *text;
}

// A block's values are reduced behind what the print buffer holds from its head on, its head
// moved to the tail meanwhile, so that a print reached while reducing works behind them. Whatever
// way the print ends, the buffer is cut back to where this print began and its head put back.
class print_buffer_claim {
 public:
  print_buffer_claim() : head_(print_buffer.payload1) {
    print_buffer.payload1 = buffer_of(print_buffer.payload2)->count();
  }
  ~print_buffer_claim() {
    block::ts_clear(print_buffer);
    print_buffer.payload1 = head_;
  }
  print_buffer_claim(const print_buffer_claim&) = delete;
  print_buffer_claim& operator=(const print_buffer_claim&) = delete;

  // The buffer from where this print began: exactly its new values.
  static cell values() { return print_buffer; }

 private:
  uint32_t head_;
};

void print_text(const cell& value, bool newline) { output_hooks::print_value(text_of(value), newline); }

void print_routine(bool newline) {
  cell* base = stack::top;
  const cell value = *stack::argument(0);
  if (value.type() == TYPE_BLOCK) {
    print_buffer_claim claim;
    cell* out = stack::push_copy(print_buffer);
    reduce_into(value, *out);
    if (stack::pending.code) {
      stack::top = base;
      return;
    }
    print_text(print_buffer_claim::values(), newline);
  } else {
    print_text(value, newline);
  }
  stack::top = base;
  last_lf_flag = newline ? 1 : 0;
  stack::set_last_keep(unset::value);
}

}  // namespace

// print value
void print_stack(const int32_t*) { print_routine(true); }

// prin value
void prin_stack(const int32_t* parameters) {
  check_arguments(index_prin, parameters);
  print_routine(false);
}

// stats /show /info
void stats_stack(const int32_t* parameters) {
  check_arguments(index_stats, parameters);
  const bool show = parameters[1] >= 0, info = parameters[2] >= 0;
  if (!show && !info) {
    double bytes = memory_stats(0, 1);
    stack::set_last_keep(bytes > 2147483647.0 ? scalar::float_cell(bytes) : scalar::integer(static_cast<int32_t>(bytes)));
    return;
  }
  cell* base = stack::top;
  cell* data = block::push_only(5);
  memory_stats(data->payload2, 2);
  if (!show) {
    stack::set_last_keep(*data);
    return;
  }
  const cell statistics = *data;
  interpreter::library::call(interpreter::library::entry::show_memory_stats, &statistics, 1);
  stack::top = base;
  stack::set_last_keep(unset::value);
}

}  // namespace tav::natives
