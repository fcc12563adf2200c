// Line editor's model: the key table, history browsing, hidden input and the saved line, on the
// editor's string and block cells. Anything that may allocate can move a buffer, so buffers are
// fetched again from the cells after each change.
#include "console/edit_model.hpp"

#include "console/keys.hpp"
#include "datatypes/block.hpp"
#include "datatypes/series.hpp"
#include "datatypes/string.hpp"
#include "runtime/series.hpp"
#include "runtime/unicode.hpp"

namespace tav::terminal {
namespace {

constexpr int32_t ctrl_a = 1, ctrl_b = 2, ctrl_c = 3, ctrl_d = 4, ctrl_e = 5, ctrl_f = 6, ctrl_k = 11,
                  ctrl_n = 14, ctrl_p = 16, tab = 9, del = 127;

uint32_t char_at(const cell& string, uint32_t position) {
  series_buffer* b = buffer_of(string.payload2);
  return unicode::get_unit(b->head(), position, b->unit());
}

uint32_t count_of(const cell& series) { return buffer_of(series.payload2)->count(); }

// The history entry at the block's index, or null past its tail.
const cell* entry_at(const cell& history) {
  if (history.payload1 >= count_of(history)) return nullptr;
  return buffer_of(history.payload2)->cells() + history.payload1;
}

}  // namespace

void edit_model::setup(const cell& line, const cell& history) {
  cells_.line = line;
  cells_.history = history;
  start_ = line.payload1 > count_of(line) ? count_of(line) : line.payload1;
  cells_.line.payload1 = start_;
}

uint32_t edit_model::tail() const { return count_of(cells_.line); }

uint32_t edit_model::caret() const { return cells_.line.payload1 - start_; }

void edit_model::set_caret(uint32_t caret) { cells_.line.payload1 = start_ + caret; }

std::u32string edit_model::text() const {
  std::u32string out;
  const uint32_t end = tail();
  out.reserve(end - start_);
  for (uint32_t i = start_; i < end; ++i) out += static_cast<char32_t>(char_at(cells_.line, i));
  return out;
}

void edit_model::begin(bool hidden) {
  hidden_ = hidden;
  if (cells_.history.type() == TYPE_BLOCK) {
    count_ = static_cast<int32_t>(count_of(cells_.history) - cells_.history.payload1);
    if (count_ < 0) count_ = 0;
  } else {
    count_ = 0;
  }
  position_ = -1;
  const cell saved = cells_.saved;
  if (saved.type() != TYPE_STRING || count_of(saved) == 0) return;
  for (uint32_t i = 0; i < count_of(saved); ++i)
    string::append_char(buffer_of(cells_.line.payload2), char_at(cells_.saved, i));
  const uint32_t caret = cells_.saved.payload1 < count_of(cells_.saved) ? cells_.saved.payload1 : count_of(cells_.saved);
  set_caret(tail() - count_of(cells_.saved) + caret - start_);
}

void edit_model::empty_line() {
  string::truncate_at(buffer_of(cells_.line.payload2), start_);
  set_caret(0);
}

void edit_model::set_line(const char* text) {
  empty_line();
  for (; *text; ++text) string::append_char(buffer_of(cells_.line.payload2), static_cast<uint8_t>(*text));
  set_caret(tail() - start_);
}

void edit_model::replace(cell source) {
  empty_line();
  const uint32_t end = count_of(source);
  for (uint32_t i = 0; i < end; ++i) string::append_char(buffer_of(cells_.line.payload2), char_at(source, i));
  set_caret(source.payload1 < end ? source.payload1 : end);
}

void edit_model::show(const std::u32string& text) {
  empty_line();
  for (const char32_t c : text) string::append_char(buffer_of(cells_.line.payload2), c);
  set_caret(tail() - start_);
}

void edit_model::empty_saved() {
  if (cells_.saved.type() != TYPE_STRING) return;
  string::truncate_at(buffer_of(cells_.saved.payload2), 0);
  cells_.saved.payload1 = 0;
}

void edit_model::insert(uint32_t cp) {
  const uint32_t at = cells_.line.payload1;
  if (at >= tail())
    string::append_char(buffer_of(cells_.line.payload2), cp);
  else
    string::insert_char(buffer_of(cells_.line.payload2), at, cp);
  cells_.line.payload1 = at + 1;
}

// Entries that are no text leave the line empty.
void edit_model::copy_entry() {
  empty_line();
  const cell* entry = entry_at(cells_.history);
  if (entry && series::any_string_p(entry->type())) {
    const cell source = *entry;
    const uint32_t end = count_of(source);
    for (uint32_t i = source.payload1; i < end; ++i)
      string::append_char(buffer_of(cells_.line.payload2), char_at(source, i));
  }
  set_caret(tail() - start_);
}

// The returned string itself goes in, not a copy; a line equal to the newest entry (case
// counting) is not stored twice.
void edit_model::add_to_history() {
  cells_.line.payload1 = start_;
  if (hidden_ || tail() == start_ || cells_.history.type() != TYPE_BLOCK) return;
  cells_.history.payload1 = 0;
  if (const cell* newest = entry_at(cells_.history); newest && series::any_string_p(newest->type())) {
    const cell entry = *newest;
    const uint32_t length = count_of(entry) > entry.payload1 ? count_of(entry) - entry.payload1 : 0;
    bool same = length == tail() - start_;
    for (uint32_t i = 0; same && i < length; ++i)
      same = char_at(entry, entry.payload1 + i) == char_at(cells_.line, start_ + i);
    if (same) return;
  }
  const cell line = cells_.line;
  block::insert_value(cells_.history, line, false, true);
}

// Up moves the position before it copies, Down after: the first Down after an Up shows the
// entry already shown.
edit_step edit_model::history_up() {
  if (position_ < count_ - 1) {
    ++position_;
    cells_.history.payload1 = static_cast<uint32_t>(position_);
    copy_entry();
  } else {
    empty_line();
  }
  return edit_step::redraw;
}

edit_step edit_model::history_down() {
  if (position_ < 0) {
    empty_line();
  } else {
    cells_.history.payload1 = static_cast<uint32_t>(position_);
    copy_entry();
    --position_;
  }
  return edit_step::redraw;
}

edit_step edit_model::backspace() {
  if (caret() == 0) return edit_step::nothing;
  const uint32_t at = cells_.line.payload1 - 1;
  string::remove_char(cells_.line, at);
  cells_.line.payload1 = at;
  return at == tail() ? edit_step::erased_end : edit_step::redraw;
}

edit_step edit_model::remove_at_caret() {
  if (cells_.line.payload1 >= tail()) return edit_step::nothing;
  string::remove_char(cells_.line, cells_.line.payload1);
  return edit_step::redraw;
}

edit_step edit_model::key(int32_t code) {
  switch (code) {
    case key_enter:
      add_to_history();
      empty_saved();
      return edit_step::done;
    case key_backspace:
    case del: return backspace();
    case key_left:
    case ctrl_b:
      if (caret() == 0) return edit_step::nothing;
      set_caret(caret() - 1);
      return edit_step::cursor;
    case key_right:
    case ctrl_f:
      if (cells_.line.payload1 >= tail()) return edit_step::nothing;
      set_caret(caret() + 1);
      return edit_step::cursor;
    case key_up:
    case ctrl_p: return history_up();
    case key_down:
    case ctrl_n: return history_down();
    case key_home:
    case ctrl_a: set_caret(0); return edit_step::redraw;
    case key_end:
    case ctrl_e: set_caret(tail() - start_); return edit_step::redraw;
    case key_delete: return remove_at_caret();
    case ctrl_k:
      if (cells_.line.payload1 >= tail()) return edit_step::nothing;
      string::truncate_at(buffer_of(cells_.line.payload2), cells_.line.payload1);
      return edit_step::redraw;
    case ctrl_d:
      if (cells_.line.payload1 < tail()) return remove_at_caret();
      if (tail() > start_) return edit_step::nothing;
      set_line("q");
      return edit_step::done;
    // The terminal is gone (end of input, a hung-up terminal): as Ctrl-D on an empty line, so
    // that the reader of the line quits instead of asking again for ever.
    case key_failed:
    case ctrl_c:
      set_line("q");
      return edit_step::done;
    case key_escape:
      empty_saved();
      string::append_char(buffer_of(cells_.line.payload2), key_escape);
      return edit_step::done;
    default: break;
  }
  if (code < 32 && code != tab) return edit_step::nothing;
  const bool at_end = cells_.line.payload1 >= tail();
  insert(static_cast<uint32_t>(code));
  return at_end ? edit_step::appended : edit_step::redraw;
}

}  // namespace tav::terminal
