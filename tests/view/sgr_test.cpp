// Colours of the cell screen: the palette, RGB to palette, and the SGR bytes of style changes.
#include <gtest/gtest.h>

#include <string>

#include "view/backends/terminal/screen.hpp"

namespace tav::testing {
namespace {

using tui::make_color;
namespace kind = tui::color_kind;

uint32_t rgba(uint32_t r, uint32_t g, uint32_t b, uint32_t a = 0) { return r | g << 8 | b << 16 | a << 24; }

TEST(rgb_to_256, picks_the_nearer_of_cube_and_grey_ramp) {
  struct row {
    uint32_t color;
    uint32_t index;
  };
  const row rows[] = {
      {rgba(255, 0, 0), 196},      {rgba(128, 128, 128), 244}, {rgba(255, 255, 255), 231},
      {rgba(0, 0, 0), 16},         {rgba(1, 1, 1), 16},        {rgba(10, 10, 10), 232},
      {rgba(240, 240, 240), 255},  {rgba(0, 0, 255), 21},      {rgba(95, 135, 175), 67},
      {rgba(47, 48, 114), 238},     {rgba(0, 0, 0, 254), 16},
      // Mean 2: C's truncating division puts it at the start of the ramp, not below it.
      {rgba(2, 2, 2), 16},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.color);
    EXPECT_EQ(tui::rgb_to_256(r.color), make_color(kind::indexed, r.index));
  }
  for (uint32_t color : {rgba(0, 0, 0, 255), rgba(255, 0, 0, 255), rgba(128, 128, 128, 255)})
    EXPECT_EQ(tui::rgb_to_256(color), 0u);
}

TEST(rgb_to_256, a_tie_between_cube_and_grey_answers_grey) {
  // Every colour of a coarse sweep beside the rule worked out here, ties included.
  int ties = 0;
  for (uint32_t r = 0; r < 256; r += 3)
    for (uint32_t g = 0; g < 256; g += 5)
      for (uint32_t b = 0; b < 256; b += 7) {
        const uint32_t answer = tui::rgb_to_256(rgba(r, g, b)) & 0xFF;
        const auto level = [](int c) { return c < 48 ? 0 : c <= 114 ? 1 : (c - 35) / 40; };
        const int cube = 16 + 36 * level(static_cast<int>(r)) + 6 * level(static_cast<int>(g)) + level(static_cast<int>(b));
        const int mean = static_cast<int>(r + g + b) / 3;
        const int grey = mean >= 239 ? 255 : 232 + (mean - 3) / 10;
        const auto far = [&](int index) {
          const auto& e = tui::tui_palette[static_cast<size_t>(index)];
          const int dr = static_cast<int>(r) - e.r, dg = static_cast<int>(g) - e.g, db = static_cast<int>(b) - e.b;
          return dr * dr + dg * dg + db * db;
        };
        if (far(cube) == far(grey) && cube != grey) {
          ++ties;
          EXPECT_EQ(answer, static_cast<uint32_t>(grey)) << r << "." << g << "." << b;
        } else {
          EXPECT_EQ(answer, static_cast<uint32_t>(far(cube) < far(grey) ? cube : grey));
        }
      }
  EXPECT_GT(ties, 0);
}

TEST(palette, holds_the_cube_and_the_grey_ramp) {
  const auto rgb = [](int i) {
    const auto& e = tui::tui_palette[static_cast<size_t>(i)];
    return std::to_string(e.r) + "." + std::to_string(e.g) + "." + std::to_string(e.b);
  };
  EXPECT_EQ(rgb(16), "0.0.0");
  EXPECT_EQ(rgb(17), "0.0.95");
  EXPECT_EQ(rgb(67), "95.135.175");
  EXPECT_EQ(rgb(196), "255.0.0");
  EXPECT_EQ(rgb(231), "255.255.255");
  EXPECT_EQ(rgb(232), "8.8.8");
  EXPECT_EQ(rgb(255), "238.238.238");
  EXPECT_EQ(tui::tui_palette[196].nearest16, 9);
  EXPECT_EQ(tui::tui_palette[16].nearest16, 0);
}

TEST(emit_color, writes_the_parameters_of_each_kind) {
  struct row {
    uint32_t color;
    bool foreground;
    const char* bytes;
  };
  const row rows[] = {
      {0, true, "\033[39m"},
      {0, false, "\033[49m"},
      {make_color(kind::slot16, 1), true, "\033[31m"},
      {make_color(kind::slot16, 1), false, "\033[41m"},
      {make_color(kind::slot16, 8), true, "\033[0m"},
      {make_color(kind::slot16, 9), false, "\033[49m"},
      {make_color(kind::slot16, 11), true, "\033[91m"},
      {make_color(kind::slot16, 17), true, "\033[97m"},
      {make_color(kind::slot16, 17), false, "\033[107m"},
      {make_color(kind::slot16, 18), true, "\033[0m"},
      {make_color(kind::indexed, 200), true, "\033[38;5;200m"},
      {make_color(kind::indexed, 7), false, "\033[48;5;7m"},
      {make_color(kind::true_rgb, 0x0A141E), true, "\033[38;2;10;20;30m"},
      {make_color(kind::true_rgb, 0xFF0001), false, "\033[48;2;255;0;1m"},
      {make_color(3, 5), true, "\033[0m"},
  };
  for (const row& r : rows) {
    std::string out;
    tui::emit_color(out, r.color, r.foreground);
    EXPECT_EQ(out, r.bytes) << std::hex << r.color;
  }
}

TEST(emit_cell_style, changes_attributes_in_order_then_colours) {
  namespace a = tui::attr;
  const uint32_t all = a::bold | a::dim | a::reverse | a::underline | a::strike | a::italic;
  const tui::tui_cell plain{}, styled{'x', make_color(kind::indexed, 4), make_color(kind::slot16, 2), all};
  std::string out;
  tui::emit_cell_style(out, plain, styled);
  EXPECT_EQ(out, "\033[2m\033[7m\033[1m\033[3m\033[9m\033[4m\033[32m\033[48;5;4m");
  out.clear();
  tui::emit_cell_style(out, styled, plain);
  EXPECT_EQ(out, "\033[22m\033[27m\033[22m\033[23m\033[29m\033[24m\033[39m\033[49m");
  out.clear();
  // Blink, hidden, masked and continuation have no bytes; equal colours none either.
  tui::emit_cell_style(out, plain, tui::tui_cell{'y', 0, 0, a::blink | a::hidden | a::masked});
  EXPECT_EQ(out, "");
}

}  // namespace
}  // namespace tav::testing
