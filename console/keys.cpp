// Key decoder: UTF-8 characters, CSI and SS3 sequences, and the Esc key told from a sequence's
// start by a short wait.
#include "console/keys.hpp"

#include "runtime/unicode.hpp"

namespace tav::terminal {
namespace {

// The final byte of "ESC [" or "ESC O" without a number.
int32_t letter_key(int final) {
  switch (final) {
    case 'A': return key_up;
    case 'B': return key_down;
    case 'C': return key_right;
    case 'D': return key_left;
    case 'F': return key_end;
    case 'H': return key_home;
    default: return key_none;
  }
}

// "ESC [ n ~": the keys of the editing pad.
int32_t tilde_key(int number) {
  switch (number) {
    case 1: case 7: return key_home;
    case 2: return key_insert;
    case 3: return key_delete;
    case 4: case 8: return key_end;
    case 5: return key_page_up;
    case 6: return key_page_down;
    default: return key_none;
  }
}

}  // namespace

int key_decoder::next_byte(int timeout_ms) {
  if (head_ == tail_) {
    if (failed_) return -1;
    head_ = tail_ = 0;
    long n = source_.read(source_.context, queue_, sizeof queue_, timeout_ms);
    if (n < 0) failed_ = true;
    if (n <= 0) return -1;
    tail_ = static_cast<size_t>(n);
  }
  return queue_[head_++];
}

int32_t key_decoder::read_key() {
  int byte = next_byte(forever);
  if (byte < 0) return key_failed;
  if (byte == 27) return after_escape();
  if (byte == 13 || byte == 10) return key_enter;
  if (byte == 127 || byte == 8) return key_backspace;
  if (byte < 0x80) return byte;
  return utf8(byte);
}

int32_t key_decoder::after_escape() {
  int byte = next_byte(escape_timeout_ms);
  if (byte < 0) return key_escape;
  if (byte == '[') return csi();
  if (byte == 'O') return ss3();
  // Alt with a key: the key's character is taken whole and dropped.
  if (byte >= 0xC0) utf8(byte);
  return key_none;
}

// Parameters (digits and ';') then intermediates, up to the final byte; the modifiers of
// "ESC [ 1 ; 5 C" are dropped, so Ctrl-Right is Right.
int32_t key_decoder::csi() {
  int number = -1;
  bool first = true;
  for (;;) {
    int byte = next_byte(escape_timeout_ms);
    if (byte < 0) return key_none;
    if (byte >= '0' && byte <= '9') {
      if (first) number = (number < 0 ? 0 : number * 10) + (byte - '0');
      if (number > 1000) number = 1000;
      continue;
    }
    if (byte == ';') {
      first = false;
      continue;
    }
    if (byte >= 0x20 && byte <= 0x3F) continue;
    if (byte == '~') return tilde_key(number);
    return letter_key(byte);
  }
}

int32_t key_decoder::ss3() {
  int byte = next_byte(escape_timeout_ms);
  if (byte < 0) return key_none;
  return letter_key(byte);
}

// The bytes of one character, however the reads split them; a sequence that is no UTF-8
// gives a key without a character.
int32_t key_decoder::utf8(int lead) {
  size_t length = lead >= 0xF0 && lead < 0xF8 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
  if (length == 0 || lead >= 0xF8) return key_none;
  uint8_t bytes[4] = {static_cast<uint8_t>(lead)};
  for (size_t i = 1; i < length; ++i) {
    int byte = next_byte(forever);
    if (byte < 0) return key_failed;
    if ((byte & 0xC0) != 0x80) {
      // Not a continuation: it starts the next key.
      --head_;
      return key_none;
    }
    bytes[i] = static_cast<uint8_t>(byte);
  }
  int32_t cp = -1;
  unicode::fast_decode_utf8_char(bytes, &cp);
  return cp < 0 ? key_none : cp;
}

}  // namespace tav::terminal
