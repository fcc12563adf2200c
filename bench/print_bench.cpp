// Output and comparison natives: print of a string, of a block reduced through the print buffer,
// and of nested prints, with standard output sent to /dev/null, beside C's snprintf and write
// doing one write per line; string comparisons beside strcasecmp and strcmp.
#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>

#include "bench_util.hpp"
#include "boot/startup.hpp"
#include "interpreter/interpreter.hpp"
#include "interpreter/stack.hpp"
#include "runtime/platform.hpp"
#include "tests/interpreter/tav_source.hpp"

namespace {

using namespace tav;

constexpr long count = 200000;

// Best of three runs, in seconds, with standard output going to /dev/null.
double best_of(const std::function<void()>& run) {
  std::fflush(stdout);
  int saved = ::dup(STDOUT_FILENO);
  int null = ::open("/dev/null", O_WRONLY);
  ::dup2(null, STDOUT_FILENO);
  double best = 1e30;
  for (int i = 0; i < 3; ++i) {
    auto start = bench::clock_type::now();
    run();
    best = std::min(best, bench::seconds_since(start));
  }
  ::dup2(saved, STDOUT_FILENO);
  ::close(null);
  ::close(saved);
  return best;
}

double time_tav(const char* text) { return bench::time_tav(text, best_of); }

void write_line(const char* text, size_t length) {
  if (::write(STDOUT_FILENO, text, length) < 0) return;
}

volatile int sink;
const char* volatile left = "hello world";
const char* volatile right = "hello World";

struct program {
  const char* name;
  const char* tav;
  std::function<void()> c;
};

const program programs[] = {
    {"print \"hello world\"", "loop 200000 [print \"hello world\"]",
     [] {
       for (long i = 0; i < count; ++i) write_line("hello world\n", 12);
     }},
    {"print [i \"x\" i * 2]", "repeat i 200000 [print [i \"x\" i * 2]]",
     [] {
       char line[64];
       for (long i = 1; i <= count; ++i)
         write_line(line, static_cast<size_t>(std::snprintf(line, sizeof line, "%ld x %ld\n", i, i * 2)));
     }},
    {"prin [1 (prin [2] 3)] (nested)", "loop 200000 [prin [1 (prin [2] 3)]]",
     [] {
       char line[64];
       for (long i = 0; i < count; ++i) {
         write_line(line, static_cast<size_t>(std::snprintf(line, sizeof line, "%d", 2)));
         write_line(line, static_cast<size_t>(std::snprintf(line, sizeof line, "%d %d", 1, 3)));
       }
     }},
    {"equal? on strings (caseless)", "loop 200000 [equal? s t]",
     [] {
       for (long i = 0; i < count; ++i) sink = sink + (strcasecmp(left, right) == 0);
     }},
    {"strict-equal? on strings", "loop 200000 [strict-equal? s t]",
     [] {
       for (long i = 0; i < count; ++i) sink = sink + (std::strcmp(left, right) == 0);
     }},
    {"same? on a string and itself", "loop 200000 [same? s s]",
     [] {
       for (long i = 0; i < count; ++i) sink = sink + (left == left);
     }},
};

int run(void*) {
  boot::init_runtime();
  source::define_core();
  source::run_text("s: \"hello world\" t: \"hello World\"");
  std::printf("%-34s %12s %12s %10s\n", "program (200,000 times)", "Tav k/s", "C k/s", "C/Tav");
  for (const program& p : programs) {
    double tav = time_tav(p.tav);
    double c = best_of(p.c);
    std::printf("%-34s %12.0f %12.0f %9.1fx\n", p.name, count / tav / 1e3, count / c / 1e3, tav / c);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return platform::start_up(argc, argv, run, nullptr); }
