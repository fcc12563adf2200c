// Renderer: relative cursor movement (CR, ESC[nA, ESC[nB, ESC[nC), blanking with ESC[K and ESC[J.
#include "console/renderer.hpp"

#include "console/cells.hpp"

namespace tav::terminal {
namespace {

void csi(std::string& out, int n, char final) {
  if (n <= 0) return;
  out += "\x1b[";
  if (n != 1) out += std::to_string(n);
  out += final;
}

}  // namespace

void renderer::start(int columns, int column) {
  resize(columns);
  start_column_ = column < 0 ? 0 : column % columns_;
  row_ = lowest_ = 0;
  column_ = start_column_;
  pending_wrap_ = false;
  caret_ = end_ = start_column_;
}

void renderer::move_to(std::string& out, int row, int column) {
  // A carriage return also ends a pending wrap: the cursor stays on its row.
  if (pending_wrap_ || column != column_) {
    out += '\r';
    column_ = 0;
    pending_wrap_ = false;
  }
  csi(out, row_ - row, 'A');
  csi(out, row - row_, 'B');
  csi(out, column - column_, 'C');
  row_ = row;
  column_ = column;
}

// The cursor stands after the text, or past the last column when the text filled its row.
void renderer::after_text(int end) {
  if (end > start_column_ && end % columns_ == 0) {
    row_ = end / columns_ - 1;
    column_ = columns_ - 1;
    pending_wrap_ = true;
  } else {
    row_ = end / columns_;
    column_ = end % columns_;
    pending_wrap_ = false;
  }
  if (row_ > lowest_) lowest_ = row_;
}

void renderer::place_caret(std::string& out, std::u32string_view line, size_t caret, bool hidden) {
  int row = caret_ / columns_, column = caret_ % columns_;
  // A wide character with one cell left on the row is drawn at the next row's start.
  if (caret < line.size() && !hidden && column == columns_ - 1 && cell_width(line[caret]) == 2) {
    ++row;
    column = 0;
  }
  if (column == 0 && caret_ == end_ && pending_wrap_ && row == row_ + 1) {
    // The line feed makes the terminal take the new row, scrolling when it is the last.
    out += "\n";
    row_ = lowest_ = row;
    column_ = 0;
    pending_wrap_ = false;
  }
  move_to(out, row, column);
}

// Blanks the old text from the prompt's start on, row by row: an erase to the end of the screen
// from the screen's first cell would make some terminals push the whole screen into their
// scroll-back.
void renderer::blank(std::string& out) {
  move_to(out, 0, start_column_);
  out += "\x1b[K";
  if (lowest_ == 0) return;
  move_to(out, 1, 0);
  out += "\x1b[J";
  move_to(out, 0, start_column_);
}

std::string renderer::redraw(std::u32string_view prompt, std::u32string_view line, size_t caret, bool full,
                             bool hidden) {
  if (caret > line.size()) caret = line.size();
  std::string out;
  const cell_count plain{columns_}, shown{columns_, hidden};
  std::string text;
  std::string* into = full ? &text : nullptr;
  const int x = start_column_ + count_cells(prompt, columns_ - start_column_, plain, into);
  caret_ = x + count_cells(line.substr(0, caret), columns_ - x % columns_, shown, into);
  end_ = caret_ + count_cells(line.substr(caret), columns_ - caret_ % columns_, shown, into);
  if (full) {
    blank(out);
    out += text;
    after_text(end_);
  }
  place_caret(out, line, caret, hidden);
  return out;
}

void renderer::reflow(int columns, std::u32string_view prompt, std::u32string_view line, size_t caret,
                      bool hidden) {
  resize(columns);
  start_column_ %= columns_;
  redraw(prompt, line, caret, false, hidden);
  row_ = caret_ / columns_;
  column_ = caret_ % columns_;
  pending_wrap_ = false;
  lowest_ = end_ / columns_;
}

std::string renderer::append(std::u32string_view line, bool hidden) {
  std::string out;
  if (line.empty()) return out;
  const int before = end_;
  end_ = caret_ = before + count_cells(line.substr(line.size() - 1), columns_ - before % columns_,
                                       {columns_, hidden}, &out);
  after_text(end_);
  place_caret(out, line, line.size(), hidden);
  return out;
}

std::string renderer::erased_end(std::u32string_view prompt, std::u32string_view line, bool hidden) {
  std::string out = redraw(prompt, line, line.size(), false, hidden);
  blank_after_cursor(out);
  return out;
}

void renderer::blank_after_cursor(std::string& out) {
  out += "\x1b[K";
  if (lowest_ <= row_) return;
  // Placed at the caret, the cursor never waits to wrap: it comes back to the same cell.
  const int row = row_, column = column_;
  move_to(out, row + 1, 0);
  out += "\x1b[J";
  move_to(out, row, column);
}

std::string renderer::to_last_row() {
  std::string out;
  const int last = end_ / columns_;
  if (last > lowest_) {
    // The text ended with a full row and the row below it was never made: a line feed makes it.
    move_to(out, lowest_, 0);
    out += "\n";
    row_ = lowest_ = last;
  } else {
    move_to(out, last, 0);
  }
  return out;
}

}  // namespace tav::terminal
