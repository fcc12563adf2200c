// Helpers shared by the compound scalar types: error cells and owner notification.
#include "datatypes/scalar_support.hpp"

#include "datatypes/ownership.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/stack.hpp"

namespace tav::scalar_support {

object_change_fn object_change = nullptr;

cell word_named(const char* text) { return *word::load(text); }

cell datatype_of(uint8_t type) {
  cell result;
  datatype::make_at(result, type);
  return result;
}

cell path_or_none(const cell* path) { return path ? *path : none::value; }

void notify_owner(cell* container, cell* previous, const cell& old_value, const cell& parent, const cell& value,
                  int32_t field, bool store_back) {
  if (!store_back || !container) return;
  if (container->type() == TYPE_OBJECT) {
    if (!object_change || !previous) return;
    // The old value sits on the stack while the handler runs, where the collector sees it.
    cell* saved_top = stack::top;
    cell* old_copy = stack::push_copy(old_value);
    cell* new_copy = stack::push_copy(parent);
    object_change(*container, *previous, *old_copy, *new_copy);
    stack::top = saved_top;
    return;
  }
  ownership::check(*container, word_named("set-path"), value, field, 1);
}

}  // namespace tav::scalar_support
