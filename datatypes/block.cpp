// block!: the block API, construction, conversion and the editing actions (append, insert,
// change, copy, take, swap, trim), and the registration of the datatype.
#include "datatypes/block.hpp"

#include <algorithm>
#include <climits>
#include <cstring>

#include "datatypes/actions.hpp"
#include "datatypes/ownership.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/runtime_words.hpp"
#include "datatypes/typeset.hpp"
#include "datatypes/values.hpp"
#include "datatypes/vector.hpp"
#include "interpreter/stack.hpp"
#include "runtime/collector.hpp"
#include "runtime/cycle_stack.hpp"
#include "runtime/errors.hpp"
#include "runtime/fill_duplicates.hpp"
#include "runtime/hashtable.hpp"
#include "runtime/heap.hpp"
#include "runtime/series.hpp"

namespace tav::block {

int32_t mold_depth = 0;

namespace {

using series::buffer;
using series::head_of;
using series::node_of;
using series::set_head;

// The block `make_in` and `make_fixed` make when they are given no parent.
cell scratch_block{};
text_loader load_text = nullptr;

int32_t count_of(const cell& block) { return static_cast<int32_t>(buffer(block)->count()); }
cell* cells_of(const cell& block) { return buffer(block)->cells(); }
int32_t clamped_head(const cell& block) { return std::clamp(head_of(block), 0, count_of(block)); }

[[gnu::cold, noreturn]] void no_memory() { fire(error_id::internal_no_memory); }

// A deep walk entering a series that it is already inside: the cycle stack is emptied and the
// walk refused.
void enter_once(node_id node) {
  if (cycles::find(node)) {
    cycles::reset();
    fire(error_id::internal_no_cycle);
  }
}

// A new block in `target` holding copies of the source's cells from its head; the cell gets
// the source's type byte only.
void clone_into(cell& target, const cell& source, bool deep, bool paths) {
  int32_t from = clamped_head(source);
  auto n = static_cast<uint32_t>(count_of(source) - from);
  node_id node = alloc_cells(std::max(n, 1u));
  std::memcpy(buffer_of(node)->data(), cells_of(source) + from, n * sizeof(cell));
  buffer_of(node)->tail = n * sizeof(cell);
  target = value_of(node, 0, source.type());
  if (!deep) return;
  enter_once(node_of(source));
  cycles::guard inside(node_of(source));
  for (uint32_t i = 0; i < n; ++i) {
    cell element = buffer_of(node)->cells()[i];
    uint8_t type = element.type();
    if (type != TYPE_BLOCK && !(paths && (type == TYPE_PAREN || series::any_path_p(type)))) continue;
    cell nested;
    clone_into(nested, element, true, paths);
    nested.header = element.header;
    buffer_of(node)->cells()[i] = nested;
  }
}

// The cells a value contributes to append, insert and change: a block-family value spreads its
// elements unless `only`, anything else is one cell.
struct contribution {
  cell value;
  bool spread;
  int32_t head;
  int32_t count;
};

contribution contribution_of(const cell& value, bool only) {
  contribution c{value, !only && series::any_block_p(value.type()), 0, 1};
  if (c.spread) {
    c.head = head_of(value);
    c.count = std::max(count_of(value) - c.head, 0);
  }
  return c;
}

// Copies the first `part` cells of the contribution to position `at` of the series, whose
// buffer already has room there. A source in the same buffer is read across the gap of `gap`
// cells just opened at `gap_at`.
void place(const cell& series, uint32_t at, const contribution& c, uint32_t part, uint32_t gap_at, uint32_t gap) {
  cell* target = cells_of(series) + at;
  if (!c.spread) {
    *target = c.value;
    return;
  }
  const cell* source = buffer(c.value)->cells();
  bool same = node_of(c.value) == node_of(series);
  for (uint32_t j = 0; j < part; ++j) {
    uint32_t from = static_cast<uint32_t>(c.head) + j;
    if (same && from >= gap_at) from += gap;
    target[j] = source[from];
  }
}

void index_new(const cell& series, uint32_t at, uint32_t n, bool moved) {
  node_id table = series::table_of(series);
  if (!table) return;
  if (moved && hashtable::shift_index(table, static_cast<int32_t>(n), at, n, true)) {
    hashtable::rebuild(table, 0);
    return;
  }
  for (uint32_t p = at; p < at + n; ++p)
    if (hashtable::put(table, cells_of(series) + p) == 2) return;
}

// The common append, one value to a block nobody owns: the cell goes at the tail, and the
// buffer grows as a gap opened there would make it grow.
cell* append_one(cell* series, const cell& value) {
  const cell copy = value;  // the value may lie in the buffer that grows
  series_buffer* b = buffer(*series);
  const uint32_t total = b->count();
  if (b->tail + sizeof(cell) <= b->size) [[likely]] {
    b->tail += sizeof(cell);
  } else {
    uint64_t needed = (uint64_t{total} + 1) * sizeof(cell);
    if (needed > max_series_size) no_memory();
    series::open_gap(node_of(*series), total, 1, needed * 2);
  }
  cells_of(*series)[total] = copy;
  index_new(*series, total, 1, false);
  set_head(*series, 0);
  return series;
}

// The elements of a vector! as values in a new block pushed on the stack.
cell* vector_elements(const cell& vector) {
  cell source = vector;
  cell* result = stack::push_cell();
  *result = unset::value;
  return vector::to_block(source, *result);
}

// The body block of an object! or map!: its reflect of the word body.
cell* body_of(const cell& value) {
  cell* place = stack::push_copy(value);
  return actions::reflect(place, static_cast<int32_t>(symbols::body));
}

bool copyable_p(uint8_t type) {
  return series::any_series_p(type) || type == TYPE_BITSET || type == TYPE_OBJECT || type == TYPE_ERROR ||
         type == TYPE_MAP;
}

// Replaces every nested series of [from, from + n) of the block by its deep copy.
void copy_nested(const cell& block, uint32_t from, uint32_t n) {
  for (uint32_t i = from; i < from + n; ++i) {
    cell element = cells_of(block)[i];
    if (!series::any_series_p(element.type()) || !element.payload2) continue;
    cell copied;
    actions::copy(&element, &copied, nullptr, true, nullptr);
    cells_of(block)[i] = copied;
  }
}

}  // namespace

// ---- Walking --------------------------------------------------------------------------------

int32_t ts_length_p(const cell& block) { return count_of(block) - head_of(block); }

bool ts_next(cell& block) {
  int32_t count = count_of(block);
  if (head_of(block) < count) set_head(block, head_of(block) + 1);
  return head_of(block) >= count;
}

cell* ts_head(cell& block) {
  if (head_of(block) > count_of(block)) set_head(block, count_of(block));
  return cells_of(block) + std::max(head_of(block), 0);
}

cell* ts_tail(const cell& block) { return reinterpret_cast<cell*>(buffer(block)->end()); }

bool ts_tail_p(const cell& block) { return head_of(block) >= count_of(block); }

cell* ts_abs_at(const cell& block, uint32_t i) { return cells_of(block) + i; }

// ---- Building -------------------------------------------------------------------------------

void make_at(cell& target, int32_t size) {
  target = unset::value;
  node_id node = alloc_cells(static_cast<uint32_t>(std::max(size, 1)));
  target = value_of(node);
}

void make_at_fixed(cell& target, int32_t size, bool fixed) {
  target = unset::value;
  auto n = static_cast<uint32_t>(std::max(size, 1));
  node_id node = fixed ? alloc_fixed_series(n, sizeof(cell), 0) : alloc_cells(n);
  series_buffer* b = buffer_of(node);
  std::fill(reinterpret_cast<cell*>(b->data()), reinterpret_cast<cell*>(b->data() + b->size), unset::value);
  target = value_of(node);
}

cell* make_in(cell* parent, int32_t size) {
  cell made;
  make_at(made, size);
  if (!parent) return &copy_cell(made, scratch_block);
  return append_cell(*parent, made);
}

cell* make_fixed(cell* parent, int32_t size) {
  cell made;
  make_at_fixed(made, size, true);
  if (!parent) return &copy_cell(made, scratch_block);
  return append_cell(*parent, made);
}

cell* push_only(int32_t size) {
  cell* slot = stack::push_cell();
  make_at(*slot, size == 0 ? 1 : size);
  return slot;
}

cell* push(const cell& value) { return stack::push_copy(value); }

cell* append_cell(const cell& block, const cell& value) {
  cell copy = value;  // the value may lie in the buffer that grows
  cell* slot = alloc_block_tail(block);
  *slot = copy;
  return slot;
}

cell& append_values(cell& target, const cell& source) {
  cell from = source;
  int32_t head = std::max(head_of(from), 0);
  int32_t n = count_of(from) - head;
  if (n <= 0) return target;
  uint32_t at = buffer(target)->count();
  uint64_t needed = (uint64_t{at} + static_cast<uint32_t>(n)) * sizeof(cell);
  series::open_gap(node_of(target), at, static_cast<uint32_t>(n), needed * 2);
  std::memcpy(cells_of(target) + at, cells_of(from) + head, static_cast<size_t>(n) * sizeof(cell));
  return target;
}

void insert_value(cell& block, const cell& value, bool advance, bool at_start) {
  cell copy = value;
  auto at = static_cast<uint32_t>(at_start ? 0 : clamped_head(block));
  series_buffer* b = buffer(block);
  uint64_t grow = (uint64_t{b->used()} + sizeof(cell)) * 2;
  bool moved = at < b->count();
  series::open_gap(node_of(block), at, 1, grow);
  cells_of(block)[at] = copy;
  index_new(block, at, 1, moved);
  if (advance) set_head(block, static_cast<int32_t>(at) + 1);
}

void insert_block(cell& target, const cell& source) {
  cell from = source;
  int32_t n = std::max(count_of(from) - std::max(head_of(from), 0), 0);
  if (n == 0) return;
  contribution c{from, true, std::max(head_of(from), 0), n};
  auto at = static_cast<uint32_t>(clamped_head(target));
  bool moved = at < buffer(target)->count();
  uint64_t grow = (uint64_t{buffer(target)->used()} + uint64_t{static_cast<uint32_t>(n)} * sizeof(cell)) * 2;
  series::open_gap(node_of(target), at, static_cast<uint32_t>(n), grow);
  place(target, at, c, static_cast<uint32_t>(n), at, static_cast<uint32_t>(n));
  index_new(target, at, static_cast<uint32_t>(n), moved);
  set_head(target, static_cast<int32_t>(at) + n);
}

cell* insert_result() {
  cell* target = stack::arguments - 1;
  insert_value(*target, *stack::arguments, true, false);
  return target;
}

cell* append_result() {
  cell* target = stack::arguments - 1;
  cell* added = append_cell(*target, *stack::arguments);
  if (node_id table = series::table_of(*target)) hashtable::put(table, added);
  return target;
}

cell* append_arg() {
  cell* target = stack::argument(0);
  cell* added = append_cell(*target, *stack::argument(1));
  if (node_id table = series::table_of(*target)) hashtable::put(table, added);
  return target;
}

void ts_clear(cell& block) {
  series_buffer* b = buffer(block);
  int32_t head = std::clamp(head_of(block), 0, static_cast<int32_t>(b->count()));
  b->tail = b->offset + static_cast<uint32_t>(head) * sizeof(cell);
}

void set_tail_at(const cell& block, uint32_t n) {
  series_buffer* b = buffer(block);
  b->tail = b->offset + n * sizeof(cell);
}

void ts_remove_last(cell& block) {
  series_buffer* b = buffer(block);
  if (b->count() == 0) return;
  b->tail -= sizeof(cell);
  if (head_of(block) > static_cast<int32_t>(b->count())) set_head(block, static_cast<int32_t>(b->count()));
}

// ---- Looking up -----------------------------------------------------------------------------

cell* select_value(const cell& block, const cell& key) {
  cell probe = key;
  int32_t count = count_of(block);
  for (int32_t i = std::max(head_of(block), 0); i < count; ++i) {
    if (!actions::compare(&probe, cells_of(block) + i, actions::op::find)) continue;
    return i + 1 < count ? cells_of(block) + i + 1 : &none::value;
  }
  return &none::value;
}

int32_t remove_value(const cell& block, const cell& key, bool from_start) {
  cell probe = key;
  int32_t count = count_of(block);
  for (int32_t i = from_start ? 0 : std::max(head_of(block), 0); i < count; ++i) {
    if (!actions::compare(&probe, cells_of(block) + i, actions::op::find)) continue;
    series::close_gap(node_of(block), static_cast<uint32_t>(i), 1);
    return i <= head_of(block) ? 1 : 0;
  }
  return 0;
}

cell* find_word(const cell& block, const cell& word, bool case_sensitive) {
  uint32_t symbol = word.payload2;
  uint32_t wanted = case_sensitive ? symbol : hashtable::symbol_resolve(symbol);
  int32_t count = count_of(block);
  for (int32_t i = std::max(head_of(block), 0); i < count; ++i) {
    const cell& element = cells_of(block)[i];
    if (!plain_word_p(element.type())) continue;
    uint32_t found = case_sensitive ? element.payload2 : hashtable::symbol_resolve(element.payload2);
    if (found != wanted) continue;
    return i + 1 < count ? cells_of(block) + i + 1 : &none::value;
  }
  return &none::value;
}

// ---- Copying --------------------------------------------------------------------------------

cell* clone(const cell& block, bool deep, bool paths) {
  cell source = block;
  cell* result = stack::push_cell();
  *result = unset::value;
  clone_into(*result, source, deep, paths);
  return result;
}

void copy_typed_values(cell* start, cell* end, int32_t step, bool deep, const cell& types) {
  cell kind = types;
  for (cell* p = start; p < end; p += std::max(step, 1)) {
    uint8_t type = p->type();
    bool wanted = kind.type() == TYPE_TYPESET ? typeset::has_type(kind, type) : kind.payload1 == type;
    if (!wanted || !copyable_p(type)) continue;
    cell element = *p, copied;
    actions::copy(&element, &copied, nullptr, deep, &kind);
    *p = copied;
  }
}

void set_text_loader(text_loader loader) { load_text = loader; }

// ---- Handlers -------------------------------------------------------------------------------

cell* make(cell*, cell* spec, int32_t type) {
  cell* result;
  switch (spec->type()) {
    case TYPE_INTEGER: result = push_only(std::max(scalar::integer_value(*spec), 1)); break;
    case TYPE_FLOAT: {
      double size = scalar::float_value(*spec);
      if (!(size >= INT32_MIN && size <= INT32_MAX)) fire(error_id::script_out_of_range, *spec);
      result = push_only(std::max(static_cast<int32_t>(size), 1));
      break;
    }
    case TYPE_OBJECT:
    case TYPE_MAP: result = body_of(*spec); break;
    case TYPE_VECTOR: result = vector_elements(*spec); break;
    default:
      if (!series::any_block_p(spec->type())) {
        cell target;
        datatype::make_at(target, static_cast<uint8_t>(type));
        fire(error_id::script_bad_make_arg, target, *spec);
      }
      result = clone(*spec, false, false);
      break;
  }
  set_type(*result, static_cast<uint8_t>(type));
  return result;
}

cell* to(cell*, cell* spec, int32_t type) {
  cell* result;
  switch (spec->type()) {
    case TYPE_OBJECT:
    case TYPE_MAP: result = body_of(*spec); break;
    case TYPE_VECTOR: result = vector_elements(*spec); break;
    case TYPE_TYPESET:
      result = stack::push_cell();
      *result = unset::value;
      typeset::to_block(*spec, *result);
      break;
    case TYPE_STRING:
      if (!load_text) fire(error_id::internal_not_done);
      result = stack::push_cell();
      *result = unset::value;
      load_text(*spec, *result);
      break;
    default:
      if (series::any_block_p(spec->type())) {
        result = clone(*spec, false, false);
      } else {
        result = push_only(1);
        append_cell(*result, *spec);
      }
      break;
  }
  set_type(*result, static_cast<uint8_t>(type));
  return result;
}

cell* insert(cell* series, cell* value, int32_t part, bool only, int32_t dup, bool append) {
  if (append && part != 0 && dup <= 1 && (only || !series::any_block_p(value->type())) &&
      !ownership::detail::flagged_p(*series))
    return append_one(series, *value);
  contribution c = contribution_of(*value, only);
  if (c.spread && c.count == 0) return series;
  if (part < 0 || part > c.count) part = c.count;
  int32_t total = count_of(*series);
  if (head_of(*series) > total) set_head(*series, total);
  int32_t at = append || head_of(*series) >= total ? total : std::max(head_of(*series), 0);
  int64_t n = int64_t{part} * std::max(dup, 1);
  if (n > INT32_MAX) no_memory();
  uint64_t needed = (uint64_t{static_cast<uint32_t>(total)} + static_cast<uint64_t>(n)) * sizeof(cell);
  if (needed > max_series_size) no_memory();
  const cell& action = append ? words::append : global_words::insert;
  bool owned = series::report(*series, action, c.value, at, static_cast<int32_t>(n));
  auto gap = static_cast<uint32_t>(n), from = static_cast<uint32_t>(at);
  series::open_gap(node_of(*series), from, gap, dup <= 4 ? needed * 2 : needed);
  place(*series, from, c, static_cast<uint32_t>(part), from, gap);
  auto* first = reinterpret_cast<uint8_t*>(cells_of(*series) + from);
  fill_duplicates(first, static_cast<size_t>(part) * sizeof(cell), static_cast<size_t>(std::max(dup, 1)));
  index_new(*series, from, gap, at < total);
  if (owned)
    series::report(*series, append ? words::appended : words::inserted, c.value, at, static_cast<int32_t>(n));
  set_head(*series, append ? 0 : std::min(at + static_cast<int32_t>(n), count_of(*series)));
  return series;
}

cell* change(cell* series, cell* value, int32_t part, bool only, int32_t dup) {
  contribution c = contribution_of(*value, only);
  int32_t total = count_of(*series);
  int32_t at = clamped_head(*series);
  set_head(*series, at);
  int32_t rest = total - at;
  int64_t n = int64_t{c.count} * std::max(dup, 1);
  if (n > INT32_MAX) no_memory();
  int32_t replaced = part >= 0 ? std::min(part, rest) : static_cast<int32_t>(std::min<int64_t>(n, rest));
  uint64_t new_count = static_cast<uint64_t>(total - replaced) + static_cast<uint64_t>(n);
  if (new_count * sizeof(cell) > max_series_size) no_memory();
  bool owned = series::report(*series, words::change, c.value, at, static_cast<int32_t>(n));

  // The new cells are read before the buffer changes shape when they come from it.
  cell* saved = nullptr;
  if (c.spread && node_of(c.value) == node_of(*series) && c.count) {
    saved = static_cast<cell*>(heap_alloc(static_cast<size_t>(c.count) * sizeof(cell)));
    std::memcpy(saved, cells_of(c.value) + c.head, static_cast<size_t>(c.count) * sizeof(cell));
  }
  int64_t delta = n - replaced;
  auto from = static_cast<uint32_t>(at);
  if (delta > 0) {
    series::open_gap(node_of(*series), from + static_cast<uint32_t>(replaced), static_cast<uint32_t>(delta),
                     new_count * sizeof(cell));
  } else if (delta < 0) {
    series::close_gap(node_of(*series), from + static_cast<uint32_t>(n), static_cast<uint32_t>(-delta));
  }
  cell* target = cells_of(*series) + from;
  if (saved) {
    std::memcpy(target, saved, static_cast<size_t>(c.count) * sizeof(cell));
    heap_free(saved);
  } else if (c.spread) {
    std::memcpy(target, cells_of(c.value) + c.head, static_cast<size_t>(c.count) * sizeof(cell));
  } else {
    *target = c.value;
  }
  fill_duplicates(reinterpret_cast<uint8_t*>(target), static_cast<size_t>(c.count) * sizeof(cell),
                  static_cast<size_t>(std::max(dup, 1)));
  if (node_id table = series::table_of(*series)) hashtable::rebuild(table, 0);
  if (owned) series::report(*series, words::changed, c.value, at, static_cast<int32_t>(n));
  set_head(*series, std::min(at + static_cast<int32_t>(n), count_of(*series)));
  return series;
}

cell* copy(cell* value, cell* result, cell* part, bool deep, cell* types) {
  cell source = *value;
  series::copy(value, result, part, deep, types);
  if (!deep && !types) return result;
  if (result->type() == TYPE_HASH) set_type(*result, TYPE_BLOCK);
  cell copied = *result;
  auto n = static_cast<uint32_t>(count_of(copied));
  if (deep) {
    enter_once(node_of(source));
    cycles::guard inside(node_of(source));
    if (!types) {
      copy_nested(copied, 0, n);
    } else {
      copy_typed_values(cells_of(copied), cells_of(copied) + n, 1, true, *types);
    }
  } else {
    copy_typed_values(cells_of(copied), cells_of(copied) + n, 1, false, *types);
  }
  *result = copied;
  return result;
}

cell* swap(cell* series1, cell* series2) {
  if (!series::any_block_p(series2->type())) fire(error_id::script_invalid_arg, *series2);
  if (ts_tail_p(*series1) || ts_tail_p(*series2)) return series1;
  int32_t at1 = std::max(head_of(*series1), 0), at2 = std::max(head_of(*series2), 0);
  bool owned1 = series::report(*series1, words::swap, *series2, at1, 1);
  bool owned2 = series::report(*series2, words::swap, *series1, at2, 1);
  node_id table1 = series::table_of(*series1), table2 = series::table_of(*series2);
  // A cell swapped with itself is indexed once.
  if (table2 == table1 && at1 == at2) table2 = 0;
  if (table1) hashtable::delete_at(table1, cells_of(*series1) + at1);
  if (table2) hashtable::delete_at(table2, cells_of(*series2) + at2);
  std::swap(cells_of(*series1)[at1], cells_of(*series2)[at2]);
  // A put that grew the table indexed every cell again, the other one too.
  if (table1 && hashtable::put(table1, cells_of(*series1) + at1) == 2 && table2 == table1) table2 = 0;
  if (table2) hashtable::put(table2, cells_of(*series2) + at2);
  if (owned1) series::report(*series1, words::swaped, *series2, at1, 1);
  if (owned2) series::report(*series2, words::swaped, *series1, at2, 1);
  return series1;
}

cell* take(cell* series, cell* part, bool deep, bool last) {
  series::take(series, part, deep, last);
  if (series->type() == TYPE_NONE) return series;
  if (!part) {
    cell element = cells_of(*series)[0];
    if (deep && series::any_series_p(element.type()) && element.payload2) {
      cell copied;
      actions::copy(&element, &copied, nullptr, true, nullptr);
      element = copied;
    }
    *series = element;
    return series;
  }
  if (deep) copy_nested(*series, 0, static_cast<uint32_t>(count_of(*series)));
  return series;
}

cell* trim(cell* series, bool, bool, bool, bool, bool, cell*) {
  int32_t from = clamped_head(*series);
  int32_t total = count_of(*series);
  bool owned = series::report(*series, words::trim, none::value, from, total - from);
  cell* cells = cells_of(*series);
  int32_t kept = from;
  for (int32_t i = from; i < total; ++i)
    if (cells[i].type() != TYPE_NONE) cells[kept++] = cells[i];
  set_tail_at(*series, static_cast<uint32_t>(kept));
  if (owned) series::report(*series, words::trimmed, none::value, from, total - from);
  return series;
}

void init() {
  static bool rooted = false;
  if (!rooted) collector::add_root(&scratch_block);
  rooted = true;
  scratch_block = unset::value;
  detail::init_search();
  datatype::register_type(TYPE_BLOCK, datatype::actions_row(
      // make random reflect to form mold eval-path set-path compare
      &make, inherit, inherit, &to, &form, &mold, &eval_path, unsupported, &compare,
      // absolute add divide multiply negate power remainder round subtract
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported,
      // even? odd? and~ complement or~ xor~
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      // append at back change clear copy find head head? index? insert length? move next
      &insert, inherit, inherit, &change, inherit, &copy, &find, inherit, inherit, inherit, &insert, inherit,
      inherit, inherit,
      // pick poke put remove reverse select sort skip swap tail tail? take trim
      inherit, inherit, &put, inherit, inherit, &select, &sort, inherit, &swap, inherit, inherit, &take, &trim,
      // create close delete modify open open? query read rename update write
      unsupported, unsupported, unsupported, inherit, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported));
}

}  // namespace tav::block
