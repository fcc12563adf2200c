// Action dispatch and word access: calls per second through the action table (typed
// dispatcher and stack entry) and word reads and writes through contexts, each beside the
// same work done by a direct C call or a plain array access.
#include <chrono>
#include <cstdio>

#include "datatypes/actions.hpp"
#include "datatypes/context.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/stack.hpp"
#include "runtime/memory.hpp"
#include "runtime/random.hpp"

namespace {

using namespace tav;
using clock_type = std::chrono::steady_clock;

constexpr long iterations = 20000000;
constexpr int rounds = 5;

// Best of `rounds` runs, in millions of operations per second.
template <class Body>
double best_rate(Body body) {
  double best = 0;
  for (int r = 0; r < rounds; ++r) {
    auto start = clock_type::now();
    long sink = body();
    auto stop = clock_type::now();
    double seconds = std::chrono::duration<double>(stop - start).count();
    double rate = iterations / seconds / 1e6;
    if (rate > best) best = rate;
    if (sink == 42) std::printf(" ");  // keeps the work observable
  }
  return best;
}

// The baseline: the same comparison called straight through a function pointer that the
// compiler cannot see through.
int32_t (*volatile direct_compare)(cell*, cell*, int32_t) = logic::compare;

cell plain_slots[4000];

}  // namespace

int main() {
  rng::init();
  memory::init();
  datatype::register_all();
  stack::init();
  symbol::init_table();
  context::init_global();
  datatype::make_words();

  cell values[2] = {logic::value_of(true), logic::value_of(false)};
  double typed = best_rate([&] {
    long equal = 0;
    for (long i = 0; i < iterations; ++i) equal += actions::compare(&values[i & 1], &values[1], actions::op::equal);
    return equal;
  });
  double via_pointer = best_rate([&] {
    long equal = 0;
    for (long i = 0; i < iterations; ++i) equal += direct_compare(&values[i & 1], &values[1], actions::op::equal) == 0;
    return equal;
  });
  double entry = best_rate([&] {
    long equal = 0;
    int32_t op = actions::op::equal;
    for (long i = 0; i < iterations; ++i) {
      stack::arguments = stack::top = stack::bottom;
      stack::push_copy(values[i & 1]);
      stack::push_copy(values[1]);
      actions::entry::compare(&op);
      equal += stack::bottom->payload1;
    }
    return equal;
  });

  cell word = *word::load("counter");
  cell other = *word::load("other");
  context::set(other, scalar::integer(0));
  double words = best_rate([&] {
    for (long i = 0; i < iterations; ++i) {
      cell* value = context::get(word.type() ? other : word);
      context::set(word, *value);
      value->payload2 += 1;
    }
    return static_cast<long>(context::get(other)->payload2);
  });
  uint32_t slot = static_cast<uint32_t>(word::index_of(word)), other_slot = static_cast<uint32_t>(word::index_of(other));
  double plain = best_rate([&] {
    for (long i = 0; i < iterations; ++i) {
      cell* value = &plain_slots[other_slot];
      plain_slots[slot] = *value;
      value->payload2 += 1;
    }
    return static_cast<long>(plain_slots[other_slot].payload2);
  });

  std::printf("action dispatch, typed compare      %8.1f M calls/s\n", typed);
  std::printf("action dispatch, compare stack entry %7.1f M calls/s\n", entry);
  std::printf("baseline: direct C call by pointer  %8.1f M calls/s\n", via_pointer);
  std::printf("word get + set through the context  %8.1f M pairs/s\n", words);
  std::printf("baseline: plain array read + write  %8.1f M pairs/s\n", plain);
  return 0;
}
