// Definitions written in Tav: reading the definition forms of a start-up phase, the table of
// C++ built-ins they name, and the making of their routine! and function! values.
#include "boot/definitions.hpp"
#include "boot/vocabulary.hpp"

#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <string>
#include <iterator>
#include <vector>

#include "datatypes/actions.hpp"
#include "datatypes/binary.hpp"
#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/float.hpp"
#include "datatypes/function.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/object.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/typeset.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/interpreter.hpp"
#include "interpreter/library_calls.hpp"
#include "interpreter/natives.hpp"
#include "interpreter/stack.hpp"
#include "io/image_io.hpp"
#include "io/tavbin.hpp"
#include "boot/global_load.hpp"
#include "datatypes/any_string.hpp"
#include "io/os.hpp"
#include "io/simple_io.hpp"
#include "runtime/collector.hpp"
#include "runtime/errors.hpp"
#include "runtime/platform.hpp"
#include "runtime/series.hpp"
#include "runtime/throw.hpp"

namespace tav::boot {
namespace {

// The boot sources are part of the program: a definition that does not read is its fault.
[[noreturn, gnu::cold]] void malformed_source() { runtime_error(98); }

// The functions made since the vocabulary began, tied when it ends.
cell system_functions{TYPE_NONE, 0, 0, 0};

cell* cells_of(const cell& block) { return buffer_of(block.payload2)->cells(); }

uint32_t tail_of(const cell& block) { return buffer_of(block.payload2)->count(); }

const cell& global_value(const cell& word) { return *context::get(word); }

bool named_p(const cell& word, const char* name) {
  return symbol::resolve(word::symbol_of(word)) == symbol::resolve(symbol::make(name));
}

// ---- Type tests -----------------------------------------------------------------------------

// The datatype a test compares with is the first value of its body.
void prepare_datatype_test(cell& routine, const cell& body) {
  if (tail_of(body) == body.payload1) malformed_source();
  const cell first = cells_of(body)[body.payload1];
  if (first.type() != TYPE_WORD || global_value(first).type() != TYPE_DATATYPE) malformed_source();
  *function::more_cell(routine, routine::more_datum) = global_value(first);
}

routine::answer datatype_test(cell* arguments) {
  const cell& datatype = *function::more_cell(routine::running(), routine::more_datum);
  return {arguments[0].type() == datatype.payload1, 0};
}

// The typeset word is the first word of its body that holds a typeset now; its value is read
// again at every call, so a script that redefines it changes the test.
void prepare_typeset_test(cell& routine, const cell& body) {
  for (uint32_t i = body.payload1; i < tail_of(body); ++i) {
    const cell value = cells_of(body)[i];
    if (value.type() == TYPE_WORD && global_value(value).type() == TYPE_TYPESET) {
      *function::more_cell(routine, routine::more_datum) = value;
      return;
    }
  }
  malformed_source();
}

routine::answer typeset_test(cell* arguments) {
  const cell& word = *function::more_cell(routine::running(), routine::more_datum);
  const cell& set = *context::get(word);
  return {set.type() == TYPE_TYPESET && typeset::has_type(set, arguments[0].type()), 0};
}

// ---- Quiet writes and the current directory -------------------------------------------------

void prepare_nothing(cell&, const cell&) {}

// The word's slot of its context takes the value; no change handler hears of it.
routine::answer set_quiet(cell* arguments) {
  cell word = arguments[0];
  const cell value = arguments[1];
  context::set_in(word, value, word.payload1, false);
  arguments[0] = value;
  return {0, 0};
}

routine::answer set_slot_quiet(cell* arguments) {
  const cell series = arguments[0];
  if (series.payload1 < tail_of(series)) cells_of(series)[series.payload1] = arguments[1];
  arguments[0] = arguments[1];
  return {0, 0};
}

routine::answer get_current_dir(cell* arguments) {
  cell* saved = stack::top;
  cell directory = *file::get_current_dir();
  set_type(directory, TYPE_FILE);
  stack::top = saved;
  arguments[0] = directory;
  return {0, 0};
}

routine::answer set_current_dir(cell* arguments) {
  cell path = arguments[0];
  if (!platform::set_current_dir(file::to_os_path(path))) fire(error_id::access_cannot_open, path);
  arguments[0] = unset::value;
  return {0, 0};
}

bool logic_argument(const cell& value) { return value.type() == TYPE_LOGIC && value.payload1 != 0; }

routine::answer float_pretty(cell* arguments) {
  float_::pretty_print = logic_argument(arguments[0]);
  return {0, 0};
}

// ---- The operating system and the command line ---------------------------------------------

routine::answer os_info(cell* arguments) {
  os::get_os_info(arguments[0]);
  return {0, 0};
}

// The variable's text, none when it is not set. Start-up reads its folders with it.
routine::answer startup_env(cell* arguments) {
  cell name = arguments[0];
  const char* value = std::getenv(file::to_os_path(name));
  cell text = none::value;
  if (value) os::load_text(value, std::strlen(value), text);
  arguments[0] = text;
  return {0, 0};
}

// [program-path [argument ...] length]: the arguments exactly as passed, and how many characters
// of the command line the program path takes with the space after it; none without arguments.
routine::answer startup_args(cell* arguments) {
  const int count = system_state.argument_count;
  char* const* given = system_state.arguments;
  if (count < 1 || !given) {
    arguments[0] = none::value;
    return {0, 0};
  }
  cell parts = none::value, rest, text;
  collector::scoped_root parts_root(&parts);
  block::make_at(parts, 3);
  os::load_text(given[0], std::strlen(given[0]), text);
  block::append_cell(parts, text);
  block::make_at(rest, count - 1);
  block::append_cell(parts, rest);
  for (int i = 1; i < count; ++i) {
    os::load_text(given[i], std::strlen(given[i]), text);
    block::append_cell(rest, text);
  }
  const std::string program = os::quote_argument(given[0]);
  os::load_text(program.data(), program.size(), text);
  const int32_t length = string::ts_length_p(text) + (count > 1 ? 1 : 0);
  block::append_cell(parts, scalar::integer(length));
  arguments[0] = parts;
  return {0, 0};
}

// Runs one start-up source (library/<name>.tav, or view/<name>.tav named "view/<name>") as code
// of the system.
void run_named_source(cell name) {
  cell source;
  if (name.type() != TYPE_STRING || !find_source_block(file::to_os_path(name), source))
    fire(error_id::script_invalid_arg, name);
  run_system_source(source);
}

// Runs the named start-up sources in turn: the functions they make are system code, tied with
// the others once, when the last has run.
routine::answer startup_run(cell* arguments) {
  cell names = arguments[0];
  collector::scoped_root names_root(&names);
  for (uint32_t i = names.payload1; i < tail_of(names); ++i) run_named_source(cells_of(names)[i]);
  end_definitions();
  arguments[0] = unset::value;
  return {0, 0};
}

routine::answer float_full(cell* arguments) {
  float_::full_support = logic_argument(arguments[0]);
  return {0, 0};
}

// True when the routine's own frame or one below it runs in the interpreter.
routine::answer state_interpreted(cell*) { return {stack::eval_p(nullptr, false) ? 1 : 0, 0}; }

// ---- The TAVBIN codec -----------------------------------------------------------------------

routine::answer tavbin_encode(cell* arguments) {
  const cell data = arguments[0];
  cell result = none::value;
  if (logic::get(arguments[1]))
    tavbin::encode_cp(data, result);
  else
    tavbin::encode(data, result);
  arguments[0] = result;
  return {0, 0};
}

// A file! or url! is read as binary first. The stream is decoded from a private copy: the
// collector may move the binary while values are made.
routine::answer tavbin_decode(cell* arguments) {
  cell* saved = stack::top;
  cell payload = arguments[0];
  if (payload.type() == TYPE_FILE || payload.type() == TYPE_URL)
    payload = *actions::read(&payload, nullptr, nullptr, true, false, false, nullptr);
  if (payload.type() != TYPE_BINARY) fire(error_id::script_invalid_data, arguments[0]);
  const uint32_t length = binary::ts_length_p(payload);
  if (length <= 10) fire(error_id::script_invalid_data, payload);
  const uint8_t* head = binary::ts_head(payload);
  const std::vector<uint8_t> input(head, head + length);
  cell* values = block::push_only(1);
  tavbin::decode(input.data(), input.size(), *values, true, &arguments[0]);
  const cell decoded = *values;
  arguments[0] = buffer_of(decoded.payload2)->count() == 1 ? buffer_of(decoded.payload2)->cells()[0] : decoded;
  stack::top = saved;
  return {0, 0};
}

// ---- The image codecs -----------------------------------------------------------------------

// The format code an encoding routine passes is the first integer of its body.
void prepare_image_encode(cell& routine, const cell& body) {
  for (uint32_t i = body.payload1; i < tail_of(body); ++i) {
    const cell value = cells_of(body)[i];
    if (value.type() == TYPE_INTEGER) {
      *function::more_cell(routine, routine::more_datum) = value;
      return;
    }
  }
  malformed_source();
}

routine::answer image_encode(cell* arguments) {
  const int32_t format = integer::get(*function::more_cell(routine::running(), routine::more_datum));
  const cell image = arguments[0];
  image_io::encode(image, arguments[0], format);
  return {0, 0};
}

routine::answer image_decode(cell* arguments) {
  const cell data = arguments[0];
  image_io::decode(data, arguments[0]);
  return {0, 0};
}

routine::answer gc_active(cell*) { return {collector::active_p() ? 1 : 0, 0}; }
routine::answer gc_series_cycles(cell*) { return {static_cast<int32_t>(collector::stats.series_cycles), 0}; }
routine::answer gc_nodes_cycles(cell*) { return {static_cast<int32_t>(collector::stats.nodes_cycles), 0}; }

// ---- Files --------------------------------------------------------------------------------

routine::answer make_dir(cell* arguments) {
  cell path = arguments[0];
  if (!simple_io::make_dir(simple_io::os_path(path).c_str())) fire(error_id::access_no_create, arguments[0]);
  return {0, 0};
}

routine::answer file_exists(cell* arguments) {
  cell path = arguments[0];
  return {simple_io::file_exists_p(simple_io::os_path(path).c_str()), 0};
}

// ---- Built-ins ------------------------------------------------------------------------------

constexpr builtin builtins[] = {
    {"datatype-test", datatype_test, prepare_datatype_test},
    {"typeset-test", typeset_test, prepare_typeset_test},
    {"set-quiet", set_quiet, prepare_nothing},
    {"set-slot-quiet", set_slot_quiet, prepare_nothing},
    {"get-current-dir", get_current_dir, prepare_nothing},
    {"set-current-dir", set_current_dir, prepare_nothing},
    {"float-pretty", float_pretty, prepare_nothing},
    {"os-info", os_info, prepare_nothing},
    {"startup-env", startup_env, prepare_nothing},
    {"startup-args", startup_args, prepare_nothing},
    {"startup-run", startup_run, prepare_nothing},
    {"float-full", float_full, prepare_nothing},
    {"state-interpreted", state_interpreted, prepare_nothing},
    {"tavbin-encode", tavbin_encode, prepare_nothing},
    {"tavbin-decode", tavbin_decode, prepare_nothing},
    {"image-encode", image_encode, prepare_image_encode},
    {"image-decode", image_decode, prepare_nothing},
    {"gc-active", gc_active, prepare_nothing},
    {"gc-series-cycles", gc_series_cycles, prepare_nothing},
    {"gc-nodes-cycles", gc_nodes_cycles, prepare_nothing},
    {"make-dir", make_dir, prepare_nothing},
    {"file-exists", file_exists, prepare_nothing},
};

// Code indexes of the built-ins, registered once for the life of the process.
uint32_t code_indexes[std::size(builtins)] = {};

void register_builtins() {
  if (code_indexes[0]) return;
  for (size_t i = 0; i < std::size(builtins); ++i) code_indexes[i] = routine::register_code(builtins[i].code);
}

// The tables the layers above added, each with the code indexes of its rows.
struct added_table {
  const builtin* rows;
  uint32_t count;
  uint32_t first_index;  // the code index of its first row; the rest follow
};
added_table added[8];
uint32_t added_count = 0;

// Built-in names are ASCII: a word names one when the spellings match in any case, which
// needs no symbol made for each name looked at.
bool builtin_named_p(const cell& word, const char* name) {
  const uint32_t symbol = word::symbol_of(word);
  const size_t length = symbol::name_length(symbol);
  return std::strlen(name) == length && strncasecmp(symbol::name(symbol), name, length) == 0;
}

size_t builtin_named(const cell& word) {
  for (size_t i = 0; i < std::size(builtins); ++i)
    if (builtin_named_p(word, builtins[i].name)) return i;
  malformed_source();
}

// A built-in row and its code index, from start-up's table or an added one.
struct found_builtin {
  const builtin* row;
  uint32_t code_index;
};

found_builtin find_builtin(const cell& word) {
  for (uint32_t t = 0; t < added_count; ++t)
    for (uint32_t i = 0; i < added[t].count; ++i)
      if (builtin_named_p(word, added[t].rows[i].name)) return {&added[t].rows[i], added[t].first_index + i};
  const size_t row = builtin_named(word);
  return {&builtins[row], code_indexes[row]};
}

// ---- Making ---------------------------------------------------------------------------------

// 4 for `return: [logic!]`, 11 for `return: [integer!]`: the results the routine call types.
int32_t return_type_of(const cell& spec) {
  for (uint32_t i = spec.payload1; i + 1 < tail_of(spec); ++i) {
    const cell value = cells_of(spec)[i], types = cells_of(spec)[i + 1];
    if (value.type() != TYPE_SET_WORD || !named_p(value, "return") || types.type() != TYPE_BLOCK) continue;
    if (tail_of(types) - types.payload1 != 1) return routine::returns_nothing;
    const cell type = cells_of(types)[types.payload1];
    if (type.type() != TYPE_WORD || global_value(type).type() != TYPE_DATATYPE) return routine::returns_nothing;
    const uint32_t id = global_value(type).payload1;
    return id == TYPE_LOGIC || id == TYPE_INTEGER ? static_cast<int32_t>(id) : routine::returns_nothing;
  }
  return routine::returns_nothing;
}

cell make_routine(const definition_form& form) {
  const found_builtin found = find_builtin(form.builtin);
  function::validate(form.spec);
  cell made = *routine::push(form.spec, &form.body, found.code_index, return_type_of(form.spec), false);
  if (found.row->prepare) found.row->prepare(made, form.body);
  return made;
}

cell make_function(const definition_form& form) {
  // Compiled built-ins of functions come with the functions that need one.
  if (form.builtin.type() != TYPE_NONE) find_builtin(form.builtin);
  const uint32_t flags = function::validate(form.spec);
  function::push_system(form.spec, form.body, flags);
  return stack::top[-1];
}

}  // namespace

uint32_t read_definition(const cell& phase, uint32_t index, definition_form& form) {
  const uint32_t tail = tail_of(phase);
  if (index >= tail) return tail;
  const cell* at = cells_of(phase) + index;
  form.alias = none::value;
  if (index + 2 <= tail && at[0].type() == TYPE_SET_WORD && at[1].type() == TYPE_GET_WORD) {
    form.name = at[0];
    form.alias = at[1];
    form.routine = false;
    form.builtin = none::value;
    return index + 2;
  }
  if (index + 4 > tail) malformed_source();
  if (at[0].type() != TYPE_SET_WORD || at[1].type() != TYPE_WORD || at[2].type() != TYPE_BLOCK ||
      at[3].type() != TYPE_BLOCK)
    malformed_source();
  form.name = at[0];
  form.spec = at[2];
  form.body = at[3];
  if (named_p(at[1], "routine"))
    form.routine = true;
  else if (named_p(at[1], "func"))
    form.routine = false;
  else
    malformed_source();
  index += 4;
  form.builtin = none::value;
  if (index < tail && cells_of(phase)[index].type() == TYPE_WORD) form.builtin = cells_of(phase)[index++];
  if (form.routine && form.builtin.type() == TYPE_NONE) malformed_source();
  return index;
}

void define_phase(const cell& phase_value) {
  const cell phase = phase_value;
  register_builtins();
  if (system_functions.type() != TYPE_BLOCK) begin_definitions();
  cell* saved = stack::top;
  definition_form form;
  for (uint32_t index = phase.payload1; index < tail_of(phase);) {
    index = read_definition(phase, index, form);
    if (form.alias.type() != TYPE_NONE) {
      const cell value = global_value(form.alias);
      if (value.type() == TYPE_UNSET) malformed_source();
      cell name = form.name;
      context::set(name, value);
      continue;
    }
    // Only what runs is system code: a routine's body is its source, shown and never run.
    if (!form.routine) interpreter::mark_system_code(form.body);
    const cell made = form.routine ? make_routine(form) : make_function(form);
    // Argument checks use the typesets of start-up, whatever a script makes of their words.
    interpreter::build_arguments(made);
    if (!form.routine) block::append_cell(system_functions, made);
    cell name = form.name;
    context::set(name, made);
    stack::top = saved;
  }
}

void run_system_source(const cell& source_value) {
  cell source = source_value;
  collector::scoped_root source_root(&source);
  interpreter::mark_system_code(source);
  cell made;
  block::make_at(made, 64);
  collector::scoped_root made_root(&made);
  struct collecting {
    explicit collecting(cell* list) { natives::system_functions_made = list; }
    ~collecting() { natives::system_functions_made = nullptr; }
  } during(&made);
  cell* saved = stack::top;
  interpreter::do_block(source, false);
  stack::top = saved;
  if (system_functions.type() != TYPE_BLOCK) begin_definitions();
  for (uint32_t i = 0; i < buffer_of(made.payload2)->count(); ++i) {
    const cell function = buffer_of(made.payload2)->cells()[i];
    interpreter::build_arguments(function);
    block::append_cell(system_functions, function);
  }
}

void begin_definitions() {
  static bool rooted = false;
  if (!rooted) collector::add_root(&system_functions);
  rooted = true;
  block::make_at(system_functions, 128);
}

void end_definitions() {
  interpreter::library::fill();
  if (system_functions.type() != TYPE_BLOCK) return;
  interpreter::tie_system_code(system_functions);
}

uint32_t builtin_count() {
  uint32_t count = std::size(builtins);
  for (uint32_t t = 0; t < added_count; ++t) count += added[t].count;
  return count;
}

const char* builtin_name(uint32_t index) {
  if (index < std::size(builtins)) return builtins[index].name;
  index -= std::size(builtins);
  for (uint32_t t = 0; t < added_count; ++t) {
    if (index < added[t].count) return added[t].rows[index].name;
    index -= added[t].count;
  }
  return nullptr;
}

void add_builtins(const builtin* rows, uint32_t count) {
  for (uint32_t t = 0; t < added_count; ++t)
    if (added[t].rows == rows) return;
  if (added_count == std::size(added) || count == 0) runtime_error(98);
  uint32_t first = routine::register_code(rows[0].code);
  for (uint32_t i = 1; i < count; ++i) routine::register_code(rows[i].code);
  added[added_count++] = {rows, count, first};
}

void push_system_words() {
  const cell words = object::make_cell(context::global, static_cast<uint32_t>(-1), 0);
  *stack::push_cell() = words;
  *context::self_of(context::global) = words;
}

}  // namespace tav::boot
