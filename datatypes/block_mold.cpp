// block!: text output. form writes the elements separated by spaces; mold adds the brackets,
// the line breaks and indentation of elements flagged to start a new line, and cycle markers.
#include <algorithm>

#include "datatypes/actions.hpp"
#include "datatypes/block.hpp"
#include "datatypes/text_output.hpp"
#include "runtime/cycle_stack.hpp"
#include "runtime/unicode.hpp"

namespace tav::block {
namespace {

using series::buffer;
using series::head_of;
using series::node_of;

// Keeps the mold depth raised for one element, also when an error unwinds through it.
struct depth_guard {
  depth_guard() { ++mold_depth; }
  ~depth_guard() { --mold_depth; }
  depth_guard(const depth_guard&) = delete;
  depth_guard& operator=(const depth_guard&) = delete;
};

// The last character written to the output, or -1 when nothing is.
int64_t last_char(const cell& output) {
  series_buffer* b = buffer(output);
  uint32_t count = b->count();
  if (count == 0) return -1;
  return unicode::get_unit(b->head(), count - 1, b->unit());
}

int32_t write_char(cell& output, uint32_t c, int32_t limit) {
  text::append_char(output, c);
  return limit - 1;
}

int32_t write_indent(cell& output, int32_t level, int32_t limit) {
  for (int32_t i = 0; i < level; ++i) text::append_c_string(output, "    ");
  return limit - 4 * std::max(level, 0);
}

}  // namespace

int32_t form(cell* value, cell* output, cell* part, int32_t limit) {
  if (cycles::detect(*value, output->payload2, limit, false)) return limit;
  cell block = *value;
  cycles::guard inside(node_of(block));
  int32_t total = static_cast<int32_t>(buffer(block)->count());
  for (int32_t i = std::max(head_of(block), 0); i < total; ++i) {
    if (part && limit <= 0) break;
    cell element = buffer(block)->cells()[i];
    limit = actions::form(&element, output, part, limit);
    if (i + 1 == total) break;
    int64_t c = last_char(*output);
    if (c != '\t' && c != '\n' && c != '\r') limit = write_char(*output, ' ', limit);
  }
  return limit;
}

int32_t mold(cell* value, cell* output, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent) {
  if (cycles::detect(*value, output->payload2, limit, true)) return limit;
  cell block = *value;
  if (!only) limit = write_char(*output, '[', limit);
  cycles::guard inside(node_of(block));
  int32_t level = indent;
  bool raised = false;
  int32_t first = std::max(head_of(block), 0);
  int32_t total = static_cast<int32_t>(buffer(block)->count());
  for (int32_t i = first; i < total; ++i) {
    if (part && limit <= 0) break;
    cell element = buffer(block)->cells()[i];
    if (!flat && (element.header & cell_flag::new_line)) {
      if (i == first && !only) {
        ++level;
        raised = true;
      }
      if (!(i == first && only)) limit = write_char(*output, '\n', limit);
      limit = write_indent(*output, level, limit);
    } else if (i > first) {
      limit = write_char(*output, ' ', limit);
    }
    depth_guard depth;
    limit = actions::mold(&element, output, false, all, flat, part, limit, level);
  }
  if (raised) {
    --level;
    limit = write_char(*output, '\n', limit);
    limit = write_indent(*output, level, limit);
  }
  if (!only) limit = write_char(*output, ']', limit);
  return limit;
}

}  // namespace tav::block
