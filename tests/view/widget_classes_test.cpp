// Widgets made from faces: the classes' handlers and renderers on a scripted terminal, timers
// from `rate`, facet updates, and destroying a widget that others still refer to.
#include <string>
#include <vector>

#include "datatypes/block.hpp"
#include "datatypes/handle.hpp"
#include "datatypes/string.hpp"
#include "interpreter/library_calls.hpp"
#include "view/backends/terminal/face_access.hpp"
#include "view/backends/terminal/timers.hpp"
#include "view/backends/terminal/widget.hpp"
#include "view/screen_fixture.hpp"
#include "view/widget_fixture.hpp"

namespace tav::testing {
namespace {

namespace flag = tui::widget_flag;
namespace ev = tui::widget_event;
using tui::make_color;

// The events widgets send, as "type key".
std::vector<std::string> sent;
bool record_event(tui::widget_id, uint32_t type, float, float, int32_t key) {
  sent.push_back(std::to_string(type) + " " + std::to_string(key));
  return false;
}

class widget_classes : public screen_test {
 protected:
  void SetUp() override {
    screen_test::SetUp();
    tui::clear_timers();
    sent.clear();
    tui::set_widget_event_sender(record_event);
  }
  void TearDown() override {
    tui::clear_timers();
    screen_test::TearDown();
  }

  // A face object with the facets the backend reads; `extra` sets some of them again.
  static cell face(const std::string& type, const std::string& extra = "") {
    return evaluated(face_source(type, "10x1", extra));
  }

  static tui::widget_id show(const cell& made, tui::widget_id parent) { return show_widget(made, parent); }

  static tui::widget_id open_window(const std::string& extra = "size: 20x5") {
    const tui::widget_id id = show(face("window", extra), tui::no_widget);
    tui::activate_window(tui::widget_of(id)->window);
    return id;
  }

  static void key(tui::widget_id id, int32_t code) { tui::handle_widget_event(id, {ev::key, 0, 0, code}); }
  static void click(tui::widget_id id, float x, float y) { tui::handle_widget_event(id, {ev::click, x, y, 0}); }

  static std::string facet_of(const cell& object, uint32_t symbol) { return molded(tui::facet_value(object, symbol)); }

  // Marks a facet changed in the face's `state/2`, as the face model does.
  static void changed(const cell& object, uint32_t bits) {
    const cell state = tui::facet_value(object, tui::names().state);
    buffer_of(state.payload2)->cells()[state.payload1 + 1] = scalar::integer(static_cast<int32_t>(bits));
  }
};

TEST_F(widget_classes, a_field_edits_its_text_at_the_caret_within_its_width) {
  const tui::widget_id root = open_window();
  const cell field = face("field", "text: copy {}");
  const tui::widget_id id = show(field, root);
  EXPECT_TRUE(tui::widget_of(id)->flags & flag::text_entry);
  for (char32_t ch : std::u32string(U"h\u00e9llo")) key(id, static_cast<int32_t>(ch));
  key(id, -23);
  key(id, -23);
  key(id, 8);
  EXPECT_EQ(facet_of(field, tui::names().text), "\"h\u00e9lo\"");
  tui::caret_record caret = tui::widget_of(id)->caret;
  EXPECT_EQ(caret.index, 2);
  EXPECT_EQ(caret.column, 2);
  EXPECT_EQ(caret.width, 4);

  // Ctrl-F and Right move to the end, then stop there; the keys of the routing change nothing.
  for (int32_t code : {6, -22, 6, 6, 9, 13, 0, 10, 1})
    key(id, code);
  caret = tui::widget_of(id)->caret;
  EXPECT_EQ(caret.index, 4);
  EXPECT_EQ(facet_of(field, tui::names().text), "\"h\u00e9lo\"");

  // Five more cells fit; a wide character needs two where one is left, a narrow one fills it.
  for (char32_t ch : std::u32string(U"abcde\u4e00")) key(id, static_cast<int32_t>(ch));
  EXPECT_EQ(facet_of(field, tui::names().text), "\"h\u00e9loabcde\"");
  EXPECT_EQ(tui::widget_of(id)->caret.width, 9);
  key(id, 'f');
  key(id, 'g');
  EXPECT_EQ(facet_of(field, tui::names().text), "\"h\u00e9loabcdef\"");
  EXPECT_EQ(tui::widget_of(id)->caret.width, 10);

  // Backspace and Ctrl-B at index 0 do nothing; a click puts the caret at its column.
  for (int i = 0; i < 12; ++i) key(id, 2);
  key(id, 8);
  key(id, 127);
  EXPECT_EQ(tui::widget_of(id)->caret.index, 0);
  EXPECT_EQ(facet_of(field, tui::names().text), "\"h\u00e9loabcdef\"");
  click(id, 3.5f, 0);
  EXPECT_EQ(tui::widget_of(id)->caret.index, 3);
  EXPECT_EQ(tui::widget_of(id)->caret.column, 3);
  EXPECT_TRUE(sent.empty()) << sent.front();
}

TEST_F(widget_classes, a_field_with_a_wide_text_starts_with_its_caret_at_the_end_that_fits) {
  const tui::widget_id root = open_window();
  const cell field = face("field", "size: 3x1 text: copy {\u4e00\u4e00x}");
  const tui::widget_id id = show(field, root);
  const tui::caret_record caret = tui::widget_of(id)->caret;
  EXPECT_EQ(caret.index, 1);
  EXPECT_EQ(caret.column, 2);
  EXPECT_EQ(caret.width, 5);
  key(id, 'y');  // the text is wider than the field already
  EXPECT_EQ(facet_of(field, tui::names().text), "\"\u4e00\u4e00x\"");
  // A text the script changed is measured again on the next key.
  cell text = tui::facet_value(field, tui::names().text);
  string::remove_part(text, text.payload1, 3);
  key(id, 'y');
  EXPECT_EQ(facet_of(field, tui::names().text), "\"y\"");
  EXPECT_EQ(tui::widget_of(id)->caret.column, 1);
  EXPECT_EQ(tui::widget_of(id)->caret.width, 1);
  // A text that is not a string is made one on the first key.
  const cell empty = face("field", "text: none");
  const tui::widget_id other = show(empty, root);
  key(other, 'z');
  EXPECT_EQ(facet_of(empty, tui::names().text), "\"z\"");
}

TEST_F(widget_classes, checks_toggle_radios_set_and_buttons_click_on_space) {
  const tui::widget_id root = open_window();
  const cell check = face("check");
  const tui::widget_id box = show(check, root);
  key(box, ' ');
  EXPECT_EQ(facet_of(check, tui::names().data), "true");
  click(box, 0, 0);
  EXPECT_EQ(facet_of(check, tui::names().data), "false");
  key(box, 'x');
  EXPECT_EQ(facet_of(check, tui::names().data), "false");
  EXPECT_EQ(sent, (std::vector<std::string>{"26 0", "26 0"}));

  sent.clear();
  const cell radio = face("radio", "data: true");
  const tui::widget_id dot = show(radio, root);
  key(dot, ' ');
  EXPECT_EQ(facet_of(radio, tui::names().data), "true");
  const cell other = face("check", "data: 5");
  key(show(other, root), ' ');
  EXPECT_EQ(facet_of(other, tui::names().data), "false");
  EXPECT_EQ(sent, (std::vector<std::string>{"26 0", "26 0"}));

  sent.clear();
  const tui::widget_id button = show(face("button"), root);
  key(button, ' ');
  key(button, 13);
  EXPECT_EQ(sent, (std::vector<std::string>{"9 0"}));
}

TEST_F(widget_classes, a_text_list_moves_its_selection_and_scrolls_with_it) {
  const tui::widget_id root = open_window("size: 20x30");
  const cell list = face("text-list", "size: 10x5 selected: 5 data: collect [repeat i 20 [keep form i]]");
  const tui::widget_id id = show(list, root);
  EXPECT_EQ(tui::widget_of(id)->data, 0);
  key(id, -21);
  EXPECT_EQ(facet_of(list, tui::names().selected), "6");
  EXPECT_EQ(tui::widget_of(id)->data, 1);
  EXPECT_EQ(sent, (std::vector<std::string>{"25 6", "26 6"}));
  for (int i = 0; i < 5; ++i) key(id, -20);
  EXPECT_EQ(facet_of(list, tui::names().selected), "1");
  EXPECT_EQ(tui::widget_of(id)->data, 0);
  key(id, -20);  // at the first entry already: nothing is sent
  EXPECT_EQ(sent.size(), 12u);
  click(id, 0, 3.6f);
  EXPECT_EQ(facet_of(list, tui::names().selected), "4");

  // Three entries in five rows: a click on the empty rows picks nothing.
  sent.clear();
  const cell short_list = face("text-list", "size: 10x5 data: [\"a\" \"b\" \"c\"]");
  const tui::widget_id few = show(short_list, root);
  click(few, 0, 3);
  EXPECT_TRUE(sent.empty());
  EXPECT_EQ(facet_of(short_list, tui::names().selected), "none");
  click(few, 0, 2);
  EXPECT_EQ(facet_of(short_list, tui::names().selected), "3");
  key(few, -21);
  EXPECT_EQ(facet_of(short_list, tui::names().selected), "3");
}

TEST_F(widget_classes, removing_entries_of_a_text_list_pulls_its_view_back) {
  const tui::widget_id root = open_window("size: 20x30");
  const cell list = face("text-list", "size: 10x2 selected: 6 data: [\"a\" \"b\" \"c\" \"d\" \"e\" \"f\"]");
  const tui::widget_id id = show(list, root);
  tui::widget_of(id)->data = 4;
  const cell data = tui::facet_value(list, tui::names().data);
  const cell remove = evaluated("'remove");
  // Told before four entries from index 2 go.
  tui::on_change_facet(list, evaluated("'data"), data, remove, none::value, 2, 4);
  EXPECT_EQ(tui::widget_of(id)->data, 2);
  EXPECT_EQ(facet_of(list, tui::names().selected), "2");
  // A change inside one entry's string leaves the list as it is.
  tui::widget_of(id)->data = 1;
  tui::on_change_facet(list, evaluated("'data"), evaluated("{a}"), remove, none::value, 0, 1);
  EXPECT_EQ(tui::widget_of(id)->data, 1);
}

TEST_F(widget_classes, rate_starts_and_removes_timers_and_a_bad_rate_makes_no_widget) {
  const tui::widget_id root = open_window();
  const tui::widget_id four = show(face("base", "rate: 4"), root);
  const tui::widget_id slow = show(face("base", "rate: 0:0:2"), root);
  ASSERT_EQ(tui::timers().size(), 2u);
  EXPECT_EQ(tui::timers()[0].interval_ms, 250u);
  EXPECT_EQ(tui::timers()[0].widget, four);
  EXPECT_EQ(tui::timers()[1].interval_ms, 2000u);

  tui::fire_timers(200);
  EXPECT_TRUE(sent.empty());
  tui::fire_timers(600);  // fires once whatever the surplus
  EXPECT_EQ(sent, (std::vector<std::string>{"33 0"}));

  tui::update_rate(slow, none::value);
  EXPECT_EQ(tui::timers().size(), 1u);
  const uint32_t before = tui::live_widgets();
  for (const char* rate : {"0", "-1", "0:0:0", "1.5", "\"x\""}) {
    const cell bad = face("field", std::string("rate: ") + rate);
    EXPECT_TRUE(stack::catch_error(words::try_, false, [&] { tui::make_view(bad, root); })) << rate;
    EXPECT_STREQ(error_info(last_fired.id).word, "invalid-facet-type");
    EXPECT_EQ(tui::live_widgets(), before) << rate;
    EXPECT_EQ(tui::window_record_of(root)->focused, tui::no_widget) << rate;
  }
  EXPECT_TRUE(stack::catch_error(words::try_, false, [&] { tui::update_rate(four, scalar::integer(0)); }));
  EXPECT_EQ(tui::timers().size(), 1u);  // the good timer is kept
}

TEST_F(widget_classes, destroying_a_widget_lets_go_of_every_reference_to_it) {
  enter_terminal(40, 10);
  const tui::widget_id root = open_window();
  const cell field = face("field", "rate: 10 text: copy {abc}");
  const tui::widget_id id = show(field, root);
  const cell field_state = tui::facet_value(field, tui::names().state);
  EXPECT_EQ(tui::screen.focus, root);  // a field is focusable only with the flag
  tui::set_focus(id);
  tui::screen.hover = id;
  tui::screen.capture = id;
  tui::screen.captures = {root, id};
  ASSERT_EQ(tui::timers().size(), 1u);

  tui::destroy_widget(field);
  EXPECT_EQ(tui::screen.focus, root);
  EXPECT_EQ(tui::window_record_of(root)->focused, root);
  EXPECT_TRUE(tui::widget_of(root)->flags & flag::focused);
  EXPECT_EQ(tui::screen.hover, tui::no_widget);
  EXPECT_EQ(tui::screen.capture, tui::no_widget);
  EXPECT_EQ(tui::screen.captures, std::vector<tui::widget_id>{root});
  EXPECT_TRUE(tui::timers().empty());
  EXPECT_EQ(tui::widget_of(id), nullptr);
  EXPECT_EQ(facet_of(field, tui::names().state), "none");
  // The old handle names nothing, even when its slot is taken again.
  tui::set_facet(field, tui::names().state, field_state);
  EXPECT_EQ(tui::get_widget(field), tui::no_widget);
  show(face("button"), root);
  EXPECT_EQ(tui::get_widget(field), tui::no_widget);
  const size_t events = sent.size();
  tui::fire_timers(1000);
  EXPECT_EQ(sent.size(), events);
  tui::screen.redraw = true;
  tui::render_frame();
}

TEST_F(widget_classes, destroying_a_pane_frees_the_widgets_of_its_faces_first) {
  const tui::widget_id root = open_window();
  const cell panel = face("panel", "size: 10x3 pane: reduce [make object! [type: 'field offset: 0x0 size: 5x1 "
                                   "text: copy {} state: none rate: 5 pane: none font: none para: none]]");
  const tui::widget_id outer = show(panel, root);
  const cell inner = tui::block_values(tui::facet_value(panel, tui::names().pane))[0];
  const tui::widget_id child = show(inner, outer);
  tui::set_focus(child);
  EXPECT_EQ(tui::window_record_of(root)->text_entries, 1u);
  static int loops_left = 0;
  loops_left = 0;
  tui::leave_loop = [] { ++loops_left; };
  tui::screen.redraw = false;
  tui::destroy_view(panel, false);
  EXPECT_EQ(loops_left, 0);  // a face leaving a pane never ends the loop
  EXPECT_TRUE(tui::screen.redraw);
  EXPECT_EQ(tui::widget_of(child), nullptr);
  EXPECT_EQ(tui::widget_of(outer), nullptr);
  EXPECT_EQ(facet_of(inner, tui::names().state), "none");
  EXPECT_EQ(tui::screen.focus, root);
  EXPECT_EQ(tui::window_record_of(root)->text_entries, 0u);
  EXPECT_TRUE(tui::timers().empty());
  EXPECT_TRUE(tui::widget_of(root)->children.empty());
  tui::destroy_view(tui::widget_of(root)->face, true);  // the loop waiting on the window ends
  EXPECT_EQ(loops_left, 1);
  EXPECT_EQ(tui::window_count(), 0u);
  tui::leave_loop = nullptr;
}

TEST_F(widget_classes, a_group_box_draws_its_border_and_title) {
  enter_terminal(40, 10);
  struct row {
    const char* options;
    std::u32string top;
    std::u32string bottom;
  };
  for (const row& r : {row{"none", U"\u250c\u2500\u2500\u2500\u2500\u2510", U"\u2514\u2500\u2500\u2500\u2500\u2518"},
                       row{"[border-corners round]", U"\u256d\u2500\u2500\u2500\u2500\u256e",
                           U"\u2570\u2500\u2500\u2500\u2500\u256f"}}) {
    tui::shutdown();
    const tui::widget_id root = open_window("size: 6x3");
    show(face("group-box", std::string("size: 6x3 text: none options: ") + r.options), root);
    tui::screen.redraw = true;
    tui::render_frame();
    EXPECT_EQ(row_text(0), r.top);
    EXPECT_EQ(row_text(1), U"\u2502    \u2502");
    EXPECT_EQ(row_text(2), r.bottom);
  }
  tui::shutdown();
  const tui::widget_id root = open_window("size: 8x3");
  show(face("group-box", "size: 8x3 text: {Name} options: [border-color 255.0.0]"), root);
  tui::screen.redraw = true;
  tui::render_frame();
  EXPECT_EQ(row_text(0), U"\u250cName\u2500\u2500\u2510");
  EXPECT_EQ(at(7, 1).fg, make_color(tui::color_kind::indexed, 196));
  EXPECT_EQ(at(1, 0).fg, 0u);  // the title in the font's colour
}

TEST_F(widget_classes, an_image_shows_two_pixels_a_cell) {
  const tui::widget_id root = open_window();
  const cell image = evaluated("make image! [2x2 #{FF0000FF00000000FF0000FF}]");
  for (int mode : {0, 4}) {
    tui::screen.color_mode = mode;
    const cell picture = face("image", "size: 2x1");
    tui::set_facet(picture, tui::names().image, image);
    const tui::widget_id id = show(picture, root);
    const std::vector<tui::tui_cell>& cells = tui::widget_of(id)->cells;
    ASSERT_EQ(cells.size(), 2u);
    for (const tui::tui_cell& c : cells) {
      EXPECT_EQ(c.cp, 0x2584u);
      if (mode == 4) {
        EXPECT_EQ(c.bg, make_color(tui::color_kind::true_rgb, 0xFF0000));
        EXPECT_EQ(c.fg, make_color(tui::color_kind::true_rgb, 0x0000FF));
      } else {
        EXPECT_EQ(c.bg, make_color(tui::color_kind::indexed, 196));
        EXPECT_EQ(c.fg, make_color(tui::color_kind::indexed, 21));
      }
    }
  }
  // A transparent upper pixel is a space; none frees the cells.
  const cell clear = evaluated("i: make image! 1x2 poke i 1 0.0.0.255 poke i 2 0.0.255.0 i");
  const cell picture = face("image", "size: 1x1");
  tui::set_facet(picture, tui::names().image, clear);
  const tui::widget_id id = show(picture, root);
  ASSERT_EQ(tui::widget_of(id)->cells.size(), 1u);
  EXPECT_EQ(tui::widget_of(id)->cells[0].cp, U' ');
  EXPECT_EQ(tui::widget_of(id)->cells[0].bg, 0u);
  tui::update_image(id, none::value);
  EXPECT_TRUE(tui::widget_of(id)->cells.empty());
}

TEST_F(widget_classes, windows_grow_over_their_children_and_keep_their_focus) {
  const tui::widget_id first = open_window("size: 20x5");
  const tui::widget_id child = show(face("field", "offset: 18x4 size: 5x2 flags: [focusable]"), first);
  const tui::window_record* area = tui::widget_of(first)->window;
  EXPECT_EQ(area->x2, 23);
  EXPECT_EQ(area->y2, 6);
  EXPECT_EQ(tui::screen.focus, child);  // the first focusable widget of a window takes its focus

  const tui::widget_id second = open_window("size: 10x2");
  const tui::widget_id other = show(face("button", "flags: 'focusable"), second);
  EXPECT_EQ(tui::screen.focus, other);
  tui::activate_window(tui::widget_of(first)->window);
  EXPECT_EQ(tui::screen.focus, child);
  tui::activate_window(tui::widget_of(second)->window);
  EXPECT_EQ(tui::screen.focus, other);
}

TEST_F(widget_classes, updating_a_view_applies_the_changed_facets_only) {
  const tui::widget_id root = open_window();
  const cell button = face("button", "offset: 1x1 size: 4x1");
  const tui::widget_id id = show(button, root);
  EXPECT_EQ(facet_of(button, tui::names().offset), "(1, 1)");  // a pair becomes a point
  EXPECT_TRUE(tui::widget_of(id)->flags & flag::size_pair);

  tui::set_facet(button, tui::names().offset, evaluated("3x2"));
  tui::set_facet(button, tui::names().size, evaluated("6x2"));
  tui::set_facet(button, tui::names().visible, logic::value_of(false));
  changed(button, 0x2 | 0x200);  // the size is not marked
  tui::update_view(button);
  const tui::widget* record = tui::widget_of(id);
  EXPECT_EQ(record->x1, 3);
  EXPECT_EQ(record->y1, 2);
  EXPECT_EQ(record->x2, 7);
  EXPECT_EQ(record->y2, 3);
  EXPECT_TRUE(record->flags & flag::hidden);
  EXPECT_EQ(molded(tui::block_values(tui::facet_value(button, tui::names().state))[1]), "0");

  changed(button, 0x4 | 0x800 | 0x10000);
  tui::set_facet(button, tui::names().flags, evaluated("[password all-over]"));
  tui::set_facet(button, tui::names().rate, scalar::integer(2));
  tui::update_view(button);
  EXPECT_EQ(tui::widget_of(id)->x2, 9);
  EXPECT_TRUE(tui::widget_of(id)->flags & flag::password);
  EXPECT_TRUE(tui::widget_of(id)->flags & flag::all_over);
  EXPECT_EQ(tui::timers().size(), 1u);

  // A window's `selected` moves its focus.
  const cell window_face = tui::widget_of(root)->face;
  tui::set_facet(window_face, tui::names().selected, button);
  changed(window_face, 0x400);
  tui::update_view(window_face);
  EXPECT_EQ(tui::screen.focus, id);
  tui::set_facet(window_face, tui::names().selected, none::value);
  changed(window_face, 0x400);
  tui::update_view(window_face);
  EXPECT_EQ(tui::screen.focus, root);
}

TEST_F(widget_classes, the_ui_of_checks_and_lists_comes_from_the_terminal_helpers_when_they_are_there) {
  const tui::widget_id root = open_window();
  const cell bare = face("check", "text: {On}");
  EXPECT_EQ(molded(tui::widget_of(show(bare, root))->ui), "none");

  evaluated(
      "saved-helpers: get/any 'TUI-helpers  built: copy []  TUI-helpers: make object! ["
      "make-checkbox-ui: func [f] [append built f/type  rejoin [either f/data [{[x] }] [{[ ] }] f/text]] "
      "make-radio-ui: func [f] [append built f/type  {(o)}] "
      "make-progress-ui: func [f] [append built f/type  f/text: {[##  ]}] "
      "make-text-list-ui: func [f] [append built f/type  f/text: {a}]]");
  interpreter::library::fill();  // as at the end of start-up
  const cell check = face("check", "text: {On}");
  const tui::widget_id box = show(check, root);
  EXPECT_EQ(molded(tui::widget_of(box)->ui), "\"[ ] On\"");
  key(box, ' ');
  EXPECT_EQ(molded(tui::widget_of(box)->ui), "\"[x] On\"");
  EXPECT_EQ(molded(tui::widget_of(show(face("radio"), root))->ui), "\"(o)\"");
  const cell bar = face("progress", "data: 0.5");
  show(bar, root);
  EXPECT_EQ(facet_of(bar, tui::names().text), "\"[##  ]\"");
  show(face("text-list"), root);
  show(face("button"), root);
  EXPECT_EQ(result_of("built"), "[check check radio progress text-list]");

  // An update builds again, with the face's changes kept from showing it meanwhile.
  evaluated(
      "saved-system: get/any 'system  system: make object! [view: make object! [auto-sync?: true]] "
      "TUI-helpers/make-progress-ui: func [f] [append built system/view/auto-sync?  f/text: {[####]}]");
  interpreter::library::fill();
  tui::update_view(bar);
  EXPECT_EQ(facet_of(bar, tui::names().text), "\"[####]\"");
  EXPECT_EQ(result_of("reduce [last built system/view/auto-sync?]"), "[false true]");
  evaluated("set/any 'system get/any 'saved-system  none");
  // A builder that fails leaves no widget behind.
  evaluated("TUI-helpers/make-radio-ui: func [f] [1 / 0]");
  interpreter::library::fill();
  const uint32_t before = tui::live_widgets();
  EXPECT_TRUE(stack::catch_error(words::try_, false, [&] { tui::make_view(face("radio"), root); }));
  EXPECT_EQ(tui::live_widgets(), before);
  evaluated("set/any 'TUI-helpers get/any 'saved-helpers  none");
  interpreter::library::fill();
}

TEST_F(widget_classes, a_base_with_a_caret_places_the_cursor_of_its_focused_entry) {
  enter_terminal(40, 10);
  const tui::widget_id root = open_window("size: 20x3");
  const cell entry = face("base", "offset: 0x0 size: 5x1");
  const tui::widget_id entry_id = show(entry, root);
  const cell placer = face("base", "offset: 7x2 size: 1x1 color: 255.0.0");
  tui::set_facet(placer, tui::names().options, evaluated("[caret none]"));
  buffer_of(tui::facet_value(placer, tui::names().options).payload2)->cells()[1] = entry;
  const tui::widget_id placer_id = show(placer, root);
  EXPECT_TRUE(tui::widget_of(placer_id)->flags & flag::caret_only);
  tui::set_focus(entry_id);
  tui::screen.redraw = true;
  tui::render_frame();
  EXPECT_TRUE(tui::widget_of(entry_id)->flags & flag::text_entry);
  EXPECT_EQ(tui::screen.caret_column, 7);
  EXPECT_EQ(tui::screen.caret_row, 2);
  EXPECT_EQ(at(7, 2).bg, 0u);  // it draws nothing of its own
}

TEST_F(widget_classes, destroying_a_face_takes_it_out_of_its_font_and_para) {
  const tui::widget_id root = open_window();
  const cell shared = evaluated("shared-font: make object! [name: none state: 7 parent: copy []]");
  const cell para = evaluated("shared-para: make object! [parent: copy []]");
  const cell a = face("text", "font: shared-font para: shared-para");
  const cell b = face("text", "font: shared-font");
  for (const cell& f : {a, b}) block::append_cell(tui::facet_value(shared, tui::names().parent), f);
  block::append_cell(tui::facet_value(para, tui::names().parent), a);
  show(a, root);
  show(b, root);
  tui::destroy_widget(a);
  EXPECT_EQ(tui::block_length(tui::facet_value(shared, tui::names().parent)), 1u);
  EXPECT_EQ(tui::block_length(tui::facet_value(para, tui::names().parent)), 0u);
  EXPECT_EQ(facet_of(shared, tui::names().state), "7");
  tui::destroy_widget(b);
  EXPECT_EQ(facet_of(shared, tui::names().state), "none");
}

}  // namespace
}  // namespace tav::testing
