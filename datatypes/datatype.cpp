// datatype!: values that name a type, the words of the type names, and the registration of
// every datatype module.
#include "datatypes/actions.hpp"
#include "datatypes/any_string.hpp"
#include "datatypes/binary.hpp"
#include "datatypes/bitset.hpp"
#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/date.hpp"
#include "datatypes/error.hpp"
#include "datatypes/float.hpp"
#include "datatypes/function.hpp"
#include "datatypes/handle.hpp"
#include "datatypes/port.hpp"
#include "datatypes/hash.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/image.hpp"
#include "datatypes/map.hpp"
#include "datatypes/money.hpp"
#include "datatypes/native.hpp"
#include "datatypes/object.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/path.hpp"
#include "datatypes/point.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/text_output.hpp"
#include "datatypes/time.hpp"
#include "datatypes/triple.hpp"
#include "datatypes/tuple.hpp"
#include "datatypes/typeset.hpp"
#include "datatypes/values.hpp"
#include "datatypes/vector.hpp"
#include "datatypes/word.hpp"
#include "interpreter/stack.hpp"
#include "runtime/series.hpp"

namespace tav::datatype {

void make_words() {
  for (uint32_t type = 1; type <= max_type_id; ++type) {
    type_name_entry& entry = type_name_table[type];
    if (entry.name) entry.word = *word::load(entry.name);
  }
}

void make_at(cell& target, uint8_t id) { target = cell{TYPE_DATATYPE, id, 0, 0}; }

cell* push(uint8_t id) {
  cell* slot = stack::push_cell();
  make_at(*slot, id);
  return slot;
}

cell* make_in(cell& block, uint8_t id) {
  cell* slot = alloc_block_tail(block);
  make_at(*slot, id);
  return slot;
}

int32_t form(cell* value, cell* buffer, cell*, int32_t limit) {
  const type_name_entry& entry = type_name_table[value->payload1];
  text::append_c_part(*buffer, entry.name, entry.length);
  return limit - static_cast<int32_t>(entry.length);
}

int32_t mold(cell* value, cell* buffer, bool, bool all, bool, cell*, int32_t limit, int32_t) {
  const type_name_entry& entry = type_name_table[value->payload1];
  if (all) text::append_c_string(*buffer, "#(");
  text::append_c_part(*buffer, entry.name, entry.length + 1);
  if (all) text::append_c_string(*buffer, ")");
  return limit - static_cast<int32_t>(entry.length + 1) - (all ? 3 : 0);
}

int32_t compare(cell* value1, cell* value2, int32_t op) {
  switch (op) {
    case actions::op::equal:
    case actions::op::not_equal:
    case actions::op::strict_equal:
    case actions::op::same:
    case actions::op::find:
      return value2->type() == TYPE_DATATYPE && value2->payload1 == value1->payload1 ? 0 : 1;
    default: return actions::not_comparable;
  }
}

void init() {
  register_type(TYPE_DATATYPE, actions_row(
      // make random reflect to form mold eval-path set-path compare
      unsupported, unsupported, unsupported, unsupported, &form, &mold, unsupported, unsupported, &compare,
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

namespace {

// Types whose module is not part of the build yet still exist by name: a row without any
// action, which their own registration replaces.
void register_names() {
  for (uint32_t id = 1; id < type_table_size; ++id) {
    if (!describe_type(static_cast<uint8_t>(id)).name) continue;
    registration_word buffer[registration_words] = {};
    buffer[0] = id;
    buffer[2] = reinterpret_cast<registration_word>(describe_type(static_cast<uint8_t>(id)).name);
    register_buffer(registration_words, buffer);
  }
}

}  // namespace

void register_all() {
  register_names();
  init();
  unset::init();
  none::init();
  logic::init();
  series::init();
  block::init();
  string::init();
  url::init();
  file::init();
  tag::init();
  email::init();
  integer::init();
  char_::init();
  float_::init();
  percent::init();
  symbol::init();
  context::init();
  word::init();
  set_word::init();
  lit_word::init();
  get_word::init();
  refinement::init();
  native::init();
  action::init();
  op::init();
  path::init();
  lit_path::init();
  set_path::init();
  get_path::init();
  function::init();
  routine::init();
  paren::init();
  issue::init();
  object::init();
  error::init();
  port::init();
  triple::init();
  pair::init();
  tuple::init();
  time::init();
  handle::init();
  date::init();
  money::init();
  ref::init();
  point2D::init();
  point3D::init();
  typeset::init();
  bitset::init();
  binary::init();
  vector::init();
  hash::init();
  map::init();
  image::init();
}

}  // namespace tav::datatype
