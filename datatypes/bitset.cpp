// bitset!: bit arrays with a complement flag, the make-spec walker, and the bitset handlers.
#include "datatypes/bitset.hpp"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "datatypes/actions.hpp"
#include "datatypes/base_n.hpp"
#include "datatypes/binary.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/ownership.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/runtime_words.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/text_output.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/stack.hpp"
#include "runtime/cycle_stack.hpp"
#include "runtime/errors.hpp"
#include "runtime/series.hpp"
#include "runtime/unicode.hpp"

namespace tav::bitset {
namespace {

// What the make-spec walker does with the bits it meets.
enum walk_op : int32_t { op_size = 0, op_set = 1, op_test = 2, op_clear = 3 };
// Who walks: it only chooses the error for an unusable spec.
enum walk_mode : int32_t { mode_make = 0, mode_to = 1, mode_other = 2 };
// The walker's answer for op set when nothing was counted.
constexpr int64_t nothing = -1;

series_buffer* buffer(const cell& bitset) { return buffer_of(node_of(bitset)); }
uint8_t fill_of(const series_buffer* b) { return (b->flags & not_flag) ? 0xFF : 0x00; }
uint32_t capacity_of(const series_buffer* b) { return b->size - b->offset; }
// Bits stored: those of the bytes in use.
int64_t stored_bits(const cell& bitset) { return int64_t{buffer(bitset)->used()} * 8; }

cell datatype_cell() {
  cell type;
  datatype::make_at(type, TYPE_BITSET);
  return type;
}

// A 32-bit integer from an integer! or a float! (truncated); a float out of range or NaN
// raises script/out-of-range with the value.
int64_t int_from_number(const cell& value) {
  if (value.type() != TYPE_FLOAT) return integer::get(value);
  if (integer::float_out_of_range_p(value)) fire(error_id::script_out_of_range, value);
  return static_cast<int64_t>(std::trunc(scalar::float_value(value)));
}

// The bit number of a char!, integer! or float! element.
int64_t bit_number(const cell& value) {
  return value.type() == TYPE_CHAR ? int64_t{value.payload2} : int_from_number(value);
}

// The length of a bitset counts its bits in an integer!, so no more bytes than that can count.
constexpr int64_t max_bytes = INT32_MAX / 8;

// A bit number (or a size in bits) past what a bitset can count.
[[gnu::cold, noreturn]] void too_large(int64_t bits) {
  fire(error_id::script_out_of_range, scalar::integer(static_cast<int32_t>(std::min<int64_t>(bits, INT32_MAX))));
}

// Makes bit n storable: grows the buffer (new bytes get the complement fill) and moves the
// tail past n's byte. Answers byte 0.
uint8_t* bound_check(const cell& bitset, int64_t n) {
  series_buffer* b = buffer(bitset);
  int64_t bytes = (n >> 3) + 1;
  if (bytes > max_bytes) too_large(n);
  if (bytes > capacity_of(b)) b = expand_series_filled(b, bytes, fill_of(b));
  if (b->offset + bytes > b->tail) b->tail = b->offset + static_cast<uint32_t>(bytes);
  return b->head();
}

// Sets or clears the stored bits low..high.
void write_bits(uint8_t* head, int64_t low, int64_t high, bool on) {
  int64_t first = low >> 3, last = high >> 3;
  auto first_mask = static_cast<uint8_t>(0xFF >> (low & 7));
  auto last_mask = static_cast<uint8_t>(0xFF << (7 - (high & 7)));
  auto apply = [&](int64_t at, uint8_t mask) {
    if (on)
      head[at] |= mask;
    else
      head[at] &= static_cast<uint8_t>(~mask);
  };
  if (first == last) return apply(first, first_mask & last_mask);
  apply(first, first_mask);
  std::memset(head + first + 1, on ? 0xFF : 0x00, static_cast<size_t>(last - first - 1));
  apply(last, last_mask);
}

// Whether every stored bit low..high is set.
bool all_set_p(const uint8_t* head, int64_t low, int64_t high) {
  int64_t first = low >> 3, last = high >> 3;
  auto first_mask = static_cast<uint8_t>(0xFF >> (low & 7));
  auto last_mask = static_cast<uint8_t>(0xFF << (7 - (high & 7)));
  if (first == last) return (head[first] & first_mask & last_mask) == (first_mask & last_mask);
  if ((head[first] & first_mask) != first_mask || (head[last] & last_mask) != last_mask) return false;
  return std::all_of(head + first + 1, head + last, [](uint8_t byte) { return byte == 0xFF; });
}

// Whether the bits low..high are all members: unstored ones read as the complement flag.
bool range_member_p(const cell& bitset, int64_t low, int64_t high) {
  bool flag = not_p(bitset);
  int64_t stored = stored_bits(bitset);
  if (low < 0 || high >= stored) {
    if (!flag) return false;
    low = std::max<int64_t>(low, 0);
    high = std::min(high, stored - 1);
    if (low > high) return true;
  }
  return all_set_p(ts_head(bitset), low, high);
}

// Sets (on) or clears the bits low..high. Setting on a complemented bitset, or clearing on a
// plain one, leaves the unstored bits as they are, which already read as wanted, and never
// grows the buffer; otherwise the buffer grows to hold `high`.
void change_range(const cell& bitset, int64_t low, int64_t high, bool on) {
  if (not_p(bitset) == on) {
    int64_t stored = stored_bits(bitset);
    if (low < stored) write_bits(ts_head(bitset), low, std::min(high, stored - 1), on);
    return;
  }
  write_bits(bound_check(bitset, high), low, high, on);
}

// The answer of op set for a range or a single bit: the highest bit it made stored, or
// `nothing` when every named bit was already a member without being stored.
int64_t set_answer(const cell& bitset, int64_t high) {
  return high < stored_bits(bitset) ? high : nothing;
}

int64_t process_range(const cell& element, int64_t low, int64_t high, cell& bitset, int32_t op) {
  if (low < 0 && op != op_test) fire(error_id::script_out_of_range, element);
  switch (op) {
    case op_size: return high;
    case op_test: return range_member_p(bitset, low, high) ? 1 : 0;
    case op_set: change_range(bitset, low, high, true); return set_answer(bitset, high);
    default: change_range(bitset, low, high, false); return 1;
  }
}

int64_t process_bit(const cell& element, cell& bitset, int32_t op) {
  int64_t n = bit_number(element);
  if (op == op_test) return member_p(bitset, n) ? 1 : 0;
  return process_range(element, n, n, bitset, op);
}

// A string's code points from its head, read through the buffer each time: growing the
// bitset may run a collection.
struct text_run {
  node_id node;
  uint32_t first, count, unit;
  uint32_t at(uint32_t k) const {
    const series_buffer* b = buffer_of(node);
    return unicode::get_unit(b->data() + b->offset, first + k, unit);
  }
};

text_run run_of(const cell& text) {
  const series_buffer* b = buffer_of(text.payload2);
  uint32_t total = b->count();
  auto head = static_cast<uint32_t>(std::clamp<int64_t>(static_cast<int32_t>(text.payload1), 0, total));
  return {text.payload2, head, total - head, b->unit()};
}

int64_t process_string(const cell& text, cell& bitset, int32_t op) {
  text_run run = run_of(text);
  if (op == op_test) {
    // Empty text: no character fails the test.
    for (uint32_t k = 0; k < run.count; ++k)
      if (!member_p(bitset, run.at(k))) return 0;
    return 1;
  }
  int64_t highest = nothing;
  for (uint32_t k = 0; k < run.count; ++k) highest = std::max<int64_t>(highest, run.at(k));
  if (op == op_size || highest == nothing) return op == op_clear ? 1 : highest;
  bool on = op == op_set;
  if (not_p(bitset) != on) bound_check(bitset, highest);
  int64_t stored = stored_bits(bitset);
  uint8_t* head = ts_head(bitset);
  for (uint32_t k = 0; k < run.count; ++k) {
    int64_t n = run.at(k);
    if (n < stored) write_bits(head, n, n, on);
  }
  return on ? set_answer(bitset, highest) : 1;
}

bool range_mark_p(const cell& value) {
  return value.type() == TYPE_WORD && word::symbol_of(value) == symbols::minus;
}

[[gnu::cold, noreturn]] void unusable(const cell& value, int32_t mode) {
  switch (mode) {
    case mode_make: fire(error_id::script_bad_make_arg, datatype_cell(), value);
    case mode_to: fire(error_id::script_bad_to_arg, datatype_cell(), value);
    default: fire(error_id::script_invalid_arg, value);
  }
}

int64_t process_spec(const cell& value, cell& bitset, int32_t op, bool nested, int32_t mode);

int64_t process_block(const cell& block, cell& bitset, int32_t op, int32_t mode) {
  node_id node = block.payload2;
  // A block met again inside itself adds nothing new.
  if (cycles::find(node)) return op == op_test ? 1 : nothing;
  cycles::guard inside(node);
  int64_t highest = nothing;
  auto position = static_cast<uint32_t>(std::max(static_cast<int32_t>(block.payload1), 0));
  for (;;) {
    const series_buffer* b = buffer_of(node);
    uint32_t count = b->count();
    if (position >= count) break;
    const cell* cells = reinterpret_cast<const cell*>(b->data() + b->offset);
    cell element = cells[position];
    int64_t answer;
    if ((element.type() == TYPE_CHAR || element.type() == TYPE_INTEGER) && position + 1 < count &&
        range_mark_p(cells[position + 1])) {
      if (position + 2 >= count) fire(error_id::script_past_end);
      cell upper = cells[position + 2];
      if (upper.type() != element.type()) fire(error_id::script_invalid_arg, upper);
      int64_t low = bit_number(element), high = bit_number(upper);
      if (low > high) fire(error_id::script_past_end);
      answer = process_range(element, low, high, bitset, op);
      if (op == op_size || op == op_set) answer = high;
      position += 3;
    } else {
      answer = process_spec(element, bitset, op, true, mode);
      position += 1;
    }
    if (op == op_test && answer == 0) return 0;
    highest = std::max(highest, answer);
  }
  if (op == op_test || op == op_clear) return 1;
  return highest;
}

int64_t process_spec(const cell& value, cell& bitset, int32_t op, bool nested, int32_t mode) {
  int64_t answer;
  switch (value.type()) {
    case TYPE_CHAR:
    case TYPE_INTEGER:
    case TYPE_FLOAT: answer = process_bit(value, bitset, op); break;
    case TYPE_STRING: answer = process_string(value, bitset, op); break;
    case TYPE_BLOCK: answer = process_block(value, bitset, op, mode); break;
    case TYPE_BINARY: fire(error_id::internal_not_done);
    default: unusable(value, mode);
  }
  if (nested || (op != op_size && op != op_set)) return answer;
  // The highest bit becomes a count of bytes: at least one.
  int64_t bytes = std::max<int64_t>(1, ((answer + 8) & ~int64_t{7}) / 8);
  if (op == op_size) return bytes;
  series_buffer* b = buffer(bitset);
  auto tail = static_cast<uint32_t>(std::min<int64_t>(b->offset + bytes, b->size));
  if (tail > b->tail) b->tail = tail;
  return 1;
}

// A new bit buffer of `bytes` bytes in use, every byte of its capacity `fill`.
node_id new_bits(int64_t bytes, uint8_t fill) {
  if (bytes > max_bytes) too_large(bytes * 8 - 1);
  node_id node = alloc_bytes_filled(static_cast<uint32_t>(bytes), fill);
  series_buffer* b = buffer_of(node);
  b->tail = b->offset + static_cast<uint32_t>(bytes);
  if (fill) b->flags |= not_flag;
  return node;
}

bool not_word_p(const cell& value) {
  return value.type() == TYPE_WORD && symbol::resolve(word::symbol_of(value)) == symbol::resolve(symbols::not_);
}

bool clearing_value_p(const cell& value) {
  switch (value.type()) {
    case TYPE_NONE: return true;
    case TYPE_LOGIC: return value.payload1 == 0;
    case TYPE_INTEGER: return scalar::integer_value(value) == 0;
    case TYPE_FLOAT: return scalar::float_value(value) == 0.0;
    default: return false;
  }
}

cell index_value(int32_t index, const cell* index_cell) {
  return index_cell ? *index_cell : scalar::integer(index);
}

int32_t mold_bits(const cell& value, cell& out, const cell* part, int32_t limit) {
  bool complemented = not_p(value);
  text::append_c_string(out, complemented ? "make bitset! [not #{" : "make bitset! #{");
  limit -= complemented ? 20 : 15;
  uint8_t invert = complemented ? 0xFF : 0x00;
  uint32_t length = byte_length(value);
  char chunk[128];
  for (uint32_t done = 0; done < length;) {
    uint32_t take = std::min<uint32_t>(length - done, sizeof chunk / 2);
    if (part) take = std::min<uint32_t>(take, static_cast<uint32_t>(std::max(limit, 0)) / 2 + 1);
    const uint8_t* bytes = ts_head(value) + done;
    for (uint32_t k = 0; k < take; ++k) {
      uint8_t byte = bytes[k] ^ invert;
      chunk[2 * k] = binary::hex_digits[byte >> 4];
      chunk[2 * k + 1] = binary::hex_digits[byte & 15];
    }
    text::append_c_part(out, chunk, 2 * take);
    limit -= static_cast<int32_t>(2 * take);
    done += take;
    if (part && limit < 0) break;
  }
  if (part && limit < 1) return limit;
  text::append_c_string(out, complemented ? "}]" : "}");
  return limit - (complemented ? 2 : 1);
}

int32_t order_of(uint8_t a, uint8_t b) { return a < b ? -1 : a > b ? 1 : 0; }

}  // namespace

cell* make_from_spec(const cell& spec, int32_t mode) {
  cell* result = stack::push_cell();
  *result = unset::value;
  cell source = spec;
  bool complemented = false;
  if (source.type() == TYPE_BLOCK) {
    const series_buffer* b = buffer_of(source.payload2);
    auto position = static_cast<uint32_t>(std::max(static_cast<int32_t>(source.payload1), 0));
    const cell* cells = reinterpret_cast<const cell*>(b->data() + b->offset);
    if (position < b->count() && not_word_p(cells[position])) {
      complemented = true;
      source.payload1 = position + 1;
      if (position + 1 < b->count() && cells[position + 1].type() == TYPE_BINARY) source = cells[position + 1];
    }
  }
  uint8_t fill = complemented ? 0xFF : 0x00;
  node_id node;
  switch (source.type()) {
    case TYPE_INTEGER:
    case TYPE_FLOAT: {
      if (mode == mode_to) fire(error_id::script_bad_to_arg, datatype_cell(), spec);
      int64_t bits = int_from_number(source);
      if (bits < 0) fire(error_id::script_out_of_range, spec);
      node = new_bits((bits + 7) / 8, 0);
      break;
    }
    case TYPE_BITSET: node = copy_series(buffer(source)); break;
    case TYPE_BINARY: {
      uint32_t length = binary::ts_length_p(source);
      node = new_bits(length, fill);
      uint8_t* bytes = buffer_of(node)->head();
      const uint8_t* from = binary::ts_head(source);
      for (uint32_t k = 0; k < length; ++k) bytes[k] = from[k] ^ fill;
      break;
    }
    default: {
      int64_t bytes = process_spec(source, *result, op_size, false, mode);
      node = new_bits(bytes, fill);
      *result = make_cell(node);
      process_spec(source, *result, complemented ? op_clear : op_set, false, mode);
      break;
    }
  }
  *result = make_cell(node);
  return result;
}

cell* do_bitwise(int32_t code) {
  cell first = *stack::argument(0);
  if (code == 8) return stack::push_copy(first);
  cell second = *stack::argument(1);
  if (second.type() != TYPE_BITSET) {
    cell type;
    datatype::make_at(type, second.type());
    fire(error_id::script_invalid_type, type);
  }
  uint32_t length1 = byte_length(first), length2 = byte_length(second);
  uint32_t shorter = std::min(length1, length2), longer = std::max(length1, length2);
  uint8_t fill = not_p(first) != not_p(second) ? 0xFF : 0x00;
  cell* result = stack::push_cell();
  *result = make_cell(new_bits(longer, fill));
  uint8_t* out = ts_head(*result);
  const uint8_t* a = ts_head(first);
  const uint8_t* b = ts_head(second);
  for (uint32_t k = 0; k < shorter; ++k) {
    switch (code) {
      case 5:
      case 9: out[k] = a[k] | b[k]; break;
      case 6:
      case 10: out[k] = a[k] & b[k]; break;
      case 11: out[k] = a[k] & static_cast<uint8_t>(~b[k]); break;
      default: out[k] = a[k] ^ b[k]; break;
    }
  }
  const uint8_t* rest = length1 > length2 ? a : b;
  bool copy_rest = code == 5 || code == 9 || code == 7 || code == 12 || (code == 11 && length1 > length2);
  for (uint32_t k = shorter; k < longer; ++k) out[k] = copy_rest ? rest[k] : 0;
  if (code == 6) {
    series_buffer* r = buffer(*result);
    r->tail = r->offset + shorter;
    std::memset(out + shorter, fill, longer - shorter);
  }
  return result;
}

// ---- Handlers -------------------------------------------------------------------------------

cell* make(cell*, cell* spec, int32_t) { return make_from_spec(*spec, mode_make); }

cell* reflect(cell* value, int32_t field) {
  if (symbol::resolve(static_cast<uint32_t>(field)) != symbol::resolve(symbols::owned))
    fire(error_id::internal_not_done);
  const cell* owner = ownership::owner_of(*value);
  *value = owner ? *owner : none::value;
  return value;
}

cell* to(cell*, cell* spec, int32_t) { return make_from_spec(*spec, mode_to); }

int32_t form(cell* value, cell* buffer, cell* part, int32_t limit) { return mold_bits(*value, *buffer, part, limit); }

int32_t mold(cell* value, cell* buffer, bool, bool, bool, cell* part, int32_t limit, int32_t) {
  return mold_bits(*value, *buffer, part, limit);
}

cell* eval_path(cell* parent, cell* element, cell* value, cell*, cell*, cell*, int32_t, bool, bool, bool, bool) {
  if (element->type() != TYPE_INTEGER && element->type() != TYPE_CHAR) {
    cell type;
    datatype::make_at(type, element->type());
    fire(error_id::script_invalid_type, type);
  }
  if (!value) return pick(parent, actions::get_index_arg(*element), element);
  poke(parent, actions::get_index_arg(*element), value, element);
  return value;
}

int32_t compare(cell* value1, cell* value2, int32_t op) {
  if (value2->type() != TYPE_BITSET) return actions::not_comparable;
  if (op == actions::op::same) return node_of(*value1) == node_of(*value2) ? 0 : -1;
  uint32_t length1 = byte_length(*value1), length2 = byte_length(*value2);
  if (length1 != length2) return length1 < length2 ? -1 : 1;
  if (length1 == 0) return 0;
  bool flag1 = not_p(*value1), flag2 = not_p(*value2);
  if (flag1 != flag2) return flag1 ? 1 : -1;
  const uint8_t* a = ts_head(*value1);
  const uint8_t* b = ts_head(*value2);
  for (uint32_t k = length1; k-- > 0;)
    if (a[k] != b[k]) return order_of(a[k], b[k]);
  return 0;
}

cell* negate(cell* number) {
  *number = *complement(number);
  return number;
}

cell* and_() { return stack::set_last(*do_bitwise(6)); }

cell* complement(cell* value) {
  node_id node = copy_series(buffer(*value));
  series_buffer* b = buffer_of(node);
  b->flags ^= not_flag;
  uint8_t* bytes = b->head();
  for (uint32_t k = 0, n = capacity_of(b); k < n; ++k) bytes[k] = static_cast<uint8_t>(~bytes[k]);
  return stack::push_copy(make_cell(node));
}

cell* or_() { return stack::set_last(*do_bitwise(5)); }

cell* xor_() { return stack::set_last(*do_bitwise(7)); }

cell* append(cell* series, cell* value, int32_t, bool, int32_t, bool) {
  bool owned = ownership::check(*series, global_words::insert, *value, 0, 0);
  process_spec(*value, *series, op_set, false, mode_other);
  if (owned) ownership::check(*series, words::inserted, *value, 0, 0);
  return series;
}

cell* clear(cell* series) {
  bool owned = ownership::check(*series, words::clear, none::value, 0, 0);
  series_buffer* b = buffer(*series);
  std::memset(b->head(), fill_of(b), b->used());
  if (owned) ownership::check(*series, words::cleared, none::value, 0, 0);
  return series;
}

cell* copy(cell* value, cell* result, cell*, bool, cell*) {
  *result = make_cell(copy_series(buffer(*value)));
  return result;
}

cell* find(cell* series, cell* value, cell*, bool, bool, bool, bool, cell*, cell*, bool, bool, bool, bool) {
  cell* answer = pick(series, 0, value);
  return logic::get(*answer) ? answer : &none::value;
}

int32_t length_p(cell* series) { return static_cast<int32_t>(byte_length(*series) * 8); }

cell* pick(cell* series, int32_t index, cell* index_cell) {
  cell position = index_value(index, index_cell);
  bool member = process_spec(position, *series, op_test, true, mode_other) >= 1;
  return member ? &logic::true_value : &logic::false_value;
}

cell* poke(cell* series, int32_t index, cell* value, cell* index_cell) {
  cell position = index_value(index, index_cell);
  bool owned = ownership::check(*series, words::poke, *value, 0, 0);
  process_spec(position, *series, clearing_value_p(*value) ? op_clear : op_set, false, mode_other);
  if (owned) ownership::check(*series, words::poked, *value, 0, 0);
  return value;
}

// Removing from a complemented bitset clears the named bits too, as poking false does.
cell* remove(cell* series, cell* part, cell*) {
  if (!part) fire(error_id::script_missing_arg);
  bool owned = ownership::check(*series, global_words::remove, *part, 0, 0);
  process_spec(*part, *series, op_clear, false, mode_other);
  if (owned) ownership::check(*series, words::removed, *part, 0, 0);
  return series;
}

cell* modify(cell* target, cell* field, cell* value, bool) {
  if (!any_word_p(field->type()) || symbol::resolve(word::symbol_of(*field)) != symbol::resolve(symbols::owned))
    return value;
  if (value->type() == TYPE_NONE)
    ownership::unbind(*target);
  else if (value->type() == TYPE_BLOCK)
    ownership::bind_spec(*target, *value);
  return value;
}

void init() {
  datatype::register_type(TYPE_BITSET, datatype::actions_row(
      // make random reflect to form mold eval-path set-path compare
      &make, unsupported, &reflect, &to, &form, &mold, &eval_path, unsupported, &compare,
      // absolute add divide multiply negate power remainder round subtract
      unsupported, unsupported, unsupported, unsupported, &negate, unsupported, unsupported, unsupported,
      unsupported,
      // even? odd? and~ complement or~ xor~
      unsupported, unsupported, &and_, &complement, &or_, &xor_,
      // append at back change clear copy find head head? index? insert length? move next
      &append, unsupported, unsupported, unsupported, &clear, &copy, &find, unsupported, unsupported, unsupported,
      &append, &length_p, unsupported, unsupported,
      // pick poke put remove reverse select sort skip swap tail tail? take trim
      &pick, &poke, unsupported, &remove, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported,
      // create close delete modify open open? query read rename update write
      unsupported, unsupported, unsupported, &modify, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported));
}

}  // namespace tav::bitset
