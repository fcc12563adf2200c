// Start-up sequence of the tav program: the runtime, the vocabulary, the hand-over to the
// console, the exit.
#include "boot/startup.hpp"

#include <cstdio>

#include "boot/system_object.hpp"
#include "boot/vocabulary.hpp"
#include "datatypes/actions.hpp"
#include "datatypes/context.hpp"
#include "datatypes/ownership.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/runtime_words.hpp"
#include "datatypes/slot_table.hpp"
#include "datatypes/symbol.hpp"
#include "interpreter/interpreter.hpp"
#include "interpreter/library_calls.hpp"
#include "interpreter/lexer.hpp"
#include "interpreter/natives.hpp"
#include "interpreter/parse.hpp"
#include "interpreter/stack.hpp"
#include "io/simple_io.hpp"
#include "runtime/collector.hpp"
#include "runtime/console_out.hpp"
#include "runtime/errors.hpp"
#include "runtime/externals.hpp"
#include "runtime/hashtable.hpp"
#include "runtime/heap.hpp"
#include "runtime/memory.hpp"
#include "runtime/output_hooks.hpp"
#include "runtime/platform.hpp"
#include "runtime/random.hpp"
#include "runtime/throw.hpp"

namespace tav::boot {
namespace {

// The console takes over once every definition is made; the program ends when it returns.
int run(void*) {
  {
    memory::startup_stress_hold held;
    init_runtime();
    define_vocabulary();
  }
  cell* saved = stack::top;
  interpreter::library::call(interpreter::library::entry::launch, nullptr, 0);
  stack::top = saved;
  return 0;
}

// Every tracked heap block is freed and the output flushed on the way out.
[[noreturn]] void finish(int status) {
  platform::restore_terminal();
  console_out::flush();
  if (status == 0) runtime_error(0, nullptr);
  std::fflush(stdout);
  std::fflush(stderr);
  heap_free_all();
  platform::end_process(status);
}

}  // namespace

void init_runtime() {
  console_out::init_attributes();
  output_hooks::init();
  platform::init();
  rng::init();  // fixes the string-hash seed before the first table exists
  memory::init();
  externals::init();
  collector::init();
  hashtable::init();
  datatype::register_all();
  actions::init();
  stack::init();
  symbol::init_table();
  context::init_global();
  datatype::make_words();
  context::collecting_at_start = true;
  init_runtime_words();
  init_refinement_values();
  init_ooo_marker();
  system_object::init();
  context::collecting_at_start = false;
  ownership::init();
  natives::init();
  simple_io::init();
  parser::init();
  lexer::init();
  interpreter::init();
  slot_table::init();
  // The arguments of the last raised error stay reachable until the catcher has read them.
  collector::add_root_range(last_fired.args, 3);
  collector::add_root(&last_fired.near);
  collector::add_root(&last_fired.where);
  collector::add_root(&last_fired.stack);
  collector::add_root(&last_fired.value);
  // Switched on last, once every root of the start-up is in place.
  collector::set_active(true);
}

int main(int argc, char** argv) {
  finish(platform::start_up(argc, argv, run, nullptr));
}

}  // namespace tav::boot
