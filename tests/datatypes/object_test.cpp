// Objects: class ids, making and construct, handler discovery and on-change*, path access,
// copying with rebinding, set on many fields, comparison, reflection and the text forms.
#include "object_fixture.hpp"

namespace tav {
namespace {

using testing::at;
using testing::block_of;
using testing::call_entry;
using testing::fired_by;
using testing::integer;
using testing::length_of;
using testing::logic_of;
using testing::set_word;
using testing::spelling_of;
using testing::word_of;
using Objects = testing::object_values;

cell eval_path(cell object, cell element, cell* value, bool get, bool last) {
  cell path = block_of({word_of("o"), element});
  set_type(path, TYPE_PATH);
  return *object::eval_path(&object, &element, value, &path, nullptr, nullptr, 1, false, get, last, false);
}

TEST_F(Objects, ClassIdsAreSharedUntilFieldsAreAdded) {
  cell first = make_object({set_word("a"), integer(1)});
  cell second = make_object({set_word("a"), integer(1)});
  EXPECT_GT(object::class_of(first), object::class_counter_start);
  EXPECT_GT(object::class_of(second), object::class_counter_start);
  EXPECT_NE(object::class_of(first), object::class_of(second));

  cell same = make(first, block_of({}));
  EXPECT_EQ(object::class_of(same), object::class_of(first));
  EXPECT_NE(object::context_of(same), object::context_of(first));
  cell reset = make(first, block_of({set_word("a"), integer(5)}));
  EXPECT_EQ(object::class_of(reset), object::class_of(first)) << "setting a known field adds nothing";
  EXPECT_EQ(scalar::integer_value(field(reset, "a")), 5);
  EXPECT_EQ(scalar::integer_value(field(first, "a")), 1);
  cell extended = make(first, block_of({set_word("b"), integer(2)}));
  EXPECT_NE(object::class_of(extended), object::class_of(first));
  EXPECT_EQ(scalar::integer_value(field(extended, "a")), 1);
  EXPECT_EQ(scalar::integer_value(field(extended, "b")), 2);

  // An object spec adds its fields by name.
  cell other = make_object({set_word("b"), integer(3), set_word("c"), integer(4)});
  cell merged = make(first, other);
  EXPECT_NE(object::class_of(merged), object::class_of(first));
  EXPECT_EQ(scalar::integer_value(field(merged, "a")), 1);
  EXPECT_EQ(scalar::integer_value(field(merged, "c")), 4);
  cell narrowed = make(merged, make_object({set_word("c"), integer(9)}));
  EXPECT_EQ(object::class_of(narrowed), object::class_of(merged));
  EXPECT_EQ(scalar::integer_value(field(narrowed, "c")), 9);
}

TEST_F(Objects, MakingRefusesBadSpecsAndHandlers) {
  cell datatype = datatype_value(TYPE_OBJECT);
  EXPECT_EQ(fired_by([&] { make(datatype, integer(1)); }), error_id::syntax_malconstruct);

  EXPECT_EQ(fired_by([&] { make_object({set_word("on-change*"), integer(1)}); }), error_id::script_bad_field_set);
  EXPECT_EQ(spelling_of(last_fired.args[0]), "on-change*");
  EXPECT_EQ(last_fired.args[1].type(), TYPE_DATATYPE);
  EXPECT_EQ(last_fired.args[1].payload1, TYPE_INTEGER);
  EXPECT_EQ(fired_by([&] { make_object({set_word("on-deep-change*"), word_of("none", TYPE_LIT_WORD)}); }),
            error_id::script_bad_field_set);

  object::evaluate_spec_hook = nullptr;
  EXPECT_EQ(fired_by([&] { make_object({set_word("a"), integer(1)}); }), error_id::internal_not_done);
  EXPECT_FALSE(fired_by([&] { make_object({}); })) << "an empty spec needs no evaluation";
}

TEST_F(Objects, MakingBindsTheSpecAndClearsMarks) {
  cell self_word = word_of("self");
  cell spec = block_of({set_word("a"), integer(1), block_of({word_of("a"), self_word})});
  buffer_of(spec.payload2)->cells()[1].header |= cell_flag::new_line;
  cell made = make(datatype_value(TYPE_OBJECT), spec);
  node_id context = object::context_of(made);
  cell inner = at(spec, 2);
  EXPECT_EQ(at(inner, 0).payload1, context);
  EXPECT_EQ(at(inner, 1).payload1, context);
  EXPECT_EQ(word::index_of(at(inner, 1)), -1) << "self is bound to be read as the object";
  const cell* self_value = context::get(at(inner, 1));
  EXPECT_EQ(self_value->type(), TYPE_OBJECT);
  EXPECT_EQ(object::context_of(*self_value), context);
  EXPECT_EQ(context::word_at(context, 0)->header & cell_flag::field_set, 0u);
  EXPECT_EQ(context::value_at(context, 0)->header & cell_flag::new_line, 0u);
}

TEST_F(Objects, Construct) {
  cell spec = block_of({set_word("a"), set_word("b"), word_of("yes"), set_word("c"), word_of("none"), word_of("d"),
                        set_word("e"), word_of("off"), set_word("f")});
  cell made = *object::construct(spec, nullptr, false);
  node_id context = object::context_of(made);
  EXPECT_EQ(context::word_count(context), 5u) << "only set-words make fields";
  EXPECT_EQ(field(made, "a").type(), TYPE_LOGIC);
  EXPECT_TRUE(logic::get(field(made, "a")));
  EXPECT_TRUE(logic::get(field(made, "b")));
  EXPECT_EQ(field(made, "c").type(), TYPE_NONE);
  EXPECT_FALSE(logic::get(field(made, "e")));
  EXPECT_EQ(field(made, "f").type(), TYPE_NONE);

  cell only = *object::construct(block_of({set_word("a"), word_of("yes")}), nullptr, true);
  EXPECT_EQ(field(only, "a").type(), TYPE_WORD);
  EXPECT_EQ(mold_with(only, false, false, true), "make object! [a: 'yes]");

  cell prototype = make_object({set_word("a"), integer(1)});
  cell kept = *object::construct(block_of({set_word("a"), word_of("on")}), &prototype, false);
  EXPECT_EQ(object::class_of(kept), object::class_of(prototype));
  EXPECT_TRUE(logic::get(field(kept, "a")));
  EXPECT_EQ(scalar::integer_value(field(prototype, "a")), 1);
  cell grown = *object::construct(block_of({set_word("z"), word_of("on")}), &prototype, false);
  EXPECT_NE(object::class_of(grown), object::class_of(prototype));
  EXPECT_EQ(fired_by([&] { object::construct(block_of({set_word("on-change*"), integer(1)}), nullptr, false); }),
            error_id::script_bad_field_set);
}

TEST_F(Objects, PathAccess) {
  cell o = make_object({set_word("a"), logic_of(true), set_word("u"), integer(0)});
  context::set_in(*context::word_at(object::context_of(o), 1), unset::value, object::context_of(o), false);
  EXPECT_TRUE(logic::get(eval_path(o, word_of("a"), nullptr, false, true)));
  EXPECT_TRUE(logic::get(eval_path(o, word_of("A", TYPE_GET_WORD), nullptr, false, true))) << "case variants match";

  struct row {
    const char* what;
    cell element;
    bool set, get, last;
    std::optional<error_id> raised;
  };
  cell bound_self = word_of("self");
  bound_self.payload1 = object::context_of(o);
  bound_self.payload3 = word::unresolved;
  for (const row& r : {
           row{"get-path, missing, last", word_of("b"), false, true, true, std::nullopt},
           row{"get-path, unset, last", word_of("u"), false, true, true, std::nullopt},
           row{"get, missing, last", word_of("b"), false, false, true, error_id::script_invalid_path},
           row{"get, unset, last", word_of("u"), false, false, true, error_id::script_invalid_path},
           row{"get, missing, inside", word_of("b"), false, false, false, error_id::script_unset_path},
           row{"get-path, missing, inside", word_of("b"), false, true, false, error_id::script_unset_path},
           row{"set, missing", word_of("b"), true, false, true, error_id::script_invalid_path},
           row{"set self", word_of("self"), true, false, true, error_id::script_invalid_path},
           row{"set self bound to the object", bound_self, true, false, true, error_id::script_invalid_path},
           row{"element not a word", integer(1), false, false, true, error_id::script_invalid_path},
           row{"element a refinement", word_of("a", TYPE_REFINEMENT), false, false, true,
               error_id::script_invalid_path},
       }) {
    cell value = logic_of(false);
    cell got;
    auto raised = fired_by([&] { got = eval_path(o, r.element, r.set ? &value : nullptr, r.get, r.last); });
    EXPECT_EQ(raised, r.raised) << r.what;
    if (!r.raised) {
      EXPECT_EQ(got.type(), TYPE_UNSET) << r.what;
    } else {
      EXPECT_EQ(last_fired.args[0].type(), TYPE_PATH) << r.what;
      EXPECT_EQ(last_fired.args[1].type(), r.element.type()) << r.what;
    }
  }
  cell value = logic_of(false);
  eval_path(o, word_of("a"), &value, false, true);
  EXPECT_FALSE(logic::get(field(o, "a")));
  EXPECT_NE(context::word_at(object::context_of(o), 0)->header & cell_flag::field_set, 0u);
}

TEST_F(Objects, OnChangeHearsEachFieldChangeOnce) {
  cell on_change = function_of(block_of({word_of("word"), word_of("old"), word_of("new"), testing::refinement("local"),
                                         word_of("x")}),
                               block_of({}));
  cell o = make_object({set_word("a"), logic_of(true), set_word("b"), integer(1)});
  EXPECT_EQ(object::info_of(o), 0u);
  o = make(o, block_of({set_word("on-change*"), on_change}));
  ASSERT_NE(object::info_of(o), 0u);
  EXPECT_EQ(calls(), 0u) << "making an object fires nothing";

  // Through a path.
  cell value = logic_of(false);
  eval_path(o, word_of("a"), &value, false, true);
  ASSERT_EQ(calls(), 1u);
  EXPECT_EQ(spelling_of(at(call(0), 1)), "on-change*");
  EXPECT_EQ(scalar::integer_value(at(call(0), 2)), 2) << "/local and x";
  EXPECT_EQ(spelling_of(argument(0, 0)), "a");
  EXPECT_EQ(argument(0, 0).payload1, object::context_of(o)) << "the word is bound to the object";
  EXPECT_TRUE(logic::get(argument(0, 1)));
  EXPECT_FALSE(logic::get(argument(0, 2)));

  // Through a word, through put, and for each field of set.
  cell word = *context::word_at(object::context_of(o), 1);
  context::set(word, integer(7));
  ASSERT_EQ(calls(), 2u);
  EXPECT_EQ(scalar::integer_value(argument(1, 1)), 1);
  EXPECT_EQ(scalar::integer_value(argument(1, 2)), 7);
  cell key = word_of("b"), put_value = integer(8);
  actions::put(&o, &key, &put_value, false);
  ASSERT_EQ(calls(), 3u);
  EXPECT_EQ(scalar::integer_value(field(o, "b")), 8);
  object::set_many(o, logic_of(true), false, false, false);
  ASSERT_EQ(calls(), 5u) << "the handler field itself is left alone";
  EXPECT_EQ(field(o, "on-change*").type(), TYPE_FUNCTION);

  // A handler field that no longer holds a function.
  context::set_in(word, integer(0), object::context_of(o), false);
  context::set_in(*context::word_at(object::context_of(o), 2), integer(0), object::context_of(o), false);
  EXPECT_EQ(fired_by([&] { eval_path(o, word_of("a"), &value, false, true); }), error_id::script_invalid_obj_evt);
}

TEST_F(Objects, SetMany) {
  cell o = make_object({set_word("a"), integer(1), set_word("b"), integer(2), set_word("c"), integer(3)});
  object::set_many(o, block_of({logic_of(true), logic_of(false)}), false, false, false);
  EXPECT_TRUE(logic::get(field(o, "a")));
  EXPECT_FALSE(logic::get(field(o, "b")));
  EXPECT_EQ(field(o, "c").type(), TYPE_NONE) << "past the block's end";

  cell source = make_object({set_word("c"), integer(30), set_word("z"), integer(0)});
  object::set_many(o, source, false, false, false);
  EXPECT_EQ(scalar::integer_value(field(o, "c")), 30);
  EXPECT_FALSE(logic::get(field(o, "b"))) << "fields the source lacks are kept";

  EXPECT_EQ(fired_by([&] { object::set_many(o, block_of({integer(5), unset::value}), false, false, false); }),
            error_id::script_need_value);
  EXPECT_EQ(spelling_of(last_fired.args[0]), "b");
  EXPECT_EQ(scalar::integer_value(field(o, "c")), 30) << "nothing is set before the check";
  EXPECT_FALSE(fired_by([&] { object::set_many(o, block_of({integer(5), unset::value}), true, false, false); }));
  EXPECT_EQ(field(o, "b").type(), TYPE_UNSET);

  object::set_many(o, block_of({none::value, integer(6)}), false, false, true);
  EXPECT_EQ(scalar::integer_value(field(o, "a")), 5) << "some skips none";
  EXPECT_EQ(scalar::integer_value(field(o, "b")), 6);
  cell values = block_of({integer(9)});
  object::set_many(o, values, false, true, false);
  EXPECT_EQ(field(o, "a").type(), TYPE_BLOCK) << "only puts the block itself everywhere";
  EXPECT_EQ(field(o, "c").payload2, values.payload2);
}

TEST_F(Objects, CopyRebindsMethods) {
  cell method = function_of(block_of({word_of("x")}), block_of({word_of("a"), word_of("x"), word_of("self")}));
  cell o = make_object({set_word("a"), integer(1), set_word("m"), method});
  // The method made inside the object is bound to it, as a copy of it must be to the copy.
  object::rebind_function(*object::select_word(o, word_of("m")), object::context_of(o));
  *function::more_cell(field(o, "m"), function::more_code) = integer(3);

  cell copy_result = call_entry(actions::entry::copy, {o}, {-1, -1, -1});
  ASSERT_EQ(copy_result.type(), TYPE_OBJECT);
  node_id copy_context = object::context_of(copy_result);
  EXPECT_NE(copy_context, object::context_of(o));
  EXPECT_EQ(object::class_of(copy_result), object::class_of(o));
  cell copied = field(copy_result, "m");
  ASSERT_EQ(copied.type(), TYPE_FUNCTION);
  EXPECT_NE(function::more_of(copied), function::more_of(field(o, "m")));
  cell body = *function::more_cell(copied, function::more_body);
  EXPECT_EQ(at(body, 0).payload1, copy_context) << "a: the copy's field";
  EXPECT_EQ(at(body, 1).payload1, function::context_of(copied)) << "x: the copy's argument";
  EXPECT_EQ(at(body, 2).payload1, copy_context) << "self: the copy";
  EXPECT_EQ(function::more_cell(copied, function::more_code)->type(), TYPE_UNSET) << "the copy runs interpreted";
  EXPECT_EQ(scalar::integer_value(field(copy_result, "a")), 1);

  cell part = integer(1);
  EXPECT_EQ(fired_by([&] { call_entry(actions::entry::copy, {o, part}, {1, -1, -1}); }),
            error_id::script_invalid_refine_arg);
  EXPECT_EQ(spelling_of(last_fired.args[0]), "part");

  cell bodiless = method;
  *function::more_cell(bodiless, function::more_body) = none::value;
  cell broken = make_object({set_word("m"), bodiless});
  EXPECT_EQ(fired_by([&] { call_entry(actions::entry::copy, {broken}, {-1, -1, -1}); }),
            error_id::script_bad_func_def);
}

TEST_F(Objects, CopyWithTypes) {
  cell inner = make_object({set_word("v"), integer(1)});
  cell o = make_object({set_word("inner"), inner});
  cell types = datatype_value(TYPE_OBJECT);
  cell copy_result = call_entry(actions::entry::copy, {o, types}, {-1, 0, 1});
  EXPECT_NE(object::context_of(field(copy_result, "inner")), object::context_of(inner));
  cell shallow = call_entry(actions::entry::copy, {o}, {-1, -1, -1});
  EXPECT_EQ(object::context_of(field(shallow, "inner")), object::context_of(inner));

  // An object inside itself cannot be copied by type.
  context::set_in(*context::word_at(object::context_of(inner), 0), inner, object::context_of(inner), false);
  EXPECT_EQ(fired_by([&] { call_entry(actions::entry::copy, {inner, types}, {-1, 0, 1}); }),
            error_id::internal_no_cycle);
  EXPECT_EQ(cycles::depth(), 0u);
}

TEST_F(Objects, Compare) {
  cell a = make_object({set_word("x"), logic_of(true), set_word("y"), word_of("w")});
  cell b = make_object({set_word("x"), logic_of(true), set_word("y"), word_of("W")});
  cell c = make_object({set_word("x"), logic_of(false), set_word("y"), word_of("w")});
  cell longer = make_object({set_word("x"), logic_of(true), set_word("y"), word_of("w"), set_word("z"), none::value});
  using namespace actions::op;
  EXPECT_TRUE(actions::compare(&a, &a, same));
  EXPECT_FALSE(actions::compare(&a, &b, same));
  EXPECT_TRUE(actions::compare(&a, &b, equal));
  EXPECT_FALSE(actions::compare(&a, &c, equal));
  EXPECT_TRUE(actions::compare(&a, &c, not_equal));
  EXPECT_LT(object::compare(&a, &longer, equal), 0);
  EXPECT_GT(object::compare(&longer, &a, equal), 0);
  cell word = word_of("x");
  EXPECT_EQ(object::compare(&a, &word, equal), actions::not_comparable);

  // Numbers of different types compare by value, other types by their type ids.
  cell whole = make_object({set_word("n"), integer(1)});
  cell real = make_object({set_word("n"), scalar::float_cell(1.0)});
  cell bigger = make_object({set_word("n"), scalar::float_cell(2.5)});
  cell flag = make_object({set_word("n"), logic_of(true)});
  EXPECT_TRUE(actions::compare(&whole, &real, equal));
  EXPECT_FALSE(actions::compare(&whole, &real, strict_equal));
  EXPECT_TRUE(actions::compare(&whole, &bigger, lesser));
  EXPECT_FALSE(actions::compare(&whole, &flag, equal));
  EXPECT_GT(object::compare(&whole, &flag, equal), 0) << "integer! after logic!";
  cell renamed = make_object({set_word("m"), integer(1)});
  EXPECT_GT(object::compare(&renamed, &whole, equal), 0) << "m was interned after n";

  // Objects holding themselves compare without walking forever.
  cell d = make_object({set_word("me"), none::value});
  cell e = make_object({set_word("me"), none::value});
  context::set_in(*context::word_at(object::context_of(d), 0), d, object::context_of(d), false);
  context::set_in(*context::word_at(object::context_of(e), 0), e, object::context_of(e), false);
  EXPECT_TRUE(actions::compare(&d, &e, equal));
  EXPECT_EQ(cycles::depth(), 0u);
}

TEST_F(Objects, Reflect) {
  cell o = make_object({set_word("a"), word_of("w"), set_word("p"), none::value});
  cell path = block_of({word_of("x"), word_of("y")});
  set_type(path, TYPE_PATH);
  context::set_in(*context::word_at(object::context_of(o), 1), path, object::context_of(o), true);
  auto reflect = [&](const char* field) { return call_entry(actions::entry::reflect, {o, word_of(field)}); };

  EXPECT_EQ(scalar::integer_value(reflect("class")), static_cast<int32_t>(object::class_of(o)));
  cell words = reflect("words");
  ASSERT_EQ(length_of(words), 2u);
  EXPECT_EQ(spelling_of(at(words, 1)), "p");
  EXPECT_EQ(at(words, 1).payload1, object::context_of(o));
  EXPECT_EQ(reflect("values").payload2, context::cell_of(object::context_of(o))->payload2);
  cell body = reflect("body");
  ASSERT_EQ(length_of(body), 4u);
  EXPECT_EQ(at(body, 0).type(), TYPE_SET_WORD);
  EXPECT_NE(at(body, 0).header & cell_flag::new_line, 0u);
  EXPECT_EQ(at(body, 1).type(), TYPE_LIT_WORD);
  EXPECT_EQ(at(body, 3).type(), TYPE_LIT_PATH);
  cell changed = reflect("changed");
  ASSERT_EQ(length_of(changed), 1u);
  EXPECT_EQ(spelling_of(at(changed, 0)), "p");
  EXPECT_FALSE(logic::get(reflect("owner")));
  EXPECT_FALSE(logic::get(reflect("events?")));
  EXPECT_EQ(fired_by([&] { reflect("spec"); }), error_id::internal_not_done);

  // modify changed none clears the marks; other values are refused.
  cell field_name = word_of("changed"), none_value = none::value, one = integer(1);
  actions::modify(&o, &field_name, &none_value, false);
  EXPECT_EQ(length_of(reflect("changed")), 0u);
  EXPECT_EQ(fired_by([&] { actions::modify(&o, &field_name, &one, false); }), error_id::script_invalid_arg);
}

TEST_F(Objects, SelectAndPut) {
  cell o = make_object({set_word("a"), logic_of(true)});
  cell key = word_of("a", TYPE_LIT_WORD), missing = word_of("b"), number = integer(1);
  EXPECT_TRUE(logic::get(*actions::select(&o, &key, nullptr, false, false, false, false, nullptr, nullptr, false,
                                          false)));
  EXPECT_EQ(actions::select(&o, &missing, nullptr, false, false, false, false, nullptr, nullptr, false, false)->type(),
            TYPE_NONE);
  EXPECT_EQ(fired_by([&] {
              actions::select(&o, &number, nullptr, false, false, false, false, nullptr, nullptr, false, false);
            }),
            error_id::script_invalid_type);
  cell value = logic_of(false);
  EXPECT_EQ(fired_by([&] { actions::put(&o, &key, &value, false); }), error_id::script_invalid_key_type);
  EXPECT_EQ(fired_by([&] { actions::put(&o, &missing, &value, false); }), error_id::script_invalid_path);
  cell plain = word_of("a");
  actions::put(&o, &plain, &value, false);
  EXPECT_FALSE(logic::get(field(o, "a")));
}

TEST_F(Objects, TextForms) {
  cell inner = make_object({set_word("c"), none::value});
  cell handler = function_of(block_of({word_of("w"), word_of("o"), word_of("n")}), block_of({}));
  cell o = make_object({set_word("a"), logic_of(true), set_word("b"), inner, set_word("w"),
                        word_of("yes", TYPE_LIT_WORD), set_word("on-change*"), handler});
  struct row {
    bool only, flat;
    const char* expected;
  };
  for (const row& r : {
           row{false, false,
               "make object! [\n    a: true\n    b: make object! [\n        c: none\n    ]\n    w: 'yes\n]"},
           row{false, true, "make object! [a: true b: make object! [c: none] w: 'yes]"},
           row{true, false, "    a: true\n    b: make object! [\n        c: none\n    ]\n    w: 'yes"},
           row{true, true, "a: true b: make object! [c: none] w: 'yes"},
       }) {
    EXPECT_EQ(mold_with(o, r.only, false, r.flat), r.expected) << r.only << r.flat;
  }
  cell numbers = make_object({set_word("a"), integer(1), set_word("b"), integer(2)});
  EXPECT_EQ(mold_with(numbers, false, false, false), "make object! [\n    a: 1\n    b: 2\n]");
  EXPECT_EQ(mold_with(numbers, false, false, true), "make object! [a: 1 b: 2]");
  EXPECT_EQ(testing::formed(numbers), "a: 1\nb: 2");
  cell text;
  text::make_at(text, 4);
  text::append_c_string(text, "hi");
  EXPECT_EQ(mold_with(make_object({set_word("s"), text}), false, false, true), "make object! [s: \"hi\"]");
  EXPECT_EQ(testing::formed(make_object({set_word("s"), text})), "s: hi");
  EXPECT_EQ(testing::formed(inner), "c: none");
  EXPECT_EQ(testing::formed(make_object({set_word("a"), logic_of(true), set_word("w"), word_of("x", TYPE_LIT_WORD)})),
            "a: true\nw: x");
  cell watched = make_object({set_word("w"), word_of("yes", TYPE_LIT_WORD), set_word("on-change*"), handler});
  EXPECT_EQ(mold_with(watched, false, true, true), "make object! [w: 'yes on-change*: func [w o n][]]")
      << "handler fields only with /all";
  EXPECT_EQ(mold_with(watched, false, false, true), "make object! [w: 'yes]");
  EXPECT_EQ(mold_with(make_object({}), false, false, false), "make object! [\n]");
  EXPECT_EQ(mold_with(make_object({}), false, false, true), "make object! []");

  // An object holding itself writes the cycle mark where it meets itself again.
  cell self_holder = make_object({set_word("me"), none::value});
  context::set_in(*context::word_at(object::context_of(self_holder), 0), self_holder,
                  object::context_of(self_holder), false);
  EXPECT_EQ(mold_with(self_holder, false, false, false), "make object! [\n    me: make object! [...]\n]");
  EXPECT_EQ(testing::formed(self_holder), "me: ...");
  EXPECT_EQ(cycles::depth(), 0u);

  // The budget of /part stops the writing.
  cell buffer;
  text::make_at(buffer, 8);
  int32_t left = actions::mold(&o, &buffer, false, false, true, nullptr, 20, 0);
  EXPECT_LE(left, 0);
  EXPECT_LT(testing::text_of(buffer).size(), std::string("make object! [a: true b: make object! [c: none] w: 'yes]").size());
}

}  // namespace
}  // namespace tav
