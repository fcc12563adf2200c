// Console output layer: buffered UTF-8 writes to standard output, the number texts and the
// low-level item lists of fatal reports.
#include "runtime/console_out.hpp"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "runtime/float_text.hpp"
#include "runtime/heap.hpp"
#include "runtime/output_hooks.hpp"
#include "runtime/platform.hpp"
#include "runtime/tui_hooks.hpp"
#include "runtime/unicode.hpp"

namespace tav {

namespace console_out {
bool console_p = false;
volatile bool dropping_failures = false;
}

namespace {

using console_out::buffer_size;

// ---- Column tracking ------------------------------------------------------------------------

// Follows the bytes written, across writes: a character's bytes or an escape sequence may be
// cut by the end of one write.
struct column_tracker {
  enum state : uint8_t { text, escape, sequence, command };
  uint32_t column = 0;
  state at = text;
  uint32_t cp = 0;
  uint8_t needed = 0;  // continuation bytes still to come
  int (*width)(uint32_t) = nullptr;

  void character(uint32_t c) {
    int w = width ? width(c) : 1;
    if (w > 0) column += static_cast<uint32_t>(w);
  }

  void byte(uint8_t b) {
    switch (at) {
      case escape:
        // CSI and charset selection end at their final byte, a title at BEL or ST.
        at = b == '[' || b == '(' ? sequence : b == ']' ? command : text;
        return;
      case sequence:
        if (b >= 0x40 || b < 0x20) at = text;
        return;
      case command:
        if (b == 7 || b == '\\') at = text;
        return;
      case text: break;
    }
    if (needed > 0 && (b & 0xC0) == 0x80) {
      cp = cp << 6 | (b & 0x3F);
      if (--needed == 0) character(cp);
      return;
    }
    needed = 0;
    if (b == '\n' || b == '\r') {
      column = 0;
    } else if (b == 27) {
      at = escape;
    } else if (b == '\t') {
      column = (column / 8 + 1) * 8;
    } else if (b == '\b') {
      if (column > 0) --column;
    } else if (b >= 0xF0) {
      cp = b & 0x07, needed = 3;
    } else if (b >= 0xE0) {
      cp = b & 0x0F, needed = 2;
    } else if (b >= 0xC0) {
      cp = b & 0x1F, needed = 1;
    } else if (b >= 0x20 && b != 0x7F) {
      character(b);
    }
  }
};

column_tracker tracker;

uint8_t reserve[buffer_size];
uint8_t* buffer = reserve;
size_t pending = 0;

// A reader that went away ends the program quietly with the status a shell expects of a writer
// killed by SIGPIPE; any other failure is told on standard error and ends it with status 1, so
// that lost output is never reported as success. While a fatal report is written, failures
// are dropped: its own status must stand.
[[gnu::cold, noreturn]] void output_failed(int error) {
  if (error == EPIPE) platform::end_process(141);
  const char* reason = std::strerror(error);
  static constexpr char prefix[] = "*** Output error: ";
  [[maybe_unused]] ssize_t ignored = ::write(STDERR_FILENO, prefix, sizeof prefix - 1);
  ignored = ::write(STDERR_FILENO, reason, std::strlen(reason));
  ignored = ::write(STDERR_FILENO, "\n", 1);
  platform::end_process(1);
}

// A terminal that hung up answers EIO. A program started with SIGHUP ignored (as under nohup)
// is meant to outlive its terminal: what it writes from then on has no reader and is dropped.
bool hangup_ignored() {
  struct sigaction current{};
  return ::sigaction(SIGHUP, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

void write_all(const uint8_t* bytes, size_t length) {
  while (length > 0) {
    ssize_t n = ::write(STDOUT_FILENO, bytes, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int error = n < 0 ? errno : EIO;
      if (error == EIO && hangup_ignored()) console_out::dropping_failures = true;
      if (console_out::dropping_failures) return;
      output_failed(error);
    }
    bytes += n;
    length -= static_cast<size_t>(n);
  }
}

void put_bytes(const void* data, size_t length) {
  auto* bytes = static_cast<const uint8_t*>(data);
  while (length > 0) {
    if (pending == buffer_size) console_out::flush();
    size_t take = length < buffer_size - pending ? length : buffer_size - pending;
    std::memcpy(buffer + pending, bytes, take);
    pending += take;
    bytes += take;
    length -= take;
  }
}

// Encodes as many whole units as surely fit, so no sequence is ever split across writes.
void put_units(const uint8_t* units, size_t count, uint32_t unit) {
  size_t widest = unit == 1 ? 2 : unit == 2 ? 3 : 4;
  while (count > 0) {
    size_t fit = (buffer_size - pending) / widest;
    if (fit == 0) {
      console_out::flush();
      continue;
    }
    if (fit > count) fit = count;
    pending += unicode::encode_utf8(units, fit, unit, buffer + pending, false);
    units += fit * unit;
    count -= fit;
  }
}

// The text and the raw-text hooks get the same bytes.
void put_text(const char* text, size_t length) {
  put_bytes(text, length);
  output_hooks::print_raw(text, length, 0);
}

void put_c_string(const char* text) {
  if (text) put_text(text, std::strlen(text));
}

void put_char(char byte) { put_text(&byte, 1); }

// Number texts are formatted on the stack: the fault handler may print while a number is
// being printed.
constexpr size_t number_size = 64;

void put_integer(int32_t value) {
  char text[number_size];
  put_text(text, static_cast<size_t>(std::to_chars(text, text + number_size, value).ptr - text));
}

void put_hex(uint32_t value, int digits) {
  char text[8];
  for (int i = digits - 1; i >= 0; --i, value >>= 4) text[i] = "0123456789ABCDEF"[value & 0xF];
  put_text(text, static_cast<size_t>(digits));
}

void put_float(double value, int precision) {
  char text[number_size];
  const char* formed = form_float(value, precision, false);
  size_t length = std::strlen(formed);
  std::memcpy(text, formed, length);
  put_text(text, length);
}

void put_item(const print_item& item) {
  auto low = static_cast<uint32_t>(item.value);
  switch (item.type) {
    case print_item::logic: put_c_string(low ? "true" : "false"); break;
    case print_item::integer: put_integer(static_cast<int32_t>(low)); break;
    case print_item::character: put_char(static_cast<char>(low)); break;
    case print_item::float32: put_float(std::bit_cast<float>(low), 7); break;
    case print_item::float64: put_float(std::bit_cast<double>(item.value), 16); break;
    case print_item::c_string: put_c_string(reinterpret_cast<const char*>(static_cast<uintptr_t>(item.value))); break;
    default: put_hex(low, 8); break;
  }
}

void put_items(size_t count, const print_item* items) {
  for (size_t i = 0; i < count; ++i) put_item(items[i]);
}

// Every print of the low-level printers ends written, with the C streams flushed as well
// for anything else that wrote to them.
void end_print() {
  console_out::flush();
  std::fflush(stdout);
}

}  // namespace

namespace console_out {

void init() {
  console_p = ::isatty(STDOUT_FILENO) == 1;
  if (buffer != reserve) return;
  flush();
  buffer = static_cast<uint8_t*>(heap_alloc(buffer_size));
}

void init_attributes() {}

void flush() {
  size_t length = pending;
  pending = 0;
  for (size_t i = 0; i < length; ++i) tracker.byte(buffer[i]);
  write_all(buffer, length);
}

uint32_t column() { return tracker.column; }

void set_width_function(int (*width)(uint32_t cp)) { tracker.width = width; }

}  // namespace console_out

void print_string(const void* data, size_t byte_length, uint32_t unit, bool newline) {
  if (unit == 1 || unit == 2 || unit == 4) {
    auto* units = static_cast<const uint8_t*>(data);
    size_t count = byte_length / unit;
    if (unit == 4) {
      for (size_t i = 0; i < count; ++i) {
        uint32_t cp = unicode::get_unit(units, i, 4);
        if (cp <= unicode::max_code_point) continue;
        put_units(units, i, unit);
        console_out::flush();
        uint8_t ignored[4];
        unicode::cp_to_utf8(cp, ignored);
      }
    }
    put_units(units, count, unit);
  }
  if (newline) put_bytes("\n", 1);
  console_out::flush();
}

void print_latin1(const void* data, size_t byte_length) { print_string(data, byte_length, 1, false); }
void print_latin1_line(const void* data, size_t byte_length) { print_string(data, byte_length, 1, true); }
void print_ucs2(const void* data, size_t byte_length) { print_string(data, byte_length, 2, false); }
void print_ucs2_line(const void* data, size_t byte_length) { print_string(data, byte_length, 2, true); }
void print_ucs4(const void* data, size_t byte_length) { print_string(data, byte_length, 4, false); }
void print_ucs4_line(const void* data, size_t byte_length) { print_string(data, byte_length, 4, true); }

void print_c_string(const char* text) {
  put_c_string(text);
  end_print();
}

void print_char(char byte) {
  put_char(byte);
  end_print();
}

void print_integer(int32_t value) {
  put_integer(value);
  end_print();
}

void print_hex_byte(uint8_t value) {
  put_hex(value, 2);
  end_print();
}

void print_hex(uint32_t value) {
  put_hex(value, 8);
  end_print();
}

void print_float64(double value) {
  put_float(value, 16);
  end_print();
}

void print_float32(float value) {
  put_float(value, 7);
  end_print();
}

void print_items(size_t count, const print_item* items) {
  tui::before_print();
  put_items(count, items);
  end_print();
  tui::after_print();
}

void print_items(std::initializer_list<print_item> items) { print_items(items.size(), items.begin()); }

void print_line(size_t count, const print_item* items) {
  tui::before_print();
  put_items(count, items);
  put_char('\n');
  end_print();
  tui::after_print();
}

void print_line(std::initializer_list<print_item> items) { print_line(items.size(), items.begin()); }

void print_line(const char* text) { print_line({print_item::of_text(text)}); }

}  // namespace tav
