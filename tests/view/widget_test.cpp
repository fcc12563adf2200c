// Widget records: ids that name nothing once freed, trees freed whole, and faces kept alive.
#include <gtest/gtest.h>

#include "datatypes/context.hpp"
#include "runtime/collector.hpp"
#include "view/backends/terminal/widget.hpp"
#include "view/screen_fixture.hpp"

namespace tav::testing {
namespace {

TEST(widget_table, a_freed_id_names_nothing_even_when_its_slot_is_reused) {
  const uint32_t before = tui::live_widgets();
  const tui::widget_id root = tui::make_widget(none::value, tui::no_widget);
  const tui::widget_id a = tui::make_widget(none::value, root);
  const tui::widget_id b = tui::make_widget(none::value, a);
  EXPECT_EQ(tui::window_of(b), root);
  EXPECT_EQ(tui::widget_of(root)->children, std::vector<tui::widget_id>{a});

  tui::free_widget(a);  // its child goes with it, its parent forgets it
  EXPECT_EQ(tui::widget_of(a), nullptr);
  EXPECT_EQ(tui::widget_of(b), nullptr);
  EXPECT_TRUE(tui::widget_of(root)->children.empty());
  EXPECT_EQ(tui::window_of(b), tui::no_widget);

  const tui::widget_id c = tui::make_widget(none::value, root);
  const tui::widget_id d = tui::make_widget(none::value, root);
  EXPECT_NE(c, a);
  EXPECT_NE(d, a);
  EXPECT_NE(c, b);
  EXPECT_NE(d, b);
  EXPECT_EQ(tui::widget_of(a), nullptr);
  tui::free_widget(a);  // freeing a stale id again changes nothing
  EXPECT_NE(tui::widget_of(c), nullptr);
  tui::free_widget(root);
  EXPECT_EQ(tui::live_widgets(), before);
  EXPECT_EQ(tui::widget_of(tui::no_widget), nullptr);
}

TEST(widget_table, a_widget_keeps_its_face_and_ui_alive_across_collections) {
  boot::define_vocabulary();
  const tui::widget_id id = tui::make_widget(evaluated("make object! [text: append copy {ke} {pt}]"), tui::no_widget);
  tui::widget_of(id)->ui = evaluated("append copy {ui} { text}");
  for (int i = 0; i < 3; ++i) {
    evaluated("loop 200 [append/dup copy {} {x} 100]");
    collector::run();
  }
  cell word = global_word("kept");
  context::set(word, tui::widget_of(id)->face);
  EXPECT_EQ(result_of("kept/text"), "\"kept\"");
  context::set(word, tui::widget_of(id)->ui);
  EXPECT_EQ(result_of("kept"), "\"ui text\"");
  tui::free_widget(id);
}

}  // namespace
}  // namespace tav::testing
