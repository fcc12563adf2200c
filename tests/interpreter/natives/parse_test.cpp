// PARSE internals a script cannot reach: the counting loops against the state machine's own
// passes, the values a search for a word passes over, the rule stack's limit and a seeded run
// of random rules over random inputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "datatypes/actions.hpp"
#include "datatypes/block.hpp"
#include "datatypes/triple.hpp"
#include "datatypes/word.hpp"
#include "interpreter/evaluation_fixture.hpp"
#include "interpreter/parse.hpp"
#include "runtime/fire_helpers.hpp"

namespace tav {
namespace {

struct loops_off {
  loops_off() { parser::set_counting_loops(false); }
  ~loops_off() { parser::set_counting_loops(true); }
};

struct Parse : testing::evaluation {
  // Each case gives its answer with counting loops and again matched pass by pass.
  template <size_t count>
  static void expect_both_ways(const result_case (&cases)[count]) {
    for (const result_case& c : cases) {
      EXPECT_EQ(result_of(c.code), c.molded) << c.code;
      loops_off off;
      EXPECT_EQ(result_of(c.code), c.molded) << c.code << " (pass by pass)";
    }
  }
};

// Repeated literals give the same answers counted by a loop and matched pass by pass, on text of
// every unit width, on bytes and on blocks.
TEST_F(Parse, CountingLoopsAgreeWithTheStateMachine) {
  const result_case cases[] = {
      {"parse \"aaaa\" [some #\"a\"]", "true"},
      {"parse \"AAa\" [some #\"a\"]", "true"},
      {"parse/case \"AAa\" [some #\"a\"]", "false"},
      {"parse \"aab\" [3 #\"a\" #\"b\"]", "false"},
      {"parse \"aaab\" [1 2 #\"a\" #\"a\" #\"b\"]", "true"},
      {"parse \"abab\" [2 \"ab\"]", "true"},
      {"parse \"abAB\" [some \"ab\"]", "true"},
      {"parse/case \"abAB\" [some \"ab\"]", "false"},
      {"parse \"<a><a>\" [some <a>]", "true"},
      {"parse/part \"aaaa\" [some #\"a\"] 2", "true"},
      {"parse/part \"aaaa\" [3 #\"a\"] 2", "false"},
      {"s: \"aaab\" reduce [parse s [copy x some #\"a\" #\"b\"] x]", "[true \"aaa\"]"},
      {"parse \"aa\" [any #\"b\" 2 #\"a\"]", "true"},
      {"parse \"aaa\" [opt #\"a\" 2 #\"a\"]", "true"},
      {"parse \"aaa\" [while #\"a\"]", "true"},
      {"d: make bitset! \"0123456789\" parse \"123x\" [some d #\"x\"]", "true"},
      {"parse \"AAa\u0100\" [some #\"a\" skip]", "true"},
      {"parse/case \"AAa\u0100\" [some #\"a\" skip]", "false"},
      {"parse \"aa\u0100\u0101\" [2 #\"a\" some #\"\u0100\"]", "true"},
      {"parse/case \"aa\u0100\u0101\" [2 #\"a\" some #\"\u0100\"]", "false"},
      {"parse \"aa\U0001F600\" [some #\"A\" skip]", "true"},
      {"parse \"abab\U0001F600\" [2 \"ab\" skip]", "true"},
      {"parse #{010101} [some #{01}]", "true"},
      {"parse #{414141} [some #\"A\"]", "true"},
      {"parse #{616161} [some #\"A\"]", "false"},
      {"d: make bitset! \"012\" parse #{30313239} [some d #{39}]", "true"},
      {"parse [\"a\" \"A\"] [some \"a\"]", "true"},
      {"parse/case [\"a\" \"A\"] [some \"a\"]", "false"},
      {"parse [a A x] [some 'a 'x]", "true"},
      {"parse/case [a A x] [some 'a 'x]", "false"},
      {"parse [1.5 1.5] [2 1.5]", "true"},
      {"s: \"aaa\" parse s [any remove #\"a\"] s", "\"aa\""},
  };
  expect_both_ways(cases);
}

// A value of every type the word search passes over, and of the word kinds: compared with a word
// of every kind under every op the engine uses, a value passed over answers "not equal" and
// raises nothing, as the full compare does.
TEST_F(Parse, WordSearchPassesOverOnlyValuesThatCannotEqualAWord) {
  // Made and kept in words first: nothing below allocates, so the cells stay valid.
  value_of(
      "samples: reduce [integer! none true [a] pick [(a)] 1 \"s\" %f http://x #\"a\" 1 1.5 :append :print :+ "
      "func [] [] pick [a/b] 1 pick ['a/b] 1 pick [a/b:] 1 pick [:a/b] 1 make bitset! \"a\" make object! [a: 1] "
      "make typeset! [integer!] try [1 / 0] make vector! [integer! 32 [1 2]] make hash! [a] 1x2 50% 1.2.3 "
      "make map! [a 1] #{01} 1:00 <t> to email! \"a@b\" 1-Jan-2000 $1 to ref! \"r\" (1, 2) (1, 2, 3) "
      "make image! 1x1 'a pick [a] 1 pick [a:] 1 pick [:a] 1 /a #a] "
      "routine-like: func [] [] port-like: make object! [] handle-like: make object! []");
  const cell samples = global("samples");
  std::vector<cell> values(buffer_of(samples.payload2)->cells(),
                           buffer_of(samples.payload2)->cells() + buffer_of(samples.payload2)->count());
  // Values no source text here makes: their handlers look at the second value's type first.
  const std::pair<const char*, uint8_t> retyped[] = {
      {"routine-like", TYPE_ROUTINE}, {"port-like", TYPE_PORT}, {"handle-like", TYPE_HANDLE}};
  for (const auto& [name, type] : retyped) {
    cell made = global(name);
    set_type(made, type);
    values.push_back(made);
  }
  values.push_back(cell{unset_header, 0, 0, 0});
  cell made;
  triple::make_at(made, 1, 2, 3);
  values.push_back(made);
  const cell word_a = *std::find_if(values.begin(), values.end(), [](const cell& v) { return v.type() == TYPE_WORD; });

  uint64_t seen = 0;
  for (const cell& value : values) seen |= uint64_t{1} << value.type();
  EXPECT_EQ(word::unequal_to_words & ~seen, 0u) << "a type passed over has no sample";

  const int32_t ops[] = {parser::mode_caseless, parser::mode_case, actions::op::parse_equal,
                         actions::op::parse_strict};
  const uint8_t kinds[] = {TYPE_WORD, TYPE_SET_WORD, TYPE_LIT_WORD, TYPE_GET_WORD, TYPE_REFINEMENT, TYPE_ISSUE};
  for (const cell& value : values) {
    if (word::may_equal_word_p(value.type())) continue;
    for (const uint8_t kind : kinds) {
      for (const int32_t op : ops) {
        cell element = value, rule = word_a;
        set_type(rule, kind);
        bool equal = true;
        const auto error = testing::fired_by([&] { equal = actions::compare(&element, &rule, op); });
        EXPECT_FALSE(error) << mold_of(value) << " against a word of type " << int{kind} << " under op " << op;
        EXPECT_FALSE(equal) << mold_of(value) << " against a word of type " << int{kind} << " under op " << op;
      }
    }
  }
  // The word kinds and symbol! are compared.
  for (const uint8_t type : {TYPE_WORD, TYPE_SET_WORD, TYPE_LIT_WORD, TYPE_GET_WORD, TYPE_REFINEMENT, TYPE_ISSUE,
                             TYPE_SYMBOL, TYPE_TRIPLE, TYPE_CONTEXT})
    EXPECT_TRUE(word::may_equal_word_p(type)) << int{type};
}

// Searches for a word through blocks of every kind of value find the same places a pass by pass
// match finds, under both case modes, and keep raising where a value cannot be compared.
TEST_F(Parse, WordSearchesFindTheFirstEqualValue) {
  const result_case cases[] = {
      {"b: [1 \"a\" [a] a/b #a a: :a /a A a] reduce [parse b [to 'a p: to end] index? p]", "[true 9]"},
      {"b: [1 \"a\" [a] a/b #a a: :a /a A a] reduce [parse/case b [to 'a p: to end] index? p]", "[true 10]"},
      {"b: [1 2 'a x] reduce [parse b [thru 'a p: to end] index? p]", "[true 4]"},
      {"parse [1 2 3 a: b] [to 'a]", "false"},
      {"parse [1 #a /a] [to #a 2 skip]", "true"},
      {"parse [1 #a a /a] [to /a p:] index? p", "3"},
      {"parse [x: 1 a: 2] [thru quote a: integer!]", "true"},
      {"parse [1 2 x x y] [2 skip some 'x 'y]", "true"},
      {"parse [1 2 3] [to \"\" p:] index? p", "4"},
  };
  expect_both_ways(cases);
}

// Each entry counts three cells: 3,333 nested blocks fit below the limit of 10,001 cells.
TEST_F(Parse, RuleStackHoldsNestingUpToItsLimit) {
  // The nested rules are built without a collection at each step; the runs are not.
  const uint32_t stress_interval = memory::state.stress_interval;
  memory::state.stress_interval = 0;
  value_of("fits: [skip] loop 3331 [fits: reduce [fits]] deeper: reduce [reduce [fits]]");
  memory::state.stress_interval = stress_interval;
  memory::state.stress_countdown = stress_interval;
  EXPECT_EQ(result_of("parse \"a\" fits"), "true");
  EXPECT_EQ(error_of("parse \"a\" deeper"), error_id::script_parse_stack);
  EXPECT_EQ(result_of("parse \"a\" [\"a\"]"), "true");
}

// A small generator of rule blocks and inputs: every run answers true or false (or a collected
// block), or raises a catalog error, and leaves the stacks as it found them. It writes neither
// while nor insert: a loop over either need not end (an insertion moves the input on).
class random_rules {
 public:
  explicit random_rules(uint64_t seed) : state_(seed) {}

  std::string input() {
    switch (next(3)) {
      case 0: {
        static const char* values[] = {"a", "b", "1", "2", "\"ab\"", "[a 1]", "'a", "x/y", "#\"a\""};
        return block_of(values, 9);
      }
      case 1: {
        std::string text = "\"";
        for (uint32_t n = next(6); n > 0; --n) text += "abA-"[next(4)];
        return text + "\"";
      }
      default: {
        std::string bytes = "#{";
        for (uint32_t n = next(5); n > 0; --n) bytes += next(2) ? "61" : "01";
        return bytes + "}";
      }
    }
  }

  std::string rules(uint32_t depth = 0) {
    std::string out = "[";
    for (uint32_t n = next(5); n > 0; --n) out += " " + rule(depth);
    return out + "]";
  }

 private:
  uint64_t state_;

  uint32_t next(uint32_t bound) {
    state_ ^= state_ << 13, state_ ^= state_ >> 7, state_ ^= state_ << 17;
    return static_cast<uint32_t>(state_ % bound);
  }

  std::string block_of(const char** values, uint32_t count) {
    std::string out = "[";
    for (uint32_t n = next(5); n > 0; --n) out += std::string(" ") + values[next(count)];
    return out + "]";
  }

  std::string rule(uint32_t depth) {
    static const char* words[] = {
        "any",    "some",   "opt",        "to",       "thru",    "copy x", "set x",   "not",         "ahead",
        "remove", "skip",   "end",        "none",     "fail",    "break",  "reject",  "quote a",     "if (true)",
        "if (none)", "change skip \"c\"", "into", "collect", "keep", "keep pick",
        "|",      "1",      "2 3",        "#\"a\"",   "\"ab\"",  "<a>",    "integer!", "word!",      "'a",
        "#{61}",  "p:",     "(n: 1)",     "case true", "collect set c", "collect into t", "keep (1)", "0",
    };
    if (depth < 3 && next(5) == 0) return rules(depth + 1);
    return words[next(sizeof words / sizeof words[0])];
  }
};

TEST_F(Parse, RandomRulesEndWithAnAnswerOrACatalogError) {
  random_rules generator(0x5EED5EEDull);
  for (int run = 0; run < 150; ++run) {
    const std::string code = "t: copy [] p: x: c: none parse " + generator.input() + " " + generator.rules();
    const outcome result = evaluate(code.c_str());
    if (result.error) {
      EXPECT_LT(static_cast<uint32_t>(*result.error), static_cast<uint32_t>(error_id::count)) << code;
    } else {
      const uint8_t type = result.value.type();
      EXPECT_TRUE(type == TYPE_LOGIC || type == TYPE_BLOCK) << code << " gave " << mold_of(result.value);
    }
    EXPECT_EQ(result_of("parse [1] [integer!]"), "true") << "after " << code;
  }
}

}  // namespace
}  // namespace tav
