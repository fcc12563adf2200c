// block!: the handlers that look into the elements: find, select, put, path access,
// comparison, sorting, and the set operations.
#include <algorithm>
#include <cstring>

#include "datatypes/actions.hpp"
#include "datatypes/block.hpp"
#include "datatypes/runtime_words.hpp"
#include "datatypes/typeset.hpp"
#include "datatypes/values.hpp"
#include "interpreter/stack.hpp"
#include "runtime/collector.hpp"
#include "runtime/cycle_stack.hpp"
#include "runtime/errors.hpp"
#include "runtime/hashtable.hpp"
#include "runtime/heap.hpp"
#include "runtime/series.hpp"
#include "runtime/sorting.hpp"

namespace tav::block {
namespace {

using series::buffer;
using series::head_of;
using series::node_of;
using series::set_head;

int32_t count_of(const cell& block) { return static_cast<int32_t>(buffer(block)->count()); }
cell* cells_of(const cell& block) { return buffer(block)->cells(); }

// ---- Searching --------------------------------------------------------------------------------

struct search {
  const cell* part = nullptr;
  const cell* skip = nullptr;
  int32_t op = actions::op::find;
  bool only = false, last = false, reverse = false, match = false;
};

int32_t compare_op(bool case_sensitive, bool same) {
  return same ? actions::op::same : case_sensitive ? actions::op::strict_equal : actions::op::find;
}

// Where the value matches in the series, or -1; `run` gets the length of the matched run.
int32_t locate(const cell& series, const cell& value, const search& how, int32_t& run) {
  run = 1;
  int32_t total = count_of(series);
  int32_t head = head_of(series);
  if (total == 0 || (head >= total && !how.reverse)) return -1;
  head = std::clamp(head, 0, total);

  int32_t step = 1;
  if (how.skip) {
    if (how.skip->type() != TYPE_INTEGER) series::invalid_refine_arg("skip", *how.skip);
    step = scalar::integer_value(*how.skip);
    if (step < 1) fire(error_id::script_out_of_range, *how.skip);
  }
  int32_t end = total - 1;
  if (how.part) {
    if (how.part->type() == TYPE_INTEGER) {
      int32_t n = scalar::integer_value(*how.part);
      if (n < 1) return -1;
      end = static_cast<int32_t>(std::min<int64_t>(int64_t{head} + n - 1, total - 1));
    } else if (how.part->type() == series.type() && how.part->payload2 == series.payload2) {
      end = std::min(head_of(*how.part), total - 1);
    } else {
      series::invalid_refine_arg("part", *how.part);
    }
  }

  uint8_t kind = value.type();
  bool by_type = !how.only && kind == TYPE_DATATYPE;
  bool by_set = !how.only && kind == TYPE_TYPESET;
  bool by_run = !how.only && series::any_block_p(kind);
  int32_t value_head = 0;
  if (by_run) {
    value_head = std::max(head_of(value), 0);
    run = count_of(value) - value_head;
    if (run <= 0) return -1;
  }

  // The table hashes objects and series by identity, so it answers equality of those only
  // under sameness.
  node_id table = series::table_of(series);
  bool by_identity = series::any_block_p(kind) || kind == TYPE_OBJECT || kind == TYPE_ERROR || kind == TYPE_MAP ||
                     kind == TYPE_PORT || kind == TYPE_IMAGE;
  bool hashed = table && !by_type && !by_set && !by_run && !how.match && !how.last && !how.reverse &&
                (!by_identity || how.op == actions::op::same);
  if (hashed) {
    const cell* hit = hashtable::find(table, value, static_cast<uint32_t>(head), step, how.op);
    if (!hit) return -1;
    auto position = static_cast<int32_t>(hit - cells_of(series));
    return position <= end ? position : -1;
  }

  int32_t start, stop, direction;
  if (how.last) {
    start = how.part ? end : total - run;
    stop = 0, direction = -1;
  } else if (how.reverse) {
    start = how.part ? end : head - run;
    stop = 0, direction = -1;
  } else {
    start = head, stop = end, direction = 1;
  }
  if (start < 0 && direction < 0) return -1;

  cell probe = value;
  // Integers and characters of the value's own type are equal exactly when their values are,
  // whatever the op, so they skip the call. The cells are read again after any call, which may
  // allocate.
  bool exact = !by_type && !by_set && !by_run && (kind == TYPE_INTEGER || kind == TYPE_CHAR);
  cell* cells = cells_of(series);
  auto matches = [&](int32_t position) {
    cell* element = cells + position;
    if (exact && element->type() == kind) return element->payload2 == probe.payload2;
    if (by_type) return element->type() == probe.payload1;
    if (by_set) return typeset::has_type(probe, element->type());
    if (!by_run) {
      bool equal = actions::compare(element, &probe, how.op);
      cells = cells_of(series);
      return equal;
    }
    if (position + run > count_of(series)) return false;
    for (int32_t k = 0; k < run; ++k) {
      cell* expected = cells_of(probe) + value_head + k;
      if (!actions::compare(cells_of(series) + position + k, expected, how.op)) return false;
    }
    cells = cells_of(series);
    return true;
  };
  int32_t stride = direction * step;
  if (exact && !how.match) {
    for (int32_t position = start; direction > 0 ? position <= stop : position >= stop; position += stride) {
      const cell& element = cells[position];
      if (element.type() == kind ? element.payload2 == probe.payload2 : matches(position)) return position;
    }
    return -1;
  }
  for (int32_t position = start; direction > 0 ? position <= stop : position >= stop; position += stride) {
    if (position + (by_run ? run : 1) > total && direction > 0) break;
    if (matches(position)) return position;
    if (how.match) break;
  }
  return -1;
}

// The run length select steps over: the value's length for a block, paren or path without
// /only, else one cell (a hash! value too).
int32_t select_run(const cell& value, bool only, int32_t run) {
  uint8_t type = value.type();
  bool spread = !only && (type == TYPE_BLOCK || type == TYPE_PAREN || series::any_path_p(type));
  return spread ? run : 1;
}

// ---- Comparing --------------------------------------------------------------------------------

bool number_p(uint8_t type) { return type == TYPE_INTEGER || type == TYPE_FLOAT || type == TYPE_PERCENT; }

bool equality_op_p(int32_t op) {
  return op == actions::op::equal || op == actions::op::not_equal || op == actions::op::strict_equal ||
         op == actions::op::parse_strict || op == actions::op::parse_equal || op == actions::op::find;
}

bool path_pair_p(uint8_t a, uint8_t b) {
  return (a == TYPE_PATH && b == TYPE_LIT_PATH) || (a == TYPE_LIT_PATH && b == TYPE_PATH);
}

int32_t sign_of(int64_t n) { return n < 0 ? -1 : n > 0 ? 1 : 0; }

// ---- Sorting ----------------------------------------------------------------------------------

comparator_call call_comparator = nullptr;

// Two blocks whole records are copied into for a function comparator; kept between sorts.
cell record_scratch[2]{};
constexpr uint32_t scratch_keep = 2097151;

struct sort_order {
  int32_t op;
  bool reverse;
  bool whole;       // every field of a record, in order
  uint32_t field;   // else this field only
  uint32_t size;    // cells per record
  const cell* comparator;  // a function! when not null
  node_id node;     // the sorted block, for the function comparator's reads
  uint32_t head;
  uint32_t records;
};

int32_t element_order(const cell* a, const cell* b, int32_t op) {
  if (a->type() == TYPE_INTEGER && b->type() == TYPE_INTEGER) {  // the integer order, without the call
    int32_t x = scalar::integer_value(*a), y = scalar::integer_value(*b);
    return (x > y) - (x < y);
  }
  cell x = *a, y = *b;
  int32_t order = actions::compare_value(&x, &y, op);
  if (order == actions::not_comparable) order = static_cast<int32_t>(x.type()) - static_cast<int32_t>(y.type());
  return order;
}

int record_order(const void* pa, const void* pb, intptr_t context, intptr_t) {
  const auto& how = *reinterpret_cast<const sort_order*>(context);
  auto a = static_cast<const cell*>(pa), b = static_cast<const cell*>(pb);
  if (how.reverse) std::swap(a, b);
  if (!how.whole) return element_order(a + how.field, b + how.field, how.op);
  for (uint32_t i = 0; i < how.size; ++i)
    if (int32_t order = element_order(a + i, b + i, how.op)) return order;
  return 0;
}

int32_t comparator_answer(const cell& answer) {
  switch (answer.type()) {
    case TYPE_LOGIC: return answer.payload1 ? 1 : -1;
    case TYPE_INTEGER: return scalar::integer_value(answer);
    case TYPE_FLOAT: {
      double d = scalar::float_value(answer);
      return d > 0.0 ? 1 : d < 0.0 ? -1 : 0;
    }
    case TYPE_NONE: return -1;
    default: return 1;
  }
}

cell record_argument(const sort_order& how, uint32_t record, uint32_t slot) {
  const cell* first = buffer_of(how.node)->cells() + how.head + record * how.size;
  if (!how.whole) return first[how.field];
  cell& scratch = record_scratch[slot];
  if (scratch.type() != TYPE_BLOCK) make_at(scratch, static_cast<int32_t>(how.size));
  ts_clear(scratch);
  cell copy = scratch;
  for (uint32_t i = 0; i < how.size; ++i)
    append_cell(copy, buffer_of(how.node)->cells()[how.head + record * how.size + i]);
  return copy;
}

// The function comparator sorts record numbers: the block stays whole while user code runs.
int index_order(const void* pa, const void* pb, intptr_t context, intptr_t) {
  const auto& how = *reinterpret_cast<const sort_order*>(context);
  uint32_t a, b;
  std::memcpy(&a, pa, sizeof a);
  std::memcpy(&b, pb, sizeof b);
  if (how.head + how.records * how.size > buffer_of(how.node)->count()) return 0;  // shortened meanwhile
  cell first = record_argument(how, a, 0);
  cell second = record_argument(how, b, 1);
  cell answer = how.reverse ? call_comparator(*how.comparator, first, second)
                            : call_comparator(*how.comparator, second, first);
  return comparator_answer(answer);
}

struct heap_block {
  void* data;
  explicit heap_block(size_t bytes) : data(heap_alloc(bytes)) {}
  ~heap_block() { heap_free(data); }
  heap_block(const heap_block&) = delete;
  heap_block& operator=(const heap_block&) = delete;
};

void sort_with_function(sort_order& how, bool stable) {
  heap_block order(how.records * sizeof(uint32_t));
  auto* numbers = static_cast<uint32_t*>(order.data);
  for (uint32_t i = 0; i < how.records; ++i) numbers[i] = i;
  auto context = reinterpret_cast<intptr_t>(&how);
  if (stable)
    sorting::merge_sort(numbers, how.records, sizeof(uint32_t), context, 0, index_order);
  else
    sorting::quick_sort(numbers, how.records, sizeof(uint32_t), context, 0, index_order);
  if (how.whole && how.size * sizeof(cell) > scratch_keep) record_scratch[0] = record_scratch[1] = unset::value;
  series_buffer* b = buffer_of(how.node);
  if (how.head + how.records * how.size > b->count()) return;
  size_t record_bytes = how.size * sizeof(cell);
  heap_block saved(how.records * record_bytes);
  cell* cells = b->cells() + how.head;
  std::memcpy(saved.data, cells, how.records * record_bytes);
  for (uint32_t i = 0; i < how.records; ++i)
    std::memcpy(cells + i * how.size, static_cast<uint8_t*>(saved.data) + numbers[i] * record_bytes, record_bytes);
}

// ---- Set operations ---------------------------------------------------------------------------

struct set_source {
  cell series;
  node_id table;
  int32_t head;
};

// The series with its index clamped, and a table to look its elements up in when asked: its
// own for a hash!, else a temporary one over it. A table is marked through a hash! cell, so a
// temporary one is held by such a cell on the argument stack.
set_source prepare(const cell& value, bool lookups) {
  cell series = value;
  int32_t total = count_of(series);
  set_head(series, std::clamp(head_of(series), 0, total));
  node_id table = series::table_of(series);
  if (!table && lookups) {
    table = hashtable::create(static_cast<uint32_t>(total), node_of(series), hashtable::hash_kind);
    stack::push_copy(cell{TYPE_HASH, 0, node_of(series), table});
  }
  return {series, table, head_of(series)};
}

// Gives back the cells pushed for the duration of an operation, also when it fails.
struct stack_mark {
  cell* top = stack::top;
  ~stack_mark() { stack::top = top; }
};

bool holds(const set_source& in, const cell& element, int32_t step, int32_t op) {
  if (series::any_block_p(element.type())) {
    search how;
    how.only = true;
    how.op = op;
    cell skip = scalar::integer(step);
    how.skip = &skip;
    int32_t run;
    return locate(in.series, element, how, run) >= 0;
  }
  return hashtable::find(in.table, element, static_cast<uint32_t>(in.head), step, op) != nullptr;
}

}  // namespace

void set_comparator_call(comparator_call call) { call_comparator = call; }

namespace detail {
void init_search() {
  static bool rooted = false;
  if (!rooted) collector::add_root_range(record_scratch, 2);
  rooted = true;
  record_scratch[0] = record_scratch[1] = unset::value;
}
}  // namespace detail

// ---- Handlers ---------------------------------------------------------------------------------

cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell*, cell*, int32_t, bool case_sensitive,
                bool, bool, bool) {
  if (element->type() == TYPE_INTEGER) {
    int32_t index = scalar::integer_value(*element);
    if (!value) return series::pick(parent, index, element);
    series::poke(parent, index, value, element);
    return value;
  }
  if (!value) {
    if (element->type() == TYPE_WORD && parent->type() != TYPE_HASH) return find_word(*parent, *element, case_sensitive);
    return select(parent, element, nullptr, true, case_sensitive, false, false, nullptr, nullptr, false, false);
  }
  cell found = *parent;
  search how;
  how.op = compare_op(case_sensitive, false);
  int32_t run;
  int32_t position = locate(found, *element, how, run);
  if (position < 0) fire(error_id::script_bad_path_set, path ? *path : none::value, *element);
  set_head(found, position);
  series::poke(&found, 2, value, nullptr);
  return value;
}

int32_t compare(cell* value1, cell* value2, int32_t op) {
  uint8_t type1 = value1->type(), type2 = value2->type();
  if (type1 != type2) {
    bool parse_op = op == actions::op::parse_strict || op == actions::op::parse_equal;
    if (!parse_op || !path_pair_p(type1, type2)) return actions::not_comparable;
  }
  cell a = *value1, b = *value2;
  if (node_of(a) == node_of(b) && head_of(a) == head_of(b)) return 0;
  if (op == actions::op::same) return -1;
  if (cycles::find(node_of(a))) return cycles::find(node_of(b)) ? 0 : -1;
  int32_t length1 = std::max(count_of(a) - head_of(a), 0);
  int32_t length2 = std::max(count_of(b) - head_of(b), 0);
  if (length1 != length2 && equality_op_p(op)) return 1;
  if (length1 == 0 && length2 == 0) return 0;
  cycles::guard inside1(node_of(a));
  cycles::guard inside2(node_of(b));
  int32_t shorter = std::min(length1, length2);
  for (int32_t i = 0; i < shorter; ++i) {
    cell x = cells_of(a)[head_of(a) + i];
    cell y = cells_of(b)[head_of(b) + i];
    uint8_t tx = x.type(), ty = y.type();
    if (tx != ty && !(any_word_p(tx) && any_word_p(ty)) && !(number_p(tx) && number_p(ty)))
      return tx < ty ? -1 : 1;
    if (int32_t order = actions::compare_value(&x, &y, op)) return order;
  }
  return sign_of(int64_t{length1} - length2);
}

cell* find(cell* series, cell* value, cell* part, bool only, bool case_sensitive, bool same, bool, cell*, cell* skip,
           bool last, bool reverse, bool tail, bool match) {
  search how;
  how.part = part, how.skip = skip, how.only = only, how.last = last, how.reverse = reverse, how.match = match;
  how.op = compare_op(case_sensitive, same);
  int32_t run;
  int32_t position = locate(*series, *value, how, run);
  if (position < 0) return &none::value;
  if (tail) {
    bool spread = !only && series::any_block_p(value->type());
    int32_t step = skip ? scalar::integer_value(*skip) : 1;
    position += spread ? run : (last || reverse) ? 1 : step;
    position = std::min(position, count_of(*series));
  }
  set_head(*series, position);
  return series;
}

cell* put(cell* series, cell* key, cell* value, bool case_sensitive) {
  cell k = *key, v = *value;
  search how;
  how.op = compare_op(case_sensitive, false);
  int32_t run;
  int32_t position = locate(*series, k, how, run);
  node_id table = series::table_of(*series);
  if (position < 0) {
    series::report(*series, words::put, v, count_of(*series), 1);
    cell* added = append_cell(*series, k);
    if (table) hashtable::put(table, added);
    added = append_cell(*series, v);
    if (table) hashtable::put(table, added);
    return value;
  }
  int32_t after = position + run;
  bool owned = series::report(*series, words::put, v, after, 1);
  if (after < count_of(*series)) {
    cell* target = cells_of(*series) + after;
    if (!actions::compare(target, &v, actions::op::find)) {
      if (table) hashtable::delete_at(table, target);
      *target = v;
      if (table) hashtable::put(table, cells_of(*series) + after);
    }
  } else {
    cell* added = append_cell(*series, v);
    if (table) hashtable::put(table, added);
  }
  if (owned) series::report(*series, words::put_ed, v, after, 1);
  return value;
}

cell* select(cell* series, cell* value, cell* part, bool only, bool case_sensitive, bool same, bool, cell*, cell* skip,
             bool last, bool reverse) {
  search how;
  how.part = part, how.skip = skip, how.only = only, how.last = last, how.reverse = reverse;
  how.op = compare_op(case_sensitive, same);
  int32_t run;
  int32_t position = locate(*series, *value, how, run);
  if (position < 0) return &none::value;
  int32_t answer = position + select_run(*value, only, run);
  if (answer >= count_of(*series)) return &none::value;
  return cells_of(*series) + answer;
}

cell* sort(cell* series, bool case_sensitive, cell* skip, cell* comparator, cell* part, bool all, bool reverse,
           bool stable) {
  int32_t total = count_of(*series);
  int32_t head = std::clamp(head_of(*series), 0, total);
  int32_t length = total - head;
  if (length <= 0) return series;
  if (part) {
    int32_t n = std::min(series::part_length(*series, *part), length);
    if (n < 0) {
      if (head + n < 0) {
        set_head(*series, 0);
        return series;
      }
      head += n;
      set_head(*series, head);
      n = -n;
    }
    length = n;
  }
  int32_t size = 1;
  if (skip) {
    if (skip->type() != TYPE_INTEGER) series::invalid_refine_arg("skip", *skip);
    size = scalar::integer_value(*skip);
    if (size < 1 || length % size != 0 || length < size) series::invalid_refine_arg("skip", *skip);
  }
  if (all && !skip) fire(error_id::script_bad_refines);

  sort_order how{};
  how.op = case_sensitive ? actions::op::case_sort : actions::op::sort;
  how.reverse = reverse;
  how.whole = all && skip;
  how.size = static_cast<uint32_t>(size);
  how.node = node_of(*series);
  how.head = static_cast<uint32_t>(head);
  how.records = static_cast<uint32_t>(length / size);
  if (comparator) {
    if (comparator->type() == TYPE_FUNCTION) {
      if (!call_comparator) fire(error_id::internal_not_done);
      how.comparator = comparator;
    } else if (comparator->type() == TYPE_INTEGER) {
      if (!skip || all) fire(error_id::script_bad_refines);
      int32_t field = scalar::integer_value(*comparator);
      if (field < 1 || field > size) fire(error_id::script_out_of_range, *comparator);
      how.field = static_cast<uint32_t>(field - 1);
    } else {
      series::invalid_refine_arg("compare", *comparator);
    }
  }
  if (length < 2 || how.records < 2) return series;
  bool owned = series::report(*series, words::sort, none::value, head, length);
  if (how.comparator) {
    cell held = *comparator;  // the argument cell may be overwritten by the calls
    how.comparator = &held;
    sort_with_function(how, stable);
  } else {
    cell* base = cells_of(*series) + head;
    auto context = reinterpret_cast<intptr_t>(&how);
    if (stable)
      sorting::merge_sort(base, how.records, how.size * sizeof(cell), context, 0, record_order);
    else
      sorting::quick_sort(base, how.records, how.size * sizeof(cell), context, 0, record_order);
  }
  if (owned) series::report(*series, words::sorted, none::value, head, length);
  return series;
}

cell* do_set_op(bool case_sensitive, cell* skip, int32_t op) {
  int32_t step = 1;
  if (skip) {
    step = skip->type() == TYPE_INTEGER ? scalar::integer_value(*skip) : 0;
    if (step < 1) series::invalid_refine_arg("skip", *skip);
  }
  int32_t compare = case_sensitive ? actions::op::strict_equal : actions::op::equal;
  bool two = op != set_op::unique;
  stack_mark held;
  set_source first = prepare(*stack::argument(0), op == set_op::difference);
  set_source second = two ? prepare(*stack::argument(1), op != set_op::union_) : set_source{};
  bool hash_result = stack::argument(0)->type() == TYPE_HASH || (two && stack::argument(1)->type() == TYPE_HASH);

  int32_t size = count_of(first.series) - first.head;
  if (op == set_op::union_) size += count_of(second.series) - second.head;
  cell* result = push_only(size);
  result->payload3 = hashtable::create(static_cast<uint32_t>(std::max(size, 1)), node_of(*result),
                                       hashtable::hash_kind);
  set_type(*result, TYPE_HASH);
  set_source made{*result, result->payload3, 0};

  auto walk = [&](const set_source& from, const set_source* other, bool keep_found) {
    int32_t total = count_of(from.series);
    for (int32_t position = from.head; position < total; position += step) {
      cell element = cells_of(from.series)[position];
      if (other && holds(*other, element, step, compare) != keep_found) continue;
      if (holds(made, element, step, compare)) continue;
      int32_t end = std::min(position + step, total);
      for (int32_t i = position; i < end; ++i) {
        cell* added = append_cell(made.series, cells_of(from.series)[i]);
        hashtable::put(made.table, added);
      }
    }
  };
  switch (op) {
    case set_op::unique: walk(first, nullptr, false); break;
    case set_op::union_:
      walk(first, nullptr, false);
      walk(second, nullptr, false);
      break;
    case set_op::intersect: walk(first, &second, true); break;
    case set_op::exclude: walk(first, &second, false); break;
    default:
      walk(first, &second, false);
      walk(second, &first, false);
      break;
  }
  cell answer = *result;
  if (!hash_result) answer = value_of(node_of(answer));
  return stack::set_last(answer);
}

}  // namespace tav::block
