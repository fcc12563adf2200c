// Symbol table: interning, case aliases, the lazily built spelling and symbol comparison.
#include "value_fixture.hpp"

namespace tav {
namespace {

using Symbols = testing::fresh_values;

TEST_F(Symbols, CaseVariantsBecomeAliases) {
  uint32_t first_count = symbol::count();
  uint32_t foo = symbol::make("foo");
  uint32_t capital = symbol::make("Foo");
  EXPECT_EQ(symbol::make("foo"), foo);
  EXPECT_EQ(symbol::make("Foo"), capital);
  EXPECT_NE(capital, foo);
  EXPECT_EQ(capital, foo + 1);
  EXPECT_EQ(symbol::get_alias(foo), -1);
  EXPECT_EQ(symbol::get_alias(capital), static_cast<int32_t>(foo));
  EXPECT_EQ(symbol::resolve(foo), foo);
  EXPECT_EQ(symbol::resolve(capital), foo);
  EXPECT_EQ(symbol::count(), first_count + 2);

  // A third variant aliases the first spelling too.
  uint32_t upper = symbol::make("FOO");
  EXPECT_EQ(symbol::get_alias(upper), static_cast<int32_t>(foo));

  // Caseless interning answers an existing variant and makes nothing.
  uint32_t before = symbol::count();
  EXPECT_EQ(symbol::make_caseless("fOO"), foo);
  EXPECT_EQ(symbol::count(), before);
  EXPECT_NE(symbol::make_caseless("bar"), foo);
  EXPECT_EQ(symbol::count(), before + 1);
}

TEST_F(Symbols, FreshTableStartsAtOne) {
  // The type names are words already; a table of its own shows the first ids.
  symbol::init_table();
  EXPECT_EQ(symbol::make("foo"), 1u);
  EXPECT_EQ(symbol::make("Foo"), 2u);
  EXPECT_EQ(symbol::get_alias(2), 1);
  EXPECT_EQ(symbol::make("foo"), 1u);
}

TEST_F(Symbols, OnlyAsciiLettersFoldForAliases) {
  uint32_t lower = symbol::make("\xC3\xA9t\xC3\xA9");  // été
  uint32_t upper = symbol::make("\xC3\x89t\xC3\xA9");  // Été
  EXPECT_NE(lower, upper);
  EXPECT_EQ(symbol::get_alias(upper), -1);
  EXPECT_EQ(symbol::resolve(upper), upper);
}

TEST_F(Symbols, NameAndSpelling) {
  uint32_t id = symbol::make_from_buffer(reinterpret_cast<const uint8_t*>("gr\xC3\xBC\xC3\x9F"), 6);  // grüß
  EXPECT_STREQ(symbol::name(id), "gr\xC3\xBC\xC3\x9F");
  EXPECT_EQ(symbol::name_length(id), 6u);

  EXPECT_EQ(symbol::record(id)->payload2, 0u);  // not built until needed
  cell* record = symbol::get(id);
  ASSERT_NE(record->payload2, 0u);
  EXPECT_EQ(testing::text_of(cell{TYPE_STRING, 0, record->payload2, 0}), "gr\xC3\xBC\xC3\x9F");
  EXPECT_EQ(buffer_of(record->payload2)->count(), 4u);

  cell text;
  text::make_at(text, 8);
  text::append_c_string(text, "grand");
  text.payload1 = 2;
  EXPECT_EQ(symbol::make_from_string(text), symbol::make("and"));
}

TEST_F(Symbols, CompareBySpelling) {
  cell a = *symbol::record(symbol::make("apple"));
  cell b = *symbol::record(symbol::make("Banana"));
  cell c = *symbol::record(symbol::make("APPLE"));
  EXPECT_LT(symbol::compare(&a, &b, actions::op::sort), 0);
  EXPECT_GT(symbol::compare(&b, &a, actions::op::lesser), 0);
  EXPECT_EQ(symbol::compare(&a, &c, actions::op::equal), 0);
  EXPECT_NE(symbol::compare(&a, &c, actions::op::strict_equal), 0);
  // Case-sensitive sort order: upper case letters come first.
  EXPECT_GT(symbol::compare(&a, &c, actions::op::case_sort), 0);
  cell number = scalar::integer(1);
  EXPECT_EQ(symbol::compare(&a, &number, actions::op::equal), actions::not_comparable);
}

}  // namespace
}  // namespace tav
