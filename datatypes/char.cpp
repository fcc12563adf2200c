// char!: one Unicode code point, made from numbers, text and UTF-8 bytes, with integer
// arithmetic that must stay within 0..10FFFF and its caret-escaped source form.
#include "datatypes/actions.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/number_handoff.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/string.hpp"
#include "datatypes/text_output.hpp"
#include "interpreter/stack.hpp"
#include "runtime/errors.hpp"
#include "runtime/memory.hpp"
#include "runtime/series.hpp"
#include "runtime/unicode.hpp"

namespace tav::char_ {
namespace {

cell datatype_of(uint8_t type) {
  cell result;
  datatype::make_at(result, type);
  return result;
}

[[gnu::cold, noreturn]] void bad_to_arg(const cell& spec) {
  fire(error_id::script_bad_to_arg, datatype_of(TYPE_CHAR), spec);
}

bool text_p(uint8_t type) {
  switch (type) {
    case TYPE_STRING:
    case TYPE_FILE:
    case TYPE_URL:
    case TYPE_TAG:
    case TYPE_EMAIL:
    case TYPE_REF: return true;
    default: return false;
  }
}

bool in_range_p(int32_t value) { return value >= 0 && static_cast<uint32_t>(value) <= max_code_point; }

uint32_t first_of_text(const cell& text) {
  series_buffer* buffer = buffer_of(text.payload2);
  if (text.payload1 >= buffer->count()) bad_to_arg(text);
  return unicode::get_unit(buffer->head(), text.payload1, buffer->unit());
}

// The UTF-8 sequence at the binary's head; its length comes from the lead byte alone. No
// bytes, a sequence cut short or a code point past 10FFFF cannot make a char.
uint32_t first_of_binary(const cell& binary) {
  series_buffer* buffer = buffer_of(binary.payload2);
  uint32_t count = buffer->count(), head = binary.payload1;
  uint32_t available = head < count ? count - head : 0;
  if (available == 0) bad_to_arg(binary);
  const uint8_t* bytes = buffer->head() + head;
  uint8_t lead = bytes[0];
  uint32_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  if (length > available) bad_to_arg(binary);
  constexpr uint8_t lead_mask[] = {0, 0xFF, 0x1F, 0x0F, 0x07};
  uint32_t cp = lead & lead_mask[length];
  for (uint32_t i = 1; i < length; ++i) cp = (cp << 6) | (bytes[i] & 0x3F);
  if (cp > max_code_point) bad_to_arg(binary);
  return cp;
}


}  // namespace

cell* make_in(cell& block, uint32_t cp) {
  cell* slot = alloc_block_tail(block);
  *slot = value_of(cp);
  return slot;
}

cell* push(uint32_t cp) { return stack::push_copy(value_of(cp)); }

cell* do_math(int32_t op) {
  cell* left = stack::argument(0);
  cell* right = stack::argument(1);
  int32_t operand;
  switch (right->type()) {
    case TYPE_CHAR:
    case TYPE_INTEGER: operand = static_cast<int32_t>(right->payload2); break;
    case TYPE_FLOAT:
      if (!float_::int32_range_p(float_::get(*right))) fire(error_id::math_overflow);
      operand = static_cast<int32_t>(float_::get(*right));
      break;
    case TYPE_VECTOR: {
      handoff::vector_math math = handoff::need(handoff::vector_do_math_op);
      return stack::set_last(*math(right, left, op));
    }
    default: fire(error_id::script_invalid_type, datatype_of(right->type()));
  }
  int32_t result = integer::do_math_op(op, static_cast<int32_t>(left->payload2), operand, nullptr);
  if (!in_range_p(result)) fire(error_id::math_overflow);
  left->payload2 = static_cast<uint32_t>(result);
  return left;
}

// ---- Actions --------------------------------------------------------------------------------

cell* make(cell*, cell* spec, int32_t) {
  uint8_t type = spec->type();
  int32_t value;
  switch (type) {
    case TYPE_INTEGER:
    case TYPE_CHAR: value = static_cast<int32_t>(spec->payload2); break;
    case TYPE_FLOAT:
    case TYPE_PERCENT:
      if (!float_::int32_range_p(float_::get(*spec))) fire(error_id::script_out_of_range, *spec);
      value = static_cast<int32_t>(float_::get(*spec));
      break;
    case TYPE_BINARY: return push(first_of_binary(*spec));
    default:
      if (text_p(type)) return push(first_of_text(*spec));
      bad_to_arg(*spec);
  }
  if (!in_range_p(value)) fire(error_id::script_out_of_range, *spec);
  return push(static_cast<uint32_t>(value));
}

int32_t form(cell* value, cell* buffer, cell*, int32_t limit) {
  text::append_char(*buffer, get(*value));
  return limit - 1;
}

int32_t mold(cell* value, cell* buffer, bool, bool all, bool, cell*, int32_t limit, int32_t) {
  text::append_c_string(*buffer, "#\"");
  string::append_escaped_char(*buffer, get(*value), all);
  text::append_char(*buffer, '"');
  return limit - 4;
}

int32_t compare(cell* value1, cell* value2, int32_t op) {
  uint8_t type = value2->type();
  if (op == actions::op::strict_equal || op == actions::op::find) {
    if (type != TYPE_CHAR) return actions::not_comparable;
  } else if (type != TYPE_CHAR && type != TYPE_INTEGER) {
    return actions::not_comparable;
  }
  int64_t a = get(*value1), b = static_cast<int32_t>(value2->payload2);
  return (a > b) - (a < b);
}

cell* add() { return do_math(math_op::add); }
cell* divide() { return do_math(math_op::divide); }
cell* multiply() { return do_math(math_op::multiply); }
cell* remainder() { return do_math(math_op::remainder); }
cell* subtract() { return do_math(math_op::subtract); }
cell* and_() { return do_math(math_op::and_); }
cell* or_() { return do_math(math_op::or_); }
cell* xor_() { return do_math(math_op::xor_); }

void init() {
  datatype::register_type(TYPE_CHAR, datatype::actions_row(
      // make random reflect to form mold eval-path set-path compare
      &make, inherit, unsupported, &make, &form, &mold, unsupported, unsupported, &compare,
      // absolute add divide multiply negate power remainder round subtract
      inherit, &add, &divide, &multiply, unsupported, unsupported, &remainder, unsupported, &subtract,
      // even? odd? and~ complement or~ xor~
      inherit, inherit, &and_, unsupported, &or_, &xor_,
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

}  // namespace tav::char_
