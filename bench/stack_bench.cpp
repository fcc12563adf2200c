// Call stack: a frame push and pop, and a break out of a loop and a return from a function
// through three frames (function, evaluation, the native's own), each as milliseconds per
// million. Beside them: the C library's setjmp/longjmp over the same depth, and a C++
// exception, which is what a pending exit spares the hot path.
#include <chrono>
#include <csetjmp>
#include <cstdio>

#include "boot/startup.hpp"
#include "datatypes/context.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/word.hpp"
#include "interpreter/stack.hpp"
#include "runtime/platform.hpp"

namespace {

using namespace tav;
using clock_type = std::chrono::steady_clock;

constexpr long iterations = 10000000;
constexpr int rounds = 5;

// Best of `rounds` runs, in milliseconds per million operations.
template <class Body>
double best_ms_per_million(Body body) {
  double best = 1e300;
  for (int r = 0; r < rounds; ++r) {
    auto start = clock_type::now();
    long sink = body();
    auto stop = clock_type::now();
    double ms = std::chrono::duration<double, std::milli>(stop - start).count() / (iterations / 1e6);
    if (ms < best) best = ms;
    if (sink == 42) std::printf(" ");  // keeps the work observable
  }
  return best;
}

cell name_of(const char* spelling) {
  cell word;
  word::make_at(word, symbol::make(spelling));
  return word;
}

// Three layers between the exit and the frame that stops it, each returning while an exit
// is pending and popping its own frame, as evaluation does.
[[gnu::noinline]] void native_layer(const cell& name, bool return_) {
  stack::push_native_frame(name);
  if (return_) {
    static const cell value{11, 0, 1, 0};
    stack::throw_return(&value);
  } else {
    stack::throw_break(false, false, nullptr);
  }
  stack::pop_frame();
}

[[gnu::noinline]] void eval_layer(const cell& name, bool return_) {
  stack::push_eval_frame(name);
  native_layer(name, return_);
  if (stack::pending.code) [[unlikely]] {
    stack::pop_frame();  // the rest of the block is not evaluated
    return;
  }
  stack::pop_frame();
}

[[gnu::noinline]] void call_layer(const cell& name, bool return_) {
  stack::push_interp_call_frame(name);
  eval_layer(name, return_);
  stack::pop_frame();
}

std::jmp_buf target;
[[gnu::noinline]] void jump_3() { std::longjmp(target, 1); }
[[gnu::noinline]] void jump_2() { jump_3(); }
[[gnu::noinline]] void jump_1() { jump_2(); }

struct exit_signal {};
[[gnu::noinline]] void throw_3() { throw exit_signal{}; }
[[gnu::noinline]] void throw_2() { throw_3(); }
[[gnu::noinline]] void throw_1() { throw_2(); }

int run(void*) {
  boot::init_runtime();
  cell name = name_of("f");

  double push_pop = best_ms_per_million([&] {
    long frames = 0;
    for (long i = 0; i < iterations; ++i) {
      stack::push_native_frame(name);
      frames += stack::frame_count();
      stack::pop_frame();
    }
    return frames;
  });

  double break_out = best_ms_per_million([&] {
    long taken = 0;
    uint32_t loop = stack::frame_index(stack::push_loop_frame(name));
    for (long i = 0; i < iterations; ++i) {
      eval_layer(name, false);
      taken += stack::take_exit(loop) == code::break_;
    }
    stack::pop_frame();
    return taken;
  });

  double return_out = best_ms_per_million([&] {
    long taken = 0;
    node_id locals = context::create(1, true, false, 0, context::kind_function);
    for (long i = 0; i < iterations; ++i) {
      uint32_t body = stack::frame_index(stack::push_function_frame(name, locals));
      call_layer(name, true);
      taken += stack::take_exit(body) == code::return_;
      stack::pop_frame();
    }
    return taken;
  });

  double jump = best_ms_per_million([&] {
    long landed = 0;
    for (long i = 0; i < iterations; ++i) {
      if (setjmp(target) == 0) jump_1();
      ++landed;
    }
    return landed;
  });

  long exception_iterations = iterations / 10;
  double exception = best_ms_per_million([&] {
    long caught = 0;
    for (long i = 0; i < exception_iterations; ++i) {
      try {
        throw_1();
      } catch (const exit_signal&) {
        ++caught;
      }
    }
    return caught;
  }) * 10;

  std::printf("frame push + pop            %8.2f ms per million\n", push_pop);
  std::printf("break out of a loop         %8.2f ms per million (3 frames)\n", break_out);
  std::printf("return from a function      %8.2f ms per million (3 frames)\n", return_out);
  std::printf("setjmp + longjmp (C)        %8.2f ms per million (3 calls)\n", jump);
  std::printf("C++ throw + catch           %8.2f ms per million (3 calls)\n", exception);
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return platform::start_up(argc, argv, run, nullptr); }
