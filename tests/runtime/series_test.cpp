// Series operations: allocation in units, expansion, copies, appends, and the cell helpers.
#include <gtest/gtest.h>

#include <cstring>

#include "fire_helpers.hpp"
#include "collector_fixture.hpp"
#include "runtime/collector.hpp"
#include "runtime/heap.hpp"
#include "runtime/series.hpp"

namespace tav {
namespace {

using testing::fired_by;
using Series = testing::fresh_heap;

constexpr uint32_t made = series_flag::in_use | series_flag::allocated;

void put_bytes(series_buffer* buffer, const char* text) {
  size_t n = std::strlen(text);
  std::memcpy(buffer->data() + buffer->tail, text, n);
  buffer->tail += static_cast<uint32_t>(n);
}

std::string used_text(series_buffer* buffer) {
  return std::string(reinterpret_cast<const char*>(buffer->head()), buffer->used());
}

TEST_F(Series, AllocationSizesByKind) {
  struct row {
    const char* what;
    node_id node;
    uint32_t size, unit;
  };
  for (auto [what, node, size, unit] : {
           row{"bytes 0", alloc_bytes(0), 16, 1},
           row{"bytes 17", alloc_bytes(17), 32, 1},
           row{"by unit 0, Latin-1", alloc_by_unit(0, 1), 16, 1},
           row{"by unit 0, UCS-2", alloc_by_unit(0, 2), 16, 2},
           row{"by unit 0, UCS-4", alloc_by_unit(0, 4), 16, 4},
           row{"by unit 5, UCS-4", alloc_by_unit(5, 4), 32, 4},
           row{"cells 3", alloc_cells(3), 48, 16},
       }) {
    series_buffer* buffer = buffer_of(node);
    EXPECT_EQ(buffer->size, size) << what;
    EXPECT_EQ(buffer->unit(), unit) << what;
    EXPECT_EQ(buffer->node, node) << what;
    EXPECT_EQ(buffer->count(), 0u) << what;
  }
}

TEST_F(Series, HeadInsertionPutsTheFirstUnitAtTheMiddle) {
  node_id node = alloc_series(8, 4, -1);
  series_buffer* buffer = buffer_of(node);
  EXPECT_EQ(buffer->offset, 16u);
  EXPECT_EQ(buffer->head(), buffer->data() + buffer->size / 2);
  EXPECT_NE(buffer->flags & series_flag::head_insertion, 0u);
  uint32_t item = 0xCAFE;
  std::memcpy(alloc_tail_bytes(buffer, 4), &item, 4);
  EXPECT_EQ(buffer->count(), 1u);
  EXPECT_EQ(std::memcmp(buffer->data() + 16, &item, 4), 0);  // head index 0 counts from offset
}

TEST_F(Series, FilledAndUnsetAllocationsCoverTheWholeArea) {
  series_buffer* bytes = buffer_of(alloc_bytes_filled(5, 0xAB));
  for (uint32_t i = 0; i < bytes->size; ++i) ASSERT_EQ(bytes->data()[i], 0xAB) << i;

  // Dirty a frame region first, so that the unset cells are written, not found.
  std::memset(alloc_series_buffer(200, 1, 0)->data(), 0x5A, 208);
  memory::state.series_current->heap -= 208 + buffer_overhead;
  series_buffer* cells = buffer_of(alloc_unset_cells(13));
  EXPECT_EQ(cells->size, 208u);
  auto* first = reinterpret_cast<cell*>(cells->data());
  for (uint32_t i = 0; i < 13; ++i) {
    EXPECT_EQ(first[i].header, unset_header);
    EXPECT_EQ(first[i].payload1 | first[i].payload2 | first[i].payload3, 0u);
  }
}

TEST_F(Series, FixedSeriesLivesOutsideTheFrames) {
  size_t blocks = heap_block_count();
  node_id node = alloc_fixed_series(10, 16, 32);
  series_buffer* buffer = buffer_of(node);
  EXPECT_EQ(heap_block_count(), blocks + 1);
  EXPECT_EQ(buffer->flags, 16u + 0xA0100000u);
  EXPECT_EQ(buffer->size, 160u);
  EXPECT_EQ(buffer->offset, 32u);
  EXPECT_EQ(buffer->tail, 32u);
  EXPECT_EQ(memory::state.series_head, nullptr);
  heap_free(buffer);
}

TEST_F(Series, ExpansionKeepsBytesPastTailAndEveryReferenceSeesIt) {
  node_id node = alloc_bytes(16);
  series_buffer* old = buffer_of(node);
  alloc_bytes(16);  // a buffer right after it: it cannot grow where it lies
  put_bytes(old, "abcdef");
  old->data()[6] = 0;  // a terminator past tail
  old->data()[7] = 'z';
  const cell first{7, 0, node, 0}, second{7, 3, node, 0};

  series_buffer* fresh = expand_series(old, 64);
  EXPECT_NE(fresh, old);
  EXPECT_EQ(buffer_of(first.payload2), fresh);
  EXPECT_EQ(buffer_of(second.payload2), fresh);
  EXPECT_EQ(fresh->node, node);
  EXPECT_EQ(fresh->size, 64u);
  EXPECT_EQ(used_text(fresh), "abcdef");
  EXPECT_EQ(fresh->data()[6], 0);
  EXPECT_EQ(fresh->data()[7], 'z');
  EXPECT_EQ(fresh->flags, made | 1);
  EXPECT_EQ(old->node, 0u);  // abandoned
  EXPECT_EQ(old->flags & series_flag::in_use, 0u);
}

// The last buffer of the current frame grows into the free room after it, as long as that room
// is larger than the growth; every other case moves it to a new buffer.
TEST_F(Series, ExpansionGrowsTheLastBufferOfTheFrameWhereItLies) {
  struct row {
    const char* what;
    int64_t beyond_room;  // the growth, in 16-byte steps past the frame's free room (negative: inside it)
    bool in_place;
  };
  for (auto [what, beyond_room, in_place] : {
           row{"well inside the room", -8, true},
           row{"the largest growth below the room", 0, true},
           row{"the room taken whole or more", 1, false},
       }) {
    node_id node = alloc_bytes(16);
    series_buffer* old = buffer_of(node);
    put_bytes(old, "abc");
    old->data()[3] = 'z';  // past tail
    series_frame* frame = memory::state.series_current;
    ASSERT_EQ(reinterpret_cast<uint8_t*>(next_buffer(old)), frame->heap) << what;
    auto room = static_cast<int64_t>(frame->free_bytes());
    int64_t more = (room - 1) / 16 * 16 + beyond_room * 16;
    uint8_t* heap = frame->heap;

    series_buffer* fresh = expand_series(old, 16 + more);
    EXPECT_EQ(fresh == old, in_place) << what;
    EXPECT_EQ(buffer_of(node), fresh) << what;
    EXPECT_EQ(fresh->size, 16 + more) << what;
    EXPECT_EQ(used_text(fresh), "abc") << what;
    EXPECT_EQ(fresh->data()[3], 'z') << what;
    EXPECT_EQ(fresh->flags & ~series_flag::big, made | 1) << what;
    if (in_place) {
      EXPECT_EQ(frame->heap, heap + more) << what << ": nothing abandoned";
      EXPECT_EQ(reinterpret_cast<uint8_t*>(next_buffer(fresh)), frame->heap) << what;
    } else {
      EXPECT_EQ(old->flags & series_flag::in_use, 0u) << what;
    }
    EXPECT_EQ(collector::check_heap(false), nullptr) << what;
  }
}

TEST_F(Series, ExpansionMovesDataFromOffsetToTheDataStart) {
  node_id node = alloc_series(32, 1, -1);
  series_buffer* old = buffer_of(node);
  put_bytes(old, "xyz");
  series_buffer* fresh = expand_series(old, 0);  // 0 doubles
  EXPECT_EQ(fresh->size, 64u);
  EXPECT_EQ(fresh->offset, 0u);
  EXPECT_EQ(fresh->tail, 3u);
  EXPECT_EQ(used_text(fresh), "xyz");
  EXPECT_NE(fresh->flags & series_flag::head_insertion, 0u);  // the flags word comes along
}

TEST_F(Series, ExpansionToABadSizeRaisesNoMemory) {
  series_buffer* buffer = buffer_of(alloc_bytes(16));
  for (int64_t size : {int64_t{-1}, int64_t{-4096}, int64_t{0x80000000}})
    EXPECT_EQ(fired_by([&] { expand_series(buffer, size); }), error_id::internal_no_memory) << size;
  EXPECT_EQ(buffer->flags & series_flag::in_use, series_flag::in_use);  // untouched
}

TEST_F(Series, ShrinkingExpansionCutsTailToTheNewArea) {
  node_id node = alloc_bytes(64);
  series_buffer* buffer = buffer_of(node);
  put_bytes(buffer, "0123456789012345678901234567890123456789");
  buffer = expand_series(buffer, 16);
  EXPECT_EQ(buffer->size, 16u);
  EXPECT_EQ(buffer->tail, 16u);
  EXPECT_EQ(used_text(buffer), "0123456789012345");
}

TEST_F(Series, BufferLeavingABigFrameDropsTheBigFlag) {
  node_id node = alloc_bytes(3 << 20);
  EXPECT_NE(buffer_of(node)->flags & series_flag::big, 0u);
  series_buffer* small = expand_series(buffer_of(node), 64);
  EXPECT_EQ(small->flags & series_flag::big, 0u);
  series_buffer* big = expand_series(small, 3 << 20);
  EXPECT_NE(big->flags & series_flag::big, 0u);
  EXPECT_EQ(buffer_of(node), big);
}

TEST_F(Series, FilledExpansionFillsEverythingAfterTheCopiedBytes) {
  node_id node = alloc_series(16, 1, 4);  // data starts 4 bytes in
  series_buffer* buffer = buffer_of(node);
  put_bytes(buffer, "ab");
  buffer = expand_series_filled(buffer, 40, 0xEE);
  EXPECT_EQ(buffer->size, 48u);
  EXPECT_EQ(used_text(buffer), "ab");
  for (uint32_t i = 12; i < 48; ++i) ASSERT_EQ(buffer->data()[i], 0xEE) << i;
}

TEST_F(Series, CopyHasItsOwnNodeAndDropsTheOwnerMark) {
  node_id node = alloc_series(20, 1, 5);
  series_buffer* source = buffer_of(node);
  put_bytes(source, "hello");
  set_series_flags(node, series_flag::owned);
  node_id copy = copy_series(source);
  series_buffer* target = buffer_of(copy);
  EXPECT_NE(copy, node);
  EXPECT_EQ(target->node, copy);
  EXPECT_EQ(target->size, source->size);
  EXPECT_EQ(target->offset, 0u);
  EXPECT_EQ(used_text(target), "hello");
  EXPECT_EQ(target->flags, made | 1);
  put_bytes(target, "!");
  EXPECT_EQ(used_text(source), "hello");
}

TEST_F(Series, AppendingCellsDoublesTheBuffer) {
  node_id node = alloc_cells(2);
  const cell block{5, 0, node, 0};
  for (uint32_t i = 0; i < 5; ++i) {
    cell* slot = alloc_block_tail(block);
    EXPECT_EQ(slot->header, unset_header);
    slot->payload1 = i;
  }
  series_buffer* buffer = buffer_of(node);
  EXPECT_EQ(buffer->count(), 5u);
  EXPECT_EQ(buffer->size, 128u);  // 32, 64, 128
  for (uint32_t i = 0; i < 5; ++i) EXPECT_EQ(buffer->cells()[i].payload1, i);
}

TEST_F(Series, AppendingToABlockWithoutRoomGrows) {
  node_id node = alloc_cells(0);
  EXPECT_EQ(buffer_of(node)->size, 0u);
  alloc_tail(buffer_of(node))->payload2 = 42;
  EXPECT_EQ(buffer_of(node)->count(), 1u);
  EXPECT_EQ(buffer_of(node)->cells()[0].payload2, 42u);
}

TEST_F(Series, TailBytesGrowToTwiceTheRequestOrTheSize) {
  struct row {
    uint32_t size, used, request, grown;
  };
  for (auto [size, used, request, grown] :
       {row{16, 10, 6, 16}, row{16, 10, 7, 32}, row{16, 16, 40, 80}, row{64, 60, 10, 128}}) {
    node_id node = alloc_bytes(size);
    buffer_of(node)->tail = used;
    uint8_t* place = alloc_tail_bytes(buffer_of(node), request);
    series_buffer* buffer = buffer_of(node);
    EXPECT_EQ(buffer->size, grown) << size << "+" << request;
    EXPECT_EQ(place, buffer->data() + used);
    EXPECT_EQ(buffer->tail, used + request);
  }
}

TEST(CellHelpers, CopyTypeAndNewLine) {
  cell a{cell_flag::new_line | 7, 1, 2, 3};
  cell b{};
  EXPECT_EQ(&copy_cell(a, b), &b);
  EXPECT_EQ(std::memcmp(&a, &b, sizeof(cell)), 0);
  cell before = a;
  copy_cell(a, a);
  EXPECT_EQ(std::memcmp(&a, &before, sizeof(cell)), 0);

  set_type(a, 11);
  EXPECT_EQ(a.type(), 11);
  EXPECT_EQ(a.header, cell_flag::new_line | 11);
  clear_new_line(a);
  EXPECT_EQ(a.header, 11u);
}

}  // namespace
}  // namespace tav
