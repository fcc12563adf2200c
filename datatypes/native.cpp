// native!, action! and op!: making them from a spec and a table index or from a callable,
// their reflection, text forms and comparison.
#include "datatypes/native.hpp"

#include <cstring>

#include "datatypes/actions.hpp"
#include "datatypes/context.hpp"
#include "datatypes/function.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/runtime_words.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/text_output.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/stack.hpp"
#include "runtime/errors.hpp"
#include "runtime/series.hpp"

namespace tav {

namespace {

bool same_symbol_p(uint32_t a, uint32_t b) { return a == b || symbol::resolve(a) == symbol::resolve(b); }

[[gnu::cold, noreturn]] void bad_make_arg(uint8_t type, const cell& spec) {
  cell datatype;
  datatype::make_at(datatype, type);
  fire(error_id::script_bad_make_arg, datatype, spec);
}

// A native! or action! from [spec index]: the index must name a filled table entry.
cell* make_bound(const cell& spec_value, uint8_t type, uint32_t tag, uint32_t entries) {
  const cell spec = spec_value;
  if (spec.type() != TYPE_BLOCK) bad_make_arg(type, spec);
  series_buffer* values = buffer_of(spec.payload2);
  if (values->count() < spec.payload1 || values->count() - spec.payload1 != 2) bad_make_arg(type, spec);
  const cell function_spec = values->cells()[spec.payload1];
  const cell index = values->cells()[spec.payload1 + 1];
  if (function_spec.type() != TYPE_BLOCK || index.type() != TYPE_INTEGER) bad_make_arg(type, spec);
  int32_t position = scalar::integer_value(index);
  if (position < 1 || static_cast<uint32_t>(position) > entries) bad_make_arg(type, spec);
  node_id context = context::make(function_spec, true, false, context::kind_function);
  node_id more = alloc_unset_cells(native::more_cells);
  series_buffer* cells = buffer_of(more);
  cells->tail = cells->offset + native::more_cells * static_cast<uint32_t>(sizeof(cell));
  cells->cells()[native::more_context] = *context::cell_of(context);
  cells->cells()[native::more_arguments] = none::value;
  cell* result = stack::push_cell();
  *result = cell{type, tag | static_cast<uint32_t>(position), function_spec.payload2, more};
  return result;
}

int32_t append_fixed(cell& buffer, const char* text, int32_t limit) {
  text::append_c_string(buffer, text);
  return limit - static_cast<int32_t>(std::strlen(text));
}

int32_t mold_spec(const cell& value, cell* buffer, bool all, bool flat, cell* part, int32_t limit, int32_t indent) {
  cell spec{TYPE_BLOCK, 0, native::spec_of(value), 0};
  return actions::mold(&spec, buffer, false, all, flat, part, limit, indent);
}

// "make native! [" spec "]" and the like.
int32_t mold_bracketed(const char* opening, const cell& value, cell* buffer, bool all, bool flat, cell* part,
                       int32_t limit, int32_t indent) {
  limit = append_fixed(*buffer, opening, limit);
  limit = mold_spec(value, buffer, all, flat, part, limit, indent);
  return append_fixed(*buffer, "]", limit);
}

bool function_source_p(uint8_t type) { return type == TYPE_FUNCTION || type == TYPE_ROUTINE; }

}  // namespace

namespace native {

cell* make(cell*, cell* spec, int32_t) { return make_bound(*spec, TYPE_NATIVE, native_tag, table_entries); }

cell* reflect(cell* value, int32_t field) {
  const cell callable = *value;
  auto name = static_cast<uint32_t>(field);
  cell answer;
  if (same_symbol_p(name, symbols::spec)) {
    answer = cell{TYPE_BLOCK, 0, spec_of(callable), 0};
  } else if (same_symbol_p(name, symbols::body)) {
    if (callable.type() == TYPE_OP && function_source_p(op::source_type(callable)))
      answer = buffer_of(more_of(callable))->cells()[function::more_body];
    else
      answer = scalar::integer(static_cast<int32_t>(index_of(callable)));
  } else {
    fire(error_id::internal_not_done);
  }
  return stack::set_last(answer);
}

int32_t form(cell*, cell* buffer, cell*, int32_t limit) { return append_fixed(*buffer, "?native?", limit); }

int32_t mold(cell* value, cell* buffer, bool, bool all, bool flat, cell* part, int32_t limit, int32_t indent) {
  return mold_bracketed("make native! [", *value, buffer, all, flat, part, limit, indent);
}

int32_t compare(cell* value1, cell* value2, int32_t op) {
  if (value2->type() != value1->type()) return actions::not_comparable;
  switch (op) {
    case actions::op::equal:
    case actions::op::not_equal:
    case actions::op::strict_equal:
    case actions::op::sort:
    case actions::op::case_sort:
    case actions::op::same:
    case actions::op::find: {
      auto a = static_cast<int32_t>(value1->payload1), b = static_cast<int32_t>(value2->payload1);
      return a < b ? -1 : (a > b ? 1 : 0);
    }
    default: return actions::not_comparable;
  }
}

void init() {
  datatype::register_type(TYPE_NATIVE, datatype::actions_row(
      // make random reflect to form mold eval-path set-path compare
      &make, unsupported, &reflect, unsupported, &form, &mold, unsupported, unsupported, &compare,
      // absolute add divide multiply negate power remainder round subtract
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported,
      // even? odd? and~ complement or~ xor~
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      // append at back change clear copy find head head? index? insert length? move next
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      // pick poke put remove reverse select sort skip swap tail tail? take trim
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported,
      // create close delete modify open open? query read rename update write
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported));
}

}  // namespace native

namespace action {

cell* make(cell*, cell* spec, int32_t) {
  return make_bound(*spec, TYPE_ACTION, native::action_tag, action_count);
}

int32_t form(cell*, cell* buffer, cell*, int32_t limit) { return append_fixed(*buffer, "?action?", limit); }

int32_t mold(cell* value, cell* buffer, bool, bool all, bool flat, cell* part, int32_t limit, int32_t indent) {
  return mold_bracketed("make action! [", *value, buffer, all, flat, part, limit, indent);
}

void init() {
  datatype::register_type(TYPE_ACTION, datatype::actions_row(
      // make random reflect to form mold eval-path set-path compare
      &make, unsupported, inherit, unsupported, &form, &mold, unsupported, unsupported, &native::compare,
      // absolute add divide multiply negate power remainder round subtract
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported,
      // even? odd? and~ complement or~ xor~
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      // append at back change clear copy find head head? index? insert length? move next
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      // pick poke put remove reverse select sort skip swap tail tail? take trim
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported,
      // create close delete modify open open? query read rename update write
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported));
}

}  // namespace action

namespace op {

bool check_spec(node_id spec) {
  series_buffer* values = buffer_of(spec);
  uint32_t count = 0;
  for (uint32_t i = 0; i < values->count(); ++i) {
    const cell& value = values->cells()[i];
    switch (value.type()) {
      case TYPE_WORD: ++count; break;
      case TYPE_LIT_WORD:
      case TYPE_GET_WORD:
        if (count == 0) return false;
        ++count;
        break;
      case TYPE_SET_WORD: return count == 2;
      case TYPE_REFINEMENT: {
        uint32_t name = word::symbol_of(value);
        bool allowed = same_symbol_p(name, word::symbol_of(refinements::local)) ||
                       same_symbol_p(name, word::symbol_of(refinements::extern_));
        return allowed && count == 2;
      }
      default: break;
    }
  }
  return count == 2;
}

cell* make(cell*, cell* spec, int32_t) {
  const cell source = *spec;
  uint8_t type = source.type();
  if (type != TYPE_NATIVE && type != TYPE_ACTION && !function_source_p(type)) {
    cell datatype;
    datatype::make_at(datatype, type);
    fire(error_id::script_invalid_type, datatype);
  }
  if (!check_spec(native::spec_of(source))) fire(error_id::script_bad_op_spec);
  if (function_source_p(type)) *function::more_cell(source, function::more_op_source) = source;
  cell* result = stack::push_cell();
  *result = source;
  result->header = (static_cast<uint32_t>(type) << 16) | TYPE_OP;
  return result;
}

int32_t form(cell*, cell* buffer, cell*, int32_t limit) { return append_fixed(*buffer, "?op?", limit); }

int32_t mold(cell* value, cell* buffer, bool, bool all, bool flat, cell* part, int32_t limit, int32_t indent) {
  const cell operator_value = *value;
  limit = append_fixed(*buffer, "make op! ", limit);
  if (source_type(operator_value) != TYPE_FUNCTION)
    return mold_bracketed("[", operator_value, buffer, all, flat, part, limit, indent);
  limit = append_fixed(*buffer, "func ", limit);
  limit = mold_spec(operator_value, buffer, all, flat, part, limit, indent);
  cell body = *function::more_cell(operator_value, function::more_body);
  if (body.type() != TYPE_BLOCK) return limit;
  return actions::mold(&body, buffer, false, all, flat, part, limit, indent);
}

void init() {
  datatype::register_type(TYPE_OP, datatype::actions_row(
      // make random reflect to form mold eval-path set-path compare
      &make, unsupported, inherit, unsupported, &form, &mold, unsupported, unsupported, &native::compare,
      // absolute add divide multiply negate power remainder round subtract
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported,
      // even? odd? and~ complement or~ xor~
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      // append at back change clear copy find head head? index? insert length? move next
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      // pick poke put remove reverse select sort skip swap tail tail? take trim
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported,
      // create close delete modify open open? query read rename update write
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported));
}

}  // namespace op

}  // namespace tav
