// Test entry point: the unit tests run on the runtime thread, as the runtime itself does.
#include <gtest/gtest.h>

#include "runtime/platform.hpp"

namespace {

int run_all(void*) { return RUN_ALL_TESTS(); }

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  testing::GTEST_FLAG(death_test_style) = "threadsafe";
  return tav::platform::start_up(argc, argv, run_all, nullptr);
}
