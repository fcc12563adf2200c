// Action dispatch: lookup errors, the stack entries of the 62 actions, comparison and the
// fast paths of compiled code.
#include "datatypes/actions.hpp"

#include <algorithm>
#include <climits>

#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/string.hpp"
#include "datatypes/text_output.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/stack.hpp"
#include "runtime/errors.hpp"
#include "runtime/hashtable.hpp"
#include "runtime/memory.hpp"
#include "runtime/series.hpp"

namespace tav::actions {

const stack_entry action_entries[action_count] = {
#define TAV_ENTRY(slot, name, word, first, dispatch, signature) entry::name,
    TAV_ACTIONS(TAV_ENTRY)
#undef TAV_ENTRY
};

namespace {

port_actor_resolver port_resolver = nullptr;

cell word_named(const char* text) { return *word::load(text); }

cell datatype_of(uint8_t type) {
  cell result;
  datatype::make_at(result, type);
  return result;
}

cell* arg(uint32_t i) { return stack::argument(i); }

// The cell of a refinement's first argument, or null when the refinement is absent.
cell* refinement_cell(int32_t position) { return position < 0 ? nullptr : stack::arguments + position; }
bool refinement_flag(int32_t position) { return position != -1; }

void result(const cell* answer) { stack::set_last(*answer); }

void call_without_arguments(action_slot slot) {
  reinterpret_cast<handler_pointer<action_slot::add>>(lookup_arg(static_cast<uint32_t>(slot)))();
}

[[gnu::cold, noreturn]] void invalid_refine_arg(const char* refinement, const cell& value) {
  fire(error_id::script_invalid_refine_arg, word_named(refinement), value);
}

// The series the /part of append and insert is measured on.
bool series_with_buffer_p(const cell& value) {
  switch (value.type()) {
    case TYPE_BLOCK:
    case TYPE_PAREN:
    case TYPE_PATH:
    case TYPE_LIT_PATH:
    case TYPE_SET_PATH:
    case TYPE_GET_PATH:
    case TYPE_HASH:
    case TYPE_STRING:
    case TYPE_FILE:
    case TYPE_URL:
    case TYPE_TAG:
    case TYPE_EMAIL:
    case TYPE_REF:
    case TYPE_BINARY:
    case TYPE_VECTOR:
    case TYPE_IMAGE:
    case TYPE_MAP: return value.payload2 != 0;
    default: return false;
  }
}

int32_t head_of(const cell& series) { return static_cast<int32_t>(series.payload1); }
int32_t count_of(const cell& series) { return static_cast<int32_t>(buffer_of(series.payload2)->count()); }

// An index past the tail is moved back to the tail.
void clamp_to_tail(cell& series) {
  if (series.payload2 && head_of(series) > count_of(series)) series.payload1 = static_cast<uint32_t>(count_of(series));
}

bool same_series_p(const cell& a, const cell& b) { return a.type() == b.type() && a.payload2 == b.payload2; }

// A negative part moves the index back by that much (not below 0) and counts what it passed.
int32_t step_back(cell& series, int32_t part) {
  auto back = static_cast<int32_t>(std::min(-int64_t{part}, int64_t{head_of(series)}));
  series.payload1 = static_cast<uint32_t>(head_of(series) - back);
  return back;
}

// The /part of append and insert, measured on the inserted value. False: nothing to do.
bool insertion_part(cell& value, const cell* part_arg, int32_t& part) {
  part = -1;
  if (!part_arg) return true;
  if (!series_with_buffer_p(value)) fire(error_id::script_invalid_part, *part_arg);
  clamp_to_tail(value);
  if (part_arg->type() == TYPE_INTEGER) {
    part = scalar::integer_value(*part_arg);
  } else if (same_series_p(*part_arg, value)) {
    cell end = *part_arg;
    clamp_to_tail(end);
    part = head_of(end) - head_of(value);
  } else {
    invalid_refine_arg("part", *part_arg);
  }
  if (part == 0 || (part < 0 && head_of(value) == 0)) return false;
  if (part < 0) part = step_back(value, part);
  return true;
}

void insertion(const int32_t* positions, bool append) {
  cell* series = arg(0);
  cell* value = arg(1);
  if (!append && series->type() != TYPE_PORT) clamp_to_tail(*series);
  int32_t part;
  if (!insertion_part(*value, refinement_cell(positions[0]), part)) return;
  int32_t dup = 1;
  if (cell* dup_arg = refinement_cell(positions[2])) {
    dup = scalar::integer_value(*dup_arg);
    if (dup <= 0) return;
  }
  bool only = refinement_flag(positions[1]);
  if (append)
    actions::append(series, value, part, only, dup, true);
  else
    actions::insert(series, value, part, only, dup, false);
}

// The form and mold entries share the budget and the result string. The string is made
// above the arguments, so that the /part cell stays where it is while the handler runs.
template <class Call>
void text_output(int32_t part_position, Call call) {
  cell* part = refinement_cell(part_position);
  int32_t limit = INT32_MAX;
  if (part) {
    if (part->type() != TYPE_INTEGER) fire(error_id::script_invalid_part, *part);
    limit = scalar::integer_value(*part);
  }
  cell* buffer = stack::push_cell();
  *buffer = unset::value;
  text::make_at(*buffer, 16);
  if (limit > 0) {
    call(stack::arguments, buffer, part, limit);
    if (part) text::truncate(*buffer, static_cast<uint32_t>(limit));
  }
  stack::set_last(*buffer);
  stack::keep_result();
}

// Restores the caller's frame when a slow path returns or unwinds.
struct frame_guard {
  cell* saved = stack::arguments;
  ~frame_guard() { stack::arguments = saved; }
};

// The slow path of the fast entries: the operands become the arguments of a call whose result
// stays as the last pushed value.
cell* call_entry(stack_entry entry, cell* first, const cell* second, const int32_t* positions) {
  frame_guard guard;
  stack::arguments = first;
  stack::top = first + 1;
  if (second) stack::push_copy(*second);
  entry(positions);
  stack::top = first + 1;
  return first;
}

cell* push_and_call(stack_entry entry, const cell& value1, const cell* value2, const int32_t* positions) {
  cell* first = stack::push_copy(value1);
  return call_entry(entry, first, value2, positions);
}

constexpr action_slot math_slots[] = {action_slot::add, action_slot::subtract, action_slot::multiply,
                                      action_slot::divide, action_slot::remainder, action_slot::or_,
                                      action_slot::and_, action_slot::xor_};

stack_entry math_entry(int32_t math_op) { return action_entries[static_cast<uint32_t>(math_slots[math_op]) - 1]; }

// Integer arithmetic of the fast paths: an overflowing add, subtract or multiply gives the
// float! nearest to the exact result. False when the op has no fast case.
bool integer_math(int32_t math_op, int32_t a, int32_t b, cell& out) {
  int64_t wide;
  switch (math_op) {
    case 0: wide = int64_t{a} + b; break;
    case 1: wide = int64_t{a} - b; break;
    case 2: wide = int64_t{a} * b; break;
    case 5: out = scalar::integer(a | b); return true;
    case 6: out = scalar::integer(a & b); return true;
    case 7: out = scalar::integer(a ^ b); return true;
    default: return false;
  }
  if (wide < INT32_MIN || wide > INT32_MAX)
    out = scalar::float_cell(static_cast<double>(wide));
  else
    out = scalar::integer(static_cast<int32_t>(wide));
  return true;
}

bool fast_math(int32_t math_op, const cell& a, const cell& b, cell& out) {
  if (a.type() == TYPE_INTEGER && b.type() == TYPE_INTEGER)
    return integer_math(math_op, scalar::integer_value(a), scalar::integer_value(b), out);
  if (a.type() == TYPE_FLOAT && b.type() == TYPE_FLOAT && math_op >= 0 && math_op <= 2) {
    double x = scalar::float_value(a), y = scalar::float_value(b);
    out = scalar::float_cell(math_op == 0 ? x + y : math_op == 1 ? x - y : x * y);
    return true;
  }
  return false;
}

bool integer_order(int32_t compare_op, int32_t a, int32_t b) {
  switch (compare_op) {
    case op::equal: return a == b;
    case op::not_equal: return a != b;
    case op::strict_equal: return a == b;
    case op::lesser: return a < b;
    case op::lesser_or_equal: return a <= b;
    case op::greater: return a > b;
    default: return a >= b;
  }
}

bool fast_compare_p(int32_t compare_op, const cell& a, const cell& b) {
  return a.type() == TYPE_INTEGER && b.type() == TYPE_INTEGER && compare_op >= 0 && compare_op <= 6;
}

// The logic! answer of comparing through the compare entry, left as the last pushed value.
cell* slow_compare(int32_t compare_op, const cell& a, const cell& b) {
  return push_and_call(entry::compare, a, &b, &compare_op);
}

cell* block_cells(const cell& block) { return buffer_of(block.payload2)->cells(); }

// Key equality of the hash tables. A type whose module does not compare yet keeps the
// tables' own equality.
int32_t keys_equal(const cell& a, const cell& b, int32_t compare_op) {
  if (!datatype::action_table[a.type() * datatype::row_stride + static_cast<uint32_t>(action_slot::compare) - 1])
    return hashtable::default_compare(a, b, compare_op);
  cell first = a, second = b;
  return compare(&first, &second, compare_op) ? 1 : 0;
}

}  // namespace

// ---- Lookup ---------------------------------------------------------------------------------

namespace detail {

void missing_handler(uint8_t type, uint32_t slot) { expect_arg(slot, type, describe_action(slot).first_argument); }

erased_handler port_handler(const cell* port, uint32_t slot) {
  if (!port_resolver || !port->payload1 || context::word_count(port->payload1) < 3) return nullptr;
  const cell* actor = context::value_at(port->payload1, 2);
  if (!actor || actor->type() != TYPE_HANDLE) return nullptr;
  const erased_handler* table = port_resolver(*actor);
  if (!table) return nullptr;
  erased_handler handler = table[slot - 25];
  if (!handler) fire(error_id::access_no_port_action);
  return handler;
}

}  // namespace detail

void expect_arg(uint32_t slot, uint8_t type, const char* argument) {
  const action_description& action = describe_action(slot);
  fire(error_id::script_expect_arg, word_named(action.word), datatype_of(type), word_named(argument));
}

erased_handler lookup_arg(uint32_t slot) { return lookup_value(stack::arguments, slot); }

handler_pointer<action_slot::eval_path> lookup_path(const cell* parent, const cell* path, const cell* element,
                                                    int32_t index) {
  erased_handler handler = datatype::action_table[parent->type() * datatype::row_stride + 6];
  if (handler) [[likely]]
    return reinterpret_cast<handler_pointer<action_slot::eval_path>>(handler);
  cell type = datatype_of(parent->type());
  if (!path) fire(error_id::script_bad_path_type2, *element, type);
  cell cut = *path;
  if (path->payload2) {
    cut.payload2 = copy_series(buffer_of(path->payload2));
    series_buffer* copy = buffer_of(cut.payload2);
    uint32_t tail = copy->offset + static_cast<uint32_t>(index + 1) * sizeof(cell);
    if (index >= 0 && tail < copy->tail) copy->tail = tail;
  }
  fire(error_id::script_bad_path_type, *path, type, cut);
}

void set_port_actor_resolver(port_actor_resolver resolver) { port_resolver = resolver; }

void init() { hashtable::compare_hook = keys_equal; }

cell* make(cell* prototype, cell* spec) {
  uint8_t type = prototype->type() == TYPE_DATATYPE ? static_cast<uint8_t>(prototype->payload1) : prototype->type();
  return typed<action_slot::make>(type, prototype)(prototype, spec, type);
}

cell* to(cell* prototype, cell* spec) {
  uint8_t type = prototype->type() == TYPE_DATATYPE ? static_cast<uint8_t>(prototype->payload1) : prototype->type();
  return typed<action_slot::to>(type, prototype)(prototype, spec, type);
}

// ---- Comparison -----------------------------------------------------------------------------

bool compare(cell* value1, cell* value2, int32_t compare_op) {
  int32_t order = typed<action_slot::compare>(value1->type(), value1)(value1, value2, compare_op);
  switch (compare_op) {
    case op::not_equal: return order != 0;
    case op::lesser:
    case op::lesser_or_equal:
    case op::greater:
    case op::greater_or_equal:
    case op::sort:
    case op::case_sort:
      if (order == not_comparable) fire(error_id::script_invalid_compare, *value1, *value2);
      break;
    default: return order == 0;
  }
  switch (compare_op) {
    case op::lesser: return order < 0;
    case op::lesser_or_equal: return order <= 0;
    case op::greater: return order > 0;
    case op::greater_or_equal: return order >= 0;
    default: return order == 0;
  }
}

int32_t compare_value(cell* value1, cell* value2, int32_t compare_op) {
  auto order = [](uint32_t a, uint32_t b) { return a < b ? -1 : a > b ? 1 : 0; };
  uint8_t type = value1->type();
  if (type == value2->type()) {
    switch (type) {
      case TYPE_LOGIC: return static_cast<int32_t>(value1->payload1) - static_cast<int32_t>(value2->payload1);
      case TYPE_NATIVE:
      case TYPE_ACTION:
      case TYPE_OP: return order(value1->payload1, value2->payload1);
      case TYPE_FUNCTION:
      case TYPE_ROUTINE: return order(value1->payload3, value2->payload3);
      default: break;
    }
  }
  return typed<action_slot::compare>(type, value1)(value1, value2, compare_op);
}

int32_t get_index_arg(const cell& index) {
  switch (index.type()) {
    case TYPE_INTEGER:
    case TYPE_CHAR: return static_cast<int32_t>(index.payload2);
    case TYPE_LOGIC: return index.payload1 ? 1 : 2;
    default: return 0;
  }
}

// ---- Stack entries --------------------------------------------------------------------------

namespace entry {

void make(const int32_t*) { result(actions::make(arg(0), arg(1))); }

void random(const int32_t* p) {
  actions::random(arg(0), refinement_flag(p[0]), refinement_flag(p[1]), refinement_flag(p[2]));
}

void reflect(const int32_t*) { actions::reflect(arg(0), static_cast<int32_t>(word::symbol_of(*arg(1)))); }

void to(const int32_t*) { result(actions::to(arg(0), arg(1))); }

void form(const int32_t* p) {
  text_output(p[0], [](cell* value, cell* buffer, cell* part, int32_t limit) {
    actions::form(value, buffer, part, limit);
  });
}

void mold(const int32_t* p) {
  bool only = refinement_flag(p[0]), all = refinement_flag(p[1]), flat = refinement_flag(p[2]);
  text_output(p[3], [&](cell* value, cell* buffer, cell* part, int32_t limit) {
    actions::mold(value, buffer, only, all, flat, part, limit, 0);
  });
}

void eval_path(const int32_t* p) {
  result(actions::eval_path(arg(0), arg(1), p[0] ? arg(2) : nullptr, nullptr, nullptr, nullptr, -1, false, false,
                            true, false));
}

void compare(const int32_t* p) { stack::set_last(logic::value_of(actions::compare(arg(0), arg(1), p[0]))); }

void absolute(const int32_t*) { call_without_arguments(action_slot::absolute); }
void add(const int32_t*) { call_without_arguments(action_slot::add); }
void divide(const int32_t*) { call_without_arguments(action_slot::divide); }
void multiply(const int32_t*) { call_without_arguments(action_slot::multiply); }
void negate(const int32_t*) { actions::negate(arg(0)); }
void power(const int32_t*) { call_without_arguments(action_slot::power); }
void remainder(const int32_t*) { call_without_arguments(action_slot::remainder); }

void round(const int32_t* p) {
  actions::round(arg(0), refinement_cell(p[0]), refinement_flag(p[1]), refinement_flag(p[2]), refinement_flag(p[3]),
                 refinement_flag(p[4]), refinement_flag(p[5]), refinement_flag(p[6]));
}

void subtract(const int32_t*) { call_without_arguments(action_slot::subtract); }
void even_p(const int32_t*) { stack::set_last(logic::value_of(actions::even_p(arg(0)))); }
void odd_p(const int32_t*) { stack::set_last(logic::value_of(actions::odd_p(arg(0)))); }
void and_(const int32_t*) { call_without_arguments(action_slot::and_); }
void complement(const int32_t*) { result(actions::complement(arg(0))); }
void or_(const int32_t*) { call_without_arguments(action_slot::or_); }
void xor_(const int32_t*) { call_without_arguments(action_slot::xor_); }

void append(const int32_t* p) {
  // Without /part, /only and /dup, the common appends need none of the general machinery.
  if (p[0] < 0 && p[1] == -1 && p[2] < 0) {
    cell& series = *arg(0);
    if (series.type() == TYPE_BLOCK ? block::append_in_place(series, *arg(1))
                                    : string::append_in_place(series, *arg(1)))
      return;
  }
  insertion(p, true);
}
void at(const int32_t*) { call_without_arguments(action_slot::at); }
void back(const int32_t*) { call_without_arguments(action_slot::back); }

void change(const int32_t* p) {
  cell* series = arg(0);
  bool movable = series->type() != TYPE_PORT && series->type() != TYPE_IMAGE;
  if (movable) clamp_to_tail(*series);
  int32_t part = -1;
  if (cell* range = refinement_cell(p[0])) {
    if (range->type() == TYPE_INTEGER) {
      part = scalar::integer_value(*range);
    } else if (movable && same_series_p(*range, *series)) {
      cell end = *range;
      clamp_to_tail(end);
      part = head_of(end) - head_of(*series);
    } else {
      invalid_refine_arg("part", *range);
    }
    if (part < 0) part = movable ? step_back(*series, part) : 0;
  }
  int32_t dup = 1;
  if (cell* dup_arg = refinement_cell(p[2])) {
    dup = scalar::integer_value(*dup_arg);
    if (dup <= 0) return;
  }
  actions::change(series, arg(1), part, refinement_flag(p[1]), dup);
}

void clear(const int32_t*) { actions::clear(arg(0)); }

void copy(const int32_t* p) {
  cell* types = refinement_cell(p[2]);
  if (types && types->type() != TYPE_DATATYPE && types->type() != TYPE_TYPESET)
    expect_arg(static_cast<uint32_t>(action_slot::copy), types->type(), "kind");
  cell* part = refinement_cell(p[0]);
  bool deep = refinement_flag(p[1]);
  cell* target = stack::push_cell();
  *target = unset::value;
  result(actions::copy(arg(0), target, part, deep, types));
}

void find(const int32_t* p) {
  result(actions::find(arg(0), arg(1), refinement_cell(p[0]), refinement_flag(p[1]), refinement_flag(p[2]),
                       refinement_flag(p[3]), refinement_flag(p[4]), refinement_cell(p[5]), refinement_cell(p[6]),
                       refinement_flag(p[7]), refinement_flag(p[8]), refinement_flag(p[9]), refinement_flag(p[10])));
}

void head(const int32_t*) { call_without_arguments(action_slot::head); }
void head_p(const int32_t*) { call_without_arguments(action_slot::head_p); }
void index_p(const int32_t*) { call_without_arguments(action_slot::index_p); }
void insert(const int32_t* p) { insertion(p, false); }

void length_p(const int32_t*) {
  int32_t length = actions::length_p(arg(0));
  stack::set_last(length == -1 ? none::value : scalar::integer(length));
}

void move(const int32_t* p) { result(actions::move(arg(0), arg(1), refinement_cell(p[0]))); }
void next(const int32_t*) { call_without_arguments(action_slot::next); }
void pick(const int32_t*) { result(actions::pick(arg(0), get_index_arg(*arg(1)), arg(1))); }

void poke(const int32_t*) {
  actions::poke(arg(0), get_index_arg(*arg(1)), arg(2), arg(1));
  stack::set_last(*arg(2));
}

void put(const int32_t* p) { result(actions::put(arg(0), arg(1), arg(2), refinement_flag(p[0]))); }
void remove(const int32_t* p) { actions::remove(arg(0), refinement_cell(p[0]), refinement_cell(p[1])); }
void reverse(const int32_t* p) { actions::reverse(arg(0), refinement_cell(p[0]), refinement_cell(p[1])); }

void select(const int32_t* p) {
  result(actions::select(arg(0), arg(1), refinement_cell(p[0]), refinement_flag(p[1]), refinement_flag(p[2]),
                         refinement_flag(p[3]), refinement_flag(p[4]), refinement_cell(p[5]), refinement_cell(p[6]),
                         refinement_flag(p[7]), refinement_flag(p[8])));
}

void sort(const int32_t* p) {
  result(actions::sort(arg(0), refinement_flag(p[0]), refinement_cell(p[1]), refinement_cell(p[2]),
                       refinement_cell(p[3]), refinement_flag(p[4]), refinement_flag(p[5]), refinement_flag(p[6])));
}

void skip(const int32_t*) { call_without_arguments(action_slot::skip); }
void swap(const int32_t*) { actions::swap(arg(0), arg(1)); }
void tail(const int32_t*) { call_without_arguments(action_slot::tail); }
void tail_p(const int32_t*) { call_without_arguments(action_slot::tail_p); }

void take(const int32_t* p) {
  result(actions::take(arg(0), refinement_cell(p[0]), refinement_flag(p[1]), refinement_flag(p[2])));
}

void trim(const int32_t* p) {
  actions::trim(arg(0), refinement_flag(p[0]), refinement_flag(p[1]), refinement_flag(p[2]), refinement_flag(p[3]),
                refinement_flag(p[4]), refinement_cell(p[5]));
}

void create(const int32_t*) { result(actions::create(arg(0))); }
void close(const int32_t*) { result(actions::close(arg(0))); }
void delete_(const int32_t*) { result(actions::delete_(arg(0))); }
void modify(const int32_t* p) { actions::modify(arg(0), arg(1), arg(2), refinement_flag(p[0])); }

void open(const int32_t* p) {
  result(actions::open(arg(0), refinement_flag(p[0]), refinement_flag(p[1]), refinement_flag(p[2]),
                       refinement_flag(p[3]), refinement_cell(p[4])));
}

void open_p(const int32_t*) { result(actions::open_p(arg(0))); }
void query(const int32_t*) { result(actions::query(arg(0))); }

void read(const int32_t* p) {
  result(actions::read(arg(0), refinement_cell(p[0]), refinement_cell(p[1]), refinement_flag(p[2]),
                       refinement_flag(p[3]), refinement_flag(p[4]), refinement_cell(p[5])));
}

void rename(const int32_t*) { result(actions::rename(arg(0), arg(1))); }
void update(const int32_t*) { result(actions::update(arg(0))); }

void write(const int32_t* p) {
  result(actions::write(arg(0), arg(1), refinement_flag(p[0]), refinement_flag(p[1]), refinement_flag(p[2]),
                        refinement_flag(p[3]), refinement_cell(p[4]), refinement_cell(p[5]), refinement_cell(p[6]),
                        refinement_cell(p[7])));
}

}  // namespace entry

// ---- Fast paths -----------------------------------------------------------------------------

cell* fast_math_push(int32_t math_op, const cell&, const cell& value1, const cell& value2) {
  cell out;
  if (fast_math(math_op, value1, value2, out)) return stack::push_copy(out);
  return push_and_call(math_entry(math_op), value1, &value2, nullptr);
}

cell* fast_math_int_push(int32_t math_op, const cell& word, const cell& value1, int32_t value2) {
  return fast_math_push(math_op, word, value1, scalar::integer(value2));
}

cell* fast_math_top(int32_t math_op, const cell&, const cell& value2) {
  cell* top = stack::last_pushed();
  cell out;
  if (fast_math(math_op, *top, value2, out)) return &copy_cell(out, *top);
  return call_entry(math_entry(math_op), top, &value2, nullptr);
}

cell* fast_math_top_int(int32_t math_op, const cell& word, int32_t value2) {
  return fast_math_top(math_op, word, scalar::integer(value2));
}

cell* fast_compare_push(int32_t compare_op, const cell&, const cell& value1, const cell& value2) {
  if (fast_compare_p(compare_op, value1, value2))
    return stack::push_copy(logic::value_of(
        integer_order(compare_op, scalar::integer_value(value1), scalar::integer_value(value2))));
  return slow_compare(compare_op, value1, value2);
}

cell* fast_compare_int_push(int32_t compare_op, const cell& word, const cell& value1, int32_t value2) {
  return fast_compare_push(compare_op, word, value1, scalar::integer(value2));
}

bool fast_compare_test(int32_t compare_op, const cell&, const cell& value1, const cell& value2, bool negate) {
  if (fast_compare_p(compare_op, value1, value2))
    return integer_order(compare_op, scalar::integer_value(value1), scalar::integer_value(value2)) != negate;
  cell* answer = slow_compare(compare_op, value1, value2);
  bool flag = logic::get(*answer);
  stack::top = answer;
  return flag != negate;
}

bool fast_compare_int_test(int32_t compare_op, const cell& word, const cell& value1, int32_t value2, bool negate) {
  return fast_compare_test(compare_op, word, value1, scalar::integer(value2), negate);
}

cell* fast_compare_set(int32_t compare_op, const cell& word, const cell& value1, const cell& value2) {
  return stack::set_last(logic::value_of(fast_compare_test(compare_op, word, value1, value2, false)));
}

cell* fast_compare_int_set(int32_t compare_op, const cell& word, const cell& value1, int32_t value2) {
  return fast_compare_set(compare_op, word, value1, scalar::integer(value2));
}

cell* fast_compare_top(int32_t compare_op, const cell&, const cell& value2) {
  cell* top = stack::last_pushed();
  if (fast_compare_p(compare_op, *top, value2))
    return &copy_cell(
        logic::value_of(integer_order(compare_op, scalar::integer_value(*top), scalar::integer_value(value2))), *top);
  return call_entry(entry::compare, top, &value2, &compare_op);
}

cell* fast_compare_top_int(int32_t compare_op, const cell& word, int32_t value2) {
  return fast_compare_top(compare_op, word, scalar::integer(value2));
}

cell* fast_pick(const cell&, const cell& value, int32_t index) {
  if (value.type() == TYPE_BLOCK) {
    int32_t length = count_of(value) - head_of(value);
    if (index < 1 || index > length) return none::push();
    return stack::push_copy(block_cells(value)[head_of(value) + index - 1]);
  }
  cell position = scalar::integer(index);
  const int32_t read = 0;
  return push_and_call(entry::eval_path, value, &position, &read);
}

cell* fast_series_op(const cell&, const cell& value, int32_t code) {
  if (value.type() == TYPE_BLOCK) {
    int32_t head = head_of(value), count = count_of(value);
    cell moved = value;
    switch (code) {
      case 1: return stack::push_copy(scalar::integer(std::max(count - head, 0)));
      case 2: return stack::push_copy(scalar::integer(head + 1));
      case 3: return logic::push(head == 0);
      case 4: return logic::push(head >= count);
      case 5: moved.payload1 = static_cast<uint32_t>(head < count ? head + 1 : head); break;
      case 6: moved.payload1 = static_cast<uint32_t>(head > 0 ? head - 1 : head); break;
      case 7: moved.payload1 = 0; break;
      default: moved.payload1 = static_cast<uint32_t>(count); break;
    }
    return stack::push_copy(moved);
  }
  constexpr action_slot slots[] = {action_slot::length_p, action_slot::index_p, action_slot::head_p,
                                   action_slot::tail_p,   action_slot::next,    action_slot::back,
                                   action_slot::head,     action_slot::tail};
  return push_and_call(action_entries[static_cast<uint32_t>(slots[code - 1]) - 1], value, nullptr, nullptr);
}

}  // namespace tav::actions
