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
#include "datatypes/object.hpp"
#include "datatypes/runtime_words.hpp"
#include "datatypes/string.hpp"
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

  static void set_raw_line(const std::string& raw) {
    cell* base = stack::top;
    const cell line = *string::load(reinterpret_cast<const uint8_t*>(raw.data()), raw.size(), string::encoding::utf8);
    const cell script = *object::select_word(system_object::value, global_word("script"));
    *object::select_word(script, global_word("args")) = line;
    stack::top = base;
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

// The raw text of the command line loses the options and the script, read as the arguments were.
TEST_F(launching, the_raw_command_line_keeps_the_text_of_the_arguments_after_the_script) {
  mold_of("system: make object! [catalog: system/catalog state: system/state standard: system/standard "
          "options: make object! [script: none args: none] script: make object! [args: none]]");
  system_object::value = *context::get(global_word("system"));
  write_script("Tav []\n");
  struct row {
    std::initializer_list<const char*> arguments;
    const char* raw;  // SCRIPT stands for the script's path
    const char* args;
    const char* rest;
  };
  const row rows[] = {
      {{"SCRIPT", "a", "b c", ""}, "SCRIPT a \"b c\" \"\"", "[\"a\" \"b c\" \"\"]", "{a \"b c\" \"\"}"},
      {{"--catch", "SCRIPT", "x"}, "--catch SCRIPT x", "[\"x\"]", "\"x\""},
      {{"--", "SCRIPT", "y"}, "-- SCRIPT y", "[\"y\"]", "\"y\""},
      {{"--my opt", "--q", "SCRIPT", "z"}, " \"--my opt\"  --q\tSCRIPT   z w", "[\"z\"]", "\"z w\""},
      {{"SCRIPT"}, "SCRIPT", "[]", "\"\""},
      {{"SCRIPT", "--catch"}, "\"SCRIPT\" --catch", "[\"--catch\"]", "\"--catch\""},
  };
  for (const row& r : rows) {
    std::string raw = r.raw;
    raw.replace(raw.find("SCRIPT"), 6, script_);
    set_raw_line(raw);
    ASSERT_EQ(launch(r.arguments), boot::status_ok) << r.raw;
    EXPECT_EQ(mold_of("system/options/args"), r.args) << r.raw;
    EXPECT_EQ(mold_of("system/script/args"), r.rest) << r.raw;
  }
}

TEST_F(launching, without_a_script_the_arguments_stay_less_the_catch_option) {
  mold_of("system: make object! [catalog: system/catalog state: system/state standard: system/standard "
          "options: make object! [script: none args: none] script: make object! [args: \"--catch --x\"]]");
  system_object::value = *context::get(global_word("system"));
  int pipe_ends[2];
  ASSERT_EQ(pipe(pipe_ends), 0);
  ASSERT_EQ(write(pipe_ends[1], "Tav []\n", 7), 7);
  close(pipe_ends[1]);
  const int saved_input = dup(STDIN_FILENO);
  dup2(pipe_ends[0], STDIN_FILENO);
  close(pipe_ends[0]);
  const int status = launch({"--catch", "--x"});
  dup2(saved_input, STDIN_FILENO);
  close(saved_input);
  ASSERT_EQ(status, boot::status_ok);
  EXPECT_EQ(mold_of("system/options/args"), "[\"--x\"]");
  EXPECT_EQ(mold_of("system/options/script"), "none");
  EXPECT_EQ(mold_of("system/script/args"), "\"--catch --x\"");
}

}  // namespace
}  // namespace tav::testing
