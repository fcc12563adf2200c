// A small model of a VT terminal for the renderer's tests: a grid of cells, a cursor with the
// pending wrap of the last column, line feeds that scroll, and the few sequences the renderer
// writes (CR, LF as CR LF, ESC[nA, ESC[nB, ESC[nC, ESC[J, ESC[K, SGR ignored).
#pragma once
#include <string>
#include <vector>

#include "console/cells.hpp"
#include "runtime/unicode.hpp"

namespace tav::testing {

class vt_screen {
 public:
  vt_screen(int columns, int rows) : columns_(columns), rows_(rows), grid_(rows, std::u32string(columns, U' ')) {}

  int x = 0, y = 0;

  void feed(const std::string& bytes) {
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    const auto* end = p + bytes.size();
    while (p < end) {
      if (*p == 27) {
        p = sequence(p + 1, end);
        continue;
      }
      int32_t cp = *p;
      if (*p >= 0x80) p = unicode::fast_decode_utf8_char(p, &cp) - 1;
      ++p;
      character(static_cast<uint32_t>(cp));
    }
  }

  // The row's text, wide characters once, their second cell left out, trailing spaces kept.
  std::string row(int r) const {
    std::string out;
    for (char32_t c : grid_[r]) {
      if (c == 0) continue;
      uint8_t bytes[4];
      out.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(unicode::cp_to_utf8(c, bytes)));
    }
    return out;
  }

 private:
  void line_feed() {
    if (y + 1 < rows_) {
      ++y;
      return;
    }
    grid_.erase(grid_.begin());
    grid_.emplace_back(columns_, U' ');
  }

  void character(uint32_t cp) {
    if (cp == '\r') {
      x = 0, pending_ = false;
      return;
    }
    if (cp == '\n') {
      x = 0, pending_ = false;
      line_feed();
      return;
    }
    const int width = terminal::cell_width(cp);
    if (width == 0) return;
    if (pending_ || x + width > columns_) {
      x = 0, pending_ = false;
      line_feed();
    }
    grid_[y][x] = cp;
    if (width == 2) grid_[y][x + 1] = 0;
    x += width;
    if (x >= columns_) x = columns_ - 1, pending_ = true;
  }

  const uint8_t* sequence(const uint8_t* p, const uint8_t* end) {
    if (p == end || *p != '[') return p;
    int n = 0;
    bool any = false;
    for (++p; p < end && ((*p >= '0' && *p <= '9') || *p == ';'); ++p)
      if (*p != ';') n = n * 10 + (*p - '0'), any = true;
    if (p == end) return p;
    if (!any) n = 1;
    switch (*p) {
      case 'A': y = y - n < 0 ? 0 : y - n, pending_ = false; break;
      case 'B': y = y + n >= rows_ ? rows_ - 1 : y + n, pending_ = false; break;
      case 'C': x = x + n >= columns_ ? columns_ - 1 : x + n, pending_ = false; break;
      case 'J':
        for (int c = x; c < columns_; ++c) grid_[y][c] = U' ';
        for (int r = y + 1; r < rows_; ++r) grid_[r].assign(columns_, U' ');
        break;
      case 'K':
        for (int c = x; c < columns_; ++c) grid_[y][c] = U' ';
        break;
      default: break;
    }
    return p + 1;
  }

  int columns_, rows_;
  bool pending_ = false;
  std::vector<std::u32string> grid_;
};

}  // namespace tav::testing
