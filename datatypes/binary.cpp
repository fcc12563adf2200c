// binary!: byte strings, the byte API, their conversions, bitwise operations and text form.
#include "datatypes/binary.hpp"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <vector>

#include "datatypes/actions.hpp"
#include "datatypes/base_n.hpp"
#include "datatypes/bitset.hpp"
#include "datatypes/image.hpp"
#include "datatypes/ownership.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/runtime_words.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/text_output.hpp"
#include "datatypes/tuple.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/stack.hpp"
#include "runtime/cycle_stack.hpp"
#include "runtime/errors.hpp"
#include "runtime/series.hpp"
#include "runtime/unicode.hpp"

namespace tav::binary {
namespace {

// Bytes per molded line, and the size from which the bytes go on lines of their own.
constexpr uint32_t line_bytes = 32;
constexpr uint32_t one_line_limit = 30;

series_buffer* buffer(const cell& value) { return buffer_of(node_of(value)); }
uint32_t capacity_of(const series_buffer* b) { return b->size - b->offset; }

bool text_type_p(uint8_t type) {
  switch (type) {
    case TYPE_STRING:
    case TYPE_FILE:
    case TYPE_URL:
    case TYPE_TAG:
    case TYPE_EMAIL:
    case TYPE_REF: return true;
    default: return false;
  }
}

cell datatype_cell() {
  cell type;
  datatype::make_at(type, TYPE_BINARY);
  return type;
}

[[gnu::cold, noreturn]] void no_memory() { fire(error_id::internal_no_memory); }

// The head index, pulled back to the tail when past it (and to 0 when below).
uint32_t clip_to_tail(cell& value) {
  uint32_t used = buffer(value)->used();
  auto index = static_cast<uint32_t>(std::clamp<int64_t>(head_of(value), 0, used));
  value.payload1 = index;
  return index;
}

bool inside_p(const series_buffer* b, const uint8_t* bytes) {
  auto address = reinterpret_cast<uintptr_t>(bytes);
  auto start = reinterpret_cast<uintptr_t>(b->data() + b->offset);
  return address >= start && address < reinterpret_cast<uintptr_t>(b->data() + b->size);
}

// ---- Byte forms -------------------------------------------------------------------------------

// The units of a text value from its head.
struct text_units {
  const uint8_t* data;
  uint32_t count;
  uint32_t width;
};

text_units units_of(const cell& text) {
  series_buffer* b = buffer_of(text.payload2);
  uint32_t width = b->unit();
  uint32_t total = b->count();
  auto head = static_cast<uint32_t>(std::clamp<int64_t>(static_cast<int32_t>(text.payload1), 0, total));
  return {b->head() + size_t{head} * width, total - head, width};
}

// Whether 1-byte units are all below 128, and so their own UTF-8 form.
bool ascii_p(const text_units& run) {
  if (run.width != 1) return false;
  uint64_t seen = 0;
  uint32_t k = 0;
  for (; k + 8 <= run.count; k += 8) {
    uint64_t word;
    std::memcpy(&word, run.data + k, 8);
    seen |= word;
  }
  for (; k < run.count; ++k) seen |= run.data[k];
  return (seen & 0x8080808080808080u) == 0;
}

// The UTF-8 size of the whole characters that fit in `limit` bytes (all of them when the
// limit is not above 0); `taken` receives their count.
size_t utf8_fitting(const text_units& run, int32_t limit, uint32_t& taken) {
  if (limit <= 0) {
    taken = run.count;
    return unicode::utf8_size_of_run(run.data, run.count, run.width);
  }
  size_t bytes = 0;
  uint32_t k = 0;
  for (; k < run.count; ++k) {
    auto size = static_cast<size_t>(unicode::cp_utf8_size(unicode::get_unit(run.data, k, run.width)));
    if (bytes + size > static_cast<size_t>(limit)) break;
    bytes += size;
  }
  taken = k;
  return bytes;
}

int64_t text_bytes(uint8_t* destination, const cell& text, int32_t limit) {
  text_units run = units_of(text);
  if (ascii_p(run)) {
    size_t size = limit > 0 ? std::min<size_t>(run.count, static_cast<size_t>(limit)) : run.count;
    if (destination && size) std::memcpy(destination, run.data, size);
    return static_cast<int64_t>(size);
  }
  uint32_t taken;
  size_t size = utf8_fitting(run, limit, taken);
  if (destination) unicode::encode_utf8(run.data, taken, run.width, destination, false);
  return static_cast<int64_t>(size);
}

// A limit above 0 and below the natural size keeps only the first `limit` bytes.
int64_t cut(int64_t size, int32_t limit) { return limit > 0 && limit < size ? limit : size; }

int64_t block_bytes(uint8_t* destination, const cell& block, int32_t limit, bool limit_counts_bytes, int mode) {
  node_id node = block.payload2;
  // A block inside itself ends in internal/too-deep instead of an endless walk.
  cycles::guard inside(node);
  auto position = static_cast<uint32_t>(std::max(static_cast<int32_t>(block.payload1), 0));
  bool counting_bytes = limit_counts_bytes && limit > 0;
  int64_t elements_left = !limit_counts_bytes && limit > 0 ? limit : INT64_MAX;
  int64_t bytes_left = limit;
  int64_t total = 0;
  for (; elements_left > 0; --elements_left, ++position) {
    const series_buffer* b = buffer_of(node);
    if (position >= b->count()) break;
    if (counting_bytes && bytes_left <= 0) break;
    cell element = reinterpret_cast<const cell*>(b->data() + b->offset)[position];
    auto element_limit = static_cast<int32_t>(counting_bytes ? bytes_left : -1);
    int64_t size =
        value_bytes(destination ? destination + total : nullptr, element, element_limit, limit_counts_bytes, mode);
    total += size;
    bytes_left -= size;
  }
  return total;
}

int64_t formed_bytes(uint8_t* destination, const cell& value, int32_t limit) {
  cell text;
  text::make_at(text, 16);
  cell copy = value;
  actions::form(&copy, &text, nullptr, INT32_MAX);
  return text_bytes(destination, text, limit);
}

// Values whose bytes go straight into an opened gap: writing them neither allocates nor
// reads the binary being changed.
bool direct_p(const cell& value, const cell& series) {
  switch (value.type()) {
    case TYPE_CHAR:
    case TYPE_INTEGER:
    case TYPE_TUPLE: return true;
    case TYPE_BINARY: return node_of(value) != node_of(series);
    default: return text_type_p(value.type());
  }
}

// Grows the buffer so that `needed` bytes fit from its offset: to exactly that when it is at
// least twice the capacity, else by the default doubling.
series_buffer* reserve(const cell& value, int64_t needed) {
  series_buffer* b = buffer(value);
  if (needed <= capacity_of(b)) return b;
  int64_t capacity = capacity_of(b);
  return expand_series(b, needed >= 2 * capacity ? needed : 0);
}

// Repeats the first `run` bytes at `place` until `total` bytes are filled, doubling the copy.
void repeat(uint8_t* place, int64_t run, int64_t total) {
  for (int64_t done = run; done < total;) {
    int64_t chunk = std::min(done, total - done);
    std::memcpy(place + done, place, static_cast<size_t>(chunk));
    done += chunk;
  }
}

// ---- Text form --------------------------------------------------------------------------------

int32_t new_line(cell& out, int32_t level, int32_t limit) {
  static constexpr char spaces[] = "                                ";
  text::append_char(out, '\n');
  for (int32_t left = 4 * level; left > 0; left -= 32)
    text::append_c_part(out, spaces, static_cast<uint32_t>(std::min(left, 32)));
  return limit - 1 - 4 * level;
}

int32_t mold_bytes(const cell& value, cell& out, bool only, bool flat, const cell* part, int32_t limit,
                   int32_t indent) {
  if (!only) {
    text::append_c_string(out, "#{");
    limit -= 2;
  }
  uint32_t size = ts_length_p(value);
  int32_t level = indent + 1;
  bool lines = !flat && size > one_line_limit;
  if (lines) limit = new_line(out, level, limit);
  char chunk[2 * line_bytes];
  for (uint32_t done = 0; done < size;) {
    uint32_t take = std::min(size - done, line_bytes - done % line_bytes);
    if (part) take = static_cast<uint32_t>(std::clamp<int64_t>((int64_t{limit} + 1) / 2, 1, take));
    const uint8_t* bytes = ts_head(value) + done;
    for (uint32_t k = 0; k < take; ++k) {
      chunk[2 * k] = hex_digits[bytes[k] >> 4];
      chunk[2 * k + 1] = hex_digits[bytes[k] & 15];
    }
    text::append_c_part(out, chunk, 2 * take);
    limit -= static_cast<int32_t>(2 * take);
    done += take;
    if (part && limit <= 0) return limit;
    // The break after a full last line already goes back to the closing brace's level.
    if (lines && done % line_bytes == 0) limit = new_line(out, done == size ? indent : level, limit);
  }
  if (lines && size % line_bytes != 0) limit = new_line(out, indent, limit);
  if (!only) {
    text::append_char(out, '}');
    limit -= 1;
  }
  return limit;
}

// ---- Bitwise ----------------------------------------------------------------------------------

enum bitwise_op { op_or = 5, op_and = 6, op_xor = 7 };

cell* do_bitwise(bitwise_op op) {
  cell first = *stack::argument(0);
  cell second = *stack::argument(1);
  if (second.type() != TYPE_BINARY) fire(error_id::script_invalid_arg, second);
  uint32_t length1 = ts_length_p(first), length2 = ts_length_p(second);
  uint32_t shorter = std::min(length1, length2), longer = std::max(length1, length2);
  cell result;
  make_at(result, longer);
  uint8_t* out = ts_head(result);
  const uint8_t* a = ts_head(first);
  const uint8_t* b = ts_head(second);
  for (uint32_t k = 0; k < shorter; ++k) {
    switch (op) {
      case op_or: out[k] = a[k] | b[k]; break;
      case op_and: out[k] = a[k] & b[k]; break;
      case op_xor: out[k] = a[k] ^ b[k]; break;
    }
  }
  if (op == op_and)
    std::memset(out + shorter, 0, longer - shorter);
  else
    std::memcpy(out + shorter, (length1 > length2 ? a : b) + shorter, longer - shorter);
  buffer(result)->tail += longer;
  return stack::set_last(result);
}

// ---- Trimming ---------------------------------------------------------------------------------

using byte_set = std::array<bool, 256>;

byte_set set_of(const cell& with) {
  byte_set set{};
  auto add = [&](int64_t code) {
    if (code >= 0 && code < 256) set[static_cast<size_t>(code)] = true;
  };
  switch (with.type()) {
    case TYPE_CHAR: add(with.payload2); break;
    case TYPE_INTEGER: add(scalar::integer_value(with)); break;
    case TYPE_BINARY: {
      const uint8_t* bytes = ts_head(with);
      for (uint32_t k = 0, n = ts_length_p(with); k < n; ++k) add(bytes[k]);
      break;
    }
    default: {
      if (!text_type_p(with.type())) fire(error_id::script_invalid_arg, with);
      text_units run = units_of(with);
      for (uint32_t k = 0; k < run.count; ++k) add(unicode::get_unit(run.data, k, run.width));
      break;
    }
  }
  return set;
}

// Removes every byte of the set from the head to the tail, keeping the order of the others.
void remove_bytes(const cell& value, const byte_set& set) {
  series_buffer* b = buffer(value);
  uint8_t* from = b->head() + head_of(value);
  uint8_t* end = b->end();
  uint8_t* to = from;
  for (; from < end; ++from)
    if (!set[*from]) *to++ = *from;
  b->tail = static_cast<uint32_t>(to - b->data());
}

void trim_zeros(const cell& value, bool head, bool tail) {
  series_buffer* b = buffer(value);
  uint8_t* start = b->head() + head_of(value);
  uint8_t* first = start;
  uint8_t* last = b->end();
  if (head || !tail) first = std::find_if(first, last, [](uint8_t byte) { return byte != 0; });
  if (tail || !head)
    while (last > first && last[-1] == 0) --last;
  std::memmove(start, first, static_cast<size_t>(last - first));
  b->tail = static_cast<uint32_t>(start + (last - first) - b->data());
}

// ---- Conversions ------------------------------------------------------------------------------

cell* push_bytes(const uint8_t* bytes, uint32_t count) { return load(bytes, count); }

cell* push_big_endian(uint64_t bits, uint32_t count) {
  uint8_t bytes[8];
  for (uint32_t k = 0; k < count; ++k) bytes[k] = static_cast<uint8_t>(bits >> (8 * (count - 1 - k)));
  return push_bytes(bytes, count);
}

cell* push_form_of(const cell& value) {
  int64_t size = value_bytes(nullptr, value, -1, false, 0);
  cell* result = stack::push_cell();
  *result = unset::value;
  make_at(*result, static_cast<uint32_t>(size));
  value_bytes(ts_head(*result), value, -1, false, 1);
  buffer(*result)->tail += static_cast<uint32_t>(size);
  return result;
}

cell* from_issue(const cell& issue) {
  uint32_t symbol = word::symbol_of(issue);
  const char* name = symbol::name(symbol);
  node_id node = decode_16(name, symbol::name_length(symbol), 1);
  if (!node) fire(error_id::script_invalid_data, issue);
  return stack::push_copy(make_cell(node));
}

}  // namespace

// ---- The byte API -------------------------------------------------------------------------------

cell* make_at(cell& target, uint32_t capacity) {
  target = cell{unset_header, 0, 0, 0};
  node_id node = alloc_bytes(capacity);
  target = make_cell(node);
  return &target;
}

cell* load_in(const uint8_t* bytes, size_t count, cell* block) {
  if (count > max_series_size) no_memory();
  node_id node = alloc_bytes(static_cast<uint32_t>(count));
  series_buffer* b = buffer_of(node);
  if (count) std::memcpy(b->head(), bytes, count);
  b->tail = b->offset + static_cast<uint32_t>(count);
  cell value = make_cell(node);
  cell* slot = block ? alloc_block_tail(*block) : stack::push_cell();
  *slot = value;
  return slot;
}

uint8_t* append_bytes(cell& value, const uint8_t* bytes, uint32_t count) {
  series_buffer* b = buffer(value);
  if (uint64_t{b->tail} + count <= b->size) [[likely]] {
    uint8_t* place = b->end();
    b->tail += count;
    std::memmove(place, bytes, count);
    return place;
  }
  bool own = inside_p(b, bytes);
  size_t from = own ? static_cast<size_t>(bytes - b->head()) : 0;
  uint8_t* place = alloc_tail_bytes(b, count);
  if (own) bytes = buffer(value)->head() + from;
  if (count) std::memmove(place, bytes, count);
  return place;
}

uint8_t* insert_bytes(cell& value, uint32_t offset, const uint8_t* bytes, uint32_t count) {
  series_buffer* b = buffer(value);
  // Bytes of this very binary are set aside first: the move below may run over them.
  std::vector<uint8_t> aside;
  if (inside_p(b, bytes)) {
    aside.assign(bytes, bytes + count);
    bytes = aside.data();
  }
  uint32_t used = b->used();
  auto at = static_cast<uint32_t>(std::min<int64_t>(int64_t{std::max(head_of(value), 0)} + offset, used));
  if (uint64_t{used} + count > capacity_of(b)) b = expand_series(b, 2 * int64_t{capacity_of(b)} + count);
  uint8_t* place = b->head() + at;
  std::memmove(place + count, place, used - at);
  if (count) std::memcpy(place, bytes, count);
  b->tail += count;
  return place;
}

void append_int32(int32_t integer, cell& value) {
  auto bits = static_cast<uint32_t>(integer);
  uint8_t bytes[4] = {static_cast<uint8_t>(bits >> 24), static_cast<uint8_t>(bits >> 16),
                      static_cast<uint8_t>(bits >> 8), static_cast<uint8_t>(bits)};
  std::memcpy(alloc_tail_bytes(buffer(value), 4), bytes, 4);
}

void set_value(uint8_t* address, const cell& value) {
  if (value.type() != TYPE_INTEGER && value.type() != TYPE_CHAR) fire(error_id::script_invalid_arg, value);
  *address = static_cast<uint8_t>(value.payload2);
}

int32_t compare_value(const cell& value1, const cell& value2, int32_t op, bool match) {
  uint8_t type2 = value2.type();
  if (type2 != TYPE_BINARY && !text_type_p(type2)) return actions::not_comparable;
  bool same = type2 == TYPE_BINARY && node_of(value1) == node_of(value2) && head_of(value1) == head_of(value2);
  if (op == actions::op::same) return same ? 0 : -1;
  bool equality = op == actions::op::equal || op == actions::op::not_equal || op == actions::op::strict_equal ||
                  op == actions::op::find;
  if (same && equality) return 0;

  uint32_t length1 = ts_length_p(value1);
  const uint8_t* bytes2;
  size_t length2;
  static std::vector<uint8_t> text_scratch;
  if (type2 == TYPE_BINARY) {
    bytes2 = ts_head(value2);
    length2 = ts_length_p(value2);
  } else if (text_units run = units_of(value2); ascii_p(run)) {
    bytes2 = run.data;
    length2 = run.count;
  } else {
    text_scratch.resize(size_t{run.count} * 4 + 1);
    length2 = unicode::encode_utf8(run.data, run.count, run.width, text_scratch.data(), false);
    bytes2 = text_scratch.data();
  }
  const uint8_t* bytes1 = ts_head(value1);

  if (match) {
    if (length2 == 0) return op == actions::op::equal || op == actions::op::strict_equal || op == actions::op::find ? 0 : 1;
    if (length1 < length2) return 1;
    int order = std::memcmp(bytes1, bytes2, length2);
    return order < 0 ? -1 : order > 0 ? 1 : 0;
  }
  if (length1 != length2 && equality) return 1;
  size_t common = std::min<size_t>(length1, length2);
  int order = common ? std::memcmp(bytes1, bytes2, common) : 0;
  if (order) return order < 0 ? -1 : 1;
  return length1 < length2 ? -1 : length1 > length2 ? 1 : 0;
}

bool match_value_p(const cell& binary, const cell& value, int32_t op) {
  if (value.type() == TYPE_CHAR) return ts_length_p(binary) > 0 && *ts_head(binary) == value.payload2;
  if (value.type() != TYPE_BINARY && !text_type_p(value.type())) return false;
  return compare_value(binary, value, op, true) == 0;
}

bool match_bitset_p(const cell& binary, const cell& bitset) {
  return ts_length_p(binary) > 0 && bitset::member_p(bitset, *ts_head(binary));
}

int64_t value_bytes(uint8_t* destination, const cell& value, int32_t limit, bool limit_counts_bytes, int mode) {
  bool write = mode == 1 || (mode == 2 && destination);
  uint8_t* out = write ? destination : nullptr;
  switch (value.type()) {
    case TYPE_CHAR: {
      uint8_t utf8[4];
      int64_t size = cut(unicode::cp_to_utf8(value.payload2, utf8), limit);
      if (out) std::memcpy(out, utf8, static_cast<size_t>(size));
      return size;
    }
    case TYPE_INTEGER: {
      int32_t integer = scalar::integer_value(value);
      if (integer > 255 || integer < -128) fire(error_id::script_invalid_arg, value);
      if (out) *out = static_cast<uint8_t>(integer);
      return 1;
    }
    case TYPE_BINARY: {
      int64_t size = cut(ts_length_p(value), limit);
      if (out) std::memmove(out, ts_head(value), static_cast<size_t>(size));
      return size;
    }
    case TYPE_TUPLE: {
      int64_t size = cut(tuple::length_of(value), limit);
      if (out) std::memcpy(out, tuple::bytes_of(value), static_cast<size_t>(size));
      return size;
    }
    case TYPE_BLOCK:
    case TYPE_PAREN:
    case TYPE_HASH: return block_bytes(out, value, limit, limit_counts_bytes, mode);
    default:
      if (text_type_p(value.type())) return text_bytes(out, value, limit);
      if (mode != 2) fire(error_id::script_bad_to_arg, datatype_cell(), value);
      return formed_bytes(out, value, limit);
  }
}

// ---- Handlers -----------------------------------------------------------------------------------

cell* to(cell*, cell* spec, int32_t) {
  cell value = *spec;
  switch (value.type()) {
    case TYPE_BLOCK:
    case TYPE_PAREN:
    case TYPE_HASH: {
      cell* result = stack::push_cell();
      *result = unset::value;
      make_at(*result, 16);
      return append(result, &value, -1, false, 1, true);
    }
    case TYPE_CHAR:
    case TYPE_TUPLE:
    case TYPE_BINARY: return push_form_of(value);
    case TYPE_INTEGER: return push_big_endian(static_cast<uint32_t>(scalar::integer_value(value)), 4);
    case TYPE_FLOAT:
    case TYPE_PERCENT: {
      uint64_t bits = uint64_t{value.payload3} << 32 | value.payload2;
      return push_big_endian(bits, 8);
    }
    case TYPE_BITSET: return push_bytes(bitset::ts_head(value), bitset::byte_length(value));
    case TYPE_ISSUE: return from_issue(value);
    case TYPE_IMAGE: return image::extract_data(value, image::argb);
    default:
      if (text_type_p(value.type())) return push_form_of(value);
      fire(error_id::script_bad_to_arg, datatype_cell(), value);
  }
}

int32_t form(cell* value, cell* buffer, cell* part, int32_t limit) {
  return mold_bytes(*value, *buffer, false, false, part, limit, 0);
}

int32_t mold(cell* value, cell* buffer, bool only, bool, bool flat, cell* part, int32_t limit, int32_t indent) {
  return mold_bytes(*value, *buffer, only, flat, part, limit, indent);
}

int32_t compare(cell* value1, cell* value2, int32_t op) {
  if (value2->type() != TYPE_BINARY) return actions::not_comparable;
  return compare_value(*value1, *value2, op, false);
}

cell* and_() { return do_bitwise(op_and); }

cell* complement(cell* value) {
  uint8_t* bytes = ts_head(*value);
  for (uint32_t k = 0, n = ts_length_p(*value); k < n; ++k) bytes[k] = static_cast<uint8_t>(~bytes[k]);
  return value;
}

cell* or_() { return do_bitwise(op_or); }

cell* xor_() { return do_bitwise(op_xor); }

cell* append(cell* series, cell* value, int32_t part, bool only, int32_t dup, bool append) {
  cell target = *series;
  uint32_t index = 0, total = 0;
  int64_t n = 0, size = 0;
  auto plan = [&] {
    index = clip_to_tail(target);
    total = buffer(target)->used();
    n = value_bytes(nullptr, *value, part, only, 0);
    size = n * std::max(dup, 1);
    if (size > INT32_MAX || total + size > INT32_MAX) no_memory();
  };
  plan();
  bool owned = ownership::check(target, words::append, *value, static_cast<int32_t>(total), part);
  // The owner's handler may have changed the binary or the value: measure again.
  if (owned) plan();
  if (n == 0) return series;

  bool at_tail = append || index == total;
  std::vector<uint8_t> aside;
  bool direct = at_tail || direct_p(*value, target);
  if (!direct) {
    aside.resize(static_cast<size_t>(n));
    value_bytes(aside.data(), *value, part, only, 1);
  }
  series_buffer* b = reserve(target, total + size);
  uint32_t at = at_tail ? total : index;
  uint8_t* place = b->head() + at;
  if (!at_tail) std::memmove(place + size, place, total - at);
  if (direct)
    value_bytes(place, *value, part, only, 1);
  else
    std::memcpy(place, aside.data(), aside.size());
  repeat(place, n, size);
  buffer(target)->tail += static_cast<uint32_t>(size);
  if (owned) ownership::check(target, words::appended, *value, static_cast<int32_t>(total), part);
  // An insertion, even at the tail, answers the position just past what it inserted.
  series->payload1 = append ? 0 : at + static_cast<uint32_t>(size);
  return series;
}

cell* change(cell* series, cell* value, int32_t part, bool only, int32_t dup) {
  cell target = *series;
  uint32_t index = 0, total = 0, rest = 0;
  int64_t n = 0, inserted = 0, removed = 0, new_total = 0;
  int32_t cut_part = part;
  auto plan = [&] {
    index = clip_to_tail(target);
    total = buffer(target)->used();
    rest = total - index;
    cut_part = part >= 0 ? static_cast<int32_t>(std::min<uint32_t>(static_cast<uint32_t>(part), rest)) : part;
    n = value_bytes(nullptr, *value, -1, only, 2);
    inserted = n * std::max(dup, 1);
    removed = cut_part >= 0 ? cut_part : std::min<int64_t>(inserted, rest);
    new_total = int64_t{total} - removed + inserted;
    if (inserted > INT32_MAX || new_total > INT32_MAX) no_memory();
  };
  plan();
  bool owned = ownership::check(target, words::change, *value, static_cast<int32_t>(index), cut_part);
  // The owner's handler may have changed the binary or the value: measure again.
  if (owned) plan();

  std::vector<uint8_t> aside;
  bool direct = direct_p(*value, target);
  if (!direct && n) {
    aside.resize(static_cast<size_t>(n));
    value_bytes(aside.data(), *value, -1, only, 2);
  }
  series_buffer* b = buffer(target);
  if (new_total > capacity_of(b)) b = expand_series(b, new_total);
  uint8_t* place = b->head() + index;
  std::memmove(place + inserted, place + removed, static_cast<size_t>(rest - removed));
  if (direct)
    value_bytes(place, *value, -1, only, 2);
  else if (n)
    std::memcpy(place, aside.data(), aside.size());
  repeat(place, n, inserted);
  b = buffer(target);
  b->tail = b->offset + static_cast<uint32_t>(new_total);
  if (owned) ownership::check(target, words::changed, *value, static_cast<int32_t>(index), cut_part);
  series->payload1 = index + static_cast<uint32_t>(inserted);
  return series;
}

cell* trim(cell* series, bool head, bool tail, bool auto_, bool lines, bool all, cell* with) {
  cell target = *series;
  clip_to_tail(target);
  if (with) {
    remove_bytes(target, set_of(*with));
  } else if (all) {
    byte_set zero{};
    zero[0] = true;
    remove_bytes(target, zero);
  } else if (auto_ || lines) {
    fire(error_id::internal_not_done);
  } else {
    trim_zeros(target, head, tail);
  }
  ownership::check(target, words::trim, none::value, head_of(target), 0);
  return series;
}

void init() {
  datatype::register_type(TYPE_BINARY, datatype::actions_row(
      // make random reflect to form mold eval-path set-path compare
      inherit, inherit, inherit, &to, &form, &mold, inherit, unsupported, &compare,
      // absolute add divide multiply negate power remainder round subtract
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported,
      // even? odd? and~ complement or~ xor~
      unsupported, unsupported, &and_, &complement, &or_, &xor_,
      // append at back change clear copy find head head? index? insert length? move next
      &append, inherit, inherit, &change, inherit, inherit, inherit, inherit, inherit, inherit, &append, inherit,
      inherit, inherit,
      // pick poke put remove reverse select sort skip swap tail tail? take trim
      inherit, inherit, unsupported, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
      &trim,
      // create close delete modify open open? query read rename update write
      unsupported, unsupported, unsupported, inherit, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported));
}

}  // namespace tav::binary
