// TAVBIN records of the values that carry a binding or code, in the compact layout: words in
// their global, boot-mode and codec-mode forms, global word definitions, contexts, objects with
// their change handlers, functions, natives, actions, ops and errors.
#include "datatypes/action_list.hpp"
#include "datatypes/context.hpp"
#include "datatypes/error.hpp"
#include "datatypes/function.hpp"
#include "datatypes/native.hpp"
#include "datatypes/object.hpp"
#include "datatypes/ownership.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/types.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "io/tavbin.hpp"
#include "io/tavbin_internal.hpp"
#include "runtime/errors.hpp"
#include "runtime/hashtable.hpp"

namespace tav::tavbin {
namespace {

natives_bound natives_end = nullptr;

// Flags byte of a context record.
namespace context_flag {
inline constexpr uint32_t kind_mask = 3;
inline constexpr uint32_t stack = 4;
inline constexpr uint32_t object = 8;
inline constexpr uint32_t values = 0x10;
}  // namespace context_flag

constexpr uint32_t handler_position_shift = 16;
constexpr uint32_t op_source_shift = 16;
constexpr uint32_t word_type_mask = 0xFF;

// Words of a spec that name a slot of the context made from it.
bool spec_word_p(uint8_t type) {
  return type == TYPE_WORD || type == TYPE_GET_WORD || type == TYPE_LIT_WORD || type == TYPE_REFINEMENT;
}

series_buffer* words_of_record(const cell& record) {
  return buffer_of(hashtable::record_of(record.payload1).block);
}

void set_length(node_id cells, uint32_t count) {
  series_buffer* buffer = buffer_of(cells);
  while (buffer->count() < count) {
    *alloc_tail(buffer) = unset::value;
    buffer = buffer_of(cells);
  }
  buffer->tail = buffer->offset + count * static_cast<uint32_t>(sizeof(cell));
}

node_id new_cells(uint32_t count, uint32_t filled) {
  const node_id node = alloc_unset_cells(count > 0 ? count : 1);
  series_buffer* buffer = buffer_of(node);
  buffer->tail = buffer->offset + filled * static_cast<uint32_t>(sizeof(cell));
  return node;
}

// The context made from the argument block has these words in this order.
bool words_match_spec_p(node_id context, node_id spec) {
  uint32_t position = 0;
  series_buffer* cells = buffer_of(spec);
  for (uint32_t i = 0; i < cells->count(); ++i) {
    const cell& value = cells->cells()[i];
    if (!spec_word_p(value.type())) continue;
    if (position >= context::word_count(context) ||
        word::symbol_of(*context::word_at(context, position)) != word::symbol_of(value))
      return false;
    ++position;
  }
  return position == context::word_count(context);
}


// A word read in either layout goes into the destination with its type and new-line flag: in
// its global form, bound to a context already decoded, or still without its context (answering
// its position, where the context's record binds it).
void append_global_word(const cell& destination, uint32_t header, uint32_t symbol) {
  cell word;
  word::make_at(word, symbol);
  word.header = header;
  *append(destination) = word;
}

void append_bound_word(const cell& destination, uint8_t type, uint32_t header, node_id context, uint32_t symbol,
                       int32_t index) {
  *append(destination) = word::make_cell(type, context, symbol, index);
  cell_at(destination, count_of(destination) - 1).header |= header;
}

uint32_t append_unbound_word(const cell& destination, uint8_t type, uint32_t header, uint32_t symbol, int32_t index) {
  const uint32_t position = count_of(destination);
  cell word = word::make_cell(type, 0, symbol, index);
  word.header |= header;
  *append(destination) = word;
  return position;
}

}  // namespace

void set_natives_bound(natives_bound bound) { natives_end = bound; }

// ---- Reading ------------------------------------------------------------------------------

node_id TavbinReader::carried_context(const cell& value) const {
  switch (value.type()) {
    case TYPE_OBJECT:
    case TYPE_ERROR:
    case TYPE_FUNCTION:
    case TYPE_WORD:
    case TYPE_SET_WORD:
    case TYPE_LIT_WORD:
    case TYPE_GET_WORD:
    case TYPE_REFINEMENT: return value.payload1;
    case TYPE_OP: return op::source_type(value) == TYPE_FUNCTION ? value.payload1 : 0;
    default: return 0;
  }
}

const uint8_t* TavbinReader::decode_bound_cp(const uint8_t* p, const uint8_t* limit, const cell& destination,
                                             const record_start& record) {
  switch (record.type) {
    case TYPE_CONTEXT: return decode_context_cp(p, limit, destination);
    case TYPE_NATIVE:
    case TYPE_ACTION: return decode_native(p, limit, destination, record);
    case TYPE_OP: return decode_op(p, limit, destination, record);
    case TYPE_ERROR: return decode_error(p, limit, destination, record);
    case TYPE_OBJECT:
    case TYPE_FUNCTION:
      if (record.reference) return decode_owner_reference(p, limit, destination, record);
      return decode_owner_cp(p, limit, &destination, record.type, record.flag, record.header, nullptr, 0);
    default:
      if (codec_) return decode_word_cp(p, limit, destination, record);
      return decode_word_boot_cp(p, limit, destination, record);
  }
}

const uint8_t* TavbinReader::decode_word_cp(const uint8_t* p, const uint8_t* limit, const cell& destination,
                                            const record_start& record) {
  const uint32_t symbol = read_symbol(p, limit);
  if (!record.flag) {
    append_global_word(destination, record.type | record.header, symbol);
    return p;
  }
  const int32_t index = read_sint(p, limit);
  if (record.reference) {
    const uint8_t* path_at = p;
    const node_id context = carried_context(read_path(p, limit));
    // Anything else would have its payload taken for a context.
    if (!context) throw_error(path_at);
    append_bound_word(destination, record.type, record.header, context, symbol, index);
    return p;
  }
  const uint32_t position = append_unbound_word(destination, record.type, record.header, symbol, index);
  const uint8_t* owner_at = p;
  const uint8_t b = read_byte(p, limit);
  const uint8_t owner = b & byte::type_mask;
  if (b >= 0x80 || (owner != TYPE_OBJECT && owner != TYPE_FUNCTION)) throw_error(owner_at);
  return decode_owner_cp(p, limit, nullptr, owner, (b & byte::compact_form) != 0, 0, &destination, position);
}

const uint8_t* TavbinReader::decode_word_boot_cp(const uint8_t* p, const uint8_t* limit, const cell& destination,
                                                 const record_start& record) {
  const uint32_t entry = read_symbol_index(p, limit);
  const uint32_t symbol = symbols_[entry];
  cell word;
  if (!record.flag) {
    word = global_word_of(entry);
    word.header = record.type;
  } else {
    const uint8_t* index_at = p;
    const uint32_t at = read_uint(p, limit);
    if (at >= count_of(root_) - base_) throw_error(index_at);
    const node_id context = carried_context(cell_at(root_, base_ + at));
    if (!context) throw_error(index_at);
    int32_t index = read_sint(p, limit);
    if (index == -1) {
      const int32_t position = context::find_word(context, symbol, true);
      if (position >= 0) index = word::index_of(*context::word_at(context, static_cast<uint32_t>(position)));
    }
    word = word::make_cell(record.type, context, symbol, index);
  }
  word.header |= record.header;
  *append(destination) = word;
  return p;
}

const uint8_t* TavbinReader::decode_context_body_cp(const uint8_t*& p, const uint8_t* limit, uint32_t& flags,
                                                    int32_t& count) {
  flags = read_byte(p, limit);
  const uint8_t* count_at = p;
  count = read_count(p, limit);
  if (static_cast<size_t>(count) > static_cast<size_t>(limit - p)) throw_error(count_at);
  return count_at;
}

namespace {

node_id create_context(uint32_t flags, int32_t count) {
  return context::create(static_cast<uint32_t>(count), (flags & context_flag::stack) != 0,
                         (flags & context_flag::object) != 0, 0, flags & context_flag::kind_mask);
}

}  // namespace

const uint8_t* TavbinReader::decode_context_values(const uint8_t* p, const uint8_t* limit, node_id context,
                                                   uint32_t flags, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    const uint8_t* symbol_at = p;
    int32_t added;
    // A word met twice would leave the values out of step with the words.
    if (context::find_or_add(context, read_symbol(p, limit), true, added) >= 0) throw_error(symbol_at);
  }
  if (flags & context_flag::stack) return p;
  const node_id values = context::cell_of(context)->payload2;
  const auto n = static_cast<uint32_t>(count);
  if (!(flags & context_flag::values)) {
    set_length(values, n);
    return p;
  }
  set_length(values, 0);
  const cell block{TYPE_BLOCK, 0, values, 0};
  for (uint32_t i = 0; i < n; ++i) p = decode_any(p, limit, block);
  set_length(values, n);
  return p;
}

const uint8_t* TavbinReader::decode_context_cp(const uint8_t* p, const uint8_t* limit, const cell& destination) {
  uint32_t flags;
  int32_t count;
  const uint8_t* count_at = decode_context_body_cp(p, limit, flags, count);
  return build_context(p, limit, destination, flags, count, count_at - 1);
}

const uint8_t* TavbinReader::build_context(const uint8_t* p, const uint8_t* limit, const cell& destination,
                                           uint32_t flags, int32_t count, const uint8_t* flags_at) {
  // Only a function's context keeps its values in a call frame.
  if (flags & context_flag::stack) throw_error(flags_at);
  const node_id context = create_context(flags, count);
  const cell object = object::make_cell(context, 0xFFFFFFFF, 0);
  *context::self_of(context) = object;
  *append(destination) = object;
  return decode_context_values(p, limit, context, flags, count);
}

const uint8_t* TavbinReader::decode_owner_cp(const uint8_t* p, const uint8_t* limit, const cell* destination,
                                             uint8_t type, bool flag, uint32_t header, const cell* word_block,
                                             uint32_t word_at) {
  owner_numbers numbers{type == TYPE_FUNCTION, flag && type != TYPE_FUNCTION};
  numbers.numbers_at = p;
  if (numbers.function) {
    for (uint32_t& size : numbers.sizes) {
      const uint8_t* size_at = p;
      size = static_cast<uint32_t>(read_count(p, limit));
      if (size > static_cast<size_t>(limit - p)) throw_error(size_at);
    }
  } else {
    numbers.class_id = static_cast<uint32_t>(read_sint(p, limit));
    if (numbers.handlers)
      for (uint32_t& handler : numbers.handler) handler = static_cast<uint32_t>(read_sint(p, limit));
  }
  const uint8_t* context_at = p;
  if ((read_byte(p, limit) & byte::type_mask) != TYPE_CONTEXT || context_at[0] >= 0x80) throw_error(context_at);
  numbers.flags_at = decode_context_body_cp(p, limit, numbers.flags, numbers.count) - 1;
  return build_owner(p, limit, destination, numbers, header, word_block, word_at);
}

const uint8_t* TavbinReader::build_owner(const uint8_t* p, const uint8_t* limit, const cell* destination,
                                         const owner_numbers& numbers, uint32_t header, const cell* word_block,
                                         uint32_t word_at) {
  const bool function_p = numbers.function, flag = numbers.handlers;
  const uint32_t flags = numbers.flags;
  const int32_t count = numbers.count;
  if (((flags & context_flag::stack) != 0) != function_p) throw_error(numbers.flags_at);
  const node_id context = create_context(flags, count);
  cell owner;
  if (function_p) {
    const node_id more = new_cells(function::more_cells, function::more_cells);
    const node_id spec = new_cells(numbers.sizes[0], 0), body = new_cells(numbers.sizes[1], 0);
    buffer_of(more)->cells()[function::more_body] = cell{TYPE_BLOCK, 0, body, 0};
    owner = cell{TYPE_FUNCTION, context, spec, more};
  } else {
    node_id info = 0;
    if (flag) {
      info = new_cells(2, 2);
      for (uint32_t i = 0; i < 2; ++i) buffer_of(info)->cells()[i] = cell{TYPE_PAIR, 0, numbers.handler[i], 0};
    }
    owner = object::make_cell(context, codec_ ? 0xFFFFFFFF : numbers.class_id, info);
  }
  *context::self_of(context) = owner;
  uint32_t position = 0;
  if (destination) {
    position = count_of(*destination);
    cell copy = owner;
    copy.header |= header;
    *append(*destination) = copy;
  }
  if (word_block) cell_at(*word_block, word_at).payload1 = context;
  p = decode_context_values(p, limit, context, flags, count);
  if (!function_p) {
    for (uint32_t handler : numbers.handler) {
      const uint32_t slot = handler >> handler_position_shift;
      if (flag && slot != object::no_handler && slot >= static_cast<uint32_t>(count)) throw_error(numbers.numbers_at);
    }
    if (flag && (numbers.handler[1] >> handler_position_shift) != object::no_handler) ownership::own_fields(owner);
    return p;
  }
  // The spec and body, each a block record or a reference to one.
  const uint8_t* spec_at = p;
  node_id spec = owner.payload2;
  p = fixed_ ? decode_spec_body(p, limit, spec) : decode_code_block_cp(p, limit, spec);
  owner.payload2 = spec;
  if (!words_match_spec_p(context, spec)) throw_error(spec_at);
  owner.header |= function::validate(cell{TYPE_BLOCK, 0, spec, 0});
  *context::self_of(context) = owner;
  if (destination) cell_at(*destination, position) = cell{owner.header | header, owner.payload1, spec, owner.payload3};
  node_id body = buffer_of(owner.payload3)->cells()[function::more_body].payload2;
  p = fixed_ ? decode_spec_body(p, limit, body) : decode_code_block_cp(p, limit, body);
  buffer_of(owner.payload3)->cells()[function::more_body] = cell{TYPE_BLOCK, 0, body, 0};
  return p;
}

const uint8_t* TavbinReader::decode_code_block_cp(const uint8_t* p, const uint8_t* limit, node_id& block) {
  bool reference = false;
  uint8_t b = read_byte(p, limit);
  for (; b == byte::new_line || b == byte::reference; b = read_byte(p, limit)) reference |= b == byte::reference;
  if (b >= 0x80 || (b & byte::type_mask) != TYPE_BLOCK) throw_error(p - 1);
  if (b & byte::compact_form) read_count(p, limit);  // a head index, not kept
  if (reference) {
    const uint8_t* path_at = p;
    const cell found = read_path(p, limit);
    if (found.type() != TYPE_BLOCK || !found.payload2) throw_error(path_at);
    block = found.payload2;
    return p;
  }
  const uint8_t* count_at = p;
  const int32_t n = read_count(p, limit);
  if (static_cast<size_t>(n) > static_cast<size_t>(limit - p)) throw_error(count_at);
  const cell values{TYPE_BLOCK, 0, block, 0};
  for (int32_t i = 0; i < n; ++i) p = decode_value_cp(p, limit, values);
  return p;
}

const uint8_t* TavbinReader::decode_owner_reference(const uint8_t* p, const uint8_t* limit,
                                                    const cell& destination, const record_start& record) {
  const uint8_t* path_at = p;
  const cell found = read_reference(p, limit);
  const node_id context = carried_context(found);
  if (!context) throw_error(path_at);
  cell owner = *context::self_of(context);
  if (record.type == TYPE_FUNCTION && found.type() == TYPE_OP) owner = cell{TYPE_FUNCTION, found.payload1, found.payload2, found.payload3};
  owner.header = (owner.header & ~cell_flag::new_line) | record.header;
  *append(destination) = owner;
  return p;
}

const uint8_t* TavbinReader::decode_native(const uint8_t* p, const uint8_t* limit, const cell& destination,
                                           const record_start& record) {
  const uint8_t* index_at = p;
  const uint32_t index = read_number(p, limit);
  const bool native_p = record.type == TYPE_NATIVE;
  const uint32_t end = native_p ? (natives_end ? natives_end() : 1) : action_count + 1;
  if (index < 1 || index >= end) throw_error(index_at);
  const uint32_t tag = native_p ? native::native_tag : native::action_tag;
  const uint32_t position = count_of(destination);
  *append(destination) = cell{record.type | record.header, tag | index, 0, 0};
  // The spec: kept after the cell in boot mode, read aside otherwise.
  const uint8_t* spec_at = p;
  cell spec;
  if (codec_) {
    cell aside{TYPE_BLOCK, 0, new_cells(1, 0), 0};
    p = decode_any(p, limit, aside);
    if (count_of(aside) != 1) throw_error(spec_at);
    spec = cell_at(aside, 0);
  } else {
    p = decode_any(p, limit, destination);
    if (count_of(destination) < position + 2) throw_error(spec_at);
    spec = cell_at(destination, position + 1);
  }
  if (spec.type() != TYPE_BLOCK) throw_error(spec_at);
  const node_id arguments = context::make(cell{TYPE_BLOCK, 0, spec.payload2, 0}, true, false, context::kind_function);
  const node_id more = new_cells(native::more_cells, native::more_cells);
  buffer_of(more)->cells()[native::more_context] = *context::cell_of(arguments);
  buffer_of(more)->cells()[native::more_arguments] = none::value;
  cell_at(destination, position) = cell{record.type | record.header, tag | index, spec.payload2, more};
  return p;
}

const uint8_t* TavbinReader::decode_op(const uint8_t* p, const uint8_t* limit, const cell& destination,
                                       const record_start& record) {
  const uint32_t position = count_of(destination);
  const uint8_t* source_at = p;
  p = decode_any(p, limit, destination);
  if (count_of(destination) <= position) throw_error(source_at);
  const cell source = cell_at(destination, position);
  const uint8_t type = source.type();
  if ((type != TYPE_FUNCTION && type != TYPE_NATIVE && type != TYPE_ACTION) || !op::check_spec(source.payload2))
    throw_error(source_at);
  // The fixed layout also names the source type in the op's header word.
  if (fixed_ && ((record.word >> word_bit::op_source_shift) & word_bit::type_mask) != type) throw_error(record.at);
  if (type == TYPE_FUNCTION) *function::more_cell(source, function::more_op_source) = source;
  cell& made = cell_at(destination, position);
  made.header = (source.header & ~(word_type_mask | word_type_mask << op_source_shift | cell_flag::new_line)) |
                uint32_t{type} << op_source_shift | TYPE_OP | record.header;
  return p;
}

const uint8_t* TavbinReader::decode_error(const uint8_t* p, const uint8_t* limit, const cell& destination,
                                          const record_start& record) {
  const uint8_t* code_at = p;
  const auto code = static_cast<int32_t>(read_number(p, limit));
  if (error::id_of_code(code) == error_id::count) throw_error(code_at);
  cell made = error::make_from_code(code);
  made.header |= record.header;
  *append(destination) = made;
  const node_id values = context::cell_of(made.payload1)->payload2;
  const cell files = buffer_of(values)->cells()[error::field::files];
  set_length(values, error::field::arg1);
  const cell block{TYPE_BLOCK, 0, values, 0};
  for (uint32_t i = error::field::arg1; i < error::field::files; ++i) p = decode_any(p, limit, block);
  set_length(values, error::field::files);
  *alloc_tail(buffer_of(values)) = files;
  return p;
}

// ---- Reading the fixed-width layout --------------------------------------------------------

namespace {

// The compact flags byte of a fixed context record's header word.
uint32_t context_flags_of(uint32_t word) {
  uint32_t flags = (word >> word_bit::context_kind_shift) & context_flag::kind_mask;
  if (word & word_bit::context_stack) flags |= context_flag::stack;
  if (word & word_bit::context_object) flags |= context_flag::object;
  if (word & word_bit::context_values) flags |= context_flag::values;
  return flags;
}

}  // namespace

const uint8_t* TavbinReader::decode_bound(const uint8_t* p, const uint8_t* limit, const cell& destination,
                                          const record_start& record) {
  switch (record.type) {
    case TYPE_CONTEXT: return decode_context(p, limit, destination, record);
    case TYPE_NATIVE:
    case TYPE_ACTION: return decode_native(p, limit, destination, record);
    case TYPE_OP: return decode_op(p, limit, destination, record);
    case TYPE_ERROR: return decode_error(p, limit, destination, record);
    case TYPE_OBJECT:
    case TYPE_FUNCTION:
      if (record.reference) return decode_owner_reference(p, limit, destination, record);
      return decode_owner(p, limit, &destination, record.word, nullptr, 0);
    default:
      if (codec_) return decode_word(p, limit, destination, record);
      return decode_word_boot(p, limit, destination, record);
  }
}

const uint8_t* TavbinReader::decode_word(const uint8_t* p, const uint8_t* limit, const cell& destination,
                                         const record_start& record) {
  const uint32_t symbol = read_symbol(p, limit);
  const auto index = static_cast<int32_t>(read_u32(p, limit));
  if (record.word & word_bit::global) {
    append_global_word(destination, record.type | record.header, symbol);
    return p;
  }
  if (record.reference) {
    const uint8_t* path_at = p;
    const node_id context = carried_context(read_reference(p, limit));
    if (!context) throw_error(path_at);
    append_bound_word(destination, record.type, record.header, context, symbol, index);
    return p;
  }
  const uint32_t position = append_unbound_word(destination, record.type, record.header, symbol, index);
  const uint8_t* owner_at = p;
  const uint32_t owner = read_u32(p, limit);
  const uint32_t owner_type = owner & word_bit::type_mask;
  if ((owner_type != TYPE_OBJECT && owner_type != TYPE_FUNCTION) || (owner & word_bit::referenced))
    throw_error(owner_at);
  return decode_owner(p, limit, nullptr, owner & ~word_bit::new_line, &destination, position);
}

const uint8_t* TavbinReader::decode_word_boot(const uint8_t* p, const uint8_t* limit, const cell& destination,
                                              const record_start& record) {
  const uint32_t symbol = read_symbol(p, limit);
  const uint8_t* at_at = p;
  const auto at = static_cast<int32_t>(read_u32(p, limit));
  auto index = static_cast<int32_t>(read_u32(p, limit));
  cell word;
  if (at == -1) {
    word::make_at(word, symbol);
    word.header = record.type;
  } else {
    if (at < 0 || static_cast<uint32_t>(at) >= count_of(root_) - base_) throw_error(at_at);
    const node_id context = carried_context(cell_at(root_, base_ + static_cast<uint32_t>(at)));
    if (!context) throw_error(at_at);
    if (index == -1) {
      const int32_t position = context::find_word(context, symbol, true);
      if (position >= 0) index = word::index_of(*context::word_at(context, static_cast<uint32_t>(position)));
    }
    word = word::make_cell(record.type, context, symbol, index);
  }
  word.header |= record.header;
  *append(destination) = word;
  if (record.word & word_bit::global) return finish_global_definition(p, limit, destination, record.at);
  return p;
}

void TavbinReader::decode_context_header(const uint8_t*& p, const uint8_t* limit, uint32_t word, uint32_t& flags,
                                         int32_t& count) {
  flags = context_flags_of(word);
  const uint8_t* count_at = p;
  count = static_cast<int32_t>(read_u32(p, limit));
  // Each word of the context is a symbol index word.
  if (count < 0 || static_cast<size_t>(count) > static_cast<size_t>(limit - p) / 4) throw_error(count_at);
}

const uint8_t* TavbinReader::decode_context(const uint8_t* p, const uint8_t* limit, const cell& destination,
                                            const record_start& record) {
  uint32_t flags;
  int32_t count;
  decode_context_header(p, limit, record.word, flags, count);
  return build_context(p, limit, destination, flags, count, record.at);
}

const uint8_t* TavbinReader::decode_owner(const uint8_t* p, const uint8_t* limit, const cell* destination,
                                          uint32_t word, const cell* word_block, uint32_t word_at) {
  const uint32_t type = word & word_bit::type_mask;
  owner_numbers numbers{type == TYPE_FUNCTION, type == TYPE_OBJECT && (word & word_bit::handlers)};
  numbers.numbers_at = p;
  if (numbers.function) {
    for (uint32_t& size : numbers.sizes) {
      const uint8_t* size_at = p;
      size = read_u32(p, limit);
      if (size > static_cast<size_t>(limit - p)) throw_error(size_at);
    }
  } else {
    numbers.class_id = read_u32(p, limit);
    if (numbers.handlers)
      for (uint32_t& handler : numbers.handler) handler = read_u32(p, limit);
  }
  const uint8_t* context_at = p;
  const uint32_t context_word = read_u32(p, limit);
  if ((context_word & word_bit::type_mask) != TYPE_CONTEXT) throw_error(context_at);
  decode_context_header(p, limit, context_word, numbers.flags, numbers.count);
  numbers.flags_at = context_at;
  const uint32_t header = word & word_bit::new_line ? cell_flag::new_line : 0;
  return build_owner(p, limit, destination, numbers, header, word_block, word_at);
}

const uint8_t* TavbinReader::decode_spec_body(const uint8_t* p, const uint8_t* limit, node_id& block) {
  const uint8_t* at = p;
  const uint32_t word = read_u32(p, limit);
  if ((word & word_bit::type_mask) != TYPE_BLOCK) throw_error(at);
  read_u32(p, limit);  // a head index, not kept
  if (word & word_bit::referenced) {
    const uint8_t* path_at = p;
    const cell found = read_reference(p, limit);
    if (found.type() != TYPE_BLOCK || !found.payload2) throw_error(path_at);
    block = found.payload2;
    return p;
  }
  const uint8_t* count_at = p;
  const uint32_t n = read_u32(p, limit);
  if (n > static_cast<size_t>(limit - p) / 4) throw_error(count_at);
  const cell values{TYPE_BLOCK, 0, block, 0};
  for (uint32_t i = 0; i < n; ++i) p = decode_value(p, limit, values);
  return p;
}

// ---- Writing ------------------------------------------------------------------------------

void TavbinWriter::encode_bound_cp(const cell& value, uint8_t type) {
  switch (type) {
    case TYPE_CONTEXT: encode_context_cp(value); return;
    case TYPE_NATIVE:
    case TYPE_ACTION: encode_native_cp(value, type); return;
    case TYPE_OP: encode_op_cp(value); return;
    case TYPE_FUNCTION: encode_function_cp(value); return;
    case TYPE_OBJECT: encode_object_cp(value); return;
    case TYPE_ERROR: encode_error_cp(value); return;
    default: encode_word_cp(value, type); return;
  }
}

void TavbinWriter::encode_word_cp(const cell& value, uint8_t type) {
  const node_id context = value.payload1;
  const uint8_t owner = context && context != context::global ? context::self_of(context)->type() : 0;
  const uint32_t symbol = symbol_index_cp(word::symbol_of(value));
  if (owner != TYPE_OBJECT && owner != TYPE_ERROR && owner != TYPE_FUNCTION) {
    emit_header(type, false);
    emit_uint(symbol);
    return;
  }
  const reference_paths::entry* found = paths_.find(context);
  if (found && found->kind == share::context) {
    emit_byte(byte::reference);
    emit_header(type, true);
    emit_uint(symbol);
    emit_sint(word::index_of(value));
    emit_path(*found);
    return;
  }
  emit_header(type, true);
  emit_uint(symbol);
  emit_sint(word::index_of(value));
  // The owner follows inline; its children are numbered under the word's path.
  paths_.record(context, share::context);
  paths_.enter();
  const cell self = *context::self_of(context);
  if (owner == TYPE_FUNCTION) {
    emit_header(TYPE_FUNCTION, false);
    encode_function_body_cp(self);
  } else {
    encode_object_body_cp(self);
  }
  paths_.leave();
}

void TavbinWriter::encode_context_cp(const cell& record) {
  const bool stack = (record.header & cell_flag::stack_values) != 0;
  series_buffer* values = !stack && record.payload2 ? buffer_of(record.payload2) : nullptr;
  const uint32_t count = words_of_record(record)->count();
  const uint32_t filled = values ? std::min(values->count(), count) : 0;
  bool any_set = false;
  for (uint32_t i = 0; i < filled && !any_set; ++i) any_set = values->cells()[i].type() != TYPE_UNSET;
  uint32_t flags = (record.header & cell_flag::context_kind_mask) >> context::kind_shift;
  if (stack) flags |= context_flag::stack;
  if (record.header & cell_flag::object_context) flags |= context_flag::object;
  if (any_set) flags |= context_flag::values;
  emit_header(TYPE_CONTEXT, false);
  emit_byte(static_cast<uint8_t>(flags));
  emit_uint(count);
  for (uint32_t i = 0; i < count; ++i) emit_uint(symbol_index_cp(word::symbol_of(words_of_record(record)->cells()[i])));
  if (!any_set) return;
  for (uint32_t i = 0; i < count; ++i) encode_value_cp(i < filled ? values->cells()[i] : unset::value);
}

void TavbinWriter::encode_object_cp(const cell& object) {
  const node_id context = object::context_of(object);
  if (encode_reference_cp(context, share::context, TYPE_OBJECT, false, 0)) return;
  paths_.record(context, share::context);
  paths_.enter();
  encode_object_body_cp(object);
  paths_.leave();
}

void TavbinWriter::encode_object_body_cp(const cell& object) {
  const node_id info = object.type() == TYPE_OBJECT ? object::info_of(object) : 0;
  emit_header(TYPE_OBJECT, info != 0);
  emit_sint(static_cast<int32_t>(object::class_of(object)));
  if (info) {
    emit_sint(static_cast<int32_t>(buffer_of(info)->cells()[object::on_change_info].payload2));
    emit_sint(static_cast<int32_t>(buffer_of(info)->cells()[object::on_deep_change_info].payload2));
  }
  encode_context_cp(*context::cell_of(object::context_of(object)));
}

void TavbinWriter::encode_function_cp(const cell& function) {
  const node_id context = function::context_of(function);
  if (encode_reference_cp(context, share::context, TYPE_FUNCTION, false, 0)) return;
  paths_.record(context, share::context);
  paths_.enter();
  emit_header(TYPE_FUNCTION, false);
  encode_function_body_cp(function);
  paths_.leave();
}

void TavbinWriter::encode_function_body_cp(const cell& function) {
  const cell spec{TYPE_BLOCK, 0, function::spec_of(function), 0};
  const cell body = *function::more_cell(function, function::more_body);
  const bool body_p = body.type() == TYPE_BLOCK;
  emit_uint(buffer_of(spec.payload2)->count());
  const uint32_t body_count = body_p ? buffer_of(body.payload2)->count() : 0;
  emit_uint(body_p && body.payload1 < body_count ? body_count - body.payload1 : 0);
  encode_context_cp(*context::cell_of(function::context_of(function)));
  encode_value_cp(spec);
  if (body_p) {
    encode_value_cp(body);
    return;
  }
  emit_header(TYPE_BLOCK, false);  // a function without a body runs an empty one
  emit_uint(0);
  paths_.advance();
}

void TavbinWriter::encode_native_cp(const cell& value, uint8_t type) {
  emit_header(type, false);
  emit_uint(native::index_of(value));
  // The spec stands at the native's own position.
  encode_value_cp(cell{TYPE_BLOCK, 0, native::spec_of(value), 0});
  paths_.step_back();
}

void TavbinWriter::encode_op_cp(const cell& value) {
  const uint8_t source = op::source_type(value);
  if (source == TYPE_ROUTINE) fire(error_id::access_no_codec, value);
  emit_header(TYPE_OP, false);
  cell inner = value;
  inner.header = source;
  encode_value_cp(inner);
  paths_.step_back();
}

void TavbinWriter::encode_error_cp(const cell& error) {
  const node_id context = error.payload1;
  paths_.record(context, share::context);
  paths_.enter();
  const cell* fields = error::fields(error);
  emit_header(TYPE_ERROR, false);
  const cell code = fields[error::field::code];
  emit_uint(code.type() == TYPE_INTEGER ? static_cast<uint32_t>(scalar::integer_value(code)) : 0);
  for (uint32_t i = error::field::arg1; i < error::field::files; ++i) encode_value_cp(error::fields(error)[i]);
  paths_.leave();
}

// ---- Writing the fixed-width layout --------------------------------------------------------

void TavbinWriter::encode_bound(const cell& value, uint8_t type, uint32_t word) {
  switch (type) {
    case TYPE_CONTEXT: encode_context(value); return;
    case TYPE_NATIVE:
    case TYPE_ACTION: encode_native(value, word); return;
    case TYPE_OP: encode_op(value, word); return;
    case TYPE_FUNCTION: encode_function(value, word); return;
    case TYPE_OBJECT: encode_object(value, word); return;
    case TYPE_ERROR: encode_error(value, word); return;
    default: encode_word(value, word); return;
  }
}

void TavbinWriter::encode_word(const cell& value, uint32_t word) {
  const node_id context = value.payload1;
  const uint8_t owner = context && context != context::global ? context::self_of(context)->type() : 0;
  const uint32_t symbol = symbol_index(word::symbol_of(value));
  const auto index = static_cast<uint32_t>(word::index_of(value));
  if (owner != TYPE_OBJECT && owner != TYPE_ERROR && owner != TYPE_FUNCTION) {
    emit_u32(word | word_bit::global);
    emit_u32(symbol);
    emit_u32(index);
    return;
  }
  const reference_paths::entry* found = paths_.find(context);
  if (found && found->kind == share::context) {
    emit_u32(word | word_bit::referenced);
    emit_u32(symbol);
    emit_u32(index);
    emit_path_fixed(*found);
    return;
  }
  emit_u32(word);
  emit_u32(symbol);
  emit_u32(index);
  // The owner follows inline; its children are numbered under the word's path.
  paths_.record(context, share::context);
  paths_.enter();
  const cell self = *context::self_of(context);
  if (owner == TYPE_FUNCTION) {
    emit_u32(TYPE_FUNCTION);
    encode_function_body(self);
  } else {
    encode_object_body(self, TYPE_OBJECT);
  }
  paths_.leave();
}

void TavbinWriter::encode_context(const cell& record) {
  const bool stack = (record.header & cell_flag::stack_values) != 0;
  series_buffer* values = !stack && record.payload2 ? buffer_of(record.payload2) : nullptr;
  const uint32_t count = words_of_record(record)->count();
  const uint32_t filled = values ? std::min(values->count(), count) : 0;
  bool any_set = false;
  for (uint32_t i = 0; i < filled && !any_set; ++i) any_set = values->cells()[i].type() != TYPE_UNSET;
  const uint32_t kind = (record.header & cell_flag::context_kind_mask) >> context::kind_shift;
  uint32_t word = TYPE_CONTEXT | kind << word_bit::context_kind_shift;
  if (stack) word |= word_bit::context_stack;
  if (record.header & cell_flag::object_context) word |= word_bit::context_object;
  if (any_set) word |= word_bit::context_values;
  emit_u32(word);
  emit_u32(count);
  for (uint32_t i = 0; i < count; ++i) emit_u32(symbol_index(word::symbol_of(words_of_record(record)->cells()[i])));
  if (!any_set) return;
  for (uint32_t i = 0; i < count; ++i) encode_value(i < filled ? values->cells()[i] : unset::value);
}

void TavbinWriter::encode_object(const cell& object, uint32_t word) {
  const node_id context = object::context_of(object);
  if (encode_reference(context, share::context, word, false, 0)) return;
  paths_.record(context, share::context);
  paths_.enter();
  encode_object_body(object, word);
  paths_.leave();
}

void TavbinWriter::encode_object_body(const cell& object, uint32_t word) {
  const node_id info = object.type() == TYPE_OBJECT ? object::info_of(object) : 0;
  emit_u32(info ? word | word_bit::handlers : word);
  emit_u32(object::class_of(object));
  if (info) {
    emit_u32(buffer_of(info)->cells()[object::on_change_info].payload2);
    emit_u32(buffer_of(info)->cells()[object::on_deep_change_info].payload2);
  }
  encode_context(*context::cell_of(object::context_of(object)));
}

void TavbinWriter::encode_function(const cell& function, uint32_t word) {
  const node_id context = function::context_of(function);
  if (encode_reference(context, share::context, word, false, 0)) return;
  paths_.record(context, share::context);
  paths_.enter();
  emit_u32(word);
  encode_function_body(function);
  paths_.leave();
}

void TavbinWriter::encode_function_body(const cell& function) {
  const cell spec{TYPE_BLOCK, 0, function::spec_of(function), 0};
  const cell body = *function::more_cell(function, function::more_body);
  const bool body_p = body.type() == TYPE_BLOCK;
  emit_u32(buffer_of(spec.payload2)->count());
  const uint32_t body_count = body_p ? buffer_of(body.payload2)->count() : 0;
  emit_u32(body_p && body.payload1 < body_count ? body_count - body.payload1 : 0);
  encode_context(*context::cell_of(function::context_of(function)));
  encode_value(spec);
  if (body_p) {
    encode_value(body);
    return;
  }
  emit_u32(TYPE_BLOCK);  // a function without a body runs an empty one
  emit_u32(0);
  emit_u32(0);
  paths_.advance();
}

void TavbinWriter::encode_native(const cell& value, uint32_t word) {
  emit_u32(word);
  emit_u32(native::index_of(value));
  // The spec stands at the native's own position.
  encode_value(cell{TYPE_BLOCK, 0, native::spec_of(value), 0});
  paths_.step_back();
}

void TavbinWriter::encode_op(const cell& value, uint32_t word) {
  const uint8_t source = op::source_type(value);
  if (source == TYPE_ROUTINE) fire(error_id::access_no_codec, value);
  emit_u32(word | uint32_t{source} << word_bit::op_source_shift);
  cell inner = value;
  inner.header = source;
  encode_value(inner);
  paths_.step_back();
}

void TavbinWriter::encode_error(const cell& error, uint32_t word) {
  const node_id context = error.payload1;
  paths_.record(context, share::context);
  paths_.enter();
  const cell* fields = error::fields(error);
  emit_u32(word);
  const cell code = fields[error::field::code];
  emit_u32(code.type() == TYPE_INTEGER ? static_cast<uint32_t>(scalar::integer_value(code)) : 0);
  for (uint32_t i = error::field::arg1; i < error::field::files; ++i) encode_value(error::fields(error)[i]);
  paths_.leave();
}

}  // namespace tav::tavbin
