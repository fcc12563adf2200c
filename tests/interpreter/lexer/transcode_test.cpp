// transcode: its refinements on string and binary sources, positions in characters, the
// byte order mark, syntax errors, trace callbacks, and round trips of loaded text through mold.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "datatypes/binary.hpp"
#include "datatypes/function.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/point.hpp"
#include "datatypes/time.hpp"
#include "datatypes/tuple.hpp"
#include "interpreter/lexer.hpp"
#include "interpreter/load_helpers.hpp"
#include "interpreter/transcode.hpp"
#include "runtime/float_text.hpp"

namespace tav {
namespace {

using testing::count_of;
using testing::item;
using testing::load_one;
using testing::load_text;
using testing::mold_all;
using testing::spelling_of;
using testing::text_of;
using testing::text_value;
using Transcode = testing::fresh_values;
using refinements = natives::transcode_refinements;

bool under_stress() { return memory::state.stress_interval != 0; }

cell binary_value(std::string_view bytes) {
  node_id node = alloc_bytes(static_cast<uint32_t>(bytes.size()));
  series_buffer* buffer = buffer_of(node);
  std::memcpy(buffer->data(), bytes.data(), bytes.size());
  buffer->tail = static_cast<uint32_t>(bytes.size());
  return cell{TYPE_BINARY, 0, node, 0};
}

cell transcode(const cell& source, const refinements& r = {}) {
  cell result = none::value;
  natives::transcode(source, r, result);
  return result;
}

cell transcode(std::string_view text, const refinements& r = {}) { return transcode(text_value(text), r); }

uint8_t datatype_of(const cell& value) {
  EXPECT_EQ(value.type(), TYPE_DATATYPE);
  return static_cast<uint8_t>(value.payload1);
}

TEST_F(Transcode, LoadsNextOneAndInto) {
  cell all = transcode("1 [2] x");
  ASSERT_EQ(all.type(), TYPE_BLOCK);
  ASSERT_EQ(count_of(all), 3u);
  EXPECT_EQ(item(all, 1).type(), TYPE_BLOCK);
  EXPECT_EQ(count_of(transcode("")), 0u);

  cell source = text_value("1 2");
  cell next = transcode(source, {.next = true});
  ASSERT_EQ(count_of(next), 2u);
  EXPECT_EQ(scalar::integer_value(item(next, 0)), 1);
  cell rest = item(next, 1);
  EXPECT_EQ(rest.type(), TYPE_STRING);
  EXPECT_EQ(rest.payload2, source.payload2);  // the source itself, moved
  EXPECT_EQ(rest.payload1, 1u);
  EXPECT_EQ(text_of(rest), " 2");

  EXPECT_EQ(scalar::integer_value(transcode("1 2", {.one = true})), 1);
  EXPECT_EQ(scalar::integer_value(transcode("1 2", {.next = true, .one = true})), 1);
  cell nothing = transcode("  ; only a comment", {.one = true});
  EXPECT_EQ(nothing.type(), TYPE_BLOCK);
  EXPECT_EQ(count_of(nothing), 0u);

  cell target = load_text("x");
  cell into = transcode("1 [2]", {.into = &target});
  EXPECT_EQ(into.payload2, target.payload2);
  EXPECT_EQ(mold_all(into), "x 1 [2]");
  transcode("3 4", {.one = true, .into = &target});
  EXPECT_EQ(mold_all(target), "x 1 [2] 3");
  EXPECT_EQ(testing::fired_by([&] {
              cell number = scalar::integer(1);
              transcode("1", {.into = &number});
            }),
            error_id::script_invalid_arg);
  EXPECT_EQ(testing::fired_by([] { transcode(scalar::integer(1)); }), error_id::script_invalid_arg);
}

TEST_F(Transcode, ScanAndPrescanAnswerTypes) {
  EXPECT_EQ(datatype_of(transcode("abc", {.scan = true})), TYPE_WORD);
  EXPECT_EQ(datatype_of(transcode("1 abc", {.scan = true})), TYPE_INTEGER);
  EXPECT_EQ(transcode("", {.scan = true}).type(), TYPE_NONE);
  EXPECT_EQ(transcode("   ", {.scan = true}).type(), TYPE_NONE);
  EXPECT_EQ(transcode("", {.next = true, .scan = true}).type(), TYPE_NONE);
  cell target = load_text("x");
  EXPECT_EQ(transcode("", {.scan = true, .into = &target}).type(), TYPE_NONE);
  // Bad input is the datatype error!, nothing raised.
  for (std::string_view text : {"[1 2", "1.5x2", "(1", "#(yes)"})
    EXPECT_EQ(datatype_of(transcode(text, {.scan = true})), TYPE_ERROR) << text;
  EXPECT_EQ(datatype_of(transcode(binary_value("a\x80"), {.scan = true})), TYPE_ERROR);
  EXPECT_EQ(datatype_of(transcode(binary_value("a\x80 b"), {.prescan = true})), TYPE_WORD);  // no content checked
  EXPECT_EQ(datatype_of(transcode("\"s\" x", {.prescan = true})), TYPE_STRING);
  cell next = transcode("12:30 x", {.next = true, .scan = true});
  ASSERT_EQ(count_of(next), 2u);
  EXPECT_EQ(datatype_of(item(next, 0)), TYPE_TIME);
  EXPECT_EQ(text_of(item(next, 1)), " x");
}

TEST_F(Transcode, SyntaxErrorsRaiseUnlessScanning) {
  ASSERT_EQ(testing::fired_by([] { transcode("1.5x2"); }), error_id::syntax_invalid);
  EXPECT_EQ(spelling_of(last_fired.args[1]), "pair!");
  EXPECT_EQ(testing::fired_by([] { transcode("[1 2"); }), error_id::syntax_missing);
  EXPECT_EQ(testing::fired_by([] { transcode("[1 2", {.next = true}); }), error_id::syntax_missing);
  EXPECT_EQ(testing::fired_by([] { transcode("[1 2", {.scan = true}); }), std::nullopt);
  uint32_t live = 1;
  lexer::live_cells(live);
  EXPECT_EQ(live, 0u);
}

TEST_F(Transcode, PartCountsCharactersOrBytesOrAPosition) {
  cell source = text_value("123 456");
  EXPECT_EQ(mold_all(transcode(source, {.part = nullptr})), "123 456");
  cell three = scalar::integer(3);
  EXPECT_EQ(mold_all(transcode(source, {.part = &three})), "123");
  cell at = source;
  at.payload1 = 5;
  EXPECT_EQ(mold_all(transcode(source, {.part = &at})), "123 4");
  cell many = scalar::integer(1000);
  EXPECT_EQ(mold_all(transcode(source, {.part = &many})), "123 456");  // clamped to the rest
  cell negative = scalar::integer(-4);
  EXPECT_EQ(count_of(transcode(source, {.part = &negative})), 0u);
  EXPECT_EQ(transcode(source, {.scan = true, .part = &negative}).type(), TYPE_NONE);
  cell behind = source;
  source.payload1 = 4;
  EXPECT_EQ(count_of(transcode(source, {.part = &behind})), 0u);  // a position before the source
  cell bytes = binary_value("12");
  EXPECT_EQ(testing::fired_by([&] { transcode(source, {.part = &bytes}); }), error_id::script_not_same_type);
  cell half = scalar::float_cell(1.5);
  EXPECT_EQ(testing::fired_by([&] { transcode(source, {.part = &half}); }), error_id::script_invalid_part);
  cell two = scalar::integer(2);
  EXPECT_EQ(mold_all(transcode(binary_value("12 34"), {.part = &two})), "12");
}

TEST_F(Transcode, PositionsAreCharactersOfStringsAndBytesOfBinaries) {
  cell wide = text_value("x \xC3\xA9t\xC3\xA9 \xE4\xB8\xAD 2");  // x été 中 2
  wide.payload1 = 2;
  cell next = transcode(wide, {.next = true});
  EXPECT_EQ(spelling_of(item(next, 0)), "\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(item(next, 1).payload1, 5u);
  cell two = scalar::integer(5);
  EXPECT_EQ(mold_all(transcode(wide, {.part = &two})), "\xC3\xA9t\xC3\xA9 \xE4\xB8\xAD");

  cell bytes = binary_value("\xC3\xA9 2");
  cell from_bytes = transcode(bytes, {.next = true});
  EXPECT_EQ(item(from_bytes, 1).payload1, 2u);
  // The byte order mark is skipped and counted in the position.
  cell marked = binary_value("\xEF\xBB\xBF" "a b");
  EXPECT_EQ(mold_all(transcode(marked)), "a b");
  cell after = transcode(marked, {.next = true});
  EXPECT_EQ(spelling_of(item(after, 0)), "a");
  EXPECT_EQ(item(after, 1).payload1, 4u);
  EXPECT_EQ(transcode(binary_value("\xEF\xBB\xBF"), {.scan = true}).type(), TYPE_NONE);
  EXPECT_EQ(datatype_of(transcode(marked, {.scan = true})), TYPE_WORD);
}

TEST_F(Transcode, MoldedStringsLoadBack) {
  cell original = load_one("\"a^(1F600)b\"");
  std::string molded = testing::molded(original);
  cell back = transcode(molded, {.one = true});
  EXPECT_EQ(text_of(back), "a\xF0\x9F\x98\x80" "b");
  EXPECT_EQ(text_of(back), text_of(original));
  for (std::string_view text : {"\"tab^-quote^\"caret^^\"", "{multi\nline \"text\" with ^} brace}", "\"^(null)^(DEL)\"",
                                "\"\xC3\xA9t\xC3\xA9\"", "{^{x}"}) {
    cell value = load_one(text);
    EXPECT_EQ(text_of(load_one(testing::molded(value))), text_of(value)) << text;
  }
}

// ---- Trace callbacks ----------------------------------------------------------------------

// A function! [event input type line token] with the loaded text as its body.
cell callback_with_body(std::string_view body) {
  cell spec = load_text("event input type line token");
  cell code = load_text(body);
  function::push(spec, code, 0, 0, 0, 0);
  cell made = *stack::last_pushed();
  stack::pop_cells(1);
  return made;
}

TEST_F(Transcode, EventMaskComesFromTheFirstValueOfTheBody) {
  EXPECT_EQ(lexer::event_mask(callback_with_body("[scan LOAD] x")), 6u);
  EXPECT_EQ(lexer::event_mask(callback_with_body("[prescan scan load open close error]")), 0x3Fu);
  EXPECT_EQ(lexer::event_mask(callback_with_body("[foo 1 \"scan\"]")), 0u);
  EXPECT_EQ(lexer::event_mask(callback_with_body("[]")), 0u);
  EXPECT_EQ(lexer::event_mask(callback_with_body("print x")), 0x3Fu);
  EXPECT_EQ(lexer::event_mask(callback_with_body("")), 0x3Fu);
  EXPECT_EQ(lexer::event_mask(scalar::integer(1)), 0x3Fu);
  cell routine = callback_with_body("[load]");
  set_type(routine, TYPE_ROUTINE);
  EXPECT_EQ(lexer::event_mask(routine), 4u);
}

// What the callback saw, written down at once (cells must not wait in a C++ container).
struct seen_event {
  std::string event;
  uint32_t index;
  std::string type;
  int32_t line;
  std::string token;
  bool operator==(const seen_event&) const = default;
};
std::vector<seen_event>* seen;
std::string refuse;       // the event answered false
uint32_t move_on_scan = 0;  // with a scan event, the input moves to this index

cell record_event(const cell&, cell (&arguments)[5]) {
  const cell& token = arguments[4];
  seen_event e{spelling_of(arguments[0]), arguments[1].payload1, testing::mold_of(arguments[2]),
               scalar::integer_value(arguments[3]),
               token.type() == TYPE_PAIR ? std::to_string(token.payload2) + "x" + std::to_string(token.payload3)
                                         : testing::mold_of(token)};
  seen->push_back(e);
  if (move_on_scan && e.event == "scan") {
    arguments[1].payload1 = move_on_scan;
    move_on_scan = 0;
  }
  return logic::value_of(e.event != refuse);
}

struct LexerTracing : Transcode {
  std::vector<seen_event> events;
  void SetUp() override {
    Transcode::SetUp();
    seen = &events;
    refuse.clear();
    lexer::set_callback_caller(record_event);
  }
  void TearDown() override {
    lexer::set_callback_caller(nullptr);
    Transcode::TearDown();
  }
};

TEST_F(LexerTracing, CallbackSeesEveryEvent) {
  cell callback = callback_with_body("[prescan scan load open close]");
  cell result = transcode("1 [\xC3\xA9]\n; c", {.trace = &callback});
  EXPECT_EQ(mold_all(result), "1 [\xC3\xA9]");
  // Positions count characters: the é takes two bytes but one place.
  const std::vector<seen_event> expected = {
      {"prescan", 1, "#(integer!)", 1, "1x2"},  {"scan", 1, "#(integer!)", 1, "1x2"},
      {"load", 1, "#(integer!)", 1, "1"},       {"prescan", 2, "#(block!)", 1, "3x3"},
      {"open", 2, "#(block!)", 1, "3x4"},       {"prescan", 4, "#(word!)", 1, "4x5"},
      {"scan", 4, "#(word!)", 1, "4x5"},        {"load", 4, "#(word!)", 1, "\xC3\xA9"},
      {"prescan", 4, "#(block!)", 1, "5x5"},    {"close", 4, "#(block!)", 1, "3x5"},
      {"prescan", 6, "comment", 2, "7x10"},     {"scan", 9, "comment", 2, "7x10"},
  };
  EXPECT_EQ(events, expected);
}

TEST_F(LexerTracing, AnswersAndMovesSteerTheRun) {
  cell callback = callback_with_body("[load]");
  refuse = "load";  // values are dropped; a closed block is no load event
  EXPECT_EQ(mold_all(transcode("1 2 [3]", {.trace = &callback})), "[]");

  events.clear();
  cell errors = callback_with_body("[error]");
  refuse = "error";
  cell quiet = transcode("1 [2", {.trace = &errors});
  EXPECT_EQ(quiet.type(), TYPE_NONE);  // stopped quietly
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].type, "#(block!)");

  events.clear();
  refuse.clear();
  cell scans = callback_with_body("[scan]");
  move_on_scan = 5;
  EXPECT_EQ(mold_all(transcode("1 ] ) x", {.trace = &scans})), "1 x");

  lexer::set_callback_caller(nullptr);
  EXPECT_EQ(testing::fired_by([&] { transcode("1", {.trace = &callback}); }), error_id::internal_not_done);
}

// ---- Round trips --------------------------------------------------------------------------

// A script of every literal whose type can be molded, nested, about `size` bytes.
std::string generate_script(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  const char* const pieces[] = {
      "print",       "x:",           ":y",          "'z",          "/only",        "#issue",   "a/b/c",
      "obj/f:",      ":p/q",         "'l/m",        "12345",       "-7",           "1'000",    "2147483648",
      "3.25",        "1e-7",         "-0.5",        "1.#INF",      "50%",          "0.5%",     "\"text\"",
      "{a\nb}",      "\"t^-ab\"",    "#\"c\"",      "#\"^(tab)\"", "{br{ace}s}",   "%{raw}%",  "FFh",
      "#(none)",     "#(true)",      "#(integer!)", "\xC3\xA9t\xC3\xA9", "\"\xE4\xB8\xAD^(1F600)\"", "a/(b)/c",
      "<=",          "//",           "\n",          "; comment\n", "1.2.3",     "255.0.0.128", "3x4",
      "-1x-2",       "12:30",        "1:30.5",      "-0:0:1",      "(1, 2)",       "(1.5, -2, 3e2)", "#{DEADBEEF}",
      "64#{AQID}",   "2#{00001111}", "@ref",
  };
  std::string s;
  s.reserve(size + 64);
  std::vector<char> closers;
  while (s.size() < size) {
    uint32_t r = rng() % 40;
    if (r < 3 && closers.size() < 30) {
      s += r == 0 ? '(' : '[';
      closers.push_back(r == 0 ? ')' : ']');
    } else if (r < 5 && !closers.empty()) {
      s += closers.back();
      closers.pop_back();
    } else {
      s += pieces[rng() % std::size(pieces)];
    }
    s += ' ';
  }
  for (; !closers.empty(); closers.pop_back()) s += closers.back();
  return s;
}

TEST_F(Transcode, LoadedScriptsSurviveMoldAndLoad) {
  size_t size = under_stress() ? 6u << 10 : 5u << 20;
  std::string script = generate_script(size, 42);
  cell first = transcode(script);
  ASSERT_EQ(first.type(), TYPE_BLOCK);
  std::string text = mold_all(first);
  cell second = transcode(text);
  ASSERT_EQ(count_of(first), count_of(second));
  EXPECT_TRUE(testing::same_loaded(first, second));
  EXPECT_EQ(mold_all(second), text);
}

// The top level of a load is moved out of the lexer's buffer in steps of 262,144 cells: counts
// around the step keep every value in its place, and a load after a large one starts afresh.
TEST_F(Transcode, LargeLoadsKeepEveryValueInItsPlace) {
  constexpr uint32_t step = 1u << 18;
  for (uint32_t count : {0u, 1u, step - 1, step, step + 1, 2 * step + 3}) {
    std::string text;
    for (uint32_t i = 0; i < count; ++i)
      text += i % 10000 == 9999 ? "[" + std::to_string(i) + "] " : std::to_string(i) + " ";
    cell loaded = transcode(text);
    ASSERT_EQ(loaded.type(), TYPE_BLOCK);
    ASSERT_EQ(count_of(loaded), count) << count;
    for (uint32_t i = 0; i < count; ++i) {
      const cell value = item(loaded, i);
      if (i % 10000 == 9999) {
        ASSERT_EQ(value.type(), TYPE_BLOCK) << i;
        ASSERT_EQ(integer::get(item(value, 0)), static_cast<int32_t>(i)) << i;
      } else {
        ASSERT_EQ(value.type(), TYPE_INTEGER) << i;
        ASSERT_EQ(integer::get(value), static_cast<int32_t>(i)) << i;
      }
    }
    EXPECT_EQ(mold_all(transcode("a [b] 3")), "a [b] 3") << count;
  }
}

// Values whose molds are canonical, each molded by its own type: loading their text and
// molding again gives the same text back.
TEST_F(Transcode, CanonicalMoldsComeBackUnchanged) {
  std::mt19937 rng(7);
  std::string text;
  auto add = [&](const std::string& mold) {
    if (!text.empty()) text += ' ';
    text += mold;
  };
  const int rounds = under_stress() ? 40 : 3000;
  for (int i = 0; i < rounds; ++i) {
    int32_t n = static_cast<int32_t>(rng());
    double x = std::bit_cast<double>((uint64_t{rng()} << 32 | rng()) & 0xBFFFFFFFFFFFFFFFu);  // finite
    add(testing::molded(scalar::integer(n)));
    add(testing::molded(scalar::float_cell(x)));
    add(testing::molded(scalar::float_cell(static_cast<double>(n % 100000) / 1000, TYPE_PERCENT)));
    uint32_t cp = rng() % 0x10FFFF;
    if (cp >= 0xD800 && cp < 0xE000) cp -= 0x800;  // no surrogates: they have no UTF-8
    add(testing::molded(cell{TYPE_CHAR, 0, cp, 0}));
    std::u32string units;
    for (uint32_t k = rng() % 12; k > 0; --k) units.push_back(static_cast<char32_t>(rng() % 0x3000));
    cell string;
    tav::string::make_at(string, 16, 1);
    for (char32_t cp : units) tav::string::append_char(buffer_of(string.payload2), cp);
    add(testing::molded(string));
  }
  for (int i = 0; i < rounds / 4; ++i) {
    uint8_t bytes[12];
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng());
    cell value;
    add(testing::molded(*tuple::make_at(value, 3 + rng() % 10, bytes)));
    value = cell{};
    add(testing::molded(*pair::make_at(value, static_cast<int32_t>(rng()), static_cast<int32_t>(rng()))));
    value = cell{};
    add(testing::molded(*time::make_at(value, static_cast<double>(static_cast<int32_t>(rng())) / 64)));
    value = cell{};
    add(testing::molded(*point2D::make_at(value, static_cast<float>(rng() % 20000) / 8, -0.25f)));
    add(testing::molded(*binary::load(bytes, rng() % 12)));
    value = cell{};
    add(testing::molded(*point3D::make_at(value, static_cast<float>(rng() % 1000), 0.5f, -1e20f)));
  }
  add(testing::molded(scalar::float_cell(HUGE_VAL)));
  add(testing::molded(scalar::float_cell(-HUGE_VAL)));
  add(testing::molded(scalar::float_cell(std::bit_cast<double>(uint64_t{0x7FF8000000000000}))));
  add("word set: :get 'lit /refine #issue @ref [block (paren) a/b/c] #(none) #(true) #(false) #(unset) #(string!)");
  EXPECT_EQ(mold_all(transcode(text)), text);
}

}  // namespace
}  // namespace tav
