// unset!: the value of nothing.
#include "datatypes/actions.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/text_output.hpp"
#include "datatypes/values.hpp"
#include "interpreter/stack.hpp"
#include "runtime/series.hpp"

namespace tav::unset {

cell value{TYPE_UNSET, 0, 0, 0};

cell* box() { return stack::set_last(value); }

cell* push() { return stack::push_copy(value); }

cell* make_in(cell& block) {
  cell* slot = alloc_block_tail(block);
  *slot = value;
  return slot;
}

cell* make(cell*, cell*, int32_t) { return push(); }

int32_t form(cell*, cell*, cell*, int32_t limit) { return limit; }

int32_t mold(cell*, cell* buffer, bool, bool all, bool, cell*, int32_t limit, int32_t) {
  const char* text = all ? "#(unset)" : "unset";
  text::append_c_string(*buffer, text);
  return limit - (all ? 8 : 5);
}

int32_t compare(cell*, cell* value2, int32_t op) {
  if (value2->type() != TYPE_UNSET) return actions::not_comparable;
  switch (op) {
    case actions::op::equal:
    case actions::op::not_equal:
    case actions::op::strict_equal:
    case actions::op::same:
    case actions::op::find:
    case actions::op::sort:
    case actions::op::case_sort: return 0;
    default: return actions::not_comparable;
  }
}

void init() {
  datatype::register_type(TYPE_UNSET, datatype::actions_row(
      // make random reflect to form mold eval-path set-path compare
      &make, unsupported, unsupported, &make, &form, &mold, unsupported, unsupported, &compare,
      // absolute add divide multiply negate power remainder round subtract
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported,
      // even? odd? and~ complement or~ xor~
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      // append at back change clear copy find head head? index? insert length? move next
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      // pick poke put remove reverse select sort skip swap tail tail? take trim
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported,
      // create close delete modify open open? query read rename update write
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported));
}

}  // namespace tav::unset
