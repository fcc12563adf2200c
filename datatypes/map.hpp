// map!: an associative table of key/value pairs kept in insertion order in a block, with the
// keys indexed by a hash table of the map kind.
//
// A map cell holds the head index (0), the node of the key/value block and the node of its
// table. A pair whose value cell has a header of 0 is deleted: its key stays indexed so that
// putting the key again revives the same pair in its first place.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace tav::map {

// The datatypes a key may have (what a `#[...]` literal accepts).
bool valid_key_type_p(uint8_t type);
// Live keys.
uint32_t key_count(const cell& map);
// Turns the cell into a map over `block` (0: a new block of `size` cells), indexing the pairs
// already in it; a key met again keeps the later value in the first pair.
void make_at(cell& target, node_id block, uint32_t size);
// Adds or updates the pairs of a block of even length (from its index); keys compared
// case-sensitively with `case_sensitive`. Answers the map.
cell* extend(cell* map, const cell& pairs, bool case_sensitive);
// The foreach step: from the map's index, deleted pairs are passed (the index moves by 2 for
// each) and the words take the next key and value, a set-word! key given as word!. Answers
// whether a pair was there.
bool set_many(const cell& words, cell& map, int32_t count);

cell* make(cell* prototype, cell* spec, int32_t type);
cell* reflect(cell* value, int32_t field);
cell* to(cell* prototype, cell* spec, int32_t type);
int32_t form(cell* value, cell* buffer, cell* part, int32_t limit);
int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent);
cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell* container, cell* previous,
                int32_t index, bool case_sensitive, bool get, bool last, bool store_back);
int32_t compare(cell* value1, cell* value2, int32_t op);
cell* clear(cell* series);
cell* copy(cell* value, cell* result, cell* part, bool deep, cell* types);
cell* find(cell* series, cell* value, cell* part, bool only, bool case_sensitive, bool same, bool any, cell* with,
           cell* skip, bool last, bool reverse, bool tail, bool match);
int32_t length_p(cell* series);
cell* put(cell* series, cell* key, cell* value, bool case_sensitive);
cell* remove(cell* series, cell* part, cell* key);
cell* select(cell* series, cell* value, cell* part, bool only, bool case_sensitive, bool same, bool any, cell* with,
             cell* skip, bool last, bool reverse);

void init();

}  // namespace tav::map
