// Key decoder: byte sequences to key codes, however the reads split them, with the Esc
// time-out decided by a scripted clock.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "console/keys.hpp"

namespace tav::testing {
namespace {

// What the terminal sends: chunks of bytes, each one read, and silences of some milliseconds
// between them. A read that waits less than the next silence times out; one that waits longer
// (or for ever) lets the silence pass.
struct script {
  struct step {
    std::string bytes;
    int silence_ms;
  };
  explicit script(std::vector<step> s) : steps(std::move(s)) {}

  std::vector<step> steps;
  size_t next = 0;
  std::vector<int> timeouts;  // of every read

  static long read(void* context, uint8_t* buffer, size_t size, int timeout_ms) {
    auto* s = static_cast<script*>(context);
    s->timeouts.push_back(timeout_ms);
    while (s->next < s->steps.size()) {
      step& st = s->steps[s->next];
      if (st.silence_ms > 0) {
        if (timeout_ms >= 0 && timeout_ms <= st.silence_ms) {
          st.silence_ms -= timeout_ms;
          if (st.silence_ms == 0) ++s->next;
          return 0;
        }
        st.silence_ms = 0;
        ++s->next;
        continue;
      }
      size_t n = st.bytes.size() < size ? st.bytes.size() : size;
      std::memcpy(buffer, st.bytes.data(), n);
      st.bytes.erase(0, n);
      if (st.bytes.empty()) ++s->next;
      return static_cast<long>(n);
    }
    return -1;
  }
};

std::vector<int32_t> keys_of(std::vector<script::step> steps) {
  script s(std::move(steps));
  terminal::key_decoder decoder({script::read, &s});
  std::vector<int32_t> keys;
  for (int32_t key; (key = decoder.read_key()) != terminal::key_failed;) keys.push_back(key);
  return keys;
}

using keys = std::vector<int32_t>;

TEST(keys, sequences_decode_to_their_key_codes) {
  const struct {
    const char* bytes;
    keys expected;
  } cases[] = {
      {"\x1b[A", {-20}},          {"\x1b[B", {-21}},          {"\x1b[C", {-22}},        {"\x1b[D", {-23}},
      {"\x1bOD", {-23}},          {"\x1bOA", {-20}},          {"\x1b[3~", {-27}},       {"\x1b[2~", {-26}},
      {"\x1b[5~", {-28}},         {"\x1b[6~", {-29}},         {"\x1b[1;5C", {-22}},     {"\x1b[1~", {-25}},
      {"\x1b[7~", {-25}},         {"\x1b[4~", {-24}},         {"\x1b[8~", {-24}},       {"\x1b[H", {-25}},
      {"\x1b[F", {-24}},          {"\x1bOH", {-25}},          {"\x1b[3;2~", {-27}},     {"\x1b[99~", {0}},
      {"\x1b[Z", {0}},            {"\x1bx", {0}},             {"\r\n", {13, 13}},       {"\x7f\b", {8, 8}},
      {"a\x03\x04", {'a', 3, 4}}, {"\xc3\xa9", {0xE9}},       {"\xe4\xb8\x80", {0x4E00}}, {"\xf0\x9f\x98\x80", {0x1F600}},
      {"\x80z", {0, 'z'}},        {"\xc3z", {0, 'z'}},        {"\x1b\xc3\xa9q", {0, 'q'}}, {"\x1b[1;5Cx", {-22, 'x'}},
  };
  for (const auto& c : cases) EXPECT_EQ(keys_of({{c.bytes, 0}}), c.expected) << c.bytes + 1;
}

TEST(keys, a_sequence_split_over_reads_is_one_key) {
  EXPECT_EQ(keys_of({{"\xc3", 0}, {"\xa9", 0}}), keys{0xE9});
  EXPECT_EQ(keys_of({{"\x1b", 0}, {"[", 0}, {"3", 0}, {"~", 0}}), keys{-27});
  // A short pause inside a sequence is no Esc key.
  EXPECT_EQ(keys_of({{"\x1b", 0}, {"", 20}, {"[A", 0}}), keys{-20});
}

TEST(keys, esc_alone_is_the_escape_key_once_50_ms_pass_without_a_byte) {
  script s({{"\x1b", 0}, {"", 50}, {"[A", 0}});
  terminal::key_decoder decoder({script::read, &s});
  EXPECT_EQ(decoder.read_key(), 27);
  EXPECT_EQ(s.timeouts.back(), terminal::escape_timeout_ms);
  // What comes after the time-out is read as keys of its own: "[" and "A".
  EXPECT_EQ(decoder.read_key(), '[');
  EXPECT_EQ(decoder.read_key(), 'A');
  // Esc at the end of the input is the Esc key too.
  EXPECT_EQ(keys_of({{"\x1b", 0}}), keys{27});
}

TEST(keys, bytes_read_ahead_wait_in_the_queue_and_a_failed_input_stays_failed) {
  script s({{"ab\x1b[Dc", 0}});
  terminal::key_decoder decoder({script::read, &s});
  EXPECT_EQ(decoder.read_key(), 'a');
  EXPECT_EQ(decoder.read_key(), 'b');
  EXPECT_EQ(decoder.read_key(), -23);
  EXPECT_EQ(decoder.read_key(), 'c');
  EXPECT_EQ(s.timeouts.size(), 1u);
  EXPECT_EQ(decoder.read_key(), terminal::key_failed);
  EXPECT_EQ(decoder.read_key(), terminal::key_failed);
  EXPECT_EQ(s.timeouts.size(), 2u);
}

}  // namespace
}  // namespace tav::testing
