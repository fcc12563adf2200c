// Platform services: pages, environment, directory, sleep and clock.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

#include "runtime/heap.hpp"
#include "runtime/platform.hpp"
#include "runtime/throw.hpp"

namespace tav {
namespace {

TEST(Platform, ArgumentsAreOnTheTrackedHeapAndNullTerminated) {
  ASSERT_GE(system_state.argument_count, 1);
  EXPECT_EQ(system_state.arguments[system_state.argument_count], nullptr);
  EXPECT_TRUE(platform::on_runtime_thread());
}

TEST(Platform, PagesAllocateAndFailWithTheirCodes) {
  void* pages = platform::allocate_pages(1 << 16, false);
  static_cast<char*>(pages)[65535] = 1;
  platform::free_pages(pages, 1 << 16);

  uint32_t caught = catch_slot(
      0x7FFFFFF8, [] { platform::allocate_pages(size_t{1} << 62, false); return 0u; },
      [](uint32_t c) { return c; });
  EXPECT_EQ(caught, code::page_alloc_failed);
  caught = catch_slot(
      0x7FFFFFF8, [] { platform::free_pages(reinterpret_cast<void*>(1), 4096); return 0u; },
      [](uint32_t c) { return c; });
  EXPECT_EQ(caught, code::page_free_failed);
}

TEST(Platform, EnvironmentAndDirectory) {
  ASSERT_TRUE(platform::set_env("TAV_TEST_VAR", "wert"));
  char buffer[8];
  EXPECT_EQ(platform::get_env("TAV_TEST_VAR", buffer, sizeof buffer), 4u);
  EXPECT_STREQ(buffer, "wert");
  EXPECT_EQ(platform::get_env("TAV_TEST_VAR", buffer, 3), 5u);  // too small: the size needed
  ASSERT_TRUE(platform::set_env("TAV_TEST_VAR", nullptr));
  EXPECT_EQ(platform::get_env("TAV_TEST_VAR", buffer, sizeof buffer), 0u);

  size_t length = 0;
  char* dir = platform::get_current_dir(length);
  ASSERT_NE(dir, nullptr);
  EXPECT_EQ(length, std::strlen(dir));
  EXPECT_TRUE(platform::set_current_dir(dir));
  EXPECT_FALSE(platform::set_current_dir("/no/such/directory/here"));
  heap_free(dir);
}

TEST(Platform, SleepHasAOneMillisecondFloor) {
  auto start = std::chrono::steady_clock::now();
  platform::sleep(0.0004);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1));
}

TEST(Platform, TimeIsSecondsSinceMidnight) {
  double coarse = platform::get_time(false);
  double precise = platform::get_time(true);
  EXPECT_EQ(coarse, static_cast<double>(static_cast<long>(coarse)));
  EXPECT_GE(coarse, 0.0);
  EXPECT_LT(precise, 86400.0);
}

TEST(Platform, ZonePacksSignHoursAndQuarters) {
  struct row {
    int minutes;
    uint32_t packed;
  };
  for (auto [minutes, packed] : {row{0, 0x00}, row{-210, 0x4E}, row{-195, 0x4D}, row{-30, 0x42}, row{330, 0x16},
                                 row{60, 0x04}, row{-60, 0x44}, row{840, 0x38}}) {
    EXPECT_EQ(platform::pack_zone(minutes), packed) << minutes;
  }
}

TEST(Platform, DateUnderNewfoundlandTimeInJanuary) {
  const char* saved = std::getenv("TZ");
  std::string old = saved ? saved : "";
  setenv("TZ", "America/St_Johns", 1);
  tzset();
  uint32_t date = platform::get_date_at(1736942400, false);  // 2025-01-15 12:00 UTC
  EXPECT_EQ(date & 0x7F, 0x4Eu);
  EXPECT_EQ(date >> 17, 2025u);
  EXPECT_EQ((date >> 12) & 0x1F, 1u);
  EXPECT_EQ((date >> 7) & 0x1F, 15u);
  EXPECT_EQ(platform::get_date_at(1736942400, true) & 0x7F, 0u);
  if (saved)
    setenv("TZ", old.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

}  // namespace
}  // namespace tav
