// hash!: a block whose values are indexed by a hash table, so that find and select do not scan.
// Every other block action is inherited and keeps the table in step; this module makes, copies
// and molds hashes and indexes them again after sort and trim.
#include <algorithm>

#include "datatypes/hash.hpp"
#include "datatypes/block.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series.hpp"
#include "datatypes/text_output.hpp"
#include "interpreter/stack.hpp"
#include "runtime/hashtable.hpp"

namespace tav::hash {
namespace {

using series::head_of;
using series::node_of;

int32_t count_of(const cell& series) { return static_cast<int32_t>(series::buffer(series)->count()); }

// Gives the block in the cell a new table sized for `capacity` and makes it a hash!.
cell* index_block(cell* result, int32_t capacity) {
  node_id node = node_of(*result);
  node_id table = hashtable::create(static_cast<uint32_t>(std::max(capacity, 1)), node, hashtable::hash_kind);
  set_type(*result, TYPE_HASH);
  result->payload3 = table;
  return result;
}

// Takes the entries of the positions from `from` to the tail out of the table.
void unindex_from(const cell& hash, int32_t from) {
  int32_t count = count_of(hash) - from;
  if (count > 0)
    hashtable::clear_part(series::table_of(hash), static_cast<uint32_t>(from), static_cast<uint32_t>(count));
}

void index_from(const cell& hash, int32_t from) {
  if (from < count_of(hash)) hashtable::put_all(series::table_of(hash), static_cast<uint32_t>(from), 1);
}

}  // namespace

cell* copy(cell* value, cell* result, cell* part, bool deep, cell* types) {
  const cell source = *value;
  block::copy(value, result, part, deep, types);
  if (head_of(source) == 0 && !part && !deep && !types) {
    result->payload3 = hashtable::copy(series::table_of(source), node_of(*result));
    set_type(*result, TYPE_HASH);
    return result;
  }
  return index_block(result, count_of(*result));
}

cell* to(cell* prototype, cell* spec, int32_t) {
  if (spec->type() == TYPE_HASH) {
    cell* result = stack::push_cell();
    return copy(spec, result, nullptr, false, nullptr);
  }
  cell* result = block::to(prototype, spec, TYPE_BLOCK);
  return index_block(result, count_of(*result));
}

cell* make(cell* prototype, cell* spec, int32_t type) {
  switch (spec->type()) {
    case TYPE_INTEGER:
    case TYPE_FLOAT: {
      cell* result = block::make(prototype, spec, TYPE_BLOCK);
      int32_t capacity = static_cast<int32_t>(series::buffer(*result)->size / sizeof(cell));
      return index_block(result, capacity);
    }
    case TYPE_BLOCK: {
      cell* result = block::clone(*spec, false, false);
      return index_block(result, count_of(*result));
    }
    case TYPE_HASH: return to(prototype, spec, type);
    default: return to(prototype, spec, type);
  }
}

int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent) {
  if (!only) {
    text::append_c_string(*buffer, "make hash! ");
    limit -= 11;
  }
  return block::mold(value, buffer, only, all, flat, part, limit, indent);
}

cell* sort(cell* series, bool case_sensitive, cell* skip, cell* comparator, cell* part, bool all, bool reverse,
           bool stable) {
  int32_t head = std::clamp(head_of(*series), 0, count_of(*series));
  block::sort(series, case_sensitive, skip, comparator, part, all, reverse, stable);
  // A negative part sorts the values before the head.
  int32_t from = std::min(head, std::clamp(head_of(*series), 0, head));
  unindex_from(*series, from);
  index_from(*series, from);
  return series;
}

// The cells that trim drops leave the table before the block is cut.
cell* trim(cell* series, bool head, bool tail, bool auto_, bool lines, bool all, cell* with) {
  int32_t from = std::clamp(head_of(*series), 0, count_of(*series));
  unindex_from(*series, from);
  block::trim(series, head, tail, auto_, lines, all, with);
  index_from(*series, from);
  return series;
}

void init() {
  datatype::register_type(TYPE_HASH, datatype::actions_row(
      // make random reflect to form mold eval-path set-path compare
      &make, unsupported, inherit, &to, inherit, &mold, inherit, unsupported, inherit,
      // absolute add divide multiply negate power remainder round subtract
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported,
      // even? odd? and~ complement or~ xor~
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      // append at back change clear copy find head head? index? insert length? move next
      inherit, inherit, inherit, inherit, inherit, &copy, inherit, inherit, inherit, inherit, inherit, inherit,
      inherit, inherit,
      // pick poke put remove reverse select sort skip swap tail tail? take trim
      inherit, inherit, inherit, inherit, inherit, inherit, &sort, inherit, inherit, inherit, inherit, inherit, &trim,
      // create close delete modify open open? query read rename update write
      unsupported, unsupported, unsupported, inherit, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported));
}

}  // namespace tav::hash
