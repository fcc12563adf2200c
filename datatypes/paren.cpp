// paren!: a block whose contents are evaluated when met as code. Only its text form is its own;
// everything else is block!'s.
#include "datatypes/block.hpp"
#include "datatypes/path.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/text_output.hpp"
#include "interpreter/stack.hpp"
#include "runtime/cycle_stack.hpp"

namespace tav::paren {

cell* push(cell& value) {
  set_type(value, TYPE_PAREN);
  return stack::push_copy(value);
}

int32_t mold(cell* value, cell* output, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent) {
  // The marker stands alone: it already carries the parens.
  if (cycles::detect(*value, output->payload2, limit, true)) return limit;
  if (!only) {
    text::append_char(*output, '(');
    --limit;
  }
  limit = block::mold(value, output, true, all, flat, part, limit, indent);
  if (!only) {
    text::append_char(*output, ')');
    --limit;
  }
  return limit;
}

void init() {
  datatype::register_type(TYPE_PAREN, datatype::actions_row(
      // make random reflect to form mold eval-path set-path compare
      inherit, inherit, inherit, inherit, inherit, &mold, inherit, inherit, inherit,
      // absolute add divide multiply negate power remainder round subtract
      inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
      // even? odd? and~ complement or~ xor~
      inherit, inherit, inherit, inherit, inherit, inherit,
      // append at back change clear copy find head head? index? insert length? move next
      inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
      inherit, inherit,
      // pick poke put remove reverse select sort skip swap tail tail? take trim
      inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
      inherit,
      // create close delete modify open open? query read rename update write
      inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit));
}

}  // namespace tav::paren
