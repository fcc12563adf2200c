// PARSE engine: the rule and series stacks, the state machine that walks a rule block over an
// input series, the keyword dispatch, the literal and datatype matches, and the parse native.
#include "interpreter/parse.hpp"

#include <algorithm>
#include <cstring>
#include <vector>

#include "datatypes/actions.hpp"
#include "datatypes/binary.hpp"
#include "datatypes/bitset.hpp"
#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/runtime_words.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/series.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/triple.hpp"
#include "datatypes/typeset.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/interpreter.hpp"
#include "interpreter/natives.hpp"
#include "interpreter/stack.hpp"
#include "interpreter/transcode.hpp"
#include "runtime/collector.hpp"
#include "runtime/errors.hpp"
#include "runtime/throw.hpp"

namespace tav::parser {

namespace {

// ---- Keywords -------------------------------------------------------------------------------

enum class keyword : uint8_t {
  none_,  // not a keyword
  any, some, opt, while_, to, thru, copy, set, not_, into, ahead, case_, collect, keep, pick, skip, end,
  none, fail, break_, reject, quote, if_, remove, change, insert, only, after, bar,
};

// Rule codes of keyword entries.
namespace rule_code {
inline constexpr int32_t loop = -1, to = -2, thru = -3, copy = -4, set = -5, not_ = -6, into = -7, remove = -9,
                         while_ = -11, collect = -12, keep = -13, ahead = -16, change = -17, change_only = -18,
                         case_ = -19;
}  // namespace rule_code

// Keyword by resolved symbol id, so that case variants of a keyword are the keyword.
std::vector<uint8_t> keyword_table;
// The same answer by a word's own symbol id, filled as words are met: a symbol's alias is
// fixed when it is interned. 0 is a symbol not met yet, else the keyword plus one.
std::vector<uint8_t> keyword_by_symbol;

void add_keyword(uint32_t symbol, keyword k) {
  const uint32_t id = symbol::resolve(symbol);
  if (id >= keyword_table.size()) keyword_table.resize(id + 1, 0);
  keyword_table[id] = static_cast<uint8_t>(k);
}

[[gnu::noinline]] keyword learn_keyword(uint32_t symbol) {
  const uint32_t id = symbol::resolve(symbol);
  const keyword k = id < keyword_table.size() ? static_cast<keyword>(keyword_table[id]) : keyword::none_;
  if (symbol >= keyword_by_symbol.size()) keyword_by_symbol.resize(symbol + 1, 0);
  keyword_by_symbol[symbol] = static_cast<uint8_t>(static_cast<uint8_t>(k) + 1);
  return k;
}

keyword keyword_of(const cell& word) {
  const uint32_t symbol = word::symbol_of(word);
  if (symbol < keyword_by_symbol.size() && keyword_by_symbol[symbol])
    return static_cast<keyword>(keyword_by_symbol[symbol] - 1);
  return learn_keyword(symbol);
}

bool keyword_p(const cell& value, keyword k) { return value.type() == TYPE_WORD && keyword_of(value) == k; }

// ---- Stacks ---------------------------------------------------------------------------------
// An entry counts three cells, as the rule stack's block layout has it; either stack reaching
// 10,001 cells is full.

constexpr uint32_t limit_cells = 10001;
constexpr uint32_t cells_per_entry = 3;
constexpr uint32_t entry_capacity = (limit_cells - 1) / cells_per_entry;
constexpr uint32_t input_capacity = limit_cells - 1;

struct entry {
  int32_t code;       // 0: sub-rule entry; else the keyword's rule code
  uint32_t outer;     // sub-rule: the enclosing sub-rule entry
  uint32_t rule_pos;  // sub-rule: position after it in the outer block; keyword: position of its rule
  int32_t start;      // sub-rule: input index to go back to; keyword: input index at the pass start
  int32_t length;     // keyword: input length at the pass start, or the code of an entry popped above it
  bool length_is_code;
  int32_t min, max, passes;
  int32_t first;        // keyword: input index when the keyword was met
  int32_t saved_mode;   // case: the mode to put back
  int32_t saved_level;  // into: the outer input's slot; collect: the enclosing collect's slot
  int32_t kind;         // collect: how its block ends; keep: the pick flag
  int32_t target_head;  // collect into and after: the target's position at the start
};

// How a collect ends.
namespace collect_kind {
inline constexpr int32_t plain = 0, set = 1, into = 2, after = 3;
}  // namespace collect_kind
// The limit slot of a collect target holds its kind, below every input limit.
inline constexpr int32_t target_mark = -10;

entry entries[entry_capacity];
// The rule block of each sub-rule entry and the target word of copy and set, where the
// collector sees them.
cell entry_cells[entry_capacity];
uint32_t entry_top = 0;

// The series stack: the input being parsed, one more per into level, and the collect targets.
// Collector roots. An input's limit is where it ends for the match (-1: its tail); a target's
// is target_mark less its collect kind.
cell inputs[input_capacity];
int32_t input_limits[input_capacity];
uint32_t input_top = 0;

void clear_stacks_from(uint32_t entry_base, uint32_t input_base) {
  for (uint32_t i = entry_base; i < entry_top; ++i) entry_cells[i] = none::value;
  for (uint32_t i = input_base; i < input_top; ++i) inputs[i] = none::value;
  entry_top = entry_base;
  input_top = input_base;
}

// Puts the stacks back where a run found them, however it ends.
struct stacks_guard {
  uint32_t entry_base, input_base;
  stacks_guard() : entry_base(entry_top), input_base(input_top) {}
  ~stacks_guard() { clear_stacks_from(entry_base, input_base); }
  stacks_guard(const stacks_guard&) = delete;
  stacks_guard& operator=(const stacks_guard&) = delete;
};

// Literals under a repetition are counted by a loop over the input, unless a test switched
// that off to compare with the state machine's own passes.
bool counting_loops = true;
// The upper-case fold of each Latin-1 character, for the caseless character loop, and the one
// other Latin-1 character with the same fold (-1 none, -2 more than one).
uint32_t fold_table[256];
int32_t fold_partner[256];

// A language exit left pending by a paren ends the run.
struct exit_pending {};
// A trace callback that answered false ends the run at once.
struct stop_requested {};

// Bytes of the UTF-8 form of a text from its head.
int32_t utf8_length(const cell& text) {
  series_buffer* buffer = buffer_of(text.payload2);
  const uint32_t unit = buffer->unit(), count = buffer->count();
  int32_t bytes = 0;
  for (uint32_t i = std::max(series::head_of(text), 0); i < count; ++i) {
    const uint32_t cp = unicode::get_unit(buffer->head(), i, unit);
    bytes += cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
  }
  return bytes;
}

// ---- The engine -----------------------------------------------------------------------------

enum class state : uint8_t { next, operand, rule, route, apply, fail, pop, end };

class engine {
 public:
  engine(int32_t mode, const stacks_guard& guard, const cell* callback)
      : mode_(mode), guard_(guard), callback_(callback ? *callback : none::value), tracing_(callback != nullptr) {}

  // true or false, or the block a top-level collect made.
  cell run(const cell& input, const cell& rules, int32_t limit) {
    input_level_ = push_series(input, limit);
    at_ = std::max(series::head_of(input), 0);
    base_ = entry_top;
    block_ = base_;
    try {
      push_sub_rule(rules);
      return walk();
    } catch (const stop_requested&) {
      return logic::value_of(matched_);
    }
  }

 private:
  cell walk() {
    state s = state::next;
    for (;;) {
      switch (s) {
        case state::next: s = step_next(); break;
        case state::operand: s = step_operand(); break;
        case state::rule: s = dispatch_rule(value_); break;
        case state::route: s = route(); break;
        case state::apply: s = apply(); break;
        case state::fail: s = step_fail(); break;
        case state::pop: s = pop_sub_rule(); break;
        case state::end:
          notify(global_words::end);
          if (result_.type() == TYPE_BLOCK) return result_;
          return logic::value_of(matched_ && exit_ != exit_reject && at_ >= end_index());
      }
    }
  }

  static constexpr int32_t exit_break = 1, exit_reject = 2;

  int32_t mode_;
  const stacks_guard& guard_;
  cell callback_;
  bool tracing_;
  uint32_t base_ = 0;   // the run's top-level sub-rule entry
  uint32_t block_ = 0;  // the innermost sub-rule entry
  uint32_t pos_ = 0;    // the next rule value's position in that entry's block
  int32_t at_ = 0;      // the input position, in the input on top of the series stack
  bool matched_ = true;
  int32_t exit_ = 0;    // break or reject on its way to the innermost loop
  cell value_{};        // the rule value being dispatched
  uint32_t input_level_ = 0;        // the input's slot on the series stack
  int32_t collect_level_ = -1;      // the innermost collect target's slot, -1 outside every collect
  cell result_ = none::value;       // the block of a top-level collect
  cell last_copied_ = none::value;  // the word of the copy that ended last

  // ---- Errors ----

  [[noreturn]] void raise(error_id id) {
    clear_stacks_from(guard_.entry_base, guard_.input_base);
    fire(id);
  }
  [[noreturn]] void raise(error_id id, const cell& argument) {
    clear_stacks_from(guard_.entry_base, guard_.input_base);
    fire(id, argument);
  }

  // ---- Input ----

  cell& input() { return inputs[input_level_]; }
  int32_t input_tail() { return static_cast<int32_t>(buffer_of(input().payload2)->count()); }
  int32_t end_index() {
    const int32_t tail = input_tail(), limit = input_limits[input_level_];
    return limit >= 0 && limit < tail ? limit : tail;
  }
  bool block_input_p() { return series::any_block_p(input().type()); }
  bool string_input_p() { return series::any_string_p(input().type()); }
  cell input_at(int32_t index) {
    cell position = input();
    series::set_head(position, index);
    return position;
  }

  uint32_t push_series(const cell& series, int32_t limit) {
    if (input_top + 1 >= limit_cells) raise(error_id::script_parse_stack);
    inputs[input_top] = series;
    input_limits[input_top] = limit;
    return input_top++;
  }
  void pop_series() { inputs[--input_top] = none::value; }

  // ---- Rules ----

  bool rule_at(uint32_t position, cell& value) {
    series_buffer* buffer = buffer_of(entry_cells[block_].payload2);
    if (position >= buffer->count()) return false;
    value = buffer->cells()[position];
    return true;
  }
  bool fetch(cell& value) {
    if (!rule_at(pos_, value)) return false;
    ++pos_;
    return true;
  }
  bool keyword_on_top() { return entry_top - 1 > block_; }

  void check_room() {
    if ((entry_top + 1) * cells_per_entry >= limit_cells) raise(error_id::script_parse_stack);
  }

  void push_sub_rule(const cell& rules) {
    check_room();
    entry& e = entries[entry_top];
    e.code = 0;
    e.outer = block_;
    e.rule_pos = pos_;
    e.start = at_;
    entry_cells[entry_top] = rules;
    set_type(entry_cells[entry_top], TYPE_BLOCK);
    block_ = entry_top++;
    pos_ = static_cast<uint32_t>(std::max(series::head_of(rules), 0));
    notify(words::push);
  }

  entry& push_keyword(int32_t code, int32_t min, int32_t max) {
    check_room();
    entry& e = entries[entry_top];
    e.code = code;
    e.outer = block_;
    e.rule_pos = pos_;
    e.start = e.first = at_;
    e.length = input_tail() - at_;
    e.length_is_code = false;
    e.min = min;
    e.max = max;
    e.passes = 0;
    e.saved_mode = mode_;
    e.saved_level = 0;
    e.kind = 0;
    e.target_head = 0;
    entry_cells[entry_top++] = none::value;
    return e;
  }

  // Drops the keyword entry on top; an entry under it hears its code in place of the length.
  state finish_keyword() {
    const int32_t code = entries[--entry_top].code;
    entry_cells[entry_top] = none::value;
    if (keyword_on_top()) {
      entries[entry_top - 1].length = code;
      entries[entry_top - 1].length_is_code = true;
    }
    return state::route;
  }

  // ---- States ----

  state step_next() {
    if (fetch(value_)) {
      notify(words::fetch, true);
      return state::rule;
    }
    matched_ = true;
    return keyword_on_top() ? state::apply : state::pop;
  }

  // The rule of the keyword entry on top.
  state step_operand() {
    if (fetch(value_)) return state::rule;
    matched_ = true;
    return state::route;
  }

  state route() {
    if (keyword_on_top()) return state::apply;
    if (exit_) return state::pop;
    return matched_ ? state::next : state::fail;
  }

  // The rules before the failure did not match: go on after the next `|`, else the block fails.
  state step_fail() {
    at_ = entries[block_].start;
    cell value;
    for (uint32_t p = pos_; rule_at(p, value); ++p) {
      if (keyword_p(value, keyword::bar)) {
        pos_ = p + 1;
        matched_ = true;
        return state::next;
      }
    }
    matched_ = false;
    return state::pop;
  }

  state pop_sub_rule() {
    notify(words::pop);
    if (block_ == base_) return state::end;
    const entry& e = entries[block_];
    pos_ = e.rule_pos;
    entry_cells[block_] = none::value;
    entry_top = block_;
    block_ = e.outer;
    return state::route;
  }

  // ---- Rule values ----

  state dispatch_rule(const cell& rule) {
    switch (rule.type()) {
      case TYPE_WORD: {
        const keyword k = keyword_of(rule);
        if (k != keyword::none_) return dispatch_keyword(k, rule);
        return dispatch_value(word_value(rule));
      }
      case TYPE_PAREN:
        eval_paren(rule);
        matched_ = true;
        return state::route;
      case TYPE_SET_WORD: {
        cell word = rule;
        context::set(word, input_at(at_));
        return state::next;
      }
      case TYPE_GET_WORD: {
        const cell target = *context::get(rule);
        if (target.type() != input().type() || target.payload2 != input().payload2)
          raise(error_id::script_parse_invalid_ref, target);
        at_ = std::clamp(series::head_of(target), 0, input_tail());
        return state::next;
      }
      default: return dispatch_value(rule);
    }
  }

  // A rule value, or the value of a word that is not a keyword.
  state dispatch_value(const cell& rule) {
    switch (rule.type()) {
      case TYPE_BLOCK:
        push_sub_rule(rule);
        return state::next;
      case TYPE_INTEGER: return repeat_count(rule);
      case TYPE_DATATYPE:
      case TYPE_TYPESET: return match_type(rule);
      case TYPE_LIT_WORD:
      case TYPE_LIT_PATH: return match_literal(rule, mode_ == mode_case ? actions::op::parse_strict
                                                                        : actions::op::parse_equal);
      default: return match_literal(rule, mode_);
    }
  }

  cell word_value(const cell& word) {
    const cell value = *context::get(word);
    if (value.type() == TYPE_UNSET) raise(error_id::script_no_value, word);
    return value;
  }

  // `n rule` or `n m rule`.
  state repeat_count(const cell& count) {
    const int32_t min = scalar::integer_value(count);
    if (min < 0) raise(error_id::script_out_of_range, count);
    int32_t max = min;
    cell next;
    if (rule_at(pos_, next)) {
      if (next.type() == TYPE_WORD && keyword_of(next) == keyword::none_) {
        const cell value = *context::get(next);
        if (value.type() == TYPE_INTEGER) next = value;
      }
      if (next.type() == TYPE_INTEGER) {
        max = scalar::integer_value(next);
        if (max < 0) raise(error_id::script_out_of_range, next);
        ++pos_;
      }
    }
    if (max == 0) {
      // No pass may run: the rule is stepped over.
      ++pos_;
      matched_ = true;
      return state::route;
    }
    if (counted(rule_code::loop, min, max)) return state::route;
    push_keyword(rule_code::loop, min, max);
    return state::operand;
  }

  static bool type_fits(const cell& rule, uint8_t type) {
    return rule.type() == TYPE_DATATYPE ? rule.payload1 == type : typeset::has_type(rule, type);
  }

  state match_type(const cell& rule) {
    if (input().type() == TYPE_BINARY) {
      uint8_t type = 0;
      int32_t length = 0;
      matched_ = token_at(at_, type, length) && type_fits(rule, type);
      if (matched_) at_ += length;
      return state::route;
    }
    if (!block_input_p()) raise(error_id::script_parse_unsupported);
    matched_ = false;
    if (at_ < end_index()) {
      const uint8_t type = buffer_of(input().payload2)->cells()[at_].type();
      matched_ = rule.type() == TYPE_DATATYPE ? rule.payload1 == type : typeset::has_type(rule, type);
    }
    if (matched_) ++at_;
    return state::route;
  }

  // The units the rule takes at `index`, or -1 when it does not match there.
  int32_t literal_length(const cell& rule_given, int32_t op, int32_t index) {
    const int32_t end = end_index();
    if (index >= end) return -1;
    if (block_input_p()) return element_matches_p(buffer_of(input().payload2)->cells()[index], rule_given, op) ? 1 : -1;
    cell rule = rule_given;
    if (input().type() == TYPE_BINARY) return byte_literal_length(rule, op, index, end);
    if (!string_input_p()) raise(error_id::script_parse_unsupported);
    const cell here = input_at(index);
    int32_t length;
    if (rule.type() == TYPE_CHAR) {
      if (!string::match_value_p(here, rule, op)) return -1;
      length = 1;
    } else if (rule.type() == TYPE_BITSET) {
      if (!string::match_bitset_p(here, rule)) return -1;
      length = 1;
    } else if (series::any_string_p(rule.type())) {
      if (!string::match_value_p(here, rule, op)) return -1;
      length = static_cast<int32_t>(string::ts_length_p(rule)) + (rule.type() == TYPE_TAG ? 2 : 0);
    } else {
      return -1;
    }
    return index + length <= end ? length : -1;
  }

  // A block element against a literal. A word's search passes over the values that cannot
  // equal it without the compare call.
  static bool element_matches_p(const cell& element_given, const cell& rule_given, int32_t op) {
    if (any_word_p(rule_given.type()) && !word::may_equal_word_p(element_given.type())) return false;
    cell element = element_given, rule = rule_given;
    return actions::compare(&element, &rule, op);
  }

  // Bytes: a char! by its code point, a bitset! per byte, a binary! or a text (its UTF-8 form)
  // from its head.
  int32_t byte_literal_length(const cell& rule, int32_t op, int32_t index, int32_t end) {
    const cell here = input_at(index);
    int32_t length;
    if (rule.type() == TYPE_BITSET) {
      if (!binary::match_bitset_p(here, rule)) return -1;
      length = 1;
    } else if (rule.type() == TYPE_CHAR) {
      if (!binary::match_value_p(here, rule, op)) return -1;
      length = 1;
    } else if (rule.type() == TYPE_BINARY) {
      length = std::max(static_cast<int32_t>(buffer_of(rule.payload2)->count()) - series::head_of(rule), 0);
      if (index + length > end || !binary::match_value_p(here, rule, op)) return -1;
    } else if (series::any_string_p(rule.type())) {
      length = utf8_length(rule);
      if (index + length > end || !binary::match_value_p(here, rule, op)) return -1;
    } else {
      return -1;
    }
    return index + length <= end ? length : -1;
  }

  // The datatype of the token the lexer reads at `index` of a binary input and its length in
  // bytes; false when no value starts there.
  bool token_at(int32_t index, uint8_t& type, int32_t& length) {
    const int32_t end = end_index();
    if (index >= end) return false;
    lexer::load_options options;
    options.one_value = true;
    cell token = none::value;
    uint32_t position = 0;
    const cell bytes = input();
    lexer::transcode(token, buffer_of(bytes.payload2)->head() + index, static_cast<uint32_t>(end - index), options,
                     &position);
    if (position == 0 || token.type() == TYPE_ERROR) return false;
    type = token.type();
    length = static_cast<int32_t>(position);
    return true;
  }

  state match_literal(const cell& rule, int32_t op) {
    const int32_t length = literal_length(rule, op, at_);
    matched_ = length >= 0;
    if (matched_) at_ += length;
    notify(words::match, true);
    return state::route;
  }

  // ---- Keywords ----

  void need_rule(const cell& keyword_word) {
    cell next;
    if (!rule_at(pos_, next)) raise(error_id::script_parse_end, keyword_word);
  }

  state dispatch_keyword(keyword k, const cell& word) {
    switch (k) {
      case keyword::any: return start_loop(word, rule_code::loop, 0, -1);
      case keyword::some: return start_loop(word, rule_code::loop, 1, -1);
      case keyword::opt: return start_loop(word, rule_code::loop, 0, 1);
      case keyword::while_: return start_loop(word, rule_code::while_, 0, -1);
      case keyword::to: return start_search(word, rule_code::to);
      case keyword::thru: return start_search(word, rule_code::thru);
      case keyword::copy: return start_capture(word, rule_code::copy);
      case keyword::set: return start_capture(word, rule_code::set);
      case keyword::not_: return start_loop(word, rule_code::not_, 1, 1);
      case keyword::ahead: return start_loop(word, rule_code::ahead, 1, 1);
      case keyword::remove: return start_loop(word, rule_code::remove, 1, 1);
      case keyword::into: return start_into(word);
      case keyword::case_: return start_case(word);
      case keyword::change: return start_change(word);
      case keyword::insert: return do_insert(word);
      case keyword::collect: return start_collect(word);
      case keyword::keep: return start_keep(word);
      case keyword::skip:
        matched_ = at_ < end_index();
        if (matched_) ++at_;
        return state::route;
      case keyword::end:
        matched_ = at_ >= end_index();
        return state::route;
      case keyword::none:
        matched_ = true;
        return state::route;
      case keyword::fail:
        matched_ = false;
        return state::route;
      case keyword::break_:
        exit_ = exit_break;
        matched_ = true;
        return state::route;
      case keyword::reject:
        exit_ = exit_reject;
        matched_ = false;
        return state::route;
      case keyword::quote: {
        need_rule(word);
        cell literal;
        fetch(literal);
        return match_literal(literal, mode_);
      }
      case keyword::if_: {
        cell condition;
        if (!rule_at(pos_, condition) || condition.type() != TYPE_PAREN) raise(error_id::script_parse_end, word);
        ++pos_;
        matched_ = !logic::false_p(eval_paren(condition));
        return state::route;
      }
      case keyword::bar:
        if (keyword_on_top()) raise(error_id::script_parse_rule, word);
        // The rules before it matched: the block is done.
        pos_ = buffer_of(entry_cells[block_].payload2)->count();
        matched_ = true;
        return state::next;
      default: raise(error_id::script_parse_rule, word);
    }
  }

  state start_loop(const cell& word, int32_t code, int32_t min, int32_t max) {
    need_rule(word);
    if ((code == rule_code::loop || code == rule_code::while_) && counted(code, min, max)) return state::route;
    push_keyword(code, min, max);
    return state::operand;
  }

  // ---- Counting loops ----

  // A literal rule repeated: its matches are counted in one loop, stopping at the maximum, the
  // first mismatch, the tail or the limit, with the result the passes would have had. Answers
  // false, touching nothing, when the rule is no such literal.
  bool counted(int32_t code, int32_t min, int32_t max) {
    if (!counting_loops || tracing_) return false;
    cell rule;
    rule_at(pos_, rule);
    if (rule.type() == TYPE_WORD) {
      if (keyword_of(rule) != keyword::none_) return false;
      rule = word_value(rule);
    }
    if (!countable_p(rule)) return false;
    ++pos_;
    const int32_t op = rule.type() == TYPE_LIT_WORD || rule.type() == TYPE_LIT_PATH
                           ? (mode_ == mode_case ? actions::op::parse_strict : actions::op::parse_equal)
                           : mode_;
    const int32_t passes = count_matches(rule, op, max);
    matched_ = passes >= min;
    if (keyword_on_top()) {
      entries[entry_top - 1].length = code;
      entries[entry_top - 1].length_is_code = true;
    }
    return true;
  }

  // Literals that always move the input when they match.
  bool countable_p(const cell& rule) {
    const uint8_t type = rule.type();
    if (block_input_p())
      return type != TYPE_BLOCK && type != TYPE_PAREN && type != TYPE_WORD && type != TYPE_SET_WORD &&
             type != TYPE_GET_WORD && type != TYPE_INTEGER && type != TYPE_DATATYPE && type != TYPE_TYPESET;
    if (type == TYPE_CHAR || type == TYPE_BITSET) return true;
    if (type == TYPE_TAG) return string_input_p() || input().type() == TYPE_BINARY;
    if (series::any_string_p(type)) return string::ts_length_p(rule) > 0;
    return type == TYPE_BINARY && input().type() == TYPE_BINARY &&
           static_cast<int32_t>(buffer_of(rule.payload2)->count()) > series::head_of(rule);
  }

  int32_t count_matches(const cell& rule, int32_t op, int32_t max) {
    const int32_t end = end_index();
    const int32_t stop = max < 0 || int64_t{at_} + max > end ? end : at_ + max;
    if (rule.type() == TYPE_CHAR && !block_input_p()) return count_units(rule, op, stop);
    if (rule.type() == TYPE_BITSET && !block_input_p()) return count_members(rule, stop);
    int32_t passes = 0;
    while (max < 0 || passes < max) {
      const int32_t length = literal_length(rule, op, at_);
      if (length <= 0) break;
      at_ += length;
      ++passes;
    }
    return passes;
  }

  // A character over text units of any width, or over bytes (never folded there).
  int32_t count_units(const cell& rule, int32_t op, int32_t stop) {
    series_buffer* buffer = buffer_of(input().payload2);
    const uint8_t* head = buffer->head();
    const uint32_t unit = buffer->unit(), cp = char_::get(rule);
    const bool fold = op != mode_case && string_input_p();
    const int32_t from = at_;
    int32_t i = from;
    if (unit == 1) {
      if (!fold) {
        while (i < stop && head[i] == cp) ++i;
      } else {
        const uint32_t folded = string::fold_upper(cp);
        while (i < stop && fold_table[head[i]] == folded) ++i;
      }
    } else if (unit == 2) {
      const auto* units = reinterpret_cast<const uint16_t*>(head);
      if (!fold) {
        while (i < stop && units[i] == cp) ++i;
      } else {
        const uint32_t folded = string::fold_upper(cp);
        while (i < stop && (units[i] == cp || string::fold_upper(units[i]) == folded)) ++i;
      }
    } else {
      const auto* units = reinterpret_cast<const uint32_t*>(head);
      const uint32_t folded = string::fold_upper(cp);
      while (i < stop && (units[i] == cp || (fold && string::fold_upper(units[i]) == folded))) ++i;
    }
    at_ = i;
    return i - from;
  }

  int32_t count_members(const cell& bitset, int32_t stop) {
    series_buffer* buffer = buffer_of(input().payload2);
    const uint8_t* head = buffer->head();
    const uint32_t unit = buffer->unit();
    const int32_t from = at_;
    int32_t i = from;
    while (i < stop && bitset::member_p(bitset, unicode::get_unit(head, static_cast<uint32_t>(i), unit))) ++i;
    at_ = i;
    return i - from;
  }

  state start_capture(const cell& word, int32_t code) {
    need_rule(word);
    cell target;
    fetch(target);
    if (target.type() != TYPE_WORD) raise(error_id::script_parse_rule, target);
    need_rule(word);
    push_keyword(code, 1, 1);
    entry_cells[entry_top - 1] = target;
    return state::operand;
  }

  state start_case(const cell& word) {
    need_rule(word);
    cell flag;
    fetch(flag);
    if (flag.type() != TYPE_WORD) raise(error_id::script_parse_rule, flag);
    const int32_t new_mode = logic::false_p(word_value(flag)) ? mode_caseless : mode_case;
    need_rule(word);
    push_keyword(rule_code::case_, 1, 1);
    mode_ = new_mode;
    return state::operand;
  }

  state start_into(const cell& word) {
    if (!block_input_p()) raise(error_id::script_parse_block, input());
    need_rule(word);
    cell rules;
    fetch(rules);
    if (rules.type() == TYPE_WORD && keyword_of(rules) == keyword::none_) rules = word_value(rules);
    if (rules.type() != TYPE_BLOCK) raise(error_id::script_parse_rule, rules);
    matched_ = false;
    if (at_ >= end_index()) return state::route;
    const cell inner = buffer_of(input().payload2)->cells()[at_];
    const uint8_t type = inner.type();
    if (!series::any_block_p(type) && !series::any_string_p(type) && type != TYPE_BINARY) return state::route;
    push_keyword(rule_code::into, 1, 1).saved_level = static_cast<int32_t>(input_level_);
    input_level_ = push_series(inner, -1);
    at_ = std::clamp(series::head_of(inner), 0, input_tail());
    push_sub_rule(rules);
    return state::next;
  }

  // to and thru: an end of input, or a literal, is found by a scan; other rules are tried at
  // each position in turn.
  state start_search(const cell& word, int32_t code) {
    need_rule(word);
    cell rule;
    rule_at(pos_, rule);
    if (keyword_p(rule, keyword::end)) {
      ++pos_;
      at_ = std::max(at_, end_index());
      matched_ = true;
      return state::route;
    }
    if (rule.type() == TYPE_WORD && keyword_of(rule) == keyword::none_) rule = word_value(rule);
    if (scannable_p(rule)) {
      ++pos_;
      const int32_t op = rule.type() == TYPE_LIT_WORD || rule.type() == TYPE_LIT_PATH
                             ? (mode_ == mode_case ? actions::op::parse_strict : actions::op::parse_equal)
                             : mode_;
      int32_t length = 0;
      const int32_t found = scan(rule, op, length);
      matched_ = found >= 0;
      if (matched_) at_ = code == rule_code::to ? found : found + length;
      return state::route;
    }
    push_keyword(code, 1, 1);
    return state::operand;
  }

  bool scannable_p(const cell& rule) {
    const uint8_t type = rule.type();
    if (block_input_p())
      return type != TYPE_BLOCK && type != TYPE_PAREN && type != TYPE_WORD && type != TYPE_SET_WORD &&
             type != TYPE_GET_WORD && type != TYPE_INTEGER;
    if (input().type() == TYPE_BINARY) return type == TYPE_CHAR || type == TYPE_BITSET || type == TYPE_BINARY ||
                                               series::any_string_p(type);
    return type == TYPE_CHAR || type == TYPE_BITSET || series::any_string_p(type);
  }

  // The first position from the current one where the rule matches (its length in `length`),
  // or -1.
  int32_t scan(const cell& rule, int32_t op, int32_t& length) {
    const int32_t end = end_index();
    if (block_input_p()) {
      length = 1;
      const int32_t found = scan_block(rule, op, end);
      if (found >= 0) return found;
      return empty_text_at_end(rule, end, length);
    }
    if (rule.type() == TYPE_CHAR && string_input_p()) {
      length = 1;
      return scan_char(at_, char_::get(rule), op != mode_case, end);
    }
    if (string_input_p() && series::any_string_p(rule.type()) && rule.type() != TYPE_TAG &&
        string::ts_length_p(rule) > 0) {
      // Candidates are where the text's first character stands.
      const uint32_t first = string::ts_abs_at(rule, static_cast<uint32_t>(std::max(series::head_of(rule), 0)));
      for (int32_t from = at_;;) {
        const int32_t found = scan_char(from, first, op != mode_case, end);
        if (found < 0) return -1;
        length = literal_length(rule, op, found);
        if (length >= 0) return found;
        from = found + 1;
      }
    }
    for (int32_t i = at_; i < end; ++i) {
      length = literal_length(rule, op, i);
      if (length >= 0) return i;
    }
    return empty_text_at_end(rule, end, length);
  }

  // The first element from the current position that the rule matches, or -1.
  int32_t scan_block(const cell& rule, int32_t op, int32_t end) {
    if (rule.type() == TYPE_DATATYPE || rule.type() == TYPE_TYPESET) {
      // Nothing here allocates: the buffer stays put.
      const cell* cells = buffer_of(input().payload2)->cells();
      for (int32_t i = at_; i < end; ++i)
        if (type_fits(rule, cells[i].type())) return i;
      return -1;
    }
    for (int32_t i = at_; i < end; ++i)
      if (element_matches_p(buffer_of(input().payload2)->cells()[i], rule, op)) return i;
    return -1;
  }

  // An empty text matches at the end too.
  int32_t empty_text_at_end(const cell& rule, int32_t end, int32_t& length) {
    if (at_ > end || !series::any_string_p(rule.type()) || rule.type() == TYPE_TAG || string::ts_length_p(rule) != 0)
      return -1;
    length = 0;
    return std::max(at_, end);
  }

  int32_t scan_char(int32_t from, uint32_t cp, bool fold, int32_t end) {
    series_buffer* buffer = buffer_of(input().payload2);
    const uint32_t unit = buffer->unit();
    if (unit == 1) {
      const uint8_t* head = buffer->head();
      const int32_t other = cp > 255 ? -2 : fold ? fold_partner[cp] : -1;
      if (other == -1) {
        const void* hit =
            from < end ? std::memchr(head + from, static_cast<int>(cp), static_cast<size_t>(end - from)) : nullptr;
        return hit ? static_cast<int32_t>(static_cast<const uint8_t*>(hit) - head) : -1;
      }
      if (other >= 0) {
        for (int32_t i = from; i < end; ++i)
          if (head[i] == cp || head[i] == static_cast<uint32_t>(other)) return i;
        return -1;
      }
    }
    for (int32_t i = from; i < end; ++i) {
      const uint32_t c = unicode::get_unit(buffer->head(), static_cast<uint32_t>(i), unit);
      if (c == cp || (fold && string::fold_upper(c) == string::fold_upper(cp))) return i;
    }
    return -1;
  }

  // ---- Editing ----

  // The value operand of insert and change.
  cell operand_value(const cell& operand) {
    switch (operand.type()) {
      case TYPE_PATH: raise(error_id::script_parse_rule, operand);
      case TYPE_PAREN: return eval_paren(operand);
      case TYPE_WORD: return word_value(operand);
      default: return operand;
    }
  }

  // A word or get-word whose value is a position in the input itself: that position, else -1.
  int32_t position_operand(const cell& operand) {
    if (operand.type() != TYPE_WORD && operand.type() != TYPE_GET_WORD) return -1;
    if (operand.type() == TYPE_WORD && keyword_of(operand) != keyword::none_) return -1;
    const cell value = *context::get(operand);
    if (value.type() != input().type() || value.payload2 != input().payload2) return -1;
    return std::clamp(series::head_of(value), 0, input_tail());
  }

  bool only_flag(const cell& word) {
    need_rule(word);
    cell next;
    rule_at(pos_, next);
    if (!keyword_p(next, keyword::only)) return false;
    ++pos_;
    need_rule(word);
    return true;
  }

  state do_insert(const cell& word) {
    const bool only = only_flag(word);
    cell operand;
    rule_at(pos_, operand);
    int32_t where = position_operand(operand);
    if (where >= 0) {
      ++pos_;
      if (!rule_at(pos_, operand)) raise(error_id::script_parse_rule, word);
    } else {
      where = at_;
    }
    ++pos_;
    cell item = operand_value(operand);
    const int32_t before = input_tail();
    cell target = input_at(where);
    actions::insert(&target, &item, -1, only, 1, false);
    if (where <= at_) at_ += input_tail() - before;
    matched_ = true;
    return state::next;
  }

  state start_change(const cell& word) {
    const bool only = only_flag(word);
    cell operand;
    rule_at(pos_, operand);
    const int32_t position = position_operand(operand);
    if (position < 0) {
      push_keyword(only ? rule_code::change_only : rule_code::change, 1, 1);
      return state::operand;
    }
    ++pos_;
    if (!rule_at(pos_, operand)) raise(error_id::script_parse_rule, word);
    ++pos_;
    cell item = operand_value(operand);
    const int32_t from = std::min(at_, position), to = std::max(at_, position);
    cell target = input_at(from);
    actions::change(&target, &item, to - from, only, 1);
    at_ = from;
    matched_ = true;
    return state::route;
  }

  // ---- Collecting ----

  // A target given to collect into or after: a series that may take the input's values, and
  // none of the inputs being parsed.
  void check_target(const cell& target) {
    const uint8_t type = target.type(), input_type = input().type();
    const bool text_input = series::any_string_p(input_type) || input_type == TYPE_BINARY;
    const bool fits = type == input_type || series::any_block_p(type) ||
                      (series::any_string_p(type) && text_input) ||
                      (type == TYPE_BINARY && input_type == TYPE_BINARY);
    if (!series::any_series_p(type) || type == TYPE_VECTOR || type == TYPE_IMAGE || !fits)
      raise(error_id::script_parse_into_type);
    for (uint32_t level = guard_.input_base; level < input_top; ++level)
      if (input_limits[level] > target_mark && inputs[level].payload2 == target.payload2)
        raise(error_id::script_parse_into_bad);
  }

  state start_collect(const cell& word) {
    need_rule(word);
    cell next;
    rule_at(pos_, next);
    int32_t kind = collect_kind::plain;
    if (keyword_p(next, keyword::set)) kind = collect_kind::set;
    if (keyword_p(next, keyword::into)) kind = collect_kind::into;
    if (keyword_p(next, keyword::after)) kind = collect_kind::after;
    cell target_word = none::value, target = none::value;
    if (kind != collect_kind::plain) {
      ++pos_;
      if (!rule_at(pos_, target_word) || target_word.type() != TYPE_WORD) raise(error_id::script_parse_end, word);
      ++pos_;
      need_rule(word);
    }
    if (kind == collect_kind::into || kind == collect_kind::after) {
      target = *context::get(target_word);
      check_target(target);
    } else {
      block::make_at(target, 8);
    }
    entry& e = push_keyword(rule_code::collect, 1, 1);
    e.kind = kind;
    e.saved_level = collect_level_;
    e.target_head = series::head_of(target);
    entry_cells[entry_top - 1] = target_word;
    collect_level_ = static_cast<int32_t>(push_series(target, target_mark - kind));
    return state::operand;
  }

  void end_collect(const entry& e) {
    cell target = inputs[collect_level_];
    pop_series();
    collect_level_ = e.saved_level;
    cell& word = entry_cells[entry_top - 1];
    switch (e.kind) {
      case collect_kind::plain:
        if (collect_level_ >= 0)
          collect_insert(target);
        else
          result_ = target;
        break;
      case collect_kind::set: context::set(word, target); break;
      default:
        series::set_head(target, e.target_head);
        context::set(word, target);
    }
  }

  state start_keep(const cell& word) {
    if (collect_level_ < 0) raise(error_id::script_parse_keep);
    need_rule(word);
    cell next;
    rule_at(pos_, next);
    const bool pick = keyword_p(next, keyword::pick);
    if (pick) {
      ++pos_;
      need_rule(word);
      rule_at(pos_, next);
    }
    if (next.type() == TYPE_PAREN) {
      ++pos_;
      keep_value(eval_paren(next), pick);
      matched_ = true;
      return state::route;
    }
    push_keyword(rule_code::keep, 1, 1).kind = pick;
    return state::operand;
  }

  // What the rule under keep matched: the copy's value when that rule was a copy, one value
  // as itself, more as a copy of the range (on a block, one by one with pick).
  void keep_matched(const entry& e) {
    if (e.length_is_code && e.length == rule_code::copy) return keep_value(*context::get(last_copied_), e.kind != 0);
    const int32_t count = std::min(at_, input_tail()) - e.first;
    if (count < 1) return;
    if (count == 1) return keep_value(*series::element_at(input(), static_cast<uint32_t>(e.first)), false);
    if (e.kind && block_input_p()) {
      for (int32_t i = e.first; i < e.first + count && i < input_tail(); ++i)
        collect_insert(buffer_of(input().payload2)->cells()[i]);
      return;
    }
    cell source = input_at(e.first), part = scalar::integer(count), copied = none::value;
    actions::copy(&source, &copied, &part, false, nullptr);
    keep_value(copied, false);
  }

  void keep_value(const cell& value_given, bool pick) {
    const cell value = value_given;
    if (!pick || !series::any_block_p(value.type())) return collect_insert(value);
    const int32_t count = static_cast<int32_t>(buffer_of(value.payload2)->count());
    for (int32_t i = std::max(series::head_of(value), 0); i < count; ++i)
      collect_insert(buffer_of(value.payload2)->cells()[i]);
  }

  // Into the innermost target: into a block as one value, into text or bytes their content;
  // collect into inserts at the target's position and moves it on, the others append.
  void collect_insert(const cell& value_given) {
    cell value = value_given;
    cell& target = inputs[collect_level_];
    const bool one_value = series::any_block_p(target.type());
    if (input_limits[collect_level_] == target_mark - collect_kind::into)
      actions::insert(&target, &value, -1, one_value, 1, false);
    else
      actions::append(&target, &value, -1, one_value, 1, true);
  }

  // ---- Keyword results ----

  state apply() {
    entry& e = entries[entry_top - 1];
    switch (e.code) {
      case rule_code::loop:
      case rule_code::while_: return apply_loop(e);
      case rule_code::to:
      case rule_code::thru:
        if (matched_) {
          if (e.code == rule_code::to) at_ = e.start;
        } else if (e.start < end_index()) {
          at_ = ++e.start;
          pos_ = e.rule_pos;
          return state::operand;
        } else {
          at_ = e.first;
        }
        break;
      case rule_code::copy:
        if (matched_) {
          cell source = input_at(e.first), part = scalar::integer(at_ - e.first), copied = none::value;
          actions::copy(&source, &copied, &part, false, nullptr);
          context::set(entry_cells[entry_top - 1], copied);
          last_copied_ = entry_cells[entry_top - 1];
        }
        break;
      case rule_code::set:
        if (matched_) {
          // A paren may have cut the input short meanwhile.
          const bool some = at_ > e.first && e.first < input_tail();
          const cell value = some ? *series::element_at(input(), static_cast<uint32_t>(e.first)) : none::value;
          context::set(entry_cells[entry_top - 1], value);
        }
        break;
      case rule_code::not_:
        matched_ = !matched_;
        at_ = e.first;
        break;
      case rule_code::ahead: at_ = e.first; break;
      case rule_code::into:
        if (matched_ && at_ < end_index()) matched_ = false;
        pop_series();
        input_level_ = static_cast<uint32_t>(e.saved_level);
        at_ = e.first + (matched_ ? 1 : 0);
        break;
      case rule_code::remove:
        if (matched_ && at_ > e.first) {
          cell target = input_at(e.first), part = scalar::integer(at_ - e.first);
          actions::remove(&target, &part, nullptr);
          at_ = e.first;
        }
        break;
      case rule_code::change:
      case rule_code::change_only: {
        cell operand;
        if (!fetch(operand)) raise(error_id::script_parse_end, words::change);
        if (matched_) {
          cell item = operand_value(operand);
          cell target = input_at(e.first);
          actions::change(&target, &item, at_ - e.first, e.code == rule_code::change_only, 1);
          at_ = series::head_of(target);
        }
        break;
      }
      case rule_code::case_: mode_ = e.saved_mode; break;
      case rule_code::collect: end_collect(e); break;
      case rule_code::keep:
        if (matched_) keep_matched(e);
        break;
      default: break;
    }
    return finish_keyword();
  }

  state apply_loop(entry& e) {
    if (exit_) {
      matched_ = exit_ == exit_break;
      if (!matched_) at_ = e.start;
      exit_ = 0;
      return finish_keyword();
    }
    if (!matched_) {
      at_ = e.start;
      matched_ = e.min == 0 || e.passes >= e.min;
      return finish_keyword();
    }
    ++e.passes;
    notify(words::iterate);
    const int32_t length = input_tail() - at_;
    // A pass that matched without moving the input ends the loop (while repeats regardless).
    const bool stuck = e.code == rule_code::loop && at_ == e.start && (e.length_is_code || length >= e.length);
    if (stuck || (e.max >= 0 && e.passes >= e.max)) {
      matched_ = e.passes >= e.min;
      return finish_keyword();
    }
    e.start = at_;
    e.length = length;
    e.length_is_code = false;
    pos_ = e.rule_pos;
    return state::operand;
  }

  // ---- Parens ----

  // The paren's value; the argument stack top is put back. A pending exit ends the run.
  cell eval_paren(const cell& paren) {
    cell* base = stack::top;
    interpreter::do_block(paren, false);
    const cell value = *base;
    stack::top = base;
    if (stack::pending.code) throw exit_pending{};
    notify(words::paren);
    return value;
  }

  // ---- Tracing ----

  // Reports the event to the trace callback: the event word, the match flag, the rule block at
  // the current rule, the input at the current position and the rule stack as a block.
  void notify(const cell& event, bool at_rule = false) {
    if (!tracing_) return;
    cell arguments[5];
    arguments[0] = event;
    arguments[1] = logic::value_of(matched_);
    arguments[2] = entry_cells[block_];
    // fetch and match show the rule they are about, the one just read.
    series::set_head(arguments[2], static_cast<int32_t>(at_rule && pos_ > 0 ? pos_ - 1 : pos_));
    arguments[3] = input_at(at_);
    arguments[4] = none::value;
    rule_stack_block(arguments[4]);
    const cell answer = interpreter::call_parse_callback(callback_, arguments);
    if (logic::false_p(answer)) throw stop_requested{};
  }

  // The entries of this run, three cells each: a sub-rule entry as none, a triple of its
  // position after it and its input index, and its block; a keyword entry as its target word
  // or a triple of its bounds and pass count, a triple of its rule position, pass start and
  // length, and a pair of its code and pick flag.
  void rule_stack_block(cell& block) {
    block::make_at(block, static_cast<int32_t>((entry_top - guard_.entry_base) * cells_per_entry));
    for (uint32_t i = guard_.entry_base; i < entry_top; ++i) {
      const entry e = entries[i];
      cell first = none::value, second, third;
      if (e.code == 0) {
        triple::make_at(second, static_cast<int32_t>(e.rule_pos), e.start, 0);
        third = entry_cells[i];
      } else {
        if (entry_cells[i].type() == TYPE_WORD)
          first = entry_cells[i];
        else
          triple::make_at(first, e.min, e.max, e.passes + 1);
        triple::make_at(second, static_cast<int32_t>(e.rule_pos), e.start, e.length);
        pair::make_at(third, e.code, e.code == rule_code::keep ? e.kind : 0);
      }
      block::append_cell(block, first);
      block::append_cell(block, second);
      block::append_cell(block, third);
    }
  }
};

}  // namespace

void set_counting_loops(bool on) { counting_loops = on; }

void init() {
  for (uint32_t c = 0; c < 256; ++c) fold_table[c] = string::fold_upper(c);
  for (uint32_t c = 0; c < 256; ++c) {
    fold_partner[c] = -1;
    for (uint32_t d = 0; d < 256; ++d)
      if (d != c && fold_table[d] == fold_table[c]) fold_partner[c] = fold_partner[c] == -1 ? int32_t(d) : -2;
  }
  static bool rooted = false;
  if (!rooted) {
    collector::add_root_range(entry_cells, entry_capacity);
    collector::add_root_range(inputs, input_capacity);
    rooted = true;
  }
  for (cell& value : entry_cells) value = none::value;
  for (cell& value : inputs) value = none::value;
  entry_top = input_top = 0;
  keyword_table.clear();
  keyword_by_symbol.clear();
  add_keyword(symbols::any, keyword::any);
  add_keyword(symbols::some, keyword::some);
  add_keyword(symbols::opt, keyword::opt);
  add_keyword(symbols::while_, keyword::while_);
  add_keyword(symbols::to, keyword::to);
  add_keyword(symbols::thru, keyword::thru);
  add_keyword(symbols::copy, keyword::copy);
  add_keyword(symbols::set, keyword::set);
  add_keyword(symbols::not_, keyword::not_);
  add_keyword(symbols::into, keyword::into);
  add_keyword(symbols::ahead, keyword::ahead);
  add_keyword(symbols::case_, keyword::case_);
  add_keyword(symbols::collect, keyword::collect);
  add_keyword(symbols::keep, keyword::keep);
  add_keyword(symbols::pick, keyword::pick);
  add_keyword(symbols::skip, keyword::skip);
  add_keyword(symbols::end, keyword::end);
  add_keyword(symbols::none, keyword::none);
  add_keyword(symbols::fail, keyword::fail);
  add_keyword(symbols::break_, keyword::break_);
  add_keyword(symbols::reject, keyword::reject);
  add_keyword(symbols::quote, keyword::quote);
  add_keyword(symbols::if_, keyword::if_);
  add_keyword(symbols::remove, keyword::remove);
  add_keyword(word::symbol_of(words::change), keyword::change);
  add_keyword(symbols::insert, keyword::insert);
  add_keyword(symbols::only, keyword::only);
  add_keyword(symbols::after, keyword::after);
  add_keyword(symbols::bar, keyword::bar);
}

cell run_rules(const cell& input, const cell& rules, int32_t mode, int32_t limit, const cell* callback) {
  stacks_guard guard;
  engine machine(mode, guard, callback);
  try {
    return machine.run(input, rules, limit);
  } catch (const exit_pending&) {
    return logic::value_of(false);
  }
}

}  // namespace tav::parser

namespace tav::natives {

namespace {

constexpr uint32_t index_parse = 40;

// The /part limit as an index into the input: a length from its head, or a position in it.
int32_t part_limit(const cell& input, const cell& part) {
  const int32_t head = std::max(series::head_of(input), 0);
  if (part.type() == TYPE_INTEGER) return head + std::max(scalar::integer_value(part), -head);
  if (part.type() == TYPE_FLOAT || part.type() == TYPE_PERCENT) {
    const double length = float_::get(part);
    const int32_t whole = length >= 2147483647.0 ? 2147483647 : length <= -2147483648.0 ? -2147483647 - 1
                        : length != length                   ? 0
                                                             : static_cast<int32_t>(length);
    return head + std::max(whole, -head);
  }
  // A position in the same series, whichever buffer it lives in now.
  if (part.type() != input.type() || part.payload2 != input.payload2) series::invalid_refine_arg("part", part);
  return std::max(series::head_of(part), 0);
}

}  // namespace

// parse input rules /case /part length /trace callback
void parse_stack(const int32_t* parameters) {
  check_arguments(index_parse, parameters);
  const cell input = *stack::argument(0), rules = *stack::argument(1);
  const int32_t mode = parameters[1] >= 0 ? parser::mode_case : parser::mode_caseless;
  int32_t limit = -1;
  if (parameters[2] >= 0) {
    limit = part_limit(input, *stack::argument(static_cast<uint32_t>(parameters[2])));
    if (limit <= std::max(series::head_of(input), 0)) {
      // Nothing to match: the rules are not run.
      const int32_t count = static_cast<int32_t>(buffer_of(input.payload2)->count());
      stack::set_last_keep(logic::value_of(series::head_of(input) >= count));
      return;
    }
  }
  const cell* callback = parameters[3] >= 0 ? stack::argument(static_cast<uint32_t>(parameters[3])) : nullptr;
  const stack::position at = stack::here();
  cell result = logic::value_of(false);
  catch_slot(
      code::break_, [&] { result = parser::run_rules(input, rules, mode, limit, callback); },
      [&](uint32_t thrown) {
        if (thrown < code::throw_ || thrown > code::break_) system_throw(thrown);
        stack::restore(at);
      });
  if (stack::pending.code) return;
  stack::set_last_keep(result);
}

}  // namespace tav::natives
