// Small helpers the benchmarks share: timing, reproducible sample data, and the same work timed
// in Tav source and in other languages' interpreters.
#pragma once
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "interpreter/interpreter.hpp"
#include "interpreter/stack.hpp"
#include "tests/interpreter/tav_source.hpp"

namespace tav::bench {

using clock_type = std::chrono::steady_clock;

inline double seconds_since(clock_type::time_point start) {
  return std::chrono::duration<double>(clock_type::now() - start).count();
}

inline double mb_per_s(size_t bytes, double seconds) { return double(bytes) / (1 << 20) / seconds; }

// Millions of operations per second in a 13-column field, "-" for a time not taken.
inline void print_rate(double operations, double seconds) {
  if (seconds > 0)
    std::printf(" %12.2f", operations / seconds / 1e6);
  else
    std::printf(" %12s", "-");
}

// Bytes from a fixed xorshift sequence, the same on every run.
inline std::vector<uint8_t> random_sample(size_t n) {
  std::vector<uint8_t> out(n);
  uint64_t x = 0x9E3779B97F4A7C15ull;
  for (auto& b : out) {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    b = uint8_t(x >> 24);
  }
  return out;
}

// Best of three runs, in seconds.
inline double best_of(const std::function<void()>& run) {
  double best = 1e30;
  for (int i = 0; i < 3; ++i) {
    auto start = clock_type::now();
    run();
    best = std::min(best, seconds_since(start));
  }
  return best;
}

// Evaluates Tav text and answers its value.
inline cell evaluate(const char* text) {
  const cell code = source::load(text);
  cell* base = stack::top;
  interpreter::do_block(code, false);
  const cell result = *stack::last_pushed();
  stack::top = base;
  return result;
}

// Tav source evaluated by the interpreter, timed by `timer` (best of three runs).
inline double time_tav(const char* text, double (*timer)(const std::function<void()>&) = best_of) {
  const cell code = source::load(text);
  return timer([&] {
    cell* base = stack::top;
    interpreter::do_block(code, false);
    stack::top = base;
  });
}

// A program of another language that prints its best time of three runs in seconds; negative
// when the interpreter is missing or the program fails. Programs are passed in single quotes.
inline double time_command(const std::string& command) {
  FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
  if (!pipe) return -1;
  double seconds = -1;
  if (std::fscanf(pipe, "%lf", &seconds) != 1) seconds = -1;
  pclose(pipe);
  return seconds;
}

inline bool skipped_p(const char* variable) {
  const char* skip = std::getenv(variable);
  return skip && *skip == '1';
}

// Python 3: `setup` at top level, `statement` inside the timing loop (indented by four spaces
// on its further lines). TAV_BENCH_NO_PYTHON=1 leaves it out.
inline double time_python(const char* setup, const char* statement) {
  if (skipped_p("TAV_BENCH_NO_PYTHON")) return -1;
  std::string program = std::string("import time\n") + setup +
                        "\nbest = 1e30\nfor _ in range(3):\n    t = time.perf_counter()\n    " + statement +
                        "\n    best = min(best, time.perf_counter() - t)\nprint(best)\n";
  return time_command("python3 -c '" + program + "'");
}

// Lua 5.4: `setup` as a chunk, `statement` inside the timing loop. TAV_BENCH_NO_LUA=1 leaves it
// out.
inline double time_lua(const char* setup, const char* statement) {
  if (skipped_p("TAV_BENCH_NO_LUA")) return -1;
  std::string program = std::string(setup) +
                        "\nlocal best = 1e30\nfor _ = 1, 3 do\n  local t = os.clock()\n  " + statement +
                        "\n  best = math.min(best, os.clock() - t)\nend\nprint(best)\n";
  return time_command("lua5.4 -e '" + program + "'");
}

// One operation timed in Tav and in Python 3, a million times each.
struct peer_operation {
  const char* name;
  const char* tav;
  const char* python;
};

// Millions per second of each operation in Tav and in Python, with their ratio.
template <size_t N>
void print_python_table(const peer_operation (&operations)[N], const char* python_setup) {
  constexpr double count = 1e6;
  std::printf("%-20s %12s %12s %10s\n", "1M operations", "Tav M/s", "Python M/s", "Tav/Python");
  for (const peer_operation& op : operations) {
    const double tav = time_tav(op.tav);
    const double python = time_python(python_setup, op.python);
    std::printf("%-20s %12.2f", op.name, count / tav / 1e6);
    if (python > 0)
      std::printf(" %12.2f %9.2fx\n", count / python / 1e6, python / tav);
    else
      std::printf(" %12s\n", "-");
  }
}

}  // namespace tav::bench
