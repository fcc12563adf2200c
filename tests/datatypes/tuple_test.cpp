// tuple!: construction, text, comparison, clamped arithmetic, path access and byte order.
#include "datatypes/tuple.hpp"

#include "scalar_fixture.hpp"

namespace tav {
namespace {

using testing::block_of;
using testing::call_entry;
using testing::char_cell;
using testing::compared;
using testing::converted;
using testing::fired_by;
using testing::float_cell;
using testing::integer_cell;
using testing::issue_of;
using testing::math;
using testing::molded;
using testing::path_read;
using testing::path_set;
using testing::percent_cell;
using testing::picked;
using testing::string_of;
using Tuple = testing::scalar_values;

cell tuple_of(std::initializer_list<uint8_t> bytes) {
  cell value;
  tuple::make_at(value, static_cast<uint32_t>(bytes.size()), bytes.begin());
  return value;
}

cell binary_of(std::initializer_list<uint8_t> bytes, uint32_t head = 0) {
  node_id node = alloc_bytes(static_cast<uint32_t>(bytes.size()));
  for (uint8_t b : bytes) *alloc_tail_bytes(buffer_of(node), 1) = b;
  return cell{TYPE_BINARY, head, node, 0};
}

std::string reversed(const cell& value, const cell* part, const cell* skip) {
  if (part && skip) return molded(call_entry(actions::entry::reverse, {value, *part, *skip}, {1, 2}));
  if (part) return molded(call_entry(actions::entry::reverse, {value, *part}, {1, -1}));
  if (skip) return molded(call_entry(actions::entry::reverse, {value, *skip}, {-1, 1}));
  return molded(call_entry(actions::entry::reverse, {value}, {-1, -1}));
}

TEST_F(Tuple, ConversionsFromBlocksIssuesAndBinaries) {
  struct row {
    cell spec;
    const char* expected;
  };
  const row rows[] = {
      {block_of({integer_cell(1), integer_cell(2)}), "1.2.0"},
      {block_of({}), "0.0.0"},
      {block_of({integer_cell(192), integer_cell(168), integer_cell(0), integer_cell(1)}), "192.168.0.1"},
      {block_of({char_cell('A'), float_cell(2.9), float_cell(-0.5)}), "65.2.0"},
      {issue_of("F80"), "255.136.0"},
      {issue_of("FFF"), "255.255.255"},
      {issue_of("aabbcc"), "170.187.204"},
      {issue_of("10203040"), "16.32.48.64"},
      {binary_of({1, 2}), "1.2.0"},
      {binary_of({9, 8, 7, 6}, 1), "8.7.6"},
      {binary_of({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}), "1.2.3.4.5.6.7.8.9.10.11.12"},
      {tuple_of({4, 5, 6}), "4.5.6"},
  };
  for (const row& r : rows) {
    EXPECT_EQ(molded(converted(TYPE_TUPLE, r.spec)), r.expected) << r.expected;
    EXPECT_EQ(molded(testing::made(TYPE_TUPLE, r.spec)), r.expected) << r.expected;
  }
}

TEST_F(Tuple, BadConversionSources) {
  cell thirteen = block_of({integer_cell(1), integer_cell(1), integer_cell(1), integer_cell(1), integer_cell(1),
                            integer_cell(1), integer_cell(1), integer_cell(1), integer_cell(1), integer_cell(1),
                            integer_cell(1), integer_cell(1), integer_cell(1)});
  struct row {
    cell spec;
    error_id expected;
  };
  const row rows[] = {
      {thirteen, error_id::script_bad_to_arg},
      {block_of({integer_cell(256), integer_cell(0), integer_cell(0)}), error_id::script_bad_to_arg},
      {block_of({integer_cell(-1)}), error_id::script_bad_to_arg},
      {block_of({float_cell(255.9), float_cell(std::nan(""))}), error_id::script_bad_to_arg},
      {block_of({string_of("1")}), error_id::script_bad_to_arg},
      {integer_cell(5), error_id::script_bad_to_arg},
      {issue_of("12345"), error_id::script_invalid_data},
      {issue_of("1234567"), error_id::script_invalid_data},
      {issue_of("GGG"), error_id::script_invalid_data},
      // Characters beyond ASCII are no digits, whatever their low bits are.
      {issue_of("\xC3\x81\xC3\x81\xC3\x81"), error_id::script_invalid_data},
      {issue_of("A\xC3\x81"), error_id::script_invalid_data},
  };
  for (const row& r : rows) {
    EXPECT_EQ(fired_by([&] { converted(TYPE_TUPLE, r.spec); }), r.expected) << molded(r.spec);
  }
  EXPECT_EQ(last_fired.args[0].payload2, issue_of("A\xC3\x81").payload2);
}

TEST_F(Tuple, ConversionFromTextTakesTheScannedTuple) {
  scanned() = tuple_of({1, 2, 3});
  EXPECT_EQ(molded(converted(TYPE_TUPLE, string_of("1.2.3"))), "1.2.3");
  EXPECT_EQ(scanned_text(), "1.2.3");
  scanned() = integer_cell(12);
  cell text = string_of("12");
  EXPECT_EQ(fired_by([&] { converted(TYPE_TUPLE, text); }), error_id::script_bad_to_arg);
  EXPECT_EQ(last_fired.args[1].payload2, text.payload2);
}

TEST_F(Tuple, ConstructorsOfOtherModules) {
  EXPECT_EQ(molded(*tuple::push(4, 0x04030201, 0x08070605, 0)), "1.2.3.4");
  EXPECT_EQ(molded(*tuple::push(3, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF)), "255.255.255");
  const int32_t ints[] = {1, 258};
  EXPECT_EQ(molded(*tuple::make_from_ints(2, ints)), "1.2.0");
  const int32_t many[14] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
  EXPECT_EQ(tuple::length_of(*tuple::make_from_ints(14, many)), 12u);
  const uint8_t two[] = {7, 8};
  cell padded;
  EXPECT_EQ(molded(*tuple::make_at(padded, 2, two)), "7.8.0");
  EXPECT_TRUE(tuple::zero_p(tuple_of({0, 0, 0, 0})));
  EXPECT_FALSE(tuple::zero_p(tuple_of({0, 0, 1})));
}

TEST_F(Tuple, TextForms) {
  EXPECT_EQ(molded(tuple_of({255, 0, 0, 128})), "255.0.0.128");
  EXPECT_EQ(testing::formed(tuple_of({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12})), "1.2.3.4.5.6.7.8.9.10.11.12");
  cell limited = call_entry(actions::entry::form, {tuple_of({100, 200, 3}), integer_cell(5)}, {1});
  EXPECT_EQ(testing::text_of(limited), "100.2");
}

TEST_F(Tuple, ComparisonPadsTheShorterWithZeros) {
  cell short_one = tuple_of({1, 2, 3});
  EXPECT_TRUE(compared(actions::op::equal, short_one, tuple_of({1, 2, 3, 0})));
  EXPECT_TRUE(compared(actions::op::strict_equal, short_one, tuple_of({1, 2, 3, 0})));
  EXPECT_FALSE(compared(actions::op::equal, short_one, tuple_of({1, 2, 3, 1})));
  EXPECT_TRUE(compared(actions::op::lesser, short_one, tuple_of({1, 2, 4})));
  EXPECT_TRUE(compared(actions::op::greater, tuple_of({1, 2, 3, 1}), short_one));
  EXPECT_TRUE(compared(actions::op::lesser, tuple_of({1, 2, 255}), tuple_of({1, 3, 0})));
  EXPECT_FALSE(compared(actions::op::equal, short_one, integer_cell(1)));
  EXPECT_EQ(fired_by([&] { compared(actions::op::lesser, short_one, integer_cell(1)); }),
            error_id::script_invalid_compare);
}

TEST_F(Tuple, ArithmeticClampsEveryByte) {
  struct row {
    int32_t op;
    cell value1, value2;
    const char* expected;
  };
  const row rows[] = {
      {math_op::add, tuple_of({200, 100, 50}), integer_cell(100), "255.200.150"},
      {math_op::subtract, tuple_of({1, 2, 3}), integer_cell(5), "0.0.0"},
      {math_op::add, tuple_of({1, 2, 3}), tuple_of({1, 1, 1, 1}), "2.3.4.1"},
      {math_op::subtract, tuple_of({9, 9, 9, 9}), tuple_of({1, 10, 1}), "8.0.8.9"},
      {math_op::multiply, tuple_of({100, 100, 100}), percent_cell(0.5), "50.50.50"},
      {math_op::add, tuple_of({1, 2, 3}), float_cell(1.5), "2.3.4"},
      {math_op::or_, tuple_of({1, 2, 3}), integer_cell(256), "255.255.255"},
      {math_op::and_, tuple_of({255, 15, 1}), tuple_of({1, 6, 1}), "1.6.1"},
      {math_op::xor_, tuple_of({255, 15, 1}), integer_cell(15), "240.0.14"},
      {math_op::divide, tuple_of({10, 20, 30}), integer_cell(3), "3.6.10"},
      {math_op::remainder, tuple_of({7, 8, 9}), integer_cell(4), "3.0.1"},
      {math_op::divide, tuple_of({10, 20, 30}), integer_cell(-1), "0.0.0"},
      // Past 32 bits the sign of the exact result decides.
      {math_op::add, tuple_of({1, 2, 3}), integer_cell(2147483647), "255.255.255"},
      {math_op::multiply, tuple_of({0, 1, 2}), integer_cell(-2147483647 - 1), "0.0.0"},
      {math_op::multiply, tuple_of({0, 2, 3}), integer_cell(2147483647), "0.255.255"},
      // Float results beyond the bytes, infinite or not a number, clamp like any other.
      {math_op::multiply, tuple_of({1, 2, 3}), float_cell(1e300), "255.255.255"},
      {math_op::divide, tuple_of({1, 0, 3}), float_cell(0.0), "255.0.255"},
      {math_op::multiply, tuple_of({1, 2, 3}), float_cell(-1.5), "0.0.0"},
      // A number on the left: the operands change places.
      {math_op::add, integer_cell(10), tuple_of({1, 2, 3}), "11.12.13"},
      {math_op::multiply, float_cell(2.0), tuple_of({1, 2, 3}), "2.4.6"},
  };
  for (const row& r : rows) {
    cell result = math(r.op, r.value1, r.value2);
    EXPECT_EQ(result.type(), TYPE_TUPLE);
    EXPECT_EQ(molded(result), r.expected) << r.expected;
  }
}

TEST_F(Tuple, ArithmeticErrors) {
  struct row {
    int32_t op;
    cell value1, value2;
    error_id expected;
  };
  const row rows[] = {
      {math_op::subtract, integer_cell(10), tuple_of({1, 2, 3}), error_id::script_not_related},
      {math_op::divide, float_cell(10.0), tuple_of({1, 2, 3}), error_id::script_not_related},
      {math_op::divide, tuple_of({1, 2, 3}), integer_cell(0), error_id::math_zero_divide},
      {math_op::remainder, tuple_of({1, 2, 3}), tuple_of({1, 0, 1}), error_id::math_zero_divide},
      {math_op::add, tuple_of({1, 2, 3}), char_cell('a'), error_id::script_invalid_type},
      {math_op::add, tuple_of({1, 2, 3}), string_of("1"), error_id::script_invalid_type},
  };
  for (const row& r : rows) EXPECT_EQ(fired_by([&] { math(r.op, r.value1, r.value2); }), r.expected);
  fired_by([&] { math(math_op::subtract, integer_cell(10), tuple_of({1, 2, 3})); });
  EXPECT_EQ(testing::spelling_of(last_fired.args[0]), "subtract");
  EXPECT_EQ(last_fired.args[1].payload1, TYPE_INTEGER);
}

TEST_F(Tuple, ComplementLengthAndPick) {
  EXPECT_EQ(molded(call_entry(actions::entry::complement, {tuple_of({0, 255, 16})})), "255.0.239");
  EXPECT_EQ(scalar::integer_value(call_entry(actions::entry::length_p, {tuple_of({1, 2, 3, 4})})), 4);
  EXPECT_EQ(scalar::integer_value(picked(tuple_of({1, 2, 3}), integer_cell(2))), 2);
  for (int32_t index : {0, 4, -1}) {
    EXPECT_EQ(fired_by([&] { picked(tuple_of({1, 2, 3}), integer_cell(index)); }), error_id::script_out_of_range);
    EXPECT_EQ(scalar::integer_value(last_fired.args[0]), index);
  }
}

TEST_F(Tuple, ReverseWithPartAndSkip) {
  cell six = tuple_of({1, 2, 3, 4, 5, 6});
  cell two = integer_cell(2), six_count = integer_cell(6), nine = integer_cell(9), four = integer_cell(4);
  EXPECT_EQ(reversed(tuple_of({1, 2, 3, 4}), nullptr, nullptr), "4.3.2.1");
  EXPECT_EQ(reversed(tuple_of({1, 2, 3, 4}), &two, nullptr), "2.1.3.4");
  EXPECT_EQ(reversed(tuple_of({1, 2, 3}), &nine, nullptr), "3.2.1");
  EXPECT_EQ(reversed(six, nullptr, &two), "5.6.3.4.1.2");
  EXPECT_EQ(reversed(six, nullptr, &six_count), "1.2.3.4.5.6");
  EXPECT_EQ(reversed(six, &four, &two), "3.4.1.2.5.6");

  struct row {
    cell part, skip;
    bool with_part, with_skip;
    error_id expected;
  };
  const row rows[] = {
      {integer_cell(-1), {}, true, false, error_id::script_out_of_range},
      {string_of("2"), {}, true, false, error_id::script_invalid_refine_arg},
      {{}, integer_cell(4), false, true, error_id::script_invalid_refine_arg},
      {{}, integer_cell(7), false, true, error_id::script_invalid_refine_arg},
      {{}, integer_cell(0), false, true, error_id::script_out_of_range},
      {{}, float_cell(2.0), false, true, error_id::script_invalid_refine_arg},
  };
  for (const row& r : rows) {
    EXPECT_EQ(fired_by([&] { reversed(six, r.with_part ? &r.part : nullptr, r.with_skip ? &r.skip : nullptr); }),
              r.expected);
  }
}

TEST_F(Tuple, PathReadsAndAssigns) {
  EXPECT_EQ(scalar::integer_value(path_read(tuple_of({7, 8, 9}), integer_cell(3))), 9);
  struct row {
    cell tuple;
    int32_t index;
    cell value;
    const char* expected;
  };
  const row rows[] = {
      {tuple_of({1, 2, 3, 4, 5}), 4, none::value, "1.2.3"},
      {tuple_of({1, 2, 3}), 2, none::value, "1.0.0"},
      {tuple_of({1, 2, 3, 4, 5}), 5, none::value, "1.2.3.4"},
      {tuple_of({1, 2, 3}), 2, integer_cell(300), "1.255.3"},
      {tuple_of({1, 2, 3}), 1, integer_cell(-5), "0.2.3"},
  };
  for (const row& r : rows) EXPECT_EQ(molded(path_set(r.tuple, integer_cell(r.index), r.value)), r.expected);

  cell t = tuple_of({1, 2, 3});
  EXPECT_EQ(fired_by([&] { path_read(t, testing::word_of("x")); }), error_id::script_invalid_type);
  EXPECT_EQ(fired_by([&] { path_set(t, integer_cell(1), float_cell(1.0)); }), error_id::script_invalid_type);
  EXPECT_EQ(fired_by([&] { path_set(t, integer_cell(4), integer_cell(1)); }), error_id::script_out_of_range);
  EXPECT_EQ(fired_by([&] { path_read(t, integer_cell(0)); }), error_id::script_out_of_range);
}

struct heard {
  int calls = 0;
  cell word, old_value, new_value;
};
heard last_heard;

// An assignment through a path tells an object holding the value when the path asks to
// store back.
TEST_F(Tuple, PathAssignmentTellsTheOwningObject) {
  last_heard = heard{};
  scalar_support::object_change = [](cell&, const cell& word, const cell& old_value, const cell& new_value) {
    ++last_heard.calls;
    last_heard.word = word;
    last_heard.old_value = old_value;
    last_heard.new_value = new_value;
  };
  cell object{TYPE_OBJECT, 0, 0, 0};
  cell field = testing::word_of("colour");
  cell block = block_of({});
  cell t = tuple_of({1, 2, 3}), index = integer_cell(2), value = integer_cell(9);
  auto assign = [&](cell* container, bool store_back) {
    return actions::eval_path(&t, &index, &value, nullptr, container, &field, 2, false, false, true, store_back);
  };

  assign(&object, false);
  EXPECT_EQ(last_heard.calls, 0);
  EXPECT_EQ(molded(t), "1.9.3");

  t = tuple_of({1, 2, 3});
  EXPECT_EQ(assign(&object, true), &value);
  EXPECT_EQ(last_heard.calls, 1);
  EXPECT_EQ(testing::spelling_of(last_heard.word), "colour");
  EXPECT_EQ(molded(last_heard.old_value), "1.2.3");
  EXPECT_EQ(molded(last_heard.new_value), "1.9.3");

  // Any other container goes to the ownership check, not to the object handler.
  assign(&block, true);
  EXPECT_EQ(last_heard.calls, 1);
}

TEST_F(Tuple, RandomStaysWithinEachByte) {
  for (int round = 0; round < 50; ++round) {
    cell drawn = call_entry(actions::entry::random, {tuple_of({10, 0, 255, 1})}, {-1, -1, -1});
    const uint8_t* bytes = tuple::bytes_of(drawn);
    EXPECT_LE(bytes[0], 10);
    EXPECT_EQ(bytes[1], 0);
    EXPECT_LE(bytes[3], 1);
    EXPECT_EQ(tuple::length_of(drawn), 4u);
  }
  EXPECT_EQ(call_entry(actions::entry::random, {tuple_of({1, 2, 3})}, {0, -1, -1}).type(), TYPE_UNSET);
}

}  // namespace
}  // namespace tav
