// Allocation throughput: small series (node and buffer), bare buffers and nodes, each beside
// malloc of the same sizes in the same run.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "runtime/memory.hpp"
#include "runtime/series.hpp"

namespace {

using namespace tav;
using clock_type = std::chrono::steady_clock;

constexpr size_t allocations = 1000000;
constexpr int rounds = 5;

std::vector<uintptr_t> kept(allocations);

// Best of `rounds` runs of `allocate` (which fills `kept`), in nanoseconds per allocation;
// `release` runs after each timed run.
template <class Allocate, class Release>
double best_of(Allocate allocate, Release release) {
  double best = 1e30;
  for (int r = 0; r < rounds; ++r) {
    auto start = clock_type::now();
    allocate();
    auto stop = clock_type::now();
    release();
    double ns = std::chrono::duration<double, std::nano>(stop - start).count() / allocations;
    if (ns < best) best = ns;
  }
  return best;
}

// Cold: frames go back to the system, so every run pays for fresh pages.
void release_frames() { memory::free_all(); }

// Warm: as after a collection that found everything dead, the frames stay and are reused.
void recycle_buffers() {
  for (series_frame* frame = memory::state.series_head; frame; frame = frame->next) frame->heap = frame->start();
  memory::state.series_current = memory::state.series_head;
}

void recycle_nodes() {
  for (uintptr_t node : kept) free_node(static_cast<node_id>(node));
}

void recycle_series() {
  recycle_buffers();
  recycle_nodes();
}

void release_malloc() {
  for (uintptr_t p : kept) std::free(reinterpret_cast<void*>(p));
}

double malloc_of(size_t bytes) {
  return best_of(
      [&] {
        for (size_t i = 0; i < allocations; ++i) kept[i] = reinterpret_cast<uintptr_t>(std::malloc(bytes));
      },
      release_malloc);
}

void report(const char* what, double ours, double baseline) {
  std::printf("%-34s %7.2f ns  %7.1f M/s   malloc %7.2f ns  %7.1f M/s   ratio %.2f\n", what, ours, 1e3 / ours,
              baseline, 1e3 / baseline, baseline / ours);
}

template <class Release>
void series_of(const char* what, uint32_t count, uint32_t unit, Release release) {
  double ours = best_of(
      [&] {
        for (size_t i = 0; i < allocations; ++i) kept[i] = alloc_series(count, unit, 0);
      },
      release);
  memory::free_all();
  report(what, ours, malloc_of(size_t{count} * unit));
}

template <class Release>
void buffers_of(const char* what, uint32_t count, uint32_t unit, Release release) {
  double ours = best_of(
      [&] {
        for (size_t i = 0; i < allocations; ++i)
          kept[i] = reinterpret_cast<uintptr_t>(alloc_series_buffer(count, unit, 0));
      },
      release);
  memory::free_all();
  report(what, ours, malloc_of(size_t{count} * unit));
}

template <class Release>
void nodes(const char* what, Release release) {
  double ours = best_of(
      [] {
        for (size_t i = 0; i < allocations; ++i) kept[i] = alloc_node();
      },
      release);
  memory::free_all();
  report(what, ours, malloc_of(sizeof(uintptr_t)));
}

}  // namespace

int main() {
  memory::init();
  std::printf("%zu allocations per run, best of %d runs\n", allocations, rounds);
  std::printf("\nwarm: frames reused between runs, as after a collection\n");
  series_of("series, 16 bytes (node + buffer)", 16, 1, recycle_series);
  series_of("series, 4 cells (node + buffer)", 4, 16, recycle_series);
  series_of("series, 256 bytes (node + buffer)", 256, 1, recycle_series);
  buffers_of("buffer only, 16 bytes", 16, 1, recycle_buffers);
  buffers_of("buffer only, 4 cells", 4, 16, recycle_buffers);
  nodes("node", recycle_nodes);

  std::printf("\ncold: fresh frames from the system in every run\n");
  series_of("series, 16 bytes (node + buffer)", 16, 1, release_frames);
  series_of("series, 4 cells (node + buffer)", 4, 16, release_frames);
  buffers_of("buffer only, 16 bytes", 16, 1, release_frames);
  nodes("node", release_frames);
  return 0;
}
