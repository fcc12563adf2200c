// Word access and binding natives: get, set, bind, in, construct and value?.
#include <algorithm>

#include "datatypes/actions.hpp"
#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/function.hpp"
#include "datatypes/native.hpp"
#include "datatypes/object.hpp"
#include "datatypes/runtime_words.hpp"
#include "datatypes/series.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/interpreter.hpp"
#include "interpreter/interpreter_internal.hpp"
#include "interpreter/natives.hpp"
#include "interpreter/natives_iteration.hpp"
#include "interpreter/stack.hpp"
#include "runtime/errors.hpp"
#include "runtime/hashtable.hpp"

namespace tav::natives {

namespace {

constexpr uint32_t index_get = 21, index_set = 22, index_bind = 38, index_in = 39, index_construct = 68,
                   index_value_p = 69;

cell* refinement_argument(int32_t position) {
  return position < 0 ? nullptr : stack::argument(static_cast<uint32_t>(position));
}

bool object_like_p(uint8_t type) { return type == TYPE_OBJECT || type == TYPE_ERROR || type == TYPE_PORT; }

int32_t length_of(const cell& block) {
  return std::max(static_cast<int32_t>(buffer_of(block.payload2)->count()) - static_cast<int32_t>(block.payload1), 0);
}

// The context `bind` binds to: a function's own, an object's, or the one a word is bound to.
node_id context_to_bind(const cell& where) {
  node_id context = 0;
  if (where.type() == TYPE_FUNCTION || where.type() == TYPE_ROUTINE)
    context = function::context_of(where);
  else if (object_like_p(where.type()))
    context = object::context_of(where);
  else if (any_word_p(where.type()))
    context = where.payload1;
  if (!context) fire(error_id::script_not_defined, where);
  return context;
}

}  // namespace

// get word /any /case
void get_stack(const int32_t* parameters) {
  check_arguments(index_get, parameters);
  const bool any = parameters[1] >= 0;
  const cell target = *stack::argument(0);
  const uint8_t type = target.type();
  if (series::any_path_p(type)) {
    interpreter::do_path(nullptr, 0, target, false, true, false);
    return;
  }
  if (object_like_p(type)) {
    cell object = target;
    const cell values = *actions::reflect(&object, static_cast<int32_t>(symbols::values));
    stack::set_last_keep(values);
    return;
  }
  if (!any_word_p(type)) fire(error_id::script_invalid_arg, target);
  const cell value = *context::get(target);
  if (value.type() == TYPE_UNSET && !any) fire(error_id::script_no_value, target);
  stack::set_last_keep(value);
}

// set word value /any /case /only /some
void set_stack(const int32_t* parameters) {
  check_arguments(index_set, parameters);
  const bool any = parameters[1] >= 0, only = parameters[3] >= 0, some = parameters[4] >= 0;
  const cell target = *stack::argument(0), value = *stack::argument(1);
  const uint8_t type = target.type();
  if (value.type() == TYPE_UNSET && !any) fire(error_id::script_need_value, target);
  if (type == TYPE_BLOCK) {
    stack::push_native_frame(words::anon);
    set_many(target, value, length_of(target), any, only, some);
    stack::pop_frame_reset();
  } else if (series::any_path_p(type)) {
    *stack::arguments = value;  // what the path stores
    interpreter::do_path(nullptr, 0, target, true, false, false);
  } else if (type == TYPE_OBJECT) {
    object::set_many(target, value, any, only, some);
  } else if (any_word_p(type)) {
    cell word = target;
    context::set(word, value);
  } else {
    fire(error_id::script_invalid_arg, target);
  }
  stack::set_last_keep(value);
}

// bind word context /copy
void bind_stack(const int32_t* parameters) {
  check_arguments(index_bind, parameters);
  const bool copy = parameters[1] >= 0;
  const cell target = *stack::argument(0), where = *stack::argument(1);
  const node_id context = context_to_bind(where);
  if (series::any_block_p(target.type())) {
    cell block = copy ? *block::clone(target, true, true) : target;
    stack::set_last_keep(block);
    context::bind(*stack::arguments, context, where.type() == TYPE_OBJECT);
    return;
  }
  if (!any_word_p(target.type())) fire(error_id::script_invalid_arg, target);
  context::bind_word(context, *stack::arguments);
  stack::keep_result();
}

// in object word: the word bound to the object when the object has it, else none.
void in_stack(const int32_t* parameters) {
  check_arguments(index_in, parameters);
  const cell where = *stack::argument(0);
  cell word = *stack::argument(1);
  if (!any_word_p(word.type())) fire(error_id::script_invalid_arg, word);
  if (word.type() == TYPE_REFINEMENT) set_type(word, TYPE_WORD);
  const uint8_t type = where.type();
  bool found;
  if (object_like_p(type)) {
    found = context::bind_word(object::context_of(where), word) >= 0;
  } else if (type == TYPE_FUNCTION || type == TYPE_ROUTINE) {
    found = context::bind_word(function::context_of(where), word) >= 0;
  } else if (type == TYPE_NATIVE || type == TYPE_ACTION || type == TYPE_OP) {
    // A native keeps only its argument words: the word is answered as it is when they hold it.
    const cell& arguments = buffer_of(native::more_of(where))->cells()[native::more_context];
    found = hashtable::find_symbol(arguments.payload1, word::symbol_of(word), true, 0, nullptr) >= 0;
  } else {
    fire(error_id::script_invalid_arg, where);
  }
  stack::set_last_keep(found ? word : none::value);
}

// construct block /with object /only
void construct_stack(const int32_t* parameters) {
  check_arguments(index_construct, parameters);
  const cell spec = *stack::argument(0);
  const cell* prototype = refinement_argument(parameters[1]);
  const bool only = parameters[2] >= 0;
  if (prototype && prototype->type() != TYPE_OBJECT) fire(error_id::script_invalid_arg, *prototype);
  const cell made = *object::construct(spec, prototype, only);
  stack::set_last_keep(made);
}

// value? word: whether the word has a value; never raises for a word that has none.
void value_p_stack(const int32_t* parameters) {
  check_arguments(index_value_p, parameters);
  const cell value = *stack::argument(0);
  bool has = value.type() != TYPE_UNSET;
  if (plain_word_p(value.type())) {
    const cell* slot = interpreter::detail::bound_value(value);
    if (!slot && value.payload1) slot = context::find_value(value.payload1, word::symbol_of(value));
    has = slot && slot->type() != TYPE_UNSET;
  }
  stack::set_last_keep(logic::value_of(has));
}

}  // namespace tav::natives
