// Series iteration natives: foreach, forall and remove-each, with the step routines that walk
// the state they keep below their loop frame.
#include "interpreter/natives_iteration.hpp"

#include <algorithm>

#include "datatypes/actions.hpp"
#include "datatypes/context.hpp"
#include "datatypes/image.hpp"
#include "datatypes/map.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/runtime_words.hpp"
#include "datatypes/series.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/natives.hpp"
#include "interpreter/natives_loop.hpp"
#include "interpreter/stack.hpp"
#include "runtime/errors.hpp"

namespace tav::natives {

namespace {

constexpr uint32_t index_foreach = 11, index_forall = 12, index_remove_each = 13;

// The state cells below the loop frame's arguments.
inline cell& loop_words() { return stack::arguments[-1]; }
inline cell& loop_series() { return stack::arguments[-2]; }
inline cell& record_size() { return stack::arguments[-3]; }

inline void set_word(const cell& word, const cell& value) { loop::set_loop_word(word, value); }

// Element `at` (a unit position from the buffer's offset) as a value; the series is before its
// tail there.
inline cell element(const cell& series, uint32_t at) {
  series_buffer* buffer = buffer_of(series.payload2);
  if (buffer->unit() == sizeof(cell)) return buffer->cells()[at];
  return *series::element_at(series, at);
}

// Word i (from 0) of a words block, checked to be one: the block may have changed since the
// loop started.
const cell& word_in(const cell& words, uint32_t i) {
  series_buffer* buffer = buffer_of(words.payload2);
  const uint32_t at = words.payload1 + i;
  if (at >= buffer->count()) fire(error_id::script_invalid_arg, words);
  const cell& word = buffer->cells()[at];
  if (!plain_word_p(word.type())) fire(error_id::script_invalid_arg, word);
  return word;
}

// The words of a loop: a block of at least one word, every item a word.
int32_t words_count(const cell& words) {
  const int32_t n = static_cast<int32_t>(buffer_of(words.payload2)->count()) - static_cast<int32_t>(words.payload1);
  if (n <= 0 || words.payload1 > buffer_of(words.payload2)->count()) fire(error_id::script_invalid_arg, words);
  for (uint32_t i = 0; i < static_cast<uint32_t>(n); ++i) word_in(words, i);
  return n;
}

// The value at position i (from 0) from a series' head; none past its tail.
cell value_from(const cell& series, uint32_t i) {
  const uint64_t at = uint64_t{series.payload1} + i;
  if (at >= buffer_of(series.payload2)->count()) return none::value;
  return element(series, static_cast<uint32_t>(at));
}

// Sets the words to the tuples of the pixels from the image's index; none past its tail.
void image_set_many(const cell& words_given, const cell& image_given, int32_t count) {
  const cell words = words_given, pixels = image_given;
  for (uint32_t i = 0; i < static_cast<uint32_t>(std::max(count, 0)); ++i) {
    const cell value = image::get_pixel(pixels, pixels.payload1 + i);
    set_word(word_in(words, i), value);
  }
}

bool iterable_p(uint8_t type) { return series::any_series_p(type); }

// Whether a series' head lies before its tail. A negative head reads as a huge unsigned one and
// is never before the tail.
[[gnu::always_inline]] inline bool more_p(const cell& series) {
  if (series.type() == TYPE_IMAGE) return series.payload1 < image::count_of(series);
  series_buffer* buffer = buffer_of(series.payload2);
  return uint64_t{buffer->offset} + uint64_t{series.payload1} * buffer->unit() < buffer->tail;
}

// The next value of a one-word foreach into its word; false at the tail.
[[gnu::always_inline]] inline bool next_value() {
  cell& series = loop_series();
  if (!more_p(series)) return false;
  const uint32_t at = series.payload1;
  const cell value = series.type() == TYPE_IMAGE ? image::get_pixel(series, at) : element(series, at);
  series.payload1 = at + 1;
  set_word(loop_words(), value);
  return true;
}

}  // namespace

// ---- Step routines --------------------------------------------------------------------------

bool series_more_p(const cell& series) { return more_p(series); }

bool foreach_next() { return next_value(); }

bool foreach_next_block(int32_t n) {
  cell& series = loop_series();
  bool more = series_more_p(series);
  if (more && n > 0) {
    const cell at = series;
    if (at.type() == TYPE_MAP) {
      if (n != 2) fire(error_id::script_invalid_arg, loop_words());
      more = map::set_many(loop_words(), series, n);
    } else if (at.type() == TYPE_IMAGE) {
      image_set_many(loop_words(), at, n);
    } else if (series::any_block_p(at.type()))
      set_many(loop_words(), at, n, true, false, false);
    else
      set_words_from(loop_words(), at, n);
  }
  series.payload1 += static_cast<uint32_t>(n);
  return more;
}

void set_many(const cell& words_given, const cell& value_given, int32_t count, bool any, bool only, bool some) {
  const cell words = words_given, value = value_given;
  const bool spread = !only && series::any_block_p(value.type());
  const auto n = static_cast<uint32_t>(std::max(count, 0));
  if (spread) {
    for (uint32_t i = 0; i < n; ++i) {
      const cell& word = word_in(words, i);
      if (!any && value_from(value, i).type() == TYPE_UNSET) fire(error_id::script_need_value, word);
    }
  }
  for (uint32_t i = 0; i < n; ++i) {
    const cell item = spread ? value_from(value, i) : value;
    if (some && item.type() == TYPE_NONE) continue;
    set_word(word_in(words, i), item);
  }
}

void set_words_from(const cell& words_given, const cell& series_given, int32_t count) {
  const cell words = words_given, series = series_given;
  for (uint32_t i = 0; i < static_cast<uint32_t>(std::max(count, 0)); ++i) {
    const cell value = value_from(series, i);
    set_word(word_in(words, i), value);
  }
}

void remove_each_next(int32_t n) {
  if (logic::false_p(*stack::arguments)) return;
  cell& series = loop_series();
  series::set_head(series, std::max(series::head_of(series) - n, 0));
  cell* part = n > 1 ? &record_size() : nullptr;
  const cell* left = actions::remove(&series, part, nullptr);
  series.payload1 = left->payload1;
}

bool forall_next(bool advance) {
  cell* value = context::get(loop_words());
  const cell& started = loop_series();
  if (value->type() != started.type() || value->payload2 != started.payload2)
    fire(error_id::script_bad_loop_series, *value);
  if (advance) value->payload1 += 1;
  return !series_more_p(*value);
}

void forall_end() {
  const cell started = loop_series();
  set_word(loop_words(), started);
}

// ---- Natives --------------------------------------------------------------------------------

// foreach :word series body: the last body value; unset when no pass ran.
void foreach_stack(const int32_t* parameters) {
  check_arguments(index_foreach, parameters);
  const cell words = *stack::argument(0), body = *stack::argument(2);
  const int32_t n = words.type() == TYPE_BLOCK ? words_count(words) : 0;
  if (words.type() != TYPE_BLOCK && stack::argument(1)->type() == TYPE_MAP)
    fire(error_id::script_invalid_arg, words);
  stack::push_copy(*stack::argument(1));
  stack::push_copy(words);
  const uint32_t frame = loop::push_loop_frame();
  stack::set_last_keep(unset::value);
  for (;;) {
    if (!(n > 0 ? foreach_next_block(n) : next_value())) break;
    loop::run(body, false);
    const loop::after next = loop::after_pass(frame);
    if (next == loop::after::leave) return;
    if (next == loop::after::stop) break;
  }
  stack::pop_frame_last();
}

// forall :word body: the word's series moved on one value per pass; the word comes back to
// where it started unless break ended the loop.
void forall_stack(const int32_t* parameters) {
  check_arguments(index_forall, parameters);
  const cell word = *stack::argument(0), body = *stack::argument(1);
  const cell started = *context::get(word);
  if (!iterable_p(started.type())) {
    cell type;
    datatype::make_at(type, started.type());
    const cell native = *word::load(word_of(index_forall));
    const cell argument = *word::load("word");
    fire(error_id::script_expect_arg, native, type, argument);
  }
  stack::push_copy(started);
  stack::push_copy(word);
  const uint32_t frame = loop::push_loop_frame();
  stack::set_last_keep(unset::value);
  bool broken = false;
  if (series_more_p(started)) {
    for (;;) {
      loop::run(body, false);
      const loop::after next = loop::after_pass(frame);
      if (next == loop::after::leave) return;
      if (next == loop::after::stop) {
        broken = true;
        break;
      }
      if (forall_next(true)) break;
    }
  }
  if (!broken) forall_end();
  stack::pop_frame_last();
}

// remove-each :word data body: the values for which the body is truthy are removed; the result
// is the data at its starting position.
void remove_each_stack(const int32_t* parameters) {
  check_arguments(index_remove_each, parameters);
  const cell words = *stack::argument(0), body = *stack::argument(2);
  const bool block = words.type() == TYPE_BLOCK;
  int32_t n = 1;
  if (block) {
    n = static_cast<int32_t>(buffer_of(words.payload2)->count()) - static_cast<int32_t>(words.payload1);
    if (n > 0) words_count(words);
  }
  stack::push_copy(scalar::integer(n));
  stack::push_copy(*stack::argument(1));
  stack::push_copy(words);
  const uint32_t frame = loop::push_loop_frame();
  stack::set_last_keep(unset::value);
  while (n > 0 && (block ? foreach_next_block(n) : foreach_next())) {
    loop::run(body, false);
    const bool normal = !stack::pending.code;
    const loop::after next = loop::after_pass(frame);
    if (next == loop::after::leave) return;
    if (next == loop::after::stop) break;
    if (normal) remove_each_next(n);
  }
  stack::pop_frame_reset();
  stack::set_last_keep(*stack::argument(1));
}

}  // namespace tav::natives
