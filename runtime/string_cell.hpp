// Text value cells as the runtime makes and reads them: the type ids of the string family
// and of the scalars handed out with text errors, and a string! cell over a node.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"
#include "runtime/memory.hpp"

namespace tav::string_cell {

inline constexpr uint8_t string_type = 7;
inline constexpr uint8_t file_type = 8;
inline constexpr uint8_t url_type = 9;
inline constexpr uint8_t char_type = 10;
inline constexpr uint8_t integer_type = 11;
inline constexpr uint8_t binary_type = 41;
inline constexpr uint8_t tag_type = 44;
inline constexpr uint8_t email_type = 45;
inline constexpr uint8_t ref_type = 50;

// The types that share the string layout: head index in characters, node, cache node.
inline bool any_string_p(uint8_t type) {
  return type == string_type || type == file_type || type == url_type || type == tag_type || type == email_type ||
         type == ref_type;
}

// A string! whose head is `head` characters from the buffer's offset, with no cache.
inline cell make(node_id node, uint32_t head = 0) { return cell{string_type, head, node, 0}; }

inline node_id node(const cell& value) { return value.payload2; }
inline int32_t head(const cell& value) { return static_cast<int32_t>(value.payload1); }
inline node_id cache(const cell& value) { return value.payload3; }

}  // namespace tav::string_cell
