// The apply native: a function called with its arguments taken from a block, in the
// sequential form (refinements named among the arguments) or, with /all, in spec order.
#include "datatypes/runtime_words.hpp"
#include "datatypes/series.hpp"
#include "datatypes/values.hpp"
#include "interpreter/interpreter_internal.hpp"
#include "interpreter/natives.hpp"
#include "runtime/errors.hpp"

namespace tav::natives {

namespace {

constexpr uint32_t index_apply = 107;

// Argument modes of the call: the sequential form, the all form, and one value per argument.
constexpr uint32_t mode_all = 1, mode_sequential = 2, mode_safer = 4;

bool applicable_p(uint8_t type) { return interpreter::detail::callable_p(type) || type == TYPE_OP; }

}  // namespace

// apply func args /all /safer
void apply_stack(const int32_t* parameters) {
  check_arguments(index_apply, parameters);
  const cell target = *stack::argument(0);
  cell arguments = *stack::argument(1);
  cell name = words::applied;
  cell path = none::value;
  cell function = target;
  if (plain_word_p(target.type())) {
    name = target;
    set_type(name, TYPE_WORD);
    function = *context::get(name);
  } else if (target.type() == TYPE_PATH) {
    series_buffer* elements = series::buffer(target);
    auto at = static_cast<uint32_t>(std::max(series::head_of(target), 0));
    if (at >= elements->count() || elements->cells()[at].type() != TYPE_WORD)
      fire(error_id::script_invalid_arg, target);
    name = elements->cells()[at];
    path = target;
    function = *context::get(name);
  }
  if (!applicable_p(function.type())) fire(error_id::script_invalid_arg, function);
  if (function.type() == TYPE_OP) function = interpreter::detail::op_source(function);
  stack::push_copy(function);

  auto tail = static_cast<int32_t>(series::buffer(arguments)->count());
  if (series::head_of(arguments) > tail) series::set_head(arguments, tail);
  interpreter::call_options options;
  options.name = &name;
  if (path.type() == TYPE_PATH) {
    options.path = &path;
    options.path_index = static_cast<uint32_t>(series::head_of(path)) + 1;
  }
  options.mode = (parameters[1] >= 0 ? mode_all : mode_sequential) | (parameters[2] >= 0 ? mode_safer : 0);
  stack::set_interpreted_flag();
  const interpreter::code source = interpreter::code_of(arguments);
  interpreter::apply_block(function, &source, static_cast<uint32_t>(series::head_of(arguments)), options);
}

}  // namespace tav::natives
