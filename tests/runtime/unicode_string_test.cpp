// Unicode conversion of string values: loading into string series, encoding through the
// conversion cache, widening of series, and case changes of string and char! values.
#include "runtime/unicode_string.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "runtime/case_folding.hpp"
#include "runtime/errors.hpp"
#include "runtime/series.hpp"
#include "runtime/string_cell.hpp"
#include "tests/runtime/fire_helpers.hpp"
#include "tests/runtime/memory_fixture.hpp"

namespace tav {
namespace {

using bytes = std::vector<uint8_t>;
using code_points = std::vector<uint32_t>;
using testing::fired_by;

code_points units_of(node_id node) {
  series_buffer* buffer = buffer_of(node);
  code_points out;
  for (uint32_t i = 0; i < buffer->count(); ++i) out.push_back(unicode::get_unit(buffer->head(), i, buffer->unit()));
  return out;
}

// A string series of `width` holding exactly these code points, with no spare room.
node_id series_of(uint32_t width, const code_points& cps, int32_t offset_mode = 0) {
  node_id node = alloc_series(static_cast<uint32_t>(cps.size()), width, offset_mode);
  series_buffer* buffer = buffer_of(node);
  for (size_t i = 0; i < cps.size(); ++i) unicode::set_unit(buffer->head(), i, width, cps[i]);
  buffer->tail = buffer->offset + static_cast<uint32_t>(cps.size() * width);
  return node;
}

cell string_of(uint32_t width, const code_points& cps, uint32_t head = 0) {
  return string_cell::make(series_of(width, cps), head);
}

// Every unit the buffer holds lies inside its data area.
void expect_sound(node_id node) {
  series_buffer* buffer = buffer_of(node);
  EXPECT_LE(buffer->offset, buffer->tail);
  EXPECT_LE(buffer->tail, buffer->size);
  EXPECT_EQ(buffer->used() % buffer->unit(), 0u);
}

// The bytes of the binary! argument of the last access/invalid-utf8.
bytes invalid_utf8_argument() {
  EXPECT_EQ(last_fired.arg_count, 1u);
  const cell& arg = last_fired.args[0];
  EXPECT_EQ(arg.type(), string_cell::binary_type);
  series_buffer* buffer = buffer_of(arg.payload2);
  return bytes(buffer->head(), buffer->end());
}

using UnicodeString = testing::fresh_memory;

// ---- loading

TEST_F(UnicodeString, LoadUtf8MakesStringsOfTheNeededWidth) {
  struct row {
    bytes input;
    bool line_flag;
    code_points expected;
    uint32_t width;
    size_t left;
  };
  const row rows[] = {
      {{}, false, {}, 1, 0},
      {{0xEF, 0xBB, 0xBF, 0x41}, false, {'A'}, 1, 0},
      {{0x41, 0x0D, 0x0A, 0x42, 0x0D, 0x43}, true, {'A', '\n', 'B', '\n', 'C'}, 1, 0},
      {{0x41, 0x0D, 0x0A, 0x42, 0x0D, 0x43}, false, {'A', '\r', '\n', 'B', '\r', 'C'}, 1, 0},
      {{0xC3, 0xA9}, false, {0xE9}, 1, 0},
      {{0xE2, 0x82, 0xAC}, false, {0x20AC}, 2, 0},
      {{0xF0, 0x9F, 0x98, 0x80}, false, {0x1F600}, 4, 0},
      {{0x61, 0xC3, 0xA9, 0xE2, 0x82, 0xAC, 0x62, 0xF0, 0x9F, 0x98, 0x80}, false, {'a', 0xE9, 0x20AC, 'b', 0x1F600}, 4, 0},
      {{0xED, 0xA0, 0x80}, false, {0xD800}, 2, 0},
      {{0x41, 0xE2, 0x82}, false, {'A'}, 1, 2},
  };
  for (const row& r : rows) {
    size_t left = 99;
    node_id node = unicode::load_utf8(r.input.data(), r.input.size(), 0, &left, r.line_flag);
    EXPECT_EQ(units_of(node), r.expected) << ::testing::PrintToString(r.input);
    EXPECT_EQ(buffer_of(node)->unit(), r.width) << ::testing::PrintToString(r.input);
    EXPECT_EQ(left, r.left) << ::testing::PrintToString(r.input);
    expect_sound(node);
  }
}

TEST_F(UnicodeString, LoadUtf8RewritesATargetFromItsStart) {
  // A full target whose data starts in the middle of its area (head insertion): the load
  // must grow it and widen it twice without writing past its end.
  node_id target = series_of(1, {'x', 'y', 'z'}, -1);
  node_id neighbour = series_of(1, code_points(64, '#'));
  cell value = string_cell::make(target, 1);
  bytes input = {'a', 'b', 0xE2, 0x82, 0xAC, 'c', 0xF0, 0x9F, 0x98, 0x80, 'd', 'e', 'f', 'g'};
  size_t left = 99;
  EXPECT_EQ(unicode::load_utf8_series(input.data(), input.size(), value, &left), target);
  EXPECT_EQ(left, 0u);
  EXPECT_EQ(units_of(target), (code_points{'a', 'b', 0x20AC, 'c', 0x1F600, 'd', 'e', 'f', 'g'}));
  EXPECT_EQ(buffer_of(target)->unit(), 4u);
  EXPECT_EQ(units_of(neighbour), code_points(64, '#'));
  expect_sound(target);

  // Loading again into the now wide target keeps its width, and a shorter text its tail.
  bytes shorter = {'h', 'i'};
  unicode::load_utf8(shorter.data(), shorter.size(), target, nullptr, false);
  EXPECT_EQ(units_of(target), (code_points{'h', 'i'}));
  EXPECT_EQ(buffer_of(target)->unit(), 4u);
  // The new-string form drops an incomplete final sequence.
  bytes cut = {'o', 'k', 0xF0, 0x9F};
  EXPECT_EQ(units_of(unicode::load_utf8_new(cut.data(), cut.size())), (code_points{'o', 'k'}));
}

TEST_F(UnicodeString, InvalidUtf8RaisesWithTheBytesLeftAtTheSequence) {
  struct row {
    bytes input;
    bytes argument;
    code_points kept;
  };
  const row rows[] = {
      {{0xED, 0xB3, 0x80}, {0xED, 0xB3, 0x80}, {}},
      {{0x41, 0x80}, {0x80}, {'A'}},  // as `to string! #{4180}` meets it
      {{0x41, 0x42, 0xC3, 0x41, 0x42, 0x43, 0x44}, {0xC3, 0x41, 0x42, 0x43}, {'A', 'B'}},
      {{0xE2, 0x82, 0xAC, 0xFF}, {0xFF}, {0x20AC}},
  };
  for (const row& r : rows) {
    EXPECT_EQ(fired_by([&] { unicode::load_utf8_new(r.input.data(), r.input.size()); }), error_id::access_invalid_utf8);
    EXPECT_EQ(invalid_utf8_argument(), r.argument) << ::testing::PrintToString(r.input);
    EXPECT_EQ(error_code(error_id::access_invalid_utf8), 502u);

    // What was decoded before the bad bytes stays in a target, and its tail says so.
    node_id target = series_of(1, code_points(10, '-'));
    EXPECT_EQ(fired_by([&] { unicode::load_utf8(r.input.data(), r.input.size(), target, nullptr, false); }),
              error_id::access_invalid_utf8);
    EXPECT_EQ(units_of(target), r.kept) << ::testing::PrintToString(r.input);
  }
}

bytes utf16le(const std::vector<uint16_t>& units) {
  bytes out;
  for (uint16_t u : units) {
    out.push_back(static_cast<uint8_t>(u));
    out.push_back(static_cast<uint8_t>(u >> 8));
  }
  return out;
}

TEST_F(UnicodeString, LoadUtf16ChoosesTheWidthForNewStringsAndTargets) {
  node_id empty = unicode::load_utf16(nullptr, 0, 0, false);
  EXPECT_EQ(buffer_of(empty)->unit(), 2u);
  EXPECT_EQ(buffer_of(empty)->used(), 0u);
  EXPECT_GE(buffer_of(empty)->size, 2u);

  struct row {
    std::vector<uint16_t> units;
    bool line_flag;
    code_points expected;
    uint32_t width;
  };
  const row rows[] = {
      {{'A', '\r', '\n', 0xE9}, true, {'A', '\n', 0xE9}, 1},
      {{'A', 0x20AC, '\r'}, false, {'A', 0x20AC, '\r'}, 2},
      {{0xD83D, 0xDE00, '\r', '\n'}, true, {0x1F600, '\n'}, 4},
      {{'A', 0xD800, 'B'}, false, {'A', 0xD800, 'B'}, 4},  // a lead without its trail stays
      {{'A', 0xDBFF}, false, {'A', 0xDBFF}, 4},            // also at the very end
  };
  for (const row& r : rows) {
    bytes input = utf16le(r.units);
    node_id fresh = unicode::load_utf16(input.data(), r.units.size(), 0, r.line_flag);
    EXPECT_EQ(units_of(fresh), r.expected);
    EXPECT_EQ(buffer_of(fresh)->unit(), r.width);
    expect_sound(fresh);
    // A target of another width takes the width of the text.
    node_id target = series_of(2, {0x100});
    EXPECT_EQ(unicode::load_utf16(input.data(), r.units.size(), target, r.line_flag), target);
    EXPECT_EQ(units_of(target), r.expected);
    EXPECT_EQ(buffer_of(target)->unit(), r.width);
    expect_sound(target);
  }
}

// ---- encoding through the cache

std::string utf8_text(const uint8_t* data, int64_t length) {
  return std::string(reinterpret_cast<const char*>(data), static_cast<size_t>(length));
}

TEST_F(UnicodeString, ToUtf8EncodesEveryWidthFromTheHead) {
  struct row {
    uint32_t width;
    code_points cps;
    uint32_t head;
    int64_t max_units;
    bool crlf;
    std::string expected;
  };
  const row rows[] = {
      {1, {'a', 0xE9, '\n', 'b'}, 0, -1, false, "a\xC3\xA9\nb"},
      {1, {'a', 0xE9, '\n', 'b'}, 0, -1, true, "a\xC3\xA9\r\nb"},
      {1, {'a', 0xE9, '\n', 'b'}, 1, 2, true, "\xC3\xA9\r\n"},
      {2, {'a', 0x20AC, 0xFFFF}, 0, -1, false, "a\xE2\x82\xAC\xEF\xBF\xBF"},
      {2, {'a', 0x20AC}, 0, 1, false, "a"},
      {4, {0x1F600, '\n', 0x10FFFF}, 0, -1, true, "\xF0\x9F\x98\x80\r\n\xF4\x8F\xBF\xBF"},
      {4, {'x'}, 5, -1, false, ""},  // a head past the tail gives nothing
      {1, {}, 0, -1, false, ""},
  };
  for (const row& r : rows) {
    cell value = string_of(r.width, r.cps, r.head);
    int64_t length = r.max_units;
    const uint8_t* out = unicode::to_utf8_part(value, &length, r.crlf);
    EXPECT_EQ(utf8_text(out, length), r.expected);
    EXPECT_EQ(out[length], 0);
    ASSERT_NE(string_cell::cache(value), 0u);
    EXPECT_EQ(buffer_of(string_cell::cache(value))->head(), out);

    if (r.crlf) continue;  // a caller's buffer gets no line conversion
    uint8_t buffer[64];
    std::memset(buffer, 0xAA, sizeof buffer);
    size_t written = unicode::to_utf8_buffer(value, buffer, r.max_units, true);
    EXPECT_EQ(written, static_cast<size_t>(length));
    EXPECT_EQ(std::memcmp(buffer, out, written + 1), 0);
  }
}

TEST_F(UnicodeString, TheCacheHoldsTheWidestTextOfEachWidthAndIsReused) {
  // The worst case per width: two bytes for 1, three for 2, four for 4, two for every LF
  // with CR LF. The terminator must fit as well.
  struct row {
    uint32_t width;
    uint32_t cp;
    bool crlf;
    size_t bytes_each;
  };
  const row rows[] = {{1, 0xFF, false, 2}, {1, '\n', true, 2}, {2, 0xFFFF, false, 3}, {4, 0x10FFFF, false, 4}};
  for (const row& r : rows) {
    for (uint32_t n : {1u, 7u, 8u, 100u}) {
      cell value = string_of(r.width, code_points(n, r.cp));
      int64_t length = -1;
      unicode::to_utf8_part(value, &length, r.crlf);
      EXPECT_EQ(static_cast<size_t>(length), n * r.bytes_each);
      EXPECT_GE(buffer_of(string_cell::cache(value))->size, n * r.bytes_each + 1);
    }
  }

  cell value = string_of(1, {'a', 'b'});
  int64_t length = -1;
  unicode::to_utf8(value, &length);
  node_id cache = string_cell::cache(value);
  bytes longer(300, 'z');
  unicode::load_utf8_series(longer.data(), longer.size(), value, nullptr);
  length = -1;
  const uint8_t* out = unicode::to_utf8(value, &length);
  EXPECT_EQ(string_cell::cache(value), cache);  // grown, not replaced
  EXPECT_EQ(utf8_text(out, length), std::string(300, 'z'));
  EXPECT_GE(buffer_of(cache)->size, 301u);
}

TEST_F(UnicodeString, EncodingACodePointAboveTheLastRaisesInvalidChar) {
  cell value = string_of(4, {'a', 0x110000});
  int64_t length = -1;
  EXPECT_EQ(fired_by([&] { unicode::to_utf8(value, &length); }), error_id::script_invalid_char);
  ASSERT_EQ(last_fired.arg_count, 1u);
  EXPECT_EQ(last_fired.args[0].type(), string_cell::integer_type);
  EXPECT_EQ(last_fired.args[0].payload2, 0x110000u);

  length = -1;
  EXPECT_EQ(unicode::to_utf16_part(value, &length, false), nullptr);
}

TEST_F(UnicodeString, ToUtf8LimitedStopsBeforeACharacterThatDoesNotFit) {
  cell value = string_of(2, {'a', 0x20AC, 'b'});  // 61 E2 82 AC 62
  struct row {
    size_t room;
    bool terminate;
    bytes expected;  // what lands in the destination, terminator included
  };
  const row rows[] = {
      {0, false, {}},       {0, true, {}},
      {3, false, {'a'}},    {4, false, {'a', 0xE2, 0x82, 0xAC}},
      {4, true, {'a', 0}},  {5, true, {'a', 0xE2, 0x82, 0xAC, 0}},
      {6, true, {'a', 0xE2, 0x82, 0xAC, 'b', 0}},
  };
  for (const row& r : rows) {
    uint8_t out[8];
    std::memset(out, 0xAA, sizeof out);
    size_t written = unicode::to_utf8_limited(value, out, r.room, -1, r.terminate);
    EXPECT_EQ(written, r.expected.size() - (r.terminate && !r.expected.empty()));
    EXPECT_EQ(bytes(out, out + r.expected.size()), r.expected) << r.room;
    EXPECT_EQ(out[r.expected.size()], 0xAA) << r.room;  // nothing past what was written
  }
  uint8_t out[8];
  EXPECT_EQ(unicode::to_utf8_limited(value, out, 8, 1, false), 1u);
}

TEST_F(UnicodeString, ToUtf16MakesPairsAndCrLfWithRoomForThem) {
  struct row {
    uint32_t width;
    code_points cps;
    int64_t max_units;
    bool crlf;
    std::vector<uint16_t> expected;
  };
  const row rows[] = {
      {4, {0x10000}, -1, false, {0xD800, 0xDC00}},
      {4, {0x10000, '\n', 0x10FFFF}, -1, true, {0xD800, 0xDC00, '\r', '\n', 0xDBFF, 0xDFFF}},
      {4, {0x10000, '\n', 'x'}, 2, false, {0xD800, 0xDC00, '\n'}},
      {2, {0x20AC, '\n'}, -1, true, {0x20AC, '\r', '\n'}},
      {2, {0x20AC, '\n'}, -1, false, {0x20AC, '\n'}},
      {1, {0xE9, '\n', '\n'}, -1, true, {0xE9, '\r', '\n', '\r', '\n'}},
  };
  for (const row& r : rows) {
    cell value = string_of(r.width, r.cps);
    int64_t length = r.max_units;
    const uint16_t* out = unicode::to_utf16_part(value, &length, r.crlf);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(std::vector<uint16_t>(out, out + length), r.expected);
    EXPECT_EQ(out[length], 0);
    EXPECT_GE(buffer_of(string_cell::cache(value))->size, (r.expected.size() + 1) * 2);
  }

  // Every character astral or a line feed: the most units per character.
  cell value = string_of(4, {0x1F600, '\n', 0x1F600, '\n', 0x1F600, '\n', 0x1F600});
  const uint16_t* out = unicode::to_utf16(value);
  EXPECT_EQ(out[13], 0xDE00);
  EXPECT_EQ(out[14], 0);
  EXPECT_GE(buffer_of(string_cell::cache(value))->size, 30u);
}

// ---- widening

TEST_F(UnicodeString, WideningConvertsInPlaceOrGrowsFirst) {
  struct row {
    series_buffer* (*widen)(series_buffer*);
    uint32_t from, to;
  };
  const row rows[] = {{unicode::latin1_to_ucs2, 1, 2}, {unicode::latin1_to_ucs4, 1, 4}, {unicode::ucs2_to_ucs4, 2, 4}};
  for (const row& r : rows) {
    const code_points cps = {'a', 0xE9, 0xFF, 'z'};
    for (int32_t offset_mode : {0, -1}) {
      // A full buffer must grow; with head insertion the units start in the middle of the
      // area, so even a large area may be too small above them.
      node_id full = series_of(r.from, cps, offset_mode);
      node_id neighbour = series_of(1, code_points(32, '#'));
      series_buffer* widened = r.widen(buffer_of(full));
      EXPECT_EQ(widened, buffer_of(full));
      EXPECT_EQ(widened->unit(), r.to);
      EXPECT_EQ(units_of(full), cps);
      EXPECT_GE(widened->size - widened->offset, (cps.size() + 1) * r.to);
      EXPECT_EQ(units_of(neighbour), code_points(32, '#'));
    }
    // With room enough the buffer stays where it is.
    node_id roomy = alloc_series(64, r.from, 0);
    series_buffer* before = buffer_of(roomy);
    before->tail = 3 * r.from;
    unicode::set_unit(before->head(), 0, r.from, 'x');
    unicode::set_unit(before->head(), 1, r.from, 0xFF);
    unicode::set_unit(before->head(), 2, r.from, 'y');
    EXPECT_EQ(r.widen(before), before);
    EXPECT_EQ(units_of(roomy), (code_points{'x', 0xFF, 'y'}));
  }
}

// ---- case changes

code_points upper_of(uint32_t width, const code_points& cps, const cell* part = nullptr) {
  cell value = string_of(width, cps);
  case_folding::change_case(value, part, true);
  return units_of(string_cell::node(value));
}

TEST_F(UnicodeString, ChangeCaseMapsStringsAndWidensWhenNeeded) {
  cell value = string_of(1, {'a', 0xFF, 'b'});
  EXPECT_EQ(&case_folding::change_case(value, nullptr, true), &value);
  EXPECT_EQ(units_of(string_cell::node(value)), (code_points{'A', 0x178, 'B'}));
  EXPECT_EQ(buffer_of(string_cell::node(value))->unit(), 2u);
  expect_sound(string_cell::node(value));

  struct row {
    uint32_t width;
    code_points input;
    bool to_upper;
    code_points expected;
  };
  const row rows[] = {
      {1, {'h', 'e', 'l', 'l', 'o', '1', '!'}, true, {'H', 'E', 'L', 'L', 'O', '1', '!'}},
      {2, {0x3A3, 'A'}, false, {0x3C3, 'a'}},
      {4, {0x1E922, 0x1E943, 0x10597, 0x1F600}, true, {0x1E900, 0x1E921, 0x10597, 0x1F600}},
      {4, {0x1E921, 0x10400}, false, {0x1E943, 0x10428}},
  };
  for (const row& r : rows) {
    cell text = string_of(r.width, r.input);
    case_folding::change_case(text, nullptr, r.to_upper);
    EXPECT_EQ(units_of(string_cell::node(text)), r.expected);
  }
}

TEST_F(UnicodeString, ChangeCaseKeepsToItsPart) {
  const code_points text = {'a', 'b', 'c', 'd', 'e'};
  cell three{string_cell::integer_type, 0, 3, 0};
  EXPECT_EQ(upper_of(1, text, &three), (code_points{'A', 'B', 'C', 'd', 'e'}));
  cell negative{string_cell::integer_type, 0, static_cast<uint32_t>(-2), 0};
  EXPECT_EQ(upper_of(1, text, &negative), text);
  cell too_many{string_cell::integer_type, 0, 1000, 0};
  EXPECT_EQ(upper_of(1, text, &too_many), (code_points{'A', 'B', 'C', 'D', 'E'}));

  // A position in the same series limits the change to the characters before it.
  cell value = string_of(1, text, 1);
  cell end = value;
  end.payload1 = 3;
  case_folding::change_case(value, &end, true);
  EXPECT_EQ(units_of(string_cell::node(value)), (code_points{'a', 'B', 'C', 'd', 'e'}));
  cell before = value;
  before.payload1 = 0;
  case_folding::change_case(value, &before, false);
  EXPECT_EQ(units_of(string_cell::node(value)), (code_points{'a', 'B', 'C', 'd', 'e'}));

  // A part of another series, or of another type over the same one, is refused.
  cell other = string_of(1, text, 2);
  cell as_file = value;
  set_type(as_file, string_cell::file_type);
  for (const cell& part : {other, as_file}) {
    EXPECT_EQ(fired_by([&] { case_folding::change_case(value, &part, true); }), error_id::script_invalid_part);
    ASSERT_EQ(last_fired.arg_count, 1u);
    EXPECT_EQ(std::memcmp(&last_fired.args[0], &part, sizeof(cell)), 0);
  }
  EXPECT_EQ(units_of(string_cell::node(value)), (code_points{'a', 'B', 'C', 'd', 'e'}));
}

TEST_F(UnicodeString, ChangeCaseMovesAHeadPastTheTailAndMapsChars) {
  cell value = string_of(1, {'a', 'b'}, 9);
  case_folding::change_case(value, nullptr, true);
  EXPECT_EQ(string_cell::head(value), 2);
  EXPECT_EQ(units_of(string_cell::node(value)), (code_points{'a', 'b'}));

  struct row {
    uint32_t cp;
    bool to_upper;
    uint32_t expected;
  };
  const row rows[] = {{'a', true, 'A'}, {0xFF, true, 0x178}, {0x3A3, false, 0x3C3}, {0x1E922, true, 0x1E900}, {'7', true, '7'}};
  for (const row& r : rows) {
    cell ch{string_cell::char_type, 0, r.cp, 0};
    case_folding::change_case(ch, nullptr, r.to_upper);
    EXPECT_EQ(ch.payload2, r.expected);
    EXPECT_EQ(ch.type(), string_cell::char_type);
  }

  cell number{string_cell::integer_type, 0, 5, 0};
  EXPECT_EQ(fired_by([&] { case_folding::change_case(number, nullptr, true); }), error_id::script_invalid_arg);
}

}  // namespace
}  // namespace tav
