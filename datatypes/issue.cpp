// issue!: a word-shaped value written with "#", bound to the global context but never
// resolved, equal only to other issues.
#include "datatypes/actions.hpp"
#include "datatypes/context.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/word.hpp"
#include "interpreter/stack.hpp"
#include "runtime/series.hpp"
#include "runtime/unicode.hpp"

namespace tav::issue {
namespace {

cell of_symbol(uint32_t symbol) { return word::make_cell(TYPE_ISSUE, context::global, symbol, -1); }

}  // namespace

cell* load_in(const char* name, cell& block) {
  cell value = of_symbol(symbol::make(name));
  cell* slot = alloc_block_tail(block);
  *slot = value;
  return slot;
}

cell* load(const char* name) {
  if (context::collecting_at_start) return load_in(name, context::root);
  return stack::push_copy(of_symbol(symbol::make(name)));
}

void make_at(cell& target, const char* name) { target = of_symbol(symbol::make(name)); }

cell* push(const cell& value) {
  cell* pushed = stack::push_copy(value);
  set_type(*pushed, TYPE_ISSUE);
  return pushed;
}

cell* make(cell* prototype, cell* spec, int32_t type) {
  switch (spec->type()) {
    case TYPE_STRING: return stack::push_copy(of_symbol(symbol::make_from_string(*spec)));
    case TYPE_CHAR: {
      uint8_t bytes[4];
      int length = unicode::cp_to_utf8(spec->payload2, bytes);
      return stack::push_copy(of_symbol(symbol::make_from_buffer(bytes, static_cast<size_t>(length))));
    }
    default:
      if (any_word_p(spec->type())) {
        cell* pushed = stack::push_copy(*spec);
        pushed->header = TYPE_ISSUE;
        return pushed;
      }
      return word::make(prototype, spec, type);
  }
}

int32_t mold(cell* value, cell* buffer, bool, bool, bool, cell*, int32_t limit, int32_t) {
  return word_variant::mold(value, buffer, limit);
}

int32_t compare(cell* value1, cell* value2, int32_t op) {
  if (value2->type() != TYPE_ISSUE) return actions::not_comparable;
  return word::compare(value1, value2, op);
}

void init() {
  datatype::register_type(TYPE_ISSUE, datatype::actions_row(
      // make random reflect to form mold eval-path set-path compare
      &make, inherit, inherit, &make, inherit, &mold, inherit, inherit, &compare,
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

}  // namespace tav::issue
