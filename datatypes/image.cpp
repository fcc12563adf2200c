// image!: pixel series over bitmaps held in the externals registry, their making, text forms,
// comparison, path access and the series actions they support.
#include "datatypes/image.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "datatypes/actions.hpp"
#include "datatypes/binary.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/ownership.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/runtime_words.hpp"
#include "datatypes/scalar_support.hpp"
#include "datatypes/series.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/text_output.hpp"
#include "datatypes/tuple.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/stack.hpp"
#include "runtime/collector.hpp"
#include "runtime/errors.hpp"
#include "runtime/externals.hpp"
#include "runtime/series.hpp"

namespace tav::image {
namespace {

// The record's words.
enum record_word : uint32_t { word_flags = 0, word_size = 3, word_slot = 4 };
constexpr uint32_t record_bytes = 24;

// A collection is due once live bitmaps have grown by this much since the last one, so that
// images that became garbage are freed while a loop makes new ones.
constexpr size_t collection_step = size_t{64} << 20;

uint32_t image_type = 0;
size_t live_bytes = 0;
size_t grown_bytes = 0;
uint32_t collections_seen = 0;

uint32_t* record_of(node_id node) { return reinterpret_cast<uint32_t*>(buffer_of(node)->head()); }

void release_bitmap(void* object) {
  auto* b = static_cast<bitmap*>(object);
  live_bytes -= size_t{b->width} * b->height * 4;
  std::free(b->pixels);
  delete b;
}

void note_growth(size_t bytes) {
  if (memory::state.collections != collections_seen) {
    collections_seen = memory::state.collections;
    grown_bytes = 0;
  }
  if (grown_bytes + bytes > collection_step) {
    memory::run_collector();
    collections_seen = memory::state.collections;
    grown_bytes = 0;
  }
  grown_bytes += bytes;
}

// Keeps the slot of every image record the collector marked, also records that only the
// machine stack reached (those are marked without a value that leads to the marker).
void keep_marked_records() {
  // A registry made since (tests make their own) may number other types the same.
  if (image_type == 0 || image_type > externals::state.type_count ||
      externals::state.types[image_type - 1].release != &release_bitmap)
    return;
  for (int32_t i = externals::state.live_head; i != -1; i = externals::state.slots[i].next) {
    const externals::slot& s = externals::state.slots[i];
    if ((s.type & externals::type_mask) != image_type) continue;
    if (collector::marked_p(static_cast<bitmap*>(s.object)->node)) externals::mark(i, nullptr);
  }
}

// The externals type "image", registered once per registry.
uint32_t registered_type() {
  for (uint32_t t = 1; t <= externals::state.type_count; ++t)
    if (std::strcmp(externals::state.types[t - 1].name, "image") == 0) return t;
  return externals::register_type("image", &release_bitmap);
}

cell empty_image(uint32_t width, uint32_t height) { return cell{TYPE_IMAGE, 0, 0, size_word(width, height)}; }

uint32_t head_of(const cell& image) { return std::min(image.payload1, count_of(image)); }

uint32_t make_pixel(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
  return uint32_t{a} << 24 | uint32_t{r} << 16 | uint32_t{g} << 8 | b;
}

void fill(uint32_t* pixels, size_t n, uint32_t pixel) { std::fill(pixels, pixels + n, pixel); }

void mark_written(const cell& image) {
  if (image.payload2) record_of(image.payload2)[word_flags] |= flag_written;
}

[[gnu::cold, noreturn]] void invalid_arg(const cell& value) { fire(error_id::script_invalid_arg, value); }
[[gnu::cold, noreturn]] void no_memory() { fire(error_id::internal_no_memory); }
[[gnu::cold, noreturn]] void not_done() { fire(error_id::internal_not_done); }

// ---- Text form ------------------------------------------------------------------------------

constexpr char hex_digits[] = "0123456789ABCDEF";

int32_t append_text(cell& out, const char* text, int32_t limit) {
  text::append_c_string(out, text);
  return limit - static_cast<int32_t>(std::strlen(text));
}

int32_t new_line(cell& out, int32_t level, int32_t limit) {
  static constexpr char spaces[] = "                                ";
  text::append_char(out, '\n');
  for (int32_t left = 4 * std::max(level, 0); left > 0; left -= 32)
    text::append_c_part(out, spaces, static_cast<uint32_t>(std::min(left, 32)));
  return limit - 1 - 4 * std::max(level, 0);
}

void hex_byte(char* at, uint32_t byte) {
  at[0] = hex_digits[(byte >> 4) & 15];
  at[1] = hex_digits[byte & 15];
}

// The RGB section from the head; answers the budget left and whether a pixel had transparency.
int32_t mold_rgb(const cell& image, cell& out, bool flat, bool part, int32_t limit, int32_t indent,
                 bool& transparent) {
  const uint32_t n = count_of(image), first = head_of(image), count = n - first;
  const bool lines = !flat && count >= 8;
  limit = append_text(out, " #{", limit);
  if (lines) limit = new_line(out, indent, limit);
  const uint32_t* pixels = pixels_of(image);
  char chunk[60];
  for (uint32_t done = 0; done < count;) {
    const uint32_t take = std::min(count - done, 10 - done % 10);
    for (uint32_t k = 0; k < take; ++k) {
      const uint32_t pixel = pixels[first + done + k];
      if ((pixel >> 24) < 255) transparent = true;
      hex_byte(chunk + 6 * k, pixel >> 16);
      hex_byte(chunk + 6 * k + 2, pixel >> 8);
      hex_byte(chunk + 6 * k + 4, pixel);
    }
    text::append_c_part(out, chunk, 6 * take);
    limit -= static_cast<int32_t>(6 * take);
    done += take;
    if (part && limit <= 0) return limit;
    if (!flat && done % 10 == 0) limit = new_line(out, indent, limit);
  }
  if (lines && count % 10 != 0) limit = new_line(out, indent - 1, limit);
  text::append_char(out, '}');
  return limit - 1;
}

int32_t mold_alpha(const cell& image, cell& out, bool flat, bool part, int32_t limit, int32_t indent) {
  const uint32_t n = count_of(image);
  limit = append_text(out, " #{", limit);
  limit = new_line(out, indent, limit);
  const uint32_t* pixels = pixels_of(image);
  char chunk[20];
  for (uint32_t done = 0; done < n;) {
    const uint32_t take = std::min(n - done, 10 - done % 10);
    for (uint32_t k = 0; k < take; ++k) hex_byte(chunk + 2 * k, 255 - (pixels[done + k] >> 24));
    text::append_c_part(out, chunk, 2 * take);
    limit -= static_cast<int32_t>(2 * take);
    done += take;
    if (part && limit <= 0) return limit;
    if (!flat && done % 10 == 0) limit = new_line(out, indent, limit);
  }
  limit = new_line(out, indent - 1, limit);
  text::append_char(out, '}');
  return limit - 1;
}

// Form and mold share this core; `indent` is the level of the pixel lines.
int32_t mold_image(const cell& image, cell& out, bool only, bool flat, bool part, int32_t limit, int32_t indent) {
  if (!only) limit = append_text(out, "make image! [", limit);
  limit = append_text(out, integer::to_c_string(static_cast<int32_t>(width_of(image))), limit);
  text::append_char(out, 'x');
  limit = append_text(out, integer::to_c_string(static_cast<int32_t>(height_of(image))), limit - 1);
  if (!image.payload2) {
    limit = append_text(out, " #{}", limit);
  } else {
    bool transparent = false;
    limit = mold_rgb(image, out, flat, part, limit, indent, transparent);
    if (part && limit <= 0) return limit;
    if (transparent) limit = mold_alpha(image, out, flat, part, limit, indent);
    if (part && limit <= 0) return limit;
  }
  if (!only) limit = append_text(out, "]", limit);
  return limit;
}

// ---- Regions ------------------------------------------------------------------------------

// The block from (x0, y0) of the given size: a new image, or an empty one when a side is below 1.
cell region(const cell& image, int64_t x0, int64_t y0, int64_t width, int64_t height) {
  if (width < 1 || height < 1) return empty_image(0, 0);
  return copy_region(image, x0, y0, width, height);
}

cell copy_pair_part(const cell& image, const cell& part) {
  const int64_t w = width_of(image), h = height_of(image), n = count_of(image), index = head_of(image);
  const int64_t x = pair::x_of(part), y = pair::y_of(part);
  int64_t x0 = index % w, y0 = index / w;
  if (x >= 1 && y >= 1 && index < n) return region(image, x0, y0, std::min(w - x0, x), std::min(h - y0, y));
  if (x < 0 && y < 0 && index >= 1) {
    if (x0 == 0) x0 = w;
    const int64_t across = std::min(-x, x0), start_x = x0 - across;
    if (y0 < h) y0 += 1;
    const int64_t down = std::min(-y, y0), start_y = y0 - down;
    return region(image, start_x, start_y, across, down);
  }
  return empty_image(0, 0);
}

// The rectangle spanned by two positions of one image, the far row and column left out.
cell copy_between(const cell& image, const cell& other) {
  const int64_t w = width_of(image);
  const int64_t a = head_of(image), b = head_of(other);
  const int64_t x1 = std::min(a % w, b % w), x2 = std::max(a % w, b % w);
  const int64_t y1 = std::min(a / w, b / w), y2 = std::max(a / w, b / w);
  return region(image, x1, y1, x2 - x1, y2 - y1);
}

// ---- Path words ---------------------------------------------------------------------------

enum path_word { other_word, size_field, argb_field, rgb_field, alpha_field };

path_word path_word_of(const cell& element) {
  if (!plain_word_p(element.type())) return other_word;
  const uint32_t symbol = symbol::resolve(word::symbol_of(element));
  if (symbol == symbol::resolve(symbols::size)) return size_field;
  if (symbol == symbol::resolve(symbols::argb)) return argb_field;
  if (symbol == symbol::resolve(symbols::rgb)) return rgb_field;
  if (symbol == symbol::resolve(symbols::alpha)) return alpha_field;
  return other_word;
}

cell* pick_at(const cell& image, const cell& index_cell) {
  bool out = false;
  const uint32_t at = index_of(image, index_cell, 1, &out);
  return stack::push_copy(out ? none::value : get_pixel(image, at));
}

void poke_at(const cell& image, const cell& index_cell, const cell& colour) {
  bool out = false;
  const uint32_t at = index_of(image, index_cell, 1, &out);
  if (out) fire(error_id::script_out_of_range, index_cell);
  if (colour.type() != TYPE_TUPLE) invalid_arg(colour);
  pixels_of(image)[at] = pixel_from_tuple(colour);
  mark_written(image);
  ownership::check(image, words::poke, colour, static_cast<int32_t>(at), 1);
}

// Copies the source image into the target from the target's head, as a block.
void paste(cell& target, const cell& source) {
  const uint32_t w = width_of(target), h = height_of(target), n = count_of(target);
  const uint32_t index = head_of(target);
  if (index >= n || !source.payload2) return;
  const uint32_t x0 = index % w, y0 = index / w;
  const uint32_t sw = width_of(source), sh = height_of(source);
  const uint32_t across = std::min(sw, w - x0), down = std::min(sh, h - y0);
  uint32_t* to = pixels_of(target);
  const uint32_t* from = pixels_of(source);
  for (uint32_t row = 0; row < down; ++row)
    std::memmove(to + size_t{y0 + row} * w + x0, from + size_t{row} * sw, size_t{across} * 4);
  mark_written(target);
  const uint32_t after = y0 + down;
  series::set_head(target, static_cast<int32_t>((after - 1) * w + std::min(x0 + sw, w)));
}

}  // namespace

bitmap* bitmap_of(const cell& image) {
  if (!image.payload2) return nullptr;
  const auto slot = static_cast<int32_t>(record_of(image.payload2)[word_slot]);
  return static_cast<bitmap*>(externals::state.slots[slot].object);
}

uint32_t pixel_from_tuple(const cell& colour) {
  const uint8_t* bytes = tuple::bytes_of(colour);
  const uint8_t a = tuple::length_of(colour) > 3 ? static_cast<uint8_t>(255 - bytes[3]) : 255;
  return make_pixel(bytes[0], bytes[1], bytes[2], a);
}

cell tuple_from_pixel(uint32_t pixel) {
  const uint8_t bytes[4] = {static_cast<uint8_t>(pixel >> 16), static_cast<uint8_t>(pixel >> 8),
                            static_cast<uint8_t>(pixel), static_cast<uint8_t>(255 - (pixel >> 24))};
  cell result{};
  tuple::make_at(result, 4, bytes);
  return result;
}

size_t live_bitmap_bytes() { return live_bytes; }
uint32_t external_type() { return image_type; }

node_id make_node(uint32_t width, uint32_t height) {
  auto* pixels = static_cast<uint32_t*>(std::malloc(size_t{width} * height * 4));
  if (!pixels) no_memory();
  return adopt_node(width, height, pixels);
}

node_id adopt_node(uint32_t width, uint32_t height, uint32_t* pixels) {
  struct owned {
    uint32_t* pixels;
    ~owned() { std::free(pixels); }
  } guard{pixels};
  const size_t bytes = size_t{width} * height * 4;
  note_growth(bytes);
  const node_id node = alloc_bytes(record_bytes);
  series_buffer* record = buffer_of(node);
  std::memset(record->head(), 0, record_bytes);
  record->tail = record->offset + record_bytes;
  auto* b = new bitmap{width, height, node, pixels};
  guard.pixels = nullptr;
  live_bytes += bytes;
  const int32_t slot = externals::store(b, image_type);
  uint32_t* words = record_of(node);
  words[word_flags] = flag_current | flag_written;
  words[word_size] = size_word(width, height);
  words[word_slot] = static_cast<uint32_t>(slot);
  return node;
}

void check_size(int64_t width, int64_t height, const cell& spec) {
  width = std::max<int64_t>(width, 0);
  height = std::max<int64_t>(height, 0);
  if (width > max_side || height > max_side) invalid_arg(spec);
  if (static_cast<uint64_t>(width * height) > max_pixels) no_memory();
}

cell make_image(uint32_t width, uint32_t height, const cell* rgb, const cell* alpha, const cell* colour) {
  if (width == 0 || height == 0) return empty_image(width, height);
  const node_id node = make_node(width, height);
  uint32_t* pixels = bitmap_of(make_at(node))->pixels;
  const size_t n = size_t{width} * height;
  if (colour) {
    fill(pixels, n, pixel_from_tuple(*colour));
  } else {
    const uint32_t rgb_length = rgb ? binary::ts_length_p(*rgb) / 3 : 0;
    const uint32_t alpha_length = alpha ? binary::ts_length_p(*alpha) : 0;
    const uint8_t* rgb_bytes = rgb_length ? binary::ts_head(*rgb) : nullptr;
    const uint8_t* alpha_bytes = alpha_length ? binary::ts_head(*alpha) : nullptr;
    for (size_t i = 0; i < n; ++i) {
      const uint8_t* triple = i < rgb_length ? rgb_bytes + 3 * i : nullptr;
      const uint8_t a = i < alpha_length ? static_cast<uint8_t>(255 - alpha_bytes[i]) : 255;
      pixels[i] = triple ? make_pixel(triple[0], triple[1], triple[2], a) : make_pixel(255, 255, 255, a);
    }
  }
  return make_at(node);
}

void mark(const cell& image) {
  if (image.payload2) externals::mark(static_cast<int32_t>(record_of(image.payload2)[word_slot]), nullptr);
}

cell make_at(node_id node) {
  if (!node) return empty_image(0, 0);
  return cell{TYPE_IMAGE, 0, node, record_of(node)[word_size]};
}

cell get_pixel(const cell& image, uint32_t offset) {
  if (offset >= count_of(image)) return none::value;
  return tuple_from_pixel(pixels_of(image)[offset]);
}

uint32_t index_of(const cell& image, const cell& value, int32_t base, bool* out_of_range) {
  const int64_t w = width_of(image), h = height_of(image), n = count_of(image);
  int64_t e = 0;
  bool outside = false;
  if (value.type() == TYPE_PAIR) {
    const int64_t x = pair::x_of(value), y = pair::y_of(value);
    e = base == 1 && y > 0 ? x + w * (y - 1) : x + w * y;
    outside = base == 1 ? (x > w || x <= 0 || y > h || y <= 0) : (x >= w || x < 0 || y >= h || y < 0);
  } else if (value.type() == TYPE_INTEGER) {
    e = scalar::integer_value(value);
  } else {
    e = actions::get_index_arg(value);
  }
  int64_t a = e + int64_t{image.payload1} - base;
  if (base == 1 && e <= 0) a += 1;
  if (out_of_range) *out_of_range = e == 0 || a < 0 || a >= n || outside;
  return static_cast<uint32_t>(std::clamp<int64_t>(a, 0, n));
}

cell* extract_data(const cell& image, data_kind kind) {
  const size_t n = count_of(image);
  const size_t size = kind == argb ? 4 * n : kind == rgb ? 3 * n : n;
  if (size > max_series_size) no_memory();
  const node_id node = alloc_bytes(static_cast<uint32_t>(size));
  series_buffer* b = buffer_of(node);
  uint8_t* out = b->head();
  const uint32_t* pixels = n ? pixels_of(image) : nullptr;
  if (kind == argb && n) {
    std::memcpy(out, pixels, size);
  } else if (kind == rgb) {
    for (size_t i = 0; i < n; ++i) {
      out[3 * i] = static_cast<uint8_t>(pixels[i] >> 16);
      out[3 * i + 1] = static_cast<uint8_t>(pixels[i] >> 8);
      out[3 * i + 2] = static_cast<uint8_t>(pixels[i]);
    }
  } else if (kind == alpha) {
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(255 - (pixels[i] >> 24));
  }
  b->tail = b->offset + static_cast<uint32_t>(size);
  return stack::push_copy(binary::make_cell(node));
}

void set_data(const cell& image, const cell& value, data_kind kind) {
  const size_t n = count_of(image);
  if (n == 0) return;
  uint32_t* pixels = pixels_of(image);
  if (value.type() == TYPE_BINARY) {
    const size_t length = binary::ts_length_p(value);
    const uint8_t* bytes = binary::ts_head(value);
    if (kind == argb) {
      std::memcpy(pixels, bytes, std::min(4 * n, length));
    } else if (kind == rgb) {
      for (size_t i = 0, m = std::min(n, length / 3); i < m; ++i)
        pixels[i] = (pixels[i] & 0xFF000000) | make_pixel(bytes[3 * i], bytes[3 * i + 1], bytes[3 * i + 2], 0);
    } else {
      for (size_t i = 0, m = std::min(n, length); i < m; ++i)
        pixels[i] = (pixels[i] & 0x00FFFFFF) | uint32_t{static_cast<uint8_t>(255 - bytes[i])} << 24;
    }
  } else if (value.type() == TYPE_TUPLE || value.type() == TYPE_INTEGER) {
    uint8_t c[4] = {};
    if (value.type() == TYPE_TUPLE) {
      std::memcpy(c, tuple::bytes_of(value), 4);
      if (tuple::length_of(value) <= 3) c[3] = 0;
    } else {
      std::memcpy(c, &value.payload2, 4);
    }
    const uint32_t colour = make_pixel(c[0], c[1], c[2], static_cast<uint8_t>(255 - c[3]));
    if (kind == argb) {
      fill(pixels, n, colour);
    } else if (kind == rgb) {
      for (size_t i = 0; i < n; ++i) pixels[i] = (pixels[i] & 0xFF000000) | (colour & 0x00FFFFFF);
    } else {
      const uint32_t a = uint32_t{static_cast<uint8_t>(255 - c[0])} << 24;
      for (size_t i = 0; i < n; ++i) pixels[i] = (pixels[i] & 0x00FFFFFF) | a;
    }
  } else {
    invalid_arg(value);
  }
  mark_written(image);
  ownership::check(image, words::poke, value, static_cast<int32_t>(head_of(image)), -1);
}

int32_t signature_format(const uint8_t* p, size_t length) {
  auto starts = [&](const char* signature, size_t count) {
    return length >= count && std::memcmp(p, signature, count) == 0;
  };
  if (starts("\x89PNG", 4)) return 1;
  if (starts("\xFF\xD8\xFF", 3)) return 3;
  if (starts("BM", 2)) return 0;
  if (starts("GIF8", 4) && length >= 6 && (p[4] == '7' || p[4] == '9') && p[5] == 'a') return 2;
  if (starts("II*\0", 4) || starts("MM\0*", 4)) return 4;
  return -1;
}

bool known_format_p(const cell& binary) {
  return signature_format(binary::ts_head(binary), binary::ts_length_p(binary)) >= 0;
}

cell* resize(const cell& image, uint32_t width, uint32_t height) {
  cell* result = stack::push_copy(empty_image(width, height));
  if (width == 0 || height == 0 || !image.payload2) return result;
  check_size(width, height, *result);
  const node_id node = make_node(width, height);
  uint32_t* to = bitmap_of(make_at(node))->pixels;
  const uint32_t* from = pixels_of(image);
  const uint64_t sw = width_of(image), sh = height_of(image);
  for (uint64_t dy = 0; dy < height; ++dy) {
    const uint32_t* row = from + (dy * sh / height) * sw;
    for (uint64_t dx = 0; dx < width; ++dx) *to++ = row[dx * sw / width];
  }
  *result = make_at(node);
  return result;
}

cell copy_region(const cell& image, int64_t x, int64_t y, int64_t width, int64_t height) {
  const int64_t w = width_of(image), h = height_of(image);
  x = std::clamp<int64_t>(x, 0, w);
  y = std::clamp<int64_t>(y, 0, h);
  width = std::clamp<int64_t>(width, 0, w - x);
  height = std::clamp<int64_t>(height, 0, h - y);
  if (width == 0 || height == 0 || !image.payload2) return empty_image(0, 0);
  // The source stays on the argument stack while the new bitmap is made.
  cell* source = stack::push_copy(image);
  const node_id node = make_node(static_cast<uint32_t>(width), static_cast<uint32_t>(height));
  uint32_t* to = bitmap_of(make_at(node))->pixels;
  const uint32_t* from = pixels_of(*source);
  for (int64_t row = 0; row < height; ++row)
    std::memcpy(to + row * width, from + (y + row) * w + x, static_cast<size_t>(width) * 4);
  stack::pop_cells(1);
  return make_at(node);
}

// ---- Handlers -----------------------------------------------------------------------------

cell* make(cell* prototype, cell* spec, int32_t type) {
  const cell given = *spec;
  if (given.type() == TYPE_PAIR) {
    check_size(pair::x_of(given), pair::y_of(given), given);
    return stack::push_copy(make_image(static_cast<uint32_t>(std::max(pair::x_of(given), 0)),
                                       static_cast<uint32_t>(std::max(pair::y_of(given), 0)), nullptr, nullptr,
                                       nullptr));
  }
  if (given.type() != TYPE_BLOCK) return to(prototype, spec, type);
  series_buffer* b = buffer_of(given.payload2);
  const uint32_t total = b->count(), head = std::min(given.payload1, total);
  const cell* items = b->cells() + head;
  const uint32_t count = total - head;
  if (count == 0) {
    if (prototype->type() == TYPE_IMAGE) return copy(prototype, stack::push_copy(none::value), nullptr, false, nullptr);
    invalid_arg(given);
  }
  cell size = items[0];
  if (size.type() != TYPE_PAIR) invalid_arg(given);
  cell* data = count > 1 ? stack::push_copy(items[1]) : nullptr;
  cell* alpha_data = count > 2 ? stack::push_copy(items[2]) : nullptr;
  if (data && data->type() != TYPE_BINARY && data->type() != TYPE_TUPLE) invalid_arg(given);
  if (alpha_data && alpha_data->type() != TYPE_BINARY) invalid_arg(given);
  check_size(pair::x_of(size), pair::y_of(size), given);
  const bool colour = data && data->type() == TYPE_TUPLE;
  const cell made = make_image(static_cast<uint32_t>(std::max(pair::x_of(size), 0)),
                               static_cast<uint32_t>(std::max(pair::y_of(size), 0)), colour ? nullptr : data,
                               alpha_data, colour ? data : nullptr);
  return stack::push_copy(made);
}

cell* to(cell*, cell* spec, int32_t) {
  if (spec->type() == TYPE_IMAGE) return copy(spec, stack::push_copy(none::value), nullptr, false, nullptr);
  if (spec->type() == TYPE_OBJECT && face_p_hook && capture_hook && face_p_hook(*spec)) {
    cell* result = stack::push_copy(none::value);
    if (capture_hook(*spec, *result) && result->type() == TYPE_IMAGE) return result;
  }
  fire(error_id::script_bad_to_arg, scalar_support::datatype_of(TYPE_IMAGE), *spec);
}

int32_t form(cell* value, cell* buffer, cell* part, int32_t limit) {
  return mold_image(*value, *buffer, false, false, part != nullptr, limit, 1);
}

int32_t mold(cell* value, cell* buffer, bool only, bool, bool flat, cell* part, int32_t limit, int32_t indent) {
  return mold_image(*value, *buffer, only, flat, part != nullptr, limit, indent + 1);
}

cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell*, cell*, int32_t, bool, bool, bool,
                bool) {
  const cell image = *parent;
  if (element->type() == TYPE_INTEGER || element->type() == TYPE_PAIR) {
    if (!value) return pick_at(image, *element);
    poke_at(image, *element, *value);
    return value;
  }
  const path_word field = path_word_of(*element);
  if (field == other_word || (field == size_field && value))
    fire(error_id::script_invalid_path, scalar_support::path_or_none(path), *element);
  if (field == size_field)
    return pair::push(static_cast<int32_t>(width_of(image)), static_cast<int32_t>(height_of(image)));
  const data_kind kind = field == argb_field ? argb : field == rgb_field ? rgb : alpha;
  if (!value) return extract_data(image, kind);
  set_data(image, *value, kind);
  return value;
}

int32_t compare(cell* value1, cell* value2, int32_t op) {
  if (value2->type() != TYPE_IMAGE) return actions::not_comparable;
  const cell& a = *value1;
  const cell& b = *value2;
  if (a.payload2 == b.payload2 && a.payload1 == b.payload1) {
    if (op == actions::op::same) return 0;
    if (op <= actions::op::strict_equal) return 0;
  }
  if (op == actions::op::same) return -1;
  const bool ordered = op <= actions::op::strict_equal || op == actions::op::sort || op == actions::op::case_sort ||
                       op == actions::op::find;
  if (!ordered) return actions::not_comparable;
  const uint32_t na = count_of(a), nb = count_of(b);
  if (na != nb) return na < nb ? -1 : 1;
  if (na == 0 || !a.payload2 || !b.payload2) return 0;
  const int d = std::memcmp(pixels_of(a), pixels_of(b), size_t{na} * 4);
  return d < 0 ? -1 : d > 0 ? 1 : 0;
}

cell* at() {
  cell* image = stack::argument(0);
  image->payload1 = index_of(*image, *stack::argument(1), 1, nullptr);
  return image;
}

cell* change(cell* series, cell* value, int32_t part, bool, int32_t dup) {
  if (dup >= 2 || part >= 0) not_done();
  cell target = *series;
  const cell source = *value;
  if (source.type() == TYPE_TUPLE) {
    poke_at(target, scalar::integer(1), source);
    series->payload1 = std::min(head_of(target) + 1, count_of(target));
    return series;
  }
  if (source.type() != TYPE_IMAGE) fire(error_id::script_invalid_type, scalar_support::datatype_of(source.type()));
  if (head_of(target) >= count_of(target)) return series;
  const bool owned = ownership::check(target, words::change, source, static_cast<int32_t>(head_of(target)), -1);
  paste(target, source);
  if (owned) ownership::check(target, words::changed, source, static_cast<int32_t>(head_of(*series)), -1);
  series->payload1 = target.payload1;
  return series;
}

cell* copy(cell* value, cell* result, cell* part, bool, cell*) {
  const cell image = *value;
  const uint32_t w = width_of(image), h = height_of(image);
  if (w == 0 || h == 0 || !image.payload2) {
    *result = empty_image(0, 0);
    return result;
  }
  const uint32_t index = head_of(image);
  if (!part) {
    *result = region(image, index % w, index / w, w - index % w, static_cast<int64_t>(h) - index / w);
    return result;
  }
  const cell limit = *part;
  if (limit.type() == TYPE_INTEGER) not_done();
  if (limit.type() == TYPE_PAIR) {
    *result = copy_pair_part(image, limit);
    return result;
  }
  if (limit.type() != TYPE_IMAGE || limit.payload2 != image.payload2) series::invalid_refine_arg("part", limit);
  *result = copy_between(image, limit);
  return result;
}

int32_t length_p(cell* series) { return static_cast<int32_t>(count_of(*series)); }

cell* next() {
  cell* image = stack::argument(0);
  if (int64_t{image->payload1} + 1 <= count_of(*image)) image->payload1 += 1;
  return image;
}

cell* pick(cell* series, int32_t index, cell* index_cell) {
  return pick_at(*series, index_cell ? *index_cell : scalar::integer(index));
}

cell* poke(cell* series, int32_t index, cell* value, cell* index_cell) {
  poke_at(*series, index_cell ? *index_cell : scalar::integer(index), *value);
  return value;
}

cell* skip() {
  cell* image = stack::argument(0);
  image->payload1 = index_of(*image, *stack::argument(1), 0, nullptr);
  return image;
}

cell* tail() {
  cell* image = stack::argument(0);
  image->payload1 = count_of(*image);
  return image;
}

cell* tail_p() {
  cell* image = stack::argument(0);
  return stack::set_last(logic::value_of(image->payload1 >= count_of(*image)));
}

void init() {
  datatype::register_type(TYPE_IMAGE, datatype::actions_row(
      // make random reflect to form mold eval-path set-path compare
      &make, unsupported, unsupported, &to, &form, &mold, &eval_path, unsupported, &compare,
      // absolute add divide multiply negate power remainder round subtract
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported,
      // even? odd? and~ complement or~ xor~
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      // append at back change clear copy find head head? index? insert length? move next
      unsupported, &at, inherit, &change, unsupported, &copy, unsupported, inherit, inherit, inherit, unsupported,
      &length_p, unsupported, &next,
      // pick poke put remove reverse select sort skip swap tail tail? take trim
      &pick, &poke, unsupported, unsupported, unsupported, unsupported, unsupported, &skip, unsupported, &tail,
      &tail_p, unsupported, unsupported,
      // create close delete modify open open? query read rename update write
      unsupported, unsupported, unsupported, inherit, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported));
  image_type = registered_type();
  collector::set_image_marker(&mark);
  static bool swept = false;
  if (!swept) collector::register_sweep(&keep_marked_records);
  swept = true;
}

}  // namespace tav::image
