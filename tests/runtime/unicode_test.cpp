// Unicode conversion: UTF-8 decoding and encoding, UTF-16 encoding, widening, and the
// UTF-8 and UTF-16 loaders into units of 1, 2 or 4 bytes.
#include "runtime/unicode.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "runtime/errors.hpp"
#include "runtime/string_cell.hpp"
#include "runtime/throw.hpp"
#include "tests/runtime/memory_fixture.hpp"
#include "tests/runtime/unit_buffer.hpp"

namespace tav {
namespace {

using bytes = std::vector<uint8_t>;
using code_points = std::vector<uint32_t>;

// The error id `body` fired, or error_id::count when it returned.
template <class Body>
error_id fired_by(Body&& body) {
  try {
    body();
  } catch (const system_throw_signal&) {
    EXPECT_EQ(thrown_code, code::error);
    return last_fired.id;
  }
  return error_id::count;
}

// The bytes of the binary! that the last access/invalid-utf8 carried.
bytes invalid_utf8_bytes() {
  EXPECT_EQ(last_fired.arg_count, 1u);
  const cell& arg = last_fired.args[0];
  EXPECT_EQ(arg.type(), string_cell::binary_type);
  series_buffer* buffer = buffer_of(arg.payload2);
  EXPECT_EQ(buffer->unit(), 1u);
  return bytes(buffer->head(), buffer->end());
}

// Raising access/invalid-utf8 allocates its argument.
using Utf8Errors = testing::fresh_memory;

// A copy of `input` in a heap block of exactly its size, so reading past it is caught.
std::unique_ptr<uint8_t[]> exact_copy(const bytes& input) {
  auto copy = std::make_unique<uint8_t[]>(input.size());
  if (!input.empty()) std::memcpy(copy.get(), input.data(), input.size());
  return copy;
}

bytes utf8_of(const code_points& cps) {
  bytes out;
  for (uint32_t cp : cps) {
    uint8_t buffer[4];
    int n = unicode::cp_to_utf8(cp, buffer);
    out.insert(out.end(), buffer, buffer + n);
  }
  return out;
}

TEST(Utf8Dfa, DecodesAndRejectsLikeTheTable) {
  struct row {
    bytes input;  // followed by a terminating 0
    int32_t cp;
    size_t consumed;
  };
  const row rows[] = {
      {{0x41}, 0x41, 1},
      {{0xC3, 0xA9}, 0xE9, 2},
      {{0xE2, 0x82, 0xAC}, 0x20AC, 3},
      {{0xF0, 0x9F, 0x98, 0x80}, 0x1F600, 4},
      {{0xF4, 0x8F, 0xBF, 0xBF}, 0x10FFFF, 4},
      {{0x80, 0x41}, -1, 1},              // stray continuation: consumed alone
      {{0xC0, 0x80}, -1, 1},              // never-valid lead
      {{0xF5, 0x80}, -1, 1},
      {{0xE2, 0x41}, -1, 2},              // bad continuation: consumed with its lead
      {{0xE0, 0x80, 0x80}, -1, 2},        // overlong
      {{0xED, 0xA0, 0x80}, -1, 2},        // surrogate
      {{0xF0, 0x8F, 0x80, 0x80}, -1, 2},  // overlong
      {{0xF4, 0x90, 0x80, 0x80}, -1, 2},  // above 0x10FFFF
      {{0xF0, 0x9F, 0x98}, -1, 4},        // cut by the terminator, which is consumed
  };
  for (const row& r : rows) {
    bytes input = r.input;
    input.push_back(0);
    int32_t cp = 0;
    const uint8_t* next = unicode::fast_decode_utf8_char(input.data(), &cp);
    EXPECT_EQ(cp, r.cp) << ::testing::PrintToString(r.input);
    EXPECT_EQ(static_cast<size_t>(next - input.data()), r.consumed) << ::testing::PrintToString(r.input);
  }
}

TEST(Utf8, EveryScalarValueRoundTripsThroughBothDecoders) {
  for (uint32_t cp = 0; cp <= unicode::max_code_point; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    uint8_t buffer[5] = {};
    int n = unicode::cp_to_utf8(cp, buffer);
    ASSERT_EQ(n, unicode::cp_utf8_size(cp));
    int32_t fast = -2;
    ASSERT_EQ(unicode::fast_decode_utf8_char(buffer, &fast), buffer + n);
    ASSERT_EQ(fast, static_cast<int32_t>(cp));
    size_t available = static_cast<size_t>(n);
    ASSERT_EQ(unicode::decode_utf8_char(buffer, &available), static_cast<int32_t>(cp));
    ASSERT_EQ(available, static_cast<size_t>(n));
    ASSERT_EQ(unicode::utf8_lead_size(buffer[0]), n == 1 ? 0 : n);
  }
}

TEST(Utf8, ValidatingDecoderAcceptsOverlongsAndMostSurrogates) {
  struct row {
    bytes input;
    int32_t cp;
  };
  const row rows[] = {{{0xC0, 0x80}, 0},
                      {{0xE0, 0x80, 0x80}, 0},
                      {{0xED, 0xA0, 0x80}, 0xD800},
                      {{0xED, 0xB4, 0x80}, 0xDD00},
                      {{0xF0, 0x80, 0x80, 0x80}, 0}};
  for (const row& r : rows) {
    size_t available = r.input.size();
    EXPECT_EQ(unicode::decode_utf8_char(r.input.data(), &available), r.cp) << ::testing::PrintToString(r.input);
    EXPECT_EQ(available, r.input.size());
  }
}

TEST(Utf8, ValidatingDecoderAnswersMinusOneWhenBytesAreMissing) {
  for (const bytes& input : {bytes{0xC3}, bytes{0xE2, 0x82}, bytes{0xF0, 0x9F, 0x98}, bytes{0xE2, 0x41}}) {
    auto copy = exact_copy(input);
    size_t available = input.size();
    EXPECT_EQ(unicode::decode_utf8_char(copy.get(), &available), -1) << ::testing::PrintToString(input);
    EXPECT_EQ(available, input.size());
  }
  size_t none = 0;
  EXPECT_EQ(unicode::decode_utf8_char(nullptr, &none), -1);
}

TEST_F(Utf8Errors, InvalidBytesRaiseWithAtMostFourBytesLeft) {
  struct row {
    bytes input;
    bytes argument;
  };
  const row rows[] = {
      {{0x80}, {0x80}},
      {{0xFF, 0x41}, {0xFF, 0x41}},
      {{0xC3, 0x28}, {0xC3, 0x28}},
      {{0xED, 0xB3, 0x80}, {0xED, 0xB3, 0x80}},
      {{0xF4, 0x90, 0x80, 0x80, 0x41, 0x42}, {0xF4, 0x90, 0x80, 0x80}},
      {{0xE2, 0x82, 0x41, 0x42, 0x43}, {0xE2, 0x82, 0x41, 0x42}},
  };
  for (const row& r : rows) {
    auto copy = exact_copy(r.input);
    size_t available = r.input.size();
    EXPECT_EQ(fired_by([&] { unicode::decode_utf8_char(copy.get(), &available); }), error_id::access_invalid_utf8)
        << ::testing::PrintToString(r.input);
    EXPECT_EQ(invalid_utf8_bytes(), r.argument) << ::testing::PrintToString(r.input);
  }
}

TEST(Utf8, CountAndSkipStayInsideTheirRange) {
  bytes text = utf8_of({'a', 0xE9, 0x20AC, 0x1F600, 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j', 0xE9});
  auto copy = exact_copy(text);
  const uint8_t* start = copy.get();
  const uint8_t* end = start + text.size();
  EXPECT_EQ(unicode::count_utf8_chars(start, end), 14u);
  EXPECT_EQ(unicode::skip_utf8_chars(start, end, 4), start + 1 + 2 + 3 + 4);
  EXPECT_EQ(unicode::skip_utf8_chars(start, end, 13), end - 2);
  EXPECT_EQ(unicode::skip_utf8_chars(start, end, 100), end);
  EXPECT_EQ(unicode::skip_utf8_chars(start, end, 0), start);

  // A sequence cut by the end counts as one character and nothing past the end is read.
  bytes cut = {'a', 'b', 0xF0, 0x9F};
  auto cut_copy = exact_copy(cut);
  EXPECT_EQ(unicode::count_utf8_chars(cut_copy.get(), cut_copy.get() + cut.size()), 3u);
  EXPECT_EQ(unicode::skip_utf8_chars(cut_copy.get(), cut_copy.get() + cut.size(), 3), cut_copy.get() + cut.size());

  // Long ASCII runs go eight bytes at a time; the count must not overshoot a short skip.
  bytes ascii(21, 'x');
  auto ascii_copy = exact_copy(ascii);
  EXPECT_EQ(unicode::count_utf8_chars(ascii_copy.get(), ascii_copy.get() + 21), 21u);
  EXPECT_EQ(unicode::skip_utf8_chars(ascii_copy.get(), ascii_copy.get() + 21, 11), ascii_copy.get() + 11);
}

TEST(Utf8, LeadSizeByTopBits) {
  const std::pair<uint8_t, int> rows[] = {{0x41, 0}, {0x80, 0}, {0xBF, 0}, {0xC0, 2}, {0xDF, 2},
                                          {0xE0, 3}, {0xEF, 3}, {0xF0, 4}, {0xFF, 4}};
  for (auto [byte, size] : rows) EXPECT_EQ(unicode::utf8_lead_size(byte), size) << int{byte};
}

TEST(Utf8, EncodingAboveTheLastCodePointRaisesInvalidChar) {
  uint8_t out[4];
  for (uint32_t cp : {0x110000u, 0xFFFFFFFFu}) {
    EXPECT_EQ(fired_by([&] { unicode::cp_utf8_size(cp); }), error_id::script_invalid_char);
    ASSERT_EQ(last_fired.arg_count, 1u);
    EXPECT_EQ(last_fired.args[0].type(), string_cell::integer_type);
    EXPECT_EQ(last_fired.args[0].payload2, cp);
    EXPECT_EQ(fired_by([&] { unicode::cp_to_utf8(cp, out); }), error_id::script_invalid_char);
    EXPECT_EQ(fired_by([&] { unicode::cp_to_utf8_limited(cp, out, 4); }), error_id::script_invalid_char);
  }
  const uint32_t wide[] = {0x41, 0x110000};
  EXPECT_EQ(fired_by([&] { unicode::utf8_size_of_run(wide, 2, 4); }), error_id::script_invalid_char);
  uint8_t big[16];
  EXPECT_EQ(fired_by([&] { unicode::encode_utf8(wide, 2, 4, big, false); }), error_id::script_invalid_char);
}

TEST(Utf8, LimitedEncodingStopsInsideASequence) {
  uint8_t out[4] = {0, 0, 0, 0};
  EXPECT_EQ(unicode::cp_to_utf8_limited(0x20AC, out, 2), 2);
  EXPECT_EQ(bytes(out, out + 4), (bytes{0xE2, 0x82, 0, 0}));
  EXPECT_EQ(unicode::cp_to_utf8_limited(0x20AC, out, 0), 0);

  const uint16_t units[] = {'a', 0xE9, 0x20AC};
  uint8_t run[8] = {};
  EXPECT_EQ(unicode::encode_utf8_limited(units, 3, 2, run, 5), 5u);
  EXPECT_EQ(bytes(run, run + 6), (bytes{'a', 0xC3, 0xA9, 0xE2, 0x82, 0}));
  EXPECT_EQ(unicode::encode_utf8_limited(units, 3, 2, run, 100), 6u);
}

TEST(Utf8, RunsOfEachWidthEncodeWithAndWithoutCrLf) {
  const uint8_t latin1[] = {'a', '\n', 0xE9};
  const uint16_t ucs2[] = {'a', '\n', 0x20AC};
  const uint32_t ucs4[] = {'a', '\n', 0x1F600};
  struct row {
    const void* units;
    uint32_t width;
    bytes plain;
  };
  const row rows[] = {{latin1, 1, {'a', '\n', 0xC3, 0xA9}},
                      {ucs2, 2, {'a', '\n', 0xE2, 0x82, 0xAC}},
                      {ucs4, 4, {'a', '\n', 0xF0, 0x9F, 0x98, 0x80}}};
  for (const row& r : rows) {
    // The documented worst case: 2, 3 or 4 bytes per unit.
    std::vector<uint8_t> out(3 * (r.width == 1 ? 2 : r.width + 0u));
    EXPECT_EQ(unicode::utf8_size_of_run(r.units, 3, r.width), r.plain.size());
    size_t n = unicode::encode_utf8(r.units, 3, r.width, out.data(), false);
    EXPECT_EQ(bytes(out.begin(), out.begin() + static_cast<ptrdiff_t>(n)), r.plain) << r.width;
    bytes with_cr = r.plain;
    with_cr.insert(with_cr.begin() + 1, '\r');
    n = unicode::encode_utf8(r.units, 3, r.width, out.data(), true);
    EXPECT_EQ(bytes(out.begin(), out.begin() + static_cast<ptrdiff_t>(n)), with_cr) << r.width;
  }
}

// ASCII bytes are copied eight at a time: a byte above 7F or a line feed to widen may fall
// anywhere in or after such a block.
TEST(Utf8, ByteRunsEncodeAroundTheirAsciiBlocks) {
  for (uint8_t special : {uint8_t{0xE9}, uint8_t{0x80}, uint8_t{'\n'}})
    for (uint32_t count : {7u, 8u, 9u, 16u, 23u}) {
      for (uint32_t at = 0; at <= count; ++at) {  // at == count: all ASCII
        std::vector<uint8_t> units(count);
        for (uint32_t i = 0; i < count; ++i) units[i] = static_cast<uint8_t>(i == at ? special : 'a' + i);
        for (bool crlf : {false, true}) {
          bytes expected;
          for (uint8_t u : units) {
            if (u == '\n' && crlf) expected.push_back('\r');
            if (u < 0x80) {
              expected.push_back(u);
            } else {
              expected.push_back(static_cast<uint8_t>(0xC0 | u >> 6));
              expected.push_back(static_cast<uint8_t>(0x80 | (u & 0x3F)));
            }
          }
          std::vector<uint8_t> out(2 * count + 1);
          size_t n = unicode::encode_utf8(units.data(), count, 1, out.data(), crlf);
          EXPECT_EQ(bytes(out.begin(), out.begin() + static_cast<ptrdiff_t>(n)), expected)
              << count << " " << at << " " << crlf;
        }
      }
    }
}

TEST(Utf16, CodePointsEncodeToOneOrTwoUnits) {
  struct row {
    uint32_t cp;
    std::vector<uint16_t> units;
  };
  const row rows[] = {{0x41, {0x41}},
                      {0xFFFF, {0xFFFF}},
                      {0x10000, {0xD800, 0xDC00}},
                      {0x1F600, {0xD83D, 0xDE00}},
                      {0x10FFFF, {0xDBFF, 0xDFFF}},
                      {0x110000, {}}};
  for (const row& r : rows) {
    uint16_t out[2] = {};
    int n = unicode::cp_to_utf16(r.cp, out);
    EXPECT_EQ(std::vector<uint16_t>(out, out + n), r.units) << std::hex << r.cp;
  }
}

TEST(Utf16, RunsEncodeWithPairsAndCrLfInTheRoomMeasured) {
  const uint8_t latin1[] = {'a', '\n', 0xE9};
  const uint16_t ucs2[] = {'a', '\n', 0xD800};  // a lone surrogate unit is copied
  const uint32_t ucs4[] = {0x10000, '\n', 'b'};
  struct row {
    const void* units;
    uint32_t width;
    std::vector<uint16_t> plain, crlf;
  };
  const row rows[] = {{latin1, 1, {'a', '\n', 0xE9}, {'a', '\r', '\n', 0xE9}},
                      {ucs2, 2, {'a', '\n', 0xD800}, {'a', '\r', '\n', 0xD800}},
                      {ucs4, 4, {0xD800, 0xDC00, '\n', 'b'}, {0xD800, 0xDC00, '\r', '\n', 'b'}}};
  for (const row& r : rows) {
    for (bool crlf : {false, true}) {
      const auto& expected = crlf ? r.crlf : r.plain;
      size_t size = unicode::utf16_size_of_run(r.units, 3, r.width, crlf);
      EXPECT_EQ(size, expected.size());
      std::vector<uint16_t> out(size);  // exactly the room measured
      ptrdiff_t n = unicode::encode_utf16(r.units, 3, r.width, out.data(), crlf);
      EXPECT_EQ(n, static_cast<ptrdiff_t>(expected.size()));
      EXPECT_EQ(out, expected) << r.width << crlf;
    }
  }
  const uint32_t too_big[] = {'a', 0x110000};
  uint16_t out[4];
  EXPECT_EQ(unicode::encode_utf16(too_big, 2, 4, out, false), -1);
}

TEST(Units, WideningInPlaceKeepsEveryValue) {
  struct row {
    uint32_t from, to;
  };
  for (auto [from, to] : {row{1, 2}, row{1, 4}, row{2, 4}}) {
    std::vector<uint8_t> buffer(40 * to);
    for (uint32_t i = 0; i < 40; ++i) unicode::set_unit(buffer.data(), i, from, 0xF0 + i);
    unicode::widen_units(buffer.data(), 40, from, to);
    for (uint32_t i = 0; i < 40; ++i) ASSERT_EQ(unicode::get_unit(buffer.data(), i, to), (0xF0 + i) & (from == 1 ? 0xFF : 0xFFFF));
  }
}

// ---- the UTF-8 loader

struct load_case {
  bytes input;
  bool line_flag;
  code_points expected;
  uint32_t width;
  size_t left;
};

void expect_load(const load_case& c, uint32_t start_width = 1) {
  unit_buffer target(start_width, 0);
  auto input = exact_copy(c.input);
  size_t left = unicode::load_utf8(target.sink, input.get(), c.input.size(), c.line_flag);
  EXPECT_EQ(target.code_points(), c.expected) << ::testing::PrintToString(c.input);
  EXPECT_EQ(target.sink.width, c.width) << ::testing::PrintToString(c.input);
  EXPECT_EQ(left, c.left) << ::testing::PrintToString(c.input);
}

TEST(LoadUtf8, MarksLinesAndWidths) {
  const load_case cases[] = {
      {{}, false, {}, 1, 0},
      {{0xEF, 0xBB, 0xBF, 0x41}, false, {'A'}, 1, 0},
      {{0xEF, 0xBB, 0xBF}, false, {}, 1, 0},
      {{0xEF, 0xBB}, false, {}, 1, 2},  // too short to be a mark: an incomplete sequence
      {{0x41, 0xEF, 0xBB, 0xBF}, false, {'A', 0xFEFF}, 2, 0},
      {{0x41, 0x0D, 0x0A, 0x42, 0x0D, 0x43}, true, {'A', '\n', 'B', '\n', 'C'}, 1, 0},
      {{0x41, 0x0D, 0x0A, 0x42, 0x0D, 0x43}, false, {'A', '\r', '\n', 'B', '\r', 'C'}, 1, 0},
      {{0x0D, 0x0D, 0x0A, 0x0D}, true, {'\n', '\n', '\n'}, 1, 0},
      {{0xC3, 0xA9}, false, {0xE9}, 1, 0},
      {{0xE2, 0x82, 0xAC}, false, {0x20AC}, 2, 0},
      {{0xF0, 0x9F, 0x98, 0x80}, false, {0x1F600}, 4, 0},
      {{0x61, 0xC3, 0xA9, 0xE2, 0x82, 0xAC, 0xF0, 0x9F, 0x98, 0x80, 0x62}, false, {'a', 0xE9, 0x20AC, 0x1F600, 'b'}, 4, 0},
      {{0xED, 0xA0, 0x80}, false, {0xD800}, 2, 0},
      {{0x41, 0xE2, 0x82}, false, {'A'}, 1, 2},
      {{0x41, 0xF0, 0x9F, 0x98}, false, {'A'}, 1, 3},
  };
  for (const load_case& c : cases) expect_load(c);
}

TEST(LoadUtf8, ATargetKeepsItsWiderUnits) {
  expect_load({{0x41, 0xC3, 0xA9}, false, {'A', 0xE9}, 2, 0}, 2);
  expect_load({{0x41}, false, {'A'}, 4, 0}, 4);
  expect_load({{0xE2, 0x82, 0xAC, 0xF0, 0x9F, 0x98, 0x80}, false, {0x20AC, 0x1F600}, 4, 0}, 2);
}

TEST_F(Utf8Errors, LoadStopsAtInvalidBytesWithTheBytesAtTheSequence) {
  struct row {
    bytes input;
    bytes argument;
    code_points stored;
  };
  const row rows[] = {
      {{0xED, 0xB3, 0x80}, {0xED, 0xB3, 0x80}, {}},
      {{0x41, 0x80}, {0x80}, {'A'}},
      {{0x41, 0x42, 0xC3, 0x41, 0x42, 0x43, 0x44}, {0xC3, 0x41, 0x42, 0x43}, {'A', 'B'}},
      {{0xE2, 0x82, 0xAC, 0xFF}, {0xFF}, {0x20AC}},
  };
  for (const row& r : rows) {
    unit_buffer target(1, 0);
    auto input = exact_copy(r.input);
    EXPECT_EQ(fired_by([&] { unicode::load_utf8(target.sink, input.get(), r.input.size(), false); }),
              error_id::access_invalid_utf8);
    EXPECT_EQ(invalid_utf8_bytes(), r.argument) << ::testing::PrintToString(r.input);
    EXPECT_EQ(target.code_points(), r.stored) << ::testing::PrintToString(r.input);
  }
}

// Mixed text with long ASCII stretches (the 16-byte path), CRs and LFs at every offset,
// and characters of every width, checked against a plain per-character model.
TEST(LoadUtf8, LongMixedTextMatchesThePerCharacterModel) {
  std::mt19937 random(12345);
  const uint32_t pool[] = {'a', 'Z', ' ', '\r', '\n', 0x7F, 0x80, 0xE9, 0xFF, 0x100, 0x20AC, 0xFFFD, 0x10000, 0x1F600, 0x10FFFF};
  for (int round = 0; round < 300; ++round) {
    code_points cps;
    size_t length = random() % 200;
    for (size_t i = 0; i < length; ++i) {
      uint32_t pick = random() % 40;
      cps.push_back(pick < std::size(pool) ? pool[pick] : 'a' + pick);
    }
    for (bool line_flag : {false, true}) {
      code_points expected;
      uint32_t widest = 1;
      for (size_t i = 0; i < cps.size(); ++i) {
        uint32_t cp = cps[i];
        if (line_flag && cp == '\r') {
          if (i + 1 < cps.size() && cps[i + 1] == '\n') ++i;
          cp = '\n';
        }
        expected.push_back(cp);
        widest = std::max(widest, unicode::width_for(cp));
      }
      // A leading FEFF would be taken for a byte-order mark; the pool has none.
      expect_load({utf8_of(cps), line_flag, expected, widest, 0});
    }
  }
}

// ---- the UTF-16 loader

bytes utf16le(const std::vector<uint16_t>& units) {
  bytes out;
  for (uint16_t u : units) {
    out.push_back(static_cast<uint8_t>(u));
    out.push_back(static_cast<uint8_t>(u >> 8));
  }
  return out;
}

TEST(LoadUtf16, ChoosesTheWidthAndKeepsLoneSurrogates) {
  struct row {
    std::vector<uint16_t> units;
    bool line_flag;
    code_points expected;
    uint32_t width;
  };
  const row rows[] = {
      {{}, false, {}, 1},
      {{'A', 'B', 0xE9}, false, {'A', 'B', 0xE9}, 1},
      {{'A', '\r', '\n', 'B'}, true, {'A', '\n', 'B'}, 1},
      {{'A', 0x20AC}, false, {'A', 0x20AC}, 2},
      {{'\r', 0x20AC, '\r', '\n'}, true, {0x20AC, '\n'}, 2},
      {{'\r', 0x20AC, '\r', '\n'}, false, {'\r', 0x20AC, '\r', '\n'}, 2},
      {{0xD83D, 0xDE00}, false, {0x1F600}, 4},
      {{'A', 0xD800}, false, {'A', 0xD800}, 4},               // a lead at the end
      {{0xD800, 'A', 0xDC00}, false, {0xD800, 'A', 0xDC00}, 4},  // lead without trail, lone trail
      {{0xD800, 0xD800, 0xDC00}, false, {0xD800, 0x10000}, 4},
      {{'\r', 0xDBFF, 0xDFFF, '\r', '\n'}, true, {0x10FFFF, '\n'}, 4},
  };
  for (const row& r : rows) {
    bytes data = utf16le(r.units);
    // Any alignment: the units start one byte into the block.
    auto block = std::make_unique<uint8_t[]>(data.size() + 1);
    if (!data.empty()) std::memcpy(block.get() + 1, data.data(), data.size());
    EXPECT_EQ(unicode::utf16_width(block.get() + 1, r.units.size()), r.width);
    for (uint32_t start_width : {1u, 4u}) {  // the target's width is replaced, not kept
      unit_buffer target(start_width, 0);
      unicode::load_utf16(target.sink, block.get() + 1, r.units.size(), r.line_flag);
      EXPECT_EQ(target.code_points(), r.expected) << ::testing::PrintToString(r.units);
      EXPECT_EQ(target.sink.width, r.width) << ::testing::PrintToString(r.units);
    }
  }
}

// A byte at or above 0x80 anywhere in a run, in its eight-byte words or in its tail, makes it
// other than ASCII.
TEST(AsciiRuns, AnyHighByteIsFound) {
  EXPECT_TRUE(unicode::ascii_p(nullptr, 0));
  for (size_t length = 1; length <= 24; ++length) {
    std::vector<uint8_t> bytes(length, 'a');
    EXPECT_TRUE(unicode::ascii_p(bytes.data(), length)) << length;
    for (size_t at = 0; at < length; ++at)
      for (uint8_t high : {0x80, 0xFF}) {
        bytes[at] = high;
        EXPECT_FALSE(unicode::ascii_p(bytes.data(), length)) << length << " " << at;
        bytes[at] = 0x7F;
        EXPECT_TRUE(unicode::ascii_p(bytes.data(), length)) << length << " " << at;
        bytes[at] = 'a';
      }
  }
}

}  // namespace
}  // namespace tav
