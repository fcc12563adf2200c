// image!: a two-dimensional series of 32-bit pixels, and the bitmaps that hold them.
//
// An image! cell is {53, head index (pixel offset from the top-left, row order), node of the
// image record or 0, size}: the size word holds the width in bits 0-15 and the height in bits
// 16-31. The record is a 24-byte series buffer of six words (flags, two unused platform words,
// the size word, the externals slot, an unused cache word); the pixels live in a C++ bitmap
// owned by the externals registry under the type "image", freed when the collector sweeps its
// slot. A pixel is the word 0xAARRGGBB stored little-endian (bytes B, G, R, A), rows top first
// without padding. At the language level a pixel is the tuple R.G.B.T with T = 255 - A.
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/cell.hpp"
#include "runtime/memory.hpp"

namespace tav::image {

inline constexpr uint32_t max_side = 0xFFFF;
inline constexpr uint64_t max_pixels = uint64_t{1} << 28;  // 1 GiB of pixel memory

// Bits of the record's flags word.
inline constexpr uint32_t flag_current = 0x01;
inline constexpr uint32_t flag_written = 0x02;

struct bitmap {
  uint32_t width;
  uint32_t height;
  node_id node;      // the record that owns it
  uint32_t* pixels;  // width x height words
};

inline uint32_t width_of(const cell& image) { return image.payload3 & 0xFFFF; }
inline uint32_t height_of(const cell& image) { return image.payload3 >> 16; }
inline uint32_t count_of(const cell& image) { return width_of(image) * height_of(image); }
inline uint32_t size_word(uint32_t width, uint32_t height) { return height << 16 | width; }

// The bitmap behind an image, null for an image without a node.
bitmap* bitmap_of(const cell& image);
// The pixel memory of an image, null for an image without a node.
inline uint32_t* pixels_of(const cell& image) {
  bitmap* b = bitmap_of(image);
  return b ? b->pixels : nullptr;
}

// Pixels and tuples.
uint32_t pixel_from_tuple(const cell& colour);
cell tuple_from_pixel(uint32_t pixel);

// Live bitmap bytes, and the externals type "image" (0 before registration).
size_t live_bitmap_bytes();
uint32_t external_type();

// A new record and bitmap of width x height pixels (both at least 1, already checked against
// the limits), the pixels unwritten; a bitmap that cannot be had raises internal/no-memory.
// May collect first, so callers keep their values rooted.
node_id make_node(uint32_t width, uint32_t height);
// The same over pixel memory from malloc, which the bitmap owns from then on (freed here when
// the record cannot be made).
node_id adopt_node(uint32_t width, uint32_t height, uint32_t* pixels);
// Raises script/invalid-arg with `spec` for a side above 65535 and internal/no-memory for more
// than 2^28 pixels; negative sides count as 0.
void check_size(int64_t width, int64_t height, const cell& spec);
// A new image of that size: every pixel from the colour, or from the RGB triples and alpha
// bytes T of the binaries (from their heads; white and opaque where they run out). Any of the
// three may be null. A zero side makes an image without node. Answers the image cell.
cell make_image(uint32_t width, uint32_t height, const cell* rgb, const cell* alpha, const cell* colour);
// An image cell at index 0 for the node (0 gives an empty image of size 0).
cell make_at(node_id node);

// The pixel at `offset` as a tuple, none when offset >= n.
cell get_pixel(const cell& image, uint32_t offset);
// The pixel offset of an index value (integer! or pair!) for a base (1 pick, poke and at; 0
// skip), clipped to 0..n; with `out_of_range` the flag says whether the value lay outside.
uint32_t index_of(const cell& image, const cell& value, int32_t base, bool* out_of_range);
// A new binary pushed on the argument stack: kind 0 alpha (T per pixel), 1 rgb, 2 argb.
enum data_kind : int32_t { alpha = 0, rgb = 1, argb = 2 };
cell* extract_data(const cell& image, data_kind kind);
// Writes pixels from a binary!, tuple! or integer! (anything else raises script/invalid-arg).
void set_data(const cell& image, const cell& value, data_kind kind);
// The container whose signature the bytes begin with, as the format code of encoding (0 BMP,
// 1 PNG, 2 GIF, 3 JPEG, 4 TIFF), or -1.
int32_t signature_format(const uint8_t* bytes, size_t length);
// True when the bytes at the binary's head begin with a PNG, JPEG, BMP, GIF or TIFF signature.
bool known_format_p(const cell& binary);
// A new image pushed on the argument stack: the image scaled (nearest neighbour) to the size.
cell* resize(const cell& image, uint32_t width, uint32_t height);
// A new image of the rectangle (clipped to the image), at index 0; empty when nothing is left.
cell copy_region(const cell& image, int64_t x, int64_t y, int64_t width, int64_t height);

// `to image!` of an object asks the library's face? and, for a face, the GUI backend's capture;
// both hooks are installed by upper layers and null without them.
inline bool (*face_p_hook)(const cell& object) = nullptr;
inline bool (*capture_hook)(const cell& face, cell& result) = nullptr;

// Collector support: marks the image's externals slot.
void mark(const cell& image);

cell* make(cell* prototype, cell* spec, int32_t type);
cell* to(cell* prototype, cell* spec, int32_t type);
int32_t form(cell* value, cell* buffer, cell* part, int32_t limit);
int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent);
cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell* container, cell* previous, int32_t index,
                bool case_sensitive, bool get, bool last, bool store_back);
int32_t compare(cell* value1, cell* value2, int32_t op);
cell* at();
cell* change(cell* series, cell* value, int32_t part, bool only, int32_t dup);
cell* copy(cell* value, cell* result, cell* part, bool deep, cell* types);
int32_t length_p(cell* series);
cell* next();
cell* pick(cell* series, int32_t index, cell* index_cell);
cell* poke(cell* series, int32_t index, cell* value, cell* index_cell);
cell* skip();
cell* tail();
cell* tail_p();
void init();

}  // namespace tav::image
