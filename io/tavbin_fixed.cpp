// TAVBIN fixed-width record layout: a 32-bit header word per record, 32-bit payload words, byte
// runs padded to 4 bytes and floats aligned to 8 bytes; the stream header, the reader and the
// writer of every plain datatype.
#include <bit>
#include <cstring>

#include "datatypes/context.hpp"
#include "datatypes/image.hpp"
#include "datatypes/map.hpp"
#include "datatypes/series.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/tuple.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "io/tavbin.hpp"
#include "io/tavbin_internal.hpp"
#include "runtime/hashtable.hpp"
#include "runtime/series.hpp"

namespace tav::tavbin {
namespace {

constexpr size_t word_size = 4;

bool cells_type_p(uint8_t type) { return series::any_block_p(type); }

// The unit sizes a byte-run record may name in its header word, as a shift.
bool unit_code_of(uint32_t unit, uint32_t top, uint32_t& code) {
  if (unit == 0 || !std::has_single_bit(unit) || unit > top) return false;
  code = static_cast<uint32_t>(std::countr_zero(unit));
  return true;
}

}  // namespace

// ---- Reading ------------------------------------------------------------------------------

const uint8_t* TavbinReader::align(const uint8_t* p, const uint8_t* limit) const {
  // By the offset from the stream's start, never by address: the writer pads the records as
  // they lie in the stream, and a stream may sit at any index of a binary.
  const size_t offset = static_cast<size_t>(p - input_) + input_offset_;
  const size_t pad = (0 - offset) & (word_size - 1);
  if (pad > static_cast<size_t>(limit - p)) throw_error(p);
  return p + pad;
}

void TavbinReader::decode_records(const uint8_t* payload, const uint8_t* end, const cell& destination,
                                  bool symbols) {
  fixed_ = true;
  root_ = destination;
  const uint8_t* p = payload;
  read_u32(p, end);  // the root count: informative only
  const uint8_t* size_at = p;
  const uint32_t records_size = read_u32(p, end);
  if (symbols) {
    const uint8_t* count_at = p;
    const uint32_t n = read_u32(p, end);
    const uint8_t* strings_at = p;
    const uint32_t s = read_u32(p, end);
    const size_t left = static_cast<size_t>(end - p);
    if (n > left / word_size) throw_error(count_at);
    if (s > left - word_size * n) throw_error(strings_at);
    offsets_ = p;
    strings_ = p + word_size * n;
    // The writer pads each spelling with zeros, so the area ends in a NUL and so does every
    // spelling inside it.
    if (s > 0 && strings_[s - 1] != 0) throw_error(strings_ + s - 1);
    symbol_count_ = n;
    strings_size_ = s;
    symbols_.assign(symbol_count_, 0);
    global_slots_.assign(symbol_count_, 0);
    // The boot image's words are all wanted: intern them before the records.
    if (!codec_)
      for (uint32_t i = 0; i < n; ++i) symbols_[i] = symbol_at(i, offsets_ + size_t{i} * word_size);
    p = strings_ + s;
  }
  if (records_size > static_cast<size_t>(end - p)) throw_error(size_at);
  const uint8_t* records_end = p + records_size;
  while (p < records_end) {
    // Padding words at the end of the records make no value.
    if (records_end - p >= 4 && p[0] == word_bit::padding) {
      p += word_size;
      continue;
    }
    p = decode_value(p, records_end, destination);
  }
}

const uint8_t* TavbinReader::decode_value(const uint8_t* p, const uint8_t* limit, const cell& destination) {
  const uint8_t* at;
  uint32_t word;
  do {
    at = p;
    word = read_u32(p, limit);
  } while ((word & word_bit::type_mask) == word_bit::padding);
  const auto type = static_cast<uint8_t>(word & word_bit::type_mask);
  const uint32_t header = word & word_bit::new_line ? cell_flag::new_line : 0;
  if (type == word_bit::reference) {
    const cell found = read_path(p, limit);
    *append(destination) = found;
    return p;
  }
  if (type == TYPE_SYMBOL || type == TYPE_SERIES || type > TYPE_EVENT) throw_error(at);
  if (no_codec_p(type)) {
    cell datatype;
    datatype::make_at(datatype, type);
    fire(error_id::access_no_codec, datatype);
  }
  // An op's header word holds its source type where others have the reference bit.
  const bool reference = (word & word_bit::referenced) && type != TYPE_OP && type != TYPE_CONTEXT;
  if (bound_type_p(type)) {
    nesting_.enter();
    p = decode_bound(p, limit, destination, record_start{type, false, reference, header, at, word});
    nesting_.leave();
    return p;
  }
  if (series::any_series_p(type) || type == TYPE_MAP || type == TYPE_BITSET) {
    if (reference) {
      int32_t head = 0;
      if (type != TYPE_MAP && type != TYPE_BITSET) {
        const uint8_t* head_at = p;
        head = static_cast<int32_t>(read_u32(p, limit));
        if (head < 0) throw_error(head_at);
      }
      return decode_series_reference(p, limit, destination, type, head, header);
    }
    nesting_.enter();
    p = decode_series(p, limit, destination, type, word);
    nesting_.leave();
    return p;
  }
  return decode_scalar(p, limit, destination, type, word, at);
}

const uint8_t* TavbinReader::decode_scalar(const uint8_t* p, const uint8_t* limit, const cell& destination,
                                           uint8_t type, uint32_t word, const uint8_t* at) {
  const uint32_t header = word & word_bit::new_line ? cell_flag::new_line : 0;
  cell made{header | type, 0, 0, 0};
  switch (type) {
    case TYPE_DATATYPE: {
      const uint8_t* id_at = p;
      made.payload1 = read_u32(p, limit);
      if (!registered_p(made.payload1)) throw_error(id_at);
      break;
    }
    case TYPE_UNSET:
    case TYPE_NONE: break;
    case TYPE_LOGIC: made.payload1 = read_u32(p, limit) != 0; break;
    case TYPE_CHAR:
    case TYPE_INTEGER: made.payload2 = read_u32(p, limit); break;
    case TYPE_FLOAT:
    case TYPE_PERCENT:
    case TYPE_TIME:
      made.payload3 = read_u32(p, limit);  // the high half first
      made.payload2 = read_u32(p, limit);
      break;
    case TYPE_ISSUE:
      made = word::make_cell(TYPE_ISSUE, context::global, read_symbol(p, limit), -1);
      made.header |= header;
      break;
    case TYPE_PAIR:
      made.payload2 = read_u32(p, limit);
      made.payload3 = read_u32(p, limit);
      break;
    case TYPE_TUPLE: {
      const uint32_t n = (word >> word_bit::unit_shift) & 0xFF;
      if (n < 1 || n > tuple::max_length) throw_error(at);
      made.header |= n << tuple_length_shift;
      [[fallthrough]];
    }
    case TYPE_TYPESET:
    case TYPE_POINT3D:
      made.payload1 = read_u32(p, limit);
      made.payload2 = read_u32(p, limit);
      made.payload3 = read_u32(p, limit);
      break;
    case TYPE_DATE:
      made.payload1 = read_u32(p, limit);
      made.payload3 = read_u32(p, limit);
      made.payload2 = read_u32(p, limit);
      break;
    case TYPE_MONEY:
      if (!registered_p(TYPE_MONEY)) not_done();
      if (word & word_bit::money_negative) made.header |= money_negative;
      made.payload1 = read_u32(p, limit);
      made.payload2 = read_u32(p, limit);
      made.payload3 = read_u32(p, limit);
      break;
    case TYPE_POINT2D:
      made.payload1 = read_u32(p, limit);
      made.payload2 = read_u32(p, limit);
      break;
    default: throw_error(at);
  }
  *append(destination) = made;
  return p;
}

const uint8_t* TavbinReader::decode_series(const uint8_t* p, const uint8_t* limit, const cell& destination,
                                           uint8_t type, uint32_t word) {
  const uint32_t header = word & word_bit::new_line ? cell_flag::new_line : 0;
  if (cells_type_p(type) || type == TYPE_MAP) return decode_cells(p, limit, destination, type, header);
  if (type == TYPE_IMAGE) {
    const uint8_t* head_at = p;
    const auto head = static_cast<int32_t>(read_u32(p, limit));
    if (head < 0) throw_error(head_at);
    const uint8_t* size_at = p;
    const uint32_t size = read_u32(p, limit);
    const node_id node = decode_pixels(p, limit, size & 0xFFFF, size >> 16, size_at);
    *append(destination) = cell{header | type, static_cast<uint32_t>(head), node, size};
    return p;
  }
  const uint8_t* head_at = p;
  const auto head = type == TYPE_BITSET ? 0 : static_cast<int32_t>(read_u32(p, limit));
  if (head < 0) throw_error(head_at);
  const uint32_t unit = (word >> word_bit::unit_shift) & 0xFF;
  uint32_t unit_code = 0;
  const uint8_t* count_at = p;
  const uint32_t n = read_u32(p, limit);
  uint32_t payload3 = 0;
  if (series::any_string_p(type)) {
    if (!unit_code_of(unit, 4, unit_code)) throw_error(head_at - word_size);
  } else if (type == TYPE_VECTOR) {
    const uint8_t* kind_at = p;
    payload3 = read_u32(p, limit);
    if (!unit_code_of(unit, 8, unit_code) || !vector_kind_p(payload3, unit_code)) throw_error(kind_at);
  } else if (type == TYPE_BINARY && unit != 1) {
    throw_error(head_at - word_size);
  }
  if (n > (static_cast<size_t>(limit - p) >> unit_code)) throw_error(count_at);
  const size_t bytes = size_t{n} << unit_code;
  node_id node;
  if (type == TYPE_BITSET) {
    const bool complement = (word & word_bit::bitset_complement) != 0;
    node = alloc_bytes_filled(n, complement ? 0xFF : 0x00);
    if (complement) buffer_of(node)->flags |= bitset_complement;
  } else {
    node = alloc_by_unit(n, 1u << unit_code);
  }
  std::memcpy(buffer_of(node)->data(), p, bytes);
  buffer_of(node)->tail = static_cast<uint32_t>(bytes);
  p = align(p + bytes, limit);
  *append(destination) = cell{header | type, static_cast<uint32_t>(head), node, payload3};
  return p;
}

const uint8_t* TavbinReader::decode_cells(const uint8_t* p, const uint8_t* limit, const cell& destination,
                                          uint8_t type, uint32_t header) {
  const uint8_t* head_at = p;
  const auto head = type == TYPE_MAP ? 0 : static_cast<int32_t>(read_u32(p, limit));
  if (head < 0) throw_error(head_at);
  const uint8_t* count_at = p;
  const uint32_t n = read_u32(p, limit);
  // Every record takes at least a word; a map's cells come in key/value pairs.
  if (n > static_cast<size_t>(limit - p) / word_size || (type == TYPE_MAP && (n & 1))) throw_error(count_at);
  const node_id node = alloc_cells(n > 0 ? n : 1);
  // As in the compact layout, the series stands in its container before its values are read.
  cell made{header | type, static_cast<uint32_t>(head), node, 0};
  if (type == TYPE_HASH) {
    made.payload3 = hashtable::create(n > 0 ? n : 1, node, hashtable::hash_kind);
  } else if (type == TYPE_MAP) {
    map::make_at(made, node, n);
    made.header |= header;
  }
  *append(destination) = made;
  const cell values{TYPE_BLOCK, 0, node, 0};
  for (uint32_t i = 0; i < n; ++i) p = decode_value(p, limit, values);
  if (made.payload3) hashtable::put_all(made.payload3, 0, 1);
  return p;
}

// ---- Writing ------------------------------------------------------------------------------

void TavbinWriter::pad_to(uint32_t bits) {
  while (records_.size() % (bits / 8)) records_.push_back(0);
}

void TavbinWriter::emit_run(const uint8_t* bytes, size_t count) {
  emit_bytes(bytes, count);
  pad_to(32);
}

uint32_t TavbinWriter::symbol_index(uint32_t symbol) {
  auto [found, added] = symbol_indexes_.try_emplace(symbol, static_cast<uint32_t>(symbol_ids_.size()));
  if (added) {
    symbol_ids_.push_back(symbol);
    symbol_offsets_.push_back(static_cast<uint32_t>(strings_.size()));
    strings_.append(symbol::name(symbol), symbol::name_length(symbol));
    strings_.push_back('\0');
    strings_.resize((strings_.size() + 7) & ~size_t{7}, '\0');
  }
  return found->second;
}

void TavbinWriter::encode_value(const cell& value) {
  write_value(value);
  paths_.advance();
}

void TavbinWriter::write_value(const cell& value_given) {
  const cell value = value_given;
  const uint8_t type = value.type();
  const uint32_t word = type | (value.header & cell_flag::new_line ? word_bit::new_line : 0);
  switch (type) {
    case TYPE_UNSET:
    case TYPE_NONE: emit_u32(word); return;
    case TYPE_DATATYPE:
    case TYPE_LOGIC:
      emit_u32(word);
      emit_u32(value.payload1);
      return;
    case TYPE_CHAR:
    case TYPE_INTEGER:
      emit_u32(word);
      emit_u32(value.payload2);
      return;
    case TYPE_FLOAT:
    case TYPE_PERCENT:
    case TYPE_TIME:
      pad_to(64);
      emit_u32(word);
      emit_u32(value.payload3);
      emit_u32(value.payload2);
      return;
    case TYPE_PAIR:
      emit_u32(word);
      emit_u32(value.payload2);
      emit_u32(value.payload3);
      return;
    case TYPE_POINT2D:
      emit_u32(word);
      emit_u32(value.payload1);
      emit_u32(value.payload2);
      return;
    case TYPE_ISSUE:
      emit_u32(word);
      emit_u32(symbol_index(word::symbol_of(value)));
      return;
    case TYPE_TUPLE:
    case TYPE_MONEY:
    case TYPE_TYPESET:
    case TYPE_POINT3D: {
      uint32_t full = word;
      if (type == TYPE_TUPLE) full |= tuple::length_of(value) << word_bit::unit_shift;
      if (type == TYPE_MONEY && (value.header & money_negative)) full |= word_bit::money_negative;
      emit_u32(full);
      emit_u32(value.payload1);
      emit_u32(value.payload2);
      emit_u32(value.payload3);
      return;
    }
    case TYPE_DATE:
      emit_u32(word);
      emit_u32(value.payload1);
      emit_u32(value.payload3);
      emit_u32(value.payload2);
      return;
    default: break;
  }
  if (no_codec_p(type)) fire(error_id::access_no_codec, value);
  if (type == TYPE_IMAGE) {
    encode_image(value, word);
    return;
  }
  if (bound_type_p(type)) {
    nesting_.enter();
    encode_bound(value, type, word);
    nesting_.leave();
    return;
  }
  if (series::any_series_p(type) || type == TYPE_MAP || type == TYPE_BITSET) {
    nesting_.enter();
    encode_series(value, type, word);
    nesting_.leave();
    return;
  }
  fire(error_id::access_no_codec, value);
}

void TavbinWriter::encode_series(const cell& value, uint8_t type, uint32_t word) {
  series_buffer* buffer = buffer_of(value.payload2);
  const auto head = static_cast<uint32_t>(series::head_of(value));
  const bool with_head = type != TYPE_MAP && type != TYPE_BITSET;
  const bool run = series::any_string_p(type) || type == TYPE_BINARY || type == TYPE_VECTOR;
  if (run) word |= buffer->unit() << word_bit::unit_shift;
  if (type == TYPE_BITSET && (buffer->flags & bitset_complement)) word |= word_bit::bitset_complement;
  if (encode_reference(value.payload2, share_of(type), word, with_head, head)) return;
  paths_.record(value.payload2, share_of(type));
  const path_level children(paths_);
  emit_u32(word);
  if (with_head) emit_u32(head);
  if (type == TYPE_MAP) {
    const uint32_t cells = buffer->count();
    uint32_t live = 0;
    for (uint32_t i = 0; i + 1 < cells; i += 2) live += buffer->cells()[i + 1].header != 0;
    emit_u32(live * 2);
    for (uint32_t i = 0; i + 1 < cells; i += 2) {
      // A removed pair keeps its key with an empty value cell.
      if (buffer_of(value.payload2)->cells()[i + 1].header == 0) continue;
      encode_value(buffer_of(value.payload2)->cells()[i]);
      encode_value(buffer_of(value.payload2)->cells()[i + 1]);
    }
    return;
  }
  if (cells_type_p(type)) {
    const uint32_t n = buffer->count();
    emit_u32(n);
    for (uint32_t i = 0; i < n; ++i) encode_value(buffer_of(value.payload2)->cells()[i]);
    return;
  }
  emit_u32(type == TYPE_BITSET ? buffer->used() : buffer->count());
  if (type == TYPE_VECTOR) emit_u32(value.payload3);
  emit_run(buffer->head(), buffer->used());
}

void TavbinWriter::encode_image(const cell& value, uint32_t word) {
  if (value.payload2 && encode_reference(value.payload2, share::image, word, true, value.payload1)) return;
  if (value.payload2) paths_.record(value.payload2, share::image);
  emit_u32(word);
  emit_u32(value.payload1);
  emit_u32(value.payload3);
  if (const uint32_t* pixels = image::pixels_of(value))
    emit_bytes(reinterpret_cast<const uint8_t*>(pixels), size_t{image::count_of(value)} * 4);
}

bool TavbinWriter::encode_reference(node_id key, share kind, uint32_t word, bool with_head, uint32_t head) {
  const reference_paths::entry* found = paths_.find(key);
  if (!found || found->kind != kind) return false;
  emit_u32(word | word_bit::referenced);
  if (with_head) emit_u32(head);
  emit_path_fixed(*found);
  return true;
}

void TavbinWriter::emit_path_fixed(const reference_paths::entry& found) {
  const uint32_t* path = paths_.path_at(found.offset);
  emit_u32(word_bit::reference);
  for (uint32_t i = 0; i <= path[0]; ++i) emit_u32(path[i]);
}

std::vector<uint8_t> TavbinWriter::finish() const {
  const auto symbol_count = static_cast<uint32_t>(symbol_ids_.size());
  std::vector<uint8_t> stream(magic, magic + sizeof magic);
  stream.reserve(32 + 4 * symbol_count + strings_.size() + records_.size());
  stream.push_back(writer_version);
  stream.push_back(symbol_count ? flag::symbols : 0);
  auto put = [&](uint32_t w) {
    for (int i = 0; i < 4; ++i) stream.push_back(static_cast<uint8_t>(w >> (8 * i)));
  };
  put(1);
  put(static_cast<uint32_t>(records_.size()));
  if (symbol_count) {
    put(symbol_count);
    put(static_cast<uint32_t>(strings_.size()));
    for (uint32_t offset : symbol_offsets_) put(offset);
    stream.insert(stream.end(), strings_.begin(), strings_.end());
  }
  stream.insert(stream.end(), records_.begin(), records_.end());
  return stream;
}

}  // namespace tav::tavbin
