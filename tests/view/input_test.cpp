// The input decoder alone: bytes given in reads, one pass after each, items written out as
// "key N", "special N", "press|release Cb Cx Cy" and "report R C".
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "view/backends/terminal/input.hpp"

namespace tav::testing {
namespace {

std::string describe(const tui::input_item& item) {
  switch (item.kind) {
    case tui::input_item::key:
      return item.special ? "special " + std::to_string(item.special) : "key " + std::to_string(item.a);
    case tui::input_item::mouse:
      return std::string(item.release ? "release " : "press ") + std::to_string(item.a) + " " +
             std::to_string(item.b) + " " + std::to_string(item.c);
    case tui::input_item::cursor_report: return "report " + std::to_string(item.a) + " " + std::to_string(item.b);
  }
  return "?";
}

// The items of every pass, one pass after each read, joined by ", ".
std::string decode(tui::input_decoder& decoder, std::initializer_list<std::string_view> reads) {
  std::string out;
  for (std::string_view read : reads) {
    decoder.append(read);
    std::vector<tui::input_item> items;
    decoder.process(items);
    for (const tui::input_item& item : items) out += (out.empty() ? "" : ", ") + describe(item);
  }
  return out;
}

std::string decode(std::initializer_list<std::string_view> reads) {
  tui::input_decoder decoder;
  return decode(decoder, reads);
}

struct decode_case {
  std::initializer_list<std::string_view> reads;
  const char* expected;
};

TEST(input_decoder, keys_and_special_keys) {
  const decode_case cases[] = {
      {{"a\x08\n\t\x7f"}, "key 97, key 127, key 13, key 9, key 127"},
      {{"\x1b[Z"}, "special 10"},
      {{"\x1b[A\x1b[B\x1b[C\x1b[D"}, "special -20, special -21, special -22, special -23"},
      {{"\x1b[15~"}, "special -35"},
      {{"\x1bOP\x1bOS\x1b[24~"}, "special -31, special -34, special -42"},
      {{"\x1b[3~\x1b[5~\x1b[6~"}, "special -27, special -28, special -29"},
      // Home and End as the Linux console and application mode send them.
      {{"\x1b[1~\x1b[7~\x1b[H\x1bOH"}, "special -25, special -25, special -25, special -25"},
      {{"\x1b[4~\x1b[8~\x1b[F\x1bOF"}, "special -24, special -24, special -24, special -24"},
      {{"\x1bOA\x1bOD"}, "special -20, special -23"},
      // Modified keys, insert and unknown sequences send nothing.
      {{"\x1b[1;5C\x1b[2~\x1b[99~x"}, "key 120"},
      {{"\x1b[1", "~"}, "special -25"},
      {{"\xc3", "\xa9"}, "key 233"},
      {{"\xf0\x9f", "\x98", "\x80!"}, "key 128512, key 33"},
      {{"\x1b"}, "key 27"},
      // An ESC ending a longer buffer waits one pass for what may follow it.
      {{"a\x1b", ""}, "key 97, key 27"},
      // An ESC inside a control sequence abandons it; what follows is decoded afresh.
      {{"\x1b[12\x1b[A"}, "key 91, key 65"},
  };
  for (const decode_case& c : cases) EXPECT_EQ(decode(c.reads), c.expected) << *c.reads.begin();
}

TEST(input_decoder, bytes_that_start_nothing_are_dropped_and_decoding_goes_on) {
  const decode_case cases[] = {
      {{"\xff", "a"}, "key 97"},
      {{"\xe1", "b"}, "key 98"},         // xterm's 8-bit Alt-a
      {{"\xc3(\x80z"}, "key 40, key 122"},  // a lead byte followed by no continuation
      {{"\xed\xa0\x80\xc0\xafq"}, "key 113"},  // a surrogate and an overlong form
      {{"\xf4\x90\x80\x80r"}, "key 114"},      // above 0x10FFFF
      {{"\x1b]", "x"}, "key 120"},
      {{"\x1b]0;t\x07y"}, "key 121"},
      {{"\x1b]0;t\x07", "y"}, "key 121"},
      {{"\x1bP1$r\x1b\\z"}, "key 122"},
      {{"\x1b]2;a\x1b" "b\x1b\\c"}, "key 99"},  // an ESC and another byte inside are skipped
      // Alt with a key sends ESC and the key: neither the key nor the one after is lost.
      {{"\x1b" "a", "x"}, "key 120"},
  };
  for (const decode_case& c : cases) EXPECT_EQ(decode(c.reads), c.expected) << *c.reads.begin();

  // A command whose end is not within 256 bytes loses only its first two bytes.
  std::string long_command = "\x1b]" + std::string(300, 'k');
  tui::input_decoder decoder;
  decoder.append(long_command);
  std::vector<tui::input_item> items;
  decoder.process(items);
  EXPECT_EQ(items.size(), 300u);
  EXPECT_TRUE(decoder.pending().empty());
  // So does a control sequence that never ends.
  std::string endless = "\x1b[" + std::string(300, '1');
  decoder.append(endless);
  items.clear();
  decoder.process(items);
  EXPECT_EQ(items.size(), 300u);
  EXPECT_EQ(items.front().a, '1');
}

TEST(input_decoder, mouse_reports_and_their_parameters) {
  const decode_case cases[] = {
      {{"\x1b[<0;1", "0;5M"}, "press 0 10 5"},
      {{"\x1b[<65;3;2M\x1b[<0;3;2m"}, "press 65 3 2, release 0 3 2"},
      {{"\x1b[<0;99999999999;5M"}, "press 0 2147483647 5"},
      // Five parameters keep four and make no report.
      {{"\x1b[<0;1;2;3;4M"}, ""},
      {{"\x1b[<0;1M"}, ""},
  };
  for (const decode_case& c : cases) EXPECT_EQ(decode(c.reads), c.expected) << *c.reads.begin();
}

TEST(input_decoder, a_cursor_report_is_taken_only_while_one_is_expected) {
  tui::input_decoder decoder;
  EXPECT_EQ(decode(decoder, {"\x1b[1;2R"}), "");  // xterm's Shift-F3
  decoder.expect_cursor_report();
  EXPECT_EQ(decode(decoder, {"\x1b[5;", "1R\x1b[1;2R"}), "report 5 1");
  EXPECT_EQ(decoder.reports_expected(), 0u);
}

TEST(input_decoder, characters_are_appended_as_utf8) {
  tui::input_decoder decoder;
  for (uint32_t cp : {0x41u, 0xE9u, 0x4E00u, 0x1F600u, 0x10FFFFu}) EXPECT_TRUE(decoder.append_char(cp));
  EXPECT_FALSE(decoder.append_char(0x110000));
  EXPECT_EQ(decode(decoder, {""}), "key 65, key 233, key 19968, key 128512, key 1114111");
  decoder.append("\x1b[");
  decoder.reset();
  EXPECT_TRUE(decoder.pending().empty());
}

}  // namespace
}  // namespace tav::testing
