// hash!: a long seeded run of random block actions applied alike to a hash! and to a plain block;
// after every step, find, find/last and find/skip of every value answer the same index on both.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "datatypes/actions.hpp"
#include "datatypes/block.hpp"
#include "datatypes/series.hpp"
#include "datatypes/block_fixture.hpp"
#include "runtime/array.hpp"
#include "runtime/collector.hpp"
#include "runtime/hashtable.hpp"

namespace tav::testing {
namespace {

constexpr int32_t value_kinds = 9;  // the integers 0..7 and none

cell value_cell(int32_t kind) { return kind == 8 ? none::value : int_value(kind); }

cell at_position(const cell& series, int32_t position) {
  cell copy = series;
  series::set_head(copy, position);
  return copy;
}

int32_t length_of(const cell& series) { return static_cast<int32_t>(series::buffer(series)->count()); }

// The index (1-based) where find answers, 0 for none.
int32_t found_at(const cell& series, const cell& value, bool last, int32_t skip) {
  cell s = at_position(series, 0), v = value;
  cell skip_cell = int_value(skip);
  cell* answer = actions::find(&s, &v, nullptr, false, false, false, false, nullptr, skip > 1 ? &skip_cell : nullptr,
                               last, false, false, false);
  return answer->type() == TYPE_NONE ? 0 : series::head_of(*answer) + 1;
}

std::string elements_of(const cell& series) {
  std::string text;
  const cell* cells = series::buffer(series)->cells();
  for (int32_t i = 0; i < length_of(series); ++i)
    text += cells[i].type() == TYPE_NONE ? "_ " : std::to_string(scalar::integer_value(cells[i])) + " ";
  return text;
}

// Positions the table holds, stale ones included: one per cell when it is in step.
uint32_t indexed_positions(const cell& hash) {
  hashtable::record& r = hashtable::record_of(hash.payload3);
  const auto* flags = reinterpret_cast<const uint32_t*>(buffer_of(r.flags)->data());
  const auto* keys = reinterpret_cast<const int32_t*>(buffer_of(r.keys)->data());
  const auto* chains = reinterpret_cast<const node_id*>(array::data(r.chains));
  uint32_t total = 0;
  for (uint32_t b = 0; b < r.buckets; ++b) {
    if (((flags[b >> 4] >> ((b & 15) << 1)) & 3) != 0) continue;
    total += keys[b] >= 0 ? 1 : buffer_of(chains[-keys[b] - 1])->used() / 4;
  }
  return total;
}

class hash_property : public block_values {
 protected:
  void SetUp() override {
    block_values::SetUp();
    collector::add_root_range(roots, 4);
    hash = block_of({});
    hash.payload3 = hashtable::create(1, hash.payload2, hashtable::hash_kind);
    set_type(hash, TYPE_HASH);
    plain = block_of({});
    values = block_of({});
  }
  void TearDown() override {
    collector::remove_root(roots);
    block_values::TearDown();
  }

  cell roots[4]{};
  cell& hash = roots[0];
  cell& plain = roots[1];
  cell& values = roots[2];
  std::mt19937 random{20261210};

  int32_t pick(int32_t n) { return n <= 0 ? 0 : static_cast<int32_t>(random() % static_cast<uint32_t>(n)); }
  cell any_value() { return value_cell(pick(value_kinds)); }

  // A block of 1 to 4 random values, kept in a root while the step runs.
  cell some_values() {
    values = block_of({});
    for (int32_t i = 0, n = 1 + pick(4); i < n; ++i) block::append_cell(values, any_value());
    return values;
  }

  template <class Action>
  void on_both(Action action) {
    action(hash);
    action(plain);
  }

  std::string step(int32_t size) {
    int32_t position = pick(size + 1), count = 1 + pick(4);
    cell part = int_value(count);
    switch (pick(13)) {
      case 0: {
        cell v = pick(2) ? some_values() : any_value();
        int32_t dup = 1 + pick(3);
        on_both([&](const cell& s) { cell t = s, w = v; actions::append(&t, &w, -1, false, dup, true); });
        return "append";
      }
      case 1: {
        cell v = pick(2) ? some_values() : any_value();
        int32_t limit = pick(2) ? count : -1, dup = 1 + pick(2);
        on_both([&](const cell& s) {
          cell t = at_position(s, position), w = v;
          actions::insert(&t, &w, limit, false, dup, false);
        });
        return "insert";
      }
      case 2: {
        cell v = pick(2) ? some_values() : any_value();
        int32_t limit = pick(2) ? count : -1, dup = 1 + pick(2);
        on_both([&](const cell& s) {
          cell t = at_position(s, position), w = v;
          actions::change(&t, &w, limit, false, dup);
        });
        return "change";
      }
      case 3: {
        if (size == 0) return "poke (empty)";
        int32_t index = 1 + pick(size);
        cell v = any_value(), i = int_value(index);
        on_both([&](const cell& s) { cell t = s, w = v; actions::poke(&t, index, &w, &i); });
        return "poke";
      }
      case 4: {
        cell k = any_value(), v = any_value();
        on_both([&](const cell& s) { cell t = s, key = k, w = v; actions::put(&t, &key, &w, false); });
        return "put";
      }
      case 5: {
        bool with_part = pick(2);
        on_both([&](const cell& s) {
          cell t = at_position(s, position), n = part;
          actions::remove(&t, with_part ? &n : nullptr, nullptr);
        });
        return "remove";
      }
      case 6: {
        bool with_part = pick(2), last = pick(2);
        on_both([&](const cell& s) {
          cell t = at_position(s, position), n = part;
          actions::take(&t, with_part ? &n : nullptr, false, last);
        });
        return "take";
      }
      case 7: {
        int32_t to = pick(size + 1);
        bool with_part = pick(2);
        on_both([&](const cell& s) {
          cell from = at_position(s, position), target = at_position(s, to), n = part;
          actions::move(&from, &target, with_part ? &n : nullptr);
        });
        return "move";
      }
      case 8: {
        bool with_part = pick(2);
        on_both([&](const cell& s) {
          cell t = at_position(s, position), n = part;
          actions::reverse(&t, with_part ? &n : nullptr, nullptr);
        });
        return "reverse";
      }
      case 9: {
        int32_t other = pick(size + 1);
        on_both([&](const cell& s) {
          cell a = at_position(s, position), b = at_position(s, other);
          actions::swap(&a, &b);
        });
        return "swap";
      }
      case 10: {
        if (size < 24 && pick(4)) return "clear (skipped)";
        on_both([&](const cell& s) {
          cell t = at_position(s, position);
          actions::clear(&t);
        });
        return "clear";
      }
      case 11: {
        bool with_part = pick(2), reverse = pick(2), by_pairs = size % 2 == 0 && pick(2);
        cell two = int_value(2);
        on_both([&](const cell& s) {
          cell t = at_position(s, by_pairs ? 0 : position), n = part;
          actions::sort(&t, false, by_pairs ? &two : nullptr, nullptr, with_part && !by_pairs ? &n : nullptr, false,
                        reverse, false);
        });
        return "sort";
      }
      default: {
        on_both([&](const cell& s) {
          cell t = at_position(s, position);
          actions::trim(&t, false, false, false, false, false, nullptr);
        });
        return "trim";
      }
    }
  }
};

TEST_F(hash_property, every_find_agrees_with_the_plain_block_through_random_actions) {
  for (int32_t i = 0; i < 10000; ++i) {
    std::string action = step(length_of(plain));
    ASSERT_EQ(elements_of(hash), elements_of(plain)) << "step " << i << " " << action;
    ASSERT_EQ(indexed_positions(hash), static_cast<uint32_t>(length_of(hash))) << "step " << i << " " << action;
    for (int32_t p = 0; p < length_of(hash); ++p) {
      const cell* at = series::buffer(hash)->cells() + p;
      ASSERT_EQ(hashtable::find(hash.payload3, *at, static_cast<uint32_t>(p)), at)
          << "step " << i << " " << action << " position " << p << " of " << elements_of(plain);
    }
    for (int32_t kind = 0; kind < value_kinds; ++kind) {
      cell v = value_cell(kind);
      ASSERT_EQ(found_at(hash, v, false, 1), found_at(plain, v, false, 1))
          << "step " << i << " " << action << " find " << kind << " in " << elements_of(plain);
      ASSERT_EQ(found_at(hash, v, true, 1), found_at(plain, v, true, 1))
          << "step " << i << " " << action << " find/last " << kind << " in " << elements_of(plain);
      ASSERT_EQ(found_at(hash, v, false, 2), found_at(plain, v, false, 2))
          << "step " << i << " " << action << " find/skip " << kind << " in " << elements_of(plain);
    }
  }
}

}  // namespace
}  // namespace tav::testing
