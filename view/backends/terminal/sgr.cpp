// Colours of the cell screen: the xterm palette, RGB to palette, and the SGR bytes of a
// frame.
#include <array>
#include <charconv>

#include "datatypes/tuple.hpp"
#include "datatypes/types.hpp"
#include "view/backends/terminal/screen.hpp"
#include "view/backends/terminal/term_io.hpp"

namespace tav::tui {
namespace {

constexpr uint8_t cube_levels[6] = {0, 95, 135, 175, 215, 255};
constexpr uint8_t basic16[16][3] = {{0, 0, 0},     {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                                    {0, 0, 128},   {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
                                    {128, 128, 128}, {255, 0, 0}, {0, 255, 0},   {255, 255, 0},
                                    {0, 0, 255},   {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};

constexpr int distance(int r, int g, int b, const palette_entry& entry) {
  const int dr = r - entry.r, dg = g - entry.g, db = b - entry.b;
  return dr * dr + dg * dg + db * db;
}

constexpr std::array<palette_entry, 256> build_palette() {
  std::array<palette_entry, 256> table{};
  for (int i = 0; i < 16; ++i) table[i] = {0, basic16[i][0], basic16[i][1], basic16[i][2]};
  for (int i = 0; i < 216; ++i)
    table[16 + i] = {0, cube_levels[i / 36], cube_levels[i / 6 % 6], cube_levels[i % 6]};
  for (int i = 0; i < 24; ++i) {
    const auto grey = static_cast<uint8_t>(8 + 10 * i);
    table[232 + i] = {0, grey, grey, grey};
  }
  for (auto& entry : table) {
    int best = 0;
    for (int i = 1; i < 16; ++i)
      if (distance(entry.r, entry.g, entry.b, table[i]) < distance(entry.r, entry.g, entry.b, table[best])) best = i;
    entry.nearest16 = static_cast<uint8_t>(best);
  }
  return table;
}

int cube_level(int c) { return c < 48 ? 0 : c <= 114 ? 1 : (c - 35) / 40; }

// The (background, foreground) parameters of the 16-colour slots.
constexpr std::string_view slot_parameters[18][2] = {
    {"40", "30"},   {"41", "31"},   {"42", "32"},   {"43", "33"},   {"44", "34"},   {"45", "35"},
    {"46", "36"},   {"47", "37"},   {"0", "0"},     {"49", "39"},   {"100", "90"},  {"101", "91"},
    {"102", "92"},  {"103", "93"},  {"104", "94"},  {"105", "95"},  {"106", "96"},  {"107", "97"}};

void append_number(std::string& out, uint32_t n) {
  char digits[12];
  char* end = std::to_chars(digits, digits + sizeof digits, n).ptr;
  out.append(digits, end);
}

void append_utf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | cp >> 6));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | cp >> 12));
    out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18 & 0x07)));
    out.push_back(static_cast<char>(0x80 | (cp >> 12 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

struct attr_code {
  uint32_t bit;
  std::string_view on;
  std::string_view off;
};
constexpr attr_code attr_codes[] = {
    {attr::dim, "\033[2m", "\033[22m"},    {attr::reverse, "\033[7m", "\033[27m"},
    {attr::bold, "\033[1m", "\033[22m"},   {attr::italic, "\033[3m", "\033[23m"},
    {attr::strike, "\033[9m", "\033[29m"}, {attr::underline, "\033[4m", "\033[24m"},
};

void append_cursor_move(std::string& out, int n, char final) {
  if (n <= 0) return;
  out += "\033[";
  append_number(out, static_cast<uint32_t>(n));
  out.push_back(final);
}

}  // namespace

const std::array<palette_entry, 256> tui_palette = build_palette();

uint32_t rgb_to_256(uint32_t color) {
  if (color >> 24 == 255) return 0;
  const int r = color & 0xFF, g = color >> 8 & 0xFF, b = color >> 16 & 0xFF;
  const int cube = 16 + 36 * cube_level(r) + 6 * cube_level(g) + cube_level(b);
  const int average = (r + g + b) / 3;
  // C's division truncates toward zero: below 3 this is 232 too.
  const int grey = average >= 239 ? 255 : 232 + (average - 3) / 10;
  const bool cube_nearer = distance(r, g, b, tui_palette[cube]) < distance(r, g, b, tui_palette[grey]);
  return make_color(color_kind::indexed, static_cast<uint32_t>(cube_nearer ? cube : grey));
}

uint32_t color_of_tuple(const cell& tuple) {
  if (tuple.type() != TYPE_TUPLE) return 0xFF000000;
  const uint8_t* bytes = tuple::bytes_of(tuple);
  const uint32_t alpha = tuple::length_of(tuple) >= 4 ? bytes[3] : 0;
  return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | alpha << 24;
}

void emit_color(std::string& out, uint32_t color, bool foreground) {
  const uint32_t value = color & 0xFFFFFF;
  out += "\033[";
  switch (color >> 24) {
    case color_kind::default_color:
      out += foreground ? "39" : "49";
      break;
    case color_kind::slot16:
      out += value < 18 ? slot_parameters[value][foreground ? 1 : 0] : "0";
      break;
    case color_kind::indexed:
      out += foreground ? "38;5;" : "48;5;";
      append_number(out, value & 0xFF);
      break;
    case color_kind::true_rgb:
      out += foreground ? "38;2;" : "48;2;";
      append_number(out, value >> 16);
      out.push_back(';');
      append_number(out, value >> 8 & 0xFF);
      out.push_back(';');
      append_number(out, value & 0xFF);
      break;
    default:
      out += "0";
  }
  out.push_back('m');
}

void emit_cell_style(std::string& out, const tui_cell& previous, const tui_cell& next) {
  const uint32_t changed = previous.attr ^ next.attr;
  for (const attr_code& code : attr_codes)
    if (changed & code.bit) out += next.attr & code.bit ? code.on : code.off;
  if (previous.fg != next.fg) emit_color(out, next.fg, true);
  if (previous.bg != next.bg) emit_color(out, next.bg, false);
}

void flush_screen() {
  const int width = screen.width;
  const int height = screen.height;
  if (width <= 0 || height <= 0) return;
  std::string& out = screen.output;
  out.clear();
  out.reserve(static_cast<size_t>(width) * static_cast<size_t>(height) * 16 + 64);
  if (screen.fullscreen) {
    out += "\033[H";
  } else {
    out.push_back('\r');
    append_cursor_move(out, screen.lines_up, 'A');
    out += "\033[0J";
  }
  tui_cell style{};
  const tui_cell* row = screen.cells.data();
  for (int y = 0; y < height; ++y, row += width) {
    for (int x = 0; x < width; ++x) {
      const tui_cell& cell = row[x];
      if (cell.attr & attr::continuation) continue;
      emit_cell_style(out, style, cell);
      style = cell;
      if (cell.attr & attr::masked)
        out.push_back('*');
      else
        append_utf8(out, cell.cp ? cell.cp : ' ');
    }
    if (y + 1 < height) {
      style.bg = 0;
      out += "\033[49m\r\n";
    }
  }
  emit_cell_style(out, style, tui_cell{});
  const widget* focused = widget_of(screen.focus);
  if (focused && focused->flags & widget_flag::text_entry && screen.caret_row >= 0 && screen.caret_column >= 0) {
    out.push_back('\r');
    append_cursor_move(out, height - (screen.caret_row + 1), 'A');
    append_cursor_move(out, screen.caret_column, 'C');
    screen.lines_up = screen.caret_row;
  } else {
    screen.lines_up = height - 1;
  }
  write_out(out);
  out.clear();
  screen.drawn = true;
  screen.redraw = false;
}

}  // namespace tav::tui
