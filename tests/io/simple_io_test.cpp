// The file layer's text rules: which path texts name a directory, how read bytes become text
// and lines, and the descriptor loops over a pipe that delivers its bytes in pieces.
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "datatypes/text_fixture.hpp"
#include "io/simple_io.hpp"

namespace tav {
namespace {

using testing::text_of;
using testing::texts::text_value;

class SimpleIo : public testing::text_values {};

const uint8_t* bytes_of(std::string_view text) { return reinterpret_cast<const uint8_t*>(text.data()); }

TEST_F(SimpleIo, DirectoryTextRule) {
  const struct {
    const char* path;
    bool dir;
  } cases[] = {
      {"", false},      {"a", false},     {"a/", true},      {"a\\", true},    {".", true},
      {"..", true},     {"...", false},   {"a.", false},     {"a..", false},   {"a/.", true},
      {"a\\.", true},   {"a/..", true},   {"a\\..", true},   {"a/...", false}, {"/", true},
      {"a/b.c", false}, {"x/.y", false},
  };
  for (const auto& c : cases) EXPECT_EQ(simple_io::dir_p(text_value(c.path, TYPE_FILE)), c.dir) << c.path;
  // Only the text from the head counts.
  EXPECT_FALSE(simple_io::dir_p(text_value("a/", TYPE_FILE, 2)));
  EXPECT_TRUE(simple_io::dir_p(text_value("x/..", TYPE_FILE, 2)));
}

TEST_F(SimpleIo, SplitLines) {
  const struct {
    std::string_view bytes;
    std::vector<std::string> lines;
  } cases[] = {
      {"", {}},
      {"a\n", {"a"}},
      {"a", {"a"}},
      {"a\r\nb\n\nc", {"a", "b", "", "c"}},
      {"\n\n", {"", ""}},
      {"a\rb\r\n", {"a\rb"}},
      {"\r\n", {""}},
      {"\xC3\xA9t\xC3\xA9\nx", {"\xC3\xA9t\xC3\xA9", "x"}},
  };
  for (const auto& c : cases) {
    cell* block = stack::push_cell();
    simple_io::split_lines(bytes_of(c.bytes), c.bytes.size(), *block);
    ASSERT_EQ(block->type(), TYPE_BLOCK);
    const series_buffer* lines = buffer_of(block->payload2);
    ASSERT_EQ(lines->count(), c.lines.size()) << c.bytes;
    for (size_t i = 0; i < c.lines.size(); ++i) EXPECT_EQ(text_of(buffer_of(block->payload2)->cells()[i]), c.lines[i]);
    stack::pop_cells(1);
  }
}

TEST_F(SimpleIo, LoadText) {
  const struct {
    std::string_view bytes, text;
  } cases[] = {
      {"", ""},
      {"\xEF\xBB\xBF" "a", "a"},
      {"a\r\nb\rc\n", "a\nb\nc\n"},
      {"\r\r\n", "\n\n"},
      {"\xE2\x82\xAC\r\n\xF0\x9F\x98\x80", "\xE2\x82\xAC\n\xF0\x9F\x98\x80"},
  };
  for (const auto& c : cases) {
    cell* text = stack::push_cell();
    simple_io::load_text(bytes_of(c.bytes), c.bytes.size(), *text);
    EXPECT_EQ(text->type(), TYPE_STRING);
    EXPECT_EQ(text_of(*text), c.text);
    stack::pop_cells(1);
  }
}

// A writer that hands its bytes over in small pieces with pauses: one read would see only the
// first piece.
TEST(SimpleIoDescriptors, LoopsOverShortReadsAndWrites) {
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  std::string sent(300000, 'x');
  for (size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<char>('a' + i % 26);
  std::thread writer([&] {
    for (size_t at = 0; at < sent.size(); at += 100000) {
      EXPECT_EQ(simple_io::write_data(ends[1], bytes_of(sent) + at, 100000), 100000);
      usleep(20000);
    }
    simple_io::close_file(ends[1]);
  });
  std::vector<uint8_t> got(sent.size() + 10);
  const int64_t n = simple_io::read_fully(ends[0], got.data(), got.size());
  writer.join();
  simple_io::close_file(ends[0]);
  ASSERT_EQ(n, static_cast<int64_t>(sent.size()));
  EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(got.data()), sent.size()), sent);
}

TEST(SimpleIoDescriptors, FailuresAnswerMinusOne) {
  EXPECT_EQ(simple_io::open_file("/nonexistent-folder/x", simple_io::mode::read), -1);
  EXPECT_EQ(simple_io::open_file("/nonexistent-folder/x", simple_io::mode::write), -1);
  std::signal(SIGPIPE, SIG_IGN);  // as the program does
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  simple_io::close_file(ends[0]);
  const uint8_t byte = 1;
  EXPECT_EQ(simple_io::write_data(ends[1], &byte, 1), -1);  // no reader: EPIPE, SIGPIPE ignored
  simple_io::close_file(ends[1]);
  EXPECT_FALSE(simple_io::file_exists_p("/nonexistent-folder"));
  EXPECT_TRUE(simple_io::file_exists_p("/"));
}

}  // namespace
}  // namespace tav
