// Cell helpers: boot literals, argument checks, number arguments, words and fields from the
// argument stack, refinement arguments, compiled paths and the SWITCH/SELECT lookup.
#include "interpreter/cell_helpers.hpp"

#include <cmath>
#include <cstring>

#include "datatypes/actions.hpp"
#include "datatypes/context.hpp"
#include "datatypes/error.hpp"
#include "datatypes/text_output.hpp"
#include "datatypes/types.hpp"
#include "datatypes/values.hpp"
#include "interpreter/stack.hpp"
#include "runtime/memory.hpp"

namespace tav {
namespace {

constexpr cell none_cell{TYPE_NONE, 0, 0, 0};

cell* boot_literals = nullptr;

[[noreturn]] void expect_arg(uint32_t position, uint8_t type) {
  cell name = stack::caller_word();
  cell argument = error::get_call_argument(position);
  fire(error_id::script_expect_arg, name, cell{TYPE_DATATYPE, type, 0, 0}, argument);
}

// A context's value i, or script/not-defined with word i when the context has no values.
cell* field_slot(node_id context, uint32_t index) {
  cell* slot = context::value_at(context, index);
  if (!slot) fire(error_id::script_not_defined, *context::word_at(context, index));
  return slot;
}

// The last pushed value, which an assignment must not take when it is unset.
const cell& assigned_value(const cell& target_word) {
  const cell& value = *stack::last_pushed();
  if (value.type() == TYPE_UNSET) fire(error_id::script_need_value, target_word);
  return value;
}

// The container makes the last set step store back: block-like series always, an object with
// change handlers when the parent was reached through a word.
bool store_back_p(const cell& container, const cell& previous_element) {
  switch (container.type()) {
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_PATH: case TYPE_LIT_PATH: case TYPE_SET_PATH: case TYPE_GET_PATH:
    case TYPE_HASH: return true;
    case TYPE_OBJECT: return container.payload3 != 0 && previous_element.type() == TYPE_WORD;
    default: return false;
  }
}

}  // namespace

// ---- Literals of the boot image -------------------------------------------------------------

void set_boot_literals(cell* base) { boot_literals = base; }

cell* boot_value(uint32_t n) { return boot_literals + n; }

uint32_t boot_value_node(uint32_t n) { return boot_literals[n].payload1; }

// ---- Errors ---------------------------------------------------------------------------------

void fire_bad_make_arg(const cell& type, const cell& spec) { fire(error_id::script_bad_make_arg, type, spec); }

void print_error(error_id id, uint32_t count, const cell* args) {
  fired_error error{id, count < 3 ? count : 3, {none_cell, none_cell, none_cell}, none_cell, none_cell,
                    none_cell, none_cell};
  for (uint32_t i = 0; i < error.arg_count; ++i) error.args[i] = args[i];
  cell fields[error::field_count];
  error::fields_of(error, fields);
  error::print_fields(fields, 0);
}

// ---- Argument checks ------------------------------------------------------------------------

bool typeset_has_p(const cell& typeset, uint8_t type) {
  uint8_t bytes[12];
  std::memcpy(bytes, &typeset.payload1, sizeof bytes);
  return type < 96 && (bytes[type >> 3] & (0x80 >> (type & 7))) != 0;
}

cell& check_arg_typeset(uint32_t position, const cell& typeset, cell& value) {
  if (!typeset_has_p(typeset, value.type())) [[unlikely]] expect_arg(position, value.type());
  return value;
}

void check_arg_slot_typeset(int32_t slot, const cell& typeset) {
  if (slot < 0) return;
  check_arg_typeset(static_cast<uint32_t>(slot), typeset, *stack::argument(static_cast<uint32_t>(slot)));
}

void check_refinement_arg_typeset(const cell& refinement, const cell& typeset, cell& argument) {
  if (refinement.payload1 == 0) return;
  uint32_t slot = stack::index_of(&argument) - stack::index_of(stack::arguments);
  check_arg_typeset(slot, typeset, argument);
}

cell& check_arg_set(uint32_t position, cell& value) {
  if (value.type() == TYPE_UNSET) [[unlikely]] expect_arg(position, TYPE_UNSET);
  return value;
}

int32_t get_int_from_number(const cell& value) {
  if (value.type() == TYPE_INTEGER) return scalar::integer_value(value);
  if (value.type() != TYPE_FLOAT) fire(error_id::script_invalid_arg, value);
  double number = scalar::float_value(value);
  // NaN fails both comparisons.
  if (!(number >= -2147483648.0 && number <= 2147483647.0)) fire(error_id::script_out_of_range, value);
  return static_cast<int32_t>(std::trunc(number));
}

// ---- Words and fields -----------------------------------------------------------------------

cell* get_word_checked(const cell& word) {
  cell* value = context::get(word);
  if (value->type() == TYPE_UNSET) fire(error_id::script_no_value, word);
  return value;
}

void set_word_from_stack(cell& word) { context::set(word, assigned_value(word)); }

void set_word_from_stack_reset(cell& word) {
  set_word_from_stack(word);
  stack::reset_top();
}

void set_field_from_stack(node_id context, uint32_t index) {
  const cell& value = assigned_value(*context::word_at(context, index));
  copy_cell(value, *field_slot(context, index));
}

void set_field_from_stack_reset(node_id context, uint32_t index) {
  set_field_from_stack(context, index);
  stack::reset_top();
}

void set_field_from_stack_any(node_id context, uint32_t index) {
  if (context::kind_of(context) == context::kind_object)
    context::word_at(context, index)->header |= cell_flag::field_set;
  copy_cell(*stack::last_pushed(), *field_slot(context, index));
  stack::reset_top();
}

cell* get_field_checked(node_id context, uint32_t index) { return field_slot(context, index); }

// ---- Calls and paths ------------------------------------------------------------------------

void set_refinement_args(const cell& value, uint32_t slot, uint32_t count) {
  cell* refinement = stack::argument(slot);
  if (!logic::false_p(value)) {
    refinement->payload1 = 1;
    return;
  }
  for (uint32_t i = 1; i <= count; ++i) refinement[i] = none_cell;
}

void reorder_args(void (*entry)(const int32_t* positions), uint32_t count, const refinement_use* refinements) {
  int32_t positions[refinement_parameter_limit];
  for (int32_t& position : positions) position = -1;
  for (uint32_t r = 0; r < count; ++r) {
    const refinement_use& use = refinements[r];
    if (use.position >= refinement_parameter_limit) continue;
    if (!logic::false_p(*use.value)) {
      positions[use.position] = use.slot;
      continue;
    }
    for (uint32_t i = 0; i < use.count; ++i) *stack::argument(static_cast<uint32_t>(use.slot) + i) = none_cell;
  }
  entry(positions);
}

cell* eval_compiled_path(bool set, uint32_t count, cell& path, const cell* elements, cell* value) {
  cell reached = elements[0];
  if (reached.type() == TYPE_WORD) reached = *context::get(reached);
  cell container = none_cell;
  cell previous = none_cell;
  for (uint32_t i = 1; i < count; ++i) {
    bool last = i + 1 == count;
    bool storing = set && last;
    bool store_back = storing && count >= 3 && store_back_p(container, previous);
    cell element = elements[i];
    cell parent = reached;
    reached = *actions::eval_path(&parent, &element, storing ? value : nullptr, &path, &container, &previous,
                                  static_cast<int32_t>(i), false, false, last, store_back);
    container = parent;
    previous = elements[i];
  }
  return stack::set_last(reached);
}

cell* switch_lookup(bool push, bool to_block) {
  cell value = *stack::argument(0);
  cell block = *stack::argument(1);
  cell answer = none_cell;
  if (value.type() != TYPE_BLOCK) {
    uint32_t step = push ? 1 : 2;
    for (uint32_t i = block.payload1; i < buffer_of(block.payload2)->count(); i += step) {
      cell candidate = buffer_of(block.payload2)->cells()[i];  // compare may allocate
      if (candidate.type() != value.type() || !actions::compare(&value, &candidate, actions::op::equal)) continue;
      series_buffer* buffer = buffer_of(block.payload2);
      if (!to_block) {
        answer = buffer->cells()[i + 1 < buffer->count() ? i + 1 : i];
      } else {
        for (uint32_t j = i + 1; j < buffer->count(); ++j) {
          if (buffer->cells()[j].type() != TYPE_BLOCK) continue;
          answer = buffer->cells()[j];
          break;
        }
      }
      break;
    }
  }
  return push ? stack::push_copy(answer) : stack::set_last(answer);
}

// ---- Text -----------------------------------------------------------------------------------

int32_t append_indent(cell& string, int32_t levels, int32_t width) {
  for (int32_t i = 0; i < levels; ++i) text::append_c_string(string, "    ");
  return width - 4 * levels;
}

}  // namespace tav
