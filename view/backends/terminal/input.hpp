// Terminal input decoding: the bytes the terminal sent (UTF-8 text, control keys, escape
// sequences of special keys, SGR mouse reports and cursor position reports) turned into items.
// It only decodes: what the items do is the routing's business.
#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

namespace tav::tui {

// Special-key codes: negative, so that they never collide with characters.
namespace special_key {
inline constexpr int32_t up = -20;
inline constexpr int32_t down = -21;
inline constexpr int32_t right = -22;
inline constexpr int32_t left = -23;
inline constexpr int32_t end = -24;
inline constexpr int32_t home = -25;
inline constexpr int32_t insert = -26;
inline constexpr int32_t delete_ = -27;
inline constexpr int32_t page_up = -28;
inline constexpr int32_t page_down = -29;
inline constexpr int32_t f1 = -31;   // F1 to F12: -31 to -42
inline constexpr int32_t back_tab = 10;  // sent as key 9 with the shift flag
}  // namespace special_key

struct input_item {
  enum kind_t : uint8_t { key, mouse, cursor_report };
  kind_t kind = key;
  bool release = false;  // mouse: the final byte was "m"
  // key: the character (control keys included) when `special` is 0.
  // mouse: the button byte, column and row as sent (1-based).
  // cursor report: row and column as sent (1-based).
  int32_t a = 0;
  int32_t b = 0;
  int32_t c = 0;
  int32_t special = 0;  // key: a special-key code, or 0
};

class input_decoder {
 public:
  input_decoder() { buffer_.reserve(100); }

  void append(std::string_view bytes) { buffer_.insert(buffer_.end(), bytes.begin(), bytes.end()); }
  void append_byte(uint8_t byte) { buffer_.push_back(byte); }
  // Encodes the code point as UTF-8; false (and nothing appended) above 0x10FFFF.
  bool append_char(uint32_t code_point);
  void reset();

  // Decodes every complete item in the buffer, appending them to `out` in order. An item cut
  // off by the end of the buffer stays at its front until more bytes arrive.
  void process(std::vector<input_item>& out);

  // Cursor position reports are taken only while requests for them are outstanding; each
  // request written to the terminal raises the count and each report taken lowers it.
  void expect_cursor_report() { ++reports_expected_; }
  uint32_t reports_expected() const { return reports_expected_; }

  // The bytes kept for the next pass.
  std::string_view pending() const {
    return {reinterpret_cast<const char*>(buffer_.data()) + position_, buffer_.size() - position_};
  }

 private:
  struct cursor;
  void decode_escape(cursor& at, std::vector<input_item>& out);
  void decode_string_command(cursor& at);
  void decode_csi(cursor& at, std::vector<input_item>& out);
  void decode_utf8(cursor& at, std::vector<input_item>& out);

  std::vector<uint8_t> buffer_;
  size_t position_ = 0;
  uint32_t reports_expected_ = 0;
};

// The backend's input buffer. Every cursor position request written to the terminal raises its
// count of expected reports.
input_decoder& input_buffer();

// The special-key code of a key sequence (the bytes after ESC, such as "[15~" or "OP"), with
// the Linux console's and application mode's spellings of Home, End and the arrows taken as
// the usual ones; 0 for a sequence that names no key.
int32_t key_sequence_code(std::string_view sequence);

}  // namespace tav::tui
