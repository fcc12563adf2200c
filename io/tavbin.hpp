// TAVBIN: the binary serialisation of values. The stream container (header, symbol table,
// records area), the reader entry in its two modes and the writer entries.
//
// A stream is the magic "TAVBIN", a version byte nobody reads, a flags byte, then the payload:
// counts, the optional symbol table and the records, each record one value. A series or
// context met twice is written once; later occurrences are references, paths of child indexes
// from the stream's root. Readers are objects made per call, so a decode may run while another
// one is under way; encodes share one reference state, which is fine as they never nest.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "runtime/cell.hpp"

namespace tav::tavbin {

inline constexpr uint8_t magic[6] = {'T', 'A', 'V', 'B', 'I', 'N'};
inline constexpr uint8_t writer_version = 2;
// The boot image is written as version 1.
inline constexpr uint8_t boot_image_version = 1;
inline constexpr size_t header_size = 8;

// Bits of the flags byte; the others are ignored.
namespace flag {
inline constexpr uint8_t compact = 1;
inline constexpr uint8_t compressed = 2;
inline constexpr uint8_t symbols = 4;
}  // namespace flag

// Reads the stream of `length` bytes at `data` and appends each top-level value to the block
// `destination`.
//   codec mode: a bad magic or a corrupt compressed payload raises script/invalid-data with
//   `argument` (none when null); a malformed record raises script/rb-invalid-record with the
//   1-based offset of the offending byte; values read before the fault stay in the block.
//   boot mode: a bad magic or a corrupt compressed payload prints its line and ends the
//   program as runtime error 98 (the boot image is made and checked when the program is
//   built, so either is a fault of the program).
// Answers the first cell the decode appended (valid until the next allocation).
cell* decode(const uint8_t* data, size_t length, cell& destination, bool codec, const cell* argument = nullptr);

// The start-up load of the boot image into the root block, with the collector held off for
// its run. Answers where the image's values start in the root block (the literal base).
cell* boot_load(const uint8_t* data, size_t length);

// The natives table's next free index, answered by the interpreter once it has filled the
// table: native records at or above it are refused, and all of them until it is installed.
using natives_bound = uint32_t (*)();
void set_natives_bound(natives_bound bound);

// A new binary! holding a complete compact stream of the value, in `result`.
void encode_cp(const cell& value, cell& result);
// The same in the fixed-width layout.
void encode(const cell& value, cell& result);

// A boot image: a compact stream of version 1 with its symbol table holding, first, one global
// definition per pair of `definitions` (a block of word, value, word, value ...), then each
// value of the block `values` as a top-level value.
std::vector<uint8_t> encode_boot_image(const cell& definitions, const cell& values);

}  // namespace tav::tavbin
