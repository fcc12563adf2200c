// System throw, catch slots, the runtime-error report and fault signals.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include "runtime/console_out.hpp"
#include "runtime/output_hooks.hpp"
#include "runtime/platform.hpp"
#include "runtime/throw.hpp"

namespace tav {
namespace {

TEST(CatchSlot, AcceptsCodesUpToItsThresholdUnsigned) {
  struct row {
    uint32_t threshold, code;
    bool accepted;
  };
  for (const row& r : {row{0x7FFFFFFE, 0x7FFFFFFE, true}, row{0x7FFFFFFE, 0x7FFFFFFF, false},
                       row{0x7FFFFFF8, 0x7FFFFFF7, true}, row{0, 1, false}, row{0x7FFFFFFF, 0xFFFFFFFF, false},
                       row{0xFFFFFFFF, 0xFFFFFFFF, true}}) {
    uint32_t threshold = r.threshold, thrown = r.code;
    bool accepted = r.accepted;
    bool outer_saw = false;
    uint32_t code_to_throw = thrown;  // clang 14 cannot capture a structured binding
    try {
      uint32_t inner = catch_slot(
          threshold, [&]() -> uint32_t { system_throw(code_to_throw); }, [](uint32_t c) { return c; });
      EXPECT_TRUE(accepted) << std::hex << thrown;
      EXPECT_EQ(inner, thrown);
    } catch (const system_throw_signal&) {
      outer_saw = true;
    }
    EXPECT_EQ(outer_saw, !accepted) << std::hex << threshold << " " << thrown;
    EXPECT_EQ(thrown_code, thrown);
  }
}

TEST(CatchSlot, InnermostAcceptingSlotWins) {
  int caught_by = 0;
  catch_slot(
      0x7FFFFFFF,
      [&] {
        catch_slot(
            0x7FFFFFFD, [] { system_throw(0x7FFFFFFE); }, [&](uint32_t) { caught_by = 1; });
      },
      [&](uint32_t) { caught_by = 2; });
  EXPECT_EQ(caught_by, 2);
}

TEST(RuntimeError, MessagesByNumber) {
  EXPECT_STREQ(runtime_error_message(6), "float denormal operan");
  EXPECT_STREQ(runtime_error_message(13), "integer divide by zero");
  EXPECT_STREQ(runtime_error_message(95), "no CATCH for THROW");
  EXPECT_STREQ(runtime_error_message(101), "no value matched in SWITCH");
  EXPECT_STREQ(runtime_error_message(35), "unknown error code!");
}

// Runs `body` on a fresh runtime thread with standard output sent where the death-test
// matcher reads (standard error).
void run_runtime(int (*body)(void*), void* context) {
  dup2(STDERR_FILENO, STDOUT_FILENO);
  char name[] = "tav";
  char* argv[] = {name, nullptr};
  platform::start_up(1, argv, body, context);
}

int throw_code(void* code) { system_throw(*static_cast<uint32_t*>(code)); }

void start_and_throw(uint32_t code) { run_runtime(throw_code, &code); }

// Divides in assembly: the sanitizers would otherwise report the division themselves.
[[gnu::noinline]] int divide_by_zero(void*) {
  int quotient = 7, divisor = 0;
#if defined(__x86_64__)
  asm volatile("cltd\n\tidivl %1" : "+a"(quotient) : "r"(divisor) : "edx");
#else
  raise(SIGFPE);
#endif
  return quotient;
}

int interrupt(void*) { return raise(SIGINT); }

// An output listener that faults on every call, so the report that follows faults too.
void faulting_listener(const char*, size_t, int) { divide_by_zero(nullptr); }

int print_with_faulting_listener(void*) {
  output_hooks::register_(nullptr, faulting_listener);
  print_c_string("pending");
  return 0;
}

volatile bool keep_recursing = true;

[[gnu::noinline]] int recurse_forever(void* depth) {
  volatile char pad[256];
  pad[0] = static_cast<char>(reinterpret_cast<uintptr_t>(depth));
  if (!keep_recursing) return pad[0];
  return recurse_forever(reinterpret_cast<void*>(reinterpret_cast<uintptr_t>(depth) + 1)) + pad[0];
}

constexpr const char* report_pattern_95 = "^\n\\*\\*\\* Runtime Error 95: no CATCH for THROW\n\\*\\*\\* at: [0-9A-F]{8}h\n$";
constexpr const char* report_pattern_13 =
    "^\n\\*\\*\\* Runtime Error 13: integer divide by zero\n\\*\\*\\* at: [0-9A-F]{8}h\n$";

using RuntimeErrorDeathTest = testing::Test;

TEST_F(RuntimeErrorDeathTest, UncaughtCodeEndsWithNoCatchForThrow) {
  EXPECT_EXIT(start_and_throw(0xFFFFFFFF), testing::ExitedWithCode(95), report_pattern_95);
  EXPECT_EXIT(start_and_throw(0x7FFFFFFF), testing::ExitedWithCode(95), report_pattern_95);
}

TEST_F(RuntimeErrorDeathTest, QuitCodeExitsSilentlyWithZero) {
  EXPECT_EXIT(start_and_throw(code::quit), testing::ExitedWithCode(0), "^$");
}

TEST_F(RuntimeErrorDeathTest, IntegerDivideByZeroIsError13) {
  EXPECT_EXIT(run_runtime(divide_by_zero, nullptr), testing::ExitedWithCode(13), report_pattern_13);
}

// The text the fault cut short comes out, then as much of the report as came before the
// second fault, and the status is the first error's.
TEST_F(RuntimeErrorDeathTest, FaultInsideTheReportEndsWithTheFirstStatus) {
  EXPECT_EXIT(run_runtime(print_with_faulting_listener, nullptr), testing::ExitedWithCode(13),
              "^pending\n\\*\\*\\* Runtime Error $");
}

TEST_F(RuntimeErrorDeathTest, InterruptExitsSilentlyWithZero) {
  EXPECT_EXIT(run_runtime(interrupt, nullptr), testing::ExitedWithCode(0), "^$");
}

TEST_F(RuntimeErrorDeathTest, RunawayRecursionIsError19) {
  EXPECT_EXIT(run_runtime(recurse_forever, nullptr), testing::ExitedWithCode(19),
              "Runtime Error 19: stack error or overflow");
}

}  // namespace
}  // namespace tav
