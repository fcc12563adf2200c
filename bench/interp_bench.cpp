// Interpreter: Tav programs evaluated by the interpreter (recursive calls, counting loops,
// nested loops with comparisons, calls with refinements, break and return in hot loops), each
// beside the same work in plain C++ and, when python3 is installed, in Python 3. An argument
// runs only the programs whose name holds it; TAV_BENCH_NO_PYTHON=1 leaves Python out.
#include <cstdio>
#include <cstring>
#include <functional>

#include "bench/bench_util.hpp"
#include "boot/startup.hpp"
#include "runtime/platform.hpp"

namespace {

using namespace tav;
using bench::best_of;
using bench::time_python;
using bench::time_tav;

const char* only = nullptr;

volatile long step = 1;
long (*volatile fib_pointer)(long);
long fib(long n) { return n < 2 ? n : fib_pointer(n - 1) + fib_pointer(n - 2); }
volatile long sink;

struct program {
  const char* name;
  double operations;
  const char* definitions;  // Tav, evaluated once
  const char* tav;
  std::function<void()> cpp;
  const char* python_setup;
  const char* python;
};

const program programs[] = {
    {"fib 30 (calls)", 2692537, "fib: func [n] [either n < 2 [n] [(fib n - 1) + fib n - 2]]", "fib 30",
     [] { sink = fib_pointer(30); }, "def fib(n):\n    return n if n < 2 else fib(n - 1) + fib(n - 2)", "fib(30)"},
    {"loop of 10M additions", 1e7, "", "n: 0 loop 10000000 [n: n + 1]",
     [] {
       long n = 0;
       for (long i = 0; i < 10000000; ++i) n = n + step;
       sink = n;
     },
     "", "n = 0\n    for _ in range(10000000): n = n + 1"},
    {"nested repeat with comparisons (passes)", 1e6, "",
     "c: 0 repeat i 1000 [repeat j 1000 [if i < j [c: c + 1]]]",
     [] {
       long c = 0;
       for (long i = 1; i <= 1000; ++i)
         for (long j = 1; j <= 1000; ++j)
           if (i < j * step) ++c;
       sink = c;
     },
     "", "c = 0\n    for i in range(1, 1001):\n        for j in range(1, 1001):\n            if i < j: c = c + 1"},
    {"calls, refinement off", 1e6, "f: func [a /plus b] [either plus [a + b] [a]]", "loop 1000000 [f 1]",
     [] {
       long sum = 0;
       for (long i = 0; i < 1000000; ++i) sum += step;
       sink = sum;
     },
     "def f(a, plus=False, b=None):\n    return a + b if plus else a", "for _ in range(1000000): f(1)"},
    {"calls, refinement on by path", 1e6, "f: func [a /plus b] [either plus [a + b] [a]]",
     "loop 1000000 [f/plus 1 2]",
     [] {
       long sum = 0;
       for (long i = 0; i < 1000000; ++i) sum += 1 + 2 * step;
       sink = sum;
     },
     "def f(a, plus=False, b=None):\n    return a + b if plus else a", "for _ in range(1000000): f(1, True, 2)"},
    {"return out of a loop in a call", 1e6, "g: func [n] [loop 100 [if n > 0 [return n]] 0]",
     "loop 1000000 [g 1]",
     [] {
       long sum = 0;
       for (long i = 0; i < 1000000; ++i)
         for (int k = 0; k < 100; ++k)
           if (step > 0) {
             sum += step;
             break;
           }
       sink = sum;
     },
     "def g(n):\n    for _ in range(100):\n        if n > 0: return n\n    return 0", "for _ in range(1000000): g(1)"},
    {"break out of an inner loop", 1e6, "", "loop 1000000 [loop 10 [break]]",
     [] {
       long sum = 0;
       for (long i = 0; i < 1000000; ++i)
         for (int k = 0; k < 10; ++k) {
           sum += step;
           break;
         }
       sink = sum;
     },
     "", "for _ in range(1000000):\n        for _ in range(10): break"},
};

int run(void*) {
  boot::init_runtime();
  source::define_core();
  fib_pointer = fib;
  std::printf("%-40s %12s %12s %12s %12s\n", "program (operations)", "Tav M/s", "C++ M/s", "Python M/s",
              "Tav/Python");
  for (const program& p : programs) {
    if (only && !std::strstr(p.name, only)) continue;
    if (*p.definitions) source::run_text(p.definitions);
    double tav = time_tav(p.tav);
    double cpp = best_of(p.cpp);
    double python = time_python(p.python_setup, p.python);
    std::printf("%-40s %12.2f %12.1f", p.name, p.operations / tav / 1e6, p.operations / cpp / 1e6);
    if (python > 0)
      std::printf(" %12.2f %11.2fx", p.operations / python / 1e6, python / tav);
    std::printf("\n");
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) only = argv[1];
  return platform::start_up(argc, argv, run, nullptr);
}
