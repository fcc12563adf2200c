// set-word!, lit-word!, get-word! and refinement!: word cells of another type byte, each
// with its own text mark.
#include "datatypes/actions.hpp"
#include "datatypes/context.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/text_output.hpp"
#include "datatypes/word.hpp"
#include "interpreter/stack.hpp"
#include "runtime/errors.hpp"
#include "runtime/series.hpp"

namespace tav {
namespace word_variant {
namespace {

// The mark and whether it follows the spelling.
struct mark {
  const char* text;
  bool after;
};

mark mark_of(uint8_t type) {
  switch (type) {
    case TYPE_SET_WORD: return {":", true};
    case TYPE_LIT_WORD: return {"'", false};
    case TYPE_GET_WORD: return {":", false};
    case TYPE_REFINEMENT: return {"/", false};
    default: return {"#", false};
  }
}

// Every slot inherits from word! except mold.
template <class Mold>
void register_variant(uint8_t type, Mold mold) {
  datatype::register_type(type, datatype::actions_row(
      // make random reflect to form mold eval-path set-path compare
      inherit, inherit, inherit, inherit, inherit, mold, inherit, inherit, inherit,
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

}  // namespace

cell* make_in(uint8_t type, cell& block, uint32_t symbol, node_id context, int32_t index) {
  cell* slot = alloc_block_tail(block);
  *slot = word::make_cell(type, context, symbol, index);
  return slot;
}

cell load(uint8_t type, const char* name) {
  cell result = *word::load(name);
  set_type(result, type);
  return result;
}

cell* push(uint8_t type, const cell& word) {
  cell* pushed = stack::push_copy(word);
  set_type(*pushed, type);
  return pushed;
}

cell* push_local(uint8_t type, node_id context, uint32_t index) { return push(type, *context::word_at(context, index)); }

cell* set() {
  context::set(*stack::argument(0), *stack::argument(1));
  return stack::set_last(*stack::argument(1));
}

cell* get(const cell& word) { return context::get(word); }

int32_t mold(cell* value, cell* buffer, int32_t limit) {
  mark m = mark_of(value->type());
  if (!m.after) text::append_c_string(*buffer, m.text);
  int32_t left = word::form(value, buffer, nullptr, limit);
  if (m.after) text::append_c_string(*buffer, m.text);
  return left - 1;
}

}  // namespace word_variant

#define TAV_VARIANT_MODULE(space, type_id)                                                                   \
  namespace space {                                                                                        \
  int32_t mold(cell* value, cell* buffer, bool, bool, bool, cell*, int32_t limit, int32_t) {               \
    return word_variant::mold(value, buffer, limit);                                                       \
  }                                                                                                        \
  void init() { word_variant::register_variant(type_id, &mold); }                                          \
  }
TAV_VARIANT_MODULE(set_word, TYPE_SET_WORD)
TAV_VARIANT_MODULE(lit_word, TYPE_LIT_WORD)
TAV_VARIANT_MODULE(get_word, TYPE_GET_WORD)
TAV_VARIANT_MODULE(refinement, TYPE_REFINEMENT)
#undef TAV_VARIANT_MODULE

namespace get_word {
cell* get(const cell& word) { return stack::push_copy(*context::get(word)); }
}  // namespace get_word

namespace refinement {
cell* load(const char* name) {
  cell unbound = word::make_cell(TYPE_REFINEMENT, 0, symbol::make(name), -1);
  cell* slot = alloc_block_tail(context::root);
  *slot = unbound;
  return slot;
}
}  // namespace refinement

}  // namespace tav
