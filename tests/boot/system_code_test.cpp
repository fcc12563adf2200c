// Functions of start-up run as compiled code would: their calls stay tied to the callables of
// start-up, the body Tav sees is a copy, argument checks keep the typesets of start-up, and a
// recursion through them is about as deep as through ordinary functions.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "boot/boot_fixture.hpp"
#include "boot/definitions.hpp"
#include "boot/global_load.hpp"
#include "boot/vocabulary.hpp"
#include "datatypes/block.hpp"
#include "datatypes/function.hpp"
#include "datatypes/value_fixture.hpp"
#include "interpreter/interpreter.hpp"
#include "interpreter/library_calls.hpp"
#include "interpreter/natives.hpp"
#include "runtime/collector.hpp"
#include "datatypes/runtime_words.hpp"

namespace tav::testing {
namespace {

// A phase of the test's own, defined like the phases of start-up.
constexpr const char* test_phase =
    "sc-id: func [v [any-type!]] [:v]\n"
    "sc-append: func [series value] [append series :value]\n"
    "sc-number: func [n [number!]] [n]\n"
    "sc-path: func [series] [append/only series [x]]\n"
    "sc-twice: func [n] [n * 2]\n"
    "show-memory-stats: func [data] [shown: length? data]\n";

class system_code : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    boot::define_vocabulary();
    boot::define_phase(loaded(test_phase));
    boot::end_definitions();
  }
};

TEST_F(system_code, calls_stay_tied_to_the_callables_of_start_up) {
  EXPECT_EQ(result_of("saved: :to  to: none  r: to-integer \"12\"  to: :saved  r"), "12");
  EXPECT_EQ(result_of("saved: :append  append: func [s v] [print \"x\"]  r: sc-append copy [] 1  "
                      "append: :saved  r"),
                      "[1]");
  EXPECT_EQ(result_of("saved: :append  append: none  r: sc-path copy []  append: :saved  r"), "[[x]]");
  EXPECT_EQ(result_of("saved: :*  *: make op! :add  r: sc-twice 5  *: :saved  r"), "10");
  // Words that name other values are read when they run.
  EXPECT_EQ(result_of("saved: :number!  number!: make typeset! [integer!]  r: number? 1.5  number!: :saved  r"),
            "false");
  // A script's own functions are not tied.
  EXPECT_EQ(result_of("saved: :append  append: func [s v] [\"mine\"]  r: append [] 1  append: :saved  r"),
            "\"mine\"");
}

TEST_F(system_code, an_error_inside_names_the_call_by_its_global_word) {
  EXPECT_EQ(result_of("to-integer \"x\""), "error bad-to-arg");
  ASSERT_TRUE(any_word_p(last_fired.where.type()));
  EXPECT_EQ(last_fired.where.payload1, context::global);
  EXPECT_EQ(molded(last_fired.near), "[to-integer \"x\"]");
}

TEST_F(system_code, the_body_shown_is_a_copy_and_the_running_body_is_hidden) {
  const cell function = *context::get(global_word("sc-twice"));
  const cell shown = *function::more_cell(function, function::more_body);
  const cell running = function::running_body(function);
  EXPECT_NE(shown.payload2, running.payload2);
  EXPECT_FALSE(interpreter::system_code_p(shown));
  EXPECT_TRUE(interpreter::system_code_p(running));
  EXPECT_EQ(result_of("reflect :sc-twice 'body"), "[n * 2]");
  EXPECT_EQ(result_of("b: reflect :sc-twice 'body  clear b  append b [n * 3]  sc-twice 5"), "10");
  // A function made from what is shown is ordinary code.
  EXPECT_EQ(result_of("f: func reflect :sc-id 'spec reflect :sc-id 'body  f 7"), "7");
}

TEST_F(system_code, argument_checks_keep_the_typesets_of_start_up) {
  EXPECT_EQ(result_of("saved: :number!  number!: make typeset! [string!]  r: sc-number 1.5  number!: :saved  r"),
            "1.5");
  EXPECT_EQ(result_of("saved: :number!  number!: make typeset! [string!]  r: try [sc-number \"a\"]  "
                      "number!: :saved  r/id"),
            "expect-arg");
}

TEST_F(system_code, recursion_through_system_code_is_about_as_deep_as_through_user_code) {
  const std::string system_depth =
      result_of("d: 0  f: func [] [d: d + 1  1 + sc-id f]  e: try [f]  reduce [e/id d]");
  const std::string user_depth =
      result_of("id: func [v [any-type!]] [:v]  d: 0  g: func [] [d: d + 1  1 + id g]  e: try [g]  reduce [e/id d]");
  ASSERT_EQ(system_depth.rfind("[stack-overflow ", 0), 0u) << system_depth;
  ASSERT_EQ(user_depth.rfind("[stack-overflow ", 0), 0u) << user_depth;
  const double system_calls = std::stod(system_depth.substr(16)), user_calls = std::stod(user_depth.substr(16));
  EXPECT_GE(system_calls, 0.9 * user_calls) << system_depth << " " << user_depth;
}

// As start-up runs a library source: its blocks are system code while the functions are made.
TEST_F(system_code, a_library_source_makes_its_functions_as_system_code_each_body_once) {
  cell source = loaded("sc-made: make block! 2  loop 2 [append sc-made func [n] [n + 1]]  sc-made");
  collector::scoped_root source_root(&source);
  interpreter::mark_system_code(source);
  cell made;
  block::make_at(made, 4);
  collector::scoped_root made_root(&made);
  natives::system_functions_made = &made;
  cell* base = stack::top;
  interpreter::do_block(source, false);
  stack::top = base;
  natives::system_functions_made = nullptr;
  // The second function of the same body gets a copy: binding it in place would take the first
  // one's arguments away.
  ASSERT_EQ(buffer_of(made.payload2)->count(), 1u);
  const cell first = buffer_of(made.payload2)->cells()[0];
  EXPECT_TRUE(interpreter::system_code_p(function::running_body(first)));
  EXPECT_EQ(result_of("second: pick sc-made 2  same? :second pick sc-made 1"), "false");
  EXPECT_EQ(result_of("first: pick sc-made 1  second: pick sc-made 2  reduce [first 10 second 20 first 30]"),
            "[11 21 31]");
}

TEST_F(system_code, native_code_calls_library_functions_held_at_the_end_of_start_up) {
  using interpreter::library::entry;
  const std::pair<entry, const char*> names[] = {
      {entry::do_file, "do-file"},
      {entry::expand, "preprocessor/expand"},
      {entry::parse_url, "url-parser/parse-url"},
      {entry::show_memory_stats, "show-memory-stats"},
      {entry::face_p, "face?"},
      {entry::launch, "cli-console-ctx/launch"},
      {entry::complete_input, "tav-complete-input"},
      {entry::make_progress_ui, "TUI-helpers/make-progress-ui"},
      {entry::make_text_list_ui, "TUI-helpers/make-text-list-ui"},
      {entry::make_checkbox_ui, "TUI-helpers/make-checkbox-ui"},
      {entry::make_radio_ui, "TUI-helpers/make-radio-ui"},
      {entry::awake, "system/view/awake"},
      {entry::to_tav_file, "to-tav-file"},
  };
  ASSERT_EQ(std::size(names), static_cast<size_t>(entry::count));
  for (const auto& [which, name] : names) EXPECT_STREQ(interpreter::library::name_of(which), name);
  // Defined by the test's phase or by start-up: taken.
  EXPECT_EQ(interpreter::library::value_of(entry::show_memory_stats).type(), TYPE_FUNCTION);
  const cell face_p = interpreter::library::value_of(entry::face_p);
  EXPECT_EQ(face_p.type(), TYPE_FUNCTION);
  const cell do_file = interpreter::library::value_of(entry::do_file);
  EXPECT_EQ(do_file.type(), TYPE_FUNCTION);

  EXPECT_EQ(result_of("saved: :show-memory-stats  show-memory-stats: func [d] [shown: 'mine]  shown: none  "
                      "stats/show  show-memory-stats: :saved  shown"),
            "5");
  // A name start-up defined keeps its value, whatever a script sets later.
  EXPECT_EQ(result_of("do-file: func [f a] [print \"mine\"]  face?: func [f] [true]  none"), "none");
  EXPECT_EQ(interpreter::library::value_of(entry::face_p).payload2, face_p.payload2);
  EXPECT_EQ(interpreter::library::value_of(entry::do_file).payload2, do_file.payload2);
}

// Start-up ties after each of its steps: a later tying takes the functions made since, and reads
// again the words of the earlier ones, which a step in between may have given other callables.
TEST_F(system_code, each_tying_takes_the_new_functions_and_reads_the_earlier_ones_again) {
  boot::define_phase(loaded("sc-target: func [] [1]\nsc-early: func [] [sc-target]\n"));
  boot::end_definitions();
  EXPECT_EQ(result_of("sc-early"), "1");
  boot::define_phase(loaded("sc-target: func [] [2]\nsc-late: func [s] [append s sc-target]\n"));
  boot::end_definitions();
  EXPECT_EQ(result_of("saved: :append  append: none  sc-target: func [] [3]  "
                      "r: reduce [sc-early sc-late copy []]  append: :saved  r"),
            "[2 [2]]");
}

}  // namespace
}  // namespace tav::testing
