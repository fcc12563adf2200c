// handle!: text forms, order by id, and the actions it refuses.
#include "datatypes/handle.hpp"

#include "scalar_fixture.hpp"

namespace tav {
namespace {

using testing::call_entry;
using testing::compared;
using testing::fired_by;
using testing::formed;
using testing::molded;
using Handle = testing::scalar_values;

cell handle_of(uint32_t id, uint32_t handle_class) {
  cell value;
  handle::make_at(value, id, handle_class);
  return value;
}

TEST_F(Handle, TextForms) {
  struct row {
    cell value;
    const char* formed_text;
    const char* molded_all;
  };
  const row rows[] = {
      {*handle::push_null(), "00000000h", "#[handle! 00000000h]"},
      {handle_of(255, handle::CLASS_WINDOW), "000000FFh", "#[handle! 000000FFh window]"},
      {handle_of(0xDEADBEEF, handle::CLASS_RICH_TEXT), "DEADBEEFh", "#[handle! DEADBEEFh rich-text]"},
      {handle_of(16, handle::CLASS_FD), "00000010h", "#[handle! 00000010h fd]"},
      // A class the table does not know prints no name.
      {handle_of(1, 77), "00000001h", "#[handle! 00000001h]"},
  };
  for (const row& r : rows) {
    EXPECT_EQ(formed(r.value), r.formed_text);
    EXPECT_EQ(molded(r.value, true), r.molded_all);
    EXPECT_EQ(molded(r.value), "handle!");
  }
  cell limited = call_entry(actions::entry::mold, {handle_of(255, handle::CLASS_WINDOW), scalar::integer(12)},
                            {-1, 0, -1, 1});
  EXPECT_EQ(testing::text_of(limited), "#[handle! 00");
}

TEST_F(Handle, ConstructorsKeepTheIdWhole) {
  cell* pushed = handle::push(0xFFFFFFF0, handle::CLASS_MONITOR);
  EXPECT_EQ(pushed->type(), TYPE_HANDLE);
  EXPECT_EQ(handle::id_of(*pushed), 0xFFFFFFF0u);
  EXPECT_EQ(handle::class_of(*pushed), handle::CLASS_MONITOR);
  EXPECT_EQ(pushed->payload3, 0xFFFFFFFFu);
  stack::arguments = stack::top = stack::bottom;
  stack::push_cell();
  handle::box(7, handle::CLASS_WINDOW);
  EXPECT_EQ(handle::id_of(*stack::arguments), 7u);
  EXPECT_EQ(handle::class_of(*stack::arguments), handle::CLASS_WINDOW);
}

TEST_F(Handle, ComparesByIdAlone) {
  EXPECT_TRUE(compared(actions::op::equal, handle_of(5, handle::CLASS_WINDOW), handle_of(5, handle::CLASS_FONT)));
  EXPECT_TRUE(compared(actions::op::lesser, handle_of(4, 0), handle_of(5, 0)));
  // Ids order as signed numbers.
  EXPECT_TRUE(compared(actions::op::lesser, handle_of(0xFFFFFFFF, 0), handle_of(0, 0)));
  EXPECT_FALSE(compared(actions::op::equal, handle_of(5, 0), scalar::integer(5)));
}

TEST_F(Handle, RefusesEverythingElse) {
  cell h = handle_of(1, handle::CLASS_WINDOW);
  EXPECT_EQ(fired_by([&] { call_entry(actions::entry::add, {h, scalar::integer(1)}); }), error_id::script_expect_arg);
  EXPECT_EQ(fired_by([&] { call_entry(actions::entry::subtract, {h, h}); }), error_id::script_expect_arg);
  EXPECT_EQ(fired_by([&] { testing::made(TYPE_HANDLE, scalar::integer(1)); }), error_id::script_expect_arg);
  EXPECT_EQ(fired_by([&] { testing::converted(TYPE_HANDLE, scalar::integer(1)); }), error_id::script_expect_arg);
  EXPECT_EQ(fired_by([&] { call_entry(actions::entry::random, {h}, {-1, -1, -1}); }), error_id::script_expect_arg);
}

}  // namespace
}  // namespace tav
