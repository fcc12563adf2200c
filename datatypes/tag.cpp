// tag!: markup tags written <...>; the text of a tag keeps its angle brackets out.
#include "datatypes/any_string.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/text_output.hpp"
#include "datatypes/types.hpp"
#include "interpreter/stack.hpp"

namespace tav::tag {

cell* push(const cell& value) { return stack::push_copy(value); }

int32_t form(cell* value, cell* buffer, cell* part, int32_t limit) {
  text::append_char(*buffer, '<');
  int32_t left = string::form(value, buffer, part, limit - 1);
  text::append_char(*buffer, '>');
  return left - 1;
}

int32_t mold(cell* value, cell* buffer, bool, bool, bool, cell* part, int32_t limit, int32_t) {
  return form(value, buffer, part, limit);
}

void init() {
  datatype::register_type(TYPE_TAG, datatype::actions_row(
      // make random reflect to form mold eval-path set-path compare
      inherit, unsupported, inherit, inherit, &form, &mold, inherit, unsupported, inherit,
      // absolute add divide multiply negate power remainder round subtract
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported,
      // even? odd? and~ complement or~ xor~
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      // append at back change clear copy find head head? index? insert length? move next
      inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
      inherit, inherit,
      // pick poke put remove reverse select sort skip swap tail tail? take trim
      inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
      inherit,
      // create close delete modify open open? query read rename update write
      unsupported, unsupported, unsupported, inherit, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported));
}

}  // namespace tav::tag
