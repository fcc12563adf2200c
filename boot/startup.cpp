// Start-up sequence of the tav program.
#include "boot/startup.hpp"

#include "runtime/console_out.hpp"
#include "runtime/heap.hpp"
#include "runtime/memory.hpp"
#include "runtime/output_hooks.hpp"
#include "runtime/platform.hpp"
#include "runtime/throw.hpp"

namespace tav::boot {
namespace {

int run_runtime(void*) {
  console_out::init_attributes();
  output_hooks::init();
  platform::init();
  memory::init();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int status = platform::start_up(argc, argv, run_runtime, nullptr);
  runtime_error(static_cast<uint32_t>(status), nullptr);
}

}  // namespace tav::boot
