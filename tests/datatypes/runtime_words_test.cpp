// Runtime words: the globals interned at start-up.
#include "datatypes/runtime_words.hpp"
#include "value_fixture.hpp"

namespace tav {
namespace {

class RuntimeWords : public testing::fresh_values {
 protected:
  void SetUp() override {
    fresh_values::SetUp();
    fresh_tables();  // ids as at start, before anything else is interned
    context::collecting_at_start = true;
    init_runtime_words();
    init_refinement_values();
    init_ooo_marker();
    context::collecting_at_start = false;
  }
};

TEST_F(RuntimeWords, SymbolsInTheirOrder) {
  EXPECT_EQ(symbols::spec, 1u);
  EXPECT_EQ(symbols::logic_type, 5u);
  EXPECT_EQ(symbols::code_2, symbols::code);
  // 112 spellings, "code" twice.
  EXPECT_EQ(symbols::no_trace, 111u);
  EXPECT_STREQ(symbol::name(symbols::any_type_type), "any-type!");
  EXPECT_STREQ(symbol::name(symbols::bar), "|");
  EXPECT_STREQ(symbol::name(symbols::mid_down_p), "mid-down?");
}

TEST_F(RuntimeWords, GlobalWordsAndWordGlobals) {
  EXPECT_EQ(global_words::collect.payload2, global_words::collect_2.payload2);
  EXPECT_EQ(global_words::linux_.payload2, symbols::linux_);
  EXPECT_EQ(global_words::linux_.payload1, context::global);
  EXPECT_EQ(words::throw_.payload2, words::throw_2.payload2);
  struct row {
    const cell& word;
    const char* spelling;
  };
  for (const row& r : {row{words::put_ed, "put-ed"}, row{words::swaped, "swaped"}, row{words::changed, "changed"},
                       row{words::on_change, "on-change*"}, row{words::anon, "<anon>"},
                       row{words::applied, "<applied>"}, row{words::head_p, "head?"}}) {
    EXPECT_EQ(r.word.type(), TYPE_WORD);
    EXPECT_EQ(testing::spelling_of(r.word), r.spelling);
  }
  // A word global is bound in the global context, at its slot.
  EXPECT_EQ(context::get(words::at)->type(), TYPE_UNSET);
}

TEST_F(RuntimeWords, RefinementsAndMarker) {
  struct row {
    const cell& value;
    const char* spelling;
  };
  for (const row& r : {row{refinements::local, "local"}, row{refinements::extern_, "extern"},
                       row{refinements::with, "with"}}) {
    EXPECT_EQ(r.value.type(), TYPE_REFINEMENT);
    EXPECT_EQ(r.value.payload1, 0u);  // unbound
    EXPECT_EQ(testing::spelling_of(r.value), r.spelling);
  }
  EXPECT_EQ(ooo_marker.type(), TYPE_ISSUE);
  EXPECT_EQ(testing::spelling_of(ooo_marker), "ooo");
  // 212 distinct spellings in all: nothing else was interned on the way.
  EXPECT_EQ(symbol::count(), 212u);
  // Interned under start-up collection: copies are kept in the root block.
  EXPECT_GT(buffer_of(context::root.payload2)->count(), 100u);
}

}  // namespace
}  // namespace tav
