// Console engine: the C++ side of console/engine.tav. The lexer leaves words unbound; what the
// console loads (the script, a command) runs in the global context, which gains the words it
// lacks, as `do` of a text does.
#include "console/engine.hpp"

#include <iterator>

#include "boot/definitions.hpp"
#include "boot/global_load.hpp"
#include "boot/vocabulary.hpp"
#include "datatypes/values.hpp"
#include "runtime/collector.hpp"

namespace tav::terminal::engine {
namespace {

// The block comes back as the routine's value.
routine::answer bind_global(cell* arguments) {
  boot::bind_global(arguments[0]);
  return {0, 0};
}

constexpr boot::builtin builtins[] = {
    {"_bind-global", bind_global, nullptr},
};

constexpr char routines[] = R"(
_bind-global: routine ["Internal Use Only" block [block!] return: [block!]]
    [bind the words of the block in the global context which gains those it lacks] _bind-global
)";

cell routines_block{TYPE_NONE, 0, 0, 0};

}  // namespace

void define() {
  routines_block = boot::load_global(reinterpret_cast<const uint8_t*>(routines), sizeof routines - 1);
  boot::define_phase(routines_block);
  routines_block = none::value;
  boot::run_system_source(boot::source_block("engine"));
}

void install() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  collector::add_root(&routines_block);
  boot::add_builtins(builtins, std::size(builtins));
}

}  // namespace tav::terminal::engine
