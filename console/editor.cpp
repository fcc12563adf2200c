// Line editor: the edit loop on the terminal, drawn through the renderer, and its routines.
#include "console/editor.hpp"

#include <iterator>
#include <string>

#include "boot/definitions.hpp"
#include "console/edit_model.hpp"
#include "console/keys.hpp"
#include "console/renderer.hpp"
#include "console/terminal.hpp"
#include "console/tty.hpp"
#include "datatypes/function.hpp"
#include "datatypes/series.hpp"
#include "datatypes/string.hpp"
#include "datatypes/values.hpp"
#include "interpreter/library_calls.hpp"
#include "interpreter/natives.hpp"
#include "interpreter/stack.hpp"
#include "runtime/collector.hpp"
#include "runtime/console_out.hpp"
#include "runtime/errors.hpp"
#include "runtime/output_hooks.hpp"
#include "runtime/series.hpp"
#include "runtime/unicode.hpp"

namespace tav::terminal::editor {
namespace {

edit_cells cells{{TYPE_NONE, 0, 0, 0}, {TYPE_NONE, 0, 0, 0}, {TYPE_NONE, 0, 0, 0}};

edit_model& model() {
  static edit_model the_model(cells);
  return the_model;
}

std::u32string text_of(const cell& string) {
  std::u32string out;
  series_buffer* b = buffer_of(string.payload2);
  for (uint32_t i = string.payload1; i < b->count(); ++i)
    out += static_cast<char32_t>(unicode::get_unit(b->head(), i, b->unit()));
  return out;
}

// The last line read ended the input: standard input had nothing more, or on a terminal the
// line was ended by Ctrl-C, by Ctrl-D on an empty line or by the terminal going away.
bool input_ended = false;

void read_piped_line() {
  if (cells.line.type() != TYPE_STRING) return;
  input_ended = !stdin_readline(cells.line);
}

constexpr int32_t ctrl_c = 3, ctrl_d = 4, tab = 9;
bool quit_key_p(int32_t code) { return code == ctrl_c || code == ctrl_d || code == key_failed; }

// ---- TAB completion -------------------------------------------------------------------------

// The line handed to the completion and the block it answered, where the collector sees them.
cell completion[2]{{TYPE_NONE, 0, 0, 0}, {TYPE_NONE, 0, 0, 0}};

uint32_t entry_count() {
  const cell result = completion[1];
  if (result.type() != TYPE_BLOCK) return 0;
  const uint32_t count = buffer_of(result.payload2)->count();
  return result.payload1 < count ? count - result.payload1 : 0;
}

// Entries that are no text count as empty text.
cell entry(uint32_t i) {
  const cell result = completion[1];
  const cell value = buffer_of(result.payload2)->cells()[result.payload1 + i];
  if (series::any_string_p(value.type())) return value;
  cell empty;
  string::ts_make_at(empty, 1);
  return empty;
}

// Calls tav-complete-input on a copy of the line, positioned at the caret, inside a frame that
// stops every error and throw: the error, when one came, is left in `last_fired`. Answers the
// number of entries of the block it answered, or -1 when it failed.
int complete_line(const edit_model& m) {
  const std::u32string text = m.text();
  string::ts_make_at(completion[0], static_cast<uint32_t>(text.size()));
  for (const char32_t c : text) string::append_char(buffer_of(completion[0].payload2), c);
  completion[0].payload1 = m.caret();
  completion[1] = none::value;
  cell arguments[2] = {completion[0], logic::true_value};
  cell* base = stack::top;
  const bool failed = stack::catch_error(none::value, true, [&] {
    interpreter::library::call(interpreter::library::entry::complete_input, arguments, 2);
    completion[1] = *(stack::top - 1);
  });
  stack::top = base;
  completion[0] = none::value;
  return failed ? -1 : static_cast<int>(entry_count());
}

// The error that stopped the completion, on rows of its own below the line.
void report_failure(renderer& r) {
  draw(r.to_last_row());
  draw("\n");
  const cell error = last_fired.value;
  cell* base = stack::top;
  if (error.type() == TYPE_ERROR)
    stack::catch_error(none::value, true, [&] { output_hooks::print_value(*natives::formed_text(error), true); });
  stack::top = base;
  console_out::flush();
}

// What TAB does to the line; answers false when there was nothing to complete, and the TAB is
// then inserted as a character. Several candidates stand on the prompt's row, each followed by
// a space, and the prompt is drawn again below with the line completed as far as they agree.
bool complete(const std::u32string& prompt, renderer& r, edit_model& m, std::u32string& text) {
  const bool hidden = m.hidden();
  const int n = complete_line(m);
  if (n == 0) return false;
  if (n < 0) {
    report_failure(r);
  } else if (n == 1) {
    m.replace(entry(0));
  } else {
    std::u32string listing;
    for (uint32_t i = 1; i < static_cast<uint32_t>(n); ++i) listing += text_of(entry(i)) + U' ';
    m.show(listing);
    draw(r.redraw(prompt, m.text(), m.caret(), true, hidden));
    draw(r.to_last_row());
    draw("\n");
    m.replace(entry(0));
  }
  completion[1] = none::value;
  if (n != 1) r.start(r.columns(), 0);
  text = m.text();
  draw(r.redraw(prompt, text, m.caret(), true, hidden));
  return true;
}

// Draws each key's effect; answers when the model says the edit is done.
void edit_loop(const std::u32string& prompt, edit_model& m) {
  renderer& r = start_edit();
  const bool hidden = m.hidden();
  std::u32string text = m.text();
  draw(r.redraw(prompt, text, m.caret(), true, hidden));
  for (;;) {
    const int32_t code = read_key();
    if (columns() > 0 && columns() != r.columns()) r.reflow(columns(), prompt, text, m.caret(), hidden);
    // Hidden input is not completed: the candidates would show what was typed.
    if (code == tab && !hidden && complete(prompt, r, m, text)) continue;
    const edit_step step = m.key(code);
    switch (step) {
      case edit_step::nothing: break;
      case edit_step::cursor: draw(r.redraw(prompt, text, m.caret(), false, hidden)); break;
      case edit_step::appended:
        text = m.text();
        draw(r.append(text, hidden));
        break;
      case edit_step::erased_end:
        text = m.text();
        draw(r.erased_end(prompt, text, hidden));
        break;
      case edit_step::redraw:
        text = m.text();
        draw(r.redraw(prompt, text, m.caret(), true, hidden));
        break;
      case edit_step::done:
        input_ended = quit_key_p(code);
        draw(r.to_last_row());
        return;
    }
  }
}

// ---- Routines -------------------------------------------------------------------------------

routine::answer set_buffer_history(cell* arguments) {
  setup(arguments[0], arguments[1]);
  arguments[0] = unset::value;
  return {0, 0};
}

routine::answer read_input(cell* arguments) {
  const cell prompt = arguments[0];
  const bool hidden = arguments[1].type() == TYPE_LOGIC && arguments[1].payload1 != 0;
  arguments[0] = unset::value;
  edit(prompt, hidden);
  return {0, 0};
}

// Nothing to end on this system: the terminal is given back after each line.
routine::answer terminate_console(cell* arguments) {
  arguments[0] = unset::value;
  return {0, 0};
}

routine::answer input_ended_p(cell*) { return {input_ended ? 1 : 0, 0}; }

constexpr boot::builtin builtins[] = {
    {"_set-buffer-history", set_buffer_history, nullptr},
    {"_read-input", read_input, nullptr},
    {"_terminate-console", terminate_console, nullptr},
    {"_input-ended?", input_ended_p, nullptr},
};

}  // namespace

void init_globals() {
  if (cells.saved.type() == TYPE_STRING) return;
  string::ts_make_at(cells.saved, 1);
}

void setup(const cell& line, const cell& history) { model().setup(line, history); }

void edit(const cell& prompt, bool hidden) {
  input_ended = false;
  // A script may ask before the console's init has looked at the terminal.
  static bool looked = false;
  if (!looked) init();
  looked = true;
  if (!console_p()) return read_piped_line();
  {
    tty::raw_mode raw;
    if (!raw.on) return read_piped_line();
    init_globals();
    read_window_size();
    model().begin(hidden);
    edit_loop(text_of(prompt), model());
  }
  print_char('\n');
  console_out::flush();
}

void install() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  collector::add_root_range(&cells.line, 3);
  collector::add_root_range(completion, 2);
  boot::add_builtins(builtins, std::size(builtins));
}

}  // namespace tav::terminal::editor
