// percent!: a float! that reads and prints as a percentage (the fraction 0.5 is 50%); it takes
// everything but its text from float!.
#include <cstring>

#include "datatypes/float.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/text_output.hpp"
#include "runtime/series.hpp"

namespace tav::percent {

void make_at64(cell& target, uint32_t high, uint32_t low) { target = cell{TYPE_PERCENT, 0, low, high}; }

cell* new_in_block(cell& block, uint32_t high, uint32_t low) {
  cell* slot = alloc_block_tail(block);
  make_at64(*slot, high, low);
  return slot;
}

int32_t form(cell* value, cell* buffer, cell*, int32_t limit) {
  const char* written = float_::format(float_::get(*value) * 100.0, 3);
  text::append_c_string(*buffer, written);
  return limit - static_cast<int32_t>(std::strlen(written));
}

int32_t mold(cell* value, cell* buffer, bool, bool, bool, cell* part, int32_t limit, int32_t) {
  return form(value, buffer, part, limit);
}

void init() {
  datatype::register_type(TYPE_PERCENT, datatype::actions_row(
      // make random reflect to form mold eval-path set-path compare
      inherit, inherit, unsupported, inherit, &form, &mold, unsupported, unsupported, inherit,
      // absolute add divide multiply negate power remainder round subtract
      inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
      // even? odd? and~ complement or~ xor~
      inherit, inherit, unsupported, unsupported, unsupported, unsupported,
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

}  // namespace tav::percent
