// The minimal `system` object: catalog/errors made from the one catalog table, state and
// standard/error.
#include "boot/system_object.hpp"

#include <cstdlib>
#include <cstring>

#include <unistd.h>

#include <string>

#include "build_facts.hpp"
#include "boot/build_record.hpp"
#include "boot/vocabulary.hpp"
#include "datatypes/any_string.hpp"
#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/date.hpp"
#include "datatypes/error.hpp"
#include "datatypes/object.hpp"
#include "datatypes/port.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/text_output.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/interpreter.hpp"
#include "io/os.hpp"
#include "runtime/collector.hpp"
#include "interpreter/stack.hpp"
#include "runtime/errors.hpp"
#include "runtime/platform.hpp"
#include "runtime/throw.hpp"
#include "runtime/series.hpp"

namespace tav::system_object {

cell value{TYPE_NONE, 0, 0, 0};

namespace {

constexpr const char* error_fields[] = {"code", "type", "id", "arg1", "arg2", "arg3", "near", "where", "stack", "files"};
static_assert(std::size(error_fields) == error::field_count);

constexpr uint32_t stack_trace_default = 1;
constexpr uint32_t source_files_room = 4;

cell name_word(const char* name, uint8_t type = TYPE_WORD) {
  return word::make_cell(type, 0, symbol::make(name), static_cast<int32_t>(word::unresolved));
}

node_id new_context(uint32_t slots) { return context::create(slots, false, true, 0, context::kind_object); }

void add(node_id context, const char* name, const cell& field_value) {
  const cell copy = field_value;
  context::add_with(context, name_word(name), copy);
}

cell finish(node_id context) {
  cell object = object::make_cell(context, object::next_class_id(), 0);
  *context::self_of(context) = object;
  return object;
}

cell string_of(const char* start, size_t length) {
  cell string;
  text::make_at(string, static_cast<uint32_t>(length));
  text::append_c_part(string, start, static_cast<uint32_t>(length));
  return string;
}

// A catalog template as a value: a string, a block of strings and (get-)words, or a word.
cell template_value(const char* t) {
  if (*t == '"') return string_of(t + 1, std::strlen(t) - 2);
  if (*t != '[') return name_word(t);
  cell block{TYPE_BLOCK, 0, alloc_cells(8), 0};
  for (++t; *t && *t != ']';) {
    if (*t == ' ') {
      ++t;
      continue;
    }
    if (*t == '"') {
      const char* close = std::strchr(t + 1, '"');
      const cell string = string_of(t + 1, static_cast<size_t>(close - t - 1));
      *alloc_block_tail(block) = string;
      t = close + 1;
      continue;
    }
    uint8_t type = *t == ':' ? TYPE_GET_WORD : TYPE_WORD;
    if (*t == ':') ++t;
    char name[8] = {};
    size_t length = 0;
    while (t[length] && t[length] != ' ' && t[length] != ']' && length < sizeof name - 1) ++length;
    std::memcpy(name, t, length);
    t += length;
    const cell word = name_word(name, type);
    *alloc_block_tail(block) = word;
  }
  return block;
}

cell category_object(error_category category) {
  node_id context = new_context(8);
  add(context, "code", scalar::integer(static_cast<int32_t>(category) * 100));
  const char* title = error_category_text(category);
  add(context, "type", string_of(title, std::strlen(title)));
  for (uint16_t i = 0; i < static_cast<uint16_t>(error_id::count); ++i) {
    const error_entry& entry = error_info(static_cast<error_id>(i));
    if (entry.category == category) add(context, entry.word, template_value(entry.message));
  }
  return finish(context);
}

cell errors_object() {
  node_id context = new_context(error_category_count);
  for (uint32_t c = 0; c < error_category_count; ++c) {
    auto category = static_cast<error_category>(c);
    add(context, error_category_word(category), category_object(category));
  }
  return finish(context);
}

cell catalog_object(const cell& errors) {
  node_id context = new_context(5);
  for (const char* name : {"datatypes", "actions", "natives", "accessors"}) add(context, name, none::value);
  add(context, "errors", errors);
  return finish(context);
}

// interpreted?, callbacks and GC are functions and objects of the boot image; they are none
// here and keep their places, so that the fields read by position stay where they belong.
cell state_object() {
  node_id context = new_context(6);
  add(context, "interpreted?", none::value);
  add(context, "last-error", none::value);
  add(context, "stack-trace", scalar::integer(stack_trace_default));
  add(context, "source-files", cell{TYPE_BLOCK, 0, alloc_cells(source_files_room), 0});
  add(context, "callbacks", none::value);
  add(context, "GC", none::value);
  return finish(context);
}

cell error_prototype() {
  node_id context = new_context(error::field_count);
  for (const char* name : error_fields) add(context, name, none::value);
  return finish(context);
}

cell standard_object(const cell& prototype) {
  node_id context = new_context(1);
  add(context, "error", prototype);
  return finish(context);
}

}  // namespace

void init() {
  static bool rooted = false;
  if (!rooted) {
    collector::add_root(&value);
    interpreter::register_system_object(&value);
    port::register_system_object(&value);
  }
  rooted = true;
  const cell errors = errors_object();
  const cell catalog = catalog_object(errors);
  const cell state = state_object();
  const cell prototype = error_prototype();
  const cell standard = standard_object(prototype);
  node_id context = new_context(4);
  add(context, "catalog", catalog);
  add(context, "state", state);
  add(context, "standard", standard);
  add(context, "facts", none::value);
  value = finish(context);
  cell name;
  word::make_at(name, symbol::make("system"));
  context::set(name, value);
  error::connect_system(errors, prototype, state);
}

namespace {

cell file_named(const char* path, size_t length) {
  cell* saved = stack::top;
  const cell file = *file::load(reinterpret_cast<const uint8_t*>(path), length, string::encoding::utf8);
  stack::top = saved;
  return file;
}

// The built executable's path, from the running process.
cell executable_path() {
  char path[4096];
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path);
  return file_named(path, length > 0 ? static_cast<size_t>(length) : 0);
}

cell command_line() {
  cell line;
  os::get_command_line(line);
  return line;
}

// None, or the build's git facts as strings, appended one by one so the block roots them.
cell git_record() {
  if (!boot::build_git_known) return none::value;
  cell record = cell{TYPE_BLOCK, 0, alloc_cells(6), 0};
  *stack::push_cell() = record;
  for (const char* text : boot::build_git) *alloc_block_tail(record) = string_of(text, std::strlen(text));
  --stack::top;
  return record;
}

// The values the Tav source cannot make itself: version, build-basename, words, command line,
// git record, the build's date and the commit's date.
// Each fact is appended as soon as it is made, so the block, held in the partial object, roots it.
void fill_facts(cell& facts) {
  facts = cell{TYPE_BLOCK, 0, alloc_cells(7), 0};
  cell fact = string_of(TAV_VERSION, std::strlen(TAV_VERSION));
  *alloc_block_tail(facts) = fact;
  fact = executable_path();
  *alloc_block_tail(facts) = fact;
  fact = *context::self_of(context::global);
  *alloc_block_tail(facts) = fact;
  fact = command_line();
  *alloc_block_tail(facts) = fact;
  fact = git_record();
  *alloc_block_tail(facts) = fact;
  fact = *date::push_epoch(build_facts::epoch, date::zone_from_minutes(build_facts::zone_minutes));
  *alloc_block_tail(facts) = fact;
  fact = none::value;
  if (boot::build_git_known) {
    // Shown in the zone of the machine that runs the program.
    uint32_t local_zone = platform::get_date(false) & date::zone_mask;
    fact = *date::push_epoch(std::strtoll(boot::build_git[3], nullptr, 10), local_zone);
  }
  *alloc_block_tail(facts) = fact;
}

cell field(const cell& object, const char* name) { return *object::select_word(object, *word::load(name)); }

}  // namespace

bool complete() {
  // Built once: a vocabulary defined again keeps the object it has.
  cell* facts = object::select_word(value, *word::load("facts"));
  if (facts == &none::value) return false;
  cell* saved = stack::top;
  fill_facts(*facts);
  const cell source = boot::source_block("system");
  *stack::push_cell() = source;
  interpreter::do_block(source, false);
  stack::top = saved;
  cell name;
  word::make_at(name, symbol::make("system"));
  const cell made = *context::get(name);
  if (made.type() != TYPE_OBJECT) runtime_error(98);
  value = made;
  error::connect_system(field(field(value, "catalog"), "errors"), field(field(value, "standard"), "error"),
                        field(value, "state"));
  return true;
}

void forget() {
  value = cell{TYPE_NONE, 0, 0, 0};
  error::disconnect_system();
}

}  // namespace tav::system_object
