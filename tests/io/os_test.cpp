// Command line, environment and operating-system information: the joined command line, the
// environment map (also of a child process started with an environment of its own), the
// argument type check and the facts os-info reports.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/utsname.h>
#include <sys/wait.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "datatypes/block.hpp"
#include "runtime/collector.hpp"
#include "datatypes/map.hpp"
#include "datatypes/object.hpp"
#include "datatypes/runtime_words.hpp"
#include "datatypes/tuple.hpp"
#include "datatypes/value_fixture.hpp"
#include "io/os.hpp"

namespace tav::testing {
namespace {

// The runtime as start-up leaves it; what a test pushes is taken off after it.
class os_services : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = stack::top;
    for (cell& held : held_) held = none::value;
    collector::add_root_range(held_, 2);
  }
  void TearDown() override {
    collector::remove_root(held_);
    stack::top = base_;
  }
  cell* base_ = nullptr;
  static inline cell held_[2];  // the maps of a test, kept with their tables
  static inline int next_ = 0;

  // The value of a key looked up case-sensitively, molded; "none" when it is not there.
  static std::string lookup(const cell& map, const char* key) {
    cell* saved = stack::top;
    cell held = map;
    cell* name = string::load(reinterpret_cast<const uint8_t*>(key), std::strlen(key), string::encoding::utf8);
    const cell* found = map::select(&held, name, nullptr, false, true, false, false, nullptr, nullptr, false, false);
    const std::string result = molded(*found);
    stack::top = saved;
    return result;
  }

  static cell environment_of(std::vector<const char*> entries) {
    entries.push_back(nullptr);
    cell& map = held_[next_++ & 1];
    os::environment_map_of(const_cast<char* const*>(entries.data()), map);
    return map;
  }
};

TEST(os_command_line, arguments_are_joined_by_spaces_and_quoted_when_empty_or_holding_blanks) {
  struct row {
    std::vector<const char*> arguments;
    const char* line;
  };
  const row rows[] = {
      {{"tav", "t.tav", "a"}, "tav t.tav a"},
      {{"tav", "b c", ""}, "tav \"b c\" \"\""},
      {{"/opt/my tav/tav", "x\ty"}, "\"/opt/my tav/tav\" \"x\ty\""},
      {{"tav", "say\"hi\"", "\"a b\""}, "tav say\"hi\" \"\"a b\"\""},
      {{"tav"}, "tav"},
      {{}, ""},
  };
  for (const row& r : rows) {
    std::vector<char*> argv;
    for (const char* a : r.arguments) argv.push_back(const_cast<char*>(a));
    argv.push_back(nullptr);
    EXPECT_EQ(os::join_arguments(static_cast<int>(r.arguments.size()), argv.data()), r.line);
  }
}

TEST_F(os_services, an_entry_is_split_at_the_first_equal_sign_after_its_first_character) {
  const cell map = environment_of({"A=1", "B=x=y", "C=", "=D=1", "a2=", "NOEQUAL"});
  EXPECT_EQ(lookup(map, "A"), "\"1\"");
  EXPECT_EQ(lookup(map, "B"), "\"x=y\"");
  EXPECT_EQ(lookup(map, "C"), "\"\"");
  EXPECT_EQ(lookup(map, "=D"), "\"1\"");
  EXPECT_EQ(lookup(map, "NOEQUAL"), "\"\"");
  EXPECT_EQ(lookup(map, "a"), "none");
  EXPECT_EQ(map::key_count(map), 6u);
}

TEST_F(os_services, names_differing_in_case_are_two_entries_and_bytes_that_are_no_utf8_are_kept) {
  const cell map = environment_of({"X=upper", "x=lower", "L=caf\xE9", "U=caf\xC3\xA9"});
  EXPECT_EQ(lookup(map, "X"), "\"upper\"");
  EXPECT_EQ(lookup(map, "x"), "\"lower\"");
  EXPECT_EQ(lookup(map, "L"), "\"caf\xC3\xA9\"");
  EXPECT_EQ(lookup(map, "U"), "\"caf\xC3\xA9\"");
  EXPECT_EQ(map::key_count(environment_of({})), 0u);
}

// Run by the test below in a child process whose environment is exactly these four entries.
TEST_F(os_services, DISABLED_child_sees_exactly_its_environment) {
  os::environment_map(held_[0]);
  const cell map = held_[0];
  EXPECT_EQ(lookup(map, "A"), "\"1\"");
  EXPECT_EQ(lookup(map, "B"), "\"x=y\"");
  EXPECT_EQ(lookup(map, "C"), "\"\"");
  EXPECT_EQ(lookup(map, "=D"), "\"1\"");
  EXPECT_EQ(lookup(map, "a"), "none");
  EXPECT_EQ(map::key_count(map), 4u);
}

TEST(os_environment, a_child_process_reads_the_environment_it_was_started_with) {
  char self[] = "/proc/self/exe";
  char filter[] = "--gtest_filter=os_services.DISABLED_child_sees_exactly_its_environment";
  char disabled[] = "--gtest_also_run_disabled_tests";
  char* argv[] = {self, filter, disabled, nullptr};
  char a[] = "A=1", b[] = "B=x=y", c[] = "C=", d[] = "=D=1";
  char* envp[] = {a, b, c, d, nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t child = 0;
  ASSERT_EQ(posix_spawn(&child, self, &actions, nullptr, argv, envp), 0);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(os_services, check_arg_type_passes_its_type_and_raises_invalid_arg_with_any_other) {
  const cell number = scalar::integer(7);
  EXPECT_FALSE(stack::catch_error(words::try_, false, [&] { os::check_arg_type(number, TYPE_INTEGER); }));
  cell* saved = stack::top;
  const cell text = *string::load(reinterpret_cast<const uint8_t*>("7"), 1, string::encoding::utf8);
  for (const cell& value : {text, scalar::integer(7)}) {
    const uint8_t other = value.type() == TYPE_INTEGER ? TYPE_PAIR : TYPE_INTEGER;
    ASSERT_TRUE(stack::catch_error(words::try_, false, [&] { os::check_arg_type(value, other); }));
    EXPECT_EQ(last_fired.id, error_id::script_invalid_arg);
    EXPECT_EQ(molded(last_fired.args[0]), molded(value));
  }
  stack::top = saved;
}

TEST(os_facts, machine_names_map_to_architecture_words) {
  const std::pair<const char*, const char*> rows[] = {
      {"x86_64", "x86-64"}, {"aarch64", "ARM64"}, {"i386", "x86-32"}, {"i686", "x86-32"}, {"i786", "Unknown"},
      {"armv7l", "ARM"},    {"arm", "ARM"},       {"ia64", "IA-64"},   {"riscv64", "Unknown"}, {"", "Unknown"},
  };
  for (const auto& [machine, arch] : rows) EXPECT_STREQ(os::arch_of_machine(machine), arch) << machine;
}

TEST(os_facts, kernel_release_and_version_texts_give_the_version_bytes_and_the_build) {
  const std::pair<const char*, std::array<int, 3>> releases[] = {
      {"6.1.0-18-amd64", {6, 1, 0}}, {"5.15.146.1-microsoft", {5, 15, 146}}, {"6.8-rc2", {6, 8, 0}},
      {"4.300.1000", {4, 255, 255}}, {"garbage", {0, 0, 0}},                  {"", {0, 0, 0}},
      {"3.", {3, 0, 0}},
  };
  for (const auto& [release, expected] : releases) {
    uint8_t version[3] = {9, 9, 9};
    os::parse_release(release, version);
    EXPECT_EQ((std::array<int, 3>{version[0], version[1], version[2]}), expected) << release;
  }
  EXPECT_EQ(os::parse_build("#1 SMP PREEMPT_DYNAMIC Debian 6.1.76-1"), 1);
  EXPECT_EQ(os::parse_build("#152-Ubuntu SMP"), 152);
  EXPECT_EQ(os::parse_build("SMP no number"), 0);
  EXPECT_EQ(os::parse_build("#x"), 0);
  EXPECT_EQ(os::parse_build("#99999999999"), INT32_MAX);
}

TEST(os_facts, the_distribution_name_is_pretty_name_without_its_quotes) {
  EXPECT_EQ(os::pretty_name_of("NAME=\"Debian\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nID=debian\n"),
            "Debian GNU/Linux 12 (bookworm)");
  EXPECT_EQ(os::pretty_name_of("PRETTY_NAME=Plain\n"), "Plain");
  EXPECT_EQ(os::pretty_name_of("NAME=Other\n"), "");
  EXPECT_EQ(os::pretty_name_of(""), "");
}

TEST_F(os_services, os_info_holds_name_arch_version_and_build_of_this_machine) {
  cell& info = *stack::push_cell();
  info = none::value;
  os::get_os_info(info);
  ASSERT_EQ(info.type(), TYPE_OBJECT);
  const cell* values = object::get_values(info);
  struct utsname kernel {};
  ASSERT_EQ(uname(&kernel), 0);
  EXPECT_EQ(text_of(values[0]).rfind("Linux ", 0), 0u);
  EXPECT_EQ(spelling_of(values[1]), os::arch_of_machine(kernel.machine));
  ASSERT_EQ(values[2].type(), TYPE_TUPLE);
  EXPECT_EQ(tuple::length_of(values[2]), 3u);
  uint8_t version[3];
  os::parse_release(kernel.release, version);
  EXPECT_EQ(std::memcmp(tuple::bytes_of(values[2]), version, 3), 0);
  EXPECT_EQ(values[3].type(), TYPE_INTEGER);
}

}  // namespace
}  // namespace tav::testing
