// typeset!: making from blocks and words, the text forms, comparison, the set operations and
// the constructors of function specs.
#include "block_fixture.hpp"
#include "datatypes/typeset.hpp"

namespace tav {
namespace {

using testing::block_of;
using testing::call_entry;
using testing::datatype_cell;
using testing::fired_by;
using testing::formed;
using testing::global_word;
using testing::int_value;
using testing::molded;
using testing::text_of;
using Typesets = testing::block_values;

cell typeset_of(std::initializer_list<uint8_t> types) {
  cell set = typeset::empty();
  for (uint8_t type : types) typeset::add_bit(set, type);
  return set;
}

cell made(const cell& spec) {
  cell prototype = datatype_cell(TYPE_TYPESET), copy = spec;
  return *actions::make(&prototype, &copy);
}

TEST_F(Typesets, MakeAndText) {
  cell numbers = made(block_of({datatype_cell(TYPE_FLOAT), datatype_cell(TYPE_INTEGER)}));
  EXPECT_EQ(molded(numbers), "make typeset! [integer! float!]");
  EXPECT_EQ(formed(numbers), "make typeset! [integer! float!]");
  EXPECT_EQ(text_of(call_entry(actions::entry::mold, {numbers}, {0, -1, -1, -1})), "integer! float!");
  cell empty = made(block_of({}));
  EXPECT_EQ(molded(empty), "make typeset! []");
  EXPECT_EQ(text_of(call_entry(actions::entry::mold, {empty}, {0, -1, -1, -1})), "");
  EXPECT_EQ(typeset::count(made(block_of({datatype_cell(TYPE_INTEGER), datatype_cell(TYPE_INTEGER)}))), 1);

  cell number_word = global_word("number!");
  context::set(number_word, numbers);
  cell via_word = made(block_of({number_word, datatype_cell(TYPE_BLOCK)}));
  EXPECT_EQ(molded(via_word), "make typeset! [block! integer! float!]");
  EXPECT_EQ(made(numbers).payload1, numbers.payload1);

  EXPECT_EQ(fired_by([] { made(none::value); }), error_id::script_bad_to_arg);
  EXPECT_EQ(fired_by([] { made(block_of({int_value(1)})); }), error_id::script_invalid_arg);
  EXPECT_EQ(fired_by([] { made(block_of({global_word("unset-word")})); }), error_id::script_no_value);
  // A /part budget already spent stops the names.
  cell output;
  text::make_at(output, 16);
  cell part = int_value(1);
  typeset::mold(&numbers, &output, false, false, false, &part, 1, 0);
  EXPECT_EQ(text_of(output), "make typeset! [");
}

TEST_F(Typesets, Compare) {
  cell a = typeset_of({TYPE_INTEGER, TYPE_FLOAT}), b = typeset_of({TYPE_FLOAT, TYPE_INTEGER});
  cell c = typeset_of({TYPE_INTEGER});
  EXPECT_TRUE(actions::compare(&a, &b, actions::op::equal));
  EXPECT_FALSE(actions::compare(&a, &c, actions::op::equal));
  EXPECT_TRUE(actions::compare(&a, &c, actions::op::not_equal));
  cell word = global_word("x");
  EXPECT_FALSE(actions::compare(&a, &word, actions::op::equal));
  EXPECT_EQ(fired_by([&] { actions::compare(&a, &c, actions::op::lesser); }), error_id::script_invalid_compare);
  EXPECT_EQ(typeset::compare(&c, &a, actions::op::sort), -1);  // sorting counts the types

  cell sets = block_of({a, c, typeset_of({}), b});
  call_entry(actions::entry::sort, {sets});
  EXPECT_EQ(testing::elements(sets),
            "make typeset! [] make typeset! [integer!] make typeset! [integer! float!] make typeset! [integer! float!]");
}

cell bitwise(actions::stack_entry entry, const cell& a, const cell& b) { return call_entry(entry, {a, b}); }

TEST_F(Typesets, SetOperations) {
  cell ints = typeset_of({TYPE_INTEGER}), numbers = typeset_of({TYPE_INTEGER, TYPE_FLOAT});
  EXPECT_EQ(molded(bitwise(actions::entry::or_, ints, datatype_cell(TYPE_FLOAT))), "make typeset! [integer! float!]");
  EXPECT_EQ(molded(bitwise(actions::entry::and_, numbers, ints)), "make typeset! [integer!]");
  EXPECT_EQ(molded(bitwise(actions::entry::xor_, numbers, ints)), "make typeset! [float!]");
  EXPECT_EQ(fired_by([&] { bitwise(actions::entry::or_, ints, int_value(1)); }), error_id::script_invalid_arg);

  auto operation = [&](int32_t code, const cell& a, const cell& b) {
    stack::arguments = stack::top = stack::bottom;
    stack::push_copy(a);
    stack::push_copy(b);
    return molded(*typeset::do_bitwise(code));
  };
  using namespace block::set_op;
  EXPECT_EQ(operation(unique, numbers, none::value), "make typeset! [integer! float!]");
  EXPECT_EQ(operation(union_, ints, datatype_cell(TYPE_FLOAT)), "make typeset! [integer! float!]");
  EXPECT_EQ(operation(intersect, numbers, ints), "make typeset! [integer!]");
  EXPECT_EQ(operation(exclude, numbers, ints), "make typeset! [float!]");
  EXPECT_EQ(operation(difference, ints, typeset_of({TYPE_FLOAT})), "make typeset! [integer! float!]");

  cell everything = call_entry(actions::entry::complement, {typeset::empty()});
  cell unset_type = datatype_cell(TYPE_UNSET), block_type = datatype_cell(TYPE_BLOCK);
  auto finds = [](cell set, cell type) {
    return *typeset::find(&set, &type, nullptr, false, false, false, false, nullptr, nullptr, false, false, false,
                          false);
  };
  EXPECT_TRUE(logic::get(finds(everything, unset_type)));
  EXPECT_TRUE(logic::get(call_entry(actions::entry::find, {ints, datatype_cell(TYPE_INTEGER)})));
  EXPECT_FALSE(logic::get(finds(ints, block_type)));
  EXPECT_EQ(fired_by([&] { finds(ints, int_value(11)); }), error_id::script_invalid_arg);
}

TEST_F(Typesets, SpecConstructors) {
  cell holder = block_of({});
  cell defaults = *typeset::make_default(holder);
  EXPECT_FALSE(typeset::has_type(defaults, TYPE_UNSET));
  for (uint8_t type = 1; type <= datatype::max_type_id; ++type)
    EXPECT_EQ(typeset::has_type(defaults, type), type != TYPE_UNSET) << int(type);

  cell numbers = typeset_of({TYPE_INTEGER, TYPE_FLOAT});
  cell number_word = global_word("number!");
  context::set(number_word, numbers);
  cell self_word = global_word("self-ref");
  context::set(self_word, global_word("whatever"));
  cell spec = block_of({datatype_cell(TYPE_BLOCK), number_word, block_of({}), self_word});
  cell from = *typeset::from_block(holder, spec);
  EXPECT_EQ(molded(from), "make typeset! [block! integer! float! object!]");
  EXPECT_EQ(series::get_abs_length(holder), 2);
  cell bad = block_of({int_value(3)});
  EXPECT_EQ(fired_by([&] { typeset::from_block(holder, bad); }), error_id::script_invalid_type_spec);

  cell words = typeset::empty();
  typeset::add_type(words, number_word);
  EXPECT_EQ(words.payload1, numbers.payload1);
  EXPECT_EQ(fired_by([&] { typeset::add_type(words, none::value); }), error_id::script_invalid_arg);

  cell* decoded = typeset::new_in_block(holder, 0x00001000, 0, 0);  // byte 1, mask 0x10: id 11
  EXPECT_EQ(molded(*decoded), "make typeset! [integer!]");
  cell listed;
  typeset::to_block(numbers, listed);
  EXPECT_EQ(testing::elements(listed), "integer! float!");
}

}  // namespace
}  // namespace tav
