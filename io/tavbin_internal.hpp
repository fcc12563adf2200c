// TAVBIN reader and writer objects: one per decode or encode, holding what the module's
// routines share during that call (input bounds, symbol table, output buffers, depth).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "runtime/cell.hpp"

namespace tav::tavbin {

// Record framing bytes of the compact layout.
namespace byte {
inline constexpr uint8_t new_line = 0xC0;
inline constexpr uint8_t reference = 0xC1;
inline constexpr uint8_t logic_true = 0xC2;
inline constexpr uint8_t logic_false = 0xC3;
inline constexpr uint8_t global_definition = 0xC4;
inline constexpr uint8_t bare_reference = 0xFF;
inline constexpr uint8_t small_integer = 0x80;  // 0x80 + n for integers 0-63
inline constexpr uint8_t compact_form = 0x40;   // flag bit of a header byte
inline constexpr uint8_t type_mask = 0x3F;
inline constexpr uint8_t long_type = 63;  // the type id follows as a varint
}  // namespace byte

// Nesting deeper than this (a stream of nested blocks, or a block that holds itself), or than
// 32 MB of machine stack below the call that began the walk, raises internal/stack-overflow.
// The stack budget keeps a deep error unwinding within what the sanitizers follow.
inline constexpr uint32_t max_depth = 100000;
inline constexpr size_t stack_budget = size_t{32} << 20;

class nesting {
 public:
  nesting() : entry_(static_cast<const char*>(__builtin_frame_address(0))) {}
  // One more level; raises internal/stack-overflow past either limit.
  void enter();
  void leave() { --depth_; }

 private:
  const char* entry_;
  uint32_t depth_ = 0;
};

class TavbinReader {
 public:
  // Error offsets count from `input`, plus `input_offset` bytes it lies into the stream (a
  // decompressed payload is counted as if it stood after the 8-byte header).
  TavbinReader(const uint8_t* input, size_t input_offset, bool codec);

  // The counts, symbol table and records of a compact stream, from just after the flags
  // byte to `end`; every top-level value goes to the block `destination`.
  void decode_records_cp(const uint8_t* payload, const uint8_t* end, const cell& destination, bool symbols);
  // One record at p, appended to the block `destination`; answers the position after it.
  const uint8_t* decode_value_cp(const uint8_t* p, const uint8_t* limit, const cell& destination);

  [[noreturn, gnu::cold]] void throw_error(const uint8_t* at) const;

  uint8_t read_byte(const uint8_t*& p, const uint8_t* limit) const {
    if (p >= limit) [[unlikely]] throw_error(p);
    return *p++;
  }
  uint32_t read_uint(const uint8_t*& p, const uint8_t* limit) const;
  int32_t read_sint(const uint8_t*& p, const uint8_t* limit) const {
    uint32_t v = read_uint(p, limit);
    return static_cast<int32_t>((v >> 1) ^ (0u - (v & 1)));
  }
  // A count, size, head index or offset: an unsigned varint that must not be negative as a
  // signed 32-bit number.
  int32_t read_count(const uint8_t*& p, const uint8_t* limit) const;
  uint32_t read_u32(const uint8_t*& p, const uint8_t* limit) const;
  uint32_t read_symbol(const uint8_t*& p, const uint8_t* limit);

 private:
  const uint8_t* decode_series_cp(const uint8_t* p, const uint8_t* limit, const cell& destination, uint8_t type,
                                  bool flag, uint32_t header);
  const uint8_t* decode_cells_cp(const uint8_t* p, const uint8_t* limit, const cell& destination, uint8_t type,
                                 bool flag, uint32_t header);
  const uint8_t* decode_scalar_cp(const uint8_t* p, const uint8_t* limit, const cell& destination, uint8_t type,
                                  bool flag, uint32_t header, const uint8_t* at);

  const uint8_t* input_;
  size_t input_offset_;
  bool codec_;
  nesting nesting_;
  // The compact symbol table: N offsets (32-bit words), then S bytes of NUL-ended spellings.
  uint32_t symbol_count_ = 0;
  uint32_t strings_size_ = 0;
  const uint8_t* offsets_ = nullptr;
  const uint8_t* strings_ = nullptr;
  // Symbol ids of the table's entries, interned on first use (0 until then).
  std::vector<uint32_t> symbols_;
};

class TavbinWriter {
 public:
  void encode_value_cp(const cell& value);
  // The whole compact stream: header, counts, symbol table, records.
  std::vector<uint8_t> finish_cp() const;

 private:
  void emit_byte(uint8_t b) { records_.push_back(b); }
  void emit_uint(uint32_t v);
  void emit_sint(int32_t n) { emit_uint((static_cast<uint32_t>(n) << 1) ^ static_cast<uint32_t>(n >> 31)); }
  void emit_u32(uint32_t w);
  void emit_bytes(const uint8_t* bytes, size_t count) { records_.insert(records_.end(), bytes, bytes + count); }
  void emit_header(uint8_t type, bool flag);
  uint32_t symbol_index_cp(uint32_t symbol);

  void encode_series_cp(const cell& value, uint8_t type);
  void encode_number_cp(const cell& value, uint8_t type);

  std::vector<uint8_t> records_;
  // The symbol table in order of first use: ids, their spellings each ended by a NUL, and
  // the index of each id for the look-up.
  std::vector<uint32_t> symbol_ids_;
  std::string strings_;
  std::unordered_map<uint32_t, uint32_t> symbol_indexes_;
  nesting nesting_;
};

}  // namespace tav::tavbin
