// The boot image maker, run by the build: the global definitions of the datatype, action and
// native words from the tables the program registers them from, then the generated definitions,
// then the name and block of every start-up source (boot/*.tav, library/*.tav, console/*.tav,
// view/*.tav, view/backends/terminal/*.tav): start-up takes its phases and the sources its code runs by name from there.
//   tav_boot_image SOURCE-DIR IMAGE            writes the image
//   tav_boot_image --check SOURCE-DIR IMAGE    decodes the image in boot mode and compares it
//                                              with the sources and the tables; a difference
//                                              names what differs and ends with status 1
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "boot/global_load.hpp"
#include "boot/startup.hpp"
#include "boot/vocabulary.hpp"
#include "datatypes/actions.hpp"
#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/native.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/text_output.hpp"
#include "datatypes/types.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/stack.hpp"
#include "io/tavbin.hpp"
#include "runtime/errors.hpp"
#include "runtime/platform.hpp"
#include "runtime/series.hpp"

namespace tav {
namespace {

struct request {
  bool check = false;
  std::string sources;
  std::string image;
} options;

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "tav_boot_image: %s\n", what.c_str());
  std::fflush(stderr);
  std::_Exit(1);
}

bool read_file(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

struct source_file {
  std::string name;
  std::string path;
};

// Every .tav file of boot/, library/, console/, view/ and the terminal backend's folder, each
// folder in the order of the names. The GUI layer's sources are named with their folder
// ("view/helpers", "view/backends/terminal/helpers"), as their stems repeat the library's.
std::vector<source_file> source_files() {
  std::vector<source_file> found;
  for (const char* folder : {"boot", "library", "console", "view", "view/backends/terminal"}) {
    const std::string prefix = std::string_view(folder).starts_with("view") ? std::string(folder) + "/" : "";
    std::vector<source_file> here;
    const std::filesystem::path dir = std::filesystem::path(options.sources) / folder;
    std::error_code failed;
    for (const auto& entry : std::filesystem::directory_iterator(dir, failed))
      if (entry.path().extension() == ".tav") here.push_back({prefix + entry.path().stem().string(), entry.path().string()});
    if (failed) fail("cannot list " + dir.string());
    std::sort(here.begin(), here.end(), [](const source_file& a, const source_file& b) { return a.name < b.name; });
    found.insert(found.end(), here.begin(), here.end());
  }
  return found;
}

std::string source_text(const source_file& file) {
  std::string text;
  if (!read_file(file.path, text)) fail("cannot read " + file.path);
  return text;
}

// The block of the Tav text with its words bound to the global context, pushed.
// A source that does not load fails the build naming the source and the error.
cell* push_loaded(const std::string& text, const std::string& name) {
  cell* slot = stack::push_cell();
  *slot = none::value;
  const bool failed = stack::catch_error(none::value, true, [&] {
    *slot = boot::load_global(reinterpret_cast<const uint8_t*>(text.data()), static_cast<uint32_t>(text.size()));
  });
  if (failed) {
    const error_entry& error = error_info(last_fired.id);
    fail("the source " + name + " does not load: " + error_category_text(error.category) + " " + error.word);
  }
  if (slot->type() != TYPE_BLOCK) fail("the source " + name + " does not load as a block");
  return slot;
}

cell* push_name(const std::string& name) {
  cell* slot = stack::push_cell();
  *slot = cell{TYPE_STRING, 0, text::load_utf8(reinterpret_cast<const uint8_t*>(name.data()), name.size()), 0};
  return slot;
}

void write_image() {
  boot::push_global_definitions();
  cell* values = stack::push_cell();
  *values = none::value;
  block::make_at(*values, 32);
  cell* loaded = push_loaded(boot::vocabulary_source(), "vocabulary");
  *alloc_block_tail(*values) = *loaded;
  stack::top = loaded;
  for (const source_file& file : source_files()) {
    cell* name = push_name(file.name);
    push_loaded(source_text(file), file.name);
    *alloc_block_tail(*values) = name[0];
    *alloc_block_tail(*values) = name[1];
    stack::top = name;
  }
  const std::vector<uint8_t> image = tavbin::encode_boot_image(stack::top[-2], *values);
  std::ofstream out(options.image, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  if (!out.flush()) fail("cannot write " + options.image);
}

// mold/all of the value, pushed.
cell* push_molded(const cell& value) {
  cell* saved = stack::arguments;
  cell* slot = stack::top;
  stack::arguments = stack::top;
  stack::push_copy(value);
  const int32_t positions[4] = {-1, 1, -1, -1};
  actions::entry::mold(positions);
  stack::arguments = saved;
  stack::top = slot + 1;
  return slot;
}

bool same_mold(const cell& a, const cell& b) {
  cell* first = push_molded(a);
  cell* second = push_molded(b);
  const bool same = actions::compare(first, second, actions::op::strict_equal) == 1;
  stack::top = first;
  return same;
}

// Every datatype, action and native word holds, after the decode, what the tables make of it:
// the same datatype, or the same kind of callable with the same index and spec.
void check_definitions() {
  boot::push_global_definitions();
  const cell definitions = stack::top[-1];
  const uint32_t pairs = buffer_of(definitions.payload2)->count() / 2;
  for (uint32_t i = 0; i < pairs; ++i) {
    const cell defined = buffer_of(definitions.payload2)->cells()[2 * i];
    const cell expected = buffer_of(definitions.payload2)->cells()[2 * i + 1];
    const cell found = *context::get(defined);
    const std::string name = symbol::name(word::symbol_of(defined));
    if (found.type() != expected.type()) fail("the image does not define " + name + " as the tables do");
    if (expected.type() == TYPE_DATATYPE) {
      if (found.payload1 != expected.payload1) fail("the image's " + name + " is another datatype");
      continue;
    }
    if (native::index_of(found) != native::index_of(expected)) fail("the image's " + name + " has another index");
    if (!same_mold(cell{TYPE_BLOCK, 0, native::spec_of(found), 0}, cell{TYPE_BLOCK, 0, native::spec_of(expected), 0}))
      fail("the image's " + name + " has another spec");
  }
}

// The block the image holds under the name, pushed; fails naming the phase when there is none.
cell* push_image_block(const std::string& name) {
  cell block;
  if (!boot::find_source_block(name.c_str(), block)) fail("the phase " + name + " is not in the image");
  return stack::push_copy(block);
}

void check_image() {
  std::string bytes;
  if (!read_file(options.image, bytes)) fail("cannot read " + options.image);
  boot::load_boot_image({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
  const std::vector<source_file> files = source_files();
  for (const std::string& name : boot::boot_source_names()) {
    bool found = false;
    for (const source_file& file : files) found = found || file.name == name;
    if (!found) fail("the phase " + name + " of the image has no source");
  }
  cell* decoded = push_image_block("vocabulary");
  if (!same_mold(*decoded, *push_loaded(boot::vocabulary_source(), "vocabulary")))
    fail("the phase vocabulary of the image differs from the generated definitions");
  stack::top = decoded;
  for (const source_file& file : files) {
    decoded = push_image_block(file.name);
    if (!same_mold(*decoded, *push_loaded(source_text(file), file.name)))
      fail("the phase " + file.name + " of the image differs from its source");
    stack::top = decoded;
  }
  check_definitions();
}

int run(void*) {
  boot::init_runtime();
  if (options.check)
    check_image();
  else
    write_image();
  return 0;
}

}  // namespace
}  // namespace tav

int main(int argc, char** argv) {
  int first = 1;
  if (argc > 1 && std::string(argv[1]) == "--check") {
    tav::options.check = true;
    first = 2;
  }
  if (argc != first + 2) {
    std::fprintf(stderr, "usage: %s [--check] SOURCE-DIR IMAGE\n", argv[0]);
    return 2;
  }
  tav::options.sources = argv[first];
  tav::options.image = argv[first + 1];
  // Nothing is freed on the way out: the process ends here.
  const int status = tav::platform::start_up(argc, argv, tav::run, nullptr);
  std::fflush(nullptr);
  std::_Exit(status);
}
