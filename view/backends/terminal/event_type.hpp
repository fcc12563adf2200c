// event!: the value the terminal backend hands to the GUI layer for every event it dispatches.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace tav::event {

// Event type ids, 1 to 35.
inline constexpr uint32_t type_count = 35;
inline constexpr uint32_t type_wheel = 11;

// Event flag bits.
namespace flag {
inline constexpr uint32_t special_key = 0x1;
inline constexpr uint32_t key_mask = 0xFFFF;  // where `make` puts the key it is given
inline constexpr uint32_t aux_down = 0x400000;
inline constexpr uint32_t alt_down = 0x800000;
inline constexpr uint32_t mid_down = 0x1000000;
inline constexpr uint32_t down = 0x2000000;
inline constexpr uint32_t away = 0x4000000;
inline constexpr uint32_t control = 0x10000000;
inline constexpr uint32_t shift = 0x20000000;
inline constexpr uint32_t alt = 0x40000000;
inline constexpr uint32_t command = 0x80000000;
}  // namespace flag

// The cell: payload 1 the event type id, payload 2 the reference of a dispatch record or, with
// the header's event_block bit, the node of a made event's block [face window offset picked],
// payload 3 the flags.
inline uint32_t type_id_of(const cell& event) { return event.payload1; }
inline uint32_t flags_of(const cell& event) { return event.payload3; }
cell make_dispatched(uint32_t type_id, uint32_t record, uint32_t flags);

// The type id a word names (case ignored), 0 when none.
uint32_t word_to_type(const cell& word);

// Once the event and key words are interned: their symbols, and the flags block.
void bind_words();

// The registration of type 54, run by start-up when the GUI layer is defined.
void init();

}  // namespace tav::event
