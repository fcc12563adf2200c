// TAVBIN references: the writer's record of where each shared series or context was first
// written, and the reader's walk along a path through the values already decoded.
#include "datatypes/context.hpp"
#include "datatypes/function.hpp"
#include "datatypes/series.hpp"
#include "datatypes/types.hpp"
#include "io/tavbin_internal.hpp"

namespace tav::tavbin {

share share_of(uint8_t type) {
  switch (type) {
    case TYPE_BLOCK:
    case TYPE_PAREN:
    case TYPE_PATH:
    case TYPE_LIT_PATH:
    case TYPE_SET_PATH:
    case TYPE_GET_PATH: return share::cells;
    case TYPE_HASH: return share::hash;
    case TYPE_MAP: return share::map;
    case TYPE_BINARY: return share::bytes;
    case TYPE_VECTOR: return share::vector;
    case TYPE_BITSET: return share::bitset;
    case TYPE_IMAGE: return share::image;
    case TYPE_WORD:
    case TYPE_SET_WORD:
    case TYPE_LIT_WORD:
    case TYPE_GET_WORD:
    case TYPE_REFINEMENT:
    case TYPE_OBJECT:
    case TYPE_FUNCTION:
    case TYPE_ERROR: return share::context;
    default: return series::any_string_p(type) ? share::text : share::none;
  }
}

// ---- Writing ------------------------------------------------------------------------------

void reference_paths::reset() {
  current_ = 0;
  stack_.clear();
  paths_.clear();
  if (stack_.capacity() > stack_room) std::vector<uint32_t>().swap(stack_);
  if (paths_.capacity() > paths_room) std::vector<uint32_t>().swap(paths_);
  if (keys_.bucket_count() > paths_room) {
    std::unordered_map<node_id, entry>().swap(keys_);
  } else {
    keys_.clear();
  }
  stack_.reserve(stack_room);
  paths_.reserve(paths_room);
}

void reference_paths::record(node_id key, share kind) {
  const size_t depth = stack_.size() + 1;
  if (depth > max_path_depth || keys_.count(key)) return;
  const auto offset = static_cast<uint32_t>(paths_.size());
  paths_.push_back(static_cast<uint32_t>(depth));
  paths_.insert(paths_.end(), stack_.begin(), stack_.end());
  paths_.push_back(current_);
  keys_.emplace(key, entry{offset, kind});
}

bool TavbinWriter::encode_reference_cp(node_id key, share kind, uint8_t type, bool flag, uint32_t head) {
  const reference_paths::entry* found = paths_.find(key);
  if (!found || found->kind != kind) return false;
  emit_byte(byte::reference);
  emit_header(type, flag);
  if (flag) emit_uint(head);
  emit_path(*found);
  return true;
}

void TavbinWriter::emit_path(const reference_paths::entry& found) {
  const uint32_t* path = paths_.path_at(found.offset);
  emit_uint(path[0]);
  for (uint32_t i = 1; i <= path[0]; ++i) emit_uint(path[i]);
}

// ---- Reading ------------------------------------------------------------------------------

namespace {

// The cells of a series node, or null.
series_buffer* cells_of(node_id node) { return node ? buffer_of(node) : nullptr; }

}  // namespace

cell TavbinReader::read_path(const uint8_t*& p, const uint8_t* limit) {
  const uint8_t* depth_at = p;
  const uint32_t depth = read_uint(p, limit);
  if (depth < 1 || depth > max_path_depth || depth > static_cast<size_t>(limit - p)) throw_error(depth_at);
  cell current = root_;
  for (uint32_t left = depth; left > 0; --left) {
    const uint8_t* index_at = p;
    const uint32_t index = read_uint(p, limit);
    series_buffer* cells = nullptr;
    uint32_t first = 0;  // of the selected cell within `cells`
    switch (current.type()) {
      case TYPE_BLOCK:
      case TYPE_PAREN:
      case TYPE_PATH:
      case TYPE_LIT_PATH:
      case TYPE_SET_PATH:
      case TYPE_GET_PATH:
      case TYPE_HASH:
      case TYPE_MAP:
      case TYPE_NATIVE:
      case TYPE_ACTION: cells = cells_of(current.payload2); break;
      case TYPE_OBJECT:
      case TYPE_ERROR:
      case TYPE_WORD:
      case TYPE_SET_WORD:
      case TYPE_LIT_WORD:
      case TYPE_GET_WORD:
      case TYPE_REFINEMENT: {
        const node_id context = current.payload1;
        if (!context) throw_error(index_at);
        const cell& record = *context::cell_of(context);
        if (record.header & cell_flag::stack_values) {
          // A frame has no values of its own: a word bound to it leads into its function.
          const cell owner = *context::self_of(context);
          if (owner.type() != TYPE_FUNCTION || !any_word_p(current.type())) throw_error(index_at);
          current = owner;
          ++left;
          p = index_at;
          continue;
        }
        cells = cells_of(record.payload2);
        if (current.type() == TYPE_ERROR) first = 3;  // the fields from arg1 on
        break;
      }
      case TYPE_FUNCTION:
      case TYPE_OP: {
        if (index == 0) {
          cell spec{TYPE_BLOCK, 0, current.payload2, 0};
          if (!spec.payload2) throw_error(index_at);
          if (left == 1) return spec;
          current = spec;
          continue;
        }
        if (index != 1 || current.type() != TYPE_FUNCTION) throw_error(index_at);
        const cell body = *function::more_cell(current, function::more_body);
        if (body.type() != TYPE_BLOCK) throw_error(index_at);
        current = body;
        continue;
      }
      default: throw_error(index_at);
    }
    if (!cells || index >= cells->count() || index + first >= cells->count()) throw_error(index_at);
    current = cells->cells()[index + first];
  }
  return current;
}

}  // namespace tav::tavbin
