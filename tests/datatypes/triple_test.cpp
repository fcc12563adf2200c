// triple! and ref!: their text forms and the actions they refuse.
#include "datatypes/triple.hpp"

#include "scalar_fixture.hpp"

namespace tav {
namespace {

using testing::call_entry;
using testing::fired_by;
using testing::formed;
using testing::molded;
using testing::string_of;
using TripleRef = testing::scalar_values;

TEST_F(TripleRef, TripleIsWrittenAsItsConstruction) {
  cell t;
  triple::make_at(t, 1, -2, 2147483647);
  EXPECT_EQ(molded(t), "make triple! [1 -2 2147483647]");
  EXPECT_EQ(formed(*triple::push(1, 2, 3)), "make triple! [1 2 3]");
  cell limited = call_entry(actions::entry::form, {t, scalar::integer(6)}, {1});
  EXPECT_EQ(testing::text_of(limited), "make t");
  EXPECT_EQ(fired_by([] { testing::made(TYPE_TRIPLE, testing::block_of({})); }), error_id::script_expect_arg);
  EXPECT_EQ(fired_by([&] { call_entry(actions::entry::compare, {t, t}, {0}); }), error_id::script_expect_arg);
}

TEST_F(TripleRef, RefMoldsWithAnAtSignAndNothingEscaped) {
  cell r = string_of("a b\"^");
  set_type(r, TYPE_REF);
  EXPECT_EQ(molded(r), "@a b\"^");
  r.payload1 = 2;
  EXPECT_EQ(molded(r), "@b\"^");
  cell wide = string_of("\xCE\xBB x");
  set_type(wide, TYPE_REF);
  EXPECT_EQ(molded(wide), "@\xCE\xBB x");
  cell limited = call_entry(actions::entry::mold, {wide, scalar::integer(2)}, {-1, -1, -1, 1});
  EXPECT_EQ(testing::text_of(limited), "@\xCE\xBB");
  EXPECT_EQ(ref::push(r)->payload2, r.payload2);
}

TEST_F(TripleRef, RefTakesFormAndCompareFromString) {
  cell r = string_of("a b");
  set_type(r, TYPE_REF);
  EXPECT_EQ(formed(r), "a b");
  cell same = string_of("A B");
  set_type(same, TYPE_REF);
  EXPECT_TRUE(testing::compared(actions::op::equal, r, same));
  EXPECT_FALSE(testing::compared(actions::op::strict_equal, r, same));
}

TEST_F(TripleRef, ToRefFromTextKeepsTheText) {
  cell r = testing::converted(TYPE_REF, string_of("a b"));
  EXPECT_EQ(r.type(), TYPE_REF);
  EXPECT_EQ(molded(r), "@a b");
  EXPECT_EQ(formed(r), "a b");
}

TEST_F(TripleRef, RefLacksAppendPutAndPaths) {
  cell r = string_of("ab");
  set_type(r, TYPE_REF);
  EXPECT_EQ(fired_by([&] { call_entry(actions::entry::append, {r, string_of("c")}, {-1, -1, -1}); }),
            error_id::script_expect_arg);
  EXPECT_EQ(fired_by([&] { call_entry(actions::entry::put, {r, scalar::integer(1), string_of("c")}, {-1}); }),
            error_id::script_expect_arg);
  EXPECT_EQ(fired_by([&] { testing::path_read(r, scalar::integer(1)); }), error_id::script_expect_arg);
  EXPECT_EQ(fired_by([&] { call_entry(actions::entry::random, {r}, {-1, -1, -1}); }), error_id::script_expect_arg);
}

}  // namespace
}  // namespace tav
