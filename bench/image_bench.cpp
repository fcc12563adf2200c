// Pixel access: poke of every pixel of a 1000x1000 image and foreach over it, beside a Python 3
// loop over a list of a million ints; `i/argb` of a 4000x3000 image beside Python's bytes() of
// the same size, a plain memcpy and a copy into newly taken memory. TAV_BENCH_NO_PYTHON=1 leaves Python out.
#include <cstdio>
#include <cstring>
#include <vector>

#include "bench/bench_util.hpp"
#include "boot/startup.hpp"
#include "runtime/platform.hpp"

namespace {

using namespace tav;

struct loop_program {
  const char* name;
  const char* tav;
  const char* python;
};

volatile uint8_t sink;

const char* python_setup = "b = list(range(1000000))";

const loop_program loops[] = {
    {"poke of 1M pixels", "repeat n 1000000 [poke i n c]", "for n in range(1000000): b[n] = 7"},
    {"foreach over 1M pixels", "foreach p i [q: p]", "for p in b: q = p"},
};

int run(void*) {
  boot::init_runtime();
  source::define_core();
  source::run_text("i: make image! 1000x1000 c: 1.2.3 big: make image! 4000x3000");
  std::printf("%-28s %12s %12s %10s\n", "program (1M operations)", "Tav M/s", "Python M/s", "Tav/Python");
  for (const loop_program& p : loops) {
    const double tav = bench::time_tav(p.tav);
    const double python = bench::time_python(python_setup, p.python);
    std::printf("%-28s", p.name);
    bench::print_rate(1e6, tav);
    bench::print_rate(1e6, python);
    python > 0 ? std::printf(" %9.2fx\n", python / tav) : std::printf(" %10s\n", "-");
  }

  constexpr size_t bytes = size_t{4000} * 3000 * 4;
  std::vector<uint8_t> from(bytes, 1), to(bytes);
  const double tav = bench::time_tav("x: big/argb");
  const double copy = bench::best_of([&] { std::memcpy(to.data(), from.data(), bytes); });
  // Into memory just taken from the system, as a new binary's is.
  const double fresh = bench::best_of([&] {
    std::vector<uint8_t> into(bytes);
    std::memcpy(into.data(), from.data(), bytes);
    sink = into[bytes / 2];
  });
  const double python = bench::time_python("n = 4000 * 3000 * 4\nsrc = bytearray(n)", "x = bytes(src)");
  std::printf("\n%-28s %12s %12s %12s %12s\n", "48 MB of pixels", "Tav MB/s", "memcpy MB/s", "new+copy MB/s",
              "Python MB/s");
  std::printf("%-28s %12.0f %12.0f %12.0f", "i/argb of 4000x3000", bench::mb_per_s(bytes, tav),
              bench::mb_per_s(bytes, copy), bench::mb_per_s(bytes, fresh));
  python > 0 ? std::printf(" %12.0f\n", bench::mb_per_s(bytes, python)) : std::printf(" %12s\n", "-");
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return platform::start_up(argc, argv, run, nullptr); }
