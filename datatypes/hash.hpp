// hash!: a block indexed by a hash table; its own handlers (the rest are block!'s).
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace tav::hash {

cell* make(cell* prototype, cell* spec, int32_t type);
cell* to(cell* prototype, cell* spec, int32_t type);
int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent);
cell* copy(cell* value, cell* result, cell* part, bool deep, cell* types);
cell* sort(cell* series, bool case_sensitive, cell* skip, cell* comparator, cell* part, bool all, bool reverse,
           bool stable);
cell* trim(cell* series, bool head, bool tail, bool auto_, bool lines, bool all, cell* with);
void init();

}  // namespace tav::hash
