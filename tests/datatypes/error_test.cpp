// Errors: every catalog id by its words and its code, the fields made from each kind of spec
// and their errors, the text form with its argument rules, repair of a malformed error, the
// argument names of the running function; error! values over the system's catalog objects and
// error prototype: making, forming, molding, paths, comparison, the values `fire` raises and
// stack capture.
#include <string>

#include "boot/system_object.hpp"
#include "datatypes/error.hpp"
#include "object_fixture.hpp"
#include "runtime/fire_helpers.hpp"
#include "value_fixture.hpp"

namespace tav {
namespace {

using testing::at;
using testing::fired_by;
using testing::length_of;
using testing::set_word;
using testing::word_of;
using testing::global_word;
using testing::spelling_of;
using testing::text_of;
using Errors = testing::fresh_values;

namespace field = error::field;

cell typed_word(const char* spelling, uint8_t type) {
  cell word = global_word(spelling);
  set_type(word, type);
  return word;
}

cell text_cell(const char* text) {
  cell string;
  text::make_at(string, 8);
  text::append_c_string(string, text);
  return string;
}

cell block_of(std::initializer_list<cell> values) {
  cell block{TYPE_BLOCK, 0, alloc_cells(static_cast<uint32_t>(values.size()) + 1), 0};
  for (const cell& value : values) *alloc_block_tail(block) = value;
  return block;
}

struct fields {
  cell cells[error::field_count];
  fields() { error::clear_fields(cells); }
  cell& operator[](uint32_t i) { return cells[i]; }
};

std::string form_of(fields& f, int32_t level = 0) {
  cell string;
  text::make_at(string, 64);
  error::form_fields(f.cells, string, 1000000, level);
  return text_of(string);
}

std::string first_line(fields& f) {
  std::string text = form_of(f);
  return text.substr(0, text.find('\n'));
}

// Fields of the id with up to three arguments, as `fire` makes them.
fields fields_for(error_id id, std::initializer_list<cell> args = {}) {
  fired_error fired{id, static_cast<uint32_t>(args.size()), {}, none::value, none::value, none::value,
                    none::value};
  uint32_t i = 0;
  for (const cell& arg : args) fired.args[i++] = arg;
  fields f;
  error::fields_of(fired, f.cells);
  return f;
}

std::string upper(const char* text) {
  std::string result(text);
  for (char& c : result) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  return result;
}

TEST_F(Errors, EveryIdHasItsCategoryAndIdWordsAndItsCode) {
  for (uint16_t i = 0; i < static_cast<uint16_t>(error_id::count); ++i) {
    auto id = static_cast<error_id>(i);
    const error_entry& entry = error_info(id);
    SCOPED_TRACE(entry.word);
    cell category = error::category_word(entry.category);
    cell id_word = error::id_word(id);
    EXPECT_EQ(spelling_of(category), error_category_word(entry.category));
    EXPECT_EQ(spelling_of(id_word), entry.word);

    // Back from the words (in any letter case) and from the code.
    error_category found;
    ASSERT_TRUE(error::category_of(symbol::make(upper(error_category_word(entry.category)).c_str()), found));
    EXPECT_EQ(found, entry.category);
    EXPECT_EQ(error::id_in(entry.category, symbol::make(upper(entry.word).c_str())), id);
    EXPECT_EQ(error::id_of_code(static_cast<int32_t>(error_code(id))), id);

    fields made;
    ASSERT_TRUE(error::fill_fields(made.cells, scalar::integer(static_cast<int32_t>(error_code(id)))));
    EXPECT_EQ(scalar::integer_value(made[field::code]), static_cast<int32_t>(error_code(id)));
    EXPECT_EQ(spelling_of(made[field::type]), error_category_word(entry.category));
    EXPECT_EQ(spelling_of(made[field::id]), entry.word);
  }
}

TEST_F(Errors, MakeFromAnIntegerCode) {
  struct row {
    int32_t code;
    const char* id;  // null: script/out-of-range
  };
  for (const row& r : {row{0, "break"}, row{300, "no-value"}, row{393, "rb-invalid-record"}, row{400, "zero-divide"},
                       row{800, "message"}, row{913, "deprecated"}, row{1000, nullptr}, row{-1, nullptr},
                       row{394, nullptr}, row{96, nullptr}, row{101, nullptr}, row{600, nullptr}, row{700, nullptr},
                       row{914, nullptr}}) {
    SCOPED_TRACE(r.code);
    fields made;
    cell spec = scalar::integer(r.code);
    if (!r.id) {
      EXPECT_EQ(fired_by([&] { error::fill_fields(made.cells, spec); }), error_id::script_out_of_range);
      EXPECT_EQ(scalar::integer_value(last_fired.args[0]), r.code);
      continue;
    }
    error::fill_fields(made.cells, spec);
    EXPECT_EQ(spelling_of(made[field::id]), r.id);
  }
}

TEST_F(Errors, MakeFromABlockOfWords) {
  fields made;
  cell math = global_word("math");
  ASSERT_TRUE(error::fill_fields(made.cells, block_of({math, global_word("zero-divide"), global_word("ignored")})));
  EXPECT_EQ(scalar::integer_value(made[field::code]), 400);
  EXPECT_EQ(made[field::type].payload1, math.payload1);  // its spec's own word
  EXPECT_EQ(spelling_of(made[field::id]), "zero-divide");
  EXPECT_EQ(made[field::arg1].type(), TYPE_NONE);

  ASSERT_TRUE(error::fill_fields(made.cells, block_of({global_word("Script"), global_word("NO-VALUE")})));
  EXPECT_EQ(scalar::integer_value(made[field::code]), 300);

  struct row {
    std::initializer_list<cell> spec;
    error_id error;
    const char* argument;  // spelling of the error's argument, when a word
  };
  const row rows[] = {
      {{global_word("bogus"), global_word("zero-divide")}, error_id::script_invalid_spec_field, "type"},
      {{math, global_word("bogus")}, error_id::script_invalid_spec_field, "id"},
      {{math}, error_id::script_invalid_spec_field, "id"},
      // code and type are fields of a category, not ids of it
      {{math, global_word("code")}, error_id::script_invalid_spec_field, "id"},
      {{math, global_word("type")}, error_id::script_invalid_spec_field, "id"},
      {{math, typed_word("zero-divide", TYPE_LIT_WORD)}, error_id::script_invalid_arg, "zero-divide"},
      {{typed_word("math", TYPE_LIT_WORD), global_word("zero-divide")}, error_id::internal_invalid_error, "math"},
      {{}, error_id::internal_invalid_error, nullptr},
  };
  for (const row& r : rows) {
    fields f;
    cell spec = block_of(r.spec);
    EXPECT_EQ(fired_by([&] { error::fill_fields(f.cells, spec); }), r.error);
    if (r.argument) {
      EXPECT_EQ(spelling_of(last_fired.args[0]), r.argument);
    }
    EXPECT_EQ(f[field::type].type(), TYPE_NONE);  // nothing set before the error
  }

  // A spec of set-words is evaluated by the caller, which then completes the fields.
  fields set;
  EXPECT_FALSE(error::fill_fields(set.cells, block_of({typed_word("type", TYPE_SET_WORD), math})));
  EXPECT_EQ(set[field::type].type(), TYPE_NONE);
  set[field::type] = global_word("syntax");
  set[field::id] = global_word("no-header");
  error::complete_fields(set.cells);
  EXPECT_EQ(scalar::integer_value(set[field::code]), 202);
  set[field::id] = global_word("zero-divide");
  EXPECT_EQ(fired_by([&] { error::complete_fields(set.cells); }), error_id::script_invalid_spec_field);
  EXPECT_EQ(spelling_of(last_fired.args[0]), "id");
  set[field::type] = typed_word("syntax", TYPE_LIT_WORD);
  EXPECT_EQ(fired_by([&] { error::complete_fields(set.cells); }), error_id::script_invalid_spec_field);
  EXPECT_EQ(spelling_of(last_fired.args[0]), "type");
}

TEST_F(Errors, MakeFromTextOrAnythingElse) {
  fields made;
  cell text = text_cell("disk on fire");
  error::fill_fields(made.cells, text);
  EXPECT_EQ(scalar::integer_value(made[field::code]), 800);
  EXPECT_EQ(text_of(made[field::arg1]), "disk on fire");
  EXPECT_EQ(first_line(made), "*** User Error: disk on fire");

  cell spec = logic::value_of(true);
  EXPECT_EQ(fired_by([&] { error::fill_fields(made.cells, spec); }), error_id::script_bad_make_arg);
  EXPECT_EQ(last_fired.args[0].type(), TYPE_DATATYPE);
  EXPECT_EQ(last_fired.args[0].payload1, TYPE_ERROR);
  EXPECT_EQ(last_fired.args[1].type(), TYPE_LOGIC);
}

TEST_F(Errors, TheMessageFormsSyntaxArgumentsAndMoldsAllOthers) {
  cell integer_type = testing::datatype_cell(TYPE_INTEGER);
  cell quoted = typed_word("x", TYPE_LIT_WORD);
  struct row {
    fields f;
    const char* line;
  };
  row rows[] = {
      {fields_for(error_id::math_zero_divide), "*** Math Error: attempt to divide by zero"},
      {fields_for(error_id::syntax_invalid, {integer_type, quoted, global_word("y")}),
       "*** Syntax Error: integer invalid x at y"},
      {fields_for(error_id::script_expect_arg, {global_word("append"), integer_type, quoted}),
       "*** Script Error: append does not allow integer! for its 'x argument"},
      {fields_for(error_id::script_no_value), "*** Script Error: none has no value"},
      {fields_for(error_id::throw_throw_, {logic::value_of(true)}), "*** Throw Error: no catch for throw: true"},
      {fields_for(error_id::note_no_load, {quoted}), "*** note: cannot load:  'x"},
      {fields_for(error_id::internal_deprecated, {global_word("old"), global_word("new")}),
       "*** Internal Error: old is DEPRECATED, please use new instead"},
      {fields_for(error_id::script_parse_infinite, {quoted}),
       "*** Script Error: PARSE - infinite recursion at rule: [ 'x ]"},
      {fields_for(error_id::internal_routines),
       "*** Internal Error: routines require compilation, from OS shell: `tav -r <script.tav>`"},
      {fields_for(error_id::user_message, {integer_type}), "*** User Error: integer"},
  };
  for (row& r : rows) EXPECT_EQ(first_line(r.f), r.line);
}

TEST_F(Errors, TextArgumentsAreFormedInSyntaxErrorsAndMoldedElsewhere) {
  // As a spec of set-words leaves them, once evaluated.
  fields syntax;
  syntax[field::type] = global_word("syntax");
  syntax[field::id] = global_word("no-header");
  syntax[field::arg1] = text_cell("x.tav");
  error::complete_fields(syntax.cells);
  EXPECT_EQ(first_line(syntax), "*** Syntax Error: script is missing a Tav header: x.tav");

  fields script;
  script[field::type] = global_word("script");
  script[field::id] = global_word("invalid-arg");
  script[field::arg1] = text_cell("x");
  error::complete_fields(script.cells);
  EXPECT_EQ(first_line(script), "*** Script Error: invalid argument: \"x\"");

  fields record = fields_for(error_id::script_rb_invalid_record, {scalar::integer(-5)});
  EXPECT_EQ(first_line(record), "*** Script Error: TAVBIN - invalid record at index -5");

  fields made;
  error::fill_fields(made.cells, block_of({global_word("math"), global_word("zero-divide")}));
  EXPECT_EQ(form_of(made), "*** Math Error: attempt to divide by zero\n*** Where: ???\n*** Near : none");
}

TEST_F(Errors, WhereNearStackAndTheLimit) {
  fields f = fields_for(error_id::script_no_value, {global_word("x")});
  f[field::where] = global_word("f");
  f[field::near] = global_word("x");
  cell string;
  text::make_at(string, 8);
  text::append_c_string(string, ">");
  std::string expected = "*** Script Error: x has no value\n*** Where: f\n*** Near : x";
  EXPECT_EQ(error::form_fields(f.cells, string, 500, 0), 500 - static_cast<int32_t>(expected.size()));
  EXPECT_EQ(text_of(string), ">" + expected);

  struct row {
    cell where;
    const char* line;
  };
  for (const row& r : {row{text_cell("console"), "*** Where: console"}, row{none::value, "*** Where: ???"},
                       row{logic::value_of(false), "*** Where: ???"}}) {
    f[field::where] = r.where;
    EXPECT_NE(form_of(f).find(std::string("\n") + r.line + "\n"), std::string::npos) << r.line;
  }

  // The Near line shows at most 40 characters.
  std::string long_name(50, 'n');
  f[field::near] = global_word(long_name.c_str());
  std::string text = form_of(f);
  EXPECT_EQ(text.substr(text.find("*** Near : ") + 11), long_name.substr(0, 40));

  // Code near the failure shows without its brackets, on one line.
  cell code = block_of({global_word("print"), block_of({global_word("a"), global_word("b")}), text_cell("x")});
  buffer_of(code.payload2)->cells()[1].header |= cell_flag::new_line;
  f[field::near] = code;
  text = form_of(f);
  EXPECT_EQ(text.substr(text.find("*** Near : ") + 11), "print [a b] \"x\"");
  std::string many;
  for (int i = 0; i < 12; ++i) many += "word" + std::to_string(i) + " ";
  cell long_code{TYPE_BLOCK, 0, alloc_cells(12), 0};
  for (int i = 0; i < 12; ++i) *alloc_block_tail(long_code) = global_word(("word" + std::to_string(i)).c_str());
  f[field::near] = long_code;
  text = form_of(f);
  EXPECT_EQ(text.substr(text.find("*** Near : ") + 11), many.substr(0, 40));

  // The files being loaded, molded the same way.
  f[field::files] = block_of({text_cell("a.tav"), text_cell("b.tav")});
  text = form_of(f);
  EXPECT_EQ(text.substr(text.find("\n*** Files: ")), "\n*** Files: \"a.tav\" \"b.tav\"");
  f[field::files] = none::value;

  // The calls up to the recorded position, only when the trace level asks for them.
  stack::push_native_frame(global_word("launch"));
  stack::push_native_frame(global_word("<body>"));
  stack::push_native_frame(global_word("g"));
  stack::push_native_frame(global_word("h"));
  f[field::stack] = scalar::integer(3);
  EXPECT_EQ(form_of(f, 0).find("*** Stack"), std::string::npos);
  text = form_of(f, 2);
  EXPECT_EQ(text.substr(text.find("\n*** Stack: ")), "\n*** Stack: launch g ");
  stack::init();
}

TEST_F(Errors, AnErrorNamingNothingInTheCatalogIsRepairedBeforeForming) {
  fields bad_type = fields_for(error_id::math_zero_divide);
  bad_type[field::type] = global_word("bogus");
  EXPECT_EQ(first_line(bad_type), "*** Internal Error: invalid error object field value: bogus");
  EXPECT_EQ(spelling_of(bad_type[field::type]), "internal");
  EXPECT_EQ(spelling_of(bad_type[field::id]), "invalid-error");
  EXPECT_EQ(spelling_of(bad_type[field::arg1]), "bogus");

  fields bad_id = fields_for(error_id::math_zero_divide);
  bad_id[field::id] = global_word("no-value");  // an id of another category
  EXPECT_EQ(first_line(bad_id), "*** Internal Error: invalid error object field value: no-value");

  fields not_a_word = fields_for(error_id::math_zero_divide);
  not_a_word[field::type] = logic::value_of(true);
  EXPECT_EQ(first_line(not_a_word), "*** Internal Error: invalid error object field value: true");
}

TEST_F(Errors, ArgumentNamesComeFromTheRunningFunctionsSpec) {
  cell spec = block_of({text_cell("doc"), global_word("series"), block_of({}), typed_word("value", TYPE_LIT_WORD),
                        typed_word("part", TYPE_REFINEMENT), typed_word("length", TYPE_GET_WORD),
                        typed_word("local", TYPE_SET_WORD)});
  cell f = global_word("f");
  cell native_value{TYPE_NATIVE, 0, spec.payload2, 0};
  context::set(f, native_value);
  stack::push_native_frame(f);
  const char* expected[] = {"series", "value", "part", "length"};
  for (uint32_t n = 0; n < 4; ++n) EXPECT_EQ(spelling_of(error::get_call_argument(n)), expected[n]);
  EXPECT_EQ(error::get_call_argument(4).type(), TYPE_NONE);

  cell not_callable = logic::value_of(true);
  context::set(f, not_callable);
  EXPECT_EQ(error::get_call_argument(0).type(), TYPE_NONE);
  stack::init();
  EXPECT_EQ(error::get_call_argument(0).type(), TYPE_NONE);  // <not-found> has no value
}

// ---- error! values over the system object --------------------------------------------------

class ErrorValues : public testing::object_values {
 protected:
  void SetUp() override {
    const memory::startup_stress_hold held;
    object_values::SetUp();
    system_object::init();
  }
  void TearDown() override {
    system_object::forget();
    object_values::TearDown();
  }

  static cell make_error(const cell& spec) {
    cell type = testing::datatype_cell(TYPE_ERROR), s = spec;
    cell made = *actions::make(&type, &s);
    stack::init();
    return made;
  }
  static cell field_of(const cell& object, const char* name) { return *object::select_word(object, global_word(name)); }
  static cell state_field(const char* name) { return field_of(field_of(system_object::value, "state"), name); }
  static void set_trace_level(int32_t level) {
    cell word = global_word("stack-trace");
    context::bind_word(field_of(system_object::value, "state").payload1, word);
    context::set(word, scalar::integer(level));
  }
  static cell path_get(const cell& error, const char* name) {
    cell e = error, element = global_word(name), path = block_of({global_word("e"), element});
    return *actions::lookup_path(&e, &path, &element, 1)(&e, &element, nullptr, &path, nullptr, nullptr, 1, false,
                                                         false, true, false);
  }
};

TEST_F(ErrorValues, TheCatalogObjectsHoldEveryIdWithItsTemplateAndCode) {
  cell system = *context::get(global_word("system"));
  ASSERT_EQ(system.type(), TYPE_OBJECT);
  cell errors = field_of(field_of(system, "catalog"), "errors");
  ASSERT_EQ(errors.type(), TYPE_OBJECT);
  ASSERT_EQ(context::word_count(errors.payload1), error_category_count);
  for (uint32_t c = 0; c < error_category_count; ++c) {
    auto category = static_cast<error_category>(c);
    cell object = field_of(errors, error_category_word(category));
    ASSERT_EQ(object.type(), TYPE_OBJECT) << error_category_word(category);
    EXPECT_EQ(scalar::integer_value(field_of(object, "code")), static_cast<int32_t>(c * 100));
    EXPECT_EQ(text_of(field_of(object, "type")), error_category_text(category));
  }

  for (uint16_t i = 0; i < static_cast<uint16_t>(error_id::count); ++i) {
    auto id = static_cast<error_id>(i);
    const error_entry& entry = error_info(id);
    SCOPED_TRACE(entry.word);
    cell category_object = field_of(errors, error_category_word(entry.category));
    node_id context = category_object.payload1;
    // The id words of errors are bound to these contexts, at the id's field.
    cell made = make_error(scalar::integer(static_cast<int32_t>(error_code(id))));
    cell type = error::fields(made)[field::type], id_word = error::fields(made)[field::id];
    EXPECT_EQ(type.payload1, errors.payload1);
    EXPECT_EQ(context::get(type)->payload1, category_object.payload1);
    ASSERT_EQ(id_word.payload1, context);
    EXPECT_EQ(spelling_of(id_word), entry.word);
    auto position = static_cast<uint32_t>(word::index_of(id_word));
    EXPECT_EQ(spelling_of(*context::word_at(context, position)), entry.word);
    EXPECT_EQ(position - 2 + static_cast<uint32_t>(entry.category) * 100, error_code(id));
    // The template as a value of the language.
    const cell message = *context::get(id_word);
    uint8_t expected = entry.message[0] == '"' ? TYPE_STRING : entry.message[0] == '[' ? TYPE_BLOCK : TYPE_WORD;
    EXPECT_EQ(message.type(), expected);
  }
  cell no_header = field_of(field_of(errors, "syntax"), "no-header");
  ASSERT_EQ(length_of(no_header), 2u);
  EXPECT_EQ(text_of(at(no_header, 0)), "script is missing a Tav header:");
  EXPECT_EQ(at(no_header, 1).type(), TYPE_GET_WORD);
  EXPECT_EQ(spelling_of(at(no_header, 1)), "arg1");
  EXPECT_EQ(at(field_of(field_of(errors, "internal"), "deprecated"), 0).type(), TYPE_WORD);
  EXPECT_EQ(text_of(field_of(field_of(errors, "math"), "zero-divide")), "attempt to divide by zero");

  cell prototype = field_of(field_of(system, "standard"), "error");
  const char* names[] = {"code", "type", "id", "arg1", "arg2", "arg3", "near", "where", "stack", "files"};
  ASSERT_EQ(context::word_count(prototype.payload1), error::field_count);
  for (uint32_t i = 0; i < error::field_count; ++i) {
    EXPECT_EQ(spelling_of(*context::word_at(prototype.payload1, i)), names[i]);
    EXPECT_EQ(context::value_at(prototype.payload1, i)->type(), TYPE_NONE);
  }
  EXPECT_EQ(scalar::integer_value(state_field("stack-trace")), 1);
  EXPECT_EQ(state_field("source-files").type(), TYPE_BLOCK);
}

TEST_F(ErrorValues, MakeCopiesThePrototypeAndFillsIt) {
  struct row {
    int32_t code;
    const char* id;  // null: script/out-of-range
  };
  for (const row& r : {row{0, "break"}, row{300, "no-value"}, row{393, "rb-invalid-record"}, row{1000, nullptr},
                       row{-1, nullptr}, row{394, nullptr}, row{96, nullptr}}) {
    SCOPED_TRACE(r.code);
    if (!r.id) {
      EXPECT_EQ(fired_by([&] { make_error(scalar::integer(r.code)); }), error_id::script_out_of_range);
      continue;
    }
    cell made = make_error(scalar::integer(r.code));
    EXPECT_EQ(made.type(), TYPE_ERROR);
    EXPECT_EQ(object::class_of(made), error::error_class);
    EXPECT_EQ(spelling_of(error::fields(made)[field::id]), r.id);
  }

  cell math = make_error(block_of({global_word("math"), global_word("zero-divide")}));
  EXPECT_EQ(scalar::integer_value(error::fields(math)[field::code]), 400);
  EXPECT_EQ(testing::formed(math), "*** Math Error: attempt to divide by zero\n*** Where: ???\n*** Near : none");
  // Each error has its own fields; the prototype stays untouched.
  cell other = make_error(block_of({global_word("math"), global_word("overflow")}));
  EXPECT_NE(other.payload1, math.payload1);
  EXPECT_EQ(scalar::integer_value(error::fields(math)[field::code]), 400);
  cell prototype = field_of(field_of(system_object::value, "standard"), "error");
  EXPECT_EQ(context::value_at(prototype.payload1, field::code)->type(), TYPE_NONE);

  cell user = make_error(text_cell("disk on fire"));
  EXPECT_EQ(scalar::integer_value(error::fields(user)[field::code]), 800);
  EXPECT_EQ(text_of(error::fields(user)[field::arg1]), "disk on fire");
  EXPECT_EQ(fired_by([&] { make_error(logic::value_of(true)); }), error_id::script_bad_make_arg);
}

TEST_F(ErrorValues, ASpecOfSetWordsIsEvaluatedInTheErrorsContext) {
  struct row {
    const char* type;
    const char* id;
    const char* line;
  };
  for (const row& r : {row{"syntax", "no-header", "*** Syntax Error: script is missing a Tav header: x.tav"},
                       row{"script", "invalid-arg", "*** Script Error: invalid argument: \"x.tav\""}}) {
    cell made = make_error(block_of({set_word("type"), word_of(r.type, TYPE_LIT_WORD), set_word("id"),
                                     word_of(r.id, TYPE_LIT_WORD), set_word("arg1"), text_cell("x.tav")}));
    std::string text = testing::formed(made);
    EXPECT_EQ(text.substr(0, text.find('\n')), r.line);
  }
  EXPECT_EQ(scalar::integer_value(error::fields(make_error(block_of({set_word("type"), word_of("math", TYPE_LIT_WORD),
                                                                     set_word("id"), word_of("positive", TYPE_LIT_WORD)})))[field::code]),
            402);
  // The set-words reach the new error only: the global words stay unset.
  EXPECT_EQ(context::get(global_word("arg1"))->type(), TYPE_UNSET);

  EXPECT_EQ(fired_by([&] { make_error(block_of({set_word("type"), word_of("bogus", TYPE_LIT_WORD)})); }),
            error_id::script_invalid_spec_field);
  object::evaluate_spec_hook = nullptr;
  EXPECT_EQ(fired_by([&] { make_error(block_of({set_word("type"), word_of("math", TYPE_LIT_WORD)})); }),
            error_id::internal_not_done);
}

TEST_F(ErrorValues, MoldWritesTheFieldsAndClosesOnItsOwnLine) {
  cell math = make_error(block_of({global_word("math"), global_word("zero-divide")}));
  EXPECT_EQ(mold_with(math, false, false, false),
            "make error! [\n    code: 400\n    type: 'math\n    id: 'zero-divide\n    arg1: none\n    arg2: none\n"
            "    arg3: none\n    near: none\n    where: none\n    stack: none\n    files: none\n]");
  EXPECT_EQ(mold_with(math, false, false, true),
            "make error! [code: 400 type: 'math id: 'zero-divide arg1: none arg2: none arg3: none near: none "
            "where: none stack: none files: none]");
  // Inside an object the closing bracket takes the object's indentation.
  cell holder = make_object({set_word("e"), math});
  std::string nested = testing::molded(holder);
  EXPECT_NE(nested.find("    e: make error! [\n        code: 400\n"), std::string::npos) << nested;
  EXPECT_NE(nested.find("        files: none\n    ]\n]"), std::string::npos) << nested;
}

TEST_F(ErrorValues, PathsReadAndSetFieldsByName) {
  cell made = make_error(block_of({global_word("script"), global_word("no-value")}));
  error::fields(made)[field::arg1] = global_word("x");
  EXPECT_EQ(spelling_of(path_get(made, "id")), "no-value");
  EXPECT_EQ(spelling_of(path_get(made, "arg1")), "x");
  EXPECT_EQ(scalar::integer_value(path_get(made, "code")), 300);

  cell e = made, element = global_word("arg2"), value = scalar::integer(7);
  error::eval_path(&e, &element, &value, nullptr, nullptr, nullptr, 1, false, false, true, false);
  EXPECT_EQ(scalar::integer_value(error::fields(made)[field::arg2]), 7);
  EXPECT_EQ(fired_by([&] { path_get(made, "bogus"); }), error_id::script_invalid_path);
}

TEST_F(ErrorValues, ErrorsCompareAsObjectsAndNotWithOtherValues) {
  cell a = make_error(scalar::integer(400)), b = make_error(scalar::integer(400)), c = make_error(scalar::integer(401));
  cell number = scalar::integer(400);
  EXPECT_EQ(error::compare(&a, &number, actions::op::equal), actions::not_comparable);
  EXPECT_TRUE(actions::compare(&a, &b, actions::op::equal));
  EXPECT_FALSE(actions::compare(&a, &c, actions::op::equal));
  EXPECT_FALSE(actions::compare(&a, &b, actions::op::same));
}

TEST_F(ErrorValues, CreateAndTheFieldHelpers) {
  cell arg = text_cell("a.tav"), category = global_word("access"), id = global_word("cannot-open");
  cell made = *error::create(category, id, &arg, nullptr, nullptr);
  stack::init();
  EXPECT_EQ(made.type(), TYPE_ERROR);
  EXPECT_EQ(scalar::integer_value(error::fields(made)[field::code]), 500);
  EXPECT_EQ(text_of(error::fields(made)[field::arg1]), "a.tav");
  EXPECT_EQ(error::fields(made)[field::arg2].type(), TYPE_NONE);
  EXPECT_EQ(error::get_type(made), word::symbol_of(category));
  EXPECT_EQ(error::get_id(made), word::symbol_of(id));
  EXPECT_EQ(error::get_stack_index(), 8u);

  error::set_where(made, global_word("open"));
  error::set_where(made, global_word("read"));
  EXPECT_EQ(spelling_of(error::fields(made)[field::where]), "open");
  EXPECT_EQ(fired_by([&] { error::create(category, global_word("bogus"), nullptr, nullptr, nullptr); }),
            error_id::script_invalid_spec_field);
}

TEST_F(ErrorValues, FireRaisesAnErrorValueWithWhereAndStack) {
  cell x = global_word("x");
  EXPECT_EQ(fired_by([&] { fire(error_id::script_no_value, x); }), error_id::script_no_value);
  cell raised = last_fired.value;
  ASSERT_EQ(raised.type(), TYPE_ERROR);
  EXPECT_EQ(scalar::integer_value(error::fields(raised)[field::code]), 300);
  EXPECT_EQ(spelling_of(error::fields(raised)[field::arg1]), "x");

  // The names of the calls are taken where the error is raised, at the level set then; the
  // files being loaded are copied when the error is kept.
  cell files = state_field("source-files");
  *alloc_block_tail(files) = text_cell("main.tav");
  set_trace_level(2);
  stack::push_native_frame(global_word("launch"));
  stack::push_native_frame(global_word("g"));
  EXPECT_EQ(fired_by([&] { fire(error_id::math_overflow); }), error_id::math_overflow);
  raised = last_fired.value;
  ASSERT_EQ(raised.type(), TYPE_ERROR);
  EXPECT_EQ(spelling_of(error::fields(raised)[field::where]), "g");
  stack::init();
  cell trace = error::fields(raised)[field::stack];
  ASSERT_EQ(trace.type(), TYPE_BLOCK);
  ASSERT_EQ(length_of(trace), 2u);
  EXPECT_EQ(spelling_of(at(trace, 0)), "launch");
  EXPECT_EQ(spelling_of(at(trace, 1)), "g");
  EXPECT_EQ(error::fields(raised)[field::files].type(), TYPE_NONE);
  EXPECT_TRUE(error::capture_stack(raised, false));
  EXPECT_EQ(error::fields(raised)[field::stack].payload2, trace.payload2);
  cell copied = error::fields(raised)[field::files];
  ASSERT_EQ(copied.type(), TYPE_BLOCK);
  EXPECT_NE(copied.payload2, files.payload2);
  EXPECT_EQ(text_of(at(copied, 0)), "main.tav");

  // A position recorded without the calls (an error made before raising) is turned into them.
  cell position = *stack::push_copy(raised);
  error::fields(position)[field::stack] = scalar::integer(0);
  EXPECT_TRUE(error::capture_stack(position, false));
  EXPECT_EQ(error::fields(position)[field::stack].type(), TYPE_BLOCK);
  // No stack at all: the flag comes back as given.
  error::fields(position)[field::stack] = none::value;
  EXPECT_FALSE(error::capture_stack(position, false));
  cell number = scalar::integer(1);
  EXPECT_FALSE(error::capture_stack(number, false));
  stack::init();

  // Without the system object, fire raises no value.
  system_object::forget();
  EXPECT_EQ(fired_by([&] { fire(error_id::math_overflow); }), error_id::math_overflow);
  EXPECT_EQ(last_fired.value.type(), TYPE_NONE);
}

TEST_F(ErrorValues, TheStackLineFollowsTheStateTraceLevel) {
  stack::push_native_frame(global_word("launch"));
  stack::push_native_frame(global_word("g"));
  EXPECT_EQ(fired_by([&] { fire(error_id::math_overflow); }), error_id::math_overflow);
  cell raised = last_fired.value;
  auto stack_line = [&] {
    std::string text = testing::formed(raised);
    size_t at = text.find("\n*** Stack: ");
    return at == std::string::npos ? std::string("none") : text.substr(at + 1, text.find('\n', at + 1) - at - 1);
  };
  EXPECT_EQ(stack_line(), "*** Stack: ");  // level 1 names functions only: natives are left out
  set_trace_level(2);
  EXPECT_EQ(error::stack_trace_level(), 2);
  EXPECT_EQ(fired_by([&] { fire(error_id::math_overflow); }), error_id::math_overflow);
  raised = last_fired.value;
  stack::init();
  // The names are those of the calls when raised, not of those running when formed.
  stack::push_native_frame(global_word("later"));
  EXPECT_EQ(stack_line(), "*** Stack: launch g");
  set_trace_level(0);
  EXPECT_EQ(stack_line(), "none");
  stack::init();
}

}  // namespace
}  // namespace tav
