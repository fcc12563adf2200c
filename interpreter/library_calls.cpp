#include "interpreter/library_calls.hpp"

#include <string>
#include <string_view>

#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/image.hpp"
#include "datatypes/object.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/types.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/interpreter.hpp"
#include "interpreter/stack.hpp"
#include "runtime/collector.hpp"
#include "runtime/errors.hpp"
#include "runtime/memory.hpp"

namespace tav::interpreter::library {
namespace {

constexpr const char* names[] = {"do-file", "preprocessor/expand", "url-parser/parse-url", "show-memory-stats",
                                 "face?", "cli-console-ctx/launch", "tav-complete-input",
                                 "TUI-helpers/make-progress-ui",
                                 "TUI-helpers/make-text-list-ui", "TUI-helpers/make-checkbox-ui",
                                 "TUI-helpers/make-radio-ui", "system/view/awake"};
static_assert(std::size(names) == static_cast<size_t>(entry::count));

// The values, in entry order, once start-up has ended.
cell table{TYPE_NONE, 0, 0, 0};

// The word after the last slash of the name (the frame's name), or before the first.
cell* name_word(entry which, bool last) {
  const std::string_view name = names[static_cast<uint32_t>(which)];
  const size_t slash = last ? name.rfind('/') : name.find('/');
  std::string part(slash == std::string_view::npos ? name : last ? name.substr(slash + 1) : name.substr(0, slash));
  return word::load(part.c_str());
}

// What the name holds now: its global word's value, then field after field through objects.
cell lookup(entry which) {
  std::string_view rest = names[static_cast<uint32_t>(which)];
  node_id context = context::global;
  cell value = unset::value;
  while (true) {
    const size_t slash = rest.find('/');
    const std::string part(rest.substr(0, slash));
    const cell* found = context::find_value(context, word::symbol_of(*word::load(part.c_str())));
    if (!found) return unset::value;
    value = *found;
    if (slash == std::string_view::npos) return value;
    if (value.type() != TYPE_OBJECT) return unset::value;
    context = object::context_of(value);
    rest = rest.substr(slash + 1);
  }
}

// Whether the library's face? takes the object for a face; false while nothing defines it.
bool face_p(const cell& object) {
  if (value_of(entry::face_p).type() == TYPE_UNSET) return false;
  cell* base = stack::top;
  call(entry::face_p, &object, 1);
  const cell answer = *(stack::top - 1);
  stack::top = base;
  return !logic::false_p(answer);
}

}  // namespace

const char* name_of(entry which) { return names[static_cast<uint32_t>(which)]; }

void fill() {
  static bool rooted = false;
  if (!rooted) collector::add_root(&table);
  rooted = true;
  image::face_p_hook = &face_p;
  cell made;
  block::make_at(made, static_cast<uint32_t>(entry::count));
  table = made;
  for (uint32_t i = 0; i < static_cast<uint32_t>(entry::count); ++i) {
    const cell value = lookup(static_cast<entry>(i));
    block::append_cell(table, value);
  }
}

cell value_of(entry which) {
  if (table.type() != TYPE_BLOCK) return lookup(which);
  return buffer_of(table.payload2)->cells()[static_cast<uint32_t>(which)];
}

void call(entry which, const cell* arguments, uint32_t count) {
  const cell function = value_of(which);
  switch (function.type()) {
    case TYPE_FUNCTION:
    case TYPE_ROUTINE:
    case TYPE_NATIVE:
    case TYPE_ACTION: break;
    case TYPE_UNSET: fire(error_id::script_no_value, *name_word(which, false));
    default: {
      cell type;
      datatype::make_at(type, function.type());
      fire(error_id::script_invalid_type, type);
    }
  }
  cell* code = block::push_only(count);
  for (uint32_t i = 0; i < count; ++i) block::append_cell(*code, arguments[i]);
  const cell name = *name_word(which, true);
  const interpreter::code source = interpreter::code_of(*code);
  call_options options;
  options.push = true;
  options.name = &name;
  apply_block(function, &source, 0, options);
}

}  // namespace tav::interpreter::library
