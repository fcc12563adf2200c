// Text comparison: the core every comparison of text in the runtime goes through (strings,
// word spellings, hash keys, PARSE), and the compare handler of string!.
#include <algorithm>

#include "datatypes/actions.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/types.hpp"
#include "runtime/case_folding.hpp"
#include "runtime/string_cell.hpp"

namespace tav::string {
namespace {

// A text key of the hash tables: a string cell whose fourth word, when not negative, is its
// length.
inline constexpr uint8_t type_text_key = 56;

struct text_view {
  node_id node;
  uint32_t head;
  uint32_t length;
};

node_id node_of(const cell& value) {
  if (value.type() != TYPE_SYMBOL) return value.payload2;
  if (value.payload2) return value.payload2;
  cell record = value;
  symbol::ensure_string(record);
  return record.payload2;
}

text_view view_of(const cell& value, node_id node) {
  uint32_t total = buffer_of(node)->count();
  if (value.type() == TYPE_SYMBOL) return {node, 0, total};
  auto head = static_cast<int32_t>(value.payload1);
  uint32_t start = head < 0 ? 0 : std::min(static_cast<uint32_t>(head), total);
  uint32_t length = total - start;
  auto explicit_length = static_cast<int32_t>(value.payload3);
  if (value.type() == type_text_key && explicit_length >= 0)
    length = std::min(length, static_cast<uint32_t>(explicit_length));
  return {node, start, length};
}

bool equality_op_p(int32_t op) {
  return op == actions::op::equal || op == actions::op::not_equal || op == actions::op::strict_equal ||
         op == actions::op::find;
}

template <class A, class B>
int32_t compare_units(const A* a, const B* b, uint32_t count, bool fold) {
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t c1 = a[i];
    uint32_t c2 = b[i];
    if (c1 == c2) continue;
    if (fold) {
      c1 = case_folding::change_char(c1, true);
      c2 = case_folding::change_char(c2, true);
      if (c1 == c2) continue;
    }
    return c1 > c2 ? 1 : -1;
  }
  return 0;
}

template <class A>
int32_t compare_with(const A* a, const uint8_t* b, uint32_t unit_b, uint32_t count, bool fold) {
  switch (unit_b) {
    case 1: return compare_units(a, b, count, fold);
    case 2: return compare_units(a, reinterpret_cast<const uint16_t*>(b), count, fold);
    default: return compare_units(a, reinterpret_cast<const uint32_t*>(b), count, fold);
  }
}

// The first `count` characters of both texts, each read with its own unit.
int32_t compare_chars(const text_view& a, const text_view& b, uint32_t count, bool fold) {
  series_buffer* buffer1 = buffer_of(a.node);
  series_buffer* buffer2 = buffer_of(b.node);
  const uint8_t* p1 = buffer1->head() + a.head * buffer1->unit();
  const uint8_t* p2 = buffer2->head() + b.head * buffer2->unit();
  switch (buffer1->unit()) {
    case 1: return compare_with(p1, p2, buffer2->unit(), count, fold);
    case 2: return compare_with(reinterpret_cast<const uint16_t*>(p1), p2, buffer2->unit(), count, fold);
    default: return compare_with(reinterpret_cast<const uint32_t*>(p1), p2, buffer2->unit(), count, fold);
  }
}

}  // namespace

int32_t compare_strings(const cell& value1, const cell& value2, int32_t op, bool prefix) {
  bool same_place = value1.payload2 == value2.payload2 && value1.payload1 == value2.payload1;
  if (op == actions::op::same) return same_place ? 0 : -1;
  if (same_place && equality_op_p(op)) return 0;

  node_id node1 = node_of(value1);
  node_id node2 = node_of(value2);  // both spellings exist before any buffer address is taken
  text_view a = view_of(value1, node1);
  text_view b = view_of(value2, node2);
  bool fold = op != actions::op::strict_equal && op != actions::op::case_sort;

  if (prefix) {
    if (b.length == 0) return op == actions::op::find ? 1 : 0;
    if (a.length < b.length) return 1;
    return compare_chars(a, b, b.length, fold);
  }
  if (a.length != b.length && (equality_op_p(op) || b.length == 0)) return 1;
  if (a.length == 0 && b.length == 0) return 0;
  int32_t order = compare_chars(a, b, std::min(a.length, b.length), fold);
  if (order != 0 || a.length == b.length) return order;
  return a.length > b.length ? 1 : -1;
}

int32_t compare(cell* value1, cell* value2, int32_t op) {
  uint8_t type2 = value2->type();
  if (type2 != value1->type()) {
    if (!string_cell::any_string_p(type2)) return actions::not_comparable;
    if (op != actions::op::equal && op != actions::op::not_equal) return actions::not_comparable;
  }
  return compare_strings(*value1, *value2, op, false);
}

}  // namespace tav::string
