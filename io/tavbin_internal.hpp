// TAVBIN reader and writer objects: one per decode or encode, holding what the module's
// routines share during that call (input bounds, symbol table, output buffers, depth).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "datatypes/registry.hpp"
#include "datatypes/types.hpp"
#include "io/tavbin.hpp"
#include "runtime/cell.hpp"
#include "runtime/errors.hpp"
#include "runtime/memory.hpp"
#include "runtime/series.hpp"

namespace tav::tavbin {

inline cell* append(const cell& block) { return alloc_block_tail(block); }
// Cell `index` of the block counted from its buffer's offset; valid until the next allocation.
inline cell& cell_at(const cell& block, uint32_t index) { return buffer_of(block.payload2)->cells()[index]; }
inline uint32_t count_of(const cell& block) { return buffer_of(block.payload2)->count(); }

// Flags of the bitset, money, tuple and date cells that the records carry.
inline constexpr uint32_t bitset_complement = 0x80000;  // among the bit buffer's series flags
inline constexpr uint32_t money_negative = 0x4000;      // in the money! cell's header
inline constexpr uint32_t tuple_length_shift = 19;
inline constexpr uint32_t date_time_flag = 1u << 16;

inline bool registered_p(uint32_t id) { return id < type_table_size && datatype::type_name_table[id].name; }

// Types whose records carry their binding or code: words, contexts, objects, functions,
// natives, actions, ops and errors.
inline bool bound_type_p(uint8_t type) {
  return type == TYPE_CONTEXT || (type >= TYPE_WORD && type <= TYPE_REFINEMENT) ||
         (type >= TYPE_NATIVE && type <= TYPE_FUNCTION) || type == TYPE_OBJECT || type == TYPE_ERROR;
}

// Types with no record at all.
inline bool no_codec_p(uint8_t type) {
  return type == TYPE_ROUTINE || type == TYPE_TRIPLE || type == TYPE_HANDLE || type == TYPE_PORT ||
         type == TYPE_EVENT;
}

// A vector's element type and width: integers and characters of 1, 2 or 4 bytes, floats and
// percents of 4 or 8.
inline bool vector_kind_p(uint32_t element, uint32_t unit_code) {
  if (element == TYPE_INTEGER || element == TYPE_CHAR) return unit_code <= 2;
  if (element == TYPE_FLOAT || element == TYPE_PERCENT) return unit_code == 2 || unit_code == 3;
  return false;
}

[[noreturn, gnu::cold]] inline void not_done() { fire(error_id::internal_not_done); }

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

// Header-word bits of the fixed-width layout.
namespace word_bit {
inline constexpr uint32_t type_mask = 0xFF;
inline constexpr uint8_t padding = 0;     // a type id of 0: the word is skipped
inline constexpr uint8_t reference = 255;  // the type id of a reference record
inline constexpr uint32_t unit_shift = 8;  // strings, binaries, vectors: unit size; tuples: length
inline constexpr uint32_t op_source_shift = 16;
inline constexpr uint32_t referenced = 1u << 19;
inline constexpr uint32_t money_negative = 1u << 22;
inline constexpr uint32_t bitset_complement = 1u << 23;
inline constexpr uint32_t handlers = 1u << 24;
inline constexpr uint32_t global = 1u << 25;  // words: global (codec mode) or a definition (boot mode)
inline constexpr uint32_t context_kind_shift = 26;
inline constexpr uint32_t context_object = 1u << 28;
inline constexpr uint32_t context_stack = 1u << 29;
inline constexpr uint32_t context_values = 1u << 30;
inline constexpr uint32_t new_line = 1u << 31;
}  // namespace word_bit

// Nesting deeper than this (a stream of nested blocks, or a block that holds itself), or than
// 32 MB of machine stack below the call that began the walk, raises internal/stack-overflow.
// The stack budget keeps a deep error unwinding within what the sanitizers follow.
inline constexpr uint32_t max_depth = 100000;
inline constexpr size_t stack_budget = size_t{32} << 20;

// What the raising of the error and its unwinding need below the deepest level.
inline constexpr size_t stack_margin = size_t{4} << 20;

class nesting {
 public:
  nesting() : entry_(static_cast<const char*>(__builtin_frame_address(0))), floor_(stack_floor()) {}
  // One more level; raises internal/stack-overflow past either limit.
  void enter();
  void leave() { --depth_; }

 private:
  // On the runtime thread, the lowest frame address its stack leaves room below; 0 elsewhere.
  static uintptr_t stack_floor();

  const char* entry_;
  uintptr_t floor_;
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

// The children of one value being written, left however the writing of them ends.
class path_level {
 public:
  explicit path_level(reference_paths& paths) : paths_(paths) { paths_.enter(); }
  ~path_level() { paths_.leave(); }
  path_level(const path_level&) = delete;
  path_level& operator=(const path_level&) = delete;

 private:
  reference_paths& paths_;
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
  // The same for a fixed-width stream; `payload` lies `input_offset` bytes into the stream.
  void decode_records(const uint8_t* payload, const uint8_t* end, const cell& destination, bool symbols);
  const uint8_t* decode_value(const uint8_t* p, const uint8_t* limit, const cell& destination);

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
  // A number of the layout being read: a word of the fixed layout, else an unsigned varint.
  uint32_t read_number(const uint8_t*& p, const uint8_t* limit) const {
    return fixed_ ? read_u32(p, limit) : read_uint(p, limit);
  }
  uint32_t read_symbol(const uint8_t*& p, const uint8_t* limit);
  // The table index of the symbol read, whose entry is interned by then.
  uint32_t read_symbol_index(const uint8_t*& p, const uint8_t* limit);
  // The global word of table entry `index` (interned), its slot looked up once per decode.
  cell global_word_of(uint32_t index);
  // The symbol of table entry `index`, interned; an error at `at` when its offset is outside
  // the strings.
  uint32_t symbol_at(uint32_t index, const uint8_t* at);
  // A reference path: its depth and indexes, followed from the start of the destination of
  // the decode. Answers a copy of the cell it names.
  cell read_path(const uint8_t*& p, const uint8_t* limit);
  // A reference of the layout being read: in the fixed one the word 255 comes before the path.
  cell read_reference(const uint8_t*& p, const uint8_t* limit);

 private:
  const uint8_t* decode_series_cp(const uint8_t* p, const uint8_t* limit, const cell& destination, uint8_t type,
                                  bool flag, uint32_t header);
  const uint8_t* decode_cells_cp(const uint8_t* p, const uint8_t* limit, const cell& destination, uint8_t type,
                                 bool flag, uint32_t header);
  const uint8_t* decode_scalar_cp(const uint8_t* p, const uint8_t* limit, const cell& destination, uint8_t type,
                                  bool flag, uint32_t header, const uint8_t* at);
  const uint8_t* decode_global_definition_cp(const uint8_t* p, const uint8_t* limit, const cell& destination,
                                             uint8_t type, bool flag, uint32_t header, const uint8_t* at);

  // Words, contexts, objects, functions, natives, actions, ops and errors.
  struct record_start {
    uint8_t type;
    bool flag;
    bool reference;
    uint32_t header;  // the new-line flag
    const uint8_t* at;
    uint32_t word = 0;  // the whole header word of a fixed-width record
  };
  // One record of either layout, inside a record being read.
  const uint8_t* decode_any(const uint8_t* p, const uint8_t* limit, const cell& destination) {
    return fixed_ ? decode_value(p, limit, destination) : decode_value_cp(p, limit, destination);
  }
  // Past the zero bytes after a byte run, to the next multiple of 4 bytes of the stream.
  const uint8_t* align(const uint8_t* p, const uint8_t* limit) const;
  const uint8_t* decode_scalar(const uint8_t* p, const uint8_t* limit, const cell& destination, uint8_t type,
                               uint32_t word, const uint8_t* at);
  const uint8_t* decode_series(const uint8_t* p, const uint8_t* limit, const cell& destination, uint8_t type,
                               uint32_t word);
  const uint8_t* decode_cells(const uint8_t* p, const uint8_t* limit, const cell& destination, uint8_t type,
                              uint32_t header);
  const uint8_t* decode_series_reference(const uint8_t* p, const uint8_t* limit, const cell& destination,
                                         uint8_t type, int32_t head, uint32_t header);
  // An image's pixels after its width and height (read from `at`): a new bitmap filled from
  // the ARGB bytes, 0 when a side is 0. Sides above 65535, more than 2^28 pixels or fewer
  // bytes than the pixels need are an error at `at`.
  node_id decode_pixels(const uint8_t*& p, const uint8_t* limit, uint32_t width, uint32_t height,
                        const uint8_t* at) const;
  const uint8_t* decode_bound(const uint8_t* p, const uint8_t* limit, const cell& destination,
                              const record_start& record);
  const uint8_t* decode_word(const uint8_t* p, const uint8_t* limit, const cell& destination,
                             const record_start& record);
  const uint8_t* decode_word_boot(const uint8_t* p, const uint8_t* limit, const cell& destination,
                                  const record_start& record);
  const uint8_t* decode_context(const uint8_t* p, const uint8_t* limit, const cell& destination,
                                const record_start& record);
  // An object or function after its header word `word`; as decode_owner_cp.
  const uint8_t* decode_owner(const uint8_t* p, const uint8_t* limit, const cell* destination, uint32_t word,
                              const cell* word_block, uint32_t word_at);
  // The count word of a fixed context record whose header word is `word`, as the compact
  // flags byte and count.
  void decode_context_header(const uint8_t*& p, const uint8_t* limit, uint32_t word, uint32_t& flags,
                             int32_t& count);
  const uint8_t* decode_spec_body(const uint8_t* p, const uint8_t* limit, node_id& block);
  // The record after a word that a boot-mode definition sets it to.
  const uint8_t* finish_global_definition(const uint8_t* p, const uint8_t* limit, const cell& destination,
                                          const uint8_t* at);
  const uint8_t* decode_bound_cp(const uint8_t* p, const uint8_t* limit, const cell& destination,
                                 const record_start& record);
  const uint8_t* decode_word_cp(const uint8_t* p, const uint8_t* limit, const cell& destination,
                                const record_start& record);
  const uint8_t* decode_word_boot_cp(const uint8_t* p, const uint8_t* limit, const cell& destination,
                                     const record_start& record);
  const uint8_t* decode_context_cp(const uint8_t* p, const uint8_t* limit, const cell& destination);
  // What an object or function record holds before its context's words: the class id and
  // handler numbers of an object, the argument-block and body sizes of a function, the context's flags
  // (as the compact flags byte) and word count.
  struct owner_numbers {
    bool function;
    bool handlers;
    uint32_t class_id = 0;
    uint32_t handler[2] = {0, 0};
    uint32_t sizes[2] = {0, 0};
    uint32_t flags = 0;
    int32_t count = 0;
    const uint8_t* numbers_at = nullptr;
    const uint8_t* flags_at = nullptr;
  };
  // An object or function body after its header byte. The owner is appended to `destination`
  // when there is one; the cell at `word_at` of `word_block` (when given) gets its context.
  const uint8_t* decode_owner_cp(const uint8_t* p, const uint8_t* limit, const cell* destination, uint8_t type,
                                 bool flag, uint32_t header, const cell* word_block, uint32_t word_at);
  // The rest of an object or function of either layout: its context and, for a function, its
  // spec and body.
  const uint8_t* build_owner(const uint8_t* p, const uint8_t* limit, const cell* destination,
                             const owner_numbers& numbers, uint32_t header, const cell* word_block, uint32_t word_at);
  // The flags and word count of a context record; answers where the count began.
  const uint8_t* decode_context_body_cp(const uint8_t*& p, const uint8_t* limit, uint32_t& flags, int32_t& count);
  // The context record of a value (a context record standing as a value), either layout.
  const uint8_t* build_context(const uint8_t* p, const uint8_t* limit, const cell& destination, uint32_t flags,
                               int32_t count, const uint8_t* flags_at);
  // The words of a context record, then its values unless it is a stack context.
  const uint8_t* decode_context_values(const uint8_t* p, const uint8_t* limit, node_id context, uint32_t flags,
                                       int32_t count);
  const uint8_t* decode_code_block_cp(const uint8_t* p, const uint8_t* limit, node_id& block);
  const uint8_t* decode_owner_reference(const uint8_t* p, const uint8_t* limit, const cell& destination,
                                        const record_start& record);
  const uint8_t* decode_native(const uint8_t* p, const uint8_t* limit, const cell& destination,
                               const record_start& record);
  const uint8_t* decode_op(const uint8_t* p, const uint8_t* limit, const cell& destination,
                           const record_start& record);
  const uint8_t* decode_error(const uint8_t* p, const uint8_t* limit, const cell& destination,
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
  bool fixed_ = false;
  // The compact symbol table: N offsets (32-bit words), then S bytes of NUL-ended spellings.
  uint32_t symbol_count_ = 0;
  uint32_t strings_size_ = 0;
  const uint8_t* offsets_ = nullptr;
  const uint8_t* strings_ = nullptr;
  // Symbol ids of the table's entries, interned on first use (0 until then).
  std::vector<uint32_t> symbols_;
  // Global slots of the table's entries plus one, found on first use (0 until then).
  std::vector<uint32_t> global_slots_;
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
  void encode_value(const cell& value);
  // The whole fixed-width stream.
  std::vector<uint8_t> finish() const;

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
  void encode_image_cp(const cell& value);
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

  // The fixed-width layout.
  void pad_to(uint32_t bits);
  void emit_run(const uint8_t* bytes, size_t count);  // padded to a multiple of 4
  uint32_t symbol_index(uint32_t symbol);
  void write_value(const cell& value);
  void encode_series(const cell& value, uint8_t type, uint32_t word);
  void encode_image(const cell& value, uint32_t word);
  bool encode_reference(node_id key, share kind, uint32_t word, bool with_head, uint32_t head);
  void emit_path_fixed(const reference_paths::entry& found);
  void encode_bound(const cell& value, uint8_t type, uint32_t word);
  void encode_word(const cell& value, uint32_t word);
  void encode_context(const cell& record);
  void encode_object(const cell& object, uint32_t word);
  void encode_object_body(const cell& object, uint32_t word);
  void encode_function(const cell& function, uint32_t word);
  void encode_function_body(const cell& function);
  void encode_native(const cell& value, uint32_t word);
  void encode_op(const cell& value, uint32_t word);
  void encode_error(const cell& error, uint32_t word);

  reference_paths& paths_;

  std::vector<uint8_t> records_;
  // The symbol table in order of first use: ids, their spellings each ended by a NUL, and
  // the index of each id for the look-up.
  std::vector<uint32_t> symbol_ids_;
  std::string strings_;
  std::unordered_map<uint32_t, uint32_t> symbol_indexes_;
  // Fixed layout: each spelling's offset in the strings, which are padded to 8 bytes each.
  std::vector<uint32_t> symbol_offsets_;
  nesting nesting_;
};

}  // namespace tav::tavbin
