// The clipboard's values: text as UTF-8, file lists as text/uri-list read back through
// to-tav-file, images written as PNG and read from PNG, JPEG, GIF or BMP. No language error is
// raised for clipboard trouble: the programs' failures answer false.
#include "library/clipboard.hpp"

#include <string>
#include <string_view>
#include <vector>

#include "datatypes/any_string.hpp"
#include "datatypes/block.hpp"
#include "datatypes/image.hpp"
#include "datatypes/string.hpp"
#include "datatypes/values.hpp"
#include "interpreter/library_calls.hpp"
#include "interpreter/stack.hpp"
#include "io/clipboard.hpp"
#include "io/image_codecs.hpp"
#include "io/simple_io.hpp"
#include "runtime/collector.hpp"
#include "runtime/errors.hpp"
#include "runtime/string_cell.hpp"
#include "runtime/unicode_string.hpp"

namespace tav::library::clipboard {
namespace {

using tav::clipboard::answer;
using tav::clipboard::program;

enum class kind { utf8, latin1, files, picture };

struct readable {
  const char* type;
  kind as;
};

// The types a read takes, the first one offered winning.
constexpr readable readable_types[] = {
    {"UTF8_STRING", kind::utf8},  {"text/plain;charset=utf-8", kind::utf8},
    {"text/plain", kind::utf8},   {"STRING", kind::latin1},
    {"text/uri-list", kind::files}, {"image/png", kind::picture},
    {"image/jpeg", kind::picture}, {"image/gif", kind::picture},
    {"image/bmp", kind::picture},
};

const char* text_type(program through) {
  return through == program::wayland ? "text/plain;charset=utf-8" : "UTF8_STRING";
}

// Whole well-formed sequences only: the loader would raise on the rest (a trail surrogate,
// a code point above U+10FFFF).
bool utf8_p(std::string_view bytes) {
  for (size_t i = 0; i < bytes.size();) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    const size_t size = lead < 0x80 ? 1 : lead >= 0xC2 && lead < 0xE0 ? 2 : lead >= 0xE0 && lead < 0xF0 ? 3
                                         : lead >= 0xF0 && lead < 0xF5 ? 4 : 0;
    if (size == 0 || i + size > bytes.size()) return false;
    for (size_t k = 1; k < size; ++k)
      if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80) return false;
    const auto second = size > 1 ? static_cast<unsigned char>(bytes[i + 1]) : 0;
    if ((lead == 0xED && second >= 0xB0) || (lead == 0xF4 && second >= 0x90)) return false;
    i += size;
  }
  return true;
}

std::string latin1_to_utf8(std::string_view bytes) {
  std::string out;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      out += c;
    } else {
      out += static_cast<char>(0xC0 | (byte >> 6));
      out += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return out;
}

// Line ends become LF as in text files read.
bool text_of(std::string_view utf8, cell& result) {
  if (!utf8_p(utf8)) return false;
  size_t left = 0;
  const node_id node = unicode::load_utf8(reinterpret_cast<const uint8_t*>(utf8.data()), utf8.size(), 0, &left, true);
  result = string_cell::make(node);
  return true;
}

// Each path in the language's own form.
void files_of(std::string_view uri_list, cell& result) {
  block::make_at(result, 1);
  for (const std::string& path : tav::clipboard::paths_of(std::string(uri_list))) {
    cell* base = stack::top;
    const cell name = *simple_io::load_path_name(path, result);
    interpreter::library::call(interpreter::library::entry::to_tav_file, &name, 1);
    *(block::ts_tail(result) - 1) = stack::top[-1];
    stack::top = base;
  }
}

bool picture_of(std::string_view bytes, cell& result) {
  image_codecs::picture picture;
  if (!image_codecs::decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), picture)) return false;
  const uint32_t width = picture.width, height = picture.height;
  result = image::make_at(image::adopt_node(width, height, picture.release()));
  return true;
}

bool value_of(kind as, std::string_view bytes, cell& result) {
  switch (as) {
    case kind::utf8: return text_of(bytes, result);
    case kind::latin1: return text_of(latin1_to_utf8(bytes), result);
    case kind::files: files_of(bytes, result); return true;
    case kind::picture: return picture_of(bytes, result);
  }
  return false;
}

bool offered_p(const std::vector<std::string>& types, std::string_view type) {
  for (const std::string& each : types)
    if (each == type) return true;
  return false;
}

// ---- Writing --------------------------------------------------------------------------------

std::vector<unsigned char> bytes_of(std::string_view text) { return {text.begin(), text.end()}; }

std::string utf8_of(const cell& string) {
  cell text = string;
  int64_t length = -1;
  const uint8_t* bytes = unicode::to_utf8(text, &length);
  return std::string(reinterpret_cast<const char*>(bytes), static_cast<size_t>(length));
}

// Every value must be a file or a string; the first that is not is the error's.
void check_files(const cell& block) {
  cell walk = block;
  for (int32_t i = 0, n = block::ts_length_p(walk); i < n; ++i) {
    const cell value = block::ts_head(walk)[i];
    if (value.type() != TYPE_FILE && value.type() != TYPE_STRING) fire(error_id::script_invalid_arg, value);
  }
}

// The absolute local path of each value, relative ones taken from the current directory.
std::vector<std::string> local_paths(const cell& block) {
  std::vector<std::string> paths;
  cell walk = block;
  collector::scoped_root walk_root(&walk);
  cell local = none::value;
  collector::scoped_root local_root(&local);
  for (int32_t i = 0, n = block::ts_length_p(walk); i < n; ++i) {
    const cell value = block::ts_head(walk)[i];
    string::ts_make_at(local, 64);
    file::to_local_path(value, local, true);
    paths.push_back(utf8_of(local));
  }
  return paths;
}

std::vector<unsigned char> png_of(const cell& picture) {
  image_codecs::output out;
  if (!image_codecs::encode(image_codecs::png, image::pixels_of(picture), image::width_of(picture),
                            image::height_of(picture), out))
    return {};
  return {out.data, out.data + out.size};
}

}  // namespace

void read(cell& result) {
  // Converting a file list calls into the library, which may use the stack where `result` is.
  cell got = logic::value_of(false);
  collector::scoped_root root(&got);
  const program through = tav::clipboard::reach();
  std::vector<std::string> types;
  const answer listed = through == program::none ? answer::failed : tav::clipboard::list_types(through, types);
  if (listed == answer::nothing) got = none::value;
  if (listed == answer::done) {
    got = none::value;
    for (const readable& each : readable_types) {
      if (!offered_p(types, each.type)) continue;
      std::vector<unsigned char> bytes;
      if (tav::clipboard::fetch(through, each.type, bytes) != answer::done ||
          !value_of(each.as, {reinterpret_cast<const char*>(bytes.data()), bytes.size()}, got))
        got = logic::value_of(false);
      break;
    }
  }
  result = got;
}

bool write(const cell& data) {
  cell value = data;
  collector::scoped_root root(&value);
  switch (value.type()) {
    case TYPE_NONE:
    case TYPE_STRING:
    case TYPE_IMAGE: break;
    case TYPE_BLOCK: check_files(value); break;
    default: fire(error_id::script_invalid_arg, value);
  }
  const program through = tav::clipboard::reach();
  if (through == program::none) return false;
  switch (value.type()) {
    case TYPE_STRING: return tav::clipboard::offer(through, text_type(through), bytes_of(utf8_of(value)));
    case TYPE_BLOCK:
      return tav::clipboard::offer(through, "text/uri-list", bytes_of(tav::clipboard::uri_list(local_paths(value))));
    case TYPE_IMAGE: {
      if (image::count_of(value) == 0 || !image::pixels_of(value)) return tav::clipboard::clear(through);
      std::vector<unsigned char> png = png_of(value);
      return !png.empty() && tav::clipboard::offer(through, "image/png", std::move(png));
    }
    default: return tav::clipboard::clear(through);
  }
}

}  // namespace tav::library::clipboard
