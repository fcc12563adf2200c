// Set operations: the operand check and the dispatch to each type's set operation.
#include "datatypes/set_ops.hpp"

#include "datatypes/bitset.hpp"
#include "datatypes/block.hpp"
#include "datatypes/date.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/scalar_support.hpp"
#include "datatypes/string.hpp"
#include "datatypes/types.hpp"
#include "datatypes/typeset.hpp"
#include "datatypes/word.hpp"
#include "interpreter/stack.hpp"
#include "runtime/errors.hpp"

namespace tav::set_ops {
namespace {

using scalar_support::datatype_of;

bool block_like_p(uint8_t type) { return type == TYPE_BLOCK || type == TYPE_HASH; }

const char* native_name(int32_t code) {
  switch (code) {
    case unique: return "unique";
    case union_: return "union";
    case intersect: return "intersect";
    case exclude: return "exclude";
    default: return "difference";
  }
}

[[gnu::cold, noreturn]] void expect_arg(int32_t code, uint8_t type) {
  fire(error_id::script_expect_arg, *word::load(native_name(code)), datatype_of(type),
       *word::load(code == unique ? "set" : "set1"));
}

}  // namespace

cell* set_op(bool case_sensitive, cell* skip, int32_t code) {
  cell* set1 = stack::argument(0);
  cell* set2 = code == unique ? nullptr : stack::argument(1);
  uint8_t type1 = set1->type();
  if (set2) {
    uint8_t type2 = set2->type();
    bool agree = block_like_p(type1) ? block_like_p(type2) : type2 == type1;
    if (!agree) fire(error_id::script_expect_val, datatype_of(type1), datatype_of(type2));
  }
  switch (type1) {
    case TYPE_BLOCK:
    case TYPE_HASH: return block::do_set_op(case_sensitive, skip, code);
    case TYPE_STRING: return string::do_set_op(code, set1, set2, case_sensitive, skip);
    case TYPE_BITSET: {
      cell result = *bitset::do_bitwise(code);
      *set1 = result;
      return set1;
    }
    case TYPE_TYPESET: {
      cell result = *typeset::do_bitwise(code);
      *set1 = result;
      return set1;
    }
    case TYPE_DATE:
      if (code != difference) expect_arg(code, type1);
      return date::difference(set1, set2);
    default: expect_arg(code, type1);
  }
}

bool complement_p(const cell& bits) {
  if (bits.type() != TYPE_BITSET)
    fire(error_id::script_expect_arg, *word::load("complement?"), datatype_of(bits.type()), *word::load("bits"));
  return bitset::not_p(bits);
}

}  // namespace tav::set_ops
