// Collector: the pause of one collection over live heaps of 10k, 100k and 1M small series,
// beside a memcpy of the same live bytes; and allocation throughput with the collector
// running, beside malloc and free of the same sizes.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "runtime/collector.hpp"
#include "runtime/externals.hpp"
#include "runtime/memory.hpp"
#include "runtime/platform.hpp"
#include "runtime/series.hpp"
#include "bench/bench_util.hpp"

namespace {

using tav::bench::clock_type;
using tav::bench::seconds_since;


using namespace tav;

constexpr int rounds = 5;
constexpr uint32_t string_type = 7;
constexpr uint32_t block_type = 5;
constexpr uint32_t none_header = 3;

cell root{none_header, 0, 0, 0};

// A block of `count` string cells, each with a series of 16 bytes of its own.
void build_live_heap(uint32_t count) {
  node_id block = alloc_cells(count);
  for (uint32_t i = 0; i < count; ++i) {
    node_id text = alloc_bytes(16);
    *alloc_tail(buffer_of(block)) = {string_type, 0, text, 0};
  }
  root = {block_type, 0, block, 0};
}

uint64_t live_bytes() {
  uint64_t bytes = 0;
  for (series_frame* frame = memory::state.series_head; frame; frame = frame->next)
    bytes += static_cast<uint64_t>(frame->heap - frame->start());
  for (big_frame* frame = memory::state.big_head; frame; frame = frame->next) bytes += frame->size;
  return bytes;
}

double memcpy_of(uint64_t bytes) {
  std::vector<char> from(bytes, 1), to(bytes);
  double best = 1e30;
  for (int r = 0; r < rounds; ++r) {
    auto start = clock_type::now();
    std::memcpy(to.data(), from.data(), bytes);
    double s = seconds_since(start);
    if (s < best) best = s;
  }
  if (to[bytes / 2] != 1) std::puts("?");
  return best;
}

void pause_for(uint32_t count) {
  build_live_heap(count);
  collector::run();  // settle: the first cycle also compacts what building left behind
  double best = 1e30;
  for (int r = 0; r < rounds; ++r) {
    auto start = clock_type::now();
    collector::run();
    double s = seconds_since(start);
    if (s < best) best = s;
  }
  uint64_t bytes = live_bytes();
  double copy = memcpy_of(bytes);
  std::printf("live %8u series  %6.1f MB   pause %8.3f ms  %6.1f ns/series   memcpy of the live bytes %7.3f ms\n",
              count, bytes / 1e6, best * 1e3, best * 1e9 / count, copy * 1e3);
  root = {none_header, 0, 0, 0};
  collector::run();
}

// Allocation with the collector reclaiming as frames fill: everything but `live` series dies.
void throughput(const char* what, uint32_t live, uint32_t bytes) {
  constexpr uint32_t allocations = 10000000;
  if (live) build_live_heap(live);
  uint32_t cycles = collector::stats.series_cycles;
  auto start = clock_type::now();
  for (uint32_t i = 0; i < allocations; ++i) alloc_bytes(bytes);
  double ours = seconds_since(start) * 1e9 / allocations;
  cycles = collector::stats.series_cycles - cycles;
  root = {none_header, 0, 0, 0};
  collector::run();

  std::vector<void*> ring(1024, nullptr);
  start = clock_type::now();
  for (uint32_t i = 0; i < allocations; ++i) {
    void*& slot = ring[i & 1023];
    std::free(slot);
    slot = std::malloc(bytes);
  }
  double baseline = seconds_since(start) * 1e9 / allocations;
  for (void* p : ring) std::free(p);
  std::printf("%-40s %6.2f ns/allocation  %6u cycles   malloc+free %6.2f ns   ratio %.2f\n", what, ours, cycles,
              baseline, baseline / ours);
}

int run(void*) {
  memory::init();
  externals::init();
  collector::init();
  collector::set_active(true);
  collector::add_root(&root);

  std::printf("collection pause, best of %d cycles\n", rounds);
  for (uint32_t count : {10000u, 100000u, 1000000u}) pause_for(count);

  std::printf("\nallocation throughput with the collector on, 10M allocations\n");
  throughput("16-byte series, all garbage", 0, 16);
  throughput("16-byte series, 100k live beside", 100000, 16);
  throughput("256-byte series, all garbage", 0, 256);
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return platform::start_up(argc, argv, run, nullptr); }
