// TAVBIN compact record layout: varints, prefix bytes and the payload of every plain datatype,
// with the bounds-checked reader and the writer.
#include <bit>
#include <cmath>
#include <cstring>

#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/image.hpp"
#include "datatypes/map.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/tuple.hpp"
#include "datatypes/types.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "io/tavbin.hpp"
#include "io/tavbin_internal.hpp"
#include "runtime/errors.hpp"
#include "runtime/hashtable.hpp"
#include "runtime/memory.hpp"
#include "runtime/platform.hpp"
#include "runtime/series.hpp"

namespace tav::tavbin {
namespace {

// The integer form of float!, time! and percent! values keeps them exact within these bounds.
constexpr double float_integer_bound = 2147483000.0;
constexpr double percent_integer_bound = 21474836.0;

bool text_type_p(uint8_t type) { return series::any_string_p(type); }

bool cells_type_p(uint8_t type) { return series::any_block_p(type); }

}  // namespace

uintptr_t nesting::stack_floor() {
  if (!platform::on_runtime_thread()) return 0;
  return reinterpret_cast<uintptr_t>(platform::runtime_stack().low + stack_margin);
}

void nesting::enter() {
  const auto* here = static_cast<const char*>(__builtin_frame_address(0));
  if (++depth_ > max_depth || entry_ - here > static_cast<ptrdiff_t>(stack_budget) ||
      reinterpret_cast<uintptr_t>(here) < floor_) [[unlikely]]
    fire(error_id::internal_stack_overflow);
}

// ---- Reading ------------------------------------------------------------------------------

TavbinReader::TavbinReader(const uint8_t* input, size_t input_offset, bool codec, uint32_t base)
    : input_(input), input_offset_(input_offset), codec_(codec), base_(base) {}

void TavbinReader::throw_error(const uint8_t* at) const {
  fire(error_id::script_rb_invalid_record,
       scalar::integer(static_cast<int32_t>(static_cast<size_t>(at - input_) + input_offset_ + 1)));
}

uint32_t TavbinReader::read_uint(const uint8_t*& p, const uint8_t* limit) const {
  uint32_t value = 0;
  for (uint32_t shift = 0;; shift += 7) {
    if (p >= limit) [[unlikely]] throw_error(p);
    const uint8_t b = *p;
    // The fifth byte holds bits 28-31: anything above would not fit, or would continue.
    if (shift == 28 && (b & 0xF0)) [[unlikely]] throw_error(p);
    ++p;
    value |= uint32_t{b & 0x7Fu} << shift;
    if (!(b & 0x80)) return value;
  }
}

node_id TavbinReader::decode_pixels(const uint8_t*& p, const uint8_t* limit, uint32_t width, uint32_t height,
                                    const uint8_t* at) const {
  const size_t left = static_cast<size_t>(limit - p);
  if (width > image::max_side || height > image::max_side) throw_error(at);
  if (width > 0 && height > left / 4 / width) throw_error(at);
  const uint64_t n = uint64_t{width} * height;
  if (n > image::max_pixels || 4 * n > left) throw_error(at);
  if (n == 0) return 0;
  const node_id node = image::make_node(width, height);
  std::memcpy(image::bitmap_of(image::make_at(node))->pixels, p, static_cast<size_t>(4 * n));
  p += 4 * n;
  return node;
}

int32_t TavbinReader::read_count(const uint8_t*& p, const uint8_t* limit) const {
  const uint8_t* at = p;
  const auto value = static_cast<int32_t>(read_uint(p, limit));
  if (value < 0) throw_error(at);
  return value;
}

uint32_t TavbinReader::read_u32(const uint8_t*& p, const uint8_t* limit) const {
  if (limit - p < 4) throw_error(p);
  uint32_t w = uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
  p += 4;
  return w;
}

uint32_t TavbinReader::read_symbol(const uint8_t*& p, const uint8_t* limit) {
  const uint8_t* at = p;
  const uint32_t index = read_number(p, limit);
  if (index >= symbol_count_) throw_error(at);
  if (uint32_t known = symbols_[index]) return known;
  return symbol_at(index, at);
}

uint32_t TavbinReader::read_symbol_index(const uint8_t*& p, const uint8_t* limit) {
  const uint8_t* at = p;
  const uint32_t index = read_number(p, limit);
  if (index >= symbol_count_) throw_error(at);
  if (!symbols_[index]) symbol_at(index, at);
  return index;
}

cell TavbinReader::global_word_of(uint32_t index) {
  if (const uint32_t slot = global_slots_[index])
    return word::make_cell(TYPE_WORD, context::global, symbols_[index], static_cast<int32_t>(slot - 1));
  cell word;
  word::make_at(word, symbols_[index]);
  global_slots_[index] = word.payload3 + 1;
  return word;
}

uint32_t TavbinReader::symbol_at(uint32_t index, const uint8_t* at) {
  const uint8_t* entry = offsets_ + size_t{index} * 4;
  const uint32_t offset = read_u32(entry, entry + 4);
  if (offset >= strings_size_) throw_error(at);
  // The table's last byte is a NUL, so every spelling ends inside it.
  const auto* text = reinterpret_cast<const char*>(strings_ + offset);
  const uint32_t symbol = symbol::make_from_buffer(strings_ + offset, std::strlen(text));
  symbols_[index] = symbol;
  return symbol;
}

void TavbinReader::decode_records_cp(const uint8_t* payload, const uint8_t* end, const cell& destination,
                                     bool symbols) {
  root_ = destination;
  const uint8_t* p = payload;
  auto counts_limit = [&] { return end - p > 20 ? p + 20 : end; };
  const uint8_t* limit = counts_limit();
  read_uint(p, limit);  // the root count: informative only
  const uint8_t* records_at = p;
  const uint32_t records_size = read_uint(p, limit);
  if (symbols) {
    limit = counts_limit();
    const uint8_t* count_at = p;
    const int32_t n = read_count(p, limit);
    const uint8_t* size_at = p;
    const int32_t s = read_count(p, limit);
    const size_t left = static_cast<size_t>(end - p);
    if (static_cast<size_t>(n) > left / 4) throw_error(count_at);
    if (static_cast<size_t>(s) > left - size_t{4} * static_cast<uint32_t>(n)) throw_error(size_at);
    offsets_ = p;
    strings_ = p + size_t{4} * static_cast<uint32_t>(n);
    if (s > 0 && strings_[s - 1] != 0) throw_error(strings_ + s - 1);
    symbol_count_ = static_cast<uint32_t>(n);
    strings_size_ = static_cast<uint32_t>(s);
    symbols_.assign(symbol_count_, 0);
    global_slots_.assign(symbol_count_, 0);
    p = strings_ + s;
  }
  if (static_cast<int32_t>(records_size) < 0 || records_size > static_cast<size_t>(end - p)) throw_error(records_at);
  const uint8_t* records_end = p + records_size;
  while (p < records_end) p = decode_value_cp(p, records_end, destination);
}

const uint8_t* TavbinReader::decode_value_cp(const uint8_t* p, const uint8_t* limit, const cell& destination) {
  if (p >= limit) throw_error(p);
  uint32_t header = 0;
  bool reference = false, global = false;
  uint8_t b = read_byte(p, limit);
  for (;; b = read_byte(p, limit)) {
    if (b == byte::new_line)
      header = cell_flag::new_line;
    else if (b == byte::reference)
      reference = true;
    else if (b == byte::global_definition && !codec_)
      global = true;
    else
      break;
  }
  const uint8_t* at = p - 1;
  if (b >= 0x80) {
    if (reference || global) throw_error(at);
    if (b < byte::logic_true) {
      *append(destination) = cell{header | TYPE_INTEGER, 0, uint32_t{b} - byte::small_integer, 0};
    } else if (b == byte::logic_true || b == byte::logic_false) {
      *append(destination) = cell{header | TYPE_LOGIC, b == byte::logic_true ? 1u : 0u, 0, 0};
    } else if (b == byte::bare_reference) {
      const cell found = read_path(p, limit);
      *append(destination) = found;
    } else {
      throw_error(at);
    }
    return p;
  }
  uint32_t type = b & byte::type_mask;
  const bool flag = (b & byte::compact_form) != 0;
  if (type == byte::long_type) type = read_uint(p, limit);
  if (type == 0 || type == TYPE_LOGIC || type == TYPE_SYMBOL || type == TYPE_SERIES || type > TYPE_EVENT)
    throw_error(at);
  const auto id = static_cast<uint8_t>(type);
  if (global) {
    if (id < TYPE_WORD || id > TYPE_ISSUE) throw_error(at);
    return decode_global_definition_cp(p, limit, destination, id, flag, header, at);
  }
  if (no_codec_p(id)) {
    cell datatype;
    datatype::make_at(datatype, id);
    fire(error_id::access_no_codec, datatype);
  }
  if (bound_type_p(id)) {
    nesting_.enter();
    p = decode_bound_cp(p, limit, destination, record_start{id, flag, reference, header, at});
    nesting_.leave();
    return p;
  }
  if (series::any_series_p(id) || id == TYPE_MAP || id == TYPE_BITSET) {
    if (reference) {
      const int32_t head = flag && id != TYPE_MAP && id != TYPE_BITSET ? read_count(p, limit) : 0;
      return decode_series_reference(p, limit, destination, id, head, header);
    }
    nesting_.enter();
    p = decode_series_cp(p, limit, destination, id, flag, header);
    nesting_.leave();
    return p;
  }
  return decode_scalar_cp(p, limit, destination, id, flag, header, at);
}

const uint8_t* TavbinReader::decode_scalar_cp(const uint8_t* p, const uint8_t* limit, const cell& destination,
                                              uint8_t type, bool flag, uint32_t header, const uint8_t* at) {
  cell made{header | type, 0, 0, 0};
  switch (type) {
    case TYPE_DATATYPE: {
      const uint8_t* id_at = p;
      const uint32_t id = read_uint(p, limit);
      if (!registered_p(id)) throw_error(id_at);
      made.payload1 = id;
      break;
    }
    case TYPE_UNSET:
    case TYPE_NONE: break;
    case TYPE_CHAR: made.payload2 = read_uint(p, limit); break;
    case TYPE_INTEGER: made.payload2 = static_cast<uint32_t>(read_sint(p, limit)); break;
    case TYPE_FLOAT:
    case TYPE_PERCENT:
    case TYPE_TIME:
      if (flag) {
        const int32_t k = read_sint(p, limit);
        made = scalar::float_cell(type == TYPE_PERCENT ? k / 100.0 : k, type);
        made.header |= header;
      } else {
        made.payload2 = read_u32(p, limit);
        made.payload3 = read_u32(p, limit);
      }
      break;
    case TYPE_ISSUE:
      made = word::make_cell(TYPE_ISSUE, context::global, read_symbol(p, limit), -1);
      made.header |= header;
      break;
    case TYPE_TYPESET: {
      const uint8_t* n_at = p;
      const uint8_t n = read_byte(p, limit);
      if (n > 12 || n > limit - p) throw_error(n_at);
      std::memcpy(&made.payload1, p, n);
      p += n;
      break;
    }
    case TYPE_PAIR:
      made.payload2 = static_cast<uint32_t>(read_sint(p, limit));
      made.payload3 = static_cast<uint32_t>(read_sint(p, limit));
      break;
    case TYPE_TUPLE: {
      uint32_t n = tuple::min_length;
      if (flag) {
        const uint8_t* n_at = p;
        n = read_byte(p, limit);
        if (n < 1 || n > tuple::max_length) throw_error(n_at);
      }
      if (n > static_cast<size_t>(limit - p)) throw_error(p);
      made.header |= n << tuple_length_shift;
      std::memcpy(tuple::bytes_of(made), p, n);
      p += n;
      break;
    }
    case TYPE_DATE: {
      const uint8_t* word_at = p;
      made.payload1 = read_u32(p, limit);
      if (((made.payload1 & date_time_flag) != 0) != flag) throw_error(word_at);
      if (flag) {
        made.payload2 = read_u32(p, limit);
        made.payload3 = read_u32(p, limit);
      }
      break;
    }
    case TYPE_MONEY:
      if (!registered_p(TYPE_MONEY)) not_done();
      if (limit - p < 12) throw_error(p);
      if (flag) made.header |= money_negative;
      std::memcpy(&made.payload1, p, 12);
      p += 12;
      break;
    case TYPE_POINT2D:
    case TYPE_POINT3D:
      made.payload1 = read_u32(p, limit);
      made.payload2 = read_u32(p, limit);
      if (type == TYPE_POINT3D) made.payload3 = read_u32(p, limit);
      break;
    default: throw_error(at);
  }
  *append(destination) = made;
  return p;
}

const uint8_t* TavbinReader::decode_series_cp(const uint8_t* p, const uint8_t* limit, const cell& destination,
                                              uint8_t type, bool flag, uint32_t header) {
  if (cells_type_p(type) || type == TYPE_MAP) return decode_cells_cp(p, limit, destination, type, flag, header);
  const int32_t head = flag && type != TYPE_BITSET ? read_count(p, limit) : 0;
  const uint8_t* count_at = p;
  node_id node = 0;
  uint32_t payload3 = 0;
  if (text_type_p(type)) {
    const uint32_t units = read_uint(p, limit);
    const uint32_t n = units >> 2, unit_code = units & 3;
    if (unit_code == 3 || n > (static_cast<size_t>(limit - p) >> unit_code)) throw_error(count_at);
    node = alloc_by_unit(n, 1u << unit_code);
    std::memcpy(buffer_of(node)->data(), p, size_t{n} << unit_code);
    buffer_of(node)->tail = n << unit_code;
    p += size_t{n} << unit_code;
  } else if (type == TYPE_BINARY || type == TYPE_BITSET) {
    const int32_t n = read_count(p, limit);
    if (static_cast<size_t>(n) > static_cast<size_t>(limit - p)) throw_error(count_at);
    const auto bytes = static_cast<uint32_t>(n);
    node = type == TYPE_BITSET ? alloc_bytes_filled(bytes, flag ? 0xFF : 0x00) : alloc_bytes(bytes);
    std::memcpy(buffer_of(node)->data(), p, bytes);
    buffer_of(node)->tail = bytes;
    if (type == TYPE_BITSET && flag) buffer_of(node)->flags |= bitset_complement;
    p += bytes;
  } else if (type == TYPE_VECTOR) {
    const uint8_t* kind_at = p;
    const uint8_t kind = read_byte(p, limit);
    const uint32_t element = kind >> 2, unit_code = kind & 3;
    if (!vector_kind_p(element, unit_code)) throw_error(kind_at);
    const uint8_t* elements_at = p;
    const int32_t n = read_count(p, limit);
    if (static_cast<size_t>(n) > (static_cast<size_t>(limit - p) >> unit_code)) throw_error(elements_at);
    const uint32_t bytes = static_cast<uint32_t>(n) << unit_code;
    node = alloc_by_unit(static_cast<uint32_t>(n), 1u << unit_code);
    std::memcpy(buffer_of(node)->data(), p, bytes);
    buffer_of(node)->tail = bytes;
    payload3 = element;
    p += bytes;
  } else {
    const uint8_t* size_at = p;
    const uint32_t width = read_uint(p, limit), height = read_uint(p, limit);
    node = decode_pixels(p, limit, width, height, size_at);
    payload3 = image::size_word(width, height);
  }
  const uint32_t head_word = type == TYPE_BITSET ? 0 : static_cast<uint32_t>(head);
  *append(destination) = cell{header | type, head_word, node, payload3};
  return p;
}

const uint8_t* TavbinReader::decode_cells_cp(const uint8_t* p, const uint8_t* limit, const cell& destination,
                                             uint8_t type, bool flag, uint32_t header) {
  const int32_t head = flag && type != TYPE_MAP ? read_count(p, limit) : 0;
  const uint8_t* count_at = p;
  const int32_t n = read_count(p, limit);
  // Every record takes at least one byte; a map's cells come in key/value pairs.
  if (static_cast<size_t>(n) > static_cast<size_t>(limit - p) || (type == TYPE_MAP && (n & 1)))
    throw_error(count_at);
  const node_id node = alloc_cells(static_cast<uint32_t>(n > 0 ? n : 1));
  // The series stands in its container, with its table, before its values are read: a
  // reference inside it may name it. The table indexes the values once they are all read.
  cell made{header | type, static_cast<uint32_t>(head), node, 0};
  if (type == TYPE_HASH) {
    made.payload3 = hashtable::create(static_cast<uint32_t>(n > 0 ? n : 1), node, hashtable::hash_kind);
  } else if (type == TYPE_MAP) {
    map::make_at(made, node, static_cast<uint32_t>(n));
    made.header |= header;
  }
  *append(destination) = made;
  const cell values{TYPE_BLOCK, 0, node, 0};
  for (int32_t i = 0; i < n; ++i) p = decode_value_cp(p, limit, values);
  if (made.payload3) hashtable::put_all(made.payload3, 0, 1);
  return p;
}

const uint8_t* TavbinReader::decode_series_reference(const uint8_t* p, const uint8_t* limit,
                                                     const cell& destination, uint8_t type, int32_t head,
                                                     uint32_t header) {
  const bool with_head = type != TYPE_MAP && type != TYPE_BITSET;
  const uint8_t* path_at = p;
  cell found = read_reference(p, limit);
  const uint8_t target = found.type();
  const share kind = share_of(type);
  // A block-family record may name a callable: its cell holds its spec block.
  const bool spec_p = kind == share::cells && (target == TYPE_FUNCTION || target == TYPE_NATIVE ||
                                               target == TYPE_ACTION || target == TYPE_OP);
  if ((share_of(target) != kind && !spec_p) || found.payload2 == 0) throw_error(path_at);
  if (kind == share::cells || kind == share::text || kind == share::bytes) {
    found = cell{type, static_cast<uint32_t>(head), found.payload2, 0};
  } else if (with_head) {
    found.payload1 = static_cast<uint32_t>(head);
  }
  found.header = (found.header & ~cell_flag::new_line) | header;
  *append(destination) = found;
  return p;
}

const uint8_t* TavbinReader::decode_global_definition_cp(const uint8_t* p, const uint8_t* limit,
                                                         const cell& destination, uint8_t type, bool flag,
                                                         uint32_t header, const uint8_t* at) {
  if (type == TYPE_ISSUE)
    p = decode_scalar_cp(p, limit, destination, type, flag, header, at);
  else
    p = decode_word_boot_cp(p, limit, destination, record_start{type, flag, false, header, at});
  return finish_global_definition(p, limit, destination, at);
}

const uint8_t* TavbinReader::finish_global_definition(const uint8_t* p, const uint8_t* limit,
                                                      const cell& destination, const uint8_t* at) {
  const uint32_t n = count_of(destination);
  p = decode_any(p, limit, destination);
  if (count_of(destination) <= n) throw_error(at);
  cell word = cell_at(destination, n - 1);
  const cell value = cell_at(destination, n);
  context::set(word, value);
  series_buffer* buffer = buffer_of(destination.payload2);
  buffer->tail = buffer->offset + (n - 1) * static_cast<uint32_t>(sizeof(cell));
  return p;
}

// ---- Writing ------------------------------------------------------------------------------

namespace {

void append_uint(std::vector<uint8_t>& out, uint32_t v) {
  while (v >= 0x80) {
    out.push_back(static_cast<uint8_t>(v | 0x80));
    v >>= 7;
  }
  out.push_back(static_cast<uint8_t>(v));
}

void append_u32(std::vector<uint8_t>& out, uint32_t w) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(w >> (8 * i)));
}

// One state serves every encode: encodes never nest, as the writer calls no evaluation.
reference_paths shared_paths;

}  // namespace

TavbinWriter::TavbinWriter() : paths_(shared_paths) { paths_.reset(); }

TavbinWriter::~TavbinWriter() { paths_.reset(); }

void TavbinWriter::emit_uint(uint32_t v) { append_uint(records_, v); }

void TavbinWriter::emit_u32(uint32_t w) { append_u32(records_, w); }

void TavbinWriter::emit_header(uint8_t type, bool flag) {
  const uint8_t form = flag ? byte::compact_form : 0;
  if (type < byte::long_type) {
    emit_byte(type | form);
    return;
  }
  emit_byte(byte::long_type | form);
  emit_uint(type);
}

uint32_t TavbinWriter::symbol_index_cp(uint32_t symbol) {
  auto [found, added] = symbol_indexes_.try_emplace(symbol, static_cast<uint32_t>(symbol_ids_.size()));
  if (added) {
    symbol_ids_.push_back(symbol);
    strings_.append(symbol::name(symbol), symbol::name_length(symbol));
    strings_.push_back('\0');
  }
  return found->second;
}

void TavbinWriter::encode_number_cp(const cell& value, uint8_t type) {
  const double x = scalar::float_value(value);
  int32_t k = 0;
  bool integer_form = false;
  if (type == TYPE_PERCENT) {
    if (x >= -percent_integer_bound && x <= percent_integer_bound) {
      const double scaled = x * 100.0;
      k = static_cast<int32_t>(x >= 0 ? scaled + 0.5 : scaled - 0.5);
      integer_form = k / 100.0 == x;
    }
  } else if (x >= -float_integer_bound && x <= float_integer_bound && std::trunc(x) == x) {
    k = static_cast<int32_t>(x);
    integer_form = true;
  }
  if (integer_form && k == 0 && std::signbit(x)) integer_form = false;  // -0.0 keeps its sign as a double
  emit_header(type, integer_form);
  if (integer_form) {
    emit_sint(k);
  } else {
    emit_u32(value.payload2);
    emit_u32(value.payload3);
  }
}

void TavbinWriter::encode_series_cp(const cell& value, uint8_t type) {
  series_buffer* buffer = buffer_of(value.payload2);
  const int32_t head = series::head_of(value);
  const bool with_head = type != TYPE_MAP && type != TYPE_BITSET && head != 0;
  if (encode_reference_cp(value.payload2, share_of(type), type, with_head, static_cast<uint32_t>(head))) return;
  paths_.record(value.payload2, share_of(type));
  const path_level children(paths_);
  if (type == TYPE_BITSET) {
    emit_header(type, (buffer->flags & bitset_complement) != 0);
  } else {
    emit_header(type, with_head);
  }
  if (with_head) emit_uint(static_cast<uint32_t>(head));
  if (type == TYPE_MAP) {
    const uint32_t cells = buffer->count();
    uint32_t live = 0;
    for (uint32_t i = 0; i + 1 < cells; i += 2) live += buffer->cells()[i + 1].header != 0;
    emit_uint(live * 2);
    for (uint32_t i = 0; i + 1 < cells; i += 2) {
      // A removed pair keeps its key with an empty value cell.
      if (buffer_of(value.payload2)->cells()[i + 1].header == 0) continue;
      encode_value_cp(buffer_of(value.payload2)->cells()[i]);
      encode_value_cp(buffer_of(value.payload2)->cells()[i + 1]);
    }
    return;
  }
  if (cells_type_p(type)) {
    const uint32_t n = buffer->count();
    emit_uint(n);
    for (uint32_t i = 0; i < n; ++i) encode_value_cp(buffer_of(value.payload2)->cells()[i]);
    return;
  }
  const uint32_t unit_code = static_cast<uint32_t>(std::countr_zero(buffer->unit()));
  const uint32_t n = buffer->count();
  if (text_type_p(type)) {
    emit_uint(n << 2 | unit_code);
  } else if (type == TYPE_VECTOR) {
    emit_byte(static_cast<uint8_t>(value.payload3 << 2 | unit_code));
    emit_uint(n);
  } else {
    emit_uint(buffer->used());
  }
  emit_bytes(buffer->head(), buffer->used());
}

void TavbinWriter::encode_image_cp(const cell& value) {
  const uint32_t head = value.payload1;
  if (value.payload2 && encode_reference_cp(value.payload2, share::image, TYPE_IMAGE, head != 0, head)) return;
  if (value.payload2) paths_.record(value.payload2, share::image);
  emit_header(TYPE_IMAGE, head != 0);
  if (head != 0) emit_uint(head);
  emit_uint(image::width_of(value));
  emit_uint(image::height_of(value));
  if (const uint32_t* pixels = image::pixels_of(value))
    emit_bytes(reinterpret_cast<const uint8_t*>(pixels), size_t{image::count_of(value)} * 4);
}

void TavbinWriter::encode_value_cp(const cell& value) {
  write_value_cp(value);
  paths_.advance();
}

void TavbinWriter::write_value_cp(const cell& value_given) {
  const cell value = value_given;
  const uint8_t type = value.type();
  if (value.header & cell_flag::new_line) emit_byte(byte::new_line);
  switch (type) {
    case TYPE_UNSET:
    case TYPE_NONE: emit_header(type, false); return;
    case TYPE_DATATYPE:
      emit_header(type, false);
      emit_uint(value.payload1);
      return;
    case TYPE_LOGIC: emit_byte(value.payload1 ? byte::logic_true : byte::logic_false); return;
    case TYPE_INTEGER: {
      const auto n = static_cast<int32_t>(value.payload2);
      if (n >= 0 && n < 64) {
        emit_byte(static_cast<uint8_t>(byte::small_integer + n));
        return;
      }
      emit_header(type, false);
      emit_sint(n);
      return;
    }
    case TYPE_CHAR:
      emit_header(type, false);
      emit_uint(value.payload2);
      return;
    case TYPE_FLOAT:
    case TYPE_PERCENT:
    case TYPE_TIME: encode_number_cp(value, type); return;
    case TYPE_PAIR:
      emit_header(type, false);
      emit_sint(static_cast<int32_t>(value.payload2));
      emit_sint(static_cast<int32_t>(value.payload3));
      return;
    case TYPE_POINT2D:
    case TYPE_POINT3D:
      emit_header(type, false);
      emit_u32(value.payload1);
      emit_u32(value.payload2);
      if (type == TYPE_POINT3D) emit_u32(value.payload3);
      return;
    case TYPE_ISSUE:
      emit_header(type, false);
      emit_uint(symbol_index_cp(word::symbol_of(value)));
      return;
    case TYPE_TUPLE: {
      const uint32_t n = tuple::length_of(value);
      emit_header(type, n != tuple::min_length);
      if (n != tuple::min_length) emit_byte(static_cast<uint8_t>(n));
      emit_bytes(tuple::bytes_of(value), n);
      return;
    }
    case TYPE_MONEY:
      emit_header(type, (value.header & money_negative) != 0);
      emit_bytes(reinterpret_cast<const uint8_t*>(&value) + 4, 12);
      return;
    case TYPE_TYPESET: {
      const auto* bytes = reinterpret_cast<const uint8_t*>(&value) + 4;
      uint8_t n = 12;
      while (n > 0 && bytes[n - 1] == 0) --n;
      emit_header(type, false);
      emit_byte(n);
      emit_bytes(bytes, n);
      return;
    }
    case TYPE_DATE: {
      const bool time = (value.payload1 & date_time_flag) != 0;
      emit_header(type, time);
      emit_u32(value.payload1);
      if (time) {
        emit_u32(value.payload2);
        emit_u32(value.payload3);
      }
      return;
    }
    default: break;
  }
  if (no_codec_p(type)) fire(error_id::access_no_codec, value);
  if (type == TYPE_IMAGE) {
    encode_image_cp(value);
    return;
  }
  if (bound_type_p(type)) {
    nesting_.enter();
    encode_bound_cp(value, type);
    nesting_.leave();
    return;
  }
  if (series::any_series_p(type) || type == TYPE_MAP || type == TYPE_BITSET) {
    nesting_.enter();
    encode_series_cp(value, type);
    nesting_.leave();
    return;
  }
  fire(error_id::access_no_codec, value);
}

void TavbinWriter::encode_global_definition_cp(const cell& word, const cell& value) {
  emit_byte(byte::global_definition);
  write_value_cp(cell{word.header, 0, word.payload2, 0});
  write_value_cp(value);
}

std::vector<uint8_t> TavbinWriter::finish_cp(uint8_t version, uint32_t root_count) const {
  std::vector<uint8_t> stream(magic, magic + sizeof magic);
  const auto symbol_count = static_cast<uint32_t>(symbol_ids_.size());
  stream.reserve(24 + 4 * symbol_count + strings_.size() + records_.size());
  stream.push_back(version);
  stream.push_back(symbol_count ? flag::compact | flag::symbols : flag::compact);
  append_uint(stream, root_count);
  append_uint(stream, static_cast<uint32_t>(records_.size()));
  if (symbol_count) {
    append_uint(stream, symbol_count);
    append_uint(stream, static_cast<uint32_t>(strings_.size()));
    uint32_t offset = 0;
    for (uint32_t id : symbol_ids_) {
      append_u32(stream, offset);
      offset += static_cast<uint32_t>(symbol::name_length(id)) + 1;
    }
    stream.insert(stream.end(), strings_.begin(), strings_.end());
  }
  stream.insert(stream.end(), records_.begin(), records_.end());
  return stream;
}

}  // namespace tav::tavbin
