// PARSE internals a script cannot reach: the counting loops against the state machine's own
// passes, the rule stack's limit and a seeded run of random rules over random inputs.
#include <gtest/gtest.h>

#include <string>

#include "interpreter/evaluation_fixture.hpp"
#include "interpreter/parse.hpp"

namespace tav {
namespace {

using Parse = testing::evaluation;

struct loops_off {
  loops_off() { parser::set_counting_loops(false); }
  ~loops_off() { parser::set_counting_loops(true); }
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
  for (const result_case& c : cases) {
    EXPECT_EQ(result_of(c.code), c.molded) << c.code;
    loops_off off;
    EXPECT_EQ(result_of(c.code), c.molded) << c.code << " (pass by pass)";
  }
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
