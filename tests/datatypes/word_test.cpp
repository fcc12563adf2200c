// Words and their variants: reading and setting, equality, text forms, index?, conversions
// and issues.
#include "interpreter/lexer_loaders.hpp"
#include "runtime/fire_helpers.hpp"
#include "value_fixture.hpp"

namespace tav {
namespace {

using testing::call_entry;
using testing::fired_by;
using testing::formed;
using testing::global_word;
using testing::molded;
using Words = testing::fresh_values;

cell typed_word(const char* name, uint8_t type) {
  cell word = global_word(name);
  set_type(word, type);
  return word;
}

cell text_cell(const char* text) {
  cell string;
  text::make_at(string, 8);
  text::append_c_string(string, text);
  return string;
}

// Stands in for the lexer: digits scan as an integer!, anything else as a word!.
void scan_for_test(const cell& text, cell& first) {
  cell copy = text;
  int64_t length = -1;
  const char* bytes = reinterpret_cast<const char*>(unicode::to_utf8(copy, &length));
  if (length == 0) return;
  if (bytes[0] >= '0' && bytes[0] <= '9') {
    first = scalar::integer(std::atoi(bytes));
    return;
  }
  first = word::make_cell(TYPE_WORD, 0, symbol::make(bytes), -1);
}

TEST_F(Words, SetThroughOneSpellingGetThroughAnother) {
  // foo: 1  FOO
  stack::arguments = stack::top = stack::bottom;
  stack::push_copy(typed_word("foo", TYPE_SET_WORD));
  stack::push_copy(scalar::integer(1));
  EXPECT_EQ(scalar::integer_value(*word::set()), 1);

  stack::arguments = stack::top = stack::bottom;
  cell* value = word::get(global_word("FOO"));
  EXPECT_EQ(scalar::integer_value(*value), 1);
  EXPECT_EQ(stack::top, value + 1);

  EXPECT_EQ(fired_by([] { word::get(global_word("nothing")); }), error_id::script_no_value);
  EXPECT_EQ(testing::spelling_of(last_fired.args[0]), "nothing");
  stack::arguments = stack::top = stack::bottom;
  stack::push_copy(global_word("foo"));
  stack::push_copy(unset::value);
  EXPECT_EQ(fired_by([] { word::set(); }), error_id::script_need_value);
  EXPECT_EQ(scalar::integer_value(*context::get(global_word("foo"))), 1);
}

TEST_F(Words, Equality) {
  cell foo = global_word("foo");
  cell upper = global_word("Foo");
  cell lit = typed_word("foo", TYPE_LIT_WORD);
  cell set = typed_word("foo", TYPE_SET_WORD);
  cell other = global_word("bar");
  cell issue;
  issue::make_at(issue, "foo");
  cell issue2;
  issue::make_at(issue2, "foo");
  cell local = foo;
  local.payload1 = context::create(1, false, true, 0, context::kind_object);
  using namespace actions::op;
  struct row {
    const char* what;
    cell a, b;
    int32_t op;
    bool expected;
  };
  for (row r : {
           row{"foo = Foo", foo, upper, equal, true},
           row{"foo == Foo", foo, upper, strict_equal, false},
           row{"foo = 'foo", foo, lit, equal, true},
           row{"foo == 'foo", foo, lit, strict_equal, false},
           row{"foo == foo", foo, foo, strict_equal, true},
           row{"foo = bar", foo, other, equal, false},
           row{"foo <> bar", foo, other, not_equal, true},
           row{"foo: find foo", set, foo, find, true},
           row{"same, other binding", foo, local, same, false},
           row{"same", foo, foo, same, true},
           row{"parse strict: word and lit-word", foo, lit, parse_strict, true},
           row{"parse strict: word and set-word", foo, set, parse_strict, false},
           row{"parse strict: case variant", upper, typed_word("foo", TYPE_LIT_WORD), parse_strict, false},
           row{"parse equal: case variant", upper, lit, parse_equal, true},
           row{"parse equal: other types", foo, set, parse_equal, false},
           row{"word = issue", foo, issue, equal, false},
           row{"word <> issue", foo, issue, not_equal, true},
           row{"issue = word", issue, foo, equal, false},
           row{"issue = issue", issue, issue2, equal, true},
           row{"foo < bar", other, foo, lesser, true},
       }) {
    EXPECT_EQ(actions::compare(&r.a, &r.b, r.op), r.expected) << r.what;
  }
  EXPECT_EQ(word::compare(&foo, &issue, equal), actions::not_comparable);
  EXPECT_EQ(issue::compare(&issue, &foo, equal), actions::not_comparable);
  EXPECT_EQ(fired_by([&] { actions::compare(&foo, &issue, lesser); }), error_id::script_invalid_compare);
  // Ordering ignores case except in the case-sensitive sort.
  EXPECT_EQ(word::compare(&foo, &upper, sort), 0);
  EXPECT_GT(word::compare(&foo, &upper, case_sort), 0);
}

TEST_F(Words, TextForms) {
  cell issue;
  issue::make_at(issue, "abc");
  struct row {
    cell value;
    const char *form, *mold;
  };
  for (const row& r : {row{global_word("Foo"), "Foo", "Foo"}, row{typed_word("a", TYPE_SET_WORD), "a", "a:"},
                       row{typed_word("a", TYPE_LIT_WORD), "a", "'a"}, row{typed_word("a", TYPE_GET_WORD), "a", ":a"},
                       row{typed_word("a", TYPE_REFINEMENT), "a", "/a"}, row{issue, "abc", "#abc"},
                       row{global_word("gr\xC3\xBC\xC3\x9F"), "gr\xC3\xBC\xC3\x9F", "gr\xC3\xBC\xC3\x9F"}}) {
    EXPECT_EQ(formed(r.value), r.form);
    EXPECT_EQ(molded(r.value), r.mold);
  }
  cell buffer;
  text::make_at(buffer, 8);
  cell set = typed_word("abc", TYPE_SET_WORD);
  EXPECT_EQ(actions::form(&set, &buffer, nullptr, 10), 7);
  EXPECT_EQ(actions::mold(&set, &buffer, false, false, false, nullptr, 10, 0), 6);
  EXPECT_EQ(actions::mold(&issue, &buffer, false, false, false, nullptr, 10, 0), 6);
  EXPECT_EQ(testing::text_of(buffer), "abcabc:#abc");
}

TEST_F(Words, IndexOf) {
  cell foo = global_word("foo");
  cell index = call_entry(actions::entry::index_p, {foo});
  EXPECT_EQ(scalar::integer_value(index), word::index_of(foo) + 1);
  cell self = word::make_cell(TYPE_WORD, context::global, symbol::make("self"), -1);
  EXPECT_EQ(call_entry(actions::entry::index_p, {self}).type(), TYPE_NONE);
  EXPECT_EQ(call_entry(actions::entry::index_p, {typed_word("foo", TYPE_GET_WORD)}).type(), TYPE_INTEGER);
  // head? is not a word action.
  EXPECT_EQ(fired_by([&] { call_entry(actions::entry::head_p, {foo}); }), error_id::script_expect_arg);
}

TEST_F(Words, ToWord) {
  cell word_type = testing::datatype_cell(TYPE_WORD);
  cell made = call_entry(actions::entry::to, {word_type, testing::datatype_cell(TYPE_LOGIC)});
  EXPECT_EQ(made.type(), TYPE_WORD);
  EXPECT_EQ(testing::spelling_of(made), "logic!");
  made = call_entry(actions::entry::to, {word_type, logic::value_of(true)});
  EXPECT_EQ(testing::spelling_of(made), "true");
  cell marked = typed_word("x", TYPE_SET_WORD);
  marked.header |= cell_flag::new_line;
  made = call_entry(actions::entry::to, {word_type, marked});
  EXPECT_EQ(made.header, TYPE_WORD);
  EXPECT_EQ(made.payload3, marked.payload3);
  made = call_entry(actions::entry::make, {testing::datatype_cell(TYPE_LIT_WORD), global_word("y")});
  EXPECT_EQ(made.type(), TYPE_LIT_WORD);

  EXPECT_EQ(fired_by([&] { call_entry(actions::entry::to, {word_type, scalar::integer(1)}); }),
            error_id::script_bad_to_arg);
  EXPECT_EQ(last_fired.args[0].payload1, TYPE_WORD);

  // Text goes through the lexer: first without its reader.
  word::set_text_scanner(nullptr);
  EXPECT_EQ(fired_by([&] { call_entry(actions::entry::to, {word_type, text_cell("abc")}); }),
            error_id::internal_not_done);
  word::set_text_scanner(scan_for_test);
  made = call_entry(actions::entry::to, {word_type, text_cell("abc")});
  EXPECT_EQ(made.type(), TYPE_WORD);
  EXPECT_EQ(testing::spelling_of(made), "abc");
  EXPECT_EQ(fired_by([&] { call_entry(actions::entry::to, {word_type, text_cell("123")}); }),
            error_id::script_invalid_chars);
  EXPECT_EQ(fired_by([&] { call_entry(actions::entry::to, {word_type, text_cell("")}); }),
            error_id::script_invalid_chars);
  // A refinement's spelling is scanned and the word bound globally.
  cell foo = global_word("foo");
  context::set(foo, scalar::integer(4));
  made = call_entry(actions::entry::to, {word_type, typed_word("foo", TYPE_REFINEMENT)});
  EXPECT_EQ(scalar::integer_value(*context::get(made)), 4);
  cell number;
  issue::make_at(number, "12");
  EXPECT_EQ(fired_by([&] { call_entry(actions::entry::to, {word_type, number}); }), error_id::script_bad_to_arg);
  word::set_text_scanner(lexer::load_first_value);
}

TEST_F(Words, Issues) {
  cell issue_type = testing::datatype_cell(TYPE_ISSUE);
  cell text = text_cell("abc");
  text.payload1 = 1;  // next
  cell made = call_entry(actions::entry::to, {issue_type, text});
  EXPECT_EQ(made.type(), TYPE_ISSUE);
  EXPECT_EQ(molded(made), "#bc");
  EXPECT_EQ(word::index_of(made), -1);
  EXPECT_EQ(made.payload1, context::global);

  made = call_entry(actions::entry::to, {issue_type, cell{TYPE_CHAR, 0, 0xE9, 0}});
  EXPECT_EQ(molded(made), "#\xC3\xA9");
  made = call_entry(actions::entry::to, {issue_type, typed_word("w", TYPE_GET_WORD)});
  EXPECT_EQ(molded(made), "#w");
  EXPECT_EQ(fired_by([&] { call_entry(actions::entry::to, {issue_type, scalar::integer(1)}); }),
            error_id::script_bad_to_arg);

  stack::arguments = stack::top = stack::bottom;
  cell* pushed = issue::load("xyz");
  EXPECT_EQ(pushed, stack::bottom);
  EXPECT_EQ(molded(*pushed), "#xyz");
}

TEST_F(Words, VariantsAndLocals) {
  cell block{TYPE_BLOCK, 0, alloc_cells(2), 0};
  cell* made = set_word::make_in(block, symbol::make("m"), context::global, 3);
  EXPECT_EQ(made->type(), TYPE_SET_WORD);
  EXPECT_EQ(word::index_of(*made), 3);

  cell loaded = get_word::load("g");
  EXPECT_EQ(loaded.type(), TYPE_GET_WORD);
  EXPECT_EQ(loaded.payload1, context::global);
  EXPECT_EQ(context::word_at(context::global, static_cast<uint32_t>(word::index_of(loaded)))->type(), TYPE_WORD);

  cell* refinement_value = refinement::load("only");
  EXPECT_EQ(refinement_value->type(), TYPE_REFINEMENT);
  EXPECT_EQ(refinement_value->payload1, 0u);

  context::set(loaded, scalar::integer(8));
  stack::arguments = stack::top = stack::bottom;
  EXPECT_EQ(scalar::integer_value(*get_word::get(loaded)), 8);
  EXPECT_EQ(stack::top, stack::bottom + 1);
  EXPECT_EQ(lit_word::push(loaded)->type(), TYPE_LIT_WORD);

  // Locals by index: set-local hands back the old value and stores the last pushed one.
  node_id object = context::create(2, false, true, 0, context::kind_object);
  context::add_word(object, word::make_cell(TYPE_WORD, 0, symbol::make("k"), -1));
  stack::arguments = stack::top = stack::bottom;
  stack::push_copy(scalar::integer(5));
  word::set_local(object, 0);
  EXPECT_EQ(stack::last_pushed()->type(), TYPE_UNSET);
  EXPECT_EQ(scalar::integer_value(*word::get_in(object, 0)), 5);
  EXPECT_NE(word::local_at(object, 0)->header & cell_flag::field_set, 0u);
  EXPECT_EQ(scalar::integer_value(*word::get_local(object, 0)), 5);
  EXPECT_EQ(refinement::push_local(object, 0)->type(), TYPE_REFINEMENT);

  cell* spelled = word::as_string(loaded);
  EXPECT_EQ(testing::text_of(*spelled), "g");
  EXPECT_EQ(spelled->payload2, word::spelling(loaded)->payload2);  // the spelling itself, not a copy
}

}  // namespace
}  // namespace tav
