// Hash-table throughput: inserts and lookups per second for integer keys, hash! blocks, symbol
// interning and pointer maps, each beside std::unordered_map doing the same work in the same run.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "runtime/hashtable.hpp"
#include "runtime/memory.hpp"
#include "runtime/pointer_map.hpp"
#include "runtime/random.hpp"
#include "runtime/series.hpp"

namespace {

using namespace tav;
namespace ht = hashtable;
using clock_type = std::chrono::steady_clock;

constexpr int rounds = 5;
// Each figure is taken for a table that stays in the caches and for one that does not.
uint32_t key_count = 0;
uint32_t name_count = 0;

volatile uint64_t sink;  // keeps lookups from being optimised away

uint32_t key_at(uint32_t i) { return i * 2654435761u; }

// Lookups visit the keys in a shuffled order, not in the order they were stored: a map that
// keeps its entries in insertion order would otherwise walk its memory sequentially.
std::vector<uint32_t> lookup_order(uint32_t count) {
  std::vector<uint32_t> order(count);
  for (uint32_t i = 0; i < count; ++i) order[i] = i;
  std::shuffle(order.begin(), order.end(), std::mt19937(12345));
  return order;
}
std::vector<uint32_t> key_order;
std::vector<uint32_t> name_order;

// Millions of operations per second for `count` operations, best of `rounds`; `setup` runs
// untimed before each round.
template <class Setup, class Body>
double best_rate(uint32_t count, Setup setup, Body body) {
  double best = 0;
  for (int r = 0; r < rounds; ++r) {
    setup();
    auto start = clock_type::now();
    body();
    double seconds = std::chrono::duration<double>(clock_type::now() - start).count();
    best = std::max(best, count / seconds / 1e6);
  }
  return best;
}

void report(const char* what, double ours, double theirs) {
  std::printf("%-34s %8.1f M/s   unordered_map %8.1f M/s   ratio %.2f\n", what, ours, theirs, ours / theirs);
}

void integer_keys() {
  node_id table = 0;
  auto fresh = [&] {
    memory::free_all();
    table = ht::create(0, 0, ht::integer_kind, 1);
  };
  double insert = best_rate(key_count, fresh, [&] {
    for (uint32_t i = 0; i < key_count; ++i) ht::put_key(table, key_at(i))->payload2 = i;
  });
  double lookup = best_rate(key_count, [] {}, [&] {
    uint64_t sum = 0;
    for (uint32_t i : key_order) sum += ht::get_key(table, key_at(i))->payload2;
    sink = sum;
  });

  std::unordered_map<uint32_t, cell> map;
  double std_insert = best_rate(key_count, [&] { map = {}; }, [&] {
    for (uint32_t i = 0; i < key_count; ++i) map[key_at(i)].payload2 = i;
  });
  double std_lookup = best_rate(key_count, [] {}, [&] {
    uint64_t sum = 0;
    for (uint32_t i : key_order) sum += map.find(key_at(i))->second.payload2;
    sink = sum;
  });
  report("integer keys: insert", insert, std_insert);
  report("integer keys: lookup", lookup, std_lookup);
}

void hash_block() {
  node_id block = 0, table = 0;
  auto fresh = [&] {
    memory::free_all();
    block = alloc_cells(key_count);
    series_buffer* buffer = buffer_of(block);
    auto* cells = reinterpret_cast<cell*>(buffer->data());
    for (uint32_t i = 0; i < key_count; ++i) cells[i] = cell{11, 0, key_at(i), 0};
    buffer->tail = key_count * sizeof(cell);
  };
  // Making a hash! indexes every cell of its block.
  double insert = best_rate(key_count, fresh, [&] { table = ht::create(key_count, block, ht::hash_kind); });
  double lookup = best_rate(key_count, [] {}, [&] {
    uint64_t found = 0;
    for (uint32_t i : key_order) found += ht::find(table, cell{11, 0, key_at(i), 0}) != nullptr;
    sink = found;
  });

  std::unordered_multimap<uint32_t, uint32_t> map;
  double std_insert = best_rate(key_count, [&] { map = {}; }, [&] {
    for (uint32_t i = 0; i < key_count; ++i) map.emplace(key_at(i), i);
  });
  double std_lookup = best_rate(key_count, [] {}, [&] {
    uint64_t found = 0;
    for (uint32_t i : key_order) found += map.find(key_at(i)) != map.end();
    sink = found;
  });
  report("hash! of integers: insert", insert, std_insert);
  report("hash! of integers: lookup", lookup, std_lookup);
}

void symbols() {
  std::vector<std::string> names;
  for (uint32_t i = 0; i < name_count; ++i) names.push_back("word-" + std::to_string(key_at(i)));
  node_id table = 0;
  auto fresh = [&] {
    memory::free_all();
    table = ht::create(4000, alloc_cells(4000), ht::symbol_kind);
  };
  auto intern_all = [&] {
    uint64_t sum = 0;
    for (const std::string& name : names)
      sum += ht::intern_string(table, reinterpret_cast<const uint8_t*>(name.data()), uint32_t(name.size()), false);
    sink = sum;
  };
  double insert = best_rate(name_count, fresh, intern_all);
  double lookup = best_rate(name_count, [] {}, [&] {
    uint64_t sum = 0;
    for (uint32_t i : name_order) {
      const std::string& name = names[i];
      sum += ht::intern_string(table, reinterpret_cast<const uint8_t*>(name.data()), uint32_t(name.size()), false);
    }
    sink = sum;
  });

  std::unordered_map<std::string_view, int32_t> map;
  double std_insert = best_rate(name_count, [&] { map = {}; }, [&] {
    for (const std::string& name : names) map.emplace(name, int32_t(map.size() + 1));
  });
  double std_lookup = best_rate(name_count, [] {}, [&] {
    uint64_t sum = 0;
    for (uint32_t i : name_order) sum += map.find(names[i])->second;
    sink = sum;
  });
  report("symbols: intern new", insert, std_insert);
  report("symbols: intern existing", lookup, std_lookup);
}

void pointer_maps_() {
  pointer_map* map = nullptr;
  double insert = best_rate(key_count, [&] {
    pointer_maps::destroy(map);
    map = pointer_maps::create(0);
  }, [&] {
    for (uint32_t i = 0; i < key_count; ++i) pointer_maps::put(map, key_at(i), i);
  });
  double lookup = best_rate(key_count, [] {}, [&] {
    uint64_t sum = 0;
    for (uint32_t i : key_order) sum += *pointer_maps::get(map, key_at(i));
    sink = sum;
  });
  pointer_maps::destroy(map);

  std::unordered_map<uint32_t, uint32_t> std_map;
  double std_insert = best_rate(key_count, [&] { std_map = {}; }, [&] {
    for (uint32_t i = 0; i < key_count; ++i) std_map[key_at(i)] = i;
  });
  double std_lookup = best_rate(key_count, [] {}, [&] {
    uint64_t sum = 0;
    for (uint32_t i : key_order) sum += std_map.find(key_at(i))->second;
    sink = sum;
  });
  report("pointer map: insert", insert, std_insert);
  report("pointer map: lookup", lookup, std_lookup);
}

}  // namespace

int main() {
  rng::init();
  memory::init();
  for (uint32_t count : {10000u, 1000000u}) {
    key_count = count;
    name_count = count / 5;
    key_order = lookup_order(key_count);
    name_order = lookup_order(name_count);
    std::printf("\n%u integer keys, %u symbol names; best of %d runs, lookups in shuffled order\n", key_count,
                name_count, rounds);
    integer_keys();
    hash_block();
    symbols();
    pointer_maps_();
  }
  memory::free_all();
  return 0;
}
