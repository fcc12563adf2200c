// Iteration: foreach summing a block of 1M integers and reduce of a 100k block, each beside
// the same work in plain C++ and, when they are installed, in Python 3 and Lua 5.4.
// An argument runs only the programs whose name holds it; TAV_BENCH_NO_PYTHON=1 and
// TAV_BENCH_NO_LUA=1 leave those languages out.
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "bench/bench_util.hpp"
#include "boot/startup.hpp"
#include "runtime/platform.hpp"

namespace {

using namespace tav;

const char* only = nullptr;
volatile long sink;
std::vector<long> numbers;

struct program {
  const char* name;
  double operations;
  const char* definitions;  // Tav, evaluated once
  const char* tav;
  std::function<void()> cpp;
  const char* python_setup;
  const char* python;
  const char* lua_setup;
  const char* lua;
};

const program programs[] = {
    {"foreach summing 1M integers", 1e6, "b: make block! 1000000 repeat i 1000000 [append b i]",
     "s: 0 foreach x b [s: s + x]",
     [] {
       long s = 0;
       for (long x : numbers) s = s + x;
       sink = s;
     },
     "b = list(range(1, 1000001))", "s = 0\n    for x in b: s = s + x",
     "local b = {} for i = 1, 1000000 do b[i] = i end", "local s = 0 for _, x in ipairs(b) do s = s + x end"},
    {"reduce of a 100k block, 10 times", 1e6, "x: 1 c: make block! 100000 loop 100000 [append c 'x]",
     "loop 10 [reduce c]",
     [] {
       for (int k = 0; k < 10; ++k) {
         std::vector<long> r;
         r.reserve(100000);
         for (int i = 0; i < 100000; ++i) r.push_back(numbers[static_cast<size_t>(i)] > 0 ? 1 : 0);
         sink = static_cast<long>(r.size());
       }
     },
     "x = 1\nc = list(range(100000))", "for _ in range(10): r = [x for _ in c]",
     "x = 1 local c = {} for i = 1, 100000 do c[i] = i end",
     "for _ = 1, 10 do local r = {} for i = 1, #c do r[i] = x end end"},
};

int run(void*) {
  boot::init_runtime();
  source::define_core();
  numbers.resize(1000000);
  for (size_t i = 0; i < numbers.size(); ++i) numbers[i] = static_cast<long>(i + 1);
  std::printf("%-36s %12s %12s %12s %12s %12s %12s\n", "program (operations)", "Tav M/s", "C++ M/s", "Python M/s",
              "Lua M/s", "Tav/Python", "Tav/Lua");
  for (const program& p : programs) {
    if (only && !std::strstr(p.name, only)) continue;
    source::run_text(p.definitions);
    const double tav = bench::time_tav(p.tav);
    const double cpp = bench::best_of(p.cpp);
    const double python = bench::time_python(p.python_setup, p.python);
    const double lua = bench::time_lua(p.lua_setup, p.lua);
    std::printf("%-36s", p.name);
    bench::print_rate(p.operations, tav);
    bench::print_rate(p.operations, cpp);
    bench::print_rate(p.operations, python);
    bench::print_rate(p.operations, lua);
    python > 0 ? std::printf(" %11.2fx", python / tav) : std::printf(" %12s", "-");
    lua > 0 ? std::printf(" %11.2fx", lua / tav) : std::printf(" %12s", "-");
    std::printf("\n");
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) only = argv[1];
  return platform::start_up(argc, argv, run, nullptr);
}
