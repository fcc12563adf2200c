// Console terminal layer: terminal detection and size, the key reader, the reader of input
// that is no terminal, system/console/init, input-stdin and read-stdin.
#include "console/terminal.hpp"

#include <unistd.h>

#include <cerrno>
#include <iterator>

#include "boot/definitions.hpp"
#include "boot/global_load.hpp"
#include "boot/system_object.hpp"
#include "boot/vocabulary.hpp"
#include "console/cells.hpp"
#include "console/editor.hpp"
#include "console/engine.hpp"
#include "console/keys.hpp"
#include "console/tty.hpp"
#include "datatypes/binary.hpp"
#include "datatypes/object.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/string.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/interpreter.hpp"
#include "interpreter/stack.hpp"
#include "runtime/collector.hpp"
#include "runtime/console_out.hpp"
#include "runtime/errors.hpp"
#include "runtime/heap.hpp"
#include "runtime/platform.hpp"
#include "runtime/series.hpp"
#include "runtime/unicode.hpp"

namespace tav::terminal {
namespace {

bool console = true;
int column_count = -1;
int row_count = -1;

// Bytes of one character of input that is no terminal; taken from the tracked heap once.
uint8_t* stdin_buffer = nullptr;
constexpr size_t stdin_buffer_size = 10;

long read_terminal(void*, uint8_t* buffer, size_t size, int timeout_ms) {
  return tty::read_input(buffer, size, timeout_ms);
}

key_decoder& decoder() {
  static key_decoder the_decoder({read_terminal, nullptr});
  return the_decoder;
}

// ---- system/console -------------------------------------------------------------------------

// The size field of system/console, null while there is no console object.
cell* console_size() {
  if (system_object::value.type() != TYPE_OBJECT) return nullptr;
  const cell object = *object::select_word(system_object::value, *word::load("console"));
  if (object.type() != TYPE_OBJECT) return nullptr;
  cell* field = object::select_word(object, *word::load("size"));
  return field == &none::value ? nullptr : field;
}

void set_console_size(int x, int y) {
  if (cell* size = console_size()) pair::make_at(*size, x, y);
}

// ---- Reading standard input -----------------------------------------------------------------

// One read of one byte; false at the end of the input or when it fails.
bool read_byte(uint8_t* into) {
  for (;;) {
    ssize_t n = ::read(STDIN_FILENO, into, 1);
    if (n == 1) return true;
    if (n < 0 && errno == EINTR) continue;
    return false;
  }
}

uint8_t* stdin_bytes() {
  if (!stdin_buffer) stdin_buffer = static_cast<uint8_t*>(heap_alloc(stdin_buffer_size));
  return stdin_buffer;
}

// ---- Routines -------------------------------------------------------------------------------

// The title's characters as 8-bit text; control characters are left out, so that no title
// can end the sequence early or send one of its own.
void write_title(const cell& title) {
  std::string out = "\x1b]0;";
  series_buffer* b = buffer_of(title.payload2);
  const uint32_t unit = b->unit();
  for (uint32_t i = title.payload1; i < b->count(); ++i) {
    const uint32_t c = unicode::get_unit(b->head(), i, unit) & 0xFF;
    if (c < 32 || (c >= 127 && c < 160)) continue;
    uint8_t bytes[4];
    out.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(unicode::cp_to_utf8(c, bytes)));
  }
  out += '\a';
  console_out::flush();
  tty::write_output(out.data(), out.size());
}

// system/console/init str: the window title (best effort: a terminal that ignores it ends
// nothing), the terminal's state, the editor's saved line, and 80x50 for a size of 0.
routine::answer console_init(cell* arguments) {
  const cell title = arguments[0];
  if (tty::console_p()) write_title(title);
  init();
  editor::init_globals();
  if (cell* size = console_size(); size && size->type() == TYPE_PAIR && (pair::x_of(*size) == 0 || pair::y_of(*size) == 0))
    pair::make_at(*size, 80, 50);
  arguments[0] = unset::value;
  return {0, 0};
}

routine::answer input_stdin(cell* arguments) {
  cell line;
  string::ts_make_at(line, 256);
  arguments[0] = line;
  stdin_readline(arguments[0]);
  return {0, 0};
}

// One read into the binary at its index; the binary is first grown so that `buflen` bytes fit
// there, and its tail moves past what was read.
routine::answer read_stdin(cell* arguments) {
  const cell target = arguments[0];
  const int32_t length = scalar::integer_value(arguments[1]);
  arguments[0] = unset::value;
  if (length <= 0) return {0, 0};
  series_buffer* b = buffer_of(binary::node_of(target));
  uint32_t index = static_cast<uint32_t>(binary::head_of(target));
  if (index > b->used()) index = b->used();
  const uint64_t needed = uint64_t{b->offset} + index + static_cast<uint32_t>(length);
  if (needed > max_series_size) fire(error_id::internal_no_memory);
  if (needed > b->size) b = expand_series(b, static_cast<int64_t>(needed));
  ssize_t n;
  do n = ::read(STDIN_FILENO, b->head() + index, static_cast<size_t>(length));
  while (n < 0 && errno == EINTR);
  if (n > 0 && index + static_cast<uint32_t>(n) > b->used()) b->tail = b->offset + index + static_cast<uint32_t>(n);
  return {0, 0};
}

constexpr boot::builtin builtins[] = {
    {"console-init", console_init, nullptr},
    {"input-stdin", input_stdin, nullptr},
    {"read-stdin", read_stdin, nullptr},
};

// The console's start-up definitions: the provisional system/console until the console's own
// object (console/engine.tav) replaces it, TAB completion, the input definitions in their
// order, then the help context (console/help.tav).
constexpr char console_routines[] = R"(
console-init: routine [str [string!]] [the console's platform initialisation] console-init
)";

constexpr char provisional_console[] = R"(
if none? system/console [
    system/console: make object! [history: make block! 200 size: 80x50 init: :console-init]
]
unset 'console-init
)";

constexpr char input_definitions[] = R"(
_set-buffer-history: routine ["Internal Use Only" line [string!] hist [block!]]
    [set up the line editor with the line and the history] _set-buffer-history
_read-input: routine ["Internal Use Only" prompt [string!] hidden? [logic!]]
    [read the line: edited on a terminal or one line of standard input] _read-input
_terminate-console: routine [] [nothing to end on this system] _terminate-console
_input-ended?: routine ["Internal Use Only" return: [logic!]]
    [whether the last line read ended the input] _input-ended?
ask: func [
    "Prompt the user for input"
    question [string!]
    /hide
    /history blk [block!]
    /local line
][
    line: make string! 1
    _set-buffer-history line head either history [blk] [system/console/history]
    _read-input question to logic! hide
    line
]
input: func ["Wait for console user input"] [ask ""]
input-stdin: routine ["Temporary function, internal use only"] [read a line of standard input] input-stdin
read-stdin: routine ["Temporary function, internal use only" buffer [binary!] buflen [integer!]]
    [read standard input into the buffer] read-stdin
)";

cell phase_block{TYPE_NONE, 0, 0, 0};

void run_source(const char* text, size_t length, bool definitions_p) {
  phase_block = boot::load_global(reinterpret_cast<const uint8_t*>(text), static_cast<uint32_t>(length));
  if (definitions_p) {
    boot::define_phase(phase_block);
  } else {
    cell* saved = stack::top;
    interpreter::do_block(phase_block, false);
    stack::top = saved;
  }
  phase_block = none::value;
}

void define_console() {
  boot::run_system_source(boot::source_block("header"));
  run_source(console_routines, sizeof console_routines - 1, true);
  run_source(provisional_console, sizeof provisional_console - 1, false);
  boot::run_system_source(boot::source_block("complete"));
  stdin_bytes();
  run_source(input_definitions, sizeof input_definitions - 1, true);
  boot::run_system_source(boot::source_block("help"));
  engine::define();
  boot::run_system_source(boot::source_block("commands"));
  boot::run_system_source(boot::source_block("settings"));
  // One tying for the whole step: it walks every function of the system made so far.
  boot::end_definitions();
}

}  // namespace

bool console_p() { return console; }

void init() {
  console = tty::console_p();
  if (!console) return;
  tty::install_handlers();
  read_window_size();
}

int read_window_size() {
  if (const cell* size = console_size(); size && size->type() == TYPE_PAIR) {
    column_count = pair::x_of(*size);
    row_count = pair::y_of(*size);
  }
  int columns = 0, rows = 0;
  if (!tty::window_size(columns, rows)) return -1;
  column_count = columns;
  row_count = rows;
  if (columns <= 0) {
    column_count = 80;
    set_console_size(80, rows);
    return -1;
  }
  set_console_size(columns, rows);
  return 0;
}

int columns() { return column_count; }
int rows() { return row_count; }

// The window may change while the reader waits: the size is read again before the key that
// comes after the change is handed on.
int32_t read_key() {
  if (tty::take_resized()) read_window_size();
  const int32_t key = decoder().read_key();
  if (tty::take_resized()) read_window_size();
  return key;
}

renderer& start_edit() {
  static renderer the_renderer;
  the_renderer.start(column_count > 0 ? column_count : 80, static_cast<int>(console_out::column()));
  return the_renderer;
}

void draw(const std::string& bytes) {
  console_out::flush();
  tty::write_output(bytes.data(), bytes.size());
}

int32_t read_stdin_char() {
  uint8_t* bytes = stdin_bytes();
  if (!read_byte(bytes)) return -1;
  if (bytes[0] < 0x80) return bytes[0];
  if (bytes[0] >= 0xF8) return -1;
  const size_t length = static_cast<size_t>(unicode::utf8_lead_size(bytes[0]));
  if (length == 0) return -1;
  for (size_t i = 1; i < length; ++i)
    if (!read_byte(bytes + i)) return -1;
  size_t available = length;
  return unicode::decode_utf8_char(bytes, &available);
}

bool stdin_readline(cell& string) {
  for (bool any = false;; any = true) {
    const int32_t cp = read_stdin_char();
    if (cp < 0) return any;
    if (cp == '\n') return true;
    series_buffer* b = buffer_of(string.payload2);
    string::append_char(b, static_cast<uint32_t>(cp));
  }
}

void install() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  editor::install();
  engine::install();
  collector::add_root(&phase_block);
  console_out::set_width_function(cell_width);
  boot::add_builtins(builtins, std::size(builtins));
  boot::set_upper_definitions(define_console);
}

}  // namespace tav::terminal
