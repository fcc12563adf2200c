// Sorting throughput: the merge sort and the quicksort beside qsort, std::stable_sort and
// std::sort on the same data, for 32-bit keys and 16-byte records of several shapes.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "runtime/sorting.hpp"

namespace {

struct cell_like {
  uint32_t header, key, a, b;
};
static_assert(sizeof(cell_like) == 16);

long comparisons;

template <class T>
int compare_keys(const void* a, const void* b, intptr_t, intptr_t) {
  ++comparisons;
  uint32_t x, y;
  std::memcpy(&x, static_cast<const uint8_t*>(a) + (sizeof(T) == 16 ? 4 : 0), 4);
  std::memcpy(&y, static_cast<const uint8_t*>(b) + (sizeof(T) == 16 ? 4 : 0), 4);
  return (x > y) - (x < y);
}

template <class T>
int qsort_compare(const void* a, const void* b) {
  return compare_keys<T>(a, b, 0, 0);
}

uint32_t key_of(uint32_t v) { return v; }
uint32_t key_of(const cell_like& c) { return c.key; }
void set_key(uint32_t& v, uint32_t k) { v = k; }
void set_key(cell_like& c, uint32_t k) { c = {5, k, k * 3, 0}; }

template <class T>
std::vector<T> make_input(size_t n, int shape) {
  std::mt19937 rng(42);
  std::vector<T> data(n);
  for (size_t i = 0; i < n; ++i) {
    uint32_t k = 0;
    switch (shape) {
      case 0: k = static_cast<uint32_t>(rng()); break;
      case 1: k = static_cast<uint32_t>(i); break;
      case 2: k = static_cast<uint32_t>(n - i); break;
      case 3: k = static_cast<uint32_t>(rng() % 16); break;
      case 4: k = static_cast<uint32_t>(i + (rng() % 100 == 0 ? rng() % n : 0)); break;
    }
    set_key(data[i], k);
  }
  return data;
}

const char* shape_names[] = {"random", "sorted", "reversed", "16 keys", "nearly sorted"};

template <class Sort>
double time_ms(Sort&& sort) {
  auto start = std::chrono::steady_clock::now();
  sort();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

template <class T>
void check_sorted(const std::vector<T>& data, const char* who) {
  for (size_t i = 1; i < data.size(); ++i)
    if (key_of(data[i - 1]) > key_of(data[i])) {
      std::printf("  %s: NOT SORTED\n", who);
      std::exit(1);
    }
}

template <class T>
void run(const char* type_name, size_t n) {
  std::printf("%s, %zu records\n", type_name, n);
  std::printf("  %-14s %11s %11s %11s %11s %11s %11s\n", "shape", "merge ms", "stable ms", "quick ms", "std::sort",
              "qsort ms", "merge cmp/n");
  auto less = [](const T& a, const T& b) { return key_of(a) < key_of(b); };
  for (int shape = 0; shape < 5; ++shape) {
    const auto input = make_input<T>(n, shape);
    auto data = input;
    comparisons = 0;
    double merge = time_ms([&] { tav::sorting::merge_sort(data.data(), n, sizeof(T), 0, 0, compare_keys<T>); });
    check_sorted(data, "merge_sort");
    double merge_per = static_cast<double>(comparisons) / static_cast<double>(n);
    data = input;
    double stable = time_ms([&] { std::stable_sort(data.begin(), data.end(), less); });
    data = input;
    double quick = time_ms([&] { tav::sorting::quick_sort(data.data(), n, sizeof(T), 0, 0, compare_keys<T>); });
    check_sorted(data, "quick_sort");
    data = input;
    double std_sort = time_ms([&] { std::sort(data.begin(), data.end(), less); });
    data = input;
    double c_sort = time_ms([&] { std::qsort(data.data(), n, sizeof(T), qsort_compare<T>); });
    std::printf("  %-14s %11.2f %11.2f %11.2f %11.2f %11.2f %11.2f\n", shape_names[shape], merge, stable, quick,
                std_sort, c_sort, merge_per);
  }
}

}  // namespace

int main() {
  std::printf("Ours call the comparator through a pointer, as qsort does; the std:: sorts inline it.\n");
  run<uint32_t>("32-bit keys", 1000000);
  run<cell_like>("16-byte records", 1000000);
  return 0;
}
