// tuple!: 3 to 12 unsigned bytes held in the cell (versions, IP addresses, colours), with
// byte-wise arithmetic clamped to 0..255.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace tav::tuple {

inline constexpr uint32_t min_length = 3;
inline constexpr uint32_t max_length = 12;

// tuple! cell: header bits 19-22 hold the byte count n; cell bytes 4 to 15 the bytes in
// order, those past n zero.
inline uint32_t length_of(const cell& value) { return (value.header >> 19) & 0xF; }
inline uint8_t* bytes_of(cell& value) { return reinterpret_cast<uint8_t*>(&value) + 4; }
inline const uint8_t* bytes_of(const cell& value) { return reinterpret_cast<const uint8_t*>(&value) + 4; }

// A tuple of the first n bytes (n limited to 3..12, zero bytes padding).
cell* make_at(cell& target, uint32_t n, const uint8_t* bytes);
// n bytes from three payload words as they lie in a cell.
cell* push(uint32_t n, uint32_t word1, uint32_t word2, uint32_t word3);
// The low byte of each of n integers.
cell* make_from_ints(uint32_t n, const int32_t* values);
// The bytes from the binary's head, at most 12.
cell* from_binary(const cell& binary, cell& target);
// Hexadecimal colour digits: 3 (each doubled), 6 or 8; anything else raises script/invalid-data.
cell* from_issue(const cell& issue);
// Arithmetic and bitwise ops 0..7 on the first two argument cells; either may be the tuple
// (a number on the left only adds, multiplies, takes a remainder or combines bits).
cell* do_math(int32_t op);
bool zero_p(const cell& value);
// Path assignment of byte `index`: an integer! clamped into it, or none cutting the tuple there.
void poke(cell& value, int32_t index, const cell& new_value);

cell* make(cell* prototype, cell* spec, int32_t type);
cell* random(cell* value, bool seed, bool secure, bool only);
cell* to(cell* prototype, cell* spec, int32_t type);
int32_t form(cell* value, cell* buffer, cell* part, int32_t limit);
int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent);
cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell* container, cell* previous, int32_t index,
                bool case_sensitive, bool get, bool last, bool store_back);
int32_t compare(cell* value1, cell* value2, int32_t op);
cell* add();
cell* divide();
cell* multiply();
cell* remainder();
cell* subtract();
cell* and_();
cell* complement(cell* value);
cell* or_();
cell* xor_();
int32_t length_p(cell* series);
cell* pick(cell* series, int32_t index, cell* index_cell);
cell* reverse(cell* series, cell* part, cell* skip);
void init();

}  // namespace tav::tuple
