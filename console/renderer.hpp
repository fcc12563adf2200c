// Renderer: the prompt and the edited line drawn from where the cursor stands, wrapped over
// as many rows as they need, and the cursor placed at the caret; one byte string per redraw.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace tav::terminal {

class renderer {
 public:
  // A new edit: the prompt starts at `column` of the cursor's row on a screen `columns` wide.
  void start(int columns, int column);
  // The window changed width.
  void resize(int columns) { columns_ = columns < 1 ? 1 : columns; }
  // The window changed width while `prompt` and `line` stood drawn with the cursor before
  // `line[caret]`, and the terminal wrapped that text again at the new width, the cursor
  // staying on its character: the positions are counted again from the text's new first row.
  void reflow(int columns, std::u32string_view prompt, std::u32string_view line, size_t caret, bool hidden = false);

  // The bytes that draw `prompt` and `line` (when `full`; else only the cursor moves) and put
  // the cursor before `line[caret]`. Every move is relative to where the last redraw left
  // the cursor, so the text may start anywhere on the screen and scroll.
  std::string redraw(std::u32string_view prompt, std::u32string_view line, size_t caret, bool full,
                     bool hidden = false);

  // The bytes that show the last character of `line`, just added, when the caret stood at the
  // end of the line the last redraw drew: only that character is written.
  std::string append(std::u32string_view line, bool hidden = false);

  // The bytes that show `line` after its last character was removed with the caret at its
  // end: the cursor moves back and the screen is blanked from there to the end of the text's
  // rows.
  std::string erased_end(std::u32string_view prompt, std::u32string_view line, bool hidden = false);

  // The cursor to column 0 of the text's last row (Enter ends an edit there).
  std::string to_last_row();

  // Where the last redraw put things, in cells from column 0 of the prompt's first row.
  int caret() const { return caret_; }
  int end() const { return end_; }
  int columns() const { return columns_; }

 private:
  void move_to(std::string& out, int row, int column);
  void blank(std::string& out);
  void blank_after_cursor(std::string& out);
  void after_text(int end);
  void place_caret(std::string& out, std::u32string_view line, size_t caret, bool hidden);

  int columns_ = 80;
  int start_column_ = 0;
  // The cursor, in rows below the prompt's first row and columns.
  int row_ = 0, column_ = 0;
  // Set when the cursor is past the last column of a full row, waiting to wrap.
  bool pending_wrap_ = false;
  // The lowest row the text has made on the screen so far.
  int lowest_ = 0;
  int caret_ = 0, end_ = 0;
};

}  // namespace tav::terminal
