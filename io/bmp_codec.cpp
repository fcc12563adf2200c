// BMP, our own: the file header with an OS/2 core, INFO, V4 or V5 header; 1, 4, 8, 16, 24 and
// 32 bits; BI_RGB, BI_BITFIELDS, RLE4 and RLE8; rows top-down or bottom-up. Written as 32 bits
// with a V4 header and an alpha mask, bottom-up.
#include <algorithm>
#include <bit>
#include <cstring>

#include "io/image_codecs.hpp"

namespace tav::image_codecs {
namespace {

enum compression : uint32_t { bi_rgb = 0, bi_rle8 = 1, bi_rle4 = 2, bi_bitfields = 3, bi_alphabitfields = 6 };

constexpr size_t file_header_bytes = 14;
constexpr uint32_t core_header_bytes = 12, info_header_bytes = 40, v4_header_bytes = 108;

uint16_t u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t u32(const uint8_t* p) { return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24; }

// One channel of a bit-field pixel, scaled to 8 bits.
struct field {
  uint32_t mask = 0;
  int shift = 0;
  uint32_t top = 0;  // the largest value the field holds
  void set(uint32_t m) {
    mask = m;
    shift = m ? std::countr_zero(m) : 0;
    top = m >> shift;
  }
  uint32_t of(uint32_t pixel, uint32_t absent) const {
    if (!mask) return absent;
    return static_cast<uint32_t>((uint64_t{(pixel & mask) >> shift} * 255 + top / 2) / top);
  }
};

struct header {
  int64_t width = 0;
  int64_t height = 0;  // negative: rows top-down
  uint32_t bits = 0;
  uint32_t method = bi_rgb;
  uint32_t colours_used = 0;
  field red, green, blue, alpha;
  bool masks = false;  // bit fields were given
  const uint8_t* palette = nullptr;
  uint32_t palette_entries = 0;
  uint32_t entry_bytes = 4;
};

bool read_header(const uint8_t* data, size_t length, header& h) {
  if (length < file_header_bytes + 4) return false;
  const uint32_t size = u32(data + file_header_bytes);
  const uint8_t* p = data + file_header_bytes;
  if (size < core_header_bytes || size > length - file_header_bytes) return false;
  if (size == core_header_bytes) {
    h.width = u16(p + 4);
    h.height = u16(p + 6);
    h.bits = u16(p + 10);
    h.entry_bytes = 3;
  } else {
    if (size < info_header_bytes) return false;
    h.width = static_cast<int32_t>(u32(p + 4));
    h.height = static_cast<int32_t>(u32(p + 8));
    h.bits = u16(p + 14);
    h.method = u32(p + 16);
    h.colours_used = u32(p + 32);
    if (h.method == bi_bitfields || h.method == bi_alphabitfields) {
      // The masks end an INFO header's own bytes or follow it.
      const size_t count = h.method == bi_alphabitfields || size >= 56 ? 4 : 3;
      if (file_header_bytes + info_header_bytes + 4 * count > length) return false;
      const uint8_t* m = p + info_header_bytes;
      h.red.set(u32(m));
      h.green.set(u32(m + 4));
      h.blue.set(u32(m + 8));
      if (count == 4) h.alpha.set(u32(m + 12));
      h.masks = true;
    }
  }
  size_t palette_at = file_header_bytes + size;
  if (size == info_header_bytes && h.masks) palette_at += h.method == bi_alphabitfields ? 16 : 12;
  if (h.bits <= 8) {
    const uint32_t most = 1u << h.bits;
    h.palette_entries = h.colours_used && h.colours_used < most ? h.colours_used : most;
    const size_t room = palette_at <= length ? (length - palette_at) / h.entry_bytes : 0;
    h.palette_entries = static_cast<uint32_t>(std::min<size_t>(h.palette_entries, room));
    h.palette = data + std::min(palette_at, length);
  }
  return true;
}

bool valid_masks_p(const header& h) {
  for (const field* f : {&h.red, &h.green, &h.blue, &h.alpha}) {
    if (f->mask && (f->top & (f->top + 1)) != 0) return false;  // not one run of bits
    if (h.bits == 16 && f->mask > 0xFFFF) return false;
  }
  return true;
}

uint32_t palette_colour(const header& h, uint32_t index) {
  if (index >= h.palette_entries) return 0xFF000000u;
  const uint8_t* e = h.palette + size_t{index} * h.entry_bytes;
  return 0xFF000000u | uint32_t{e[2]} << 16 | uint32_t{e[1]} << 8 | e[0];
}

uint32_t* row_of(const header& h, picture& out, uint32_t stored_row) {
  const uint32_t y = h.height < 0 ? stored_row : out.height - 1 - stored_row;
  return out.pixels + size_t{y} * out.width;
}

bool read_rows(const uint8_t* bits, size_t available, const header& h, picture& out) {
  const size_t stride = (size_t{out.width} * h.bits + 31) / 32 * 4;
  if (stride * out.height > available) return false;
  bool any_alpha = false;
  for (uint32_t r = 0; r < out.height; ++r) {
    const uint8_t* from = bits + stride * r;
    uint32_t* to = row_of(h, out, r);
    for (uint32_t x = 0; x < out.width; ++x) {
      switch (h.bits) {
        case 1: to[x] = palette_colour(h, (from[x / 8] >> (7 - x % 8)) & 1); break;
        case 4: to[x] = palette_colour(h, (from[x / 2] >> (x % 2 ? 0 : 4)) & 0xF); break;
        case 8: to[x] = palette_colour(h, from[x]); break;
        case 24: to[x] = 0xFF000000u | uint32_t{from[3 * x + 2]} << 16 | uint32_t{from[3 * x + 1]} << 8 | from[3 * x]; break;
        case 16:
        case 32: {
          const uint32_t v = h.bits == 16 ? u16(from + 2 * x) : u32(from + 4 * x);
          if (h.masks) {
            to[x] = h.alpha.of(v, 255) << 24 | h.red.of(v, 0) << 16 | h.green.of(v, 0) << 8 | h.blue.of(v, 0);
          } else if (h.bits == 16) {  // 5 bits each
            auto five = [](uint32_t c) { return (c * 255 + 15) / 31; };
            to[x] = 0xFF000000u | five(v >> 10 & 31) << 16 | five(v >> 5 & 31) << 8 | five(v & 31);
          } else {
            to[x] = v;
            any_alpha |= (v >> 24) != 0;
          }
          break;
        }
      }
    }
  }
  // A 32-bit BI_RGB file whose fourth bytes are all 0 did not mean them as alpha.
  if (h.bits == 32 && !h.masks && !any_alpha)
    for (size_t i = 0; i < size_t{out.width} * out.height; ++i) out.pixels[i] |= 0xFF000000u;
  return true;
}

// Run-length rows, bottom-up; the stream must reach its end-of-bitmap mark.
bool read_rle(const uint8_t* p, size_t available, const header& h, picture& out) {
  const uint32_t background = palette_colour(h, 0);
  std::fill(out.pixels, out.pixels + size_t{out.width} * out.height, background);
  const bool four = h.method == bi_rle4;
  uint32_t x = 0, r = 0;
  size_t i = 0;
  auto put = [&](uint32_t index) {
    if (x < out.width && r < out.height) row_of(h, out, r)[x] = palette_colour(h, index);
    ++x;
  };
  while (i + 2 <= available) {
    const uint32_t count = p[i], value = p[i + 1];
    i += 2;
    if (count) {
      for (uint32_t k = 0; k < count; ++k) put(four ? (k % 2 ? value & 0xF : value >> 4) : value);
    } else if (value == 0) {
      x = 0, ++r;
    } else if (value == 1) {
      return true;
    } else if (value == 2) {
      if (i + 2 > available) return false;
      x += p[i], r += p[i + 1];
      i += 2;
    } else {
      const size_t bytes = four ? (value + 1) / 2 : value;
      if (i + bytes > available) return false;
      for (uint32_t k = 0; k < value; ++k) put(four ? (k % 2 ? p[i + k / 2] & 0xF : p[i + k / 2] >> 4) : p[i + k]);
      i += (bytes + 1) & ~size_t{1};
    }
    if (r > out.height) return false;
  }
  return false;
}

void put16(uint8_t* p, uint32_t v) { p[0] = static_cast<uint8_t>(v), p[1] = static_cast<uint8_t>(v >> 8); }
void put32(uint8_t* p, uint32_t v) { put16(p, v), put16(p + 2, v >> 16); }

}  // namespace

bool decode_bmp(const uint8_t* data, size_t length, picture& out) {
  header h;
  if (!read_header(data, length, h)) return false;
  const bool rle = h.method == bi_rle8 || h.method == bi_rle4;
  const bool bits_ok = rle ? (h.bits == 8 && h.method == bi_rle8) || (h.bits == 4 && h.method == bi_rle4)
                       : h.masks ? (h.bits == 16 || h.bits == 32) && valid_masks_p(h)
                       : h.method == bi_rgb && (h.bits == 1 || h.bits == 4 || h.bits == 8 || h.bits == 16 ||
                                                h.bits == 24 || h.bits == 32);
  if (!bits_ok || (rle && h.height < 0) || (h.bits <= 8 && h.palette_entries == 0)) return false;
  const uint32_t offset = u32(data + 10);
  if (offset >= length || !allocate(out, static_cast<uint64_t>(h.width), static_cast<uint64_t>(std::abs(h.height))))
    return false;
  return rle ? read_rle(data + offset, length - offset, h, out) : read_rows(data + offset, length - offset, h, out);
}

bool encode_bmp(const uint32_t* pixels, uint32_t width, uint32_t height, output& out) {
  const size_t offset = file_header_bytes + v4_header_bytes;
  const size_t image_bytes = size_t{width} * height * 4;
  if (!out.reserve(offset + image_bytes)) return false;
  uint8_t head[offset] = {};
  head[0] = 'B', head[1] = 'M';
  put32(head + 2, static_cast<uint32_t>(offset + image_bytes));
  put32(head + 10, offset);
  uint8_t* v4 = head + file_header_bytes;
  put32(v4, v4_header_bytes);
  put32(v4 + 4, width);
  put32(v4 + 8, height);
  put16(v4 + 12, 1);
  put16(v4 + 14, 32);
  put32(v4 + 16, bi_bitfields);
  put32(v4 + 20, static_cast<uint32_t>(image_bytes));
  put32(v4 + 24, 2835), put32(v4 + 28, 2835);  // 72 dots per inch
  put32(v4 + 40, 0x00FF0000u), put32(v4 + 44, 0x0000FF00u), put32(v4 + 48, 0x000000FFu), put32(v4 + 52, 0xFF000000u);
  put32(v4 + 56, 0x73524742u);  // 'sRGB'
  out.append(head, offset);
  for (uint32_t y = height; y-- > 0;) out.append(pixels + size_t{y} * width, size_t{width} * 4);
  return true;
}

}  // namespace tav::image_codecs
