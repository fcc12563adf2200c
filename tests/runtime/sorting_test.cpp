// Sorting: both sorts against the standard library over sizes, record sizes and input
// shapes; stability, run detection, comparator arguments, errors, and sorts abandoned by
// a throwing comparator.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "runtime/errors.hpp"
#include "runtime/heap.hpp"
#include "runtime/sorting.hpp"
#include "runtime/throw.hpp"

namespace tav {
namespace {

using sort_function = void (*)(void*, size_t, size_t, intptr_t, intptr_t, sort_comparator);

// Records compare by their first `key` bytes, big-endian; arg2 is 1 or -1 for the direction.
long comparisons = 0;
int by_key(const void* a, const void* b, intptr_t key, intptr_t direction) {
  ++comparisons;
  int c = std::memcmp(a, b, static_cast<size_t>(key));
  return c < 0 ? -static_cast<int>(direction) : c > 0 ? static_cast<int>(direction) : 0;
}

size_t key_bytes(size_t s) { return s == 1 ? 1 : std::min<size_t>(4, s - 1); }

enum class shape { random, few, sorted, reversed, equal, sawtooth, organ, nearly_sorted, nearly_reversed };
const shape all_shapes[] = {shape::random,   shape::few,   shape::sorted,        shape::reversed,       shape::equal,
                            shape::sawtooth, shape::organ, shape::nearly_sorted, shape::nearly_reversed};

// n records of s bytes: a key of the given shape, then random bytes that tell equal keys apart.
std::vector<uint8_t> make_records(size_t n, size_t s, shape form, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint32_t> keys(n);
  for (size_t i = 0; i < n; ++i) {
    switch (form) {
      case shape::random: keys[i] = rng(); break;
      case shape::few: keys[i] = rng() % 4; break;
      case shape::sorted:
      case shape::nearly_sorted: keys[i] = static_cast<uint32_t>(i); break;
      case shape::reversed:
      case shape::nearly_reversed: keys[i] = static_cast<uint32_t>(n - i); break;
      case shape::equal: keys[i] = 7; break;
      case shape::sawtooth: keys[i] = static_cast<uint32_t>(i % 50); break;
      case shape::organ: keys[i] = static_cast<uint32_t>(std::min(i, n - i)); break;
    }
  }
  if (form == shape::nearly_sorted || form == shape::nearly_reversed)
    for (size_t k = 0; k < n / 50 + 1 && n > 1; ++k) std::swap(keys[rng() % n], keys[rng() % n]);
  size_t kb = key_bytes(s);
  std::vector<uint8_t> out(n * s);
  for (size_t i = 0; i < n; ++i) {
    uint8_t* r = out.data() + i * s;
    uint32_t k = keys[i];
    for (size_t b = 0; b < kb; ++b) r[b] = static_cast<uint8_t>(k >> (8 * (kb - 1 - b)));
    for (size_t b = kb; b < s; ++b) r[b] = static_cast<uint8_t>(rng());
  }
  return out;
}

// The records rearranged in the order of `indices`.
std::vector<uint8_t> gather_records(const std::vector<uint8_t>& bytes, size_t s, const std::vector<uint32_t>& indices) {
  std::vector<uint8_t> out(bytes.size());
  for (size_t i = 0; i < indices.size(); ++i) std::memcpy(&out[i * s], &bytes[indices[i] * s], s);
  return out;
}

// What the stable sort must give: the standard library's stable sort on the same key.
std::vector<uint8_t> stable_reference(const std::vector<uint8_t>& input, size_t s) {
  std::vector<uint32_t> indices(input.size() / s);
  for (uint32_t i = 0; i < indices.size(); ++i) indices[i] = i;
  const uint8_t* base = input.data();
  size_t kb = key_bytes(s);
  std::stable_sort(indices.begin(), indices.end(),
                   [=](uint32_t a, uint32_t b) { return std::memcmp(base + a * s, base + b * s, kb) < 0; });
  return gather_records(input, s, indices);
}

// The records in full byte order: equal for two arrays holding the same records.
std::vector<uint8_t> as_multiset(const std::vector<uint8_t>& input, size_t s) {
  std::vector<uint32_t> indices(input.size() / s);
  for (uint32_t i = 0; i < indices.size(); ++i) indices[i] = i;
  const uint8_t* base = input.data();
  std::sort(indices.begin(), indices.end(),
            [=](uint32_t a, uint32_t b) { return std::memcmp(base + a * s, base + b * s, s) < 0; });
  return gather_records(input, s, indices);
}

bool keys_in_order(const std::vector<uint8_t>& bytes, size_t s) {
  for (size_t i = s; i < bytes.size(); i += s)
    if (std::memcmp(&bytes[i - s], &bytes[i], key_bytes(s)) > 0) return false;
  return true;
}

double n_log_n(size_t n) { return n < 2 ? 1 : static_cast<double>(n) * std::log2(static_cast<double>(n)); }

struct sort_case {
  size_t n, s;
  shape form;
};

std::string describe(const sort_case& c) {
  return "n=" + std::to_string(c.n) + " s=" + std::to_string(c.s) + " shape=" + std::to_string(static_cast<int>(c.form));
}

std::vector<sort_case> cases() {
  std::vector<sort_case> out;
  for (size_t n : {0, 1, 2, 3, 7, 8, 9, 23, 24, 25, 48, 49, 100, 511, 512, 1000, 4100})
    for (size_t s : {1, 2, 3, 4, 5, 8, 16, 24})
      for (shape f : all_shapes) out.push_back({n, s, f});
  for (shape f : {shape::random, shape::few, shape::organ, shape::sawtooth, shape::nearly_reversed})
    out.push_back({30000, 16, f});
  return out;
}

TEST(MergeSort, MatchesStableSortForEverySizeAndShape) {
  uint32_t seed = 1;
  for (const sort_case& c : cases()) {
    auto data = make_records(c.n, c.s, c.form, seed++);
    auto expected = stable_reference(data, c.s);
    comparisons = 0;
    sorting::merge_sort(data.data(), c.n, c.s, static_cast<intptr_t>(key_bytes(c.s)), 1, by_key);
    ASSERT_EQ(data, expected) << describe(c);
    EXPECT_LE(comparisons, n_log_n(c.n) + 12.0 * c.n) << describe(c);
  }
}

TEST(QuickSort, SortsEverySizeAndShape) {
  uint32_t seed = 1;
  for (const sort_case& c : cases()) {
    auto data = make_records(c.n, c.s, c.form, seed++);
    auto expected = as_multiset(data, c.s);
    comparisons = 0;
    sorting::quick_sort(data.data(), c.n, c.s, static_cast<intptr_t>(key_bytes(c.s)), 1, by_key);
    ASSERT_TRUE(keys_in_order(data, c.s)) << describe(c);
    ASSERT_EQ(as_multiset(data, c.s), expected) << describe(c);
    EXPECT_LE(comparisons, 2.0 * n_log_n(c.n) + 12.0 * c.n) << describe(c);
  }
}

// Past 257,792 records the sample grows over a prefix twice before the whole range is split.
TEST(QuickSort, LargeInputs) {
  std::mt19937 rng(17);
  for (uint32_t distinct : {0u, 5u, 1000u}) {
    std::vector<uint32_t> data(300000);
    for (auto& x : data) x = distinct ? static_cast<uint32_t>(rng() % distinct) : static_cast<uint32_t>(rng());
    auto expected = data;
    std::sort(expected.begin(), expected.end());
    long calls = 0;
    sorting::quick_sort(data.data(), data.size(), 4, [&calls](const void* a, const void* b) {
      ++calls;
      uint32_t x = *static_cast<const uint32_t*>(a), y = *static_cast<const uint32_t*>(b);
      return (x > y) - (x < y);
    });
    EXPECT_EQ(data, expected) << distinct;
    EXPECT_LE(calls, 1.5 * n_log_n(data.size())) << distinct;
  }
}

// The records the first sample is drawn from are nearly the largest, so one side of the
// split holds little besides its half of the sample, which must stay in order as it moves.
TEST(QuickSort, UnrepresentativeSample) {
  const size_t n = 20000;
  std::mt19937 rng(19);
  std::vector<uint32_t> data(n);
  for (auto& x : data) x = rng() % 1000;
  for (size_t t = 0; t < 63; ++t) data[t * n / 63] = 1000000 + static_cast<uint32_t>(rng() % 100);
  for (size_t k = 0; k < 5; ++k) data[1 + k * 3] = 2000000 + static_cast<uint32_t>(k);
  auto expected = data;
  std::sort(expected.begin(), expected.end());
  sorting::quick_sort(data.data(), n, 4, [](const void* a, const void* b) {
    uint32_t x = *static_cast<const uint32_t*>(a), y = *static_cast<const uint32_t*>(b);
    return (x > y) - (x < y);
  });
  EXPECT_EQ(data, expected);
}

TEST(MergeSort, EqualRecordsKeepTheirOrder) {
  struct record {
    uint32_t key, sequence;
  };
  std::mt19937 rng(3);
  std::vector<record> records(5000);
  for (uint32_t i = 0; i < records.size(); ++i) records[i] = {static_cast<uint32_t>(rng() % 3), i};
  sorting::merge_sort(records.data(), records.size(), sizeof(record), [](const void* a, const void* b) {
    auto ka = static_cast<const record*>(a)->key, kb = static_cast<const record*>(b)->key;
    return ka < kb ? -1 : ka > kb ? 1 : 0;
  });
  for (size_t i = 1; i < records.size(); ++i) {
    ASSERT_LE(records[i - 1].key, records[i].key);
    if (records[i - 1].key == records[i].key) {
      ASSERT_LT(records[i - 1].sequence, records[i].sequence);
    }
  }
}

// An input already in order either way is settled by one pass of n - 1 comparisons: the
// merge sort's run detection reverses a descending one, the quicksort's entry likewise.
TEST(Sorting, OrderedInputTakesOnePass) {
  struct row {
    const char* name;
    sort_function sort;
    shape form;
  } rows[] = {
      {"merge, ascending", sorting::merge_sort, shape::sorted},
      {"merge, descending", sorting::merge_sort, shape::reversed},
      {"quick, ascending", sorting::quick_sort, shape::sorted},
      {"quick, descending", sorting::quick_sort, shape::reversed},
  };
  for (auto& r : rows) {
    const size_t n = 1000, s = 8;
    auto data = make_records(n, s, r.form, 5);
    comparisons = 0;
    r.sort(data.data(), n, s, 4, 1, by_key);
    EXPECT_EQ(comparisons, static_cast<long>(n - 1)) << r.name;
    EXPECT_TRUE(keys_in_order(data, s)) << r.name;
  }
}

// Up to 24 records the merge sort's insertion step does everything and no work buffer is
// taken; one record more and a merge needs the buffer.
TEST(MergeSort, WorkBufferOnlyWhenRunsMerge) {
  static size_t blocks_before, most_blocks;
  auto watch = [](const void* a, const void* b, intptr_t, intptr_t) {
    most_blocks = std::max(most_blocks, heap_block_count() - blocks_before);
    return std::memcmp(a, b, 4);
  };
  for (size_t n : {24, 25}) {
    auto data = make_records(n, 4, shape::random, 9);
    blocks_before = heap_block_count();
    most_blocks = 0;
    sorting::merge_sort(data.data(), n, 4, 0, 0, watch);
    EXPECT_EQ(most_blocks, n == 24 ? 0u : 1u) << n;
    EXPECT_EQ(heap_block_count(), blocks_before) << n;
    EXPECT_TRUE(keys_in_order(data, 4)) << n;
  }
}

TEST(Sorting, ComparatorArgumentsArePassedThrough) {
  for (sort_function sort : std::initializer_list<sort_function>{sorting::merge_sort, sorting::quick_sort}) {
    auto data = make_records(700, 5, shape::random, 13);
    sort(data.data(), 700, 5, 2, -1, by_key);  // descending on the first two bytes
    for (size_t i = 5; i < data.size(); i += 5) ASSERT_GE(std::memcmp(&data[i - 5], &data[i], 2), 0);
  }
}

TEST(Sorting, LambdaComparators) {
  std::vector<double> merge_data{3.5, -1, 2, 9, 0, 2, -7}, quick_data = merge_data, expected = merge_data;
  std::sort(expected.begin(), expected.end());
  int calls = 0;
  auto compare = [&calls](const void* a, const void* b) {
    ++calls;
    double x = *static_cast<const double*>(a), y = *static_cast<const double*>(b);
    return (x > y) - (x < y);
  };
  sorting::merge_sort(merge_data.data(), merge_data.size(), sizeof(double), compare);
  sorting::quick_sort(quick_data.data(), quick_data.size(), sizeof(double), compare);
  EXPECT_EQ(merge_data, expected);
  EXPECT_EQ(quick_data, expected);
  EXPECT_GT(calls, 0);
}

TEST(MergeSort, TooLongWorkBufferRaisesBeforeTouchingRecords) {
  struct row {
    size_t n, s;
  } rows[] = {{size_t{1} << 32, 1}, {(size_t{1} << 32) + 3, 1}, {4, size_t{1} << 30}, {1000, 4300000}};
  uint8_t records[16] = {};
  for (auto [n, s] : rows) {
    comparisons = 0;
    clear_fired();
    EXPECT_THROW(sorting::merge_sort(records, n, s, 1, 1, by_key), system_throw_signal) << n << " " << s;
    EXPECT_EQ(last_fired.id, error_id::script_too_long);
    EXPECT_EQ(thrown_code, code::error);
    EXPECT_EQ(comparisons, 0);
  }
}

// A comparator that raises an error after k comparisons, for every k the sort reaches:
// the records stay a permutation of the input and the work buffer is given back.
long throw_after = 0, calls = 0;
bool throw_system = false;
int failing_compare(const void* a, const void* b, intptr_t key, intptr_t direction) {
  if (++calls == throw_after) {
    // The signal itself, not fire(): an error value made per throw would grow the heap.
    if (throw_system) throw system_throw_signal{};
    throw std::runtime_error("comparator failed");
  }
  return by_key(a, b, key, direction);
}

TEST(Sorting, AbandonedSortKeepsEveryRecord) {
  struct row {
    const char* name;
    sort_function sort;
    size_t n, s;
    shape form;
    long stride;  // of k
  } rows[] = {
      {"merge, 8-byte records", sorting::merge_sort, 300, 8, shape::random, 1},
      {"merge, 3-byte records", sorting::merge_sort, 200, 3, shape::few, 1},
      {"merge, long runs", sorting::merge_sort, 400, 16, shape::sawtooth, 1},
      {"quick, 8-byte records", sorting::quick_sort, 300, 8, shape::random, 3},
      {"quick, sampled", sorting::quick_sort, 1200, 4, shape::few, 11},
  };
  for (auto& r : rows) {
    const auto input = make_records(r.n, r.s, r.form, 21);
    const auto expected = as_multiset(input, r.s);
    const intptr_t key = static_cast<intptr_t>(key_bytes(r.s));
    auto data = input;
    calls = 0;
    throw_after = 0;
    r.sort(data.data(), r.n, r.s, key, 1, failing_compare);
    const long total = calls;
    ASSERT_GT(total, static_cast<long>(r.n));
    const size_t blocks = heap_block_count();
    for (long k = 1; k <= total; k += r.stride) {
      data = input;
      calls = 0;
      throw_after = k;
      throw_system = k % 2;
      bool thrown = false;
      try {
        r.sort(data.data(), r.n, r.s, key, 1, failing_compare);
      } catch (const system_throw_signal&) {
        thrown = throw_system;
      } catch (const std::runtime_error&) {
        thrown = !throw_system;
      }
      ASSERT_TRUE(thrown) << r.name << " k=" << k;
      ASSERT_EQ(as_multiset(data, r.s), expected) << r.name << " k=" << k;
      ASSERT_EQ(heap_block_count(), blocks) << r.name << " k=" << k;
    }
  }
  throw_after = 0;
}

}  // namespace
}  // namespace tav
