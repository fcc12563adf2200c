// none!: the empty value, which series actions on it answer.
#include "datatypes/actions.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/text_output.hpp"
#include "datatypes/values.hpp"
#include "interpreter/stack.hpp"
#include "runtime/errors.hpp"
#include "runtime/series.hpp"

namespace tav::none {

static_assert(TYPE_NONE == none_type_id, "the runtime fills error fields with this none!");

cell value{TYPE_NONE, 0, 0, 0};

cell* box() { return stack::set_last(value); }

cell* push() { return stack::push_copy(value); }

cell* make_in(cell& block) {
  cell* slot = alloc_block_tail(block);
  *slot = value;
  return slot;
}

cell* make(cell*, cell*, int32_t) { return push(); }

int32_t form(cell*, cell* buffer, cell*, int32_t limit) {
  text::append_c_string(*buffer, "none");
  return limit - 4;
}

int32_t mold(cell*, cell* buffer, bool, bool all, bool, cell*, int32_t limit, int32_t) {
  text::append_c_string(*buffer, all ? "#(none)" : "none");
  return limit - (all ? 7 : 4);
}

int32_t compare(cell*, cell* value2, int32_t op) {
  if (value2->type() != TYPE_NONE) return actions::not_comparable;
  return actions::equality_only(op, 0);
}

cell* clear(cell*) { return box(); }

cell* find(cell*, cell*, cell*, bool, bool, bool, bool, cell*, cell*, bool, bool, bool, bool) { return box(); }

// The length? entry turns -1 into none.
int32_t length_p(cell*) { return -1; }

cell* remove(cell*, cell*, cell*) { return box(); }

cell* select(cell*, cell*, cell*, bool, bool, bool, bool, cell*, cell*, bool, bool) { return box(); }

cell* take(cell*, cell*, bool, bool) { return box(); }

void init() {
  datatype::register_type(TYPE_NONE, datatype::actions_row(
      // make random reflect to form mold eval-path set-path compare
      &make, unsupported, unsupported, &make, &form, &mold, unsupported, unsupported, &compare,
      // absolute add divide multiply negate power remainder round subtract
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported,
      // even? odd? and~ complement or~ xor~
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      // append at back change clear copy find head head? index? insert length? move next
      unsupported, unsupported, unsupported, unsupported, &clear, unsupported, &find, unsupported,
      unsupported, unsupported, unsupported, &length_p, unsupported, unsupported,
      // pick poke put remove reverse select sort skip swap tail tail? take trim
      unsupported, unsupported, unsupported, &remove, unsupported, &select, unsupported, unsupported,
      unsupported, unsupported, unsupported, &take, unsupported,
      // create close delete modify open open? query read rename update write
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported));
}

}  // namespace tav::none
