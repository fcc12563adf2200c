// Output, comparison and type natives: print and prin through the output hooks with the
// re-entrant print buffer, the comparisons, same?, not, type? and stats.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "datatypes/integer.hpp"
#include "interpreter/evaluation_fixture.hpp"
#include "interpreter/library_calls.hpp"
#include "runtime/collector.hpp"
#include "runtime/console_out.hpp"
#include "runtime/output_hooks.hpp"
#include "runtime/stdout_capture.hpp"

namespace tav {
namespace {

// What reached the value printers: each print's text, a newline after those that end a line.
std::string recorded;
int prints = 0;

void record(const cell& value, bool newline) {
  EXPECT_EQ(value.type(), TYPE_STRING);
  recorded += testing::text_of(value);
  if (newline) recorded += '\n';
  ++prints;
}

// The default printer is swapped for the recorder while a test runs.
class NativesOutput : public testing::evaluation {
 protected:
  void SetUp() override {
    evaluation::SetUp();
    swap_printer(&output_hooks::default_printer, &record);
    recorded.clear();
    prints = 0;
  }
  void TearDown() override {
    swap_printer(&record, &output_hooks::default_printer);
    evaluation::TearDown();
  }

  static void swap_printer(output_hooks::value_printer from, output_hooks::value_printer to) {
    auto& list = output_hooks::state.values;
    for (uint32_t i = 0; i < list.count; ++i)
      if (list.entries[i] == from) list.entries[i] = to;
  }

  // The buffer's head and tail, which every print must leave as it found them.
  static std::pair<uint32_t, uint32_t> buffer_state() {
    return {natives::print_buffer.payload1, buffer_of(natives::print_buffer.payload2)->count()};
  }
};

TEST_F(NativesOutput, PrintFormsTheValueAndEndsTheLine) {
  struct row {
    const char* code;
    const char* printed;
  };
  for (const row& r : {
           row{"print \"abc\"", "abc\n"},
           row{"print 42", "42\n"},
           row{"print 1.5", "1.5\n"},
           row{"print none", "none\n"},
           row{"print 'word", "word\n"},
           row{"print next \"abc\"", "bc\n"},
           row{"print \"\"", "\n"},
           row{"prin \"a\" prin \"b\"", "ab"},
           row{"prin 1 print 2", "12\n"},
           row{"print [1 + 2 \"x\"]", "3 x\n"},
           row{"print []", "\n"},
           row{"print [[1 2] \"a\" #\"b\"]", "1 2 a b\n"},
           row{"prin [\"a\" 1 * 3]", "a 3"},
           row{"n: 5 print [n n + 1]", "5 6\n"},
       }) {
    recorded.clear();
    EXPECT_EQ(value_of(r.code).type(), TYPE_UNSET) << r.code;
    EXPECT_EQ(recorded, r.printed) << r.code;
  }
}

TEST_F(NativesOutput, LastLineFeedFlagFollowsTheLastOutput) {
  value_of("print 1");
  EXPECT_EQ(natives::last_lf_flag, 1);
  value_of("prin 1");
  EXPECT_EQ(natives::last_lf_flag, 0);
  value_of("print [1]");
  EXPECT_EQ(natives::last_lf_flag, 1);
}

TEST_F(NativesOutput, AStringWhoseHeadIsPastItsTailPrintsNothing) {
  value_of("s: \"abcdef\" t: skip s 4 clear s print t prin t");
  EXPECT_EQ(recorded, "\n");
  EXPECT_EQ(prints, 2);
}

TEST_F(NativesOutput, APrintInsideTheReducedBlockPrintsItsOwnLineFirst) {
  const auto before = buffer_state();
  EXPECT_EQ(value_of("print [1 (print [2] 3)]").type(), TYPE_UNSET);
  EXPECT_EQ(recorded, "2\n1 3\n");
  EXPECT_EQ(prints, 2);
  recorded.clear();
  // Two levels deep, with values of the outer lines on both sides of the inner prints.
  value_of("print [\"a\" (prin [\"b\" (print [\"c\"] \"d\")] \"e\") \"f\"]");
  EXPECT_EQ(recorded, "c\nb da e f\n");
  EXPECT_EQ(buffer_state(), before);
}

TEST_F(NativesOutput, AnExitWhileReducingLeavesThePrintBufferAsItWas) {
  const auto before = buffer_state();
  natives::last_lf_flag = 0;
  // An error, also one raised inside a nested print, and a pending break and throw.
  EXPECT_EQ(error_of("print [1 2 (3 + none) 4]"), error_id::script_expect_arg);
  EXPECT_EQ(buffer_state(), before);
  EXPECT_EQ(error_of("print [1 (print [2 (none + 1)])]"), error_id::script_expect_arg);
  EXPECT_EQ(buffer_state(), before);
  EXPECT_EQ(result_of("loop 2 [print [1 (break) 2]] 7"), "7");
  EXPECT_EQ(buffer_state(), before);
  EXPECT_EQ(result_of("catch [print [\"a\" (throw 5)]]"), "5");
  EXPECT_EQ(buffer_state(), before);
  EXPECT_EQ(recorded, "") << "nothing of an interrupted print comes out";
  EXPECT_EQ(natives::last_lf_flag, 0);

  value_of("print [8 9]");
  EXPECT_EQ(recorded, "8 9\n");
  EXPECT_EQ(buffer_state(), before);
}

TEST_F(NativesOutput, APrintOfManyValuesOutgrowsTheBufferAndGivesItBack) {
  const auto before = buffer_state();
  std::string code = "print [";
  std::string expected;
  for (int i = 0; i < 100; ++i) {
    code += std::to_string(i) + " ";
    expected += std::to_string(i) + (i < 99 ? " " : "\n");
  }
  code += "]";
  value_of(code.c_str());
  EXPECT_EQ(recorded, expected);
  EXPECT_EQ(buffer_state(), before);
}

TEST_F(NativesOutput, EachPrintIsOneWriteOfUtf8EndingInALineFeed) {
  swap_printer(&record, &output_hooks::default_printer);
  auto writes = testing::writes_of([] {
    value_of("print \"caf^(E9) ^(1B)[31mred^(1B)[0m\" prin [1 \"^(20AC)\"] print \"\"");
  });
  swap_printer(&output_hooks::default_printer, &record);
  EXPECT_EQ(writes, (std::vector<std::string>{"caf\xC3\xA9 \x1B[31mred\x1B[0m\n", "1 \xE2\x82\xAC", "\n"}));
}

TEST_F(NativesOutput, Comparisons) {
  struct row {
    const char* code;
    bool answer;
  };
  for (const row& r : {
           row{"1 = 1", true},
           row{"equal? 1 2", false},
           row{"1 = 1.0", true},
           row{"\"abc\" = \"ABC\"", true},
           row{"\"abc\" == \"ABC\"", false},
           row{"strict-equal? \"abc\" \"abc\"", true},
           row{"\"abc\" <> \"abd\"", true},
           row{"not-equal? 'a 'a", false},
           row{"lesser? 1 2.5", true},
           row{"2.5 < 1", false},
           row{"\"b\" > \"a\"", true},
           row{"greater? 1 1", false},
           row{"lesser-or-equal? 2 2", true},
           row{"2.0 <= 1", false},
           row{"greater-or-equal? \"a\" \"b\"", false},
           row{"3 >= 2.5", true},
           // Values that cannot be compared are unequal.
           row{"1 = \"a\"", false},
           row{"1 <> \"a\"", true},
           row{"equal? [1] 1", false},
       }) {
    const cell value = value_of(r.code);
    ASSERT_EQ(value.type(), TYPE_LOGIC) << r.code;
    EXPECT_EQ(logic::get(value), r.answer) << r.code;
  }
  // Ordering them is an error.
  for (const char* code : {"1 < \"a\"", "lesser-or-equal? \"a\" 1", "greater? [1] 2", "none >= 1"})
    EXPECT_EQ(error_of(code), error_id::script_invalid_compare) << code;
  // A comparison needs both of its values.
  EXPECT_EQ(error_of("equal? 1"), error_id::script_no_arg);
}

TEST_F(NativesOutput, SameIsIdentity) {
  struct row {
    const char* code;
    bool answer;
  };
  for (const row& r : {
           row{"same? \"abc\" \"abc\"", false},
           row{"s: \"abc\" same? s s", true},
           row{"s: \"abc\" same? s next s", false},
           row{"s: \"abc\" same? next s next s", true},
           row{"b: [1] same? b b", true},
           row{"same? [1] [1]", false},
           row{"same? 1.5 1.5", true},
           row{"same? 0.0 -0.0", false},  // equal, but not the same number
           row{"same? 10% 10%", true},
           row{"same? 1x2 1x2", true},
           row{"same? 1x2 2x1", false},
           row{"same? none none", true},
           row{"same? () ()", true},
           row{"same? 1 1", true},
           row{"same? 1 1.0", false},
           row{"same? #\"a\" #\"a\"", true},
           row{"same? #\"a\" #\"A\"", false},
           row{"same? true true", true},
           row{"same? true false", false},
           row{"same? integer! integer!", true},
           row{"same? integer! float!", false},
           row{"same? 1.2.3 1.2.3", true},
           row{"same? 1.2.3 1.2.3.0", false},  // equal, but of other lengths
           row{"same? 'a 'a", true},
           row{"same? 'a 'A", false},
           row{"o: make object! [a: 1] same? o o", true},
           row{"same? make object! [a: 1] make object! [a: 1]", false},
           row{"f: func [] [] same? :f :f", true},
           row{"same? func [] [] func [] []", false},
           row{"same? :print :print", true},
           row{"same? :print :prin", false},
           row{"same? :+ :+", true},
           row{"s: \"x\" s =? s", true},
           row{"\"x\" =? \"x\"", false},
       }) {
    const cell value = value_of(r.code);
    ASSERT_EQ(value.type(), TYPE_LOGIC) << r.code;
    EXPECT_EQ(logic::get(value), r.answer) << r.code;
  }
  EXPECT_TRUE(logic::get(value_of("1.2.3 = 1.2.3.0")));
  EXPECT_TRUE(logic::get(value_of("0.0 = -0.0")));
}

TEST_F(NativesOutput, NotIsTrueForNoneAndFalseOnly) {
  struct row {
    const char* code;
    bool answer;
  };
  for (const row& r : {
           row{"not none", true},
           row{"not false", true},
           row{"not 0", false},
           row{"not true", false},
           row{"not \"\"", false},
           row{"not []", false},
           row{"not ()", false},
           row{"not not none", false},
       }) {
    const cell value = value_of(r.code);
    ASSERT_EQ(value.type(), TYPE_LOGIC) << r.code;
    EXPECT_EQ(logic::get(value), r.answer) << r.code;
  }
}

TEST_F(NativesOutput, TypeAnswersTheDatatypeOrItsWord) {
  struct row {
    const char* code;
    const char* molded;
  };
  for (const row& r : {
           row{"type? 1", "integer!"},
           row{"type? \"a\"", "string!"},
           row{"type? ()", "unset!"},
           row{"type? none", "none!"},
           row{"type? :print", "native!"},
           row{"type? integer!", "datatype!"},
           row{"type? type? 1", "datatype!"},
       }) {
    const cell value = value_of(r.code);
    EXPECT_EQ(value.type(), TYPE_DATATYPE) << r.code;
    EXPECT_EQ(mold_of(value), r.molded) << r.code;
  }
  const cell word = value_of("type?/word 1");
  ASSERT_EQ(word.type(), TYPE_WORD);
  EXPECT_EQ(testing::spelling_of(word), "integer!");
  // The word is the global one: its value is the datatype.
  const cell* bound = context::get(word);
  ASSERT_EQ(bound->type(), TYPE_DATATYPE);
  EXPECT_EQ(bound->payload1, TYPE_INTEGER);
  EXPECT_EQ(testing::spelling_of(value_of("type?/word ()")), "unset!");
}

TEST_F(NativesOutput, StatsCountsTheBytesInUse) {
  // No collection in between, which would give back garbage of earlier code.
  const bool was_active = collector::active_p();
  collector::set_active(false);
  const cell before = value_of("stats");
  value_of("big: make block! 100000");
  const cell after = value_of("stats");
  collector::set_active(was_active);
  ASSERT_EQ(before.type(), TYPE_INTEGER);
  ASSERT_EQ(after.type(), TYPE_INTEGER);
  EXPECT_GT(integer::get(before), 0);
  EXPECT_GE(integer::get(after) - integer::get(before), 1600000) << "the block's 100,000 cells";
}

TEST_F(NativesOutput, StatsInfoAnswersTheDetail) {
  const cell info = value_of("stats/info");
  ASSERT_EQ(info.type(), TYPE_BLOCK);
  series_buffer* items = buffer_of(info.payload2);
  ASSERT_EQ(items->count(), 5u);
  EXPECT_EQ(items->cells()[0].type(), TYPE_BLOCK);
  EXPECT_EQ(items->cells()[1].type(), TYPE_BLOCK);
  EXPECT_EQ(items->cells()[2].type(), TYPE_BLOCK);
  EXPECT_EQ(items->cells()[3].type(), TYPE_INTEGER);
  EXPECT_EQ(items->cells()[4].type(), TYPE_INTEGER);
  EXPECT_GT(integer::get(items->cells()[3]), integer::get(items->cells()[4]));
}

TEST_F(NativesOutput, StatsShowHandsTheDetailToTheLibraryFunction) {
  // The value start-up left is what runs: a script's own definition changes nothing.
  ASSERT_EQ(value_of("saved-stats: :show-memory-stats").type(), TYPE_FUNCTION);
  EXPECT_EQ(value_of("show-memory-stats: func [data] [print \"mine\"] stats/show").type(), TYPE_UNSET);
  EXPECT_NE(recorded.find("[ Nodes  ] -- Free ----- Used ----- Total --\n"), std::string::npos) << recorded;
  EXPECT_EQ(recorded.find("mine"), std::string::npos);
  recorded.clear();
  // Without it, it is the error of a word without a value.
  value_of("unset 'show-memory-stats");
  interpreter::library::fill();
  EXPECT_EQ(error_of("stats/show"), error_id::script_no_value);
  ASSERT_EQ(last_fired.arg_count, 1u);
  EXPECT_EQ(testing::spelling_of(last_fired.args[0]), "show-memory-stats");
  value_of("show-memory-stats: 5");
  interpreter::library::fill();
  EXPECT_EQ(error_of("stats/show"), error_id::script_invalid_type);

  value_of("show-memory-stats: func [data] [got: data print length? data]");
  interpreter::library::fill();
  EXPECT_EQ(value_of("stats/show").type(), TYPE_UNSET);
  EXPECT_EQ(recorded, "5\n");
  const cell got = global("got");
  ASSERT_EQ(got.type(), TYPE_BLOCK);
  EXPECT_EQ(buffer_of(got.payload2)->cells()[0].type(), TYPE_BLOCK);
  // /show wins over /info.
  EXPECT_EQ(value_of("stats/info/show").type(), TYPE_UNSET);
  value_of("show-memory-stats: :saved-stats");
  interpreter::library::fill();
}

}  // namespace
}  // namespace tav
