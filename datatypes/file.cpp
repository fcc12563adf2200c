// file!: local file paths written %name, their text form, the system's form of a path, and
// the I/O actions that start at a file.
#include <algorithm>
#include <climits>
#include <cstring>

#include "datatypes/any_string.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/text_output.hpp"
#include "datatypes/types.hpp"
#include "datatypes/values.hpp"
#include "interpreter/stack.hpp"
#include "runtime/errors.hpp"
#include "runtime/heap.hpp"
#include "runtime/platform.hpp"
#include "runtime/unicode_string.hpp"

namespace tav::file {
namespace {

uint32_t head_of(const cell& text) {
  return static_cast<uint32_t>(
      std::clamp<int64_t>(static_cast<int32_t>(text.payload1), 0, string::ts_abs_length_p(text)));
}

// A character that makes the molded file need its quotes: one outside the URL class, and those
// of the class that end an unquoted file token.
bool needs_quotes_p(uint32_t cp) {
  if (cp > 127) return false;
  if (cp == ':' || cp == '@' || cp == '(' || cp == ')' || cp == 127) return true;
  return !url::plain_p(static_cast<uint8_t>(cp), url::url_mode);
}

// One character inside the quotes, escaped where the quoted-file scanner would end the name or
// lose the character.
void append_quoted_char(cell& buffer, uint32_t cp) {
  static constexpr char digits[] = "0123456789ABCDEF";
  if (cp == '^') {
    text::append_c_part(buffer, "^^", 2);
  } else if (cp == '\n') {
    text::append_c_part(buffer, "^/", 2);
  } else if (cp == '\t') {
    text::append_c_part(buffer, "^-", 2);
  } else if (cp == '"' || cp < 0x20 || cp == 127) {
    const char escaped[] = {'^', '(', digits[cp >> 4], digits[cp & 15], ')'};
    text::append_c_part(buffer, escaped, sizeof escaped);
  } else {
    text::append_char(buffer, cp);
  }
}

// A name read from a folder that was not UTF-8 carries each stray byte as U+DC80..U+DCFF
// (encoded ED B2 80 .. ED B3 BF): the system gets that byte back. The path only shrinks.
void restore_stray_bytes(uint8_t* path, int64_t& length) {
  int64_t out = 0;
  for (int64_t i = 0; i < length;) {
    if (path[i] == 0xED && i + 2 < length && (path[i + 1] & 0xFE) == 0xB2 && (path[i + 2] & 0xC0) == 0x80) {
      path[out++] = static_cast<uint8_t>(0x80 | (path[i + 1] & 1) << 6 | (path[i + 2] & 0x3F));
      i += 3;
    } else {
      path[out++] = path[i++];
    }
  }
  path[out] = 0;
  length = out;
}

[[noreturn, gnu::cold]] void no_services() { fire(error_id::internal_not_done); }

cell* result_cell() {
  cell* result = stack::push_cell();
  *result = none::value;
  return result;
}

}  // namespace

// The file services live above this layer; the actions check what they can and pass the rest.
services io = {};

cell* load(const uint8_t* bytes, size_t length, string::encoding from) {
  cell* result = string::load(bytes, length, from);
  set_type(*result, TYPE_FILE);
  return result;
}

cell* push(const cell& value) { return stack::push_copy(value); }

void to_local_path(const cell& file, cell& output, bool full) {
  bool relative = string::ts_tail_p(file) || string::ts_abs_at(file, head_of(file)) != '/';
  if (full && relative) {
    cell* directory = get_current_dir();
    string::concatenate(output, *directory, -1, 0, string::concat_mode::append);
    stack::pop_cells(1);
  }
  string::concatenate(output, file, -1, 0, string::concat_mode::append);
}

const char* to_os_path(cell& file) {
  cell local = unset::value;
  text::make_at(local, string::ts_length_p(file));
  to_local_path(file, local, false);
  int64_t length = -1;
  uint8_t* path = unicode::to_utf8(local, &length);
  // The system would read the name only up to a NUL and open some other file.
  if (std::memchr(path, 0, static_cast<size_t>(length))) fire(error_id::access_cannot_open, file);
  if (std::memchr(path, 0xED, static_cast<size_t>(length))) restore_stray_bytes(path, length);
  return reinterpret_cast<const char*>(path);
}

cell* get_current_dir() {
  cell* result = stack::push_cell();
  *result = unset::value;
  size_t length = 0;
  char* directory = platform::get_current_dir(length);
  string::load_at(reinterpret_cast<const uint8_t*>(directory), directory ? length : 0, result,
                  string::encoding::utf8);
  if (directory) heap_free(directory);
  uint32_t count = string::ts_length_p(*result);
  if (count == 0 || string::ts_abs_at(*result, count - 1) != '/') text::append_char(*result, '/');
  return result;
}

void normalize_slashes(cell& string) {
  series_buffer* buffer = buffer_of(string.payload2);
  for (uint32_t i = head_of(string); i < buffer->count(); ++i)
    if (unicode::get_unit(buffer->head(), i, buffer->unit()) == '\\')
      unicode::set_unit(buffer->head(), i, buffer->unit(), '/');
}

// %name, or %"name" when a character needs the quotes, with the characters inside them that
// the loader could not read back escaped.
int32_t mold(cell* value, cell* buffer, bool, bool, bool, cell* part, int32_t limit, int32_t) {
  uint32_t length = string::ts_length_p(*value);
  uint32_t count = part && limit >= 0 ? std::min(length, static_cast<uint32_t>(limit)) : length;
  uint32_t head = head_of(*value);
  bool quoted = count == 0;
  for (uint32_t i = 0; i < count && !quoted; ++i) quoted = needs_quotes_p(string::ts_abs_at(*value, head + i));

  uint32_t before = text::length(*buffer);
  text::append_char(*buffer, '%');
  if (quoted) text::append_char(*buffer, '"');
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t cp = string::ts_abs_at(*value, head + i);
    if (quoted)
      append_quoted_char(*buffer, cp);
    else
      text::append_char(*buffer, cp);
  }
  if (quoted) text::append_char(*buffer, '"');
  return limit - static_cast<int32_t>(text::length(*buffer) - before);
}

cell* delete_(cell* port) {
  if (!io.delete_) no_services();
  return logic::push(io.delete_(*port));
}

cell* query(cell* target) {
  if (!io.query) no_services();
  cell* result = result_cell();
  io.query(*target, *result);
  return result;
}

// /info has nothing to add for a file; /as would need encodings the services do not have.
cell* read(cell* source, cell* part, cell* seek, bool binary, bool lines, bool, cell* as) {
  if (as || !io.read) no_services();
  cell* result = result_cell();
  io.read(*source, part, seek, binary, lines, *result);
  return result;
}

cell* rename(cell* from, cell* to) {
  if (to->type() != TYPE_FILE) fire(error_id::script_invalid_arg, *to);
  if (!io.rename) no_services();
  return logic::push(io.rename(*from, *to));
}

cell* write(cell* destination, cell* data, bool binary, bool lines, bool, bool append, cell* part, cell* seek,
            cell* allow, cell* as) {
  if (allow || as || !io.write) no_services();
  cell* result = result_cell();
  io.write(destination, *data, part, seek, binary, append, lines, *result);
  return result;
}

void init() {
  datatype::register_type(TYPE_FILE, datatype::actions_row(
      // make random reflect to form mold eval-path set-path compare
      inherit, unsupported, unsupported, inherit, inherit, &mold, inherit, unsupported, inherit,
      // absolute add divide multiply negate power remainder round subtract
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported,
      // even? odd? and~ complement or~ xor~
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      // append at back change clear copy find head head? index? insert length? move next
      inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
      inherit, inherit,
      // pick poke put remove reverse select sort skip swap tail tail? take trim
      inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
      inherit,
      // create close delete modify open open? query read rename update write
      unsupported, unsupported, &delete_, inherit, unsupported, inherit, &query, &read, &rename, unsupported,
      &write));
}

}  // namespace tav::file
