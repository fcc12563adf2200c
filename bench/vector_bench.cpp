// Vector arithmetic: `v + 1`, `v * 3` and `v + w` on 10M-element vectors of 8-bit and 32-bit
// integers and 64-bit floats, evaluated by the interpreter, beside a plain C++ loop over a
// std::vector and, when python3 is installed, Python 3's array module with a list
// comprehension, in millions of elements per second. `v + w` makes a new vector, and so does
// its C++ peer; the C++ loop into a vector made beforehand is printed below it.
// TAV_BENCH_NO_PYTHON=1 leaves Python out.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_util.hpp"
#include "boot/startup.hpp"
#include "runtime/platform.hpp"

namespace {

using namespace tav;
using bench::best_of;
using bench::time_python;
using bench::time_tav;

constexpr double elements = 1e7;
volatile int32_t step = 1;
volatile double sink;

struct element_kind {
  const char* name;
  const char* tav_spec;     // the make vector! spec
  const char* python_code;  // the array module's type code
  const char* python_one;   // one element
};

const element_kind kinds[] = {
    {"integer! 8", "[integer! 8 10000000]", "b", "0"},
    {"integer! 32", "[integer! 32 10000000]", "i", "0"},
    {"float! 64", "[float! 64 10000000]", "d", "0.0"},
};

struct operation {
  const char* name;
  const char* tav;
  const char* python;
};

// The Python results wrap as the vectors do, so that the array module takes them back.
const operation operations[] = {
    {"v + 1", "v + 1", "v = array(code, [wrap(x + 1) for x in v])"},
    {"v * 3", "v * 3", "v = array(code, [wrap(x * 3) for x in v])"},
    {"v + w", "v + w", "r = array(code, [wrap(x + y) for x, y in zip(v, w)])"},
};

template <class T>
double cpp_loop(int op) {
  std::vector<T> v(static_cast<size_t>(elements)), w(v.size()), r(v.size());
  return best_of([&] {
    // The pointers are locals: byte stores could otherwise alias the vectors' or the closure's
    // fields and keep the loops from being vectorised.
    T* pv = v.data();
    const T* pw = w.data();
    T* pr = r.data();
    size_t n = v.size();
    T s = static_cast<T>(step);
    switch (op) {
      case 0:
        for (size_t i = 0; i < n; ++i) pv[i] = static_cast<T>(pv[i] + s);
        break;
      case 1:
        for (size_t i = 0; i < n; ++i) pv[i] = static_cast<T>(pv[i] * static_cast<T>(3 * s));
        break;
      case 2:
        for (size_t i = 0; i < n; ++i) pr[i] = static_cast<T>(pv[i] + pw[i]);
        break;
      default: {
        // As `v + w` does: a new vector for the result.
        std::vector<T> made(n);
        T* pm = made.data();
        for (size_t i = 0; i < n; ++i) pm[i] = static_cast<T>(pv[i] + pw[i]);
        sink = static_cast<double>(pm[n / 2]);
        break;
      }
    }
  });
}

double cpp_time(size_t kind, int op) {
  switch (kind) {
    case 0: return cpp_loop<uint8_t>(op);
    case 1: return cpp_loop<uint32_t>(op);
    default: return cpp_loop<double>(op);
  }
}

std::string python_setup(const element_kind& kind) {
  std::string wrap = kind.python_code[0] == 'b'   ? "def wrap(x): return (x + 128) % 256 - 128"
                     : kind.python_code[0] == 'i' ? "def wrap(x): return (x + 2147483648) % 4294967296 - 2147483648"
                                                  : "def wrap(x): return x";
  return "from array import array\ncode = \"" + std::string(kind.python_code) + "\"\n" + wrap +
         "\nv = array(code, [" + kind.python_one + "]) * 10000000\nw = array(code, [" + kind.python_one +
         "]) * 10000000";
}

int run(void*) {
  boot::init_runtime();
  source::define_core();
  std::printf("%-22s %12s %12s %12s %10s\n", "10M elements", "Tav M/s", "C++ M/s", "Python M/s", "C++/Tav");
  for (size_t k = 0; k < std::size(kinds); ++k) {
    const element_kind& kind = kinds[k];
    std::string made = std::string("v: make vector! ") + kind.tav_spec + " w: make vector! " + kind.tav_spec;
    source::run_text(made.c_str());
    for (int op = 0; op < 3; ++op) {
      double tav = time_tav(operations[op].tav);
      // v + w makes a new vector: its C++ peer makes a new std::vector; the loop into a
      // vector made beforehand follows on a line of its own.
      double cpp = cpp_time(k, op == 2 ? 3 : op);
      double python = time_python(python_setup(kind).c_str(), operations[op].python);
      std::printf("%-10s %-11s %12.1f %12.1f", kind.name, operations[op].name, elements / tav / 1e6,
                  elements / cpp / 1e6);
      if (python > 0)
        std::printf(" %12.2f", elements / python / 1e6);
      else
        std::printf(" %12s", "-");
      std::printf(" %9.2fx\n", tav / cpp);
      if (op == 2) {
        double into = cpp_time(k, 2);
        std::printf("%-22s %12s %12.1f %12s %9.2fx\n", "  C++ into a made one", "", elements / into / 1e6, "",
                    tav / into);
      }
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return platform::start_up(argc, argv, run, nullptr); }
