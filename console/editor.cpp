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
#include "datatypes/string.hpp"
#include "datatypes/values.hpp"
#include "runtime/collector.hpp"
#include "runtime/console_out.hpp"
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

constexpr int32_t ctrl_c = 3, ctrl_d = 4;
bool quit_key_p(int32_t code) { return code == ctrl_c || code == ctrl_d || code == key_failed; }

// Draws each key's effect; answers when the model says the edit is done.
void edit_loop(const std::u32string& prompt, edit_model& m) {
  renderer& r = start_edit();
  const bool hidden = m.hidden();
  std::u32string text = m.text();
  draw(r.redraw(prompt, text, m.caret(), true, hidden));
  for (;;) {
    const int32_t code = read_key();
    if (columns() > 0 && columns() != r.columns()) r.reflow(columns(), prompt, text, m.caret(), hidden);
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
  boot::add_builtins(builtins, std::size(builtins));
}

}  // namespace tav::terminal::editor
