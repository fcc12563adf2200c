// Hash tables: hashing, sizing, the five kinds, growth, the hash! position index, symbols,
// collector support and pointer maps.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "memory_fixture.hpp"
#include "runtime/array.hpp"
#include "runtime/hashtable.hpp"
#include "runtime/memory.hpp"
#include "runtime/murmur.hpp"
#include "runtime/pointer_map.hpp"
#include "runtime/random.hpp"
#include "runtime/series.hpp"

namespace tav {
namespace {

namespace ht = hashtable;

class HashTable : public testing::fresh_memory {
 protected:
  void SetUp() override {
    fresh_memory::SetUp();
    saved_seed_ = ht::murmur_seed;
    ht::murmur_seed = rng::string_hash_seed;
    saved_symbols_ = ht::symbol_table;
    ht::symbol_table = 0;
  }
  void TearDown() override {
    ht::symbol_table = saved_symbols_;
    ht::compare_hook = ht::default_compare;
    ht::preprocess_key_hook = ht::default_preprocess_key;
    ht::murmur_seed = saved_seed_;
    fresh_memory::TearDown();
  }

 private:
  uint32_t saved_seed_ = 0;
  node_id saved_symbols_ = 0;
};

constexpr uint8_t integer_type = 11, string_type = 7, word_type = 15, set_word_type = 16, block_type = 5;

cell integer(int32_t v) { return cell{integer_type, 0, static_cast<uint32_t>(v), 0}; }
cell word(uint32_t symbol, uint8_t type = word_type) { return cell{type, 0, symbol, 0xFFFFFFFF}; }

// Room for twice the values, so that tests may insert in place.
node_id block_of(std::initializer_list<cell> values) {
  node_id block = alloc_cells(std::max<uint32_t>(static_cast<uint32_t>(values.size()) * 2, 1));
  for (const cell& value : values) *alloc_tail(buffer_of(block)) = value;
  return block;
}

void append(node_id block, const cell& value) { *alloc_tail(buffer_of(block)) = value; }
cell* at(node_id block, uint32_t position) { return buffer_of(block)->cells() + position; }
uint32_t length(node_id block) { return buffer_of(block)->count(); }

// A text series of the code points in units of `unit` bytes.
cell text(std::u32string_view chars, uint32_t unit = 1, uint8_t type = string_type) {
  auto n = static_cast<uint32_t>(chars.size());
  node_id node = alloc_by_unit(n, unit);
  series_buffer* buffer = buffer_of(node);
  for (uint32_t i = 0; i < n; ++i) std::memcpy(buffer->data() + i * unit, &chars[i], unit);
  buffer->tail = n * unit;
  return cell{type, 0, node, 0};
}

// Position of a found cell in the block, or -1 for none.
int32_t position(node_id table, const cell* found) {
  if (!found) return -1;
  return static_cast<int32_t>(found - at(ht::record_of(table).block, 0));
}

std::vector<int32_t> all_positions(node_id table, const cell& key, int32_t op = 0) {
  std::vector<int32_t> found;
  int32_t saved = -1;
  while (const cell* next = ht::find_next(table, key, saved, op)) found.push_back(position(table, next));
  return found;
}

node_id new_symbol_table() {
  node_id table = ht::create(16, alloc_cells(16), ht::symbol_kind);
  ht::symbol_table = table;
  return table;
}

int32_t intern(node_id table, std::string_view name, bool caseless = false) {
  return ht::intern_string(table, reinterpret_cast<const uint8_t*>(name.data()), static_cast<uint32_t>(name.size()),
                           caseless);
}

int32_t alias_of(node_id table, int32_t id) {
  return static_cast<int32_t>(at(ht::record_of(table).block, static_cast<uint32_t>(id - 1))->payload1);
}

// ---- Hashing -----------------------------------------------------------------------------

TEST(Murmur, PublishedVectors) {
  struct vector {
    std::string_view text;
    uint32_t seed, hash;
  };
  const vector cases[] = {
      {"", 0, 0},
      {"", 1, 0x514E28B7},
      {"", 0xFFFFFFFF, 0x81F16F39},
      {std::string_view("\0\0\0\0", 4), 0, 0x2362F9DE},
      {"aaaa", 0x9747B28C, 0x5A97808A},
      {"abc", 0, 0xB3DD93FA},
      {"Hello, world!", 0x9747B28C, 0x24884CBA},
      {"The quick brown fox jumps over the lazy dog", 0x9747B28C, 0x2FA826CD},
  };
  for (const vector& c : cases) EXPECT_EQ(murmur::hash(c.text.data(), c.text.size(), c.seed), c.hash) << c.text;
}

TEST_F(HashTable, TextHashesAlikeInEveryUnitWidthAndFoldsCase) {
  uint32_t latin1 = ht::hash_value(text(U"caf\u00E9", 1));
  EXPECT_EQ(ht::hash_value(text(U"caf\u00E9", 2)), latin1);
  EXPECT_EQ(ht::hash_value(text(U"caf\u00E9", 4)), latin1);
  EXPECT_EQ(ht::hash_value(text(U"CAF\u00C9", 2)), latin1);
  EXPECT_NE(ht::hash_value(text(U"CAF\u00C9", 2), true), ht::hash_value(text(U"caf\u00E9", 1), true));
  EXPECT_EQ(ht::hash_value(text(U"CAF\u00C9", 2), true), ht::hash_value(text(U"CAF\u00C9", 1), true));
  EXPECT_NE(ht::hash_value(text(U"cafe", 1)), latin1);
  // Characters above the BMP fold too, and a value hashes from its head.
  EXPECT_EQ(ht::hash_value(text(U"\U0001E922", 4)), ht::hash_value(text(U"\U0001E900", 4)));
  cell tail = text(U"xcaf\u00E9", 1);
  tail.payload1 = 1;
  EXPECT_EQ(ht::hash_value(tail), latin1);
}

TEST_F(HashTable, WordsDifferingOnlyByCaseHashAlike) {
  node_id symbols = new_symbol_table();
  int32_t foo = intern(symbols, "foo"), Foo = intern(symbols, "Foo"), bar = intern(symbols, "bar");
  ASSERT_NE(foo, Foo);
  EXPECT_EQ(ht::hash_value(word(foo)), ht::hash_value(word(Foo)));
  EXPECT_EQ(ht::hash_value(word(foo)), ht::hash_value(word(Foo, set_word_type)));
  EXPECT_NE(ht::hash_value(word(foo)), ht::hash_value(word(bar)));
  // Symbol records hash their names with ASCII letters lowered.
  const cell* records = at(ht::record_of(symbols).block, 0);
  EXPECT_EQ(ht::hash_value(records[foo - 1]), ht::hash_value(records[Foo - 1]));
}

TEST_F(HashTable, HashOfCellsByType) {
  EXPECT_EQ(ht::hash_value(cell{2, 7, 7, 7}), 0xFFFFFFFEu);
  EXPECT_EQ(ht::hash_value(cell{3, 7, 7, 7}), 0xFFFFFFFFu);
  EXPECT_EQ(ht::hash_value(integer(42)), murmur::pointer_hash(42));
  EXPECT_EQ(ht::hash_value(cell{200, 1, 2, 3}), 0u);
  // money!: flags other than the sign do not count, the sign does.
  cell money{49 | 0x00200000, 1, 2, 3};
  cell plain{49, 1, 2, 3};
  cell negative{49 | 0x4000, 1, 2, 3};
  EXPECT_EQ(ht::hash_value(money), ht::hash_value(plain));
  EXPECT_NE(ht::hash_value(negative), ht::hash_value(plain));
  // A zero amount (currency in the low byte of payload 1) hashes alike with either sign.
  EXPECT_EQ(ht::hash_value(cell{49 | 0x4000, 5, 0, 0}), ht::hash_value(cell{49, 5, 0, 0}));
  EXPECT_NE(ht::hash_value(cell{49 | 0x4000, 0x100, 0, 0}), ht::hash_value(cell{49, 0x100, 0, 0}));
  // Blocks hash their head and node, so two positions of one block differ.
  node_id block = block_of({integer(1), integer(2)});
  EXPECT_NE(ht::hash_value(cell{block_type, 0, block, 0}), ht::hash_value(cell{block_type, 1, block, 0}));
  // A tuple hashes only the bytes its length covers.
  cell tuple{39 | (3u << 19), 0x00030201, 0xFFFF, 0};
  cell same_tuple{39 | (3u << 19), 0xAA030201, 0, 5};
  EXPECT_EQ(ht::hash_value(tuple), ht::hash_value(same_tuple));
}

// A zero of the float-based types hashes alike whatever its sign (the keys are equal), while
// other values keep their sign in the hash.
TEST_F(HashTable, SignedZerosOfFloatTypesHashAlike) {
  constexpr uint32_t sign = 0x80000000;
  for (uint32_t type : {12u, 38u, 43u}) {  // float!, percent!, time!
    EXPECT_EQ(ht::hash_value(cell{type, 0, 0, sign}), ht::hash_value(cell{type, 0, 0, 0})) << type;
    EXPECT_NE(ht::hash_value(cell{type, 0, 0, 0x3FF00000 | sign}), ht::hash_value(cell{type, 0, 0, 0x3FF00000}))
        << type;
    EXPECT_NE(ht::hash_value(cell{type, 0, 1, sign}), ht::hash_value(cell{type, 0, 1, 0})) << type;
  }
}

// ---- Sizing ------------------------------------------------------------------------------

TEST_F(HashTable, CreationSizes) {
  struct sizing {
    uint32_t size, kind, buckets, bound;
  };
  const sizing cases[] = {
      {0, ht::integer_kind, 8, 6}, {3, ht::hash_kind, 8, 6},     {4, ht::map_kind, 8, 6},
      {10, ht::hash_kind, 16, 12}, {100, ht::integer_kind, 256, 197},
      // A symbol table of 4000 or more is made for twice as many.
      {4000, ht::symbol_kind, 16384, 12615}, {3999, ht::symbol_kind, 8192, 6307},
  };
  for (const sizing& c : cases) {
    node_id table = ht::create(c.size, 0, c.kind, 1);
    const ht::record& r = ht::record_of(table);
    EXPECT_EQ(r.buckets, c.buckets) << c.size;
    EXPECT_EQ(r.upper_bound, c.bound) << c.size;
    EXPECT_EQ(r.kind, c.kind);
    EXPECT_EQ(r.count, 0u);
    const uint8_t* flags = buffer_of(r.flags)->data();
    for (uint32_t i = 0; i < c.buckets / 4; ++i) ASSERT_EQ(flags[i], 0xAA) << c.size;
  }
}

// ---- Integer keys ------------------------------------------------------------------------

TEST_F(HashTable, IntegerKeysStoreValueCells) {
  node_id table = ht::create(0, 0, ht::integer_kind, 2);
  EXPECT_EQ(ht::record_of(table).positions, 48u);  // entry size
  EXPECT_EQ(ht::record_of(table).stamp, 1u);
  cell values[2] = {integer(10), integer(11)};
  cell* stored = ht::put_key(table, 7, values);
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ(stored[1].payload2, 11u);
  cell* fresh = ht::put_key(table, 8);
  EXPECT_EQ(fresh[0].header, unset_header);
  EXPECT_EQ(ht::get_key(table, 7)->payload2, 10u);
  EXPECT_EQ(ht::get_key(table, 9), nullptr);
  EXPECT_EQ(ht::put_key(table, 7), ht::get_key(table, 7));  // a present key keeps its values
  EXPECT_EQ(ht::get_key(table, 7)->payload2, 10u);
  EXPECT_TRUE(ht::delete_key(table, 7));
  EXPECT_FALSE(ht::delete_key(table, 7));
  EXPECT_EQ(ht::get_key(table, 7), nullptr);
  EXPECT_EQ(ht::record_of(table).count, 1u);
}

TEST_F(HashTable, IntegerKeysDeletedAndReplacedEndInASameSizeRehash) {
  node_id table = ht::create(0, 0, ht::integer_kind, 1);
  ht::put_key(table, 100, std::array{integer(100)}.data());
  ht::put_key(table, 200, std::array{integer(200)}.data());
  int rehashes = 0;
  for (uint32_t k = 1; k <= 60; ++k) {
    const ht::record before = ht::record_of(table);
    ht::put_key(table, k, std::array{integer(int32_t(k))}.data());
    const ht::record& r = ht::record_of(table);
    ASSERT_EQ(r.buckets, 8u) << k;
    if (before.used >= before.upper_bound) {
      ++rehashes;
      EXPECT_EQ(r.used, r.count) << k;  // the deleted marks are gone
      EXPECT_NE(r.block, before.block) << k;
      EXPECT_EQ(length(r.block), 3u * 2) << k;  // only live entries were copied
    }
    ASSERT_TRUE(ht::delete_key(table, k));
  }
  EXPECT_GT(rehashes, 0);
  EXPECT_EQ(ht::record_of(table).count, 2u);
  EXPECT_EQ(ht::record_of(table).upper_bound, 6u);
  EXPECT_EQ(ht::get_key(table, 100)->payload2, 100u);
  EXPECT_EQ(ht::get_key(table, 200)->payload2, 200u);
  EXPECT_EQ(ht::get_key(table, 60), nullptr);
}

TEST_F(HashTable, IntegerKeysGrowWhenFull) {
  node_id table = ht::create(0, 0, ht::integer_kind, 1);
  for (uint32_t k = 0; k < 1000; ++k) ht::put_key(table, k * 7919, std::array{integer(int32_t(k))}.data());
  const ht::record& r = ht::record_of(table);
  EXPECT_EQ(r.count, 1000u);
  EXPECT_EQ(r.buckets, 2048u);
  EXPECT_LT(r.used, r.upper_bound);
  for (uint32_t k = 0; k < 1000; ++k) ASSERT_EQ(ht::get_key(table, k * 7919)->payload2, k);
  EXPECT_EQ(ht::get_key(table, 1), nullptr);
  // An explicit rehash keeps everything; one below the count changes nothing.
  ht::resize(table, 8);
  EXPECT_EQ(ht::record_of(table).buckets, 2048u);
  ht::resize(table, 4096);
  EXPECT_EQ(ht::record_of(table).buckets, 4096u);
  for (uint32_t k = 0; k < 1000; ++k) ASSERT_EQ(ht::get_key(table, k * 7919)->payload2, k);
}

TEST_F(HashTable, ClearEmptiesEntriesAndBlock) {
  node_id table = ht::create(0, 0, ht::integer_kind, 1);
  for (uint32_t k = 1; k <= 5; ++k) ht::put_key(table, k);
  ht::clear(table);
  EXPECT_EQ(ht::record_of(table).count, 0u);
  EXPECT_EQ(ht::record_of(table).used, 0u);
  EXPECT_EQ(length(ht::record_of(table).block), 0u);
  EXPECT_EQ(ht::get_key(table, 3), nullptr);
  ht::put_key(table, 3);
  EXPECT_NE(ht::get_key(table, 3), nullptr);
}

// ---- hash! -------------------------------------------------------------------------------

TEST_F(HashTable, HashKindAnswersTheFirstPositionAndTheOthersThroughFindNext) {
  node_id block = block_of({integer(1), integer(2), integer(1), integer(3), integer(1)});
  node_id table = ht::create(5, block, ht::hash_kind);
  EXPECT_EQ(position(table, ht::find(table, integer(1))), 0);
  EXPECT_EQ(all_positions(table, integer(1)), (std::vector<int32_t>{0, 2, 4}));
  EXPECT_EQ(all_positions(table, integer(3)), (std::vector<int32_t>{3}));
  EXPECT_TRUE(all_positions(table, integer(9)).empty());
  EXPECT_EQ(ht::record_of(table).count, 3u);  // distinct keys
}

TEST_F(HashTable, HashKindFindRefinements) {
  node_id block = block_of({integer(1), integer(2), integer(1), integer(3), integer(1), integer(1)});
  node_id table = ht::create(6, block, ht::hash_kind);
  struct search {
    uint32_t start;
    int32_t skip;
    bool last, reverse;
    int32_t expected;
  };
  const search cases[] = {
      {0, 1, false, false, 0}, {1, 1, false, false, 2}, {3, 1, false, false, 4}, {6, 1, false, false, -1},
      {0, 1, true, false, 5},  {5, 1, true, false, 5},  {4, 1, false, true, 2},  {0, 1, false, true, -1},
      {6, 1, false, true, 5},  {1, 3, false, false, 4}, {0, 2, true, false, 4},  {5, 3, false, true, 2},
  };
  for (const search& s : cases)
    EXPECT_EQ(position(table, ht::find(table, integer(1), s.start, s.skip, 0, s.last, s.reverse)), s.expected)
        << "start " << s.start << " skip " << s.skip << " last " << s.last << " reverse " << s.reverse;
}

TEST_F(HashTable, HashKindKeysNeedTheSameTypeAndCompareWithTheOp) {
  node_id symbols = new_symbol_table();
  int32_t a = intern(symbols, "a"), A = intern(symbols, "A");
  node_id block = block_of({word(a), word(A), word(a, set_word_type), text(U"Key"), text(U"KEY")});
  node_id table = ht::create(5, block, ht::hash_kind);
  EXPECT_EQ(all_positions(table, word(A)), (std::vector<int32_t>{0, 1}));
  EXPECT_EQ(all_positions(table, word(A), 2), (std::vector<int32_t>{1}));
  EXPECT_EQ(all_positions(table, word(a, set_word_type)), (std::vector<int32_t>{2}));
  EXPECT_EQ(all_positions(table, text(U"key")), (std::vector<int32_t>{3, 4}));
  EXPECT_EQ(position(table, ht::find(table, text(U"KEY"), 0, 1, 2)), 4);
  EXPECT_EQ(ht::find(table, text(U"key"), 0, 1, 2), nullptr);
}

TEST_F(HashTable, HashKindDeleteRepairsChains) {
  node_id block = block_of({integer(1), integer(2), integer(1), integer(3), integer(1)});
  node_id table = ht::create(5, block, ht::hash_kind);
  ht::delete_at(table, at(block, 2));
  EXPECT_EQ(all_positions(table, integer(1)), (std::vector<int32_t>{0, 4}));
  ht::delete_at(table, at(block, 0));
  ht::delete_at(table, at(block, 0));  // a second delete of a position changes nothing
  EXPECT_EQ(position(table, ht::find(table, integer(1))), 4);
  ht::delete_at(table, at(block, 4));
  EXPECT_EQ(ht::find(table, integer(1)), nullptr);
  ht::delete_at(table, at(block, 3));
  EXPECT_EQ(ht::record_of(table).count, 1u);
  EXPECT_EQ(position(table, ht::find(table, integer(2))), 1);
  // A freed bucket is taken again.
  append(block, integer(1));
  EXPECT_EQ(ht::put(table, at(block, 5)), 0);
  EXPECT_EQ(all_positions(table, integer(1)), (std::vector<int32_t>{5}));
}

TEST_F(HashTable, HashKindGrowsByRebuildingTheWholeBlock) {
  node_id block = alloc_cells(1);
  node_id table = ht::create(0, block, ht::hash_kind);
  std::vector<int32_t> answers;
  for (int32_t v = 0; v < 40; ++v) {
    append(block, integer(v % 30));
    answers.push_back(ht::put(table, at(block, length(block) - 1)));
  }
  // Six distinct keys fill 8 buckets; the seventh put rebuilds.
  EXPECT_EQ(answers[5], 0);
  EXPECT_EQ(answers[6], 2);
  EXPECT_EQ(ht::record_of(table).count, 30u);
  for (int32_t v = 0; v < 30; ++v) {
    std::vector<int32_t> expected{v};
    if (v < 10) expected.push_back(v + 30);
    ASSERT_EQ(all_positions(table, integer(v)), expected) << v;
  }
}

TEST_F(HashTable, HashKindShiftIndexFollowsInsertionsAndRemovals) {
  node_id block = block_of({integer(1), integer(2), integer(1), integer(3)});
  node_id table = ht::create(4, block, ht::hash_kind);
  // Two cells inserted at position 1.
  buffer_of(block)->tail += 2 * sizeof(cell);
  std::memmove(at(block, 3), at(block, 1), 3 * sizeof(cell));
  *at(block, 1) = integer(7);
  *at(block, 2) = integer(1);
  ASSERT_EQ(ht::shift_index(table, 2, 1, 2, true), 0);
  ht::put(table, at(block, 1));
  ht::put(table, at(block, 2));
  EXPECT_EQ(all_positions(table, integer(1)), (std::vector<int32_t>{0, 4, 2}));
  EXPECT_EQ(position(table, ht::find(table, integer(3))), 5);
  EXPECT_EQ(position(table, ht::find(table, integer(2))), 3);
  // The per-position words moved along: deleting by the new positions works.
  ht::delete_at(table, at(block, 4));
  ht::delete_at(table, at(block, 3));
  EXPECT_EQ(all_positions(table, integer(1)), (std::vector<int32_t>{0, 2}));
  EXPECT_EQ(ht::find(table, integer(2)), nullptr);
  // Removing positions 3-4 (already deleted) moves 3 down to 3.
  std::memmove(at(block, 3), at(block, 5), sizeof(cell));
  buffer_of(block)->tail -= 2 * sizeof(cell);
  ASSERT_EQ(ht::shift_index(table, -2, 3, 2, true), 0);
  EXPECT_EQ(position(table, ht::find(table, integer(3))), 3);
  ht::delete_at(table, at(block, 3));
  EXPECT_EQ(ht::find(table, integer(3)), nullptr);
  // Too many cells concerned: refused, nothing changed.
  EXPECT_EQ(ht::shift_index(table, 1, 0, 30001, true), 1);
  EXPECT_EQ(all_positions(table, integer(1)), (std::vector<int32_t>{0, 2}));
}

TEST_F(HashTable, HashKindMoveIndexFollowsAMovedRun) {
  // [a b c d e] with the run b c moved to start at 3: [a d e b c], and back.
  node_id block = block_of({integer(10), integer(11), integer(12), integer(13), integer(14)});
  node_id table = ht::create(5, block, ht::hash_kind);
  auto reorder = [&](std::initializer_list<int32_t> values) {
    uint32_t i = 0;
    for (int32_t v : values) *at(block, i++) = integer(v);
  };
  reorder({10, 13, 14, 11, 12});
  ht::move_index(table, 1, 3, 2);
  for (int32_t i = 0; i < 5; ++i)
    ASSERT_EQ(position(table, ht::find(table, *at(block, uint32_t(i)))), i) << "forward " << i;
  reorder({10, 11, 12, 13, 14});
  ht::move_index(table, 3, 1, 2);
  for (int32_t i = 0; i < 5; ++i)
    ASSERT_EQ(position(table, ht::find(table, *at(block, uint32_t(i)))), i) << "back " << i;
  ht::delete_at(table, at(block, 2));
  EXPECT_EQ(ht::find(table, integer(12)), nullptr);
  EXPECT_EQ(position(table, ht::find(table, integer(13))), 3);
}

TEST_F(HashTable, HashKindClearPartRebuildAndCopy) {
  node_id block = block_of({integer(1), integer(2), integer(1), integer(3)});
  node_id table = ht::create(4, block, ht::hash_kind);
  node_id twin = ht::copy(table);
  ht::clear_part(table, 1, 2);
  EXPECT_EQ(all_positions(table, integer(1)), (std::vector<int32_t>{0}));
  EXPECT_EQ(ht::find(table, integer(2)), nullptr);
  EXPECT_EQ(position(table, ht::find(table, integer(3))), 3);
  // The copy kept its own arrays and block.
  EXPECT_NE(ht::record_of(twin).block, block);
  EXPECT_EQ(all_positions(twin, integer(1)), (std::vector<int32_t>{0, 2}));
  ht::rebuild(table, 100);
  EXPECT_EQ(ht::record_of(table).buckets, 256u);
  EXPECT_EQ(all_positions(table, integer(1)), (std::vector<int32_t>{0, 2}));
  ht::clear_part(table, 0, 4);
  EXPECT_EQ(ht::record_of(table).count, 0u);
  EXPECT_EQ(ht::find(table, integer(3)), nullptr);
  EXPECT_EQ(length(block), 4u);  // the block belongs to the hash!
  ht::resize(table, 64);
  ht::put_all(table, 0, 1);
  EXPECT_EQ(all_positions(table, integer(1)), (std::vector<int32_t>{0, 2}));
}

TEST_F(HashTable, HashKindStampsKeysThatHashNodeIds) {
  node_id inner = block_of({integer(1)});
  node_id numbers = ht::create(1, block_of({integer(1)}), ht::hash_kind);
  node_id blocks = ht::create(1, block_of({cell{block_type, 0, inner, 0}}), ht::hash_kind);
  EXPECT_EQ(ht::record_of(numbers).stamp, 0u);
  EXPECT_EQ(ht::record_of(blocks).stamp, 1u);
}

// ---- map! --------------------------------------------------------------------------------

// A map! table keeps each bucket's hash, so that its growth moves hashes instead of hashing
// the keys again; keys stay found through every growth and in a copy.
TEST_F(HashTable, MapKindKeepsEachBucketsHashThroughGrowthAndCopies) {
  node_id block = block_of({});
  node_id table = ht::create(1, block, ht::map_kind);
  const uint32_t first_buckets = ht::record_of(table).buckets;
  for (int32_t i = 0; i < 300; ++i) {
    std::u32string key = U"key";
    for (char c : std::to_string(i)) key += static_cast<char32_t>(c);
    append(block, text(key));
    append(block, integer(i));
    ASSERT_EQ(ht::put(table, at(block, length(block) - 2)), 0) << i;
  }
  ASSERT_GT(ht::record_of(table).buckets, first_buckets);
  auto check = [](node_id t) {
    const ht::record& r = ht::record_of(t);
    const auto* flags = reinterpret_cast<const uint32_t*>(buffer_of(r.flags)->data());
    const auto* keys = reinterpret_cast<const int32_t*>(buffer_of(r.keys)->data());
    const auto* hashes = reinterpret_cast<const uint32_t*>(buffer_of(r.positions)->data());
    uint32_t in_use = 0;
    for (uint32_t b = 0; b < r.buckets; ++b) {
      if (((flags[b >> 4] >> ((b & 15) << 1)) & 3) != 0) continue;
      ++in_use;
      EXPECT_EQ(hashes[b], ht::hash_value(*at(r.block, static_cast<uint32_t>(keys[b])))) << b;
    }
    EXPECT_EQ(in_use, 300u);
  };
  check(table);
  node_id copied = ht::copy(table);
  check(copied);
  EXPECT_EQ(position(table, ht::find(table, text(U"KEY299"))), 598);
  EXPECT_EQ(position(copied, ht::find(copied, text(U"Key7"))), 14);
  EXPECT_EQ(ht::find(table, text(U"KEY299"), 0, 1, 2), nullptr);
}

TEST_F(HashTable, MapKindMergesRepeatedKeysAndNormalisesWords) {
  node_id symbols = new_symbol_table();
  int32_t b = intern(symbols, "b");
  node_id block = block_of({text(U"a"), integer(1), text(U"A"), integer(2), word(b), integer(3),
                            word(b, set_word_type), integer(4), text(U"a"), integer(5)});
  node_id table = ht::create(5, block, ht::map_kind);
  ASSERT_EQ(length(block), 6u);
  EXPECT_EQ(ht::record_of(table).count, 3u);
  EXPECT_EQ(at(block, 1)->payload2, 5u);  // "a" took the later value
  EXPECT_EQ(at(block, 4)->type(), set_word_type);
  EXPECT_EQ(at(block, 5)->payload2, 4u);
  // Any word type finds the set-word! key; op 0 ignores case, op 2 does not.
  for (uint8_t type : {uint8_t{15}, uint8_t{16}, uint8_t{17}, uint8_t{18}})
    EXPECT_EQ(position(table, ht::find(table, word(b, type))), 4) << int(type);
  EXPECT_EQ(position(table, ht::find(table, text(U"A"), 0, 1, 2)), 2);
  EXPECT_EQ(ht::find(table, text(U"\u00E0"), 0, 1, 0), nullptr);
  std::vector<int32_t> both = all_positions(table, text(U"a"));
  std::sort(both.begin(), both.end());
  EXPECT_EQ(both, (std::vector<int32_t>{0, 2}));
  EXPECT_EQ(all_positions(table, text(U"a"), 2), (std::vector<int32_t>{0}));
}

TEST_F(HashTable, MapKindDeleteKeepsThePairAndPutAllRevivesIt) {
  node_id block = block_of({integer(1), integer(10), integer(2), integer(20)});
  node_id table = ht::create(2, block, ht::map_kind);
  ht::delete_at(table, at(block, 0));
  ht::delete_at(table, at(block, 0));
  EXPECT_EQ(ht::record_of(table).count, 1u);
  EXPECT_EQ(at(block, 1)->header, 0u);
  EXPECT_EQ(position(table, ht::find(table, integer(1))), 0);  // the key stays indexed
  // A rebuild counts only live pairs.
  ht::rebuild(table, 2);
  EXPECT_EQ(ht::record_of(table).count, 1u);
  append(block, integer(1));
  append(block, integer(11));
  ht::put_all(table, 4, 2);
  EXPECT_EQ(length(block), 4u);
  EXPECT_EQ(at(block, 1)->payload2, 11u);
  EXPECT_EQ(ht::record_of(table).count, 2u);
  ht::clear(table);
  EXPECT_EQ(length(block), 0u);
  EXPECT_EQ(ht::find(table, integer(2)), nullptr);
}

TEST_F(HashTable, MapKindGrowsOnPut) {
  node_id block = alloc_cells(2);
  node_id table = ht::create(0, block, ht::map_kind);
  for (int32_t k = 0; k < 100; ++k) {
    append(block, integer(k));
    append(block, integer(k * 2));
    ht::put_all(table, length(block) - 2, 2);
  }
  EXPECT_EQ(ht::record_of(table).count, 100u);
  EXPECT_EQ(ht::record_of(table).buckets, 256u);
  for (int32_t k = 0; k < 100; ++k) ASSERT_EQ(position(table, ht::find(table, integer(k))), 2 * k);
}

// ---- Symbols -----------------------------------------------------------------------------

TEST_F(HashTable, InterningLinksCaseVariantsToTheFirstSpelling) {
  node_id symbols = new_symbol_table();
  EXPECT_EQ(intern(symbols, "foo"), 1);
  EXPECT_EQ(intern(symbols, "Foo"), 2);
  EXPECT_EQ(alias_of(symbols, 2), 1);
  EXPECT_EQ(alias_of(symbols, 1), -1);
  EXPECT_EQ(intern(symbols, "foo"), 1);
  EXPECT_EQ(intern(symbols, "Foo"), 2);
  // A variant of a variant still names the first spelling.
  EXPECT_EQ(intern(symbols, "FOO"), 3);
  EXPECT_EQ(alias_of(symbols, 3), 1);
  EXPECT_EQ(ht::symbol_resolve(3), 1u);
  EXPECT_EQ(ht::symbol_resolve(1), 1u);
  // Caseless interning answers the existing symbol and makes no record.
  EXPECT_EQ(intern(symbols, "fOO", true), 1);
  EXPECT_EQ(intern(symbols, "Foo", true), 2);
  EXPECT_EQ(length(ht::record_of(symbols).block), 3u);
  // Only ASCII letters fold: accented letters of another case are distinct symbols.
  EXPECT_EQ(intern(symbols, "\xC3\xA9t\xC3\xA9"), 4);
  EXPECT_EQ(intern(symbols, "\xC3\x89t\xC3\xA9"), 5);
  EXPECT_EQ(alias_of(symbols, 5), -1);
  // A record: header 13, no spelling yet, the name bytes with a NUL after the tail.
  const cell& record = *at(ht::record_of(symbols).block, 1);
  EXPECT_EQ(record.header, 13u);
  EXPECT_EQ(record.payload2, 0u);
  series_buffer* name = buffer_of(record.payload3);
  EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(name->head()), name->used()), "Foo");
  EXPECT_EQ(name->head()[3], 0);
}

TEST_F(HashTable, SymbolTableGrowsAndKeepsIds) {
  node_id symbols = new_symbol_table();
  std::vector<int32_t> ids;
  for (int i = 0; i < 3000; ++i) ids.push_back(intern(symbols, "word-" + std::to_string(i)));
  EXPECT_GE(ht::record_of(symbols).buckets, 4096u);
  for (int i = 0; i < 3000; ++i) ASSERT_EQ(intern(symbols, "word-" + std::to_string(i)), i + 1);
  EXPECT_EQ(intern(symbols, "WORD-17"), 3001);
  EXPECT_EQ(alias_of(symbols, 3001), 18);
}

TEST_F(HashTable, ContextWordListFindsAndAddsSymbols) {
  node_id symbols = new_symbol_table();
  int32_t foo = intern(symbols, "foo"), Foo = intern(symbols, "Foo"), bar = intern(symbols, "bar");
  node_id list = ht::create(0, 0, ht::symbol_kind);
  const node_id context = 77;
  int32_t index = -5;
  EXPECT_EQ(ht::find_symbol(list, uint32_t(foo), true, 0, &index), -1);
  EXPECT_EQ(index, -5);
  EXPECT_EQ(length(ht::record_of(list).block), 0u);
  EXPECT_EQ(ht::find_symbol(list, uint32_t(Foo), false, context, &index), -1);
  EXPECT_EQ(index, 0);
  const cell& added = *at(ht::record_of(list).block, 0);
  EXPECT_EQ(added.header, 15u);
  EXPECT_EQ(added.payload1, context);
  EXPECT_EQ(added.payload2, uint32_t(Foo));
  EXPECT_EQ(added.payload3, 0u);
  EXPECT_EQ(ht::find_symbol(list, uint32_t(foo), false, 0, &index), -1);
  EXPECT_EQ(ht::find_symbol(list, uint32_t(foo), true, 0, &index), 0);
  ht::find_symbol(list, uint32_t(bar), false, context, &index);
  EXPECT_EQ(index, 1);
  // With both spellings present, the exact one is preferred.
  ht::find_symbol(list, uint32_t(foo), false, context, &index);
  EXPECT_EQ(ht::find_symbol(list, uint32_t(foo), true, 0, &index), 2);
  EXPECT_EQ(ht::find_symbol(list, uint32_t(Foo), true, 0, &index), 0);
  EXPECT_EQ(index, 0);
  // Word lists also answer find by word.
  EXPECT_EQ(position(list, ht::find(list, word(bar))), 1);
}

TEST_F(HashTable, ContextWordListGrowsSixteenOrThirtyTwoFold) {
  node_id full = ht::create(0, 0, ht::symbol_kind);
  for (uint32_t s = 1; s <= 6; ++s) ht::find_symbol(full, s, false, 1, nullptr);
  ASSERT_EQ(ht::record_of(full).buckets, 8u);
  ht::find_symbol(full, 7, false, 1, nullptr);
  EXPECT_EQ(ht::record_of(full).buckets, 256u);
  EXPECT_EQ(ht::record_of(full).upper_bound, 197u);
  for (uint32_t s = 1; s <= 7; ++s) ASSERT_EQ(ht::find_symbol(full, s, false, 0, nullptr), int32_t(s - 1));

  node_id sparse = ht::create(0, 0, ht::symbol_kind);
  for (uint32_t s = 1; s <= 6; ++s) ht::find_symbol(sparse, s, false, 1, nullptr);
  for (uint32_t p = 0; p < 3; ++p) ht::delete_at(sparse, at(ht::record_of(sparse).block, p));
  ht::find_symbol(sparse, 7, false, 1, nullptr);
  EXPECT_EQ(ht::record_of(sparse).buckets, 128u);
  EXPECT_EQ(ht::record_of(sparse).count, 4u);
  EXPECT_EQ(ht::find_symbol(sparse, 2, false, 0, nullptr), -1);
  EXPECT_EQ(ht::find_symbol(sparse, 5, false, 0, nullptr), 4);
}

TEST_F(HashTable, ContextWordListCopyIsIndependent) {
  node_id list = ht::create(0, 0, ht::symbol_kind);
  for (uint32_t s = 1; s <= 3; ++s) ht::find_symbol(list, s, false, 1, nullptr);
  node_id twin = ht::create(0, list, ht::symbol_kind, 2);
  ht::find_symbol(twin, 9, false, 2, nullptr);
  EXPECT_EQ(ht::find_symbol(list, 9, false, 0, nullptr), -1);
  EXPECT_EQ(ht::find_symbol(twin, 9, false, 0, nullptr), 3);
  EXPECT_EQ(ht::find_symbol(twin, 2, false, 0, nullptr), 1);
}

// ---- Collector support -------------------------------------------------------------------

std::vector<node_id> marked_nodes;
std::vector<std::pair<const cell*, const cell*>> marked_ranges;

bool record_mark(node_id node) {
  series_buffer* buffer = buffer_of(node);
  bool fresh = !(buffer->flags & series_flag::marked);
  buffer->flags |= series_flag::marked;
  marked_nodes.push_back(node);
  return fresh;
}
void record_cells(cell* first, cell* last) { marked_ranges.emplace_back(first, last); }

bool marked(node_id node) { return std::find(marked_nodes.begin(), marked_nodes.end(), node) != marked_nodes.end(); }

TEST_F(HashTable, MarkReachesEveryArrayOfAHash) {
  marked_nodes.clear();
  marked_ranges.clear();
  node_id block = block_of({integer(1), integer(1), integer(2)});
  node_id table = ht::create(3, block, ht::hash_kind);
  ht::record r = ht::record_of(table);
  node_id chain = array::pick_ptr(r.chains, 1);
  ht::mark(table, {record_mark, record_cells});
  for (node_id node : {table, r.positions, r.chains, chain, r.flags, r.keys, block}) EXPECT_TRUE(marked(node)) << node;
  ASSERT_EQ(marked_ranges.size(), 1u);
  EXPECT_EQ(marked_ranges[0].first, at(block, 0));
  EXPECT_EQ(marked_ranges[0].second, at(block, 3));
  // A record marked already (as a plain series) still has its arrays marked; cells that were
  // marked are not handed on again.
  for (node_id node : marked_nodes) buffer_of(node)->flags &= ~series_flag::marked;
  marked_nodes.clear();
  marked_ranges.clear();
  buffer_of(table)->flags |= series_flag::marked;
  ht::mark(table, {record_mark, record_cells});
  for (node_id node : {r.positions, r.chains, chain, r.flags, r.keys, block}) EXPECT_TRUE(marked(node)) << node;
  size_t before = marked_ranges.size();
  ht::mark(table, {record_mark, record_cells});
  EXPECT_EQ(marked_ranges.size(), before);
  for (node_id node : marked_nodes) buffer_of(node)->flags &= ~series_flag::marked;
}

TEST_F(HashTable, OwnersTableMarksKeysAndSweepsDeadOnes) {
  marked_nodes.clear();
  marked_ranges.clear();
  node_id owners = ht::create(0, 0, ht::owners_kind, 3);
  node_id owned_block = block_of({integer(1)}), owned_text = alloc_bytes(4), loose = alloc_bytes(4);
  node_id context = alloc_cells(2), dead_context = alloc_cells(2);
  const cell object{32, context, 0, 0}, dead_object{32, dead_context, 0, 0};
  ht::put_key(owners, owned_block, std::array{cell{block_type, 0, owned_block, 0}, object, word(1)}.data());
  ht::put_key(owners, owned_text, std::array{text(U"x"), object, word(1)}.data());
  ht::put_key(owners, loose, std::array{cell{2, 0, 0, 0}, dead_object, word(1)}.data());

  ht::mark(owners, {record_mark, record_cells});
  EXPECT_TRUE(marked(owned_block));
  EXPECT_TRUE(marked(owned_text));
  EXPECT_TRUE(marked(ht::record_of(owners).block));
  // The owned block's cells were marked, the byte series has none.
  bool block_cells = false;
  for (auto& range : marked_ranges) block_cells |= range.first == at(owned_block, 0);
  EXPECT_TRUE(block_cells);

  // Sweep as if the text and the dead owner had not been reached.
  buffer_of(owned_text)->flags &= ~series_flag::marked;
  buffer_of(context)->flags |= series_flag::marked;
  buffer_of(dead_context)->flags &= ~series_flag::marked;
  ht::sweep(owners);
  EXPECT_NE(ht::get_key(owners, owned_block), nullptr);
  EXPECT_EQ(ht::get_key(owners, owned_text), nullptr);
  EXPECT_EQ(ht::get_key(owners, loose), nullptr);
  EXPECT_EQ(ht::record_of(owners).count, 1u);
  for (node_id node : marked_nodes) buffer_of(node)->flags &= ~series_flag::marked;
  for (node_id node : {context, dead_context}) buffer_of(node)->flags &= ~series_flag::marked;
}

// ---- Pointer maps ------------------------------------------------------------------------

TEST(PointerMap, PutGetAndGrowth) {
  pointer_map* map = pointer_maps::create(0);
  EXPECT_EQ(map->buckets, 8u);
  EXPECT_EQ(map->upper_bound, 6u);
  EXPECT_TRUE(pointer_maps::put(map, 5, 50));
  EXPECT_FALSE(pointer_maps::put(map, 5, 55));
  EXPECT_EQ(*pointer_maps::get(map, 5), 55u);
  EXPECT_EQ(pointer_maps::get(map, 6), nullptr);
  for (uint32_t k = 6; k <= 11; ++k) pointer_maps::put(map, k, k * 10);
  EXPECT_EQ(map->buckets, 16u);
  EXPECT_EQ(map->upper_bound, 12u);
  for (uint32_t k = 100; k < 20000; ++k) pointer_maps::put(map, k * 40000, k);
  EXPECT_EQ(map->count, 7u + 19900u);
  for (uint32_t k = 100; k < 20000; ++k) ASSERT_EQ(*pointer_maps::get(map, k * 40000), k);
  EXPECT_EQ(*pointer_maps::get(map, 8), 80u);
  pointer_maps::destroy(map);
}

}  // namespace
}  // namespace tav
