// Maps and hashes: put and select of 1M integer keys and of 1M short string keys in a map!,
// and find of 100k values in a 100k hash! beside the same in a block!, each beside Python 3's
// dict (or list, for the block) doing the same work in the same run.
// An argument runs only the programs whose name holds it; TAV_BENCH_NO_PYTHON=1 leaves Python out.
#include <cstdio>
#include <cstring>

#include "bench/bench_util.hpp"
#include "boot/startup.hpp"
#include "runtime/platform.hpp"

namespace {

using namespace tav;

const char* only = nullptr;

struct program {
  const char* name;
  double operations;
  const char* definitions;  // Tav, evaluated once
  const char* tav;
  const char* python_setup;
  const char* python;
};

const program programs[] = {
    {"map put of 1M integer keys", 1e6, "", "m: make map! 1000000 repeat i 1000000 [put m i i]", "",
     "m = {}\n    for i in range(1, 1000001): m[i] = i"},
    {"map select of 1M integer keys", 1e6, "m: make map! 1000000 repeat i 1000000 [put m i i]",
     "repeat i 1000000 [select m i]", "m = {i: i for i in range(1, 1000001)}",
     "for i in range(1, 1000001): m.get(i)"},
    {"map put of 1M short string keys", 1e6,
     "keys: make block! 1000000 repeat i 1000000 [append keys append copy \"k\" i]",
     "m: make map! 1000000 foreach k keys [put m k 1]", "keys = [\"k\" + str(i) for i in range(1, 1000001)]",
     "m = {}\n    for k in keys: m[k] = 1"},
    {"map select of 1M short string keys", 1e6,
     "m: make map! 1000000 foreach k keys [put m k 1]", "foreach k keys [select m k]",
     "keys = [\"k\" + str(i) for i in range(1, 1000001)]\nm = {k: 1 for k in keys}", "for k in keys: m.get(k)"},
    {"hash! find of 100k values", 1e5, "h: make hash! 100000 repeat i 100000 [append h i]",
     "repeat i 100000 [find h i]", "h = {i: i - 1 for i in range(1, 100001)}",
     "for i in range(1, 100001): h.get(i)"},
    {"select of 1M keys in a 2-pair block", 1e6, "b: [1 2 3 4]", "repeat i 1000000 [select b 3]",
     "b = {1: 2, 3: 4}", "for i in range(1, 1000001): b.get(3)"},
    {"block! find of 10k values in 100k", 1e4, "b: make block! 100000 repeat i 100000 [append b i]",
     "repeat i 10000 [find b i * 10]", "b = list(range(1, 100001))",
     "for i in range(1, 10001): b.index(i * 10)"},
};

int run(void*) {
  boot::init_runtime();
  source::define_core();
  std::printf("%-36s %12s %12s %12s\n", "program (operations)", "Tav M/s", "Python M/s", "Tav/Python");
  for (const program& p : programs) {
    if (only && !std::strstr(p.name, only)) continue;
    source::run_text(p.definitions);
    const double tav = bench::time_tav(p.tav);
    const double python = bench::time_python(p.python_setup, p.python);
    std::printf("%-36s", p.name);
    bench::print_rate(p.operations, tav);
    bench::print_rate(p.operations, python);
    python > 0 ? std::printf(" %11.2fx", python / tav) : std::printf(" %12s", "-");
    std::printf("\n");
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) only = argv[1];
  return platform::start_up(argc, argv, run, nullptr);
}
