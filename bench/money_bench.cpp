// Money: 1M additions, multiplications by an integer, divisions by an integer and `form`s of
// amounts, evaluated by the interpreter, beside Python 3's decimal module doing the same (with
// the result cut to five decimals, as money keeps it) in the same run, in millions per second.
// The empty loop of each side is printed too, for the share the loop itself takes.
// TAV_BENCH_NO_PYTHON=1 leaves Python out.
#include <cstdio>

#include "bench/bench_util.hpp"
#include "boot/startup.hpp"
#include "runtime/platform.hpp"

namespace {

using namespace tav;

const char* python_setup =
    "from decimal import Decimal, ROUND_DOWN, getcontext\n"
    "getcontext().prec = 28\n"
    "fifth = Decimal(\"0.00001\")\n"
    "a = Decimal(\"1234567.89123\")\n"
    "b = Decimal(\"0.00457\")\n"
    "n = Decimal(7)";

const bench::peer_operation operations[] = {
    {"empty loop", "repeat i 1000000 []", "for i in range(1000000): pass"},
    {"add", "repeat i 1000000 [a + b]", "for i in range(1000000): (a + b).quantize(fifth, ROUND_DOWN)"},
    {"multiply", "repeat i 1000000 [a * 7]", "for i in range(1000000): (a * n).quantize(fifth, ROUND_DOWN)"},
    {"divide", "repeat i 1000000 [a / 7]", "for i in range(1000000): (a / n).quantize(fifth, ROUND_DOWN)"},
    {"form", "repeat i 1000000 [form a]", "for i in range(1000000): \"${:,.2f}\".format(a)"},
};

int run(void*) {
  boot::init_runtime();
  source::define_core();
  source::run_text("a: $1234567.89123 b: $0.00457");
  bench::print_python_table(operations, python_setup);
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return platform::start_up(argc, argv, run, nullptr); }
