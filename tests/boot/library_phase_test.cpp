// The library phase of start-up: the version as a tuple, the cache folder, the boot arguments
// taken from the process's own, and the places of the steps still to come.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "boot/boot_fixture.hpp"
#include "boot/vocabulary.hpp"
#include "io/os.hpp"
#include "runtime/platform.hpp"

namespace tav::testing {
namespace {

class library_phase : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { boot::define_vocabulary(); }
};

TEST_F(library_phase, the_version_is_the_tuple_the_build_records) {
  EXPECT_EQ(result_of("type? system/version"), "tuple!");
  EXPECT_EQ(result_of("system/version"), TAV_VERSION);
}

TEST_F(library_phase, the_cache_folder_is_the_home_folder_with_the_suffix_appended_as_text) {
  const char* home = std::getenv("HOME");
  EXPECT_EQ(result_of("system/options/cache"), std::string("%") + (home ? home : "/tmp") + "/.tav/");
}

TEST_F(library_phase, the_boot_arguments_are_those_of_the_process_as_passed) {
  const std::string boot = system_state.arguments[0];
  EXPECT_EQ(result_of("system/options/boot"), "\"" + boot + "\"");
  EXPECT_EQ(result_of("length? system/options/args"), std::to_string(system_state.argument_count - 1));
  // The command line without the program path: what the arguments after it are written as.
  const std::string rest = os::join_arguments(system_state.argument_count - 1, system_state.arguments + 1);
  EXPECT_EQ(result_of("length? system/script/args"), std::to_string(rest.size()));
}

TEST_F(library_phase, the_steps_of_other_parts_of_the_library_have_left_their_places_empty) {
  // The image and binary codecs are made before the library's steps, the JSON and CSV codecs by
  // theirs.
  EXPECT_EQ(result_of("keys-of system/codecs"), "[png jpeg bmp gif tiff tavbin json csv]");
  EXPECT_EQ(result_of("object? select system/codecs 'tavbin"), "true");
  EXPECT_EQ(result_of("last keys-of system/codecs"), "csv");
}

TEST_F(library_phase, the_tools_object_holds_its_fields_in_order) {
  EXPECT_EQ(result_of("words-of system/tools"),
            "[fun-stk expr-stk watching profiling indent hist-length dbg-usage options calc-max show-context "
            "show-parents show-stack show-watching do-command debugger tracers profiler do-handler]");
  EXPECT_EQ(result_of("reduce [object? system/tools/tracers function? :system/tools/profiler system/tools/hist-length]"),
            "[true true none]");
  EXPECT_EQ(result_of("words-of system/tools/tracers"),
            "[emit opening-marker closing-markers mold-part dumper push drop pop top-of step mold-size free data "
            "guided-trace inspector]");
  EXPECT_EQ(result_of("reduce [words-of system/tools/tracers/free length? system/tools/tracers/free/list]"),
            "[[list put get] 20]");
  EXPECT_EQ(result_of("words-of system/tools/tracers/data"),
            "[debug? inspect event-filter scope-filter inspect-sub-exprs? func-depth expr-depth path fetched "
            "fetched' pushed pushed' subexprs stack saved stack-period save-level unroll-level reset collector]");
  EXPECT_EQ(result_of("reduce [system/tools/tracers/data/stack-period words-of system/tools/tracers/inspector]"),
            "[9 [fixed-width last-path constants type-names ignored-words fetched-index fetched'-index inspect]]");
  EXPECT_EQ(result_of("reduce [system/tools/tracers/inspector/fetched-index system/tools/tracers/inspector/fetched'-index]"),
            "[-5 -4]");
  EXPECT_EQ(result_of("reduce [first system/tools/dbg-usage last system/tools/dbg-usage]"), "[#\"^-\" #\"^-\"]");
  EXPECT_EQ(result_of("words-of system/tools/options"), "[debug trace profile]");
  EXPECT_EQ(result_of("reduce [system/tools/options/trace/indent? system/tools/options/profile/types]"),
            "[true make typeset! [native! action! op! function!]]");
  EXPECT_EQ(result_of("reduce [function? :debug function? :parse-trace function? :transcode-trace function? :trace "
                      "function? :profile]"),
            "[true true true true true]");
}

TEST_F(library_phase, the_reactivity_engine_and_the_reactor_prototypes_stand_after_its_step) {
  EXPECT_EQ(result_of("reflect system/reactivity 'words"),
            "[relations queue eat-events? debug? types! not-safe! add-relation identify-sources eval "
            "eval-reaction pending? check]");
  EXPECT_EQ(result_of("reduce [reflect reactor! 'words reflect deep-reactor! 'words]"),
            "[[on-change*] [on-change* on-deep-change*]]");
}

}  // namespace
}  // namespace tav::testing
