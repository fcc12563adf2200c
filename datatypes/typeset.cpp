// typeset!: the bit layout, the constructors of function-spec processing, the set operations
// and the text forms.
#include "datatypes/typeset.hpp"

#include <algorithm>

#include "datatypes/actions.hpp"
#include "datatypes/block.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/text_output.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/stack.hpp"
#include "runtime/errors.hpp"
#include "runtime/series.hpp"

namespace tav::typeset {
namespace {

// A word stands for its value; an unset value raises script/no-value.
cell resolved(const cell& value) {
  if (value.type() != TYPE_WORD) return value;
  cell result = *word::get(value);
  stack::pop_cells(1);
  return result;
}

void join(cell& set, const cell& other) {
  set.payload1 |= other.payload1;
  set.payload2 |= other.payload2;
  set.payload3 |= other.payload3;
}

cell only_type(uint8_t type) {
  cell set = empty();
  add_bit(set, type);
  return set;
}

cell datatype_value(uint8_t type) {
  cell value;
  datatype::make_at(value, type);
  return value;
}

void drop_last_char(cell& output) {
  series_buffer* b = buffer_of(output.payload2);
  if (b->tail > b->offset) b->tail -= b->unit();
}

cell* combine(int32_t code) {
  cell* answer = do_bitwise(code);
  return stack::set_last(*answer);
}

}  // namespace

void add_bit(cell& set, uint8_t type) {
  uint8_t bytes[12];
  std::memcpy(bytes, &set.payload1, sizeof bytes);
  bytes[type >> 3] |= static_cast<uint8_t>(0x80u >> (type & 7));
  std::memcpy(&set.payload1, bytes, sizeof bytes);
}

void clear(cell& set) { set.payload1 = set.payload2 = set.payload3 = 0; }

int32_t count(const cell& set) {
  int32_t n = 0;
  for (uint32_t type = 1; type <= datatype::max_type_id; ++type) n += has_type(set, static_cast<uint8_t>(type));
  return n;
}

cell* new_in_block(cell& block, uint32_t word1, uint32_t word2, uint32_t word3) {
  return block::append_cell(block, cell{TYPE_TYPESET, word1, word2, word3});
}

cell* make_default(cell& block) {
  cell set{TYPE_TYPESET, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};
  set.payload1 &= ~uint32_t{0x20};  // unset! is mask 0x20 of the first byte
  return block::append_cell(block, set);
}

cell* from_block(cell& block, const cell& spec) {
  cell set = empty();
  cell types = spec;
  int32_t total = static_cast<int32_t>(buffer_of(types.payload2)->count());
  for (int32_t i = std::max(series::head_of(types), 0); i < total; ++i) {
    cell element = resolved(buffer_of(types.payload2)->cells()[i]);
    switch (element.type()) {
      case TYPE_DATATYPE: add_bit(set, static_cast<uint8_t>(element.payload1)); break;
      case TYPE_TYPESET: join(set, element); break;
      case TYPE_WORD: add_bit(set, TYPE_OBJECT); break;
      case TYPE_BLOCK: break;
      default: fire(error_id::script_invalid_type_spec, element);
    }
  }
  return block::append_cell(block, set);
}

void add_type(cell& set, const cell& value) {
  cell element = resolved(value);
  if (element.type() == TYPE_TYPESET)
    join(set, element);
  else if (element.type() == TYPE_DATATYPE)
    add_bit(set, static_cast<uint8_t>(element.payload1));
  else
    fire(error_id::script_invalid_arg, value);
}

void to_block(const cell& set, cell& result) {
  cell source = set;
  block::make_at(result, 4);
  for (uint32_t type = 1; type <= datatype::max_type_id; ++type)
    if (has_type(source, static_cast<uint8_t>(type))) datatype::make_in(result, static_cast<uint8_t>(type));
}

cell* do_bitwise(int32_t code) {
  cell a = *stack::argument(0);
  if (code == block::set_op::unique) return stack::push_copy(a);
  cell b = *stack::argument(1);
  if (b.type() == TYPE_DATATYPE)
    b = only_type(static_cast<uint8_t>(b.payload1));
  else if (b.type() != TYPE_TYPESET)
    fire(error_id::script_invalid_arg, b);
  auto apply = [code](uint32_t x, uint32_t y) -> uint32_t {
    switch (code) {
      case 5:
      case block::set_op::union_: return x | y;
      case 6:
      case block::set_op::intersect: return x & y;
      case block::set_op::exclude: return x & ~y;
      default: return x ^ y;  // xor~ and difference
    }
  };
  return stack::push_copy(cell{TYPE_TYPESET, apply(a.payload1, b.payload1), apply(a.payload2, b.payload2),
                               apply(a.payload3, b.payload3)});
}

cell* make(cell*, cell* spec, int32_t) {
  if (spec->type() == TYPE_TYPESET) return spec;
  if (spec->type() != TYPE_BLOCK) fire(error_id::script_bad_to_arg, datatype_value(TYPE_TYPESET), *spec);
  cell set = empty();
  cell types = *spec;
  int32_t total = static_cast<int32_t>(buffer_of(types.payload2)->count());
  for (int32_t i = std::max(series::head_of(types), 0); i < total; ++i)
    add_type(set, buffer_of(types.payload2)->cells()[i]);
  return stack::push_copy(set);
}

int32_t form(cell* value, cell* buffer, cell* part, int32_t limit) {
  return mold(value, buffer, false, false, false, part, limit, 0);
}

int32_t mold(cell* value, cell* buffer, bool only, bool, bool, cell* part, int32_t limit, int32_t) {
  cell set = *value;
  if (!only) {
    text::append_c_string(*buffer, "make typeset! [");
    limit -= 15;
  }
  bool written = false;
  for (uint32_t type = 1; type <= datatype::max_type_id; ++type) {
    if (!has_type(set, static_cast<uint8_t>(type))) continue;
    if (part && limit < 0) return limit;
    const datatype::type_name_entry& entry = datatype::type_name_table[type];
    text::append_c_part(*buffer, entry.name, entry.length + 1);
    text::append_char(*buffer, ' ');
    limit -= static_cast<int32_t>(entry.length) + 2;
    written = true;
  }
  if (written) {
    drop_last_char(*buffer);
    ++limit;
  }
  if (!only) {
    text::append_char(*buffer, ']');
    --limit;
  }
  return limit;
}

int32_t compare(cell* value1, cell* value2, int32_t op) {
  if (value2->type() != TYPE_TYPESET) return actions::not_comparable;
  switch (op) {
    case actions::op::equal:
    case actions::op::not_equal:
    case actions::op::strict_equal:
    case actions::op::same:
    case actions::op::find:
      return value1->payload1 == value2->payload1 && value1->payload2 == value2->payload2 &&
                     value1->payload3 == value2->payload3
                 ? 0
                 : 1;
    case actions::op::sort:
    case actions::op::case_sort: {
      int32_t a = count(*value1), b = count(*value2);
      return a < b ? -1 : a > b ? 1 : 0;
    }
    default: return actions::not_comparable;
  }
}

cell* and_() { return combine(6); }

cell* complement(cell* value) {
  value->payload1 = ~value->payload1;
  value->payload2 = ~value->payload2;
  value->payload3 = ~value->payload3;
  return value;
}

cell* or_() { return combine(5); }

cell* xor_() { return combine(7); }

cell* find(cell* series, cell* value, cell*, bool, bool, bool, bool, cell*, cell*, bool, bool, bool, bool) {
  if (value->type() != TYPE_DATATYPE) fire(error_id::script_invalid_arg, *value);
  return has_type(*series, static_cast<uint8_t>(value->payload1)) ? &logic::true_value : &logic::false_value;
}

void init() {
  datatype::register_type(TYPE_TYPESET, datatype::actions_row(
      // make random reflect to form mold eval-path set-path compare
      &make, unsupported, unsupported, &make, &form, &mold, unsupported, unsupported, &compare,
      // absolute add divide multiply negate power remainder round subtract
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported,
      // even? odd? and~ complement or~ xor~
      unsupported, unsupported, &and_, &complement, &or_, &xor_,
      // append at back change clear copy find head head? index? insert length? move next
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, &find, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      // pick poke put remove reverse select sort skip swap tail tail? take trim
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported,
      // create close delete modify open open? query read rename update write
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported));
}

}  // namespace tav::typeset
