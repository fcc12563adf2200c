// Datatype registry: registration with inheritance, late registration, the count guard,
// and the datatype! values.
#include <unistd.h>

#include <cstring>

#include "runtime/fire_helpers.hpp"
#include "value_fixture.hpp"

namespace tav {
namespace {

using testing::fired_by;
using Registry = testing::fresh_values;

constexpr uint8_t parent_id = 55;
constexpr uint8_t child_id = 56;

void register_row(uint8_t id, uint8_t parent, const char* name, const datatype::action_row& row) {
  datatype::registration_word buffer[datatype::registration_words];
  buffer[0] = id;
  buffer[1] = parent;
  buffer[2] = reinterpret_cast<datatype::registration_word>(name);
  std::memcpy(buffer + datatype::registration_header, row.entries, sizeof row.entries);
  datatype::register_buffer(datatype::registration_words, buffer);
}

// A row with only form and mold given, everything else as `rest`.
template <class Rest, class Form, class Mold>
datatype::action_row row_with(Rest rest, Form form, Mold mold) {
  return datatype::actions_row(
      rest, rest, rest, rest, form, mold, rest, rest, rest,  // general
      rest, rest, rest, rest, rest, rest, rest, rest, rest,  // scalar
      rest, rest, rest, rest, rest, rest,                    // bitwise
      rest, rest, rest, rest, rest, rest, rest, rest, rest, rest, rest, rest, rest, rest, rest, rest, rest, rest,
      rest, rest, rest, rest, rest, rest, rest, rest, rest,  // series
      rest, rest, rest, rest, rest, rest, rest, rest, rest, rest, rest);  // ports
}

int32_t parent_form(cell*, cell* buffer, cell*, int32_t limit) {
  text::append_c_string(*buffer, "parent");
  return limit - 6;
}

int32_t other_form(cell*, cell* buffer, cell*, int32_t limit) {
  text::append_c_string(*buffer, "other");
  return limit - 5;
}

TEST_F(Registry, InheritanceIsACopyAndMissingActionsStayUnsupported) {
  register_row(parent_id, 0, "parent!", row_with(unsupported, &parent_form, unsupported));
  register_row(child_id, parent_id, "child!", row_with(inherit, inherit, inherit));
  // The parent changes after the child copied its row: the child keeps what it copied.
  register_row(parent_id, 0, "parent!", row_with(unsupported, &other_form, unsupported));

  cell child{child_id, 0, 0, 0};
  EXPECT_EQ(testing::formed(child), "parent");
  EXPECT_EQ(testing::formed(cell{parent_id, 0, 0, 0}), "other");

  // Inherited from a parent without mold: unsupported, and calling it names the action,
  // the type and the action's first argument.
  EXPECT_EQ(datatype::action_table[child_id * datatype::row_stride + 5], nullptr);
  EXPECT_EQ(fired_by([&] { testing::molded(child); }), error_id::script_expect_arg);
  EXPECT_EQ(testing::spelling_of(last_fired.args[0]), "mold");
  EXPECT_EQ(last_fired.args[1].type(), TYPE_DATATYPE);
  EXPECT_EQ(last_fired.args[1].payload1, child_id);
  EXPECT_EQ(testing::spelling_of(last_fired.args[2]), "value");
}

TEST_F(Registry, LateRegistrationInternsItsNameAndRaisesTheHighestId) {
  // event! is the last type, registered after the words exist.
  auto saved_names = std::to_array(datatype::type_name_table);
  erased_handler saved_row[datatype::row_stride];
  erased_handler* row = datatype::action_table + TYPE_EVENT * datatype::row_stride;
  std::memcpy(saved_row, row, sizeof saved_row);
  uint32_t saved_max = datatype::max_type_id;

  datatype::max_type_id = 53;
  datatype::register_type(TYPE_EVENT, row_with(unsupported, &parent_form, unsupported));
  EXPECT_EQ(datatype::max_type_id, TYPE_EVENT);
  const datatype::type_name_entry& entry = datatype::type_name_table[TYPE_EVENT];
  EXPECT_STREQ(entry.name, "event!");
  EXPECT_EQ(entry.length, 5u);
  EXPECT_EQ(entry.word.type(), TYPE_WORD);
  EXPECT_EQ(testing::spelling_of(entry.word), "event!");
  EXPECT_EQ(testing::formed(cell{TYPE_EVENT, 0, 0, 0}), "parent");
  EXPECT_EQ(testing::molded(testing::datatype_cell(TYPE_EVENT), true), "#(event!)");

  std::memcpy(row, saved_row, sizeof saved_row);
  std::copy(saved_names.begin(), saved_names.end(), datatype::type_name_table);
  datatype::max_type_id = saved_max;
}

TEST_F(Registry, TypeNameWordsAreMadeOnceWordsExist) {
  const datatype::type_name_entry& entry = datatype::type_name_table[TYPE_LOGIC];
  EXPECT_EQ(entry.length, 5u);
  EXPECT_EQ(testing::spelling_of(entry.word), "logic!");
  EXPECT_EQ(context::get(entry.word)->type(), TYPE_UNSET);
}

TEST(RegistryDeath, WrongActionCountEndsTheProcessWithItsMessage) {
  datatype::registration_word buffer[10] = {child_id, 0, reinterpret_cast<datatype::registration_word>("short!")};
  EXPECT_EXIT(
      {
        ::dup2(2, 1);  // the report goes to standard output
        datatype::register_buffer(10, buffer);
      },
      ::testing::ExitedWithCode(0),
      "\\*\\*\\* Datatype Error: invalid actions count for type: 56\n\\*\\*\\* Found: 7\n\\*\\*\\* Expected: 62\n");
}

TEST_F(Registry, DatatypeFormMoldAndCompare) {
  cell integer_type = testing::datatype_cell(TYPE_INTEGER);
  EXPECT_EQ(testing::formed(integer_type), "integer");
  EXPECT_EQ(testing::molded(integer_type), "integer!");
  EXPECT_EQ(testing::molded(integer_type, true), "#(integer!)");

  cell buffer;
  text::make_at(buffer, 16);
  EXPECT_EQ(datatype::form(&integer_type, &buffer, nullptr, 100), 93);
  EXPECT_EQ(datatype::mold(&integer_type, &buffer, false, false, false, nullptr, 100, 0), 92);
  EXPECT_EQ(datatype::mold(&integer_type, &buffer, false, true, false, nullptr, 100, 0), 89);

  cell same = testing::datatype_cell(TYPE_INTEGER);
  cell other = testing::datatype_cell(TYPE_STRING);
  cell none_value = none::value;
  EXPECT_TRUE(actions::compare(&integer_type, &same, actions::op::equal));
  EXPECT_TRUE(actions::compare(&integer_type, &same, actions::op::strict_equal));
  EXPECT_FALSE(actions::compare(&integer_type, &other, actions::op::equal));
  EXPECT_TRUE(actions::compare(&integer_type, &other, actions::op::not_equal));
  EXPECT_FALSE(actions::compare(&integer_type, &none_value, actions::op::equal));
  EXPECT_EQ(fired_by([&] { actions::compare(&integer_type, &other, actions::op::lesser); }),
            error_id::script_invalid_compare);
  EXPECT_EQ(last_fired.args[0].payload1, TYPE_INTEGER);
  EXPECT_EQ(last_fired.args[1].payload1, TYPE_STRING);
}

}  // namespace
}  // namespace tav
