// Response header text to a map: names with their values, repeated names gathered in a
// block, and scans that stay inside the text whatever it holds.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>

#include "datatypes/symbol.hpp"
#include "datatypes/text_fixture.hpp"
#include "io/simple_io.hpp"

namespace tav {
namespace {

using testing::text_of;

class HttpHeaders : public testing::text_values {};

// "name=value;" per pair, a block of values as "name=[a,b];".
std::string described(const cell& map) {
  std::string out;
  series_buffer* pairs = buffer_of(map.payload2);
  for (uint32_t i = 0; i + 1 < pairs->count(); i += 2) {
    const cell key = pairs->cells()[i], value = pairs->cells()[i + 1];
    out += symbol::name(key.payload2);
    out += '=';
    if (value.type() == TYPE_BLOCK) {
      out += '[';
      series_buffer* items = buffer_of(value.payload2);
      for (uint32_t j = 0; j < items->count(); ++j) out += (j ? "," : "") + text_of(items->cells()[j]);
      out += ']';
    } else {
      out += text_of(value);
    }
    out += ';';
  }
  return out;
}

std::string parsed(std::string_view text) {
  cell* map = stack::push_cell();
  simple_io::parse_headers(reinterpret_cast<const uint8_t*>(text.data()), text.size(), *map);
  EXPECT_EQ(map->type(), TYPE_MAP);
  std::string out = described(*map);
  stack::pop_cells(1);
  return out;
}

TEST_F(HttpHeaders, NamesAndValues) {
  const struct {
    std::string_view text, map;
  } cases[] = {
      {"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nX-A:v\r\n\r\n", "Content-Type=text/plain;X-A=v;"},
      {"Set-Cookie: a\r\nSet-Cookie: b\r\nSet-Cookie: c\r\n", "Set-Cookie=[a,b,c];"},
      {"X-T:\t  spaced out \r\n", "X-T=spaced out ;"},
      {"X-Empty:\r\nLast: no end", "X-Empty=;Last=no end;"},
      {"no colon here\r\n: nameless\r\nA: b: c\r\n", "A=b: c;"},
      {"Lf-Only: x\nNext: y\n", "Lf-Only=x;Next=y;"},
      {"", ""},
      {"X-U: \xC3\xA9t\xC3\xA9\r\n", "X-U=\xC3\xA9t\xC3\xA9;"},
  };
  for (const auto& c : cases) EXPECT_EQ(parsed(c.text), c.map) << c.text;
}

// Random texts of header-like bytes, each in a buffer of exactly its size, so that a read past
// the end is caught by the address checker.
TEST_F(HttpHeaders, RandomTextsStayInside) {
  std::mt19937 draw(20261210);
  const char alphabet[] = "ab:: \t\r\n\r\nXY-";
  for (int round = 0; round < 300; ++round) {
    const size_t n = draw() % 64;
    auto bytes = std::make_unique<uint8_t[]>(n ? n : 1);
    for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(alphabet[draw() % (sizeof alphabet - 1)]);
    cell* map = stack::push_cell();
    simple_io::parse_headers(bytes.get(), n, *map);
    EXPECT_EQ(map->type(), TYPE_MAP);
    stack::pop_cells(1);
  }
}

}  // namespace
}  // namespace tav
