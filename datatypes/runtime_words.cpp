// Runtime words: the globals of the runtime's own words, interned in their fixed order.
#include "datatypes/runtime_words.hpp"

#include "datatypes/symbol.hpp"
#include "datatypes/word.hpp"

namespace tav {

namespace symbols {
#define TAV_DEFINE(name, text) uint32_t name = 0;
TAV_RUNTIME_SYMBOLS(TAV_DEFINE)
#undef TAV_DEFINE
}  // namespace symbols

namespace global_words {
#define TAV_DEFINE(name, symbol) cell name{};
TAV_RUNTIME_GLOBAL_WORDS(TAV_DEFINE)
#undef TAV_DEFINE
}  // namespace global_words

namespace words {
#define TAV_DEFINE(name, text) cell name{};
TAV_RUNTIME_WORDS(TAV_DEFINE)
#undef TAV_DEFINE
}  // namespace words

namespace refinements {
#define TAV_DEFINE(name, text) cell name{};
TAV_REFINEMENT_VALUES(TAV_DEFINE)
#undef TAV_DEFINE
}  // namespace refinements

cell ooo_marker{};

void init_runtime_words() {
#define TAV_MAKE_SYMBOL(name, text) symbols::name = symbol::make(text);
  TAV_RUNTIME_SYMBOLS(TAV_MAKE_SYMBOL)
#undef TAV_MAKE_SYMBOL
#define TAV_MAKE_GLOBAL_WORD(name, symbol) global_words::name = *word::load_symbol(symbols::symbol);
  TAV_RUNTIME_GLOBAL_WORDS(TAV_MAKE_GLOBAL_WORD)
#undef TAV_MAKE_GLOBAL_WORD
#define TAV_MAKE_WORD(name, text) words::name = *word::load(text);
  TAV_RUNTIME_WORDS(TAV_MAKE_WORD)
#undef TAV_MAKE_WORD
}

void init_refinement_values() {
#define TAV_MAKE_REFINEMENT(name, text) refinements::name = *refinement::load(text);
  TAV_REFINEMENT_VALUES(TAV_MAKE_REFINEMENT)
#undef TAV_MAKE_REFINEMENT
}

void init_ooo_marker() {
  cell* marker = issue::load("ooo");
  ooo_marker = *marker;
}

}  // namespace tav
