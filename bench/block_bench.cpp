// Blocks: appending 1M integers, find in a 100k block, sorting 1M integers and molding a
// nested 1 MB block, each beside the same work done on a plain C array (realloc growth, a
// linear scan, qsort, snprintf).
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "boot/startup.hpp"
#include "datatypes/actions.hpp"
#include "datatypes/block.hpp"
#include "datatypes/text_output.hpp"
#include "datatypes/values.hpp"
#include "interpreter/stack.hpp"
#include "runtime/collector.hpp"
#include "runtime/platform.hpp"
#include "runtime/series.hpp"

namespace {

using namespace tav;
using clock_type = std::chrono::steady_clock;

constexpr int rounds = 5;

template <class Body>
double best_seconds(Body body) {
  double best = 1e30;
  for (int r = 0; r < rounds; ++r) {
    auto start = clock_type::now();
    body();
    double s = std::chrono::duration<double>(clock_type::now() - start).count();
    if (s < best) best = s;
  }
  return best;
}

int compare_payloads(const void* a, const void* b) {
  int32_t x = static_cast<const cell*>(a)->payload2, y = static_cast<const cell*>(b)->payload2;
  return (x > y) - (x < y);
}

void append_bench() {
  constexpr int32_t n = 1000000;
  cell block{};
  collector::scoped_root keep(&block);
  double via_action = best_seconds([&] {
    block::make_at(block, 1);
    for (int32_t i = 0; i < n; ++i) {
      cell value = scalar::integer(i);
      actions::append(&block, &value, -1, false, 1, true);
    }
  });
  double via_api = best_seconds([&] {
    block::make_at(block, 1);
    for (int32_t i = 0; i < n; ++i) block::append_cell(block, scalar::integer(i));
  });
  double via_realloc = best_seconds([&] {
    size_t capacity = 1, used = 0;
    auto* cells = static_cast<cell*>(std::malloc(sizeof(cell)));
    for (int32_t i = 0; i < n; ++i) {
      if (used == capacity) cells = static_cast<cell*>(std::realloc(cells, (capacity *= 2) * sizeof(cell)));
      cells[used++] = scalar::integer(i);
    }
    if (cells[n / 2].payload2 != static_cast<uint32_t>(n / 2)) std::puts("?");
    std::free(cells);
  });
  std::printf("append 1M integers:   append action %7.1f ms   append-cell %7.1f ms   realloc array %7.1f ms\n",
              via_action * 1e3, via_api * 1e3, via_realloc * 1e3);
}

void find_bench() {
  constexpr int32_t n = 100000, searches = 200;
  cell block{};
  collector::scoped_root keep(&block);
  block::make_at(block, n);
  for (int32_t i = 0; i < n; ++i) block::append_cell(block, scalar::integer(i));
  cell wanted = scalar::integer(n - 1);
  long hits = 0;
  double via_find = best_seconds([&] {
    for (int32_t s = 0; s < searches; ++s) {
      cell series = block;
      cell* found = actions::find(&series, &wanted, nullptr, false, false, false, false, nullptr, nullptr, false,
                                  false, false, false);
      hits += found->type() != TYPE_NONE;
    }
  });
  const cell* cells = buffer_of(block.payload2)->cells();
  double via_scan = best_seconds([&] {
    for (int32_t s = 0; s < searches; ++s) {
      for (int32_t i = 0; i < n; ++i) {
        if (cells[i].header == wanted.header && cells[i].payload2 == wanted.payload2) {
          hits += 1;
          break;
        }
      }
    }
  });
  if (hits == 0) std::puts("?");
  double per = static_cast<double>(n) * searches;
  std::printf("find in 100k block:   find action %7.1f M cells/s      C scan %7.1f M cells/s\n",
              per / via_find / 1e6, per / via_scan / 1e6);
}

void sort_bench() {
  constexpr int32_t n = 1000000;
  std::mt19937 rng(7);
  auto* input = static_cast<cell*>(std::malloc(n * sizeof(cell)));
  for (int32_t i = 0; i < n; ++i) input[i] = scalar::integer(static_cast<int32_t>(rng() % 100000000));
  cell block{};
  collector::scoped_root keep(&block);
  block::make_at(block, n);
  auto fill = [&] {
    block::set_tail_at(block, n);
    std::memcpy(buffer_of(block.payload2)->cells(), input, n * sizeof(cell));
  };
  auto timed_sort = [&](bool stable) {
    double best = 1e30;
    for (int r = 0; r < rounds; ++r) {
      fill();
      auto start = clock_type::now();
      actions::sort(&block, false, nullptr, nullptr, nullptr, false, false, stable);
      best = std::min(best, std::chrono::duration<double>(clock_type::now() - start).count());
    }
    const cell* cells = buffer_of(block.payload2)->cells();
    for (int32_t i = 1; i < n; ++i)
      if (cells[i - 1].payload2 > cells[i].payload2) std::puts("unsorted!");
    return best;
  };
  double quick = timed_sort(false), stable = timed_sort(true);
  auto* copy = static_cast<cell*>(std::malloc(n * sizeof(cell)));
  double best_qsort = 1e30;
  for (int r = 0; r < rounds; ++r) {
    std::memcpy(copy, input, n * sizeof(cell));
    auto start = clock_type::now();
    std::qsort(copy, n, sizeof(cell), compare_payloads);
    best_qsort = std::min(best_qsort, std::chrono::duration<double>(clock_type::now() - start).count());
  }
  std::free(copy);
  std::free(input);
  std::printf("sort 1M integers:     sort %7.1f ms   sort/stable %7.1f ms   qsort %7.1f ms\n", quick * 1e3,
              stable * 1e3, best_qsort * 1e3);
}

void mold_bench() {
  // 1 MB of cells: 1024 blocks of 63 integers and the 1024 block cells around them.
  constexpr int32_t outer = 1024, inner = 63;
  cell block{};
  collector::scoped_root keep(&block);
  block::make_at(block, outer);
  for (int32_t i = 0; i < outer; ++i) {
    cell nested;
    block::make_at(nested, inner);
    for (int32_t j = 0; j < inner; ++j) block::append_cell(nested, scalar::integer(i * inner + j));
    if (i % 8 == 0) nested.header |= cell_flag::new_line;
    block::append_cell(block, nested);
  }
  size_t text_length = 0;
  double via_mold = best_seconds([&] {
    stack::arguments = stack::top = stack::bottom;
    cell* output = stack::push_cell();
    text::make_at(*output, 16);
    block::mold(&block, output, false, false, false, nullptr, INT32_MAX, 0);
    text_length = text::length(*output);
  });
  auto* text = static_cast<char*>(std::malloc(text_length + 64));
  double via_snprintf = best_seconds([&] {
    size_t at = 0;
    text[at++] = '[';
    for (int32_t i = 0; i < outer; ++i) {
      if (i) text[at++] = ' ';
      text[at++] = '[';
      for (int32_t j = 0; j < inner; ++j)
        at += static_cast<size_t>(std::snprintf(text + at, 16, j ? " %d" : "%d", i * inner + j));
      text[at++] = ']';
    }
    text[at++] = ']';
  });
  std::free(text);
  std::printf("mold nested 1 MB:     mold %7.1f ms (%.1f MB of text)   snprintf %7.1f ms\n", via_mold * 1e3,
              static_cast<double>(text_length) / 1e6, via_snprintf * 1e3);
}

int run(void*) {
  boot::init_runtime();
  append_bench();
  find_bench();
  sort_bench();
  mold_bench();
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return platform::start_up(argc, argv, run, nullptr); }
