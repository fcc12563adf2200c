// Contexts: word lists and slots, case variants in the global context, reading and writing
// through words (a stale cached index included), binding and copying.
#include "runtime/cycle_stack.hpp"
#include "runtime/fire_helpers.hpp"
#include "value_fixture.hpp"

namespace tav {
namespace {

using testing::fired_by;
using testing::global_word;
using Contexts = testing::fresh_values;

cell unbound(const char* name, uint8_t type = TYPE_WORD) { return word::make_cell(type, 0, symbol::make(name), -1); }

// An object context holding the words with the values 1, 2, ...
node_id object_with(std::initializer_list<const char*> names) {
  node_id object = context::create(static_cast<uint32_t>(names.size()), false, true, 0, context::kind_object);
  int32_t n = 0;
  for (const char* name : names) context::put(object, unbound(name), scalar::integer(++n));
  return object;
}

cell bound(node_id context, const char* name, int32_t index) {
  return word::make_cell(TYPE_WORD, context, symbol::make(name), index);
}

TEST_F(Contexts, AddingAWordAddsOneUnsetValue) {
  node_id object = context::create(0, false, true, 0, context::kind_object);
  EXPECT_EQ(context::cell_of(object)->type(), TYPE_CONTEXT);
  EXPECT_EQ(context::kind_of(object), context::kind_object);
  EXPECT_EQ(context::add_word(object, unbound("foo")), 0);
  EXPECT_EQ(context::add_word(object, unbound("bar")), 1);
  EXPECT_EQ(context::add_word(object, unbound("foo")), 0);
  EXPECT_EQ(context::add_word(object, unbound("FOO")), 0);  // a case variant is the same word
  EXPECT_EQ(context::word_count(object), 2u);
  EXPECT_EQ(buffer_of(context::cell_of(object)->payload2)->count(), 2u);
  EXPECT_EQ(context::value_at(object, 1)->type(), TYPE_UNSET);
  EXPECT_EQ(context::find_word(object, symbol::make("FOO"), false), -1);
  EXPECT_EQ(context::find_word(object, symbol::make("FOO"), true), 0);

  cell* added = context::add_with(object, unbound("baz"), scalar::integer(7));
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(scalar::integer_value(*added), 7);
  EXPECT_EQ(context::add_with(object, unbound("Baz"), scalar::integer(8)), nullptr);
  context::put(object, unbound("BAZ"), scalar::integer(9));
  EXPECT_EQ(scalar::integer_value(*context::find_value(object, symbol::make("baz"))), 9);
  EXPECT_EQ(context::word_count(object), 3u);
}

TEST_F(Contexts, CaseVariantsShareTheGlobalSlot) {
  cell foo = *word::load("foo");
  context::set(foo, scalar::integer(1));

  cell upper = global_word("FOO");
  EXPECT_EQ(scalar::integer_value(*context::get(upper)), 1);
  context::set(upper, scalar::integer(2));
  EXPECT_EQ(scalar::integer_value(*context::get(foo)), 2);

  // word::load answers the caller's spelling, bound to the same slot.
  cell loaded = *word::load("Foo");
  EXPECT_EQ(testing::spelling_of(loaded), "Foo");
  EXPECT_EQ(loaded.payload3, foo.payload3);

  // An exact lookup adds the spelling as a word of its own that names the variant's slot.
  uint32_t before = context::word_count(context::global);
  cell exact = *word::load_symbol(symbol::make("fOO"));
  EXPECT_EQ(context::word_count(context::global), before + 1);
  EXPECT_EQ(exact.payload3, foo.payload3);
  context::set(exact, scalar::integer(3));
  EXPECT_EQ(scalar::integer_value(*context::get(foo)), 3);
  cell rebound = unbound("fOO");
  context::bind_word(context::global, rebound);
  EXPECT_EQ(scalar::integer_value(*context::get(rebound)), 3);

  // Setting a global word does not mark it as a set field.
  EXPECT_EQ(context::word_at(context::global, foo.payload3)->header & cell_flag::field_set, 0u);
}

TEST_F(Contexts, ReadingChecksTheCachedIndex) {
  node_id letters = object_with({"a", "b", "c", "d"});
  node_id single = object_with({"x"});
  struct row {
    const char* what;
    cell word;
    node_id context;
    int32_t expected;  // 0: no-value
  };
  for (const row& r : {
           row{"index in range", bound(letters, "c", 2), letters, 3},
           row{"index of another word", bound(letters, "b", 0), letters, 2},
           row{"case variant at the index", bound(letters, "B", 1), letters, 2},
           row{"index past the values", bound(letters, "x", 3), single, 1},
           row{"symbol absent", bound(letters, "d", 3), single, 0},
           row{"absent, index in range", bound(letters, "a", 0), single, 0},
       }) {
    if (r.expected) {
      EXPECT_EQ(scalar::integer_value(*context::get_in(r.word, r.context)), r.expected) << r.what;
    } else {
      EXPECT_EQ(fired_by([&] { context::get_in(r.word, r.context); }), error_id::script_no_value) << r.what;
      EXPECT_EQ(last_fired.args[0].payload2, r.word.payload2) << r.what;
    }
  }
}

TEST_F(Contexts, UnresolvedWordsAndContextsWithoutValues) {
  node_id object = object_with({"a"});
  cell owner{TYPE_OBJECT, object, 0, 0};
  *context::self_of(object) = owner;

  cell self = bound(object, "self", -1);
  EXPECT_EQ(context::get_in(self, context::global)->type(), TYPE_OBJECT);
  EXPECT_EQ(fired_by([&] { context::get_in(bound(object, "a", -1), object); }), error_id::script_no_value);

  node_id frame = context::create(2, true, false, 0, context::kind_function);
  EXPECT_EQ(context::cell_of(frame)->header & cell_flag::stack_values, cell_flag::stack_values);
  context::add_word(frame, unbound("arg"));
  EXPECT_EQ(fired_by([&] { context::get_in(bound(frame, "arg", 0), frame); }), error_id::script_not_in_context);
  cell local = bound(frame, "local", -1);
  EXPECT_EQ(fired_by([&] { context::set_in(local, scalar::integer(1), frame, true); }),
            error_id::script_not_defined);
  EXPECT_EQ(context::find_word(frame, symbol::make("local"), false), 1);  // the word stays

  // An unbound word: unresolved it has no value, with an index it is not bound anywhere.
  cell loose = unbound("loose");
  EXPECT_EQ(fired_by([&] { context::get(loose); }), error_id::script_no_value);
  loose.payload3 = 0;
  EXPECT_EQ(fired_by([&] { context::get(loose); }), error_id::script_not_defined);
}

TEST_F(Contexts, WritingAddsMissingWordsAndMarksFields) {
  node_id object = object_with({"a", "b"});
  cell c = unbound("c");
  context::set_in(c, scalar::integer(9), object, true);
  EXPECT_EQ(word::index_of(c), 2);
  EXPECT_EQ(context::word_count(object), 3u);
  EXPECT_EQ(buffer_of(context::cell_of(object)->payload2)->count(), 3u);
  EXPECT_EQ(scalar::integer_value(*context::value_at(object, 0)), 1);
  EXPECT_EQ(scalar::integer_value(*context::value_at(object, 1)), 2);
  EXPECT_EQ(scalar::integer_value(*context::value_at(object, 2)), 9);
  EXPECT_NE(context::word_at(object, 2)->header & cell_flag::field_set, 0u);
  EXPECT_EQ(context::word_at(object, 0)->header & cell_flag::field_set, 0u);

  // A cached index from elsewhere never writes past the values.
  cell stale = bound(object, "a", 40);
  context::set_in(stale, scalar::integer(5), object, true);
  EXPECT_EQ(word::index_of(stale), 0);
  EXPECT_EQ(scalar::integer_value(*context::value_at(object, 0)), 5);
  EXPECT_EQ(buffer_of(context::cell_of(object)->payload2)->count(), 3u);
}

TEST_F(Contexts, ChangeHandlersSeeOldAndNewValues) {
  static cell old_seen, new_seen;
  context::set_change_notifier([](node_id, const cell&, const cell& old_value, const cell& new_value) {
    old_seen = old_value;
    new_seen = new_value;
  });
  node_id object = object_with({"a"});
  node_id on_change = alloc_cells(1);
  *context::self_of(object) = cell{TYPE_OBJECT, object, 0, on_change};  // with on-change handling
  stack::arguments = stack::top = stack::bottom;
  cell a = bound(object, "a", 0);
  context::set(a, scalar::integer(6));
  EXPECT_EQ(scalar::integer_value(old_seen), 1);
  EXPECT_EQ(scalar::integer_value(new_seen), 6);
  EXPECT_EQ(scalar::integer_value(*context::value_at(object, 0)), 6);
  EXPECT_EQ(stack::top, stack::bottom);
  context::set_change_notifier(nullptr);
}

TEST_F(Contexts, BindingWalksNestedBlocksOnce) {
  node_id object = object_with({"a"});
  // [a [b a self] self] with the inner block holding itself as well.
  node_id inner = alloc_cells(4);
  node_id outer = alloc_cells(3);
  cell b_word = bound(context::global, "b", 5);
  for (cell value : {unbound("a"), b_word, unbound("self")}) *alloc_tail(buffer_of(inner)) = value;
  *alloc_tail(buffer_of(inner)) = cell{TYPE_BLOCK, 0, inner, 0};
  for (cell value : {unbound("a", TYPE_SET_WORD), cell{TYPE_BLOCK, 0, inner, 0}, unbound("self")})
    *alloc_tail(buffer_of(outer)) = value;

  cell block{TYPE_BLOCK, 0, outer, 0};
  context::bind(block, object, true);
  cell* outer_cells = buffer_of(outer)->cells();
  cell* inner_cells = buffer_of(inner)->cells();
  EXPECT_EQ(outer_cells[0].payload1, object);
  EXPECT_EQ(word::index_of(outer_cells[0]), 0);
  EXPECT_EQ(inner_cells[0].payload1, object);
  EXPECT_EQ(inner_cells[1].payload1, context::global);  // not in the context: left alone
  EXPECT_EQ(word::index_of(inner_cells[1]), 5);
  EXPECT_EQ(inner_cells[2].payload1, object);
  EXPECT_EQ(word::index_of(inner_cells[2]), -1);
  EXPECT_EQ(cycles::depth(), 0u);

  // Without self handling, self is just a word: absent from the context, left alone.
  cell self = unbound("self");
  *alloc_tail(buffer_of(outer)) = self;
  context::bind(block, object, false);
  EXPECT_EQ(buffer_of(outer)->cells()[3].payload1, 0u);
}

TEST_F(Contexts, MakeCloneAndCollect) {
  node_id spec_node = alloc_cells(6);
  for (cell value : {unbound("a"), unbound("b", TYPE_SET_WORD), unbound("c", TYPE_GET_WORD),
                     unbound("a", TYPE_LIT_WORD), unbound("A"), unbound("d", TYPE_REFINEMENT)})
    *alloc_tail(buffer_of(spec_node)) = value;
  node_id made = context::make(cell{TYPE_BLOCK, 0, spec_node, 0}, false, true, context::kind_object);
  EXPECT_EQ(context::word_count(made), 3u);
  EXPECT_EQ(context::find_word(made, symbol::make("b"), true), -1);
  EXPECT_EQ(context::find_word(made, symbol::make("d"), true), 2);
  EXPECT_NE(context::cell_of(made)->header & cell_flag::object_context, 0u);

  node_id source = object_with({"x", "y"});
  cell owner{TYPE_OBJECT, source, 0, 0};
  node_id copy = context::clone(owner, context::kind_object);
  EXPECT_NE(copy, source);
  EXPECT_EQ(owner.payload1, copy);
  EXPECT_EQ(context::word_count(copy), 2u);
  EXPECT_EQ(context::word_at(copy, 1)->payload1, copy);
  EXPECT_EQ(word::index_of(*context::word_at(copy, 1)), 1);
  EXPECT_EQ(context::word_at(source, 1)->payload1, source);
  EXPECT_EQ(context::value_at(copy, 1)->type(), TYPE_UNSET);
  EXPECT_EQ(context::self_of(copy)->type(), TYPE_UNSET);
  context::add_word(copy, unbound("z"));
  EXPECT_EQ(context::word_count(source), 2u);

  node_id block_node = alloc_cells(4);
  for (cell value : {unbound("p", TYPE_SET_WORD), scalar::integer(1), unbound("x", TYPE_SET_WORD), unbound("q")})
    *alloc_tail(buffer_of(block_node)) = value;
  cell block{TYPE_BLOCK, 0, block_node, 0};
  EXPECT_TRUE(context::collect_set_words(source, block));
  EXPECT_EQ(context::word_count(source), 3u);
  EXPECT_FALSE(context::collect_set_words(source, block));
  block.payload1 = 9;
  EXPECT_FALSE(context::collect_set_words(source, block));
  EXPECT_EQ(block.payload1, 4u);
}

TEST_F(Contexts, WordForSymbol) {
  node_id object = object_with({"a"});
  EXPECT_EQ(context::word_for_symbol(object, symbol::make("a")).payload1, object);
  cell other = context::word_for_symbol(object, symbol::make("zz"));
  EXPECT_EQ(other.payload1, context::global);
  EXPECT_EQ(testing::spelling_of(other), "zz");
}

}  // namespace
}  // namespace tav
