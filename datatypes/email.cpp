// email!: addresses written user@host, with the user and host parts reachable by path.
#include "datatypes/actions.hpp"
#include "datatypes/any_string.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/runtime_words.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/text_output.hpp"
#include "datatypes/types.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/stack.hpp"
#include "runtime/errors.hpp"

namespace tav::email {
namespace {

// The range of the user or host part, in units from the buffer's offset.
struct part_range {
  uint32_t start;
  uint32_t count;
};

part_range range_of(cell& email, bool user) {
  uint32_t total = string::ts_abs_length_p(email);
  uint32_t head = total - string::ts_length_p(email);
  int32_t found = string::ts_find_char(email, '@');
  uint32_t at = found < 0 ? total : head + static_cast<uint32_t>(found);
  if (user) return {head, at - head};
  uint32_t start = std::min(at + 1, total);
  return {start, total - start};
}

}  // namespace

cell* push(const cell& value) { return stack::push_copy(value); }

int32_t mold(cell* value, cell* buffer, bool, bool, bool, cell* part, int32_t limit, int32_t) {
  return string::form(value, buffer, part, limit);
}

cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell* container, cell* previous, int32_t index,
                bool case_sensitive, bool get, bool last, bool store_back) {
  if (element->type() == TYPE_INTEGER)
    return string::eval_path(parent, element, value, path, container, previous, index, case_sensitive, get, last,
                             store_back);
  uint32_t symbol = element->type() == TYPE_WORD ? symbol::resolve(word::symbol_of(*element)) : 0;
  bool user = symbol != 0 && symbol == symbol::resolve(symbols::user);
  bool host = symbol != 0 && symbol == symbol::resolve(symbols::host);
  if (!user && !host) fire(error_id::script_invalid_path, path ? *path : none::value, *element);
  part_range range = range_of(*parent, user);
  if (!value) {
    series_buffer* buffer = buffer_of(parent->payload2);
    series_buffer* copy = string::copy_units(buffer, range.start, range.count, nullptr, 0, buffer->unit());
    *parent = cell{TYPE_STRING, 0, copy->node, 0};
    return parent;
  }
  cell at = *parent;
  at.payload1 = range.start;
  string::change(&at, value, static_cast<int32_t>(range.count), false, 1);
  return value;
}

void init() {
  datatype::register_type(TYPE_EMAIL, datatype::actions_row(
      // make random reflect to form mold eval-path set-path compare
      inherit, unsupported, inherit, inherit, inherit, &mold, &eval_path, unsupported, inherit,
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

}  // namespace tav::email
