// The boot image maker, run by the build: the global definitions of the datatype, action and
// native words from the tables the program registers them from, then the generated definitions
// and one block per start-up source, in the order start-up runs them.
//   tav_boot_image SOURCE-DIR IMAGE            writes the image
//   tav_boot_image --check SOURCE-DIR IMAGE    decodes the image in boot mode and compares it
//                                              with the sources and the tables; a difference
//                                              names what differs and ends with status 1
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "boot/global_load.hpp"
#include "boot/startup.hpp"
#include "boot/vocabulary.hpp"
#include "datatypes/actions.hpp"
#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/native.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/types.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/stack.hpp"
#include "io/tavbin.hpp"
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

std::string source_text(const std::string& name) {
  std::string text;
  for (const char* folder : {"/boot/", "/library/"})
    if (read_file(options.sources + folder + name + ".tav", text)) return text;
  fail("no source boot/" + name + ".tav or library/" + name + ".tav under " + options.sources);
}

// The block of the Tav text with its words bound to the global context, pushed.
cell* push_loaded(const std::string& text, const std::string& name) {
  cell* slot = stack::push_cell();
  *slot = boot::load_global(reinterpret_cast<const uint8_t*>(text.data()), static_cast<uint32_t>(text.size()));
  if (slot->type() != TYPE_BLOCK) fail("the source " + name + " does not load as a block");
  return slot;
}

// The generated definitions under their own name, then each source under its name.
std::vector<std::string> block_names() {
  std::vector<std::string> names{"vocabulary"};
  const std::vector<std::string>& sources = boot::boot_source_names();
  names.insert(names.end(), sources.begin(), sources.end());
  return names;
}

cell* push_source_block(const std::string& name) {
  if (name == "vocabulary") return push_loaded(boot::vocabulary_source(), name);
  return push_loaded(source_text(name), name);
}

void write_image() {
  boot::push_global_definitions();
  cell* values = stack::push_cell();
  *values = none::value;
  block::make_at(*values, 16);
  for (const std::string& name : block_names()) {
    cell* loaded = push_source_block(name);
    *alloc_block_tail(*values) = *loaded;
    stack::top = loaded;
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

void check_image() {
  std::string bytes;
  if (!read_file(options.image, bytes)) fail("cannot read " + options.image);
  const uint32_t base = buffer_of(context::root.payload2)->count();
  tavbin::boot_load(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  const std::vector<std::string> names = block_names();
  const uint32_t count = buffer_of(context::root.payload2)->count() - base;
  if (count != names.size())
    fail("the image holds " + std::to_string(count) + " blocks, the sources " + std::to_string(names.size()));
  for (uint32_t k = 0; k < names.size(); ++k) {
    const cell decoded = buffer_of(context::root.payload2)->cells()[base + k];
    cell* loaded = push_source_block(names[k]);
    if (decoded.type() != TYPE_BLOCK || !same_mold(decoded, *loaded))
      fail("the phase " + names[k] + " of the image differs from its source");
    stack::top = loaded;
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
