// Reduction and composition: reduce evaluates every expression of a block into a block of the
// results; compose evaluates only the parens of a block, splicing or nesting what they give.
#include "interpreter/natives_reduce.hpp"

#include <algorithm>

#include "datatypes/actions.hpp"
#include "datatypes/block.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/runtime_words.hpp"
#include "datatypes/series.hpp"
#include "datatypes/values.hpp"
#include "interpreter/interpreter.hpp"
#include "interpreter/interpreter_internal.hpp"
#include "interpreter/natives.hpp"
#include "interpreter/stack.hpp"
#include "runtime/cycle_stack.hpp"
#include "runtime/errors.hpp"
#include "runtime/hashtable.hpp"
#include "runtime/series.hpp"

namespace tav::natives {

namespace {

constexpr uint32_t index_reduce = 35, index_compose = 36;

cell* refinement_argument(int32_t position) {
  return position < 0 ? nullptr : stack::argument(static_cast<uint32_t>(position));
}

constexpr bool function_value_p(uint8_t type) {
  return type == TYPE_FUNCTION || type == TYPE_NATIVE || type == TYPE_ACTION || type == TYPE_OP ||
         type == TYPE_ROUTINE;
}

uint32_t cells_in(const cell& block) { return buffer_of(block.payload2)->count(); }

// A target is appended to when it stands at its tail when the work starts; a head past the tail
// counts as the tail.
bool append_mode(cell& target) {
  const auto tail = static_cast<int32_t>(cells_in(target));
  if (series::head_of(target) >= tail) {
    series::set_head(target, tail);
    return true;
  }
  return false;
}

// One value into the target: at its tail (entered in a hash!'s table too), or inserted at its
// position, which then moves behind it.
void add(cell& target, bool append, const cell& value) {
  const cell copy = value;
  if (append) {
    cell* added = alloc_block_tail(target);
    *added = copy;
    if (node_id table = series::table_of(target)) hashtable::put(table, added);
    return;
  }
  cell inserted = copy;
  actions::insert(&target, &inserted, -1, true, 1, false);
}

// ---- reduce ---------------------------------------------------------------------------------

// Each expression of the block in turn, its result added to the target. Untraced, a result is
// pushed in the frame of the walk, which is all do-next's own frame would give it; traced, each
// expression goes through do-next for its events.
void reduce_block(const cell& block, cell& target, bool append) {
  stack::push_native_frame(words::body);
  const interpreter::code source = interpreter::code_of(block);
  cell* const base = stack::top;
  uint32_t index = block.payload1;
  while (index < interpreter::detail::limit_of(source)) {
    index = interpreter::tracing ? interpreter::do_next(source, index, true)
                                 : interpreter::do_expression(source, index, interpreter::flag::push);
    if (stack::pending.code) [[unlikely]] break;
    cell result = *stack::last_pushed();
    clear_new_line(result);
    add(target, append, result);
    stack::top = base;
  }
  stack::pop_frame();
}

// Any value but a block as one expression, its result left pushed.
void evaluate_one(const cell& value) {
  cell* holder = block::push_only(1);
  block::append_cell(*holder, value);
  interpreter::do_next(interpreter::code_of(*holder), 0, true);
}

// reduce's work on a value into a target on the argument stack.
void reduce_core(const cell& value, cell& target, bool append) {
  if (value.type() == TYPE_BLOCK) return reduce_block(value, target, append);
  if (function_value_p(value.type())) return add(target, append, value);
  evaluate_one(value);
  if (stack::pending.code) return;
  cell result = *stack::last_pushed();
  clear_new_line(result);
  add(target, append, result);
}

// ---- compose --------------------------------------------------------------------------------

// The blocks a deep compose is inside, innermost first, kept on the machine stack. A paren's
// evaluation starts with none: a function that composes its own body again is recursion, not
// a block holding itself.
struct compose_ancestor {
  node_id node;
  const compose_ancestor* up;
  uint32_t depth;
};

void compose_block(const cell& block, bool deep, bool only, cell& target, bool append, const compose_ancestor& self);

// What a paren gives: nothing for unset!, the values of a non-empty block spliced unless
// `only`, else the value itself.
void compose_paren(const cell& paren, bool only, cell& target, bool append) {
  cell* const mark = stack::top;
  interpreter::do_block(paren, false);
  if (stack::pending.code) [[unlikely]] return;
  const cell result = *stack::last_pushed();
  stack::top = mark;
  if (result.type() == TYPE_UNSET) return;
  if (only || result.type() != TYPE_BLOCK) return add(target, append, result);
  // Counted once: a block that is the target itself grows while it is spliced.
  const uint32_t end = cells_in(result);
  for (uint32_t i = result.payload1; i < end; ++i) add(target, append, buffer_of(result.payload2)->cells()[i]);
}

void compose_nested(const cell& nested, bool only, cell& target, bool append, const compose_ancestor& parent) {
  for (const compose_ancestor* a = &parent; a; a = a->up)
    if (a->node == nested.payload2) fire(error_id::internal_no_cycle);
  if (parent.depth + 1 >= cycles::capacity) fire(error_id::internal_too_deep);
  const compose_ancestor self{nested.payload2, &parent, parent.depth + 1};
  cell* made = block::push_only(static_cast<int32_t>(cells_in(nested)));
  compose_block(nested, true, only, *made, true, self);
  if (stack::pending.code) [[unlikely]] return;
  add(target, append, *made);
  stack::pop_cells(1);
}

void compose_block(const cell& block, bool deep, bool only, cell& target, bool append, const compose_ancestor& self) {
  const node_id node = block.payload2;
  // The end is fixed first, so that a block composed into itself is walked once; it is read
  // again for a block that shrinks meanwhile.
  const uint32_t end = cells_in(block);
  for (uint32_t i = block.payload1; i < std::min(end, cells_in(block)); ++i) {
    const cell item = buffer_of(node)->cells()[i];
    switch (item.type()) {
      case TYPE_BLOCK:
        if (deep)
          compose_nested(item, only, target, append, self);
        else
          add(target, append, item);
        break;
      case TYPE_PAREN:
        if (item.payload1 < cells_in(item)) compose_paren(item, only, target, append);
        break;
      default: add(target, append, item); break;
    }
    if (stack::pending.code) [[unlikely]] return;
  }
}

}  // namespace

void reduce_into(const cell& value, cell& out) {
  const stack::position at = stack::here();
  const cell* given = stack::push_copy(value);
  cell* target = stack::push_copy(out);
  const bool append = append_mode(*target);
  const auto start = static_cast<int32_t>(cells_in(*target));
  interpreter::detail::catch_exits([&] { reduce_core(*given, *target, append); });
  const auto added = static_cast<int32_t>(cells_in(*target)) - start;
  if (append && added > 0 && !stack::pending.code) series::report(*target, global_words::insert, *target, start, added);
  out = *target;
  stack::restore(at);
}

// reduce value /into out
void reduce_stack(const int32_t* parameters) {
  check_arguments(index_reduce, parameters);
  const cell* into = refinement_argument(parameters[1]);
  const cell value = *stack::argument(0);
  if (into) {
    cell out = *into;
    reduce_into(value, out);
    if (!stack::pending.code) stack::set_last_keep(out);
    return;
  }
  if (function_value_p(value.type())) {
    stack::set_last_keep(value);
    return;
  }
  if (value.type() != TYPE_BLOCK) {
    evaluate_one(value);
    if (stack::pending.code) return;
    cell result = *stack::last_pushed();
    clear_new_line(result);
    stack::set_last_keep(result);
    return;
  }
  cell* made = block::push_only(std::max(static_cast<int32_t>(cells_in(value)) - static_cast<int32_t>(value.payload1), 1));
  reduce_block(value, *made, true);
  if (stack::pending.code) return;
  stack::set_last_keep(*made);
}

// compose value /deep /only /into out
void compose_stack(const int32_t* parameters) {
  check_arguments(index_compose, parameters);
  const bool deep = parameters[1] >= 0, only = parameters[2] >= 0;
  const cell* into = refinement_argument(parameters[3]);
  const cell value = *stack::argument(0);
  if (value.type() != TYPE_BLOCK) {
    cell expected, given;
    datatype::make_at(expected, TYPE_BLOCK);
    datatype::make_at(given, value.type());
    fire(error_id::script_expect_val, expected, given);
  }
  bool append = true;
  cell* target;
  if (into) {
    target = stack::push_copy(*into);
    append = append_mode(*target);
  } else {
    target = block::push_only(static_cast<int32_t>(cells_in(value)));
  }
  const compose_ancestor top{value.payload2, nullptr, 0};
  interpreter::detail::catch_exits([&] { compose_block(value, deep, only, *target, append, top); });
  if (stack::pending.code) return;
  stack::set_last_keep(*target);
}

}  // namespace tav::natives
