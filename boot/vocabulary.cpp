// The start-up vocabulary: one definition per row, its value made from Tav source generated from
// the same tables that register the datatypes, natives and actions, so no index can drift.
#include "boot/vocabulary.hpp"

#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "boot/definitions.hpp"

#include "boot/boot_image.hpp"
#include "boot/global_load.hpp"
#include "boot/gui_startup.hpp"
#include "boot/system_object.hpp"
#include "datatypes/actions.hpp"
#include "datatypes/any_string.hpp"
#include "datatypes/action_list.hpp"
#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/handle.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/types.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/interpreter.hpp"
#include "interpreter/natives.hpp"
#include "interpreter/stack.hpp"
#include "io/tavbin.hpp"
#include "runtime/collector.hpp"
#include "runtime/memory.hpp"
#include "runtime/series.hpp"
#include "runtime/throw.hpp"

#include "datatypes/action_specs.inc"
#include "interpreter/native_specs.inc"

namespace tav::boot {
namespace {

// ---- Spec tables ----------------------------------------------------------------------------

struct spec_row {
  uint32_t index;
  const char* word;
  const char* spec;
};

constexpr bool same_text(const char* a, const char* b) {
  while (*a && *a == *b) ++a, ++b;
  return *a == *b;
}

#define TAV_SPEC_ROW(index, word, spec) spec_row{index, word, spec},
constexpr spec_row native_specs[] = {TAV_NATIVE_SPECS(TAV_SPEC_ROW)};
constexpr spec_row action_specs[] = {TAV_ACTION_SPECS(TAV_SPEC_ROW)};
#undef TAV_SPEC_ROW

#define TAV_NATIVE_WORD(index, name, word) word,
constexpr const char* native_words[] = {TAV_NATIVES(TAV_NATIVE_WORD)};
#undef TAV_NATIVE_WORD

constexpr bool natives_covered() {
  if (std::size(native_specs) != natives::native_count) return false;
  for (uint32_t i = 0; i < std::size(native_specs); ++i)
    if (native_specs[i].index != i + 1 || !same_text(native_specs[i].word, native_words[i])) return false;
  return true;
}
static_assert(natives_covered(), "one spec per native, in table order, under the native's word");

// Path access, path set and compare are the three slots no word names.
constexpr bool worded_action_p(uint32_t slot) {
  return slot != static_cast<uint32_t>(action_slot::eval_path) &&
         slot != static_cast<uint32_t>(action_slot::set_path) && slot != static_cast<uint32_t>(action_slot::compare);
}

constexpr bool actions_covered() {
  uint32_t row = 0;
  for (uint32_t slot = 1; slot <= action_count; ++slot) {
    if (!worded_action_p(slot)) continue;
    if (row >= std::size(action_specs)) return false;
    const spec_row& r = action_specs[row++];
    if (r.index != slot || !same_text(r.word, describe_action(slot).word)) return false;
  }
  return row == std::size(action_specs);
}
static_assert(actions_covered(), "one spec per worded action, in slot order, under the action's word");
static_assert(std::size(action_specs) == 59);

// ---- Definitions ----------------------------------------------------------------------------

// A definition: its words (several words share one value, as a chain of set-words would) and
// the Tav expression of its value, or the C++ maker of a value no literal writes.
struct definition {
  const char* names;  // separated by single spaces
  const char* source;
  cell (*made)();
};

cell null_handle() {
  cell value;
  handle::make_at(value, 0, handle::CLASS_NULL);
  return value;
}

constexpr definition basics[] = {
    {"datatype!", "#(datatype!)", nullptr},
    {"none", "#(none)", nullptr},
    {"true", "#(true)", nullptr},
    {"false", "#(false)", nullptr},
};

constexpr definition constants[] = {
    {"on yes", "true", nullptr},
    {"off no", "false", nullptr},
    {"tab", "#\"^-\"", nullptr},
    {"cr", "#\"^M\"", nullptr},
    {"lf newline", "#\"^/\"", nullptr},
    {"escape", "#\"^[\"", nullptr},
    {"slash", "#\"/\"", nullptr},
    {"space sp", "#\" \"", nullptr},
    {"null", "#\"^@\"", nullptr},
    {"crlf", "\"^M^/\"", nullptr},
    {"enter", "#\"^M\"", nullptr},
    {"dot", "#\".\"", nullptr},
    {"comma", "#\",\"", nullptr},
    {"dbl-quote", "#\"^\"\"", nullptr},
    {"pi", "3.141592653589793", nullptr},
    {"Orvan", "false", nullptr},
    {"null-handle", nullptr, null_handle},
};

// A typeset is made from a block of datatype words and typesets defined above it, each of
// which it joins: the union of their type bits. Typesets come before any call through the
// interpreter, whose argument checks read them: so they are made directly, not by calling
// `make` or `union`.
constexpr definition typesets[] = {
    {"internal!", "[unset!]", nullptr},
    {"external!", "[event!]", nullptr},
    {"number!", "[integer! float! percent!]", nullptr},
    {"planar!", "[pair! point2D!]", nullptr},
    {"any-point!", "[point2D! point3D!]", nullptr},
    {"scalar!", "[number! any-point! money! char! pair! tuple! time! date!]", nullptr},
    {"any-word!", "[word! set-word! lit-word! get-word!]", nullptr},
    {"all-word!", "[any-word! refinement! issue!]", nullptr},
    {"any-list!", "[block! paren! hash!]", nullptr},
    {"any-path!", "[path! lit-path! set-path! get-path!]", nullptr},
    {"any-block!", "[any-path! any-list!]", nullptr},
    {"any-function!", "[native! action! op! function! routine!]", nullptr},
    {"any-object!", "[object! error! port!]", nullptr},
    {"any-string!", "[string! file! url! tag! email! ref!]", nullptr},
    {"series!", "[binary! image! vector! any-block! any-string!]", nullptr},
    {"immediate!", "[scalar! all-word! none! logic! datatype! typeset! handle! date!]", nullptr},
    {"default!", "[series! immediate! any-object! external! any-function! map! bitset!]", nullptr},
    {"any-type!", "[default! internal!]", nullptr},
};

constexpr definition colours[] = {
    {"aqua", "40.100.130", nullptr},     {"beige", "255.228.196", nullptr},  {"black", "0.0.0", nullptr},
    {"blue", "0.0.255", nullptr},        {"brick", "178.34.34", nullptr},    {"brown", "139.69.19", nullptr},
    {"coal", "64.64.64", nullptr},       {"coffee", "76.26.0", nullptr},     {"crimson", "220.20.60", nullptr},
    {"cyan", "0.255.255", nullptr},      {"forest", "0.48.0", nullptr},      {"gold", "255.205.40", nullptr},
    {"gray", "128.128.128", nullptr},    {"green", "0.255.0", nullptr},      {"ivory", "255.255.240", nullptr},
    {"khaki", "179.179.126", nullptr},   {"leaf", "0.128.0", nullptr},       {"linen", "250.240.230", nullptr},
    {"magenta", "255.0.255", nullptr},   {"maroon", "128.0.0", nullptr},     {"mint", "100.136.116", nullptr},
    {"navy", "0.0.128", nullptr},        {"oldrab", "72.72.16", nullptr},    {"olive", "128.128.0", nullptr},
    {"orange", "255.150.10", nullptr},   {"papaya", "255.80.37", nullptr},   {"pewter", "170.170.170", nullptr},
    {"pink", "255.164.200", nullptr},    {"purple", "128.0.128", nullptr},   {"orblue", "38.58.108", nullptr},
    {"orvanor", "142.128.110", nullptr}, {"red", "255.0.0", nullptr},        {"sienna", "160.82.45", nullptr},
    {"silver", "192.192.192", nullptr},  {"sky", "164.200.255", nullptr},    {"snow", "240.240.240", nullptr},
    {"tanned", "222.184.135", nullptr},  {"teal", "0.128.128", nullptr},     {"violet", "72.0.90", nullptr},
    {"water", "80.108.142", nullptr},    {"wheat", "245.222.129", nullptr},  {"white", "255.255.255", nullptr},
    {"yello", "255.240.120", nullptr},   {"yellow", "255.255.0", nullptr},   {"transparent glass", "0.0.0.255", nullptr},
};

// Each operator is made from the value its source word holds now: redefining the source later
// leaves the operator as it is.
constexpr definition operators[] = {
    {"+", "make op! :add", nullptr},
    {"-", "make op! :subtract", nullptr},
    {"*", "make op! :multiply", nullptr},
    {"/", "make op! :divide", nullptr},
    {"//", "make op! :modulo", nullptr},
    {"%", "make op! :remainder", nullptr},
    {"=", "make op! :equal?", nullptr},
    {"<>", "make op! :not-equal?", nullptr},
    {"==", "make op! :strict-equal?", nullptr},
    {"=?", "make op! :same?", nullptr},
    {"<", "make op! :lesser?", nullptr},
    {">", "make op! :greater?", nullptr},
    {"<=", "make op! :lesser-or-equal?", nullptr},
    {">=", "make op! :greater-or-equal?", nullptr},
    {"<<", "make op! :shift-left", nullptr},
    {">>", "make op! :shift-right", nullptr},
    {">>>", "make op! :shift-logical", nullptr},
    {"**", "make op! :power", nullptr},
    {"and", "make op! :and~", nullptr},
    {"or", "make op! :or~", nullptr},
    {"xor", "make op! :xor~", nullptr},
};

// ---- The plan -------------------------------------------------------------------------------

// Every definition after the image's global definitions, in order, built once. The words are
// interned from their spellings in the tables and never read by the lexer, to which `/`, `<` or
// `%` would be other values than words.
struct plan {
  std::string text;                // "(expression)\n" per definition made from source
  std::vector<std::string> names;  // per definition
  std::vector<cell (*)()> makers;  // per definition: null when made from source
  std::vector<uint8_t> made_as;    // per definition: the type its value is made as, 0 for as is
  std::vector<size_t> phase_at;    // per phase source: the definition it runs before
};

// The phases that run among the definitions above, in order: each is a source written in Tav
// (boot/<name>.tav, or library/<name>.tav for the library's own functions) or a step of C++
// code. The core functions, the system object's words and the GUI layer come between the
// colours and the operators; the GUI phases run only in a program that has a GUI backend.
void system_words();
struct phase_row {
  const char* source;
  void (*step)();
  bool gui;
};
constexpr phase_row phases[] = {{"core", nullptr, false},
                                {"routines", nullptr, false},
                                {"helpers", nullptr, false},
                                {"load-save", nullptr, false},
                                {"base", nullptr, false},
                                {"files", nullptr, false},
                                {"collect", nullptr, false},
                                {"scripts", nullptr, false},
                                {"series", nullptr, false},
                                {nullptr, system_words, false},
                                {nullptr, gui::register_last_datatype, true},
                                {"gui", nullptr, true},
                                {nullptr, gui::make_terminal_helpers, true},
                                {nullptr, gui::intern_words, true}};
constexpr size_t phase_count = std::size(phases);

// The sources run once the system object stands, after the phases: the codecs that go into
// system/codecs, then the library's definitions, which use them, then the GUI layer's, which
// stores system/view. The system object's own runs when the object is completed.
struct later_source {
  const char* name;
  bool gui;
};
constexpr later_source later_sources[] = {{"codecs", false}, {"library", false}, {"gui-layer", true}};

void add(plan& p, const std::string& names, const std::string& expression, uint8_t made_as = 0) {
  p.text += '(';
  p.text += expression;
  p.text += ")\n";
  p.names.push_back(names);
  p.makers.push_back(nullptr);
  p.made_as.push_back(made_as);
}

template <size_t N>
void add_all(plan& p, const definition (&rows)[N], uint8_t made_as = 0) {
  for (const definition& row : rows) {
    if (row.made) {
      p.names.emplace_back(row.names);
      p.makers.push_back(row.made);
      p.made_as.push_back(0);
    } else {
      add(p, row.names, row.source, made_as);
    }
  }
}

plan make_plan() {
  plan p;
  p.text.reserve(24 * 1024);
  add_all(p, basics);
  add_all(p, constants);
  add_all(p, typesets, TYPE_TYPESET);
  add_all(p, colours);
  for (size_t k = 0; k < phase_count; ++k) p.phase_at.push_back(p.names.size());
  add_all(p, operators);
  return p;
}

const plan& the_plan() {
  static const plan p = make_plan();
  return p;
}

// ---- Evaluation -----------------------------------------------------------------------------

// The loaded sources, collector roots while the definitions are made.
cell definitions_block{TYPE_NONE, 0, 0, 0};
cell phase_blocks[phase_count];

// The source is generated from the tables: a definition that does not read as one expression
// is a fault of the program, not of a script.
[[noreturn, gnu::cold]] void malformed_source() { runtime_error(98); }

cell value_of(const cell& paren) {
  cell* saved = stack::top;
  const interpreter::code source = interpreter::code_of(paren);
  uint32_t end = interpreter::do_next(source, paren.payload1, true);
  if (end != buffer_of(paren.payload2)->count()) malformed_source();
  const cell value = stack::top[-1];
  stack::top = saved;
  return value;
}

cell make_value_as(uint8_t type, const cell& spec_value) {
  cell* saved = stack::top;
  cell prototype, spec = spec_value;
  datatype::make_at(prototype, type);
  const cell value = *actions::make(&prototype, &spec);
  stack::top = saved;
  return value;
}

void set_names(const std::string& names, const cell& value) {
  size_t start = 0;
  while (start < names.size()) {
    size_t end = names.find(' ', start);
    if (end == std::string::npos) end = names.size();
    const std::string name = names.substr(start, end - start);
    cell word;
    word::make_at(word, symbol::make(name.c_str()));
    context::set(word, value);
    start = end + 1;
  }
}

// Where the blocks of the last decoded image start in the root block: the generated
// definitions, then the name and block of each source.
uint32_t image_base = 0;
bool image_loaded = false;

// The names of the sources the last decoded image holds, in its order.
std::vector<std::string> image_names;

// Position in the root block of the named source's block; 0 when the image has none.
uint32_t source_position(const char* name) {
  if (std::strcmp(name, "vocabulary") == 0) return image_base;
  for (size_t k = 0; k < image_names.size(); ++k)
    if (image_names[k] == name) return image_base + 2 + 2 * static_cast<uint32_t>(k);
  return 0;
}

cell load_phase(const char* name) { return source_block(name); }

// Decodes the image into the root block, which defines the datatype, action and native words,
// and keeps where its blocks start: the generated definitions, then each source's name (a
// string!) and block.
void load_image(const image_bytes& image) {
  const uint32_t base = buffer_of(context::root.payload2)->count();
  static const uint8_t none_at_all = 0;
  tavbin::boot_load(image.data ? image.data : &none_at_all, image.length);
  const uint32_t count = buffer_of(context::root.payload2)->count();
  if (count == base || (count - base) % 2 != 1) malformed_source();
  image_names.clear();
  for (uint32_t i = base; i < count; ++i) {
    cell value = buffer_of(context::root.payload2)->cells()[i];
    const bool name_p = i > base && (i - base) % 2 == 1;
    if (value.type() != (name_p ? TYPE_STRING : TYPE_BLOCK)) malformed_source();
    if (name_p) image_names.emplace_back(file::to_os_path(value));
  }
  image_base = base;
  image_loaded = true;
}

void run_phase(size_t phase) {
  if (phases[phase].gui && !gui::installed()) return;
  if (phases[phase].step) {
    phases[phase].step();
    return;
  }
  define_phase(phase_blocks[phase]);
  phase_blocks[phase] = none::value;
}

// A source that runs as code once the system object stands, once, as the object is built once.
void run_source(const char* name) {
  cell* saved = stack::top;
  const cell block = load_phase(name);
  *stack::push_cell() = block;
  interpreter::do_block(block, false);
  stack::top = saved;
}

// The runner of the library's sources is start-up's own: gone once the last of them has run.
void unset_startup_run() {
  cell word;
  word::make_at(word, symbol::make("startup-run"));
  context::set(word, unset::value);
}

// Until the system object stores it, the object of the global words lives in the global
// context's self slot.
void system_words() {
  cell* saved = stack::top;
  push_system_words();
  stack::top = saved;
}

}  // namespace

static void (*upper_definitions)() = nullptr;

const std::string& vocabulary_source() { return the_plan().text; }

const std::vector<std::string>& boot_source_names() { return image_names; }

void load_boot_image(const image_bytes& image) { load_image(image); }

bool find_source_block(const char* name, cell& block) {
  const uint32_t at = image_loaded ? source_position(name) : 0;
  if (!at) return false;
  block = buffer_of(context::root.payload2)->cells()[at];
  return true;
}

cell source_block(const char* name) {
  cell block;
  if (!find_source_block(name, block)) malformed_source();
  return block;
}

void push_global_definitions() {
  cell* block = stack::push_cell();
  *block = none::value;
  block::make_at(*block, static_cast<int32_t>(2 * (type_table_size + std::size(action_specs) + std::size(native_specs))));
  // The value is on the stack while its word is interned.
  auto define = [block](const char* name, const cell& value) {
    cell* saved = stack::push_copy(value);
    cell word;
    word::make_at(word, symbol::make(name));
    *alloc_block_tail(*block) = word;
    *alloc_block_tail(*block) = *saved;
    stack::top = saved;
  };
  for (uint32_t id = 1; id < type_table_size; ++id) {
    const char* name = describe_type(static_cast<uint8_t>(id)).name;
    if (!name || id == TYPE_DATATYPE) continue;
    cell value;
    datatype::make_at(value, static_cast<uint8_t>(id));
    define(name, value);
  }
  auto define_callable = [&](const spec_row& row, uint8_t type) {
    const std::string text = std::string(row.spec) + " " + std::to_string(row.index);
    cell* saved = stack::push_cell();
    *saved = load_global(reinterpret_cast<const uint8_t*>(text.data()), static_cast<uint32_t>(text.size()));
    if (saved->type() != TYPE_BLOCK) malformed_source();
    define(row.word, make_value_as(type, *saved));
    stack::top = saved;
  };
  for (const spec_row& row : action_specs) define_callable(row, TYPE_ACTION);
  for (const spec_row& row : native_specs) define_callable(row, TYPE_NATIVE);
}

void set_upper_definitions(void (*step)()) { upper_definitions = step; }

void define_vocabulary() {
  memory::startup_stress_hold held;
  memory::startup_growth_hold growing;
  static bool rooted = false;
  if (!rooted) {
    collector::add_root(&definitions_block);
    for (cell& block : phase_blocks) block = none::value;
    collector::add_root_range(phase_blocks, phase_count);
  }
  rooted = true;
  const plan& p = the_plan();
  // Every word of every source is interned here, before the first definition.
  load_image(boot_image());
  definitions_block = buffer_of(context::root.payload2)->cells()[image_base];
  for (size_t k = 0; k < phase_count; ++k)
    if (phases[k].source) phase_blocks[k] = load_phase(phases[k].source);
  begin_definitions();
  uint32_t next = 0;
  size_t phase = 0;
  for (size_t i = 0; i < p.names.size(); ++i) {
    for (; phase < phase_count && p.phase_at[phase] == i; ++phase) run_phase(phase);
    cell value;
    if (p.makers[i]) {
      value = p.makers[i]();
    } else {
      if (next >= buffer_of(definitions_block.payload2)->count()) malformed_source();
      const cell paren = buffer_of(definitions_block.payload2)->cells()[next++];
      if (paren.type() != TYPE_PAREN) malformed_source();
      value = value_of(paren);
      if (p.made_as[i]) value = make_value_as(p.made_as[i], value);
    }
    set_names(p.names[i], value);
  }
  for (; phase < phase_count; ++phase) run_phase(phase);
  if (next != buffer_of(definitions_block.payload2)->count()) malformed_source();
  definitions_block = none::value;
  end_definitions();
  if (system_object::complete()) {
    for (const later_source& source : later_sources)
      if (!source.gui || gui::installed()) run_source(source.name);
    unset_startup_run();
  }
  if (upper_definitions) upper_definitions();
}

}  // namespace tav::boot
