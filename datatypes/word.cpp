// word!: interning of global words, reading and writing a word's value, and the word
// actions shared by the whole word family.
#include "datatypes/word.hpp"

#include "datatypes/actions.hpp"
#include "datatypes/context.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/text_output.hpp"
#include "datatypes/values.hpp"
#include "interpreter/stack.hpp"
#include "runtime/errors.hpp"
#include "runtime/series.hpp"
#include "runtime/unicode.hpp"

namespace tav::word {
namespace {

text_scanner scan_text = nullptr;

cell* keep_at_start(const cell& word) {
  if (!context::collecting_at_start) return nullptr;
  cell copy = word;
  cell* kept = alloc_block_tail(context::root);
  *kept = copy;
  return kept;
}

cell* load_global(uint32_t symbol, bool case_insensitive) {
  cell* word = context::add_global(symbol, case_insensitive, true);
  if (cell* kept = keep_at_start(*word)) return kept;
  return word;
}

cell global_word(uint32_t symbol) {
  cell word = make_cell(TYPE_WORD, context::global, symbol, -1);
  int32_t slot = context::add_word(context::global, word);
  word.payload3 = static_cast<uint32_t>(slot);
  return word;
}

[[gnu::cold, noreturn]] void bad_to_arg(int32_t type, const cell& value) {
  cell target;
  datatype::make_at(target, static_cast<uint8_t>(type));
  fire(error_id::script_bad_to_arg, target, value);
}

cell scan(const cell& text) {
  if (!scan_text) fire(error_id::internal_not_done);
  cell first{unset_header, 0, 0, 0};
  scan_text(text, first);
  return first;
}

// A char! scans as the one-character text it makes.
cell char_text(const cell& value) {
  cell text;
  text::make_at(text, 1);
  text::append_char(text, value.payload2);
  return text;
}

// The text of a word's spelling, for rescanning a refinement! or issue!.
cell spelling_text(const cell& word) {
  cell text;
  text::make_at(text, 16);
  node_id spelling = symbol::get(symbol_of(word))->payload2;
  text::append_text(text, spelling, 0);
  return text;
}

cell converted(const cell& spec, int32_t type) {
  switch (spec.type()) {
    case TYPE_DATATYPE: return datatype::type_name_table[spec.payload1].word;
    case TYPE_LOGIC: return *load(logic::get(spec) ? "true" : "false");
    case TYPE_STRING:
    case TYPE_CHAR: {
      cell first = scan(spec.type() == TYPE_CHAR ? char_text(spec) : spec);
      if (!any_word_p(first.type())) fire(error_id::script_invalid_chars);
      return first;
    }
    case TYPE_WORD:
    case TYPE_SET_WORD:
    case TYPE_LIT_WORD:
    case TYPE_GET_WORD: return spec;
    case TYPE_REFINEMENT:
    case TYPE_ISSUE: {
      cell first = scan(spelling_text(spec));
      if (!plain_word_p(first.type())) bad_to_arg(type, spec);
      context::bind_word(context::global, first);
      return first;
    }
    default: bad_to_arg(type, spec);
  }
}

int32_t strict_equal(const cell& a, const cell& b) {
  return a.type() == b.type() && symbol_of(a) == symbol_of(b) ? 0 : 1;
}

int32_t loose_equal(const cell& a, const cell& b) {
  return symbol::resolve(symbol_of(a)) == symbol::resolve(symbol_of(b)) ? 0 : 1;
}

bool word_and_lit_word_p(const cell& a, const cell& b) {
  return (a.type() == TYPE_WORD && b.type() == TYPE_LIT_WORD) || (a.type() == TYPE_LIT_WORD && b.type() == TYPE_WORD);
}

}  // namespace

bool ready_p() { return context::global != 0 && context::root.payload2 != 0; }

cell* load(const char* name) { return load_global(symbol::make(name), true); }

cell* load_symbol(uint32_t symbol) { return load_global(symbol, false); }

void make_at(cell& target, uint32_t symbol) { target = global_word(symbol); }

cell* make_in(cell& block, uint32_t symbol) {
  cell word = global_word(symbol);
  cell* slot = alloc_block_tail(block);
  *slot = word;
  return slot;
}

cell* make_in_from_name(cell& block, const char* name) { return make_in(block, symbol::make(name)); }

cell* push_global(uint32_t symbol) { return stack::push_copy(global_word(symbol)); }

cell* push(const cell& word) { return stack::push_copy(word); }

cell* local_at(node_id context, uint32_t index) { return context::word_at(context, index); }

cell* push_local(node_id context, uint32_t index) { return stack::push_copy(*context::word_at(context, index)); }

cell* get_in(node_id context, uint32_t index) { return context::value_at(context, index); }

cell* get_local(node_id context, uint32_t index) {
  cell* value = context::value_at(context, index);
  if (!value) fire(error_id::script_not_defined, *context::word_at(context, index));
  return stack::push_copy(*value);
}

cell* get(const cell& word) {
  cell* value = context::get(word);
  if (value->type() == TYPE_UNSET) fire(error_id::script_no_value, word);
  return stack::push_copy(*value);
}

cell* set() {
  cell* word = stack::argument(0);
  cell* value = stack::argument(1);
  if (value->type() == TYPE_UNSET) fire(error_id::script_need_value, *word);
  context::set(*word, *value);
  return stack::set_last(*stack::argument(1));
}

cell* set_local(node_id context, uint32_t index) {
  if (context::kind_of(context) == context::kind_object)
    context::word_at(context, index)->header |= cell_flag::field_set;
  cell fresh = *stack::last_pushed();
  stack::push_copy(*context::value_at(context, index));
  cell* slot = context::value_at(context, index);
  *slot = fresh;
  return slot;
}

cell* spelling(const cell& word) { return symbol::get(symbol_of(word)); }

cell* as_string(const cell& word) {
  node_id spelling = symbol::get(symbol_of(word))->payload2;
  return stack::push_copy(cell{TYPE_STRING, 0, spelling, 0});
}

cell* make(cell*, cell* spec, int32_t type) {
  cell answer = converted(*spec, type);
  answer.header = static_cast<uint32_t>(type);
  return stack::push_copy(answer);
}

int32_t form(cell* value, cell* buffer, cell*, int32_t limit) {
  node_id spelling = symbol::get(symbol_of(*value))->payload2;
  uint32_t before = text::length(*buffer);
  text::append_text(*buffer, spelling, 0);
  return limit - static_cast<int32_t>(text::length(*buffer) - before);
}

int32_t mold(cell* value, cell* buffer, bool, bool, bool, cell* part, int32_t limit, int32_t) {
  return form(value, buffer, part, limit);
}

int32_t compare(cell* value1, cell* value2, int32_t op) {
  const cell& a = *value1;
  const cell& b = *value2;
  if (!any_word_p(b.type()) || (b.type() == TYPE_ISSUE && a.type() != TYPE_ISSUE)) return actions::not_comparable;
  switch (op) {
    case actions::op::same:
      return symbol_of(a) == symbol_of(b) && a.payload1 == b.payload1 && a.type() == b.type() ? 0 : 1;
    case actions::op::parse_strict:
      if (word_and_lit_word_p(a, b)) return symbol_of(a) == symbol_of(b) ? 0 : 1;
      return strict_equal(a, b);
    case actions::op::strict_equal: return strict_equal(a, b);
    case actions::op::parse_equal:
      if (word_and_lit_word_p(a, b)) return loose_equal(a, b);
      return a.type() == b.type() ? loose_equal(a, b) : 1;
    case actions::op::equal:
    case actions::op::not_equal:
    case actions::op::find: return loose_equal(a, b);
    default: {
      node_id spelling1 = symbol::get(symbol_of(a))->payload2;
      node_id spelling2 = symbol::get(symbol_of(b))->payload2;
      return text::compare(spelling1, 0, spelling2, 0, op);
    }
  }
}

cell* index_p() {
  const cell& word = *stack::arguments;
  if (index_of(word) == -1) return none::box();
  return stack::set_last(scalar::integer(index_of(word) + 1));
}

void set_text_scanner(text_scanner scanner) { scan_text = scanner; }

void init() {
  datatype::register_type(TYPE_WORD, datatype::actions_row(
      // make random reflect to form mold eval-path set-path compare
      &make, unsupported, unsupported, &make, &form, &mold, unsupported, unsupported, &compare,
      // absolute add divide multiply negate power remainder round subtract
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported,
      // even? odd? and~ complement or~ xor~
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      // append at back change clear copy find head head? index? insert length? move next
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, &index_p, unsupported, unsupported, unsupported, unsupported,
      // pick poke put remove reverse select sort skip swap tail tail? take trim
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported,
      // create close delete modify open open? query read rename update write
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported));
}

}  // namespace tav::word
