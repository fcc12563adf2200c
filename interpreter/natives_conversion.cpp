// Conversion and binding natives: as, extend, to-local-file, unset, new-line, new-line? and
// context?.
#include "datatypes/actions.hpp"
#include <algorithm>

#include "datatypes/any_string.hpp"
#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/map.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series.hpp"
#include "datatypes/string.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/natives.hpp"
#include "interpreter/stack.hpp"
#include "runtime/errors.hpp"
#include "datatypes/runtime_words.hpp"

namespace tav::natives {

namespace {

constexpr uint32_t index_extend = 83, index_to_local_file = 85, index_unset = 88, index_new_line = 89,
                   index_new_line_p = 90, index_context_p = 92, index_as = 98;

// The two families inside which `as` re-types a series: 1 the block family, 2 the string
// family, 0 neither.
int32_t family_of(uint8_t type) {
  if (type == TYPE_BLOCK || type == TYPE_PAREN || series::any_path_p(type)) return 1;
  if (series::any_string_p(type)) return 2;
  return 0;
}

cell datatype_cell(uint8_t type) {
  cell value;
  datatype::make_at(value, type);
  return value;
}

void set_new_line(cell& value, bool on) {
  if (on)
    value.header |= cell_flag::new_line;
  else
    clear_new_line(value);
}

}  // namespace

// as type value: the value's series seen as another type of its family, shared, not copied.
void as_stack(const int32_t* parameters) {
  check_arguments(index_as, parameters);
  const cell type = *stack::argument(0);
  cell spec = *stack::argument(1);
  auto target = static_cast<uint8_t>(type.type() == TYPE_DATATYPE ? type.payload1 : type.type());
  int32_t family = family_of(spec.type());
  if (family == 0 || family != family_of(target))
    fire(error_id::script_not_same_class, datatype_cell(spec.type()), datatype_cell(target));
  set_type(spec, target);
  stack::set_last_keep(spec);
}

// extend obj pairs /case: a map! gets the given pairs; objects are not extended.
void extend_stack(const int32_t* parameters) {
  check_arguments(index_extend, parameters);
  cell* target = stack::argument(0);
  if (target->type() != TYPE_MAP) fire(error_id::internal_not_done);
  cell* spec = stack::argument(1);
  if (spec->type() == TYPE_MAP) spec = actions::reflect(spec, static_cast<int32_t>(symbols::body));
  const cell pairs = *spec;
  map::extend(target, pairs, parameters[1] >= 0);
  stack::set_last_keep(*target);
}

// to-local-file path /full: a new string! holding the system's form of the path.
void to_local_file_stack(const int32_t* parameters) {
  check_arguments(index_to_local_file, parameters);
  cell* result = stack::push_cell();
  *result = unset::value;
  string::ts_make_at(*result, std::max(string::ts_length_p(*stack::argument(0)), 1u));
  file::to_local_path(*stack::argument(0), *result, parameters[1] >= 0);
  stack::set_last_keep(*result);
}

// unset word: the word, or each word! of a block, gets the unset value in its context.
void unset_stack(const int32_t* parameters) {
  check_arguments(index_unset, parameters);
  const cell given = *stack::argument(0);
  if (given.type() == TYPE_WORD) {
    cell word = given;
    context::set(word, unset::value);
  } else {
    int32_t head = std::max(series::head_of(given), 0);
    for (uint32_t i = static_cast<uint32_t>(head); i < series::buffer(given)->count(); ++i) {
      cell word = series::buffer(given)->cells()[i];
      if (word.type() == TYPE_WORD) context::set(word, unset::value);
    }
  }
  stack::set_last_keep(unset::value);
}

// new-line position value /all /skip size: sets or clears the new-line flag of the value at the
// position; with /all or /skip every size-th value from the position gets the state and the
// others the opposite one.
void new_line_stack(const int32_t* parameters) {
  check_arguments(index_new_line, parameters);
  const cell position = *stack::argument(0);
  bool on = !logic::false_p(*stack::argument(1));
  int32_t size = 0;
  if (parameters[1] >= 0) size = 1;
  if (parameters[2] >= 0) {
    const cell& skip = *stack::argument(static_cast<uint32_t>(parameters[2]));
    size = scalar::integer_value(skip);
    if (size <= 0) fire(error_id::script_out_of_range, skip);
  }
  int32_t head = std::max(series::head_of(position), 0);
  int32_t total = static_cast<int32_t>(series::buffer(position)->count());
  cell* cells = series::buffer(position)->cells();
  if (size == 0) {
    if (head < total) set_new_line(cells[head], on);
  } else {
    for (int32_t i = head; i < total; ++i) set_new_line(cells[i], (i - head) % size == 0 ? on : !on);
  }
  stack::set_last_keep(position);
}

// new-line? position: whether the value at the position starts a new line.
void new_line_p_stack(const int32_t* parameters) {
  check_arguments(index_new_line_p, parameters);
  const cell position = *stack::argument(0);
  int32_t head = std::max(series::head_of(position), 0);
  bool flagged = head < static_cast<int32_t>(series::buffer(position)->count()) &&
                 (series::buffer(position)->cells()[head].header & cell_flag::new_line);
  stack::set_last_keep(logic::value_of(flagged));
}

// context? word: the object the word is bound to.
void context_p_stack(const int32_t* parameters) {
  check_arguments(index_context_p, parameters);
  const cell word = *stack::argument(0);
  if (!word.payload1) fire(error_id::script_not_defined, word);
  stack::set_last_keep(*context::self_of(word.payload1));
}

}  // namespace tav::natives
