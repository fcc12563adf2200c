// Definitions written in Tav: the phase sources read as definition forms naming registered
// built-ins, routines and functions made from them, faulty sources, and the object of the
// global words.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <string_view>

#include "boot/boot_fixture.hpp"
#include "boot/definitions.hpp"
#include "boot/global_load.hpp"
#include "boot/vocabulary.hpp"
#include "datatypes/float.hpp"
#include "datatypes/function.hpp"
#include "datatypes/object.hpp"
#include "datatypes/value_fixture.hpp"
#include "interpreter/interpreter.hpp"
#include "datatypes/runtime_words.hpp"
#include "library/routines.hpp"

namespace tav::testing {
namespace {

class definitions : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { boot::define_vocabulary(); }

  static cell value_of(const char* name) { return *context::get(global_word(name)); }
};

TEST_F(definitions, every_definition_names_a_registered_builtin_and_every_builtin_is_used) {
  std::set<std::string> registered, used;
  for (uint32_t i = 0; i < boot::builtin_count(); ++i) registered.insert(boot::builtin_name(i));
  for (uint32_t i = 0; i < library::routine_count; ++i) registered.insert(library::routine_name(i));
  uint32_t routines = 0, functions = 0, aliases = 0;
  for (const std::string& name : boot::boot_source_names()) {
    // The sources of the system object, the codecs, the library phase, the library sources that
    // build objects, the console and the GUI layer are code that runs, not phases of definitions.
    static const std::set<std::string> running = {"system",   "codecs",       "library", "reactivity",
                                                  "url",      "json",         "csv",     "preprocessor",
                                                  "header",   "engine",       "commands", "settings", "complete", "help",
                                                  "gui-layer", "parse-trace", "tools"};
    if (running.contains(name) || name.starts_with("view/"))
      continue;
    const cell phase = boot::source_block(name.c_str());
    boot::definition_form form;
    for (uint32_t index = 0; index < buffer_of(phase.payload2)->count();) {
      index = boot::read_definition(phase, index, form);
      (form.alias.type() != TYPE_NONE ? aliases : form.routine ? routines : functions) += 1;
      if (form.builtin.type() == TYPE_NONE) continue;
      const std::string name = spelling_of(form.builtin);
      EXPECT_TRUE(registered.count(name)) << name;
      used.insert(name);
    }
  }
  EXPECT_EQ(used, registered);
  EXPECT_EQ(routines, 139u);
  EXPECT_EQ(functions, 111u);
  EXPECT_EQ(aliases, 5u);
}

TEST_F(definitions, routines_keep_their_source_and_type_their_result) {
  const cell test = value_of("integer?");
  ASSERT_EQ(test.type(), TYPE_ROUTINE);
  EXPECT_EQ(scalar::integer_value(*function::more_cell(test, function::more_extra)), TYPE_LOGIC);
  const cell body = *function::more_cell(test, function::more_body);
  EXPECT_EQ(molded(body), "[integer! = type? :value]");
  // Shown, never run: a script that runs it runs its own code.
  EXPECT_FALSE(interpreter::system_code_p(body));
  EXPECT_EQ(molded(*function::more_cell(test, routine::more_datum)), "integer!");
  EXPECT_EQ(molded(*function::more_cell(value_of("series?"), routine::more_datum)), "series!");
}

TEST_F(definitions, function_bodies_that_run_are_the_loaded_source_marked_as_system_code) {
  const cell converter = value_of("to-integer");
  ASSERT_EQ(converter.type(), TYPE_FUNCTION);
  const cell body = function::running_body(converter);
  EXPECT_EQ(molded(body), "[to integer! :value]");
  EXPECT_TRUE(interpreter::system_code_p(body));
  EXPECT_EQ(molded(*function::more_cell(converter, function::more_body)), "[to integer! :value]");
  // `value` is the function's own argument; `to` and `integer!` stay global.
  const cell* words = buffer_of(body.payload2)->cells();
  EXPECT_EQ(words[2].payload1, function::context_of(converter));
  EXPECT_EQ(words[0].payload1, context::global);
  EXPECT_EQ(result_of("to-integer \"12\""), "12");
}

TEST_F(definitions, a_phase_defines_routines_and_functions_on_their_words) {
  const cell phase = loaded(
      "t-even?: routine [\"doc\" value [any-type!] return: [logic!]] [integer! = type? :value] datatype-test\n"
      "t-twice: func [\"doc\" v [integer!]] [v * 2]\n"
      "t-double: :t-twice");
  boot::define_phase(phase);
  EXPECT_EQ(result_of("reduce [t-even? 1 t-even? \"a\" t-twice 4 same? :t-double :t-twice]"), "[true false 8 true]");
  EXPECT_EQ(result_of("t-twice \"a\""), "error expect-arg");
  EXPECT_EQ(result_of("t-twice"), "error no-arg");
}

// The sources are part of the program: a fault in one ends start-up with runtime error 98.
TEST_F(definitions, faulty_sources_end_with_runtime_error_98) {
  const char* faulty[] = {
      "a?: routine [value] [] no-such-builtin",
      "a?: routine [value] []",
      "a?: func [v] [] no-such-builtin",
      "a?: funk [v] []",
      "a?: func [v]",
      "a: 1",
      "a: :no-such-word",
      "a?: routine [value] [\"no type here\"] datatype-test",
      "a?: routine [value] [integer!] typeset-test",
  };
  for (const char* text : faulty) {
    EXPECT_EXIT(boot::define_phase(loaded(text)), ::testing::ExitedWithCode(98), "") << text;
  }
}

TEST_F(definitions, system_words_is_an_object_over_the_global_context) {
  cell* base = stack::top;
  boot::push_system_words();
  const cell words = stack::top[-1];
  stack::top = base;
  ASSERT_EQ(words.type(), TYPE_OBJECT);
  EXPECT_EQ(object::context_of(words), context::global);
  EXPECT_EQ(object::class_of(words), static_cast<uint32_t>(-1));
  const cell self = *context::self_of(context::global);
  EXPECT_EQ(self.type(), TYPE_OBJECT);
  EXPECT_EQ(object::context_of(self), context::global);
}

TEST_F(definitions, the_float_options_switch_the_formatter_flags) {
  const struct {
    const char* set;
    const bool* flag;
    bool expected;
  } cases[] = {
      {"system/options/float/full?: true", &float_::full_support, true},
      {"system/options/float/full?: false", &float_::full_support, false},
      {"system/options/float/pretty?: false", &float_::pretty_print, false},
      {"system/options/float/pretty?: true", &float_::pretty_print, true},
  };
  for (const auto& row : cases) {
    result_of(row.set);
    EXPECT_EQ(*row.flag, row.expected) << row.set;
  }
}

}  // namespace
}  // namespace tav::testing

namespace tav::testing {
namespace {

// The library's words: their kind, the doc string their spec begins with ("" for none) and, for
// routines, the type id their results are given (-1: the routine writes its own result).
struct library_word {
  const char* name;
  uint8_t type;
  const char* doc;
  int32_t returns;
};

constexpr library_word library_words[] = {
    {"quit-return", TYPE_ROUTINE, "Stops evaluation and exits the program with a given status", -1},
    {"set-quiet", TYPE_ROUTINE, "Set an object's field to a value without triggering eventual object's events", -1},
    {"set-slot-quiet", TYPE_ROUTINE, "Set a value in series without triggering eventual owner's events", -1},
    {"shift-right", TYPE_ROUTINE, "Shift bits to the right", -1},
    {"shift-left", TYPE_ROUTINE, "Shift bits to the left", -1},
    {"shift-logical", TYPE_ROUTINE, "Shift bits to the right (unsigned)", -1},
    {"last-lf?", TYPE_ROUTINE, "Internal Use Only", -1},
    {"get-current-dir", TYPE_ROUTINE, "Returns the platform's current directory for the process", -1},
    {"set-current-dir", TYPE_ROUTINE, "Sets the platform's current process directory", -1},
    {"create-dir", TYPE_ROUTINE, "Create the given directory", -1},
    {"exists?", TYPE_ROUTINE, "Returns TRUE if the file exists", TYPE_LOGIC},
    {"os-info", TYPE_ROUTINE, "Returns detailed operating system version information", -1},
    {"as-color", TYPE_ROUTINE, "Combine R, G and B values into a tuple", -1},
    {"as-ipv4", TYPE_ROUTINE, "Combine a, b, c and d values into a tuple", -1},
    {"as-rgba", TYPE_ROUTINE, "Combine R, G, B and A color components into a tuple", -1},
    {"count-chars", TYPE_ROUTINE, "Count UTF-8 encoded characters between two positions in a binary series", TYPE_INTEGER},
    {"stack-size?", TYPE_ROUTINE, "", TYPE_INTEGER},
    {"pick-stack", TYPE_ROUTINE, "", -1},
    {"frame-index?", TYPE_ROUTINE, "", TYPE_INTEGER},
    {"collect-calls", TYPE_ROUTINE, "", -1},
    {"tracing?", TYPE_ROUTINE, "", -1},
    {"write-stdout", TYPE_ROUTINE, "Write data to STDOUT", -1},
    {"cause-error", TYPE_FUNCTION, "Causes an immediate error throw, with the provided information", 0},
    {"pad", TYPE_FUNCTION, "Pad a FORMed value on right side with spaces", 0},
    {"mod", TYPE_FUNCTION, "Compute a nonnegative remainder of A divided by B", 0},
    {"modulo", TYPE_FUNCTION,
     "Wrapper for MOD that handles errors like REMAINDER. Negligible values (compared to A and B) are rounded to zero", 0},
    {"eval-set-path", TYPE_FUNCTION, "Internal Use Only", 0},
};

TEST_F(definitions, library_words_have_their_doc_strings_and_result_types) {
  for (const library_word& w : library_words) {
    const cell value = value_of(w.name);
    ASSERT_EQ(value.type(), w.type) << w.name;
    series_buffer* spec = buffer_of(function::spec_of(value));
    const bool documented = spec->count() > 0 && spec->cells()[0].type() == TYPE_STRING;
    // The molded string without its delimiters, quotes or braces.
    const std::string doc = documented ? molded(spec->cells()[0]) : std::string("\"\"");
    EXPECT_EQ(doc.substr(1, doc.size() - 2), w.doc) << w.name;
    if (w.type == TYPE_ROUTINE) {
      EXPECT_EQ(scalar::integer_value(*function::more_cell(value, function::more_extra)), w.returns) << w.name;
    }
  }
  EXPECT_EQ(value_of("<<").type(), TYPE_OP);
}

}  // namespace
}  // namespace tav::testing
