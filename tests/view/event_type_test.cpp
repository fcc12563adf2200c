// event!: the registration of type 54 at start-up, and events read through dispatch records
// while their dispatch runs and after it.
#include <gtest/gtest.h>

#include <string>

#include "boot/boot_fixture.hpp"
#include "boot/vocabulary.hpp"
#include "datatypes/context.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/values.hpp"
#include "view/backends/terminal/dispatch_records.hpp"
#include "view/backends/terminal/event_type.hpp"

namespace tav::testing {
namespace {

uint32_t handlers_of(uint8_t type) {
  uint32_t count = 0;
  for (uint32_t slot = 1; slot <= action_count; ++slot)
    if (datatype::action_table[type * datatype::row_stride + slot - 1]) ++count;
  return count;
}

bool handled_p(uint8_t type, action_slot slot) {
  return datatype::action_table[type * datatype::row_stride + static_cast<uint32_t>(slot) - 1] != nullptr;
}

// Run first: the runtime alone leaves type 54 without actions, start-up's GUI step gives it its six.
TEST(event_registration, event_is_registered_last_by_start_up_with_six_actions) {
  EXPECT_STREQ(datatype::type_name_table[TYPE_EVENT].name, "event!");
  EXPECT_EQ(handlers_of(TYPE_EVENT), 0u);
  boot::define_vocabulary();
  EXPECT_EQ(datatype::max_type_id, 54u);
  EXPECT_EQ(handlers_of(TYPE_EVENT), 6u);
  for (action_slot slot : {action_slot::make, action_slot::form, action_slot::mold, action_slot::eval_path,
                           action_slot::compare, action_slot::pick})
    EXPECT_TRUE(handled_p(TYPE_EVENT, slot));
  EXPECT_EQ(result_of("type? make event! [type: 'time]"), "event!");
}

class event_dispatch : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { boot::define_vocabulary(); }

  // The event in the global word `ev`, and the mold of what `code` answers.
  static std::string read(const cell& event, const char* code) {
    cell word = global_word("ev");
    context::set(word, event);
    return result_of(code);
  }

  static tui::event_data data(int32_t key, float x = 0, float y = 0, float wheel = 0) {
    return tui::event_data{none::value, x, y, key, wheel};
  }
};

TEST_F(event_dispatch, key_picked_and_offset_come_from_the_record) {
  struct row {
    uint32_t type;
    uint32_t flags;
    tui::event_data record;
    const char* code;
    const char* expected;
  };
  const row rows[] = {
      {13, event::flag::special_key, data(-35), "ev/key", "F5"},
      {13, event::flag::special_key, data(-20), "ev/key", "up"},
      {13, event::flag::special_key, data(-42), "pick ev 'key", "F12"},
      {13, event::flag::special_key, data(-30), "ev/key", "none"},
      {13, event::flag::special_key, data(97), "ev/key", "none"},
      {13, 0, data(97), "ev/key", "#\"a\""},
      {13, 0, data(0x20AC), "ev/key", "#\"€\""},
      {13, 0, data(0), "ev/key", "none"},
      {11, 0, data(0, 0, 0, -1.0f), "ev/picked", "-1.0"},
      {11, 0, data(0, 0, 0, 1.0f), "pick ev 6", "1.0"},
      {26, 0, data(3), "ev/picked", "3"},
      {1, 0, data(0, 2.7f, 1.2f), "ev/offset", "2x1"},
      {1, 0, data(0, -2.7f, 0.9f), "ev/offset", "-2x0"},
      {1, event::flag::down | event::flag::shift, data(0), "reduce [ev/type ev/flags ev/down?]", "[down [down shift] true]"},
  };
  for (const row& r : rows) {
    tui::dispatch_scope scope(r.record);
    EXPECT_EQ(read(event::make_dispatched(r.type, scope.reference(), r.flags), r.code), r.expected) << r.code;
  }
}

TEST_F(event_dispatch, the_face_is_the_target_widgets_while_the_dispatch_runs) {
  ASSERT_EQ(result_of("f: make object! [a: 1] f/a"), "1");
  cell f = *context::get(global_word("f"));
  tui::event_data record = data(0, 1.0f, 1.0f);
  record.face = f;
  tui::dispatch_scope scope(record);
  const cell event = event::make_dispatched(9, scope.reference(), 0);
  EXPECT_EQ(read(event, "same? ev/face f"), "true");
  // The face stays reachable through the record while the dispatch runs.
  EXPECT_EQ(read(event, "f: none loop 100 [make block! 1000] ev/face/a"), "1");
}

TEST_F(event_dispatch, after_its_dispatch_an_event_keeps_only_what_its_cell_holds) {
  cell event;
  {
    tui::dispatch_scope scope(data(-35, 2.7f, 1.2f, -1.0f));
    event = event::make_dispatched(13, scope.reference(), event::flag::special_key | event::flag::shift);
    EXPECT_EQ(read(event, "reduce [ev/key ev/offset ev/picked]"), "[F5 2x1 -35]");
  }
  EXPECT_EQ(read(event, "reduce [ev/face ev/offset ev/key ev/picked]"), "[none none none none]");
  EXPECT_EQ(read(event, "reduce [ev/type ev/flags ev/shift? ev/window ev/orientation]"), "[key [shift] true none none]");
  // A later dispatch in the same slot is not read through the old reference.
  tui::dispatch_scope later(data(97));
  EXPECT_EQ(read(event, "ev/key"), "none");
  EXPECT_EQ(read(event::make_dispatched(13, later.reference(), 0), "ev/key"), "#\"a\"");
}

TEST_F(event_dispatch, nested_dispatches_each_read_their_own_record) {
  tui::dispatch_scope outer(data(97));
  const cell outer_event = event::make_dispatched(13, outer.reference(), 0);
  {
    tui::dispatch_scope inner(data(98));
    EXPECT_EQ(tui::depth(), 2u);
    EXPECT_EQ(read(event::make_dispatched(13, inner.reference(), 0), "ev/key"), "#\"b\"");
    EXPECT_EQ(read(outer_event, "ev/key"), "#\"a\"");
  }
  EXPECT_EQ(read(outer_event, "ev/key"), "#\"a\"");
}

TEST_F(event_dispatch, an_error_in_the_dispatch_pops_its_record) {
  const uint32_t depth = tui::depth();
  EXPECT_TRUE(stack::catch_error(words::try_, false, [&] {
    tui::dispatch_scope scope(data(97));
    EXPECT_EQ(tui::depth(), depth + 1);
    fire(error_id::script_invalid_arg, none::value);
  }));
  EXPECT_EQ(tui::depth(), depth);
}

TEST_F(event_dispatch, nesting_deeper_than_the_record_stack_is_an_error) {
  const uint32_t depth = tui::depth();
  for (uint32_t i = depth; i < tui::record_capacity; ++i) tui::push_record(data(0));
  EXPECT_EQ(tui::depth(), tui::record_capacity);
  EXPECT_TRUE(stack::catch_error(words::try_, false, [] { tui::push_record(data(0)); }));
  EXPECT_EQ(last_fired.id, error_id::internal_stack_overflow);
  while (tui::depth() > depth) tui::pop_record();
}

}  // namespace
}  // namespace tav::testing
