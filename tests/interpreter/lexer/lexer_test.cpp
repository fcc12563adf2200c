// The lexer driver and scanners: token types and extents in every mode, syntax errors with
// their texts, nesting, trace events, the scratch area, large input and random input.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "interpreter/lexer.hpp"
#include "interpreter/lexer_internal.hpp"
#include "runtime/memory.hpp"
#include "runtime/throw.hpp"
#include "runtime/unicode.hpp"

namespace tav::lexer {
namespace {

// Load mode builds values, and a collection at every allocation makes that slow: the stress
// run takes fewer and smaller inputs through the same paths.
bool under_stress() { return memory::state.stress_interval != 0; }

const uint8_t* bytes(std::string_view text) { return reinterpret_cast<const uint8_t*>(text.data()); }
uint32_t size(std::string_view text) { return static_cast<uint32_t>(text.size()); }

run_options mode(bool one_value, bool scan = true, bool load = false) {
  run_options o;
  o.one_value = one_value;
  o.scan = scan;
  o.load = load;
  return o;
}

run_result lex(std::string_view text, const run_options& options) {
  return transcode(bytes(text), size(text), options);
}

// Runs a load (which raises syntax errors) and answers whether it raised, leaving the
// error in last_fired and last_syntax_error.
bool raises(std::string_view text, run_options options = mode(false, true, true)) {
  try {
    lex(text, options);
    return false;
  } catch (const system_throw_signal&) {
    EXPECT_EQ(thrown_code, tav::code::error);
    thrown_code = 0;
    return true;
  }
}

std::string quote() {
  return std::string(reinterpret_cast<const char*>(last_syntax_error.quote), last_syntax_error.quote_length);
}

struct type_case {
  std::string_view text;
  int32_t type;
  uint32_t position;
};

// transcode/scan: the type of the first value and where it ends.
TEST(Lexer, ScanFindsTheFirstTokenTypeAndItsEnd) {
  using namespace std::string_view_literals;
  const type_case cases[] = {
      {"", 0, 0},
      {"   ", 0, 3},
      {"abc def", type::word, 3},
      {"a: 1", type::set_word, 2},
      {":a", type::get_word, 2},
      {"'a", type::lit_word, 2},
      {"/only", type::refinement, 5},
      {"#abc", type::issue, 4},
      {"123 ", type::integer, 3},
      {"1.5", type::float_, 3},
      {"1.#INF", type::float_, 6},
      {"1.2.3", type::tuple, 5},
      {"1x2", type::pair, 3},
      {"12:30", type::time, 5},
      {"1-Feb-99", type::date, 8},
      {"-$1'001.50", type::money, 10},
      {"50%", type::percent, 3},
      {"0FFh", type::integer, 4},
      {"a@b.c", type::email, 5},
      {"http://x.y/z", type::url, 12},
      {"@ref", type::ref, 4},
      {"%file.txt", type::file, 9},
      {"%\"a b\" x", type::file, 6},
      {"<a href=\"x\">", type::tag, 12},
      {"#{00 FF ; c\n}", type::binary, 13},
      {"#\"a\"", type::character, 4},
      {"#\"^(tab)\"", type::character, 9},
      {"\"s\"", type::string, 3},
      {"{a{b}c}", type::string, 7},
      {"%{a}b}% x", type::string, 7},
      {"%%{a}% b}%% x", type::string, 11},
      {"[1 2] 3", type::block, 5},
      {"[[a] [b [c]]]", type::block, 13},
      {"(x y)", type::paren, 5},
      {"#[a 1]", type::map, 6},
      {"a/b c", type::path, 3},
      {"'a/b", type::lit_path, 4},
      {":a/b", type::get_path, 4},
      {"a/b: 1", type::set_path, 4},
      {"a/(b)/c", type::path, 7},
      {"(1, 2)", type::point2d, 6},
      {"( 1 ,\t2 ) x", type::point2d, 9},
      {"(1, 2, 3)", type::point3d, 9},
      {"#(true)", type::logic, 7},
      {"#(NONE)", type::none, 7},
      {"#(INTEGER!)", type::datatype, 11},
      {"; note\nx", type::word, 8},
      {"x\0y"sv, type::word, 1},
      {"\xC2\xA0x", type::word, 3},      // a leading no-break space is white space
      {"\n\xE3\x80\x80" "12 x", type::integer, 6},  // and so is an ideographic space
      {"a/(1, 2)/c", type::path, 10},
      {"a\xE2\x80\x83" "b", type::word, 1},  // an em space cuts the word
  };
  for (const type_case& c : cases) {
    run_result r = lex(c.text, mode(true));
    EXPECT_EQ(r.type, c.type) << c.text;
    EXPECT_EQ(r.position, c.position) << c.text;
    EXPECT_TRUE(r.complete) << c.text;
  }
}

TEST(Lexer, ModesAgreeOnTypesAndDifferOnHowFarTheyGo) {
  // Prescan stops after the first value without checking it; a full scan goes to the end
  // and answers the type of the last token.
  EXPECT_EQ(lex("1 2", mode(true)).position, 1u);
  EXPECT_EQ(lex("1 2", mode(false, false)).position, 1u);
  run_result full = lex("1 [a] \"s\" x:", mode(false));
  EXPECT_EQ(full.type, type::set_word);
  EXPECT_EQ(full.position, 12u);
  EXPECT_EQ(lex("a\x80 b", mode(false, false)).type, type::word);  // prescan does not look inside
  EXPECT_EQ(lex("a\x80 b", mode(true)).type, type::error);
  EXPECT_EQ(lex("a/", mode(false, false)).type, type::path);  // prescan ending inside a path
  // A point inside a block: prescan steps over the whole point token.
  run_result nested = lex("[(1, 2) #\"a\" x]", mode(false, false));
  EXPECT_EQ(nested.type, type::block);
  EXPECT_EQ(nested.position, 15u);
  // The end of the input, a NUL or trailing white space do not change the type.
  using namespace std::string_view_literals;
  EXPECT_EQ(lex("1 abc \n"sv, mode(false)).type, type::word);
  EXPECT_EQ(lex("abc\0def"sv, mode(false)).type, type::word);
  EXPECT_EQ(lex("abc\0def"sv, mode(false)).position, 7u);
}

// Every input here is a syntax error: a scan stops with type error!.
TEST(Lexer, ScanStopsWithErrorTypeOnBadInput) {
  const std::string_view cases[] = {
      "[1 2", "(1", "]", "[1 2)", "#[a", "a)", "#(yes)", "#(integer!x)", "#(", "a/b:/c", ":a/b:", "'a/b:",
      "a/", "a/b/", "a/)", "(1, 2", "(1, 2 3)", "(1, 2, 3, 4)", "(1, , 2)", "(b , [c])", "(b , c)", "1, 2",
      "{a{b}", "{abc", "{a{", "#", "1#a", "'a:", ":a:", "a\x80", "\"a\x80\"", "\"a\nb\"", "\"^(1234567)\"",
      "\"^()\"", "\"^(tabs)\"", "#\"ab\"", "#\"\"", "'<a>", "%{a}%%", "%%{a}% b", "\xC0", "}", "\\", "$",
      "<a", "a%b", "1a", "#{zz", "a\xC2\xA0\xC2",
  };
  for (std::string_view text : cases) {
    run_result r = lex(text, mode(false));
    EXPECT_EQ(r.type, type::error) << text;
    EXPECT_FALSE(r.complete) << text;
  }
}

struct error_case {
  std::string_view text;
  error_id id;
  int32_t datatype;  // invalid
  char missing;      // missing
  const char* line;
  std::string_view quote;
};

// In load mode a syntax error raises with the catalog id and its argument texts.
TEST(Lexer, LoadRaisesSyntaxErrorsWithLineAndQuote) {
  const error_case cases[] = {
      {"[1 2", error_id::syntax_missing, 0, ']', "(line 1)", "[1 2"},
      {"x [1 2)", error_id::syntax_missing, 0, ']', "(line 1)", "[1 2)"},
      {"(1", error_id::syntax_missing, 0, ')', "(line 1)", "(1"},
      {"[(1]", error_id::syntax_missing, 0, ')', "(line 1)", "(1]"},
      {"1 ]", error_id::syntax_missing, 0, '[', "(line 1)", "1 ]"},
      {"x (b , c)", error_id::syntax_missing, 0, '(', "(line 1)", "(b , c)"},
      {"#[a 1", error_id::syntax_missing, 0, ']', "(line 1)", "#[a 1"},
      {"#(yes)", error_id::syntax_malconstruct, 0, 0, "(line 1)", "#(yes)"},
      {":a/b:", error_id::syntax_bad_char, 0, 0, "(line 1)", ":a/b:"},
      {"a/)", error_id::syntax_bad_char, 0, 0, "(line 1)", "a/)"},
      {"a/", error_id::syntax_bad_char, 0, 0, "(line 1)", "a/"},
      {"x }", error_id::syntax_bad_char, 0, 0, "(line 1)", "}"},
      {"a/b:/c", error_id::syntax_invalid, type::path, 0, "(line 1)", "a/b:/c"},
      {"x\n\n{abc\ndef", error_id::syntax_invalid, type::string, 0, "(line 4)", "{abc"},
      {"\n\"abc", error_id::syntax_invalid, type::string, 0, "(line 2)", "\"abc"},
      {"1, 2", error_id::syntax_invalid, type::point2d, 0, "(line 1)", ", 2"},
      {"(1, 2, 3, 4)", error_id::syntax_invalid, type::point3d, 0, "(line 1)", "(1, 2, 3, 4)"},
      {"'a:", error_id::syntax_invalid, type::lit_word, 0, "(line 1)", "'a:"},
      {"#\"ab\"", error_id::syntax_invalid, type::character, 0, "(line 1)", "#\"ab\""},
      {"[1\n2", error_id::syntax_missing, 0, ']', "(line 2)", "[1"},
      {"[aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", error_id::syntax_missing, 0, ']', "(line 1)",
       "[aaaaaaaaaaaaaaaaaaaaaaaaaaaaa"},
      // Characters are taken whole: 1 + 15 x 2 bytes, the last one crossing 30.
      {"[\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"
       "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9",
       error_id::syntax_missing, 0, ']', "(line 1)",
       "[\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"
       "\xC3\xA9\xC3\xA9"},
  };
  for (const error_case& c : cases) {
    ASSERT_TRUE(raises(c.text)) << c.text;
    EXPECT_EQ(last_fired.id, c.id) << c.text;
    EXPECT_EQ(last_syntax_error.id, c.id) << c.text;
    EXPECT_STREQ(last_syntax_error.line_text, c.line) << c.text;
    EXPECT_EQ(quote(), c.quote) << c.text;
    if (c.id == error_id::syntax_invalid) {
      EXPECT_EQ(last_syntax_error.datatype, c.datatype) << c.text;
    }
    if (c.id == error_id::syntax_missing) {
      EXPECT_EQ(last_syntax_error.missing, static_cast<uint32_t>(c.missing)) << c.text;
    }
  }
  EXPECT_EQ(error_code(error_id::syntax_missing), 201u);
  EXPECT_EQ(error_code(error_id::syntax_malconstruct), 205u);
  EXPECT_EQ(error_code(error_id::syntax_bad_char), 206u);
}

TEST(Lexer, LoadOfCorrectInputRaisesNothingAndLeavesNoRun) {
  EXPECT_FALSE(raises("a/b: [1 (2) [k v]] {x{y}} (1, 2) %{r}% #(none) ; c\n"));
  ASSERT_TRUE(raises("[[[ a"));
  uint32_t count = 1;
  live_cells(count);
  EXPECT_EQ(count, 0u);  // the failed run was unlinked and its output dropped
}

struct recorded {
  uint32_t event;
  int32_t type;
  uint32_t index, line, start, end;
  bool operator==(const recorded&) const = default;
};

struct recorder {
  std::vector<recorded> events;
  uint32_t refuse = 0;  // events answered false
  bool (*extra)(recorder&, lexer_state&, trace_event&) = nullptr;
};

bool record(lexer_state& ls, trace_event& e, void* context) {
  auto& r = *static_cast<recorder*>(context);
  r.events.push_back({e.event, e.type, e.index, e.line, e.start, e.end});
  if (r.extra && !r.extra(r, ls, e)) return false;
  return !(r.refuse & e.event);
}

run_options traced(recorder& r, uint32_t mask = event::all, bool load = false) {
  run_options o;
  o.load = load;
  o.tracer = record;
  o.tracer_context = &r;
  o.event_mask = mask;
  return o;
}

TEST(Lexer, TraceEventsFollowTheTokens) {
  recorder r;
  run_result res = lex("1 [a]\n; c\n{x}", traced(r));
  EXPECT_EQ(res.type, type::string);
  namespace e = event;
  const recorded expected[] = {
      {e::prescan, type::integer, 1, 1, 0, 1},  {e::scan, type::integer, 1, 1, 0, 1},
      {e::prescan, -3, 2, 1, 2, 2},             {e::open, type::block, 2, 1, 2, 3},
      {e::prescan, type::word, 4, 1, 3, 4},     {e::scan, type::word, 4, 1, 3, 4},
      {e::prescan, -4, 4, 1, 4, 4},             {e::close, type::block, 4, 1, 2, 4},
      {e::prescan, -12, 6, 2, 6, 9},            {e::scan, -12, 9, 2, 6, 9},
      {e::prescan, -7, 10, 3, 10, 10},          {e::open, type::string, 10, 3, 10, 11},
      {e::close, type::string, 12, 3, 10, 12},  {e::scan, type::string, 13, 3, 10, 13},
  };
  ASSERT_EQ(r.events.size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) EXPECT_EQ(r.events[i], expected[i]) << "event " << i;
}

TEST(Lexer, BraceStringIsOneTokenWithItsInnerBraces) {
  recorder r;
  run_result res = lex("{a{b}c} x", traced(r, event::scan | event::open | event::close));
  EXPECT_EQ(res.type, type::word);
  ASSERT_EQ(r.events.size(), 4u);  // one open, one close and one scan for the string, then the word
  EXPECT_EQ(r.events[0].event, event::open);
  EXPECT_EQ(r.events[1].event, event::close);
  EXPECT_EQ(r.events[2], (recorded{event::scan, type::string, 7, 1, 0, 7}));
  std::string_view content = std::string_view("{a{b}c}").substr(1, r.events[2].end - r.events[2].start - 2);
  EXPECT_EQ(content, "a{b}c");
  EXPECT_EQ(unicode::count_utf8_chars(bytes(content), bytes(content) + content.size()), 5u);
}

TEST(Lexer, TraceAnswersSteerTheRun) {
  {  // false on an error stops the run quietly, also in load mode
    recorder r;
    r.refuse = event::error;
    run_result res;
    EXPECT_NO_THROW(res = lex("[1 2", traced(r, event::error, true)));
    EXPECT_FALSE(res.complete);
    ASSERT_EQ(r.events.size(), 1u);
    EXPECT_EQ(r.events[0].type, type::block);
    EXPECT_EQ(r.events[0].start, 0u);
    EXPECT_EQ(r.events[0].end, 4u);
  }
  {  // true on an error lets it be raised
    recorder r;
    EXPECT_TRUE(raises(")", traced(r, event::error, true)));
    EXPECT_EQ(last_syntax_error.missing, static_cast<uint32_t>('('));
    ASSERT_EQ(r.events.size(), 1u);
    EXPECT_EQ(r.events[0].type, type::paren);
  }
  {  // false on prescan skips tokens, even empty ones
    recorder r;
    r.refuse = event::prescan;
    run_result res = lex("] ) a", traced(r));
    EXPECT_TRUE(res.complete);
    EXPECT_EQ(r.events.size(), 3u);
  }
  {  // false on open cancels the opening, so the `]` has nothing to close
    recorder r;
    r.refuse = event::open;
    EXPECT_TRUE(raises("[a]", traced(r, event::open, true)));
    EXPECT_EQ(last_syntax_error.missing, static_cast<uint32_t>('['));
  }
  {  // false on close keeps the block open
    recorder r;
    r.refuse = event::close;
    EXPECT_TRUE(raises("[a] b", traced(r, event::close, true)));
    EXPECT_EQ(last_fired.id, error_id::syntax_missing);
    EXPECT_EQ(quote(), "[a] b");
  }
  {  // a callback that moves the index makes the lexer resume there
    recorder r;
    r.extra = [](recorder&, lexer_state&, trace_event& e) {
      if (e.event == event::scan && e.type == type::integer) e.index = 5;
      return true;
    };
    run_result res = lex("1 ] ) x", traced(r, event::scan));
    EXPECT_TRUE(res.complete);
    EXPECT_EQ(res.type, type::word);
  }
}

// Load mode through the hooks the value layer installs: what the loaders see and when.
struct LexerHooks : ::testing::Test {
  value_hooks saved = hooks;
  static inline std::vector<std::string>* calls;
  std::vector<std::string> log;
  void SetUp() override { calls = &log; }
  void TearDown() override { hooks = saved; }

  static std::string text(const lexer_state& ls, uint32_t start, uint32_t end) {
    return std::string(reinterpret_cast<const char*>(ls.input) + start, end - start);
  }
  static void word(lexer_state& ls, uint32_t start, uint32_t end, uint32_t, bool load) {
    calls->push_back((load ? "load " : "check ") + text(ls, start, end));
    if (!load) return;
    out_cell& c = output_base[alloc_cell(ls)];
    c.header = (c.header & ~0xFFu) | static_cast<uint32_t>(ls.scanner_type > 0 ? ls.scanner_type : type::word);
    c.word1 = start;
  }
  static void close(lexer_state& ls, uint32_t marker, int32_t type) {
    calls->push_back("close " + std::to_string(type) + " of " + std::to_string(ls.tail - marker - 1));
    out_cell& c = output_base[marker];
    c = {(c.header & ~0xFFu) | static_cast<uint32_t>(type), ls.tail - marker - 1, 0, 0};
  }
  static void construct(lexer_state& ls, construct_value kind, int32_t datatype) {
    calls->push_back("construct " + std::to_string(static_cast<int>(kind)) + " " + std::to_string(datatype));
    out_cell& c = output_base[alloc_cell(ls)];
    c.header = (c.header & ~0xFFu) | static_cast<uint32_t>(type::logic);
  }
};

TEST_F(LexerHooks, LoadModeCallsTheInstalledLoaders) {
  hooks.loaders[terminal::word - lex_first_terminal] = word;
  hooks.close_series = close;
  hooks.construct = construct;
  std::string input = "a [b\xC2\xA0" "c: d] #(true)\nx/y";
  run r(bytes(input), size(input), mode(false, true, true));
  run_result res = r.execute();
  EXPECT_TRUE(res.complete);
  const std::vector<std::string> expected = {"load a",         "load b",           "load c:",  "load d",
                                             "close 5 of 3",   "construct 1 0",    "load x",   "load y",
                                             "close 25 of 2"};
  EXPECT_EQ(log, expected);
  ASSERT_EQ(r.cell_count(), 4u);
  const int32_t types[] = {type::word, type::block, type::logic, type::path};
  for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(cell_type(r.cells()[i]), types[i]) << i;
  EXPECT_TRUE(r.cells()[3].header & new_line_flag);
  EXPECT_EQ(output_base[r.state().head + 1].word1, 3u);

  // A scan never builds: words are checked by their scanner, so their loader is not called.
  log.clear();
  EXPECT_TRUE(lex(input, mode(false)).complete);
  EXPECT_TRUE(log.empty());
}

TEST(Lexer, NestedRunsShareTheOutputAndTheScratchArea) {
  // A callback lexes again while its parent is open: the child appends after the parent's
  // tail and takes scratch space after the parent's text.
  recorder r;
  r.extra = [](recorder&, lexer_state& parent, trace_event& e) {
    if (e.event != event::open) return true;
    source_text inner(bytes("[[x]] (y"), 8);
    EXPECT_NE(inner.data(), parent.input);
    run child(inner.data(), inner.size(), mode(false));
    run_result res = child.execute();
    EXPECT_EQ(child.state().head, parent.tail);
    EXPECT_EQ(res.type, type::error);
    uint32_t count;
    live_cells(count);
    EXPECT_EQ(count, parent.tail - parent.head + child.cell_count());
    return true;
  };
  source_text outer(bytes("[a [b] c]"), 9);
  run_result res = lex(std::string_view(reinterpret_cast<const char*>(outer.data()), outer.size()),
                       traced(r, event::open));
  EXPECT_EQ(res.type, type::block);
  EXPECT_TRUE(res.complete);
  EXPECT_EQ(r.events.size(), 2u);
}

TEST(Lexer, ClosedSeriesKeepTheNewLineFlagOfTheirOpening) {
  run r(bytes("[a] (b)\n[c]\n\n#[d e] x/y"), 25, mode(false));
  run_result res = r.execute();
  EXPECT_TRUE(res.complete);
  ASSERT_EQ(r.cell_count(), 5u);
  const int32_t types[] = {type::block, type::paren, type::block, type::map, type::path};
  const bool new_line[] = {false, false, true, true, false};
  for (uint32_t i = 0; i < 5; ++i) {
    EXPECT_EQ(cell_type(r.cells()[i]), types[i]) << i;
    EXPECT_EQ((r.cells()[i].header & new_line_flag) != 0, new_line[i]) << i;
  }
  EXPECT_EQ(r.state().line, 4u);
}

TEST(Lexer, DeepNestingEndsInStackOverflow) {
  std::string ok(1000, '[');
  ok += std::string(1000, ']');
  run_result res = lex(ok, mode(false));
  EXPECT_TRUE(res.complete);
  EXPECT_EQ(res.type, type::block);

  std::string deep(max_depth + 1, '(');
  for (bool load : {false, true}) {
    try {
      lex(deep, mode(false, true, load));
      ADD_FAILURE() << "no error";
    } catch (const system_throw_signal&) {
      thrown_code = 0;
      EXPECT_EQ(last_fired.id, error_id::internal_stack_overflow);
    }
    uint32_t count = 1;
    live_cells(count);
    EXPECT_EQ(count, 0u);
  }
}

struct escape_case {
  std::string_view text;
  int64_t code_point;  // -1: invalid
  uint32_t length;
};

TEST(Lexer, EscapesDecodeAsWritten) {
  const escape_case cases[] = {
      {"^(tab)", 9, 6},     {"^(TAB)", 9, 6},       {"^(09)", 9, 5},     {"^-", 9, 2},
      {"^(null)", 0, 7},    {"^(back)", 8, 7},      {"^(line)", 10, 7},  {"^(page)", 12, 7},
      {"^(esc)", 27, 6},    {"^(Del)", 127, 6},     {"^(1F600)", 0x1F600, 8}, {"^(10FFFF)", 0x10FFFF, 9},
      {"^(110000)", -1, 0}, {"^(1234567)", -1, 0},  {"^()", -1, 0},      {"^(tabs)", -1, 0},
      {"^(12", -1, 0},      {"^\"", '"', 2},        {"^/", 10, 2},       {"^^", '^', 2},
      {"^{", '{', 2},       {"^}", '}', 2},         {"^~", 127, 2},      {"^@", 0, 2},
      {"^a", 1, 2},         {"^z", 26, 2},          {"^A", 1, 2},        {"^[", 27, 2},
      {"^_", 31, 2},        {"^1", '1', 2},         {"^\xC3\xA9", 0xE9, 3}, {"^", -1, 0},
  };
  for (const escape_case& c : cases) {
    uint32_t cp = 0xDEADBEEF;
    uint32_t n = decode_escape(bytes(c.text), bytes(c.text) + c.text.size(), &cp);
    EXPECT_EQ(n, c.length) << c.text;
    if (c.code_point >= 0) {
      EXPECT_EQ(cp, static_cast<uint32_t>(c.code_point)) << c.text;
    }
  }
}

TEST(Lexer, StringSourcesReportCharacterPositions) {
  const uint16_t units[] = {'[', 0x00E9, ' ', 0x4E2D, ']', ' ', 'x'};
  source_text text(units, 7, 2);
  EXPECT_EQ(text.size(), 10u);  // 1 + 2 + 1 + 3 + 1 + 1 + 1
  run_options o = mode(true);
  o.source_is_string = true;
  run r(text.data(), text.size(), o);
  run_result res = r.execute();
  EXPECT_EQ(res.type, type::block);
  EXPECT_EQ(res.position, 8u);
  EXPECT_EQ(char_offset(r.state(), res.position), 5u);
  EXPECT_EQ(char_offset(r.state(), 10), 7u);
  EXPECT_EQ(char_offset(r.state(), 1), 1u);  // behind the cache
  EXPECT_EQ(byte_offset(r.state(), 4), 7u);
}

// A script of words, numbers, strings and nested blocks, about `target` bytes.
std::string generate_script(size_t target, uint32_t seed) {
  std::mt19937 rng(seed);
  const char* const words[] = {"print", "either", "x:", ":y", "'z", "a/b/c", "obj/field:", "foo-bar?", "+", "<="};
  std::string s;
  s.reserve(target + 256);
  int depth = 0;
  while (s.size() < target) {
    switch (rng() % 10) {
      case 0: s += words[rng() % std::size(words)]; break;
      case 1: s += std::to_string(rng() % 100000); break;
      case 2: s += std::to_string(rng() % 1000) + "." + std::to_string(rng() % 1000); break;
      case 3: s += "\"text with ^\"quote^\" and ^(tab)\""; break;
      case 4: s += "{multi\nline {nested} text}"; break;
      case 5:
        if (depth < 50) {
          s += "[";
          ++depth;
        }
        break;
      case 6:
        if (depth > 0) {
          s += "]";
          --depth;
        }
        break;
      case 7: s += "; a comment\n"; break;
      case 8: s += "12:30 1.2.3 2x3 (1, 2) #{DEADBEEF} #\"c\" %file <tag>"; break;
      default: s += "\n"; break;
    }
    s += ' ';
  }
  s.append(depth, ']');
  return s;
}

TEST(Lexer, LargeScriptScansToItsEnd) {
  std::string script = generate_script(under_stress() ? 64u << 10 : 10u << 20, 17);
  source_text text(bytes(script), size(script));
  for (bool load : {false, true}) {
    run r(text.data(), text.size(), mode(false, true, load));
    run_result res = r.execute();
    EXPECT_TRUE(res.complete);
    EXPECT_EQ(res.position, text.size());
    EXPECT_GT(r.state().line, under_stress() ? 50u : 10000u);
    EXPECT_EQ(r.state().depth, 0u);
  }
}

// A trace callback that answers at random.
bool coin(lexer_state&, trace_event&, void* context) { return (*static_cast<std::mt19937*>(context))() % 4 != 0; }

// Random bytes and damaged scripts in every mode, also with a callback that refuses events
// at random: errors are fine, crashes and hangs are not.
TEST(Lexer, RandomInputNeverBreaksTheLexer) {
  std::mt19937 rng(20240611);
  std::string base = generate_script(4000, 3);
  const char alphabet[] = "[](){}\"#'%:;,/\\<>=@.$+-^xTheEaAfF019 \n\t\0\x80\xC2\xA0\xE2\xF0\xFF{}%%";
  const int rounds = under_stress() ? 300 : 12000;
  for (int round = 0; round < rounds; ++round) {
    std::string input;
    if (round % 3 == 0) {
      size_t n = rng() % 64;
      for (size_t i = 0; i < n; ++i) input.push_back(static_cast<char>(rng()));
    } else if (round % 3 == 1) {
      size_t n = rng() % 48;
      for (size_t i = 0; i < n; ++i) input.push_back(alphabet[rng() % (sizeof alphabet - 1)]);
    } else {
      input = base.substr(rng() % base.size(), 200 + rng() % 400);
      for (int edits = rng() % 6; edits > 0; --edits)
        input[rng() % input.size()] = alphabet[rng() % (sizeof alphabet - 1)];
    }
    for (int m = 0; m < 5; ++m) {
      run_options o = mode(m == 1, m != 2, m >= 3);
      if (m == 4) {
        o.tracer = coin;
        o.tracer_context = &rng;
      }
      try {
        run r(bytes(input), size(input), o);
        run_result res = r.execute();
        ASSERT_LE(res.position, input.size()) << round;
        ASSERT_LE(r.state().tail, r.state().head + input.size() + 1) << round;
        if (res.complete && !(o.scan == false && type::is_path(res.type))) {
          ASSERT_EQ(r.state().depth, 0u) << round;
          ASSERT_EQ(r.state().brace_depth, 0u) << round;
        }
      } catch (const system_throw_signal&) {
        ASSERT_EQ(thrown_code, tav::code::error) << round;
        thrown_code = 0;
        ASSERT_TRUE(o.load || last_fired.id == error_id::internal_stack_overflow) << round;
      }
    }
  }
  uint32_t count = 1;
  live_cells(count);
  EXPECT_EQ(count, 0u);
}

}  // namespace
}  // namespace tav::lexer
