// Path evaluation: path!, get-path! and set-path! met by the interpreter. The head word gives
// the first value; every further element selects into the value reached so far through that
// value's eval-path action; a function reached on the way is called with the elements after it
// as its refinements.
#include "datatypes/actions.hpp"
#include "datatypes/object.hpp"
#include "datatypes/series.hpp"
#include "interpreter/call.hpp"
#include "interpreter/interpreter_internal.hpp"
#include "runtime/errors.hpp"

namespace tav::interpreter {

namespace {

// The value the first word's context stands for, when it is no object and no global context:
// a function's own context, say.
cell first_container(const cell& word) {
  node_id context = word.payload1;
  if (!context || context == context::global) return cell{};
  const cell owner = *context::self_of(context);
  return owner.type() == TYPE_OBJECT ? cell{} : owner;
}

// Whether the last step of a set-path must hand the changed value back to what holds it: a
// scalar changed in place inside a block, or inside an object that watches its fields.
bool store_back_p(const cell* container, const cell& previous) {
  if (!container) return false;
  uint8_t type = container->type();
  if (series::any_block_p(type)) return true;
  return type == TYPE_OBJECT && object::info_of(*container) != 0 && previous.type() == TYPE_WORD;
}

// The element as a selector: a get-word's value, a paren's result. False when the paren's
// evaluation left an exit pending.
bool selector_of(cell& element) {
  if (element.type() == TYPE_GET_WORD) {
    element = *context::get(element);
  } else if (element.type() == TYPE_PAREN) {
    cell* mark = stack::top;
    do_block(element, false);
    if (stack::pending.code) [[unlikely]] return false;
    element = *stack::last_pushed();
    stack::top = mark;
  }
  return true;
}

// Kept out of do_path, whose calls of functions by path pay for none of its state.
[[gnu::noinline]] uint32_t select_along(const code* source, uint32_t index, const cell& path, uint32_t at,
                                        const cell& head, cell* reached, bool set, bool get, bool push);

}  // namespace

uint32_t do_path(const code* source, uint32_t index, const cell& path_value, bool set, bool get, bool push) {
  const cell path = path_value;
  const bool traced = detail::traced_p(source);
  uint32_t at = static_cast<uint32_t>(std::max(series::head_of(path), 0));
  if (at >= series::buffer(path)->count()) fire(error_id::script_empty_path);
  if (traced) [[unlikely]]
    detail::trace(event::enter, source, index, &path);

  const cell head = series::buffer(path)->cells()[at];
  if (traced) [[unlikely]]
    detail::trace(event::fetch, source, index, &head);
  if (head.type() != TYPE_WORD) fire(error_id::script_word_first, path);
  cell* reached = source && source->system ? detail::tied_value(path.payload2, at) : nullptr;
  if (!reached) reached = detail::word_value(head);
  if (reached->type() == TYPE_UNSET) fire(error_id::script_unset_path, path, head);

  if (detail::callable_p(reached->type())) {
    if (set) fire(error_id::script_invalid_path_set, path);
    if (get) fire(error_id::script_invalid_path_get, path);
    const cell callable = *reached;
    index = source ? detail::call_by_path(callable, *source, index, path, at + 1, head, push)
                   : apply_block(callable, source, index, detail::path_options(path, at + 1, head, push));
    if (traced && !stack::pending.code) [[unlikely]]
      detail::trace(event::exit, source, index, stack::last_pushed());
    return index;
  }
  return select_along(source, index, path, at, head, reached, set, get, push);
}

namespace {

// The steps of a path after its first word, each selecting into the value reached so far; a
// function met on the way is called with the elements after it as its refinements.
uint32_t select_along(const code* source, uint32_t index, const cell& path_value, uint32_t at, const cell& head,
                      cell* reached, bool set, bool get, bool push) {
  cell path = path_value;
  cell* const saved_top = stack::top;
  const bool traced = detail::traced_p(source);
  cell container_value = first_container(head);
  cell* container = container_value.type() ? &container_value : nullptr;
  cell previous = head;
  cell before;  // the value reached before the current step
  cell working;
  cell result;
  bool called = false;
  for (uint32_t i = at + 1; i < series::buffer(path)->count(); ++i) {
    cell element = series::buffer(path)->cells()[i];
    if (traced) [[unlikely]]
      detail::trace(event::fetch, source, index, &element);
    if (!selector_of(element)) return index;
    if (traced) [[unlikely]]
      detail::trace(event::push, source, index, &element);
    if (element.type() == TYPE_UNSET) fire(error_id::script_invalid_path, path, series::buffer(path)->cells()[i]);

    const bool last = i + 1 >= series::buffer(path)->count();
    cell* stored = set && last ? stack::arguments : nullptr;
    const bool store_back = set && last && i - at >= 2 && store_back_p(container, previous);
    // The error of a value without path access names the path up to the element that gave it.
    auto handler = actions::lookup_path(reached, &path, &element, static_cast<int32_t>(i - 1));
    before = *reached;
    // A handler answers in its parent argument, as any action does in its first argument: only
    // the last step of a set-path may change the value where it is held.
    working = before;
    cell* parent = set && last ? reached : &working;
    cell* answer = handler(parent, &element, stored, &path, container, &previous, static_cast<int32_t>(i), false, get,
                           last, store_back);

    if (!set && !get && detail::callable_p(answer->type())) {
      const cell callable = *answer;
      call_options options;
      options.push = true;
      options.name = &element;
      options.path = &path;
      options.path_index = i + 1;
      options.object = &before;
      index = apply_block(callable, source, index, options);
      if (stack::pending.code) [[unlikely]] return index;
      result = *stack::last_pushed();
      called = true;
      break;
    }
    container_value = before;
    container = &container_value;
    previous = element;
    reached = answer;
  }

  if (!called) result = *reached;
  if (traced) [[unlikely]]
    detail::trace(event::exit, source, index, &result);
  stack::top = saved_top;
  if (push)
    stack::push_copy(result);
  else
    stack::set_last_keep(result);
  return index;
}

}  // namespace

}  // namespace tav::interpreter
