// binary!: the byte-string datatype and the byte API through which every module that hands
// bytes around (compression, checksums, TAVBIN, files, HTTP, the clipboard, image codecs,
// the lexer, PARSE) reads and builds binaries.
//
// A binary! cell is {41, head index, node, 0}: the head index counts bytes from the buffer's
// `offset` and may lie past the tail after the buffer shrank; the buffer's unit is 1. Several
// cells may share one node. Positions below are counted from `offset` too.
//
// Addresses answered here point into a series buffer: they stay valid across allocations
// while they sit in a local (the collector pins what the machine stack points into), but any
// call that grows the same binary may move its bytes: take the address again after it.
#pragma once
#include <cstddef>
#include <cstdint>

#include "datatypes/types.hpp"
#include "runtime/cell.hpp"
#include "runtime/memory.hpp"

namespace tav::binary {

// ---- The byte API -------------------------------------------------------------------------

inline cell make_cell(node_id node, int32_t head = 0) {
  return cell{TYPE_BINARY, static_cast<uint32_t>(head), node, 0};
}
inline node_id node_of(const cell& value) { return value.payload2; }
inline int32_t head_of(const cell& value) { return static_cast<int32_t>(value.payload1); }

// Bytes from the head to the tail; a head past the tail gives 0.
inline uint32_t ts_length_p(const cell& value) {
  const series_buffer* buffer = buffer_of(node_of(value));
  int64_t length = int64_t{buffer->tail} - buffer->offset - head_of(value);
  return length > 0 ? static_cast<uint32_t>(length) : 0;
}
// Address of the byte at the head (not clipped to the tail).
inline uint8_t* ts_head(const cell& value) { return buffer_of(node_of(value))->head() + head_of(value); }
// The byte at `position`; the caller keeps the position below the tail.
inline uint8_t get_byte(const cell& value, uint32_t position) { return buffer_of(node_of(value))->head()[position]; }

// Turns the cell into an empty binary! with room for `capacity` bytes (16 when 0). The cell is
// unset! while the buffer is allocated, so a collection then sees a harmless cell.
cell* make_at(cell& target, uint32_t capacity);
// A new binary! holding a copy of `count` bytes: the new tail cell of `block`, or with a null
// block a new cell pushed on the argument stack. The bytes may lie in a series buffer.
cell* load_in(const uint8_t* bytes, size_t count, cell* block);
inline cell* load(const uint8_t* bytes, size_t count) { return load_in(bytes, count, nullptr); }

// Appends `count` bytes at the tail (the buffer doubles, or grows to twice `count` when that
// is more) and answers where the copy starts; the head index is unchanged. The bytes may lie
// in the same binary.
uint8_t* append_bytes(cell& value, const uint8_t* bytes, uint32_t count);
// Inserts `count` bytes `offset` bytes after the head, moving the rest up (a short buffer
// grows to twice its capacity plus `count`); answers where the inserted bytes start.
uint8_t* insert_bytes(cell& value, uint32_t offset, const uint8_t* bytes, uint32_t count);
// Appends the integer's four bytes, most significant first.
void append_int32(int32_t integer, cell& value);

// Stores an integer!'s or char!'s low 8 bits at the address; any other value raises
// script/invalid-arg with it.
void set_value(uint8_t* address, const cell& value);

// Byte comparison of a binary with a binary! or a text value (string!, file!, url!, tag!,
// email!, ref!: its UTF-8 form from its head): -1, 0 or 1 under the compare op, -2 for any
// other value. In `match` mode 0 means the binary's bytes begin with the other's.
int32_t compare_value(const cell& value1, const cell& value2, int32_t op, bool match);
// Whether the bytes at the head begin with a text or binary value, or equal a char!'s code
// point; any other value never matches.
bool match_value_p(const cell& binary, const cell& value, int32_t op);
// Whether the byte at the head is in the bitset (a byte beyond the bitset's storage answers
// its complement flag); false at the tail.
bool match_bitset_p(const cell& binary, const cell& bitset);

// The byte form of a value, written at `destination` or only measured; answers its size.
// Modes: 0 measure, 1 write, 2 write when `destination` is given, else measure, and accept any
// type through its formed text. A limit above 0 cuts the result: text to the whole characters
// that fit, char! and tuple! bytes to the first ones; on block!, paren! and hash! it counts
// elements unless `limit_counts_bytes`. An integer! outside -128..255 raises
// script/invalid-arg, a type without byte form script/bad-to-arg (modes 0 and 1), in every
// mode before anything is written.
int64_t value_bytes(uint8_t* destination, const cell& value, int32_t limit, bool limit_counts_bytes, int mode);

// ---- Handlers -----------------------------------------------------------------------------

cell* to(cell* prototype, cell* spec, int32_t type);
int32_t form(cell* value, cell* buffer, cell* part, int32_t limit);
int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent);
int32_t compare(cell* value1, cell* value2, int32_t op);
cell* and_();
cell* complement(cell* value);
cell* or_();
cell* xor_();
// Append, and insert when `append` is false.
cell* append(cell* series, cell* value, int32_t part, bool only, int32_t dup, bool append);
cell* change(cell* series, cell* value, int32_t part, bool only, int32_t dup);
cell* trim(cell* series, bool head, bool tail, bool auto_, bool lines, bool all, cell* with);
void init();

}  // namespace tav::binary
