// Key decoder: the bytes a terminal sends for key presses turned into character and key codes.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tav::terminal {

// Key codes below zero, and the codes of keys that send control characters.
enum key : int32_t {
  key_failed = -1,  // the input failed or ended
  key_up = -20,
  key_down = -21,
  key_right = -22,
  key_left = -23,
  key_end = -24,
  key_home = -25,
  key_insert = -26,
  key_delete = -27,
  key_page_up = -28,
  key_page_down = -29,
  key_none = 0,  // a key without a character: unknown sequences, Alt with a key
  key_backspace = 8,
  key_enter = 13,
  key_escape = 27,
};

// Where the decoder's bytes come from: reads up to `size` bytes into `buffer`, waiting at most
// `timeout_ms` milliseconds (-1: as long as it takes). Answers the count read, 0 when the time
// ran out, below 0 when the input failed or ended.
struct byte_source {
  long (*read)(void* context, uint8_t* buffer, size_t size, int timeout_ms);
  void* context;
};

// How long a lone Esc waits for the rest of a sequence before it counts as the Esc key.
inline constexpr int escape_timeout_ms = 50;

class key_decoder {
 public:
  explicit key_decoder(byte_source source) : source_(source) {}

  // The next key: a whole code point, a key code above, or key_failed.
  int32_t read_key();

  // Forgets bytes read ahead (a new edit starts with what the terminal sends from then on).
  void clear() { head_ = tail_ = 0; }

 private:
  static constexpr int forever = -1;

  // The next byte, -1 when none came within the time or the input failed.
  int next_byte(int timeout_ms);
  int32_t after_escape();
  int32_t csi();
  int32_t ss3();
  int32_t utf8(int lead);

  byte_source source_;
  bool failed_ = false;
  uint8_t queue_[64];
  size_t head_ = 0, tail_ = 0;
};

}  // namespace tav::terminal
