// Collector pacing: the pause of one cycle over the start-up heap alone; building 1M, 3M and
// 10M live strings in a Tav loop, and loading then evaluating a generated 16 MB source, each
// with its time, the collections it ran, the longest pause and the peak heap beside what stays
// live. An argument runs only the cases whose name holds it.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "bench/bench_util.hpp"
#include "boot/startup.hpp"
#include "runtime/collector.hpp"
#include "runtime/memory.hpp"
#include "runtime/memory_stats.hpp"
#include "runtime/platform.hpp"

namespace {

using namespace tav;
using bench::clock_type;
using bench::seconds_since;

const char* only = nullptr;

// Every collection the allocator asks for goes through here, so each pause is timed.
struct pause_record {
  uint32_t cycles;
  double longest;
  double total;
  size_t peak;
};
pause_record record;
void (*collect)() = nullptr;

void timed_collection() {
  record.peak = std::max(record.peak, memory::state.used);
  uint32_t before = collector::stats.series_cycles;
  auto start = clock_type::now();
  collect();
  double s = seconds_since(start);
  if (collector::stats.series_cycles == before) return;
  ++record.cycles;
  record.total += s;
  record.longest = std::max(record.longest, s);
}

void start_record() {
  collector::run();
  record = {0, 0, 0, memory::state.used};
}

void report(const char* name, double seconds, double bytes_in) {
  record.peak = std::max(record.peak, memory::state.used);
  size_t end_used = memory::state.used;
  collector::run();
  std::printf("%-28s %8.3f s %6u cycles %6.1f%% in collection  longest pause %8.2f ms  peak %7.1f MB  live %7.1f MB",
              name, seconds, record.cycles, seconds > 0 ? 100 * record.total / seconds : 0, record.longest * 1e3,
              record.peak / 1e6, memory::state.used / 1e6);
  if (bytes_in > 0) std::printf("  %6.1f MB/s", bytes_in / 1e6 / seconds);
  (void)end_used;
  std::printf("\n");
}

// After a case's data is dropped and one collection has run: the heap the frames hold beside
// the bytes in use, which should stay within twice the live data plus the small-heap floor.
void at_rest(const char* name) {
  collector::run();
  std::printf("%-28s heap %7.1f MB  in use %7.1f MB  after the data is dropped and one collection runs\n", name,
              memory::state.used / 1e6, memory_stats(0, 1) / 1e6);
}

// What every script pays per cycle before its own data: the standard library, the system
// object and the bound code that start-up leaves live.
void start_up_heap() {
  const char* name = "start-up heap";
  if (only && !std::strstr(name, only)) return;
  constexpr int rounds = 20;
  collector::run();  // settle: the first cycle also compacts what start-up left behind
  double best = 1e30;
  for (int r = 0; r < rounds; ++r) {
    auto start = clock_type::now();
    collector::run();
    best = std::min(best, seconds_since(start));
  }
  std::printf("%-28s pause %8.3f ms, best of %d cycles   heap %7.1f MB  in use %7.1f MB\n", name, best * 1e3, rounds,
              memory::state.used / 1e6, memory_stats(0, 1) / 1e6);
}

void live_strings(uint32_t count) {
  char name[64];
  std::snprintf(name, sizeof name, "%uM live strings", count / 1000000);
  if (only && !std::strstr(name, only)) return;
  std::string text = "b: copy [] loop " + std::to_string(count) + " [append b copy \"live string\"]";
  const cell code = source::load(text.c_str());
  start_record();
  auto start = clock_type::now();
  cell* base = stack::top;
  interpreter::do_block(code, false);
  stack::top = base;
  double s = seconds_since(start);
  report(name, s, 0);
  source::run_text("b: none");
  at_rest("  at rest");
}

// The statements bench/generate_source.sh writes, until 16 MB.
std::string generated_source() {
  std::string text;
  text.reserve(17u << 20);
  text += "f: func [a b] [a + b]\n";
  for (uint32_t i = 0; text.size() < (16u << 20); ++i) {
    std::string n = std::to_string(i), v = std::to_string(i % 1000);
    text += "v" + v + ": " + n + " * 2 + " + std::to_string(i % 7) + "\n";
    text += "b: [" + n + " \"s" + n + "\" " + n + ".5]\n";
    text += "r: f v" + v + " " + n + "\n";
  }
  return text;
}

[[gnu::noinline]] void load_source() {
  if (only && !std::strstr("16 MB source", only)) return;
  std::string text = generated_source();
  start_record();
  auto start = clock_type::now();
  const cell code = source::load(text.c_str());
  double loaded = seconds_since(start);
  cell* base = stack::top;
  interpreter::do_block(code, false);
  stack::top = base;
  double s = seconds_since(start);
  std::printf("(load %.3f s, evaluation %.3f s)\n", loaded, s - loaded);
  report("load and do 16 MB source", s, double(text.size()));
}

int run(void*) {
  boot::init_runtime();
  source::define_core();
  collect = memory::collect_hook;
  memory::collect_hook = timed_collection;
  start_up_heap();
  for (uint32_t count : {1000000u, 3000000u, 10000000u}) live_strings(count);
  if (!only || std::strstr("16 MB source", only)) {
    load_source();
    source::run_text("b: none r: none");
    at_rest("  at rest");
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) only = argv[1];
  return platform::start_up(argc, argv, run, nullptr);
}
