// Text output: appending with widening, truncation and text comparison.
#include "value_fixture.hpp"

namespace tav {
namespace {

using TextOutput = testing::fresh_values;

TEST_F(TextOutput, AppendWidensOnlyWhenNeeded) {
  struct row {
    uint32_t cp;
    uint32_t unit;
  };
  cell text;
  text::make_at(text, 1);
  text::append_c_string(text, "ab");
  for (const row& r : {row{'c', 1}, row{0xE9, 2}, row{0x20AC, 2}, row{'d', 2}, row{0x1F600, 4}, row{'e', 4}}) {
    text::append_char(text, r.cp);
    EXPECT_EQ(buffer_of(text.payload2)->unit(), r.unit) << r.cp;
  }
  EXPECT_EQ(testing::text_of(text), "abc\xC3\xA9\xE2\x82\xAC" "d\xF0\x9F\x98\x80" "e");
  EXPECT_EQ(text::length(text), 8u);
  text::truncate(text, 4);
  EXPECT_EQ(testing::text_of(text), "abc\xC3\xA9");
  text.payload1 = 2;
  EXPECT_EQ(text::length(text), 2u);
  text.payload1 = 9;
  EXPECT_EQ(text::length(text), 0u);
}

TEST_F(TextOutput, Compare) {
  auto make = [](const char* utf8) {
    return text::load_utf8(reinterpret_cast<const uint8_t*>(utf8), std::char_traits<char>::length(utf8));
  };
  node_id abc = make("abc"), upper = make("ABC"), ab = make("ab"), empty = make(""), wide = make("ab\xC3\xA9");
  using namespace actions::op;
  struct row {
    node_id a, b;
    int32_t op, expected;
  };
  for (const row& r : {row{abc, upper, equal, 0}, row{abc, upper, strict_equal, 1}, row{abc, upper, case_sort, 1},
                       row{upper, abc, case_sort, -1}, row{abc, ab, equal, 1}, row{ab, abc, lesser, -1},
                       row{abc, ab, lesser, 1}, row{abc, empty, lesser, 1}, row{empty, empty, equal, 0},
                       row{wide, make("AB\xC3\x89"), equal, 0}, row{abc, abc, same, 0}, row{abc, make("abc"), same, -1}}) {
    EXPECT_EQ(text::compare(r.a, 0, r.b, 0, r.op), r.expected) << r.a << " " << r.b << " op " << r.op;
  }
  EXPECT_EQ(text::compare(abc, 1, make("BC"), 0, equal), 0);
}

}  // namespace
}  // namespace tav
