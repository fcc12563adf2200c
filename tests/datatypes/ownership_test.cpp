// Ownership: binding an object's field values deeply, change reports reaching the owner's
// on-deep-change* handler, unbinding, and the owners table across collections.
#include "object_fixture.hpp"
#include "runtime/memory.hpp"

namespace tav {
namespace {

using testing::at;
using testing::block_of;
using testing::fired_by;
using testing::integer;
using testing::logic_of;
using testing::set_word;
using testing::spelling_of;
using testing::word_of;

class Ownership : public testing::object_values {
 protected:
  // An owner with an on-deep-change* handler whose field `list` holds [x [y]] and whose field
  // `text` holds a string.
  void make_owner() {
    inner_ = block_of({word_of("y")});
    list_ = block_of({word_of("x"), inner_});
    text::make_at(text_, 8);
    owner_ = make_object({set_word("list"), list_, set_word("text"), text_, set_word("on-deep-change*"), handler()});
  }

  bool owned_p(const cell& value) { return (buffer_of(ownership::key_of(value))->flags & series_flag::owned) != 0; }

  cell reflect(const cell& object, const char* field) {
    return testing::call_entry(actions::entry::reflect, {object, word_of(field)});
  }

  cell owner_, list_, inner_, text_;
};

TEST_F(Ownership, DeepChangesReachTheHandler) {
  make_owner();
  EXPECT_TRUE(logic::get(reflect(owner_, "owner")));
  EXPECT_TRUE(owned_p(list_));
  EXPECT_TRUE(owned_p(inner_));
  EXPECT_TRUE(owned_p(text_));
  ASSERT_NE(ownership::owner_of(inner_), nullptr);
  EXPECT_EQ(object::context_of(*ownership::owner_of(inner_)), object::context_of(owner_));

  struct row {
    cell target;
    cell action;
    cell added;
    int32_t index, part;
    const char* field;
  };
  cell appended = word_of("z");
  for (const row& r : {
           row{list_, words::append, appended, 2, 1, "list"},
           row{inner_, words::change, appended, 0, 1, "list"},
           row{list_, words::removed, none::value, 1, 1, "list"},
           row{text_, words::inserted, none::value, 0, 3, "text"},
       }) {
    uint32_t before = calls();
    EXPECT_TRUE(ownership::check(r.target, r.action, r.added, r.index, r.part)) << r.field;
    ASSERT_EQ(calls(), before + 1);
    cell logged = call(before);
    EXPECT_EQ(spelling_of(at(logged, 1)), "on-deep-change*");
    EXPECT_EQ(object::context_of(argument(before, 0)), object::context_of(owner_));
    EXPECT_EQ(spelling_of(argument(before, 1)), r.field);
    EXPECT_EQ(argument(before, 2).payload2, r.target.payload2);
    EXPECT_EQ(word::symbol_of(argument(before, 3)), word::symbol_of(r.action));
    EXPECT_EQ(argument(before, 4).type(), r.added.type());
    EXPECT_EQ(scalar::integer_value(argument(before, 5)), r.index);
    EXPECT_EQ(scalar::integer_value(argument(before, 6)), r.part);
  }
  // The action given as a symbol, as the text actions report it.
  EXPECT_TRUE(ownership::check(list_, symbols::remove, none::value, 0, 1));
  EXPECT_EQ(spelling_of(argument(calls() - 1, 3)), "remove");

  // After unbinding nothing is heard, deep inside either.
  ownership::unbind(list_);
  EXPECT_FALSE(owned_p(list_));
  EXPECT_FALSE(owned_p(inner_));
  EXPECT_EQ(ownership::lookup(list_.payload2), nullptr);
  uint32_t before = calls();
  EXPECT_FALSE(ownership::check(list_, words::append, none::value, 0, 1));
  EXPECT_FALSE(ownership::check(inner_, words::append, none::value, 0, 1));
  EXPECT_EQ(calls(), before);
  EXPECT_TRUE(ownership::check(text_, words::append, none::value, 0, 1)) << "other fields stay owned";
}

TEST_F(Ownership, SortingAnOwnedStringReportsBeforeAndAfter) {
  make_owner();
  text::append_c_string(text_, "cba");
  actions::sort(&text_, false, nullptr, nullptr, nullptr, false, false, false);
  ASSERT_EQ(calls(), 2u);
  EXPECT_EQ(spelling_of(argument(0, 3)), "sort");
  EXPECT_EQ(spelling_of(argument(1, 3)), "sorted");
  EXPECT_EQ(spelling_of(argument(1, 1)), "text");
  EXPECT_EQ(scalar::integer_value(argument(1, 6)), 3);
  EXPECT_EQ(testing::text_of(text_), "abc");
}

TEST_F(Ownership, ValuesNobodyOwnsAndOwnersWithoutHandlers) {
  cell loose = block_of({word_of("a")});
  EXPECT_FALSE(ownership::check(loose, words::append, none::value, 0, 1));
  EXPECT_EQ(ownership::owner_of(loose), nullptr);

  cell plain = make_object({set_word("list"), loose});
  cell name = word_of("owner"), none_value = none::value;
  actions::modify(&plain, &name, &none_value, false);
  EXPECT_TRUE(logic::get(reflect(plain, "owner")));
  EXPECT_TRUE(owned_p(loose));
  EXPECT_FALSE(ownership::check(loose, words::append, none::value, 0, 1)) << "an owner without handlers hears nothing";
  EXPECT_EQ(calls(), 0u);

  // A handler replaced by a value that is no function is skipped.
  make_owner();
  cell deep = *context::word_at(object::context_of(owner_), 2);
  context::set_in(deep, integer(1), object::context_of(owner_), false);
  EXPECT_TRUE(ownership::check(list_, words::append, none::value, 0, 1));
  EXPECT_EQ(calls(), 0u);
}

TEST_F(Ownership, CyclesAndNestedObjects) {
  // A block holding itself is bound and unbound once.
  cell loop = block_of({word_of("a")});
  *alloc_block_tail(loop) = loop;
  cell nested = make_object({set_word("sub-list"), block_of({word_of("b")})});
  cell nested_list = field(nested, "sub-list");
  owner_ = make_object({set_word("loop"), loop, set_word("sub"), nested, set_word("on-deep-change*"), handler()});
  EXPECT_TRUE(owned_p(loop));
  EXPECT_EQ(cycles::depth(), 0u);
  EXPECT_TRUE(ownership::check(nested_list, words::append, none::value, 0, 1));
  EXPECT_EQ(spelling_of(argument(0, 1)), "sub-list") << "an owned object's fields report their own words";
  EXPECT_EQ(object::context_of(argument(0, 0)), object::context_of(owner_));
  ownership::unbind(loop);
  EXPECT_FALSE(owned_p(loop));
  EXPECT_EQ(cycles::depth(), 0u);

  // An object that owns its own fields keeps them when another owner takes it.
  cell keeper = make_object({set_word("mine"), block_of({}), set_word("on-deep-change*"), handler()});
  cell mine = field(keeper, "mine");
  cell taker = make_object({set_word("held"), keeper, set_word("on-deep-change*"), handler()});
  const cell* recorded = ownership::owner_of(mine);
  ASSERT_NE(recorded, nullptr);
  EXPECT_EQ(object::context_of(*recorded), object::context_of(keeper));
  EXPECT_EQ(object::context_of(*ownership::owner_of(keeper)), object::context_of(taker));

  // The first owner keeps a value another owner binds too.
  cell shared = block_of({});
  cell first = make_object({set_word("s"), shared, set_word("on-deep-change*"), handler()});
  make_object({set_word("s"), shared, set_word("on-deep-change*"), handler()});
  EXPECT_EQ(object::context_of(*ownership::owner_of(shared)), object::context_of(first));
}

TEST_F(Ownership, ModifyOwned) {
  make_owner();
  cell other = make_object({set_word("v"), block_of({})});
  cell held = field(other, "v");
  cell name = word_of("owned");
  cell spec = block_of({owner_, word_of("list")});
  actions::modify(&other, &name, &spec, false);
  EXPECT_TRUE(owned_p(held));
  EXPECT_TRUE(ownership::check(held, words::append, none::value, 0, 1));
  EXPECT_EQ(spelling_of(argument(0, 1)), "v") << "fields of an owned object report their own words";
  EXPECT_EQ(spelling_of(ownership::lookup(ownership::key_of(other))[2]), "list");
  cell none_value = none::value;
  actions::modify(&other, &name, &none_value, false);
  EXPECT_FALSE(owned_p(held));
  cell bad = block_of({integer(1)});
  EXPECT_EQ(fired_by([&] { actions::modify(&other, &name, &bad, false); }), error_id::script_invalid_arg);
}

TEST_F(Ownership, OwnedSeriesOutliveTheirReferences) {
  node_id kept;
  {
    cell lonely = block_of({word_of("a")});
    kept = lonely.payload2;
    cell owner = make_object({set_word("on-deep-change*"), handler()});
    ownership::bind(lonely, owner, word_of("w"));
  }
  collector::run();
  EXPECT_TRUE(memory::live_node_p(kept));
  cell* entry = ownership::lookup(kept);
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry[0].payload2, kept);
  EXPECT_EQ(entry[1].type(), TYPE_OBJECT);
  EXPECT_EQ(spelling_of(entry[2]), "w");

  ownership::init();
  EXPECT_EQ(ownership::lookup(kept), nullptr) << "a fresh table";
}

}  // namespace
}  // namespace tav
