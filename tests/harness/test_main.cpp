// Test entry point: the unit tests run on the runtime thread, as the runtime itself does.
#include <gtest/gtest.h>

#include "boot/startup.hpp"
#include "library/routines.hpp"
#include "runtime/platform.hpp"

namespace {

// The collector runs as in the program, so that the stress modes reach every test.
int run_all(void*) {
  tav::boot::init_runtime();
  return RUN_ALL_TESTS();
}

}  // namespace

int main(int argc, char** argv) {
  tav::library::install();
  testing::InitGoogleTest(&argc, argv);
  testing::GTEST_FLAG(death_test_style) = "threadsafe";
  return tav::platform::start_up(argc, argv, run_all, nullptr);
}
