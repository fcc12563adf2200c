// Sorting text in place: the range and record rules of the sort action on strings (and on
// the vectors and binaries that inherit it), the built-in comparators and the call of a
// comparator function.
#include <algorithm>
#include <climits>
#include <cstring>
#include <type_traits>

#include "datatypes/actions.hpp"
#include "datatypes/ownership.hpp"
#include "datatypes/runtime_words.hpp"
#include "datatypes/string.hpp"
#include "datatypes/types.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "runtime/case_folding.hpp"
#include "runtime/errors.hpp"
#include "runtime/sorting.hpp"
#include "runtime/string_cell.hpp"

namespace tav::string {
namespace {

comparator_call call_comparator = nullptr;

[[gnu::cold, noreturn]] void invalid_refine_arg(const char* refinement, const cell& value) {
  fire(error_id::script_invalid_refine_arg, *word::load(refinement), value);
}

// What the built-in comparators look at in a record.
struct record_order {
  uint32_t offset;    // elements before the first one compared
  uint32_t compared;  // elements compared, in order, until one differs
  bool fold;          // text: both sides folded to upper case
  bool reverse;
};

template <class T>
T element_at(const uint8_t* p, uint32_t i) {
  T value;
  std::memcpy(&value, p + i * sizeof(T), sizeof value);
  return value;
}

template <class T>
int order_of(T x, T y, bool fold) {
  if constexpr (std::is_floating_point_v<T>) {
    if (x < y) return -1;
    return x == y ? 0 : 1;  // an unordered pair counts as greater
  } else {
    if (x == y) return 0;
    if constexpr (std::is_unsigned_v<T>) {
      if (fold) {
        uint32_t fx = case_folding::change_char(x, true);
        uint32_t fy = case_folding::change_char(y, true);
        if (fx == fy) return 0;
        return fx < fy ? -1 : 1;
      }
    }
    return x < y ? -1 : 1;
  }
}

template <class T>
int compare_records(const void* a, const void* b, intptr_t setup, intptr_t) {
  const auto& order = *reinterpret_cast<const record_order*>(setup);
  const auto* pa = static_cast<const uint8_t*>(a) + order.offset * sizeof(T);
  const auto* pb = static_cast<const uint8_t*>(b) + order.offset * sizeof(T);
  for (uint32_t i = 0; i < order.compared; ++i) {
    int d = order_of(element_at<T>(pa, i), element_at<T>(pb, i), order.fold);
    if (d) return order.reverse ? -d : d;
  }
  return 0;
}

// The comparator for the elements of the series: text units, a vector's numbers, bytes.
sort_comparator comparator_for(const cell& series, uint32_t unit) {
  uint8_t element = series.type() == TYPE_VECTOR ? static_cast<uint8_t>(series.payload3) : TYPE_CHAR;
  if (element == TYPE_FLOAT || element == TYPE_PERCENT)
    return unit == 8 ? &compare_records<double> : &compare_records<float>;
  if (element == TYPE_INTEGER) {
    switch (unit) {
      case 1: return &compare_records<int8_t>;
      case 2: return &compare_records<int16_t>;
      default: return &compare_records<int32_t>;
    }
  }
  switch (unit) {
    case 1: return &compare_records<uint8_t>;
    case 2: return &compare_records<uint16_t>;
    default: return &compare_records<uint32_t>;
  }
}

// A comparator function! and what it is handed.
struct function_order {
  cell function;
  cell series;
  uint32_t unit;
  uint32_t record;  // elements per record
  bool views;       // hand whole records as text, else each record's first element
  bool reverse;
  cell view1, view2;
};

// One element as a value: a character of text, a byte of a binary, a number of a vector.
cell element_value(const cell& series, const uint8_t* p, uint32_t unit) {
  uint32_t raw = unicode::get_unit(p, 0, unit == 8 ? 4 : unit);
  switch (series.type()) {
    case TYPE_BINARY: return scalar::integer(static_cast<int32_t>(raw));
    case TYPE_VECTOR:
      switch (static_cast<uint8_t>(series.payload3)) {
        case TYPE_INTEGER: {
          int32_t value = unit == 1 ? element_at<int8_t>(p, 0) : unit == 2 ? element_at<int16_t>(p, 0)
                                                                           : element_at<int32_t>(p, 0);
          return scalar::integer(value);
        }
        case TYPE_FLOAT:
        case TYPE_PERCENT: {
          double value = unit == 8 ? element_at<double>(p, 0) : element_at<float>(p, 0);
          return scalar::float_cell(value, static_cast<uint8_t>(series.payload3));
        }
        default: break;
      }
      break;
    default: break;
  }
  return cell{TYPE_CHAR, 0, raw, 0};
}

// A record as text of its own. The records compared may sit in the merge sort's work area
// rather than in the series, so each is copied into one of two strings kept for the sort.
cell record_view(cell& view, const uint8_t* p, const function_order& order) {
  series_buffer* buffer = buffer_of(view.payload2);
  buffer->flags = (buffer->flags & ~series_flag::unit_mask) | order.unit;
  buffer->tail = buffer->offset;
  std::memcpy(buffer->head(), p, size_t{order.record} * order.unit);
  buffer->tail += order.record * order.unit;
  return view;
}

// What the function answered, as an order of its first argument against its second.
int order_from(const cell& answer) {
  switch (answer.type()) {
    case TYPE_LOGIC: return logic::get(answer) ? 1 : -1;
    case TYPE_INTEGER: {
      int32_t value = scalar::integer_value(answer);
      return value > 0 ? -1 : value < 0 ? 1 : 0;
    }
    case TYPE_FLOAT: {
      double value = scalar::float_value(answer);
      return value > 0 ? -1 : value < 0 ? 1 : 0;
    }
    case TYPE_NONE: return -1;
    default: return 1;
  }
}

int call_function(const void* a, const void* b, intptr_t setup, intptr_t) {
  auto& order = *reinterpret_cast<function_order*>(setup);
  // The second record goes first, unless reversed.
  const auto* first = static_cast<const uint8_t*>(order.reverse ? a : b);
  const auto* second = static_cast<const uint8_t*>(order.reverse ? b : a);
  cell x = order.views ? record_view(order.view1, first, order) : element_value(order.series, first, order.unit);
  cell y = order.views ? record_view(order.view2, second, order) : element_value(order.series, second, order.unit);
  return order_from(call_comparator(order.function, x, y));
}

struct sort_range {
  uint32_t start;
  uint32_t length;
};

sort_range range_of(cell& series, const cell* part) {
  uint32_t total = buffer_of(series.payload2)->count();
  uint32_t head = total - ts_length_p(series);
  series.payload1 = head;
  if (!part) return {head, total - head};
  int64_t count;
  if (part->type() == TYPE_INTEGER) {
    count = scalar::integer_value(*part);
  } else if (part->type() == series.type() && part->payload2 == series.payload2) {
    count = int64_t{total - ts_length_p(*part)} - head;
  } else {
    invalid_refine_arg("part", *part);
  }
  if (count < 0) {
    auto start = static_cast<uint32_t>(std::max<int64_t>(0, head + count));
    return {start, head - start};
  }
  return {head, static_cast<uint32_t>(std::min<int64_t>(count, total - head))};
}

}  // namespace

void set_comparator_call(comparator_call call) { call_comparator = call; }

cell* sort(cell* series, bool case_sensitive, cell* skip, cell* comparator, cell* part, bool all, bool reverse,
           bool stable) {
  sort_range range = range_of(*series, part);

  uint32_t size = 1;
  if (skip) {
    if (skip->type() != TYPE_INTEGER || scalar::integer_value(*skip) < 1) invalid_refine_arg("skip", *skip);
    size = static_cast<uint32_t>(scalar::integer_value(*skip));
  } else if (all) {
    fire(error_id::script_bad_refines);
  }
  uint32_t offset = 0;
  bool by_function = false;
  if (comparator) {
    if (comparator->type() == TYPE_FUNCTION) {
      by_function = true;
    } else if (comparator->type() == TYPE_INTEGER) {
      if (!skip || all) fire(error_id::script_bad_refines);
      int32_t field = scalar::integer_value(*comparator);
      if (field < 1 || static_cast<uint32_t>(field) > size) fire(error_id::script_out_of_range, *comparator);
      offset = static_cast<uint32_t>(field) - 1;
    } else {
      invalid_refine_arg("compare", *comparator);
    }
  }
  if (range.length == 0) return series;
  if (size > range.length || range.length % size != 0) invalid_refine_arg("skip", *skip);
  if (by_function && !call_comparator) fire(error_id::internal_not_done);

  bool whole = all || series->type() == TYPE_VECTOR;
  bool owned = ownership::check(*series, words::sort, none::value, static_cast<int32_t>(range.start),
                                static_cast<int32_t>(range.length));
  series_buffer* buffer = buffer_of(series->payload2);
  uint32_t unit = buffer->unit();
  uint8_t* base = buffer->head() + size_t{range.start} * unit;
  size_t records = range.length / size;
  size_t record_bytes = size_t{size} * unit;

  intptr_t setup;
  sort_comparator compare;
  record_order order{offset, whole ? size - offset : 1, !case_sensitive && string_cell::any_string_p(series->type()),
                     reverse};
  function_order call{comparator ? *comparator : none::value, *series, unit, size, all && size > 1, reverse, {}, {}};
  if (by_function) {
    if (call.views) {
      make_at(call.view1, size, unit);
      make_at(call.view2, size, unit);
      set_type(call.view1, series->type());
      set_type(call.view2, series->type());
      call.view1.payload3 = call.view2.payload3 = series->payload3;
      buffer = buffer_of(series->payload2);  // making them may have moved the series
      base = buffer->head() + size_t{range.start} * unit;
    }
    setup = reinterpret_cast<intptr_t>(&call);
    compare = &call_function;
  } else {
    setup = reinterpret_cast<intptr_t>(&order);
    compare = comparator_for(*series, unit);
  }
  if (stable)
    sorting::merge_sort(base, records, record_bytes, setup, 0, compare);
  else
    sorting::quick_sort(base, records, record_bytes, setup, 0, compare);

  if (owned)
    ownership::check(*series, words::sorted, none::value, static_cast<int32_t>(range.start),
                     static_cast<int32_t>(range.length));
  return series;
}

}  // namespace tav::string
