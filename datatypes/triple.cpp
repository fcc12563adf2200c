// triple! and ref!: their cells, their text forms and their registrations.
#include "datatypes/triple.hpp"

#include <cstdio>

#include "datatypes/registry.hpp"
#include "datatypes/text_output.hpp"
#include "interpreter/stack.hpp"

namespace tav {

namespace triple {

cell* make_at(cell& target, int32_t a, int32_t b, int32_t c) {
  target = cell{TYPE_TRIPLE, static_cast<uint32_t>(a), static_cast<uint32_t>(b), static_cast<uint32_t>(c)};
  return &target;
}

cell* push(int32_t a, int32_t b, int32_t c) { return make_at(*stack::push_cell(), a, b, c); }

int32_t form(cell* value, cell* buffer, cell*, int32_t limit) {
  char text[64];
  int written = std::snprintf(text, sizeof text, "make triple! [%d %d %d]", a_of(*value), b_of(*value), c_of(*value));
  text::append_c_string(*buffer, text);
  return limit - written;
}

int32_t mold(cell* value, cell* buffer, bool, bool, bool, cell* part, int32_t limit, int32_t) {
  return form(value, buffer, part, limit);
}

void init() {
  datatype::register_type(TYPE_TRIPLE, datatype::actions_row(
      // make random reflect to form mold eval-path set-path compare
      unsupported, unsupported, unsupported, unsupported, &form, &mold, unsupported, unsupported, unsupported,
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

}  // namespace triple

namespace ref {

cell* push(const cell& value) { return stack::push_copy(value); }

// The at sign, then the text exactly as form of a string writes it: nothing escaped.
int32_t mold(cell* value, cell* buffer, bool, bool, bool, cell*, int32_t limit, int32_t) {
  text::append_char(*buffer, '@');
  uint32_t before = text::length(*buffer);
  text::append_text(*buffer, value->payload2, value->payload1);
  return limit - 1 - static_cast<int32_t>(text::length(*buffer) - before);
}

void init() {
  datatype::register_type(TYPE_REF, datatype::actions_row(
      // make random reflect to form mold eval-path set-path compare
      inherit, unsupported, inherit, inherit, inherit, &mold, unsupported, unsupported, inherit,
      // absolute add divide multiply negate power remainder round subtract
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported,
      // even? odd? and~ complement or~ xor~
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      // append at back change clear copy find head head? index? insert length? move next
      unsupported, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
      inherit, inherit,
      // pick poke put remove reverse select sort skip swap tail tail? take trim
      inherit, inherit, unsupported, inherit, inherit, inherit, unsupported, inherit, inherit, inherit, inherit,
      inherit, unsupported,
      // create close delete modify open open? query read rename update write
      unsupported, unsupported, unsupported, inherit, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported));
}

}  // namespace ref

}  // namespace tav
