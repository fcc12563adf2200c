// Console output layer: every byte the runtime writes to standard output, as UTF-8, with
// escape sequences passed through for the terminal to interpret, and lines ending in LF.
#pragma once
#include <bit>
#include <cstddef>
#include <cstdint>
#include <initializer_list>

namespace tav {

namespace console_out {

// Bytes of the output buffer; a print is written with one `write` unless it outgrows it.
inline constexpr size_t buffer_size = 1024;

// True when standard output is a terminal. Set by `init`.
extern bool console_p;

// Takes the output buffer from the tracked heap and looks at standard output. Until it runs,
// output goes through a static buffer of the same size, so that a fatal report made early
// in start-up is still printed.
void init();
// The terminal keeps its own attributes and restores them on SGR 0 itself: nothing to read.
void init_attributes();

// Writes what is pending. When the reader has gone (EPIPE) the process ends at once with
// status 141; any other write error (a full disk, a closed descriptor) is reported on
// standard error and ends the process with status 1.
void flush();

// Set while a fatal report is written: write errors then drop the text instead.
extern volatile bool dropping_failures;

// The cells written to standard output since its last line feed or carriage return: escape
// sequences take none, each character takes what `set_width_function` says (1 until the
// console sets it). A prompt starts there.
uint32_t column();
void set_width_function(int (*width)(uint32_t cp));

}  // namespace console_out

// Strings of 1, 2 or 4 bytes per unit, `byte_length` bytes at `data`, written as UTF-8; the
// line forms end with LF. A code point above 0x10FFFF raises script/invalid-char once the
// text before it is written.
void print_string(const void* data, size_t byte_length, uint32_t unit, bool newline);
void print_latin1(const void* data, size_t byte_length);
void print_latin1_line(const void* data, size_t byte_length);
void print_ucs2(const void* data, size_t byte_length);
void print_ucs2_line(const void* data, size_t byte_length);
void print_ucs4(const void* data, size_t byte_length);
void print_ucs4_line(const void* data, size_t byte_length);

// Runtime texts: the bytes as they are (a null pointer prints nothing), then the raw-text
// output hooks get (text, length, 0).
void print_c_string(const char* text);
void print_char(char byte);

// Numbers as "%i", "%02X", "%08X" and the float texts of 16 and 7 significant digits; the
// raw-text hooks get each number's text.
void print_integer(int32_t value);
void print_hex_byte(uint8_t value);
void print_hex(uint32_t value);
void print_float64(double value);
void print_float32(float value);

// One item of a low-level print list: a type and an 8-byte value.
struct print_item {
  enum kind : uint32_t { logic = 1, integer = 2, character = 3, float32 = 4, float64 = 5, c_string = 6, hex = 7 };

  uint32_t type;  // any other type prints the low 32 bits in hexadecimal
  uint64_t value;

  static constexpr print_item of_logic(bool v) { return {logic, v ? 1u : 0u}; }
  static constexpr print_item of_integer(int32_t v) { return {integer, static_cast<uint32_t>(v)}; }
  static constexpr print_item of_char(char v) { return {character, static_cast<uint8_t>(v)}; }
  static constexpr print_item of_float32(float v) { return {float32, std::bit_cast<uint32_t>(v)}; }
  static constexpr print_item of_float64(double v) { return {float64, std::bit_cast<uint64_t>(v)}; }
  static print_item of_text(const char* v) { return {c_string, reinterpret_cast<uintptr_t>(v)}; }
  static constexpr print_item of_hex(uint32_t v) { return {hex, v}; }
};
static_assert(sizeof(void*) <= sizeof(uint64_t));

// Prints the items (logic as "true"/"false") as one write, between the terminal backend's
// before- and after-print hooks. Allocates nothing: the fatal report goes through here.
void print_items(size_t count, const print_item* items);
void print_items(std::initializer_list<print_item> items);
// The same, then a line feed.
void print_line(size_t count, const print_item* items);
void print_line(std::initializer_list<print_item> items);
void print_line(const char* text);

}  // namespace tav
