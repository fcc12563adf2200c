// The library's built-in routines: exit with a status, bit shifts by direction, the print
// path's line-feed flag, tuples built from integers, UTF-8 counting, views of the argument and
// call stacks, the tracing switch, the clipboard, raw standard output and the JSON decoder's
// escapes.
#include "library/routines.hpp"

#include <cstdio>
#include <iterator>

#include "boot/definitions.hpp"
#include "datatypes/binary.hpp"
#include "datatypes/block.hpp"
#include "datatypes/function.hpp"
#include "datatypes/tuple.hpp"
#include "datatypes/values.hpp"
#include "interpreter/interpreter.hpp"
#include "interpreter/natives.hpp"
#include "interpreter/stack.hpp"
#include "library/clipboard.hpp"
#include "library/json.hpp"
#include "runtime/collector.hpp"
#include "runtime/console_out.hpp"
#include "runtime/platform.hpp"
#include "runtime/errors.hpp"
#include "runtime/heap.hpp"
#include "runtime/output_hooks.hpp"
#include "runtime/unicode.hpp"

namespace tav::library {
namespace {

int32_t integer_at(const cell* arguments, uint32_t i) { return static_cast<int32_t>(arguments[i].payload2); }

// ---- Exit -----------------------------------------------------------------------------------

// The terminal is given back and what was printed written out first; the status is seen modulo
// 256 as on any exit.
routine::answer quit_return(cell* arguments) {
  const int32_t status = integer_at(arguments, 0);
  platform::restore_terminal();
  console_out::flush();
  std::fflush(stdout);
  std::fflush(stderr);
  heap_free_all();
  platform::end_process(status & 0xFF);
}

// ---- Shifts ---------------------------------------------------------------------------------

// The native `shift` on the routine's two arguments, with /left (1) or /logical (2) present.
routine::answer shift_by(int32_t refinement) {
  const int32_t parameters[3] = {0, refinement == 1 ? 2 : -1, refinement == 2 ? 2 : -1};
  cell* saved = stack::top;
  natives::shift_stack(parameters);
  stack::top = saved;
  return {0, 0};
}

routine::answer shift_right(cell*) { return shift_by(0); }
routine::answer shift_left(cell*) { return shift_by(1); }
routine::answer shift_logical(cell*) { return shift_by(2); }

routine::answer last_lf_p(cell* arguments) {
  arguments[0] = logic::value_of(natives::last_lf_flag != 0);
  return {0, 0};
}

// ---- Tuples ---------------------------------------------------------------------------------

// The first negative argument is the error's; the others are taken modulo 256.
routine::answer make_tuple(cell* arguments, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i)
    if (integer_at(arguments, i) < 0) fire(error_id::script_invalid_arg, arguments[i]);
  uint32_t word = 0;
  for (uint32_t i = 0; i < n; ++i) word |= (static_cast<uint32_t>(integer_at(arguments, i)) & 0xFF) << (8 * i);
  uint8_t bytes[4];
  for (uint32_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(word >> (8 * i));
  cell made;
  tuple::make_at(made, n, bytes);
  arguments[0] = made;
  return {0, 0};
}

routine::answer as_color(cell* arguments) { return make_tuple(arguments, 3); }
routine::answer as_ipv4(cell* arguments) { return make_tuple(arguments, 4); }
routine::answer as_rgba(cell* arguments) { return make_tuple(arguments, 4); }

// ---- UTF-8 ----------------------------------------------------------------------------------

// Both positions are read in `start`'s buffer and kept within its tail: a `pos` of another,
// longer binary cannot make the walk leave the buffer, and one before `start` counts nothing.
routine::answer count_chars(cell* arguments) {
  const cell& start = arguments[0];
  const uint32_t length = binary::ts_length_p(start);
  const int64_t distance = int64_t{binary::head_of(arguments[1])} - binary::head_of(start);
  if (distance <= 0 || length == 0) return {0, 0};
  const uint8_t* from = binary::ts_head(start);
  const uint8_t* to = from + (distance < length ? distance : length);
  return {static_cast<int32_t>(unicode::count_utf8_chars(from, to)), 0};
}

// ---- The stacks -----------------------------------------------------------------------------

// The cells up to and with the routine's own result cell.
routine::answer stack_size_p(cell* arguments) { return {static_cast<int32_t>(stack::index_of(arguments)) + 1, 0}; }

// Cells 1 to n below the routine's own argument, n being what `stack-size?` answered there.
routine::answer pick_stack(cell* arguments) {
  const int32_t index = integer_at(arguments, 0);
  const auto below = static_cast<int32_t>(stack::index_of(arguments));
  arguments[0] = index > 0 && index <= below ? stack::bottom[index - 1] : none::value;
  return {0, 0};
}

// The first argument cell of the call that runs `frame-index?`.
routine::answer frame_index_p(cell*) {
  const stack::call_frame* frame = stack::current_frame();
  return {frame ? static_cast<int32_t>(frame->saved_arguments()) : 0, 0};
}

routine::answer collect_calls(cell* arguments) {
  cell block = arguments[0];
  collector::scoped_root root(&block);
  stack::collect_calls(block);
  arguments[0] = block;
  return {0, 0};
}

routine::answer tracing_p(cell* arguments) {
  arguments[0] = logic::value_of(interpreter::tracing);
  return {0, 0};
}

// ---- Clipboard ------------------------------------------------------------------------------

routine::answer read_clipboard(cell* arguments) {
  clipboard::read(arguments[0]);
  return {0, 0};
}

routine::answer write_clipboard(cell* arguments) { return {clipboard::write(arguments[0]) ? 1 : 0, 0}; }

// Events stop or resume inside a traced evaluation; with no trace in place they stay off.
routine::answer set_tracing(cell* arguments) {
  interpreter::tracing = logic::get(arguments[0]) && interpreter::trace_installed;
  arguments[0] = unset::value;
  return {0, 0};
}

// ---- Standard output ------------------------------------------------------------------------

// Text goes the way `print` writes, so the two keep their order; a binary's bytes go out as
// they are; any other value is formed.
routine::answer write_stdout(cell* arguments) {
  const cell data = arguments[0];
  if (data.type() == TYPE_BINARY) {
    const auto head = static_cast<uint32_t>(binary::head_of(data));
    for (uint32_t i = 0, n = binary::ts_length_p(data); i < n; ++i)
      print_char(static_cast<char>(binary::get_byte(data, head + i)));
  } else {
    cell* saved = stack::top;
    output_hooks::print_value(*natives::formed_text(data), false);
    stack::top = saved;
  }
  arguments[0] = unset::value;
  return {0, 0};
}

constexpr boot::builtin builtins[] = {
    {"quit-return", quit_return, nullptr},     {"shift-right", shift_right, nullptr},
    {"shift-left", shift_left, nullptr},       {"shift-logical", shift_logical, nullptr},
    {"last-lf?", last_lf_p, nullptr},          {"as-color", as_color, nullptr},
    {"as-ipv4", as_ipv4, nullptr},             {"as-rgba", as_rgba, nullptr},
    {"count-chars", count_chars, nullptr},     {"stack-size?", stack_size_p, nullptr},
    {"pick-stack", pick_stack, nullptr},       {"frame-index?", frame_index_p, nullptr},
    {"collect-calls", collect_calls, nullptr}, {"tracing?", tracing_p, nullptr},
    {"read-clipboard", read_clipboard, nullptr}, {"write-clipboard", write_clipboard, nullptr},
    {"set-tracing", set_tracing, nullptr},     {"write-stdout", write_stdout, nullptr},
    {"json-unescape", json::unescape, nullptr},
};

}  // namespace

const uint32_t routine_count = static_cast<uint32_t>(std::size(builtins));

const char* routine_name(uint32_t index) { return index < routine_count ? builtins[index].name : nullptr; }

void install() { boot::add_builtins(builtins, static_cast<uint32_t>(std::size(builtins))); }

namespace {

// Every program that links the library has its routines before start-up runs, as the GUI
// backend does; install() may be called again, it adds the table once.
[[maybe_unused]] const bool installed = (install(), true);

}  // namespace

}  // namespace tav::library
