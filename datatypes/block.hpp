// block!: the list of values code and data are made of. The block API below is how runtime code
// everywhere builds and walks blocks; the handlers follow, registered for block! and inherited
// by paren!, the path types and hash!.
//
// A block cell is a series cell (see datatypes/series.hpp) whose buffer has 16-byte units.
// Addresses answered here point into the buffer: they are valid until the next allocation, so
// keep the cell (or its node) across anything that may allocate and ask again.
#pragma once
#include <cstdint>
#include <cstring>

#include "datatypes/series.hpp"
#include "runtime/cell.hpp"

namespace tav::block {

inline cell value_of(node_id node, int32_t head = 0, uint8_t type = TYPE_BLOCK) {
  return cell{type, static_cast<uint32_t>(head), node, 0};
}

// ---- Walking --------------------------------------------------------------------------------

// Cells from the head index to the tail; negative when the index lies past the tail.
int32_t ts_length_p(const cell& block);
// Moves the index on by one unless that passes the tail; answers whether the head is then at
// the tail.
bool ts_next(cell& block);
// The head cell, after pulling an index past the tail back to the tail.
cell* ts_head(cell& block);
cell* ts_tail(const cell& block);
bool ts_tail_p(const cell& block);
// Cell i counted from the buffer start (0-based).
cell* ts_abs_at(const cell& block, uint32_t i);

// ---- Building -------------------------------------------------------------------------------

// An empty block! in the cell with room for `size` cells (below 1: 1).
void make_at(cell& target, int32_t size);
// The same with every cell of the new buffer preset to unset!; `fixed` takes the buffer from the
// tracked heap, outside the collected frames, where it never moves.
void make_at_fixed(cell& target, int32_t size, bool fixed);
// A new empty block made in a new tail cell of `parent` (a block-family or map! value), or, when
// `parent` is null, in one scratch cell that the next such call overwrites. make_fixed makes its
// buffer outside the collected frames.
cell* make_in(cell* parent, int32_t size);
cell* make_fixed(cell* parent, int32_t size);
// New empty block! pushed on the argument stack (size 0 counts as 1).
cell* push_only(int32_t size);
// Copies the value onto the argument stack.
cell* push(const cell& value);

// A copy of the value in a new tail cell; answers that cell.
cell* append_cell(const cell& block, const cell& value);
// append without refinements where it is the simplest: a value that does not spread, put at the
// tail of a block! nobody owns and whose buffer has room, the block's index then at its head.
// Answers false, having changed nothing, anywhere else.
inline bool append_in_place(cell& block, const cell& value) {
  if (block.type() != TYPE_BLOCK || series::any_block_p(value.type())) return false;
  series_buffer* b = series::buffer(block);
  if ((b->flags & series_flag::owned) || b->tail + sizeof(cell) > b->size) return false;
  const cell copy = value;
  std::memcpy(b->end(), &copy, sizeof(cell));
  b->tail += sizeof(cell);
  series::set_head(block, 0);
  return true;
}
// Copies of the source's cells from its head to its tail at the target's tail; answers the target.
cell& append_values(cell& target, const cell& source);
// A copy of the value at the head (or at the buffer start); with `advance` the index moves past it.
void insert_value(cell& block, const cell& value, bool advance, bool at_start);
// Every cell of the source at the target's head, the target's index moving past them.
void insert_block(cell& target, const cell& source);
// Stack operations: insert_result puts the result cell into the block in the cell just below it
// (advancing that block); append_result appends the result cell to the block just below it;
// append_arg appends argument 1 to the block in argument 0 and answers that block.
cell* insert_result();
cell* append_result();
cell* append_arg();

void ts_clear(cell& block);
// tail := buffer start + n cells.
void set_tail_at(const cell& block, uint32_t n);
// Drops the last cell when there is one; an index past the new tail comes back to it.
void ts_remove_last(cell& block);

// ---- Looking up -----------------------------------------------------------------------------

// The cell after the first element from the head equal to the key (find equality, decided by the
// key's own compare handler with the key first), or the none cell; also none when the match is
// the last element.
cell* select_value(const cell& block, const cell& key);
// Removes the first element equal to the key (as select_value compares), from the buffer start
// with `from_start`, else from the head. Answers 1 when the removed element's position from the
// buffer start is at most the block's index, else 0 (0 also when nothing was removed).
int32_t remove_value(const cell& block, const cell& key, bool from_start);
// The cell after the first word!, set-word!, lit-word! or get-word! of the word's symbol (with
// `case_sensitive` the exact symbol, else its case variants too), or the none cell; also none
// when the match is the last element.
cell* find_word(const cell& block, const cell& word, bool case_sensitive);

// ---- Copying --------------------------------------------------------------------------------

// Pushes a new block (index 0) holding copies of the cells from the head to the tail. With
// `deep` nested block! values (and with `paths` paren! and the path types) are cloned the same
// way; a block that contains itself raises internal/no-cycle. The result has only the source's
// type byte.
cell* clone(const cell& block, bool deep, bool paths);
// Every `step`th cell of [start, end) whose type is in the typeset (or is the datatype) and that
// is a series, bitset!, object!, error! or map! is replaced by its copy (copy with deep and types).
void copy_typed_values(cell* start, cell* end, int32_t step, bool deep, const cell& types);

// ---- Hooks for later layers -----------------------------------------------------------------

// Calls a function! comparator of `sort` with two arguments in a frame named <compare-callback>
// and answers its result. Installed by the interpreter; until then a function comparator raises
// internal/not-done.
using comparator_call = cell (*)(const cell& comparator, const cell& first, const cell& second);
void set_comparator_call(comparator_call call);

// Loads the values of a string! into a new block in `result` (what `to block!` of a string
// does). Installed by the lexer; until then that conversion raises internal/not-done.
using text_loader = void (*)(const cell& text, cell& result);
void set_text_loader(text_loader loader);

// Raised around each element molded; the output layer reads it.
extern int32_t mold_depth;

// ---- Handlers -------------------------------------------------------------------------------

cell* make(cell* prototype, cell* spec, int32_t type);
cell* to(cell* prototype, cell* spec, int32_t type);
int32_t form(cell* value, cell* buffer, cell* part, int32_t limit);
int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent);
cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell* container, cell* previous,
                int32_t index, bool case_sensitive, bool get, bool last, bool store_back);
int32_t compare(cell* value1, cell* value2, int32_t op);
// append and insert; `part` -1 means all of the value, `append` picks the tail.
cell* insert(cell* series, cell* value, int32_t part, bool only, int32_t dup, bool append);
cell* change(cell* series, cell* value, int32_t part, bool only, int32_t dup);
cell* copy(cell* value, cell* result, cell* part, bool deep, cell* types);
cell* find(cell* series, cell* value, cell* part, bool only, bool case_sensitive, bool same, bool any, cell* with,
           cell* skip, bool last, bool reverse, bool tail, bool match);
cell* put(cell* series, cell* key, cell* value, bool case_sensitive);
cell* select(cell* series, cell* value, cell* part, bool only, bool case_sensitive, bool same, bool any, cell* with,
             cell* skip, bool last, bool reverse);
cell* sort(cell* series, bool case_sensitive, cell* skip, cell* comparator, cell* part, bool all, bool reverse,
           bool stable);
cell* swap(cell* series1, cell* series2);
cell* take(cell* series, cell* part, bool deep, bool last);
cell* trim(cell* series, bool head, bool tail, bool auto_, bool lines, bool all, cell* with);

// Set operation codes of do_set_op.
namespace set_op {
inline constexpr int32_t unique = 8, union_ = 9, intersect = 10, exclude = 11, difference = 12;
}
// The set operation on the series in arguments 0 and 1 (only 0 for unique); records of the skip
// size (a null skip: 1). The new series goes into argument 0, which is answered: a hash! when the
// first series (or, for the two-series operations, either) is one, else a block!.
cell* do_set_op(bool case_sensitive, cell* skip, int32_t op);

void init();

namespace detail {
// The search module's share of init: its scratch blocks are forgotten.
void init_search();
}  // namespace detail

}  // namespace tav::block
