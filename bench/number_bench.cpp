// Number arithmetic: integer! and float! additions per second through the add action's
// stack entry, an integer overflow that hands over to float!, and the float text writers,
// each beside the same work done in plain C++ or by snprintf.
#include <chrono>
#include <cstdio>

#include "datatypes/actions.hpp"
#include "datatypes/context.hpp"
#include "datatypes/float.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/values.hpp"
#include "interpreter/stack.hpp"
#include "runtime/float_text.hpp"
#include "runtime/memory.hpp"
#include "runtime/random.hpp"

namespace {

using namespace tav;
using clock_type = std::chrono::steady_clock;

constexpr long iterations = 10000000;
constexpr int rounds = 5;

// Best of `rounds` runs, in millions of operations per second.
template <class Body>
double best_rate(long count, Body body) {
  double best = 0;
  for (int r = 0; r < rounds; ++r) {
    auto start = clock_type::now();
    double sink = body();
    auto stop = clock_type::now();
    double rate = count / std::chrono::duration<double>(stop - start).count() / 1e6;
    if (rate > best) best = rate;
    if (sink == 42.125) std::printf(" ");  // keeps the work observable
  }
  return best;
}

// One add through the stack entry, as an action! call makes it.
double add_entry(const cell& a, const cell& b) {
  stack::arguments = stack::top = stack::bottom;
  stack::push_copy(a);
  stack::push_copy(b);
  actions::entry::add(nullptr);
  const cell& result = *stack::bottom;
  return result.type() == TYPE_INTEGER ? scalar::integer_value(result) : scalar::float_value(result);
}

int32_t (*volatile plain_int_add)(int32_t, int32_t) = [](int32_t a, int32_t b) { return a + b; };
double (*volatile plain_float_add)(double, double) = [](double a, double b) { return a + b; };

}  // namespace

int main() {
  rng::init();
  memory::init();
  datatype::register_all();
  stack::init();
  symbol::init_table();
  context::init_global();
  datatype::make_words();

  double integers = best_rate(iterations, [] {
    double total = 0;
    for (long i = 0; i < iterations; ++i)
      total += add_entry(scalar::integer(static_cast<int32_t>(i)), scalar::integer(3));
    return total;
  });
  double overflowing = best_rate(iterations, [] {
    double total = 0;
    for (long i = 0; i < iterations; ++i)
      total += add_entry(scalar::integer(2147483647), scalar::integer(static_cast<int32_t>(i)));
    return total;
  });
  double floats = best_rate(iterations, [] {
    double total = 0;
    for (long i = 0; i < iterations; ++i) total += add_entry(scalar::float_cell(i * 0.5), scalar::float_cell(0.25));
    return total;
  });
  double mixed = best_rate(iterations, [] {
    double total = 0;
    for (long i = 0; i < iterations; ++i)
      total += add_entry(scalar::integer(static_cast<int32_t>(i)), scalar::float_cell(0.25));
    return total;
  });
  double plain_ints = best_rate(iterations, [] {
    double total = 0;
    for (long i = 0; i < iterations; ++i) total += plain_int_add(static_cast<int32_t>(i), 3);
    return total;
  });
  double plain_floats = best_rate(iterations, [] {
    double total = 0;
    for (long i = 0; i < iterations; ++i) total += plain_float_add(i * 0.5, 0.25);
    return total;
  });

  constexpr long texts = 1000000;
  double formed = best_rate(texts, [] {
    double total = 0;
    for (long i = 0; i < texts; ++i) total += float_::format(i * 0.1 + 0.2, 1)[0];
    return total;
  });
  double molded = best_rate(texts, [] {
    double total = 0;
    for (long i = 0; i < texts; ++i) total += form_float(i * 0.1 + 0.2, 0, true)[0];
    return total;
  });
  double printed = best_rate(texts, [] {
    char text[32];
    double total = 0;
    for (long i = 0; i < texts; ++i) {
      std::snprintf(text, sizeof text, "%.17g", i * 0.1 + 0.2);
      total += text[0];
    }
    return total;
  });

  std::printf("integer! add through the add entry      %8.1f M/s\n", integers);
  std::printf("integer! add overflowing to float!      %8.1f M/s\n", overflowing);
  std::printf("float! add through the add entry        %8.1f M/s\n", floats);
  std::printf("integer! + float! through the add entry %8.1f M/s\n", mixed);
  std::printf("baseline: int32 add by function pointer %8.1f M/s\n", plain_ints);
  std::printf("baseline: double add by function pointer %7.1f M/s\n", plain_floats);
  std::printf("form of a float! (general format)       %8.2f M/s\n", formed);
  std::printf("mold of a float! (shortest round trip)  %8.2f M/s\n", molded);
  std::printf("baseline: snprintf %%.17g                 %8.2f M/s\n", printed);
  return 0;
}
