// Start-up sequence of the tav program.
#include "boot/startup.hpp"

#include "runtime/collector.hpp"
#include "runtime/externals.hpp"
#include "runtime/heap.hpp"
#include "runtime/memory.hpp"
#include "runtime/platform.hpp"
#include "runtime/throw.hpp"

namespace tav::boot {
namespace {

int run_runtime(void*) {
  platform::init();
  memory::init();
  externals::init();
  collector::init();
  // Switched on last, once every root of the start-up is in place.
  collector::set_active(true);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int status = platform::start_up(argc, argv, run_runtime, nullptr);
  runtime_error(static_cast<uint32_t>(status), nullptr);
}

}  // namespace tav::boot
