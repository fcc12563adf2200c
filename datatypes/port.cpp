// port!: made from a spec and a registered scheme; every series and I/O action is forwarded
// to the actor object's function of the same name, with the port and the action's arguments.
#include "datatypes/port.hpp"

#include <string>
#include <type_traits>

#include "datatypes/actions.hpp"
#include "datatypes/context.hpp"
#include "datatypes/object.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/text_output.hpp"
#include "datatypes/types.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/stack.hpp"
#include "runtime/errors.hpp"

namespace tav::port {

actor_caller call_actor_hook = nullptr;

namespace {

const cell* system_value = nullptr;

// The fields of a port, in the order of system/standard/port.
inline constexpr uint32_t spec_field = 0, scheme_field = 1, actor_field = 2;

cell field(const cell& object, const char* name) {
  if (object.type() != TYPE_OBJECT) return none::value;
  return *object::select_word(object, *word::load(name));
}

cell system_field(const char* group, const char* name) {
  if (!system_value) fire(error_id::internal_not_done);
  const cell outer = group ? field(*system_value, group) : *system_value;
  return field(outer, name);
}

bool any_word_p(uint8_t type) {
  return type == TYPE_WORD || type == TYPE_SET_WORD || type == TYPE_GET_WORD || type == TYPE_LIT_WORD;
}

// The value after the word in a block of name/value pairs, or none.
cell scheme_named(const cell& word) {
  const cell schemes = system_field(nullptr, "schemes");
  if (schemes.type() != TYPE_BLOCK) return none::value;
  series_buffer* buffer = buffer_of(schemes.payload2);
  const uint32_t wanted = symbol::resolve(word::symbol_of(word));
  for (uint32_t i = schemes.payload1; i + 1 < buffer->count(); ++i) {
    const cell item = buffer->cells()[i];
    if (any_word_p(item.type()) && symbol::resolve(word::symbol_of(item)) == wanted)
      return buffer->cells()[i + 1];
  }
  return none::value;
}

cell actor_of(const cell& port) {
  const node_id context = object::context_of(port);
  const cell actor = context::word_count(context) > actor_field ? *context::value_at(context, actor_field)
                                                                 : none::value;
  if (actor.type() != TYPE_OBJECT) fire(error_id::access_invalid_port);
  return actor;
}

// Calls the actor's function named `action` with the cells (the port first).
cell forward(const char* action, cell* values, uint32_t count) {
  const cell actor = actor_of(values[0]);
  const cell name = *word::load(action);
  const cell function = *object::select_word(actor, name);
  if (function.type() != TYPE_FUNCTION) fire(error_id::access_no_port_action, name);
  if (!call_actor_hook) fire(error_id::internal_not_done);
  return call_actor_hook(function, name, values, count);
}

// ---- The forwarders ---------------------------------------------------------------------------
// What each typed argument after the port becomes, one code per argument:
//   v  the value itself              r  a refinement argument: its flag, then it or none
//   f  a flag                        -  nothing (the handler's own bookkeeping)
//   p  a /part count, -1 for none    d  a /dup count, 1 for none
// The stack-dispatched actions (at, skip, head ...) take their arguments from the stack.
struct layout {
  action_slot slot;
  const char* word;
  const char* codes;
};

constexpr layout layouts[] = {
    {action_slot::append, "append", "vpfd-"}, {action_slot::at, "at", "v"},
    {action_slot::back, "back", ""},          {action_slot::change, "change", "vpfd"},
    {action_slot::clear, "clear", ""},        {action_slot::copy, "copy", "-rfr"},
    {action_slot::find, "find", "vrffffrrffff"}, {action_slot::head, "head", ""},
    {action_slot::head_p, "head?", ""},       {action_slot::index_p, "index?", ""},
    {action_slot::insert, "insert", "vpfd-"}, {action_slot::length_p, "length?", ""},
    {action_slot::move, "move", "vr"},        {action_slot::next, "next", ""},
    {action_slot::pick, "pick", "-v"},        {action_slot::poke, "poke", "-vv"},
    {action_slot::put, "put", "vvf"},         {action_slot::remove, "remove", "r-"},
    {action_slot::reverse, "reverse", "r-"},  {action_slot::select, "select", "vrffffrrff"},
    {action_slot::sort, "sort", "frrrfff"},   {action_slot::skip, "skip", "v"},
    {action_slot::swap, "swap", "v"},         {action_slot::tail, "tail", ""},
    {action_slot::tail_p, "tail?", ""},       {action_slot::take, "take", "rff"},
    {action_slot::trim, "trim", "fffffr"},    {action_slot::create, "create", ""},
    {action_slot::close, "close", ""},        {action_slot::delete_, "delete", ""},
    {action_slot::modify, "modify", "vvf"},   {action_slot::open, "open", "ffffv"},
    {action_slot::query, "query", ""},        {action_slot::rename, "rename", "v"},
    {action_slot::update, "update", ""},
};

constexpr const layout& layout_of(action_slot slot) {
  for (const layout& entry : layouts)
    if (entry.slot == slot) return entry;
  return layouts[0];
}

// Up to 18 cells: the port and the longest layout (find) spelled out.
struct arguments {
  cell values[20];
  uint32_t count = 0;
  void add(const cell& value) { values[count++] = value; }
  void add(char code, cell* value) {
    if (code == '-') return;
    if (code == 'r') add(logic::value_of(value != nullptr));
    add(value ? *value : none::value);
  }
  void add(char code, bool flag) {
    if (code != '-') add(logic::value_of(flag));
  }
  void add(char code, int32_t number) {
    const bool given = code == 'p' ? number != -1 : number != 1;
    if (code == '-') return;
    add(logic::value_of(given));
    add(given ? scalar::integer(number) : none::value);
  }
};

template <action_slot Slot, class Signature>
struct forwarder;

template <action_slot Slot, class Result, class... Rest>
struct forwarder<Slot, Result(cell*, Rest...)> {
  static Result call(cell* port, Rest... rest) {
    constexpr const layout& entry = layout_of(Slot);
    static_assert(sizeof...(Rest) == std::char_traits<char>::length(entry.codes));
    arguments list;
    list.add(*port);
    uint32_t i = 0;
    (list.add(entry.codes[i++], rest), ...);
    const cell answer = forward(entry.word, list.values, list.count);
    if constexpr (std::is_same_v<Result, int32_t>) {
      return answer.type() == TYPE_INTEGER ? scalar::integer_value(answer) : -1;
    } else {
      return stack::push_copy(answer);
    }
  }
};

// The stack-dispatched actions: the port and the index are the cells of the call; the answer
// is left in the first.
template <action_slot Slot>
struct forwarder<Slot, cell*()> {
  static cell* call() {
    constexpr const layout& entry = layout_of(Slot);
    arguments list;
    list.add(*stack::argument(0));
    if (entry.codes[0] == 'v') list.add(*stack::argument(1));
    *stack::argument(0) = forward(entry.word, list.values, list.count);
    return stack::argument(0);
  }
};

template <action_slot Slot>
constexpr auto forwarded = &forwarder<Slot, handler_signature<Slot>>::call;

// poke takes its index before its value.
cell* poke(cell* port, int32_t, cell* value, cell* index) {
  arguments list;
  list.add(*port);
  list.add(*index);
  list.add(*value);
  return stack::push_copy(forward("poke", list.values, list.count));
}

int32_t append_text(cell& buffer, const char* text, int32_t limit) {
  text::append_c_string(buffer, text);
  return limit - static_cast<int32_t>(std::char_traits<char>::length(text));
}

cell open_flags(cell& port, bool write, bool seek) {
  arguments list;
  list.add(port);
  for (bool flag : {false, false, write, seek}) list.add(logic::value_of(flag));
  list.add(none::value);
  return forward("open", list.values, list.count);
}

cell copy_part(cell& port, cell* part) {
  arguments list;
  list.add(port);
  list.add('r', part);
  list.add('f', false);
  list.add('r', static_cast<cell*>(nullptr));
  return forward("copy", list.values, list.count);
}

void close_port(cell& port) {
  cell value = port;
  forward("close", &value, 1);
}

}  // namespace

void register_system_object(const cell* system) { system_value = system; }

cell* make(cell*, cell* spec_value, int32_t) {
  cell* spec = stack::push_copy(*spec_value);
  if (spec->type() == TYPE_BLOCK) {
    cell* prototype = stack::push_copy(system_field("standard", "url-parts"));
    if (prototype->type() != TYPE_OBJECT) fire(error_id::internal_not_done);
    *spec = *object::make(prototype, spec, TYPE_OBJECT);
  } else if (spec->type() != TYPE_OBJECT) {
    fire(error_id::access_no_scheme, *spec);
  }
  const node_id spec_context = object::context_of(*spec);
  const cell scheme = context::word_count(spec_context) ? *context::value_at(spec_context, 0) : none::value;
  if (scheme.type() != TYPE_WORD) fire(error_id::access_no_scheme, *spec);

  cell* port = object::copy_object(system_field("standard", "port"), false, nullptr);
  set_type(*port, TYPE_PORT);
  port->payload2 = port_class;
  const node_id context = object::context_of(*port);
  *context::self_of(context) = *port;
  *context::value_at(context, spec_field) = *spec;
  *context::value_at(context, scheme_field) = scheme;

  const cell found = scheme_named(scheme);
  if (found.type() != TYPE_OBJECT) fire(error_id::access_unknown_scheme, *spec);
  const cell actor = field(found, "actor");
  if (actor.type() != TYPE_OBJECT && actor.type() != TYPE_HANDLE) fire(error_id::access_invalid_actor, *spec);
  *context::value_at(context, actor_field) = actor;
  return port;
}

int32_t form(cell* value, cell* buffer, cell* part, int32_t limit) {
  return mold(value, buffer, false, false, false, part, limit, 0);
}

int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent) {
  limit = append_text(*buffer, "make port! [", limit);
  limit = object::serialize(*value, *buffer, only, all, flat, part, limit, indent + 1, true);
  for (int32_t level = 0; level < indent; ++level) limit = append_text(*buffer, "    ", limit);
  return append_text(*buffer, "]", limit);
}

cell* read(cell* source, cell* part, cell* seek, bool, bool, bool, cell*) {
  cell* port = stack::push_copy(*source);
  open_flags(*port, false, seek != nullptr);
  cell* result = stack::push_copy(copy_part(*port, part));
  close_port(*port);
  return result;
}

cell* write(cell* destination, cell* data, bool, bool, bool, bool, cell* part, cell* seek, cell*, cell*) {
  cell* port = stack::push_copy(*destination);
  open_flags(*port, true, seek != nullptr);
  arguments list;
  list.add(*port);
  list.add(*data);
  const bool counted = part && part->type() == TYPE_INTEGER;
  list.add('p', counted ? scalar::integer_value(*part) : -1);
  list.add('f', false);
  list.add('d', 1);
  forward("insert", list.values, list.count);
  cell* result = stack::push_copy(copy_part(*port, part));
  close_port(*port);
  return result;
}

void init() {
  using S = action_slot;
  datatype::register_type(TYPE_PORT, datatype::actions_row(
      // make random reflect to form mold eval-path set-path compare
      &make, unsupported, inherit, unsupported, &form, &mold, inherit, unsupported, inherit,
      // absolute add divide multiply negate power remainder round subtract
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported,
      // even? odd? and~ complement or~ xor~
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      // append at back change clear copy find head head? index? insert length? move next
      forwarded<S::append>, forwarded<S::at>, forwarded<S::back>, forwarded<S::change>, forwarded<S::clear>,
      forwarded<S::copy>, forwarded<S::find>, forwarded<S::head>, forwarded<S::head_p>, forwarded<S::index_p>,
      forwarded<S::insert>, forwarded<S::length_p>, forwarded<S::move>, forwarded<S::next>,
      // pick poke put remove reverse select sort skip swap tail tail? take trim
      forwarded<S::pick>, &poke, forwarded<S::put>, forwarded<S::remove>, forwarded<S::reverse>,
      forwarded<S::select>, forwarded<S::sort>, forwarded<S::skip>, forwarded<S::swap>, forwarded<S::tail>,
      forwarded<S::tail_p>, forwarded<S::take>, forwarded<S::trim>,
      // create close delete modify open open? query read rename update write
      forwarded<S::create>, forwarded<S::close>, forwarded<S::delete_>, forwarded<S::modify>, forwarded<S::open>,
      unsupported, forwarded<S::query>, &read, forwarded<S::rename>, forwarded<S::update>, &write));
}

}  // namespace tav::port
