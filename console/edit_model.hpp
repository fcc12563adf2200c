// Line editor's model: what one key does to the edited line, its caret, the history's browse
// position and the saved line, and what the screen must show for it. No terminal is touched.
#pragma once
#include <cstdint>
#include <string>

#include "runtime/cell.hpp"

namespace tav::terminal {

// The editor's values, kept where the collector sees them (the owner roots the three cells).
struct edit_cells {
  cell line;     // string! being edited, shared with the caller's; its index is the caret
  cell history;  // block! of strings, newest first; its index is the browse position
  cell saved;    // string! the next edit starts with (its index is the caret to start at)
};

// What the screen must do after a key.
enum class edit_step : uint8_t {
  nothing,    // the key changed nothing that shows
  cursor,     // only the caret moved
  appended,   // one character was added at the end: write just that character
  erased_end, // the character before the caret, at the end, is gone: cursor back, blank the rest
  redraw,     // prompt and line are drawn again
  done,       // the edit has ended; the line is its result
};

class edit_model {
 public:
  explicit edit_model(edit_cells& cells) : cells_(cells) {}

  // `line` and `history` become the edited values; the line's index is where it starts.
  void setup(const cell& line, const cell& history);

  // A new edit: browsing starts before the newest entry, and a non-empty saved line is
  // appended to the line, the caret at the saved line's index.
  void begin(bool hidden);

  // One key: a code point, or a key code of console/keys.hpp (key_failed: the input is gone,
  // which ends the edit as Ctrl-D on an empty line does).
  edit_step key(int32_t code);

  // The line becomes the characters of `source` from its head, the caret at its index: what a
  // completion made of the line.
  void replace(cell source);
  // The line becomes `text`, the caret at its end.
  void show(const std::u32string& text);

  // The caret and the characters, counted from the line's start.
  uint32_t caret() const;
  std::u32string text() const;
  int32_t position() const { return position_; }
  bool hidden() const { return hidden_; }

 private:
  uint32_t tail() const;
  void set_caret(uint32_t caret);
  void empty_line();
  void set_line(const char* text);
  void insert(uint32_t cp);
  void copy_entry();
  void add_to_history();
  void empty_saved();
  edit_step history_up();
  edit_step history_down();
  edit_step backspace();
  edit_step remove_at_caret();

  edit_cells& cells_;
  uint32_t start_ = 0;  // the line's index when it was set up
  int32_t position_ = -1;
  int32_t count_ = 0;
  bool hidden_ = false;
};

}  // namespace tav::terminal
