// TAVBIN reader and writer objects: one per decode or encode, holding what the module's
// routines share during that call (input bounds, symbol table, output buffers, depth).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "io/tavbin.hpp"
#include "runtime/cell.hpp"
#include "runtime/memory.hpp"
#include "runtime/series.hpp"

namespace tav::tavbin {

inline cell* append(const cell& block) { return alloc_block_tail(block); }
// Cell `index` of the block counted from its buffer's offset; valid until the next allocation.
inline cell& cell_at(const cell& block, uint32_t index) { return buffer_of(block.payload2)->cells()[index]; }
inline uint32_t count_of(const cell& block) { return buffer_of(block.payload2)->count(); }

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

// What a shared series or context may be written as a reference to: a value of the same
// share class (a block-family record may also name a callable, whose cell holds its spec).
enum class share : uint8_t { none, cells, hash, map, text, bytes, vector, bitset, image, context };
share share_of(uint8_t type);

// Deepest reference path a stream may hold.
inline constexpr uint32_t max_path_depth = 65536;

// The writer's reference state: the current index of the value being written among its
// container's children, the indexes of the enclosing containers, and the path of every key
// met (a series node, or the context node of a word, object, function or error). Node ids
// never move and the writer allocates no value, so the table needs no collector callback.
// Kept between encodes and emptied at the start and end of each; oversized buffers shrink.
class reference_paths {
 public:
  struct entry {
    uint32_t offset;  // of the path in `paths_`: its depth, then its indexes
    share kind;
  };
  void reset();
  const entry* find(node_id key) const {
    auto found = keys_.find(key);
    return found == keys_.end() ? nullptr : &found->second;
  }
  // Records the key's path: the enclosing indexes, then the current index. A path deeper
  // than a reader accepts is not recorded, so the value is written in full wherever met.
  void record(node_id key, share kind);
  // The value's children start at index 0.
  void enter() {
    stack_.push_back(current_);
    current_ = 0;
  }
  void leave() {
    current_ = stack_.back();
    stack_.pop_back();
  }
  void advance() { ++current_; }
  void step_back() { --current_; }
  const uint32_t* path_at(uint32_t offset) const { return paths_.data() + offset; }

 private:
  static constexpr size_t stack_room = 1024;
  static constexpr size_t paths_room = 65536 / sizeof(uint32_t);
  uint32_t current_ = 0;
  std::vector<uint32_t> stack_;
  std::vector<uint32_t> paths_;
  std::unordered_map<node_id, entry> keys_;
};

class TavbinReader {
 public:
  // Error offsets count from `input`, plus `input_offset` bytes it lies into the stream (a
  // decompressed payload is counted as if it stood after the 8-byte header). `base` is the
  // number of cells the destination held before the decode: boot-mode words name the values
  // after them by position.
  TavbinReader(const uint8_t* input, size_t input_offset, bool codec, uint32_t base = 0);

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
  // A reference path: its depth and indexes, followed from the start of the destination of
  // the decode. Answers a copy of the cell it names.
  cell read_path(const uint8_t*& p, const uint8_t* limit);

 private:
  const uint8_t* decode_series_cp(const uint8_t* p, const uint8_t* limit, const cell& destination, uint8_t type,
                                  bool flag, uint32_t header);
  const uint8_t* decode_cells_cp(const uint8_t* p, const uint8_t* limit, const cell& destination, uint8_t type,
                                 bool flag, uint32_t header);
  const uint8_t* decode_scalar_cp(const uint8_t* p, const uint8_t* limit, const cell& destination, uint8_t type,
                                  bool flag, uint32_t header, const uint8_t* at);
  const uint8_t* decode_series_reference_cp(const uint8_t* p, const uint8_t* limit, const cell& destination,
                                            uint8_t type, bool flag, uint32_t header);
  const uint8_t* decode_global_definition_cp(const uint8_t* p, const uint8_t* limit, const cell& destination,
                                             uint8_t type, bool flag, uint32_t header, const uint8_t* at);

  // Words, contexts, objects, functions, natives, actions, ops and errors.
  struct record_start {
    uint8_t type;
    bool flag;
    bool reference;
    uint32_t header;  // the new-line flag
    const uint8_t* at;
  };
  const uint8_t* decode_bound_cp(const uint8_t* p, const uint8_t* limit, const cell& destination,
                                 const record_start& record);
  const uint8_t* decode_word_cp(const uint8_t* p, const uint8_t* limit, const cell& destination,
                                const record_start& record);
  const uint8_t* decode_word_boot_cp(const uint8_t* p, const uint8_t* limit, const cell& destination,
                                     const record_start& record);
  const uint8_t* decode_context_cp(const uint8_t* p, const uint8_t* limit, const cell& destination);
  // An object or function body after its header byte. The owner is appended to `destination`
  // when there is one; the cell at `word_at` of `word_block` (when given) gets its context.
  const uint8_t* decode_owner_cp(const uint8_t* p, const uint8_t* limit, const cell* destination, uint8_t type,
                                 bool flag, uint32_t header, const cell* word_block, uint32_t word_at);
  // The flags and word count of a context record; answers where the count began.
  const uint8_t* decode_context_body_cp(const uint8_t*& p, const uint8_t* limit, uint32_t& flags, int32_t& count);
  // The words of a context record, then its values unless it is a stack context.
  const uint8_t* decode_context_values_cp(const uint8_t* p, const uint8_t* limit, node_id context, uint32_t flags,
                                          int32_t count);
  const uint8_t* decode_code_block_cp(const uint8_t* p, const uint8_t* limit, node_id& block);
  const uint8_t* decode_owner_reference_cp(const uint8_t* p, const uint8_t* limit, const cell& destination,
                                           const record_start& record);
  const uint8_t* decode_native_cp(const uint8_t* p, const uint8_t* limit, const cell& destination,
                                  const record_start& record);
  const uint8_t* decode_op_cp(const uint8_t* p, const uint8_t* limit, const cell& destination,
                              const record_start& record);
  const uint8_t* decode_error_cp(const uint8_t* p, const uint8_t* limit, const cell& destination,
                                 const record_start& record);
  // The context a cell carries (object, error, function, op of a function, bound word), or 0.
  node_id carried_context(const cell& value) const;

  const uint8_t* input_;
  size_t input_offset_;
  bool codec_;
  uint32_t base_;
  // The destination of the decode, where reference paths start.
  cell root_{};
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
  TavbinWriter();
  ~TavbinWriter();
  TavbinWriter(const TavbinWriter&) = delete;
  TavbinWriter& operator=(const TavbinWriter&) = delete;

  void encode_value_cp(const cell& value);
  // A boot-mode global definition: the word in its global form, then its value. Neither
  // stays among the reader's top-level values, so neither counts in reference paths.
  void encode_global_definition_cp(const cell& word, const cell& value);
  // The whole compact stream: header, counts, symbol table, records.
  std::vector<uint8_t> finish_cp(uint8_t version = writer_version, uint32_t root_count = 1) const;

 private:
  void emit_byte(uint8_t b) { records_.push_back(b); }
  void emit_uint(uint32_t v);
  void emit_sint(int32_t n) { emit_uint((static_cast<uint32_t>(n) << 1) ^ static_cast<uint32_t>(n >> 31)); }
  void emit_u32(uint32_t w);
  void emit_bytes(const uint8_t* bytes, size_t count) { records_.insert(records_.end(), bytes, bytes + count); }
  void emit_header(uint8_t type, bool flag);
  uint32_t symbol_index_cp(uint32_t symbol);

  void write_value_cp(const cell& value);
  void encode_series_cp(const cell& value, uint8_t type);
  void encode_number_cp(const cell& value, uint8_t type);
  // When the key was met before as a value of the same share class: the reference prefix,
  // the header (and head), then the stored path; answers true.
  bool encode_reference_cp(node_id key, share kind, uint8_t type, bool flag, uint32_t head);
  void emit_path(const reference_paths::entry& found);

  void encode_bound_cp(const cell& value, uint8_t type);
  void encode_word_cp(const cell& value, uint8_t type);
  void encode_context_cp(const cell& record);
  void encode_object_cp(const cell& object);
  void encode_object_body_cp(const cell& object);
  void encode_function_cp(const cell& function);
  void encode_function_body_cp(const cell& function);
  void encode_native_cp(const cell& value, uint8_t type);
  void encode_op_cp(const cell& value);
  void encode_error_cp(const cell& error);

  reference_paths& paths_;

  std::vector<uint8_t> records_;
  // The symbol table in order of first use: ids, their spellings each ended by a NUL, and
  // the index of each id for the look-up.
  std::vector<uint32_t> symbol_ids_;
  std::string strings_;
  std::unordered_map<uint32_t, uint32_t> symbol_indexes_;
  nesting nesting_;
};

}  // namespace tav::tavbin
