// Running a script in this process: the status of a run and the command line as the script sees
// it in system/options.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "boot/global_load.hpp"
#include "boot/launch.hpp"
#include "boot/system_object.hpp"
#include "boot/vocabulary.hpp"
#include "datatypes/runtime_words.hpp"
#include "datatypes/value_fixture.hpp"
#include "interpreter/interpreter.hpp"
#include "runtime/collector.hpp"
#include "runtime/heap.hpp"
#include "runtime/platform.hpp"

namespace tav::testing {
namespace {

class launching : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    boot::define_vocabulary();
    collector::add_root(&saved_system_);
  }

  void SetUp() override {
    size_t length = 0;
    char* directory = platform::get_current_dir(length);
    ASSERT_NE(directory, nullptr);
    saved_directory_ = std::string(directory, length);
    heap_free(directory);
    char folder[] = "/tmp/tav-launch-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    folder_ = folder;
    saved_system_ = system_object::value;
  }

  void TearDown() override {
    system_object::value = saved_system_;
    cell word = global_word("system");
    context::set(word, saved_system_);
    platform::set_current_dir(saved_directory_.c_str());
    std::remove(script_.c_str());
    rmdir(folder_.c_str());
  }

  void write_script(const char* text) {
    script_ = folder_ + "/script.tav";
    FILE* file = std::fopen(script_.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs(text, file);
    std::fclose(file);
  }

  int launch(std::initializer_list<const char*> arguments) {
    std::vector<std::string> owned{"tav"};
    for (const char* argument : arguments) owned.emplace_back(std::strcmp(argument, "SCRIPT") == 0 ? script_ : argument);
    std::vector<char*> argv;
    for (std::string& argument : owned) argv.push_back(argument.data());
    argv.push_back(nullptr);
    return boot::launch(static_cast<int>(owned.size()), argv.data());
  }

  static std::string mold_of(const char* text) {
    const cell block = boot::load_global(reinterpret_cast<const uint8_t*>(text), static_cast<uint32_t>(std::strlen(text)));
    cell* base = stack::top;
    interpreter::do_block(block, false);
    const cell value = *stack::last_pushed();
    stack::top = base;
    return molded(value);
  }

  std::string saved_directory_, folder_, script_;
  // The system object the runtime made, kept reachable while a test replaces it.
  static inline cell saved_system_{TYPE_NONE, 0, 0, 0};
};

TEST_F(launching, a_script_that_ends_normally_gives_status_zero_and_runs_in_its_folder) {
  write_script("; a comment before the header\nTav [title: \"t\"]\nlaunched-value: 6 * 7\n");
  EXPECT_EQ(launch({"SCRIPT"}), boot::status_ok);
  EXPECT_EQ(mold_of("launched-value"), "42");
  size_t length = 0;
  char* directory = platform::get_current_dir(length);
  EXPECT_EQ(std::string(directory, length), folder_);
  heap_free(directory);
}

TEST_F(launching, failures_before_evaluation_give_the_failure_status) {
  write_script("no header\n");
  EXPECT_EQ(launch({"SCRIPT"}), boot::status_failed);
  EXPECT_EQ(launch({(folder_ + "/missing.tav").c_str()}), boot::status_failed);
  write_script("Tav [] x: [");
  EXPECT_EQ(launch({"SCRIPT"}), boot::status_failed);
}

TEST_F(launching, the_script_and_the_arguments_after_it_go_to_system_options) {
  mold_of("system: make object! [catalog: system/catalog state: system/state standard: system/standard "
          "options: make object! [script: none args: none]]");
  system_object::value = *context::get(global_word("system"));
  write_script("Tav []\n");
  ASSERT_EQ(launch({"--catch", "--", "SCRIPT", "one", "--two"}), boot::status_ok);
  EXPECT_EQ(mold_of("system/options/script"), "%" + script_);
  EXPECT_EQ(mold_of("system/options/args"), "[\"one\" \"--two\"]");
}

}  // namespace
}  // namespace tav::testing
