// Counting the terminal cells a text takes while it is put into the bytes of a redraw.
#include "console/cells.hpp"

#include "console/char_width.hpp"
#include "runtime/unicode.hpp"

namespace tav::terminal {
namespace {

void put(std::string* out, uint32_t cp) {
  if (!out) return;
  uint8_t bytes[4];
  // A unit no code point has is shown as the replacement character, never raised mid-draw.
  int n = unicode::cp_to_utf8(cp <= unicode::max_code_point ? cp : 0xFFFD, bytes);
  out->append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(n));
}

bool sequence_part_p(uint32_t cp) { return (cp >= '0' && cp <= '9') || cp == ';'; }

// The escape sequence starting at `at` (an ESC): its length in characters.
size_t sequence_length(std::u32string_view text, size_t at) {
  size_t i = at + 1;
  if (i >= text.size() || (text[i] != '[' && text[i] != '(')) return 1;
  for (++i; i < text.size() && sequence_part_p(text[i]); ++i) {
  }
  return i < text.size() ? i + 1 - at : i - at;
}

struct row_counter {
  int columns;
  int left;
  int total = 0;

  void place(int width) {
    if (width == 0) return;
    if (left <= 0) left = columns;
    if (width == 2 && left == 1) {
      total += 3;
      left = columns > 2 ? columns - 2 : 0;
    } else {
      total += width;
      left -= width;
    }
  }
};

}  // namespace

int cell_width(uint32_t cp) {
  if (cp >= 0x1F300 && cp <= 0x1F5FF) return 2;
  return char_width(cp);
}

int count_cells(std::u32string_view text, int left, const cell_count& how, std::string* out) {
  row_counter rows{how.columns < 1 ? 1 : how.columns, left};
  for (size_t i = 0; i < text.size(); ++i) {
    const uint32_t cp = text[i];
    if (cp == 27 && !how.hidden) {
      size_t length = sequence_length(text, i);
      for (size_t k = 0; k < length; ++k) put(out, text[i + k]);
      i += length - 1;
      continue;
    }
    if (cp == '\t' && !how.hidden) {
      for (int k = 0; k < 4; ++k) {
        put(out, ' ');
        rows.place(1);
      }
      continue;
    }
    if (how.hidden) {
      put(out, '*');
      rows.place(1);
      continue;
    }
    put(out, cp);
    rows.place(cell_width(cp));
  }
  return rows.total;
}

}  // namespace tav::terminal
