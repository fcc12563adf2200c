// handle!: OS and backend resource ids with their text forms and their order by id.
#include "datatypes/handle.hpp"

#include <cstdio>
#include <cstring>

#include "datatypes/registry.hpp"
#include "datatypes/text_output.hpp"
#include "interpreter/stack.hpp"

namespace tav::handle {
namespace {

// Indexed by class; the null class prints no name.
constexpr const char* class_names[] = {nullptr, "fd", "monitor", "window", "font", "rich-text"};
constexpr uint32_t class_count = sizeof class_names / sizeof class_names[0];

// Eight upper-case hexadecimal digits and "h".
int32_t write_id(const cell& value, cell& buffer) {
  char text[16];
  std::snprintf(text, sizeof text, "%08Xh", id_of(value));
  text::append_c_string(buffer, text);
  return 9;
}

}  // namespace

cell* make_at(cell& target, uint32_t id, uint32_t handle_class) {
  target = cell{TYPE_HANDLE, handle_class, id, 0xFFFFFFFF};
  return &target;
}

cell* box(uint32_t id, uint32_t handle_class) {
  cell value;
  make_at(value, id, handle_class);
  return stack::set_last(value);
}

cell* push(uint32_t id, uint32_t handle_class) { return make_at(*stack::push_cell(), id, handle_class); }

cell* push_null() { return push(0, CLASS_NULL); }

int32_t form(cell* value, cell* buffer, cell*, int32_t limit) { return limit - write_id(*value, *buffer); }

int32_t mold(cell* value, cell* buffer, bool, bool all, bool, cell*, int32_t limit, int32_t) {
  if (!all) {
    text::append_c_string(*buffer, "handle!");
    return limit - 7;
  }
  text::append_c_string(*buffer, "#[handle! ");
  int32_t written = 10 + write_id(*value, *buffer);
  uint32_t handle_class = class_of(*value);
  // A class outside the table has no name to print.
  if (handle_class > 0 && handle_class < class_count) {
    text::append_char(*buffer, ' ');
    text::append_c_string(*buffer, class_names[handle_class]);
    written += 1 + static_cast<int32_t>(std::strlen(class_names[handle_class]));
  }
  text::append_char(*buffer, ']');
  return limit - written - 1;
}

int32_t compare(cell* value1, cell* value2, int32_t) {
  if (value2->type() != TYPE_HANDLE) return 1;
  auto a = static_cast<int32_t>(id_of(*value1)), b = static_cast<int32_t>(id_of(*value2));
  return a < b ? -1 : a > b ? 1 : 0;
}

void init() {
  datatype::register_type(TYPE_HANDLE, datatype::actions_row(
      // make random reflect to form mold eval-path set-path compare
      unsupported, unsupported, unsupported, unsupported, &form, &mold, unsupported, unsupported, &compare,
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

}  // namespace tav::handle
