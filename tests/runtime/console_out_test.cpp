// Console output layer: exact bytes on standard output for strings of every unit width,
// numbers and item lists, the raw-text hooks, write boundaries and failing writes.
#include "runtime/console_out.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "fire_helpers.hpp"
#include "runtime/heap.hpp"
#include "runtime/output_hooks.hpp"
#include "runtime/unicode.hpp"
#include "stdout_capture.hpp"

namespace tav {
namespace {

using testing::fired_by;
using testing::output_of;
using testing::writes_of;

template <class Unit>
std::string printed(const std::vector<Unit>& units, bool newline) {
  return output_of([&] { print_string(units.data(), units.size() * sizeof(Unit), sizeof(Unit), newline); });
}

TEST(ConsoleOut, StringsOfEachWidthReachTheOutputAsUtf8) {
  std::vector<uint8_t> latin1{'c', 'a', 'f', 0xE9, ' ', 0xFF};
  std::vector<uint16_t> ucs2{0x20AC, ' ', 0x416, 0xE9, 'x', 0xFFFD};
  std::vector<uint32_t> ucs4{'a', 0x1F600, 0x20AC, 0x10FFFF, 0xE9};

  EXPECT_EQ(printed(latin1, false), "caf\xC3\xA9 \xC3\xBF");
  EXPECT_EQ(printed(ucs2, false), "\xE2\x82\xAC \xD0\x96\xC3\xA9x\xEF\xBF\xBD");
  EXPECT_EQ(printed(ucs4, false), "a\xF0\x9F\x98\x80\xE2\x82\xAC\xF4\x8F\xBF\xBF\xC3\xA9");

  // The line forms end with a single LF, an empty string included.
  EXPECT_EQ(printed(latin1, true), "caf\xC3\xA9 \xC3\xBF\n");
  EXPECT_EQ(printed(std::vector<uint16_t>{}, true), "\n");
  EXPECT_EQ(printed(ucs4, true), "a\xF0\x9F\x98\x80\xE2\x82\xAC\xF4\x8F\xBF\xBF\xC3\xA9\n");

  // The named forms pick the width and the line end.
  EXPECT_EQ(output_of([&] { print_latin1(latin1.data(), 3); }), "caf");
  EXPECT_EQ(output_of([&] { print_latin1_line(latin1.data(), 4); }), "caf\xC3\xA9\n");
  EXPECT_EQ(output_of([&] { print_ucs2(ucs2.data(), 4); }), "\xE2\x82\xAC ");
  EXPECT_EQ(output_of([&] { print_ucs2_line(ucs2.data(), 2); }), "\xE2\x82\xAC\n");
  EXPECT_EQ(output_of([&] { print_ucs4(ucs4.data(), 8); }), "a\xF0\x9F\x98\x80");
  EXPECT_EQ(output_of([&] { print_ucs4_line(ucs4.data(), 4); }), "a\n");
}

TEST(ConsoleOut, EscapeSequencesPassThroughUntouched) {
  const std::string sgr = "\x1B[31mred\x1B[0m \x1B[5;10H\x1B[2J\x1B[?25l\x1B" "x";
  std::vector<uint8_t> latin1(sgr.begin(), sgr.end());
  std::vector<uint16_t> ucs2(sgr.begin(), sgr.end());
  std::vector<uint32_t> ucs4(sgr.begin(), sgr.end());
  EXPECT_EQ(printed(latin1, true), sgr + "\n");
  EXPECT_EQ(printed(ucs2, false), sgr);
  EXPECT_EQ(printed(ucs4, false), sgr);
  EXPECT_EQ(output_of([&] { print_c_string(sgr.c_str()); }), sgr);
}

TEST(ConsoleOut, CodePointAboveUnicodeRaisesAfterTheTextBeforeIt) {
  std::vector<uint32_t> units{'o', 'k', 0x110000, 'n', 'o'};
  std::optional<error_id> fired;
  std::string out = output_of([&] { fired = fired_by([&] { print_ucs4_line(units.data(), units.size() * 4); }); });
  EXPECT_EQ(fired, error_id::script_invalid_char);
  ASSERT_EQ(last_fired.arg_count, 1u);
  EXPECT_EQ(last_fired.args[0].payload2, 0x110000u);
  EXPECT_EQ(out, "ok");
  // Nothing of the failed print is left to come out with the next one.
  EXPECT_EQ(output_of([] { print_char('!'); }), "!");
}

TEST(ConsoleOut, NumberPrinters) {
  struct row {
    std::function<void()> print;
    const char* expected;
  };
  const row rows[] = {
      {[] { print_integer(0); }, "0"},
      {[] { print_integer(INT32_MIN); }, "-2147483648"},
      {[] { print_integer(INT32_MAX); }, "2147483647"},
      {[] { print_hex_byte(0x0A); }, "0A"},
      {[] { print_hex_byte(0xFF); }, "FF"},
      {[] { print_hex(0xBEEF); }, "0000BEEF"},
      {[] { print_hex(0xFFFFFFFF); }, "FFFFFFFF"},
      {[] { print_float64(0.1); }, "0.1"},
      {[] { print_float64(1.0 / 3); }, "0.3333333333333333"},
      {[] { print_float64(-2.0); }, "-2"},
      {[] { print_float32(3.14159265f); }, "3.141593"},
      {[] { print_float64(double{3.14159265f}); }, "3.141592741012573"},
      {[] { print_float32(0.1f); }, "0.1"},
      {[] { print_char('\n'); }, "\n"},
      {[] { print_c_string(nullptr); }, ""},
  };
  for (const row& r : rows) EXPECT_EQ(output_of(r.print), r.expected);
}

TEST(ConsoleOut, PrintItemsOfEveryType) {
  const char* text = "text";
  std::string out = output_of([&] {
    print_items({print_item::of_logic(true), print_item::of_char(' '), print_item::of_logic(false),
                 print_item::of_char('|'), print_item::of_integer(-42), print_item::of_char('|'),
                 print_item::of_float32(2.5f), print_item::of_char('|'), print_item::of_float64(1e25),
                 print_item::of_char('|'), print_item::of_float64(-INFINITY), print_item::of_char('|'),
                 print_item::of_text(text), print_item::of_char('|'), print_item::of_hex(0xC0FFEE),
                 print_item::of_char('|'), print_item{99, 0xFFFFFFFF1234ABCD}, print_item::of_text(nullptr)});
  });
  EXPECT_EQ(out, "true false|-42|2.5|1e25|-1.#INF|text|00C0FFEE|1234ABCD");

  EXPECT_EQ(output_of([] { print_line({print_item::of_text("n = "), print_item::of_integer(7)}); }), "n = 7\n");
  EXPECT_EQ(output_of([] { print_line("plain"); }), "plain\n");
  EXPECT_EQ(output_of([] { print_line({}); }), "\n");
}

std::string raw_seen;
std::vector<int> raw_flags;

void record_raw(const char* text, size_t length, int flag) {
  raw_seen.append(text, length);
  raw_flags.push_back(flag);
}

struct raw_recorder {
  raw_recorder() {
    raw_seen.clear();
    raw_flags.clear();
    output_hooks::register_(nullptr, record_raw);
  }
  ~raw_recorder() { output_hooks::unregister(nullptr, record_raw); }
};

TEST(ConsoleOut, RawTextHooksGetExactlyWhatTheLowLevelPrintersWrite) {
  raw_recorder recorder;
  std::string out = output_of([] {
    print_line({print_item::of_text("\n*** Runtime Error "), print_item::of_integer(13), print_item::of_text(": "),
                print_item::of_logic(true), print_item::of_float64(0.25), print_item::of_hex(0xAB)});
    print_c_string("caf\xC3\xA9");
    print_hex_byte(7);
    print_float32(1.5f);
  });
  EXPECT_EQ(out, "\n*** Runtime Error 13: true0.25000000AB\ncaf\xC3\xA9" "071.5");
  EXPECT_EQ(raw_seen, out);
  EXPECT_EQ(raw_flags, std::vector<int>(10, 0));  // one call per item, the line feed and each print

  // Strings are values: they reach the value printers, not the raw-text listeners.
  raw_seen.clear();
  std::string latin1 = "value";
  EXPECT_EQ(output_of([&] { print_latin1_line(latin1.data(), latin1.size()); }), "value\n");
  EXPECT_EQ(raw_seen, "");
}

TEST(ConsoleOut, EachPrintIsOneWriteUntilItOutgrowsTheBuffer) {
  std::string line = "x\x1B[1m\xE9";
  auto writes = writes_of([&] { print_latin1_line(line.data(), line.size()); });
  EXPECT_EQ(writes, std::vector<std::string>{"x\x1B[1m\xC3\xA9\n"});

  writes = writes_of([] {
    print_line({print_item::of_text("\n*** Runtime Error "), print_item::of_integer(95), print_item::of_text(": "),
                print_item::of_text("no CATCH for THROW"), print_item::of_text("\n*** at: "),
                print_item::of_hex(0x1234), print_item::of_text("h")});
  });
  EXPECT_EQ(writes, std::vector<std::string>{"\n*** Runtime Error 95: no CATCH for THROW\n*** at: 00001234h\n"});

  // A long text of mixed sequence lengths: writes of at most one buffer, none cutting a
  // sequence, together exactly the text.
  std::vector<uint16_t> units;
  std::string expected;
  for (int i = 0; i < 1500; ++i) {
    units.push_back(i % 3 == 0 ? 'a' : i % 3 == 1 ? 0xE9 : 0x20AC);
    expected += i % 3 == 0 ? "a" : i % 3 == 1 ? "\xC3\xA9" : "\xE2\x82\xAC";
  }
  writes = writes_of([&] { print_ucs2_line(units.data(), units.size() * 2); });
  std::string joined;
  for (const std::string& w : writes) {
    EXPECT_LE(w.size(), console_out::buffer_size);
    EXPECT_NE(static_cast<uint8_t>(w.front()) & 0xC0, 0x80) << "a write starts inside a sequence";
    joined += w;
  }
  EXPECT_GE(writes.size(), 3u);
  EXPECT_EQ(joined, expected + "\n");
}

// Standard output pointed at `fd` for the rest of a death test's child.
void output_to(int fd) {
  std::fflush(stdout);
  ::dup2(fd, STDOUT_FILENO);
}

// A reader that went away ends the program at once and quietly, with the status a shell sees
// from a writer killed by SIGPIPE; the program must not go on writing for nobody.
TEST(ConsoleOutDeathTest, AClosedPipeEndsTheProgramQuietlyWith141) {
  EXPECT_EXIT(
      {
        int ends[2];
        if (::pipe(ends) != 0) std::_Exit(2);
        ::close(ends[0]);
        output_to(ends[1]);
        print_c_string("lost");
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(141), "^$");
}

// Any other failed write is told on standard error and ends the program with status 1, so that
// lost output never ends in a status of success.
TEST(ConsoleOutDeathTest, OtherWriteErrorsAreReportedAndEndWithStatus1) {
  EXPECT_EXIT(
      {
        int full = ::open("/dev/full", O_WRONLY);
        if (full < 0) std::_Exit(1);  // no such device here: the status alone still holds
        output_to(full);
        std::string long_text(5000, 'z');
        print_latin1_line(long_text.data(), long_text.size());
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(1), "Output error: ");
  EXPECT_EXIT(
      {
        int read_only = ::open("/dev/null", O_RDONLY);
        output_to(read_only);
        print_items({print_item::of_text("lost "), print_item::of_integer(1)});
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(1), "\\*\\*\\* Output error: Bad file descriptor");
}

// While a fatal report is written its own status must stand: failed writes are dropped.
TEST(ConsoleOut, WriteErrorsAreDroppedWhileAFatalReportIsWritten) {
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  ::close(ends[0]);
  std::fflush(stdout);
  int saved = ::dup(STDOUT_FILENO);
  ::dup2(ends[1], STDOUT_FILENO);
  console_out::dropping_failures = true;
  std::string long_text(5000, 'z');
  print_latin1_line(long_text.data(), long_text.size());
  console_out::dropping_failures = false;
  ::dup2(saved, STDOUT_FILENO);
  ::close(saved);
  ::close(ends[1]);
  EXPECT_EQ(output_of([] { print_c_string("after"); }), "after");
}

TEST(ConsoleOut, InitTakesOneBufferAndSeesATerminal) {
  console_out::init();
  size_t blocks = heap_block_count();
  console_out::init();
  EXPECT_EQ(heap_block_count(), blocks);

  EXPECT_EQ(output_of([] { console_out::init(); }), "");
  EXPECT_FALSE(console_out::console_p);

  int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  int terminal = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
  ASSERT_GE(terminal, 0);
  termios mode{};
  ::tcgetattr(terminal, &mode);
  ::cfmakeraw(&mode);  // so the line discipline leaves the bytes as written
  ::tcsetattr(terminal, TCSANOW, &mode);

  std::fflush(stdout);
  int saved = ::dup(STDOUT_FILENO);
  ::dup2(terminal, STDOUT_FILENO);
  console_out::init();
  bool terminal_seen = console_out::console_p;
  std::string text = "\x1B[32m\xE9\x1B[0m";
  print_latin1_line(text.data(), text.size());
  ::dup2(saved, STDOUT_FILENO);
  ::close(saved);
  console_out::init();

  std::string received;
  char bytes[256];
  pollfd ready{master, POLLIN, 0};
  while (::poll(&ready, 1, 1000) > 0) {
    ssize_t n = ::read(master, bytes, sizeof bytes);
    if (n <= 0) break;
    received.append(bytes, static_cast<size_t>(n));
    if (received.size() >= text.size() + 1) break;
  }
  ::close(terminal);
  ::close(master);
  EXPECT_TRUE(terminal_seen);
  EXPECT_EQ(received, "\x1B[32m\xC3\xA9\x1B[0m\n");
}

}  // namespace
}  // namespace tav
