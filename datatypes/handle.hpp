// handle!: an opaque id of an operating-system or backend resource carried through the
// language: an index into the externals registry or an id the backend issued, never a
// machine address.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace tav::handle {

// Handle classes; the names mold/all prints come from one table in the module.
inline constexpr uint32_t CLASS_NULL = 0;
inline constexpr uint32_t CLASS_FD = 1;
inline constexpr uint32_t CLASS_MONITOR = 2;
inline constexpr uint32_t CLASS_WINDOW = 3;
inline constexpr uint32_t CLASS_FONT = 4;
inline constexpr uint32_t CLASS_RICH_TEXT = 5;

// handle! cell: payload 1 the class, payload 2 the id, payload 3 -1.
inline uint32_t class_of(const cell& value) { return value.payload1; }
inline uint32_t id_of(const cell& value) { return value.payload2; }

cell* make_at(cell& target, uint32_t id, uint32_t handle_class);
cell* box(uint32_t id, uint32_t handle_class);  // into the result slot
cell* push(uint32_t id, uint32_t handle_class);
cell* push_null();

int32_t form(cell* value, cell* buffer, cell* part, int32_t limit);
int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent);
int32_t compare(cell* value1, cell* value2, int32_t op);
void init();

}  // namespace tav::handle
