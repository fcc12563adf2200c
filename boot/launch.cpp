// Running a script: the command line's options, reading the script (the file named on the
// command line, else standard input), its header, loading and evaluating it, and the status
// the program ends with.
#include "boot/launch.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "boot/global_load.hpp"
#include "boot/system_object.hpp"
#include "datatypes/any_string.hpp"
#include "datatypes/block.hpp"
#include "datatypes/error.hpp"
#include "datatypes/object.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/interpreter.hpp"
#include "interpreter/library_calls.hpp"
#include "interpreter/stack.hpp"
#include "io/os.hpp"
#include "runtime/console_out.hpp"
#include "runtime/errors.hpp"
#include "runtime/platform.hpp"
#include "runtime/series.hpp"
#include "runtime/throw.hpp"
#include "runtime/unicode.hpp"

namespace tav::boot {
namespace {

// ---- Arguments ------------------------------------------------------------------------------

bool option_p(const char* argument) { return std::strncmp(argument, "--", 2) == 0; }

// The index of the script argument, argc when there is none. Options come first: "--catch" is
// taken (there is no interactive loop to enter afterwards yet), any other is skipped, and an
// argument after a lone "--" is the script even when it starts with "--".
int script_index(int argc, char** argv) {
  int i = 1;
  while (i < argc && option_p(argv[i]) && !(i > 1 && std::strcmp(argv[i - 1], "--") == 0)) ++i;
  return i;
}

cell file_of(const char* path) {
  cell file = *file::load(reinterpret_cast<const uint8_t*>(path), std::strlen(path), string::encoding::utf8);
  stack::pop_cells(1);
  return file;
}

cell* object_field(const char* object, const char* name) {
  cell holder = *object::select_word(system_object::value, *word::load(object));
  if (holder.type() != TYPE_OBJECT) return nullptr;
  cell* field = object::select_word(holder, *word::load(name));
  return field == &none::value ? nullptr : field;
}

// system/options/script and system/options/args, where the system object has them.
cell* option_field(const char* name) { return object_field("options", name); }

bool white_p(uint32_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The raw text of the command line after its options and the script, read as the arguments
// were: leading white space, then switches ("--..." up to white space, or a quoted one up to
// its closing quote) until a lone "--" or the first text that is no switch, then the script
// (quoted pieces and other characters up to white space) and the white space after it.
uint32_t options_and_script_length(const cell& line) {
  const uint32_t head = line.payload1, n = string::ts_length_p(line);
  auto at = [&](uint32_t i) { return i < n ? string::ts_abs_at(line, head + i) : 0u; };
  auto skip_white = [&](uint32_t i) {
    while (i < n && white_p(at(i))) ++i;
    return i;
  };
  auto past_quote = [&](uint32_t i) {  // i just after an opening quote
    while (i < n && at(i) != '"') ++i;
    return i < n ? i + 1 : n;
  };
  uint32_t i = skip_white(0);
  for (;;) {
    const bool quoted = at(i) == '"';
    const uint32_t start = quoted ? i + 1 : i;
    if (at(start) != '-' || at(start + 1) != '-') break;
    uint32_t end = start + 2;
    if (quoted) {
      while (end < n && at(end) != '"') ++end;
      i = end < n ? end + 1 : n;
    } else {
      while (end < n && !white_p(at(end))) ++end;
      i = end;
    }
    i = skip_white(i);
    if (end == start + 2) break;
  }
  while (i < n && !white_p(at(i))) i = at(i) == '"' ? past_quote(i + 1) : i + 1;
  return skip_white(i);
}

// What the script sees of the command line once it is read: its file in system/options/script,
// the arguments after it in system/options/args and their raw text in system/script/args.
// Without a script the arguments stay, less the "--catch" the option walk took.
void note_arguments(int argc, char** argv, int script, const cell* file) {
  if (system_object::value.type() != TYPE_OBJECT) return;
  if (cell* field = option_field("script"); field && file) *field = *file;
  cell args;
  block::make_at(args, argc);
  for (int i = file ? script + 1 : 1; i < argc; ++i) {
    if (!file && std::strcmp(argv[i], "--catch") == 0) continue;
    cell text;
    os::load_text(argv[i], std::strlen(argv[i]), text);
    block::append_cell(args, text);
  }
  if (cell* field = option_field("args")) *field = args;
  cell* line = object_field("script", "args");
  if (file && line && line->type() == TYPE_STRING)
    string::remove_part(*line, line->payload1, options_and_script_length(*line));
}

// ---- Reading --------------------------------------------------------------------------------

bool read_all(int fd, std::string& bytes) {
  char chunk[65536];
  for (;;) {
    ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n == 0) return true;
    if (n < 0) return false;
    bytes.append(chunk, static_cast<size_t>(n));
  }
}

// A whole text, so a sequence cut short by the end is as invalid as a bad byte.
void check_utf8(const std::string& bytes) {
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  size_t left = bytes.size();
  while (left > 0) {
    if (*p < 0x80) {
      ++p, --left;
      continue;
    }
    size_t taken = left;
    if (unicode::decode_utf8_char(p, &taken) < 0) unicode::raise_invalid_utf8(p, left);
    p += taken, left -= taken;
  }
}

// The script's bytes, which must be UTF-8 text: an unreadable file raises access/cannot-open,
// bytes that are no UTF-8 access/invalid-utf8.
std::string read_script(const cell& file, const char* path) {
  std::string bytes;
  int fd = path ? ::open(path, O_RDONLY | O_CLOEXEC) : STDIN_FILENO;
  bool read = fd >= 0 && read_all(fd, bytes);
  if (path && fd >= 0) ::close(fd);
  if (!read) fire(error_id::access_cannot_open, file);
  check_utf8(bytes);
  return bytes;
}

// The script's folder becomes the current one, as scripts name their files relative to it.
void enter_folder(const char* path) {
  const char* slash = std::strrchr(path, '/');
  if (!slash) return;
  std::string folder(path, static_cast<size_t>(slash - path) + 1);
  if (folder == "./") return;
  if (!platform::set_current_dir(folder.c_str())) fire(error_id::access_cannot_open, file_of(folder.c_str()));
  // system/options/path follows, written quietly: the directory is already the new one.
  cell* saved = stack::top;
  cell* directory = file::get_current_dir();
  set_type(*directory, TYPE_FILE);
  if (cell* field = option_field("path")) *field = *directory;
  stack::top = saved;
}

// ---- Header ---------------------------------------------------------------------------------

bool space_p(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }

// Where the header starts: the first "Tav", with "/System" or not, then white space and "[".
// Text before it (a line for the shell, comments) is no part of the script.
size_t header_start(const std::string& text) {
  for (size_t at = text.find("Tav"); at != std::string::npos; at = text.find("Tav", at + 1)) {
    size_t i = at + 3;
    if (text.compare(i, 7, "/System") == 0) i += 7;
    while (i < text.size() && space_p(text[i])) ++i;
    if (i < text.size() && text[i] == '[') return at;
  }
  return std::string::npos;
}

bool contains_ignoring_case(const std::string& text, const char* part) {
  const size_t length = std::strlen(part);
  for (size_t at = 0; at + length <= text.size(); ++at)
    if (strncasecmp(text.data() + at, part, length) == 0) return true;
  return false;
}

// The index in the block just past the header (the word Tav and the block after it), or -1.
int32_t body_index(const cell& block) {
  const uint32_t tav = symbol::make("Tav");
  series_buffer* values = buffer_of(block.payload2);
  for (uint32_t i = block.payload1; i + 1 < values->count(); ++i) {
    const cell& value = values->cells()[i];
    if (value.type() == TYPE_WORD && word::symbol_of(value) == tav && values->cells()[i + 1].type() == TYPE_BLOCK)
      return static_cast<int32_t>(i + 2);
  }
  return -1;
}

// ---- Preprocessing --------------------------------------------------------------------------

// The preprocessor runs over the script from its header word on, with the build's configuration
// as its job, outside every catch: a directive's error, or its stop, ends the run.
void expand_script(const cell& code, int32_t header) {
  cell* base = stack::top;
  cell* arguments = stack::push_copy(code);
  arguments->payload1 = static_cast<uint32_t>(header);
  const cell* config = object_field("build", "config");
  stack::push_copy(config ? *config : none::value);
  stack::push_copy(logic::value_of(false));
  interpreter::library::call(interpreter::library::entry::expand, arguments, 3);
  stack::top = base;
}

// ---- Reports --------------------------------------------------------------------------------

void report_error() {
  cell fields[error::field_count];
  error::fields_of(last_fired, fields);
  error::print_fields(fields, 0);
}

// Runs `body`; an error it raises outside every evaluation is reported and answers false.
template <class Body>
bool reported(Body&& body) {
  return catch_slot(
      code::error,
      [&] {
        body();
        return true;
      },
      [](uint32_t) {
        report_error();
        return false;
      });
}

}  // namespace

int launch(int argc, char** argv) {
  const int script = script_index(argc, argv);
  const char* path = script < argc ? argv[script] : nullptr;
  std::string text;
  cell file = none::value;
  bool read = reported([&] {
    if (path) file = file_of(path);
    text = read_script(file, path);
    note_arguments(argc, argv, script, path ? &file : nullptr);
  });
  if (!read) return status_failed;
  if (path && !reported([&] { enter_folder(path); })) return status_failed;

  const size_t start = header_start(text);
  if (start == std::string::npos) {
    print_line("*** Error: Tav header not found!");
    return status_failed;
  }
  cell code = none::value;
  if (!reported([&] {
        code = load_global(reinterpret_cast<const uint8_t*>(text.data()) + start,
                           static_cast<uint32_t>(text.size() - start));
      }))
    return status_failed;
  const int32_t body = code.type() == TYPE_BLOCK ? body_index(code) : -1;
  if (body < 0) {
    print_line(contains_ignoring_case(text, "Tav/System")
                                ? "*** Error: contains Tav/System code which requires compilation!"
                                : "*** Error: not a Tav program!");
    return status_failed;
  }
  if (!reported([&] { expand_script(code, body - 2); })) return status_failed;
  code.payload1 = static_cast<uint32_t>(body);
  cell* base = stack::top;
  interpreter::do_block(code, false);
  stack::top = base;
  return status_ok;
}

}  // namespace tav::boot
