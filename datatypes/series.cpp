// series!: navigation, picking, poking, removal, copying, reversing, taking, shuffling and moving
// of any series through the unit of its buffer, and the change reports sent to owners.
#include "datatypes/series.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

#include "datatypes/actions.hpp"
#include "datatypes/ownership.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/runtime_words.hpp"
#include "datatypes/string.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/stack.hpp"
#include "runtime/collector.hpp"
#include "runtime/errors.hpp"
#include "runtime/hashtable.hpp"
#include "runtime/heap.hpp"
#include "runtime/random.hpp"
#include "runtime/series.hpp"
#include "runtime/unicode.hpp"

namespace tav::series {
namespace {

vector_access vectors{};
cell scratch_element{};
// The one-element result of `take` without a part.
node_id take_buffer = 0;

uint32_t shift_of(uint32_t unit) { return static_cast<uint32_t>(std::countr_zero(unit)); }
int32_t count_of(const cell& series) { return static_cast<int32_t>(buffer(series)->count()); }
uint8_t* unit_at(series_buffer* b, uint32_t position) { return b->head() + (position << shift_of(b->unit())); }

cell word_named(const char* text) { return *word::load(text); }

// The position of pick and poke: 1-based from the head, or counting back from it.
int64_t pick_position(const cell& series, int32_t index) {
  return int64_t{head_of(series)} + index - (index > 0 ? 1 : 0);
}

void swap_units(uint8_t* a, uint8_t* b, uint32_t bytes) {
  uint8_t tmp[16];
  while (bytes) {
    uint32_t n = std::min<uint32_t>(bytes, sizeof tmp);
    std::memcpy(tmp, a, n);
    std::memcpy(a, b, n);
    std::memcpy(b, tmp, n);
    a += n, b += n, bytes -= n;
  }
}

// The entries of a hash! over [from, from + n) are taken out before its cells change and put
// back afterwards.
void unindex(node_id table, uint32_t from, uint32_t n) {
  if (table && n) hashtable::clear_part(table, from, n);
}

void reindex(node_id table, node_id node, uint32_t from, uint32_t n) {
  if (!table) return;
  for (uint32_t p = from; p < from + n; ++p)
    if (hashtable::put(table, buffer_of(node)->cells() + p) == 2) return;  // a grown table indexed them all
}

// After n cells were inserted (n > 0) or removed (n < 0) at `from`.
void shift_table(node_id table, int32_t n, uint32_t from) {
  if (!table || n == 0) return;
  uint32_t magnitude = static_cast<uint32_t>(n > 0 ? n : -n);
  if (hashtable::shift_index(table, n, from, magnitude, true)) hashtable::rebuild(table, 0);
}

// A new buffer with the source's flags (the owner mark and placement bits left out) holding
// `count` units of the source from `start`.
node_id copy_units(const cell& source, uint32_t start, uint32_t count) {
  node_id source_node = node_of(source);
  uint32_t unit = buffer_of(source_node)->unit();
  node_id node = alloc_series(std::max(count, 1u), unit, 0);
  series_buffer* from = buffer_of(source_node);
  series_buffer* to = buffer_of(node);
  constexpr uint32_t not_copied = series_flag::big | series_flag::fixed | series_flag::owned | series_flag::marked;
  to->flags = (from->flags & ~not_copied) | (to->flags & (series_flag::big | series_flag::fixed));
  std::memcpy(to->data(), unit_at(from, start), count << shift_of(unit));
  to->offset = 0;
  to->tail = count << shift_of(unit);
  return node;
}

// The fourth word a copy keeps: a vector's element type. A hash! copy gets its table later.
uint32_t copied_extra(const cell& source) { return source.type() == TYPE_VECTOR ? source.payload3 : 0; }

node_id scratch_for_take(uint32_t unit) {
  if (!take_buffer) take_buffer = alloc_cells(1);
  series_buffer* b = buffer_of(take_buffer);
  b->flags = (b->flags & ~series_flag::unit_mask) | unit;
  b->offset = 0;
  b->tail = unit;
  return take_buffer;
}

void answer_empty(cell& target, const cell& source) {
  node_id node = copy_units(source, 0, 0);
  uint32_t extra = copied_extra(source);
  target = cell{source.type(), 0, node, extra};
  if (source.type() == TYPE_HASH) target.payload3 = hashtable::create(1, node, hashtable::hash_kind);
}

// Same-buffer move: the run [from, from + count) goes before the element now at `to`.
void move_within(const cell& series, uint32_t from, uint32_t to, uint32_t count) {
  series_buffer* b = buffer(series);
  uint32_t shift = shift_of(b->unit());
  uint32_t bytes = count << shift;
  auto* saved = static_cast<uint8_t*>(heap_alloc(bytes));
  std::memcpy(saved, unit_at(b, from), bytes);
  uint32_t destination;
  if (to > from) {
    destination = to - count;
    std::memmove(unit_at(b, from), unit_at(b, from + count), (to - from - count) << shift);
  } else {
    destination = to;
    std::memmove(unit_at(b, to + count), unit_at(b, to), (from - to) << shift);
  }
  std::memcpy(unit_at(b, destination), saved, bytes);
  heap_free(saved);
  if (node_id table = table_of(series)) hashtable::move_index(table, from, destination, count);
}

// Move between two buffers: the run is inserted at the target's index and closed up in the
// origin. Text goes through the string move, which converts between unit widths.
void move_across(const cell& origin, const cell& target, uint32_t from, uint32_t to, uint32_t count) {
  if (any_string_p(origin.type()) && any_string_p(target.type())) {
    cell source = origin, destination = target;
    set_head(source, static_cast<int32_t>(from));
    set_head(destination, static_cast<int32_t>(to));
    string::move_part(source, count, destination);
    return;
  }
  uint32_t unit = buffer(origin)->unit();
  uint64_t grow = (uint64_t{buffer(target)->used()} + (uint64_t{count} << shift_of(unit))) * 2;
  series_buffer* t = open_gap(node_of(target), to, count, grow);
  std::memcpy(unit_at(t, to), unit_at(buffer(origin), from), count << shift_of(unit));
  close_gap(node_of(origin), from, count);
  if (node_id table = table_of(origin)) hashtable::rebuild(table, 0);
  if (node_id table = table_of(target)) hashtable::rebuild(table, 0);
}

}  // namespace

// ---- Helpers --------------------------------------------------------------------------------

bool ts_tail_p(const cell& series) {
  series_buffer* b = buffer(series);
  return int64_t{head_of(series)} * b->unit() + b->offset >= b->tail;
}

int32_t get_abs_length(const cell& series) { return count_of(series); }

int32_t get_length(cell& series, bool absolute) {
  int32_t count = count_of(series);
  if (absolute) return count;
  int32_t index = head_of(series);
  if (index < 0) return count;
  if (index > count) {
    set_head(series, count);
    return 0;
  }
  return count - index;
}

bool ts_skip(cell& series, int32_t n) {
  int64_t moved = int64_t{head_of(series)} + n;
  int32_t count = count_of(series);
  if (moved >= 0 && moved <= count) set_head(series, static_cast<int32_t>(moved));
  return moved >= count;
}

int32_t skip_by(int32_t base) {
  cell* series = stack::argument(0);
  const cell* offset = stack::argument(1);
  if (offset->type() != TYPE_INTEGER) fire(error_id::script_invalid_arg, *offset);
  int32_t n = scalar::integer_value(*offset);
  if (base == 1 && n < 1) base = 0;
  int64_t index = int64_t{head_of(*series)} + n - base;
  return static_cast<int32_t>(std::clamp<int64_t>(index, 0, count_of(*series)));
}

void invalid_refine_arg(const char* refinement, const cell& value) {
  fire(error_id::script_invalid_refine_arg, word_named(refinement), value);
}

int32_t part_length(const cell& series, const cell& part) {
  if (part.type() == TYPE_INTEGER) return scalar::integer_value(part);
  if (part.type() == series.type() && part.payload2 == series.payload2) return head_of(part) - head_of(series);
  invalid_refine_arg("part", part);
}

series_buffer* open_gap(node_id node, uint32_t at, uint32_t n, uint64_t grow_to) {
  series_buffer* b = buffer_of(node);
  uint32_t shift = shift_of(b->unit());
  uint64_t bytes = uint64_t{n} << shift;
  uint64_t needed = b->used() + bytes;
  if (needed > max_series_size) fire(error_id::internal_no_memory);
  if (b->offset + needed > b->size)
    b = expand_series(b, static_cast<int64_t>(std::min<uint64_t>(std::max(grow_to, needed), max_series_size)));
  uint8_t* place = unit_at(b, at);
  std::memmove(place + bytes, place, b->end() - place);
  b->tail += static_cast<uint32_t>(bytes);
  return b;
}

void close_gap(node_id node, uint32_t at, uint32_t n) {
  series_buffer* b = buffer_of(node);
  uint32_t count = b->count();
  if (at >= count) return;
  n = std::min(n, count - at);
  uint32_t shift = shift_of(b->unit());
  uint8_t* place = unit_at(b, at);
  std::memmove(place, place + (n << shift), b->end() - place - (n << shift));
  b->tail -= n << shift;
}

bool report(const cell& series, const cell& action, const cell& value, int32_t index, int32_t count) {
  return ownership::check(series, action, value, index, count);
}

void set_vector_access(const vector_access& access) { vectors = access; }

const cell* element_at(const cell& series, uint32_t position) {
  series_buffer* b = buffer(series);
  uint32_t unit = b->unit();
  if (unit == sizeof(cell)) return b->cells() + position;
  uint32_t raw = unicode::get_unit(b->head(), position, std::min(unit, 4u));
  if (any_string_p(series.type())) {
    scratch_element = cell{TYPE_CHAR, 0, raw, 0};
  } else if (series.type() == TYPE_VECTOR) {
    if (!vectors.get) fire(error_id::internal_not_done);
    scratch_element = vectors.get(series, position);
  } else {
    scratch_element = scalar::integer(static_cast<int32_t>(raw & 0xFF));
  }
  return &scratch_element;
}

// ---- Handlers -------------------------------------------------------------------------------

cell* random(cell* value, bool seed, bool secure, bool only) {
  cell series = *value;
  int32_t count = count_of(series);
  int32_t index = std::clamp(head_of(series), 0, count);
  if (seed) {
    series_buffer* b = buffer(series);
    uint8_t* from = unit_at(b, static_cast<uint32_t>(index));
    rng::seed(static_cast<int32_t>(hashtable::murmur3_32(from, static_cast<uint32_t>(b->end() - from))));
    *value = unset::value;
    return value;
  }
  int32_t rest = count - index;
  if (only) {
    if (rest <= 0) {
      *value = none::value;
      return value;
    }
    int32_t k = rng::random_int(secure, rest);
    *value = *element_at(series, static_cast<uint32_t>(index + k - 1));
    return value;
  }
  bool owned = report(series, words::random, none::value, index, rest);
  node_id table = table_of(series);
  unindex(table, static_cast<uint32_t>(index), static_cast<uint32_t>(std::max(rest, 0)));
  uint32_t unit = buffer(series)->unit();
  for (int32_t position = index; position < count; ++position) {
    int32_t k = rng::random_int(secure, count - position);
    series_buffer* b = buffer(series);
    if (k > 1)
      swap_units(unit_at(b, static_cast<uint32_t>(position)), unit_at(b, static_cast<uint32_t>(position + k - 1)),
                 unit);
  }
  reindex(table, node_of(series), static_cast<uint32_t>(index), static_cast<uint32_t>(std::max(rest, 0)));
  if (owned) report(series, words::randomized, none::value, index, rest);
  return value;
}

cell* reflect(cell* value, int32_t field) {
  if (static_cast<uint32_t>(field) != symbols::owned) fire(error_id::internal_not_done);
  const cell* owner = ownership::owner_of(*value);
  *value = owner ? *owner : none::value;
  return value;
}

cell* at() {
  cell* series = stack::argument(0);
  set_head(*series, skip_by(1));
  return series;
}

cell* back() {
  cell* series = stack::argument(0);
  if (head_of(*series) >= 1) set_head(*series, head_of(*series) - 1);
  return series;
}

cell* clear(cell* series) {
  int32_t index = std::max(head_of(*series), 0);
  int32_t count = count_of(*series) - index;
  if (count < 1) return series;
  bool owned = report(*series, words::clear, none::value, index, count);
  unindex(table_of(*series), static_cast<uint32_t>(index), static_cast<uint32_t>(count));
  series_buffer* b = buffer(*series);
  b->tail = static_cast<uint32_t>(unit_at(b, static_cast<uint32_t>(index)) - b->data());
  if (owned) report(*series, words::cleared, none::value, index, count);
  return series;
}

cell* copy(cell* value, cell* result, cell* part, bool, cell*) {
  cell source = *value;
  // 64 bits: a part of extreme integers must clamp to the series, never wrap.
  const int64_t total = count_of(source);
  int64_t start = std::max(head_of(source), 0);
  int64_t count = total - start;
  if (part) {
    if (part->type() == TYPE_PAIR) {
      int64_t x = static_cast<int32_t>(part->payload2), y = static_cast<int32_t>(part->payload3);
      start = std::max<int64_t>(start + (x < 0 ? x : x - 1), 0);
      count = y < x ? 0 : y - x;
    } else {
      count = part_length(source, *part);
    }
  }
  if (count < 0) {
    int64_t from = std::max<int64_t>(start + count, 0);
    count = start - from;
    start = from;
  }
  if (start >= total) start = total, count = 0;
  count = std::min(count, total - start);
  if (result != value) *result = unset::value;
  node_id node = copy_units(source, static_cast<uint32_t>(start), static_cast<uint32_t>(count));
  *result = cell{source.type() | (source.header & cell_flag::new_line), 0, node, copied_extra(source)};
  return result;
}

cell* head() {
  cell* series = stack::argument(0);
  set_head(*series, 0);
  return series;
}

cell* head_p() {
  cell* series = stack::argument(0);
  return stack::set_last(logic::value_of(head_of(*series) == 0));
}

cell* index_p() {
  cell* series = stack::argument(0);
  return stack::set_last(scalar::integer(head_of(*series) + 1));
}

int32_t length_p(cell* series) { return get_length(*series, false); }

cell* move(cell* origin, cell* target, cell* part) {
  if (!any_series_p(target->type()) || !target->payload2)
    actions::expect_arg(static_cast<uint32_t>(action_slot::move), target->type(), "target");
  int32_t count = 1;
  if (part) {
    if (part->type() != TYPE_INTEGER) invalid_refine_arg("part", *part);
    count = scalar::integer_value(*part);
  }
  int32_t from = std::max(head_of(*origin), 0);
  int32_t origin_count = count_of(*origin);
  if (count < 1 || from >= origin_count) return target;
  count = std::min(count, origin_count - from);
  int32_t to = std::clamp(head_of(*target), 0, count_of(*target));
  cell source = *origin, destination = *target;
  auto n = static_cast<uint32_t>(count);
  if (node_of(source) == node_of(destination)) {
    if (to == from) return target;
    if (to > from && to < from + count) return origin;
    bool owned = report(source, words::move, none::value, from, count);
    move_within(source, static_cast<uint32_t>(from), static_cast<uint32_t>(to), n);
    if (owned) report(source, words::moved, none::value, from, count);
    return target;
  }
  bool text_to_text = any_string_p(source.type()) && any_string_p(destination.type());
  if (any_block_p(source.type()) != any_block_p(destination.type()) ||
      (!text_to_text && buffer(source)->unit() != buffer(destination)->unit())) {
    cell types[2];
    datatype::make_at(types[0], source.type());
    datatype::make_at(types[1], destination.type());
    fire(error_id::script_move_bad, types[0], types[1]);
  }
  bool origin_owned = report(source, words::move, none::value, from, count);
  bool target_owned = report(destination, words::move, none::value, to, count);
  move_across(source, destination, static_cast<uint32_t>(from), static_cast<uint32_t>(to), n);
  if (origin_owned) report(source, words::moved, none::value, from, count);
  if (target_owned) report(destination, words::moved, none::value, to, count);
  return target;
}

cell* next() {
  cell* series = stack::argument(0);
  ts_skip(*series, 1);
  return series;
}

cell* pick(cell* series, int32_t index, cell*) {
  int64_t position = pick_position(*series, index);
  if (index == 0 || position < 0 || position >= count_of(*series)) return &none::value;
  return const_cast<cell*>(element_at(*series, static_cast<uint32_t>(position)));
}

cell* poke(cell* series, int32_t index, cell* value, cell*) {
  int64_t position = pick_position(*series, index);
  if (index == 0 || position < 0 || position >= count_of(*series))
    fire(error_id::script_out_of_range, scalar::integer(index));
  auto at = static_cast<uint32_t>(position);
  cell stored = *value;
  uint8_t type = series->type();
  uint32_t unit = buffer(*series)->unit();
  uint32_t code = 0;
  if (any_string_p(type)) {
    if (stored.type() != TYPE_CHAR) fire(error_id::script_invalid_arg, stored);
    code = stored.payload2;
  } else if (type == TYPE_VECTOR) {
    if (stored.type() != series->payload3) fire(error_id::script_invalid_arg, stored);
    if (!vectors.set) fire(error_id::internal_not_done);
  } else if (unit != sizeof(cell)) {
    if (stored.type() != TYPE_INTEGER && stored.type() != TYPE_CHAR) fire(error_id::script_invalid_arg, stored);
    code = stored.payload2;
    if (code > 0xFF) fire(error_id::script_out_of_range, stored);
  }
  bool owned = report(*series, words::poke, stored, static_cast<int32_t>(at), 1);
  series_buffer* b = buffer(*series);
  node_id table = table_of(*series);
  if (unit == sizeof(cell)) {
    if (table) hashtable::delete_at(table, b->cells() + at);
    b->cells()[at] = stored;
    if (table) hashtable::put(table, buffer(*series)->cells() + at);
  } else if (any_string_p(type)) {
    string::poke_char_at(b, at, code);
  } else if (type == TYPE_VECTOR) {
    vectors.set(*series, at, stored);
  } else {
    *unit_at(b, at) = static_cast<uint8_t>(code);
  }
  if (owned) report(*series, words::poked, stored, static_cast<int32_t>(at), 1);
  return value;
}

cell* remove(cell* series, cell* part, cell* key) {
  int32_t count = 1;
  if (part) {
    count = part_length(*series, *part);
    if (count < 1) return series;
  }
  if (key) {
    cell target = *series;
    cell* found = actions::find(&target, key, nullptr, false, true, false, false, nullptr, nullptr, false, false,
                                false, false);
    if (found->type() == TYPE_NONE) return series;
    set_head(*series, head_of(*found));
    count += 1;
  }
  int32_t index = std::max(head_of(*series), 0);
  int32_t total = count_of(*series);
  if (index >= total) return series;
  count = std::min(count, total - index);
  bool owned = report(*series, global_words::remove, none::value, index, count);
  node_id table = table_of(*series);
  unindex(table, static_cast<uint32_t>(index), static_cast<uint32_t>(count));
  close_gap(node_of(*series), static_cast<uint32_t>(index), static_cast<uint32_t>(count));
  shift_table(table, -count, static_cast<uint32_t>(index));
  if (owned) report(*series, words::removed, none::value, index, count);
  return series;
}

cell* reverse(cell* series, cell* part, cell* skip) {
  int32_t index = std::max(head_of(*series), 0);
  int32_t count = count_of(*series) - index;
  if (part) count = std::min(count, part_length(*series, *part));
  if (count < 1) return series;
  int32_t size = 1;
  if (skip) {
    if (skip->type() != TYPE_INTEGER) invalid_refine_arg("skip", *skip);
    size = scalar::integer_value(*skip);
    if (size == count) return series;
    if (size < 1) fire(error_id::script_out_of_range, *skip);
    if (count % size != 0 || count < size) invalid_refine_arg("skip", *skip);
  }
  bool owned = report(*series, words::reverse, none::value, index, count);
  node_id table = table_of(*series);
  unindex(table, static_cast<uint32_t>(index), static_cast<uint32_t>(count));
  series_buffer* b = buffer(*series);
  uint32_t record = static_cast<uint32_t>(size) << shift_of(b->unit());
  uint8_t* low = unit_at(b, static_cast<uint32_t>(index));
  uint8_t* high = low + (static_cast<uint32_t>(count - size) << shift_of(b->unit()));
  for (; low < high; low += record, high -= record) swap_units(low, high, record);
  reindex(table, node_of(*series), static_cast<uint32_t>(index), static_cast<uint32_t>(count));
  if (owned) report(*series, words::reversed, none::value, index, count);
  return series;
}

cell* skip() {
  cell* series = stack::argument(0);
  set_head(*series, skip_by(0));
  return series;
}

cell* tail() {
  cell* series = stack::argument(0);
  set_head(*series, count_of(*series));
  return series;
}

cell* tail_p() {
  cell* series = stack::argument(0);
  return stack::set_last(logic::value_of(ts_tail_p(*series)));
}

cell* take(cell* series, cell* part, bool, bool last) {
  cell source = *series;
  int32_t total = count_of(source);
  int32_t index = std::max(head_of(source), 0);
  if (index >= total) {
    *series = none::value;
    return series;
  }
  int32_t count = 1;
  if (part) {
    if (part->type() == TYPE_INTEGER) {
      count = scalar::integer_value(*part);
    } else if (part->type() == source.type() && part->payload2 == source.payload2) {
      int32_t position = std::clamp(head_of(*part), 0, total);
      count = std::max(last ? total - position : position - index, 0);
    } else {
      invalid_refine_arg("part", *part);
    }
    if (count == 0) {
      answer_empty(*series, source);
      return series;
    }
  }
  int32_t from;
  if (count < 0) {
    if (last || index == 0) {
      answer_empty(*series, source);
      return series;
    }
    count = static_cast<int32_t>(std::min(-int64_t{count}, int64_t{index}));
    from = index - count;
  } else {
    count = std::min(count, total - index);
    from = last ? total - count : index;
  }
  auto start = static_cast<uint32_t>(from), n = static_cast<uint32_t>(count);
  bool owned = report(source, words::take, none::value, from, count);
  node_id node;
  if (part) {
    node = copy_units(source, start, n);
  } else {
    uint32_t unit = buffer(source)->unit();
    node = scratch_for_take(unit);
    std::memcpy(buffer_of(node)->data(), unit_at(buffer(source), start), unit);
  }
  node_id table = table_of(source);
  unindex(table, start, n);
  close_gap(node_of(source), start, n);
  shift_table(table, -count, start);
  *series = cell{source.type(), 0, node, copied_extra(source)};
  if (table && part) series->payload3 = hashtable::create(n, node, hashtable::hash_kind);
  if (owned) report(source, words::taken, none::value, from, count);
  return series;
}

cell* modify(cell* target, cell* field, cell* value, bool) {
  if (any_word_p(field->type()) &&
      hashtable::symbol_resolve(field->payload2) == hashtable::symbol_resolve(symbols::owned)) {
    if (value->type() == TYPE_NONE)
      ownership::unbind(*target);
    else if (value->type() == TYPE_BLOCK)
      ownership::bind_spec(*target, *value);
  }
  return value;
}

void init() {
  static bool rooted = false;
  if (!rooted) collector::add_root(&take_buffer);
  rooted = true;
  take_buffer = 0;
  datatype::register_type(TYPE_SERIES, datatype::actions_row(
      // make random reflect to form mold eval-path set-path compare
      unsupported, &random, &reflect, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      // absolute add divide multiply negate power remainder round subtract
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported,
      // even? odd? and~ complement or~ xor~
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      // append at back change clear copy find head head? index? insert length? move next
      unsupported, &at, &back, unsupported, &clear, &copy, unsupported, &head, &head_p, &index_p, unsupported,
      &length_p, &move, &next,
      // pick poke put remove reverse select sort skip swap tail tail? take trim
      &pick, &poke, unsupported, &remove, &reverse, unsupported, unsupported, &skip, unsupported, &tail, &tail_p,
      &take, unsupported,
      // create close delete modify open open? query read rename update write
      unsupported, unsupported, unsupported, &modify, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported));
}

}  // namespace tav::series
