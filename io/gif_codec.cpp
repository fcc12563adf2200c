// GIF through giflib over memory callbacks: the first frame at its own size in, one frame out
// with an exact palette when the colours fit, else one our median cut makes.
#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "io/image_codecs.hpp"

namespace tav::image_codecs {
namespace {

struct reader {
  const uint8_t* data;
  size_t length;
  size_t position;
};

int read_bytes(GifFileType* gif, GifByteType* to, int count) {
  auto* r = static_cast<reader*>(gif->UserData);
  const size_t n = std::min<size_t>(static_cast<size_t>(count), r->length - r->position);
  std::memcpy(to, r->data + r->position, n);
  r->position += n;
  return static_cast<int>(n);
}

// The transparent index of a graphic control block, or -1; the block's sub-blocks are skipped.
bool read_extension(GifFileType* gif, int& transparent) {
  int code = 0;
  GifByteType* block = nullptr;
  if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return false;
  if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4) transparent = (block[1] & 1) ? block[4] : -1;
  while (block)
    if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return false;
  return true;
}

bool read_frame(GifFileType* gif, int transparent, picture& out) {
  if (DGifGetImageDesc(gif) == GIF_ERROR) return false;
  const GifImageDesc& frame = gif->Image;
  const ColorMapObject* map = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
  if (!map || frame.Width <= 0 || frame.Height <= 0 || !allocate(out, frame.Width, frame.Height)) return false;
  std::array<uint32_t, 256> colours{};  // indexes past the map read as opaque black
  colours.fill(0xFF000000u);
  for (int i = 0; i < std::min(map->ColorCount, 256); ++i) {
    const GifColorType& c = map->Colors[i];
    colours[i] = 0xFF000000u | uint32_t{c.Red} << 16 | uint32_t{c.Green} << 8 | c.Blue;
  }
  if (transparent >= 0) colours[transparent] &= 0x00FFFFFFu;
  std::vector<GifPixelType> line(out.width);
  static constexpr int starts[] = {0, 4, 2, 1}, steps[] = {8, 8, 4, 2};
  const int passes = frame.Interlace ? 4 : 1;
  for (int pass = 0; pass < passes; ++pass) {
    const int first = frame.Interlace ? starts[pass] : 0, step = frame.Interlace ? steps[pass] : 1;
    for (uint32_t y = first; y < out.height; y += step) {
      if (DGifGetLine(gif, line.data(), static_cast<int>(out.width)) == GIF_ERROR) return false;
      uint32_t* row = out.pixels + size_t{y} * out.width;
      for (uint32_t x = 0; x < out.width; ++x) row[x] = colours[line[x]];
    }
  }
  return true;
}

bool read_first_frame(GifFileType* gif, picture& out) {
  int transparent = -1;
  for (;;) {
    GifRecordType type;
    if (DGifGetRecordType(gif, &type) == GIF_ERROR) return false;
    if (type == IMAGE_DESC_RECORD_TYPE) return read_frame(gif, transparent, out);
    if (type != EXTENSION_RECORD_TYPE || !read_extension(gif, transparent)) return false;
  }
}

// ---- Palettes -------------------------------------------------------------------------------

constexpr uint32_t palette_limit = 255;

struct colour_count {
  uint32_t rgb;
  uint32_t count;
};

uint32_t channel(uint32_t rgb, int c) { return (rgb >> (16 - 8 * c)) & 0xFF; }

struct box {
  uint32_t begin, end;  // entries of the histogram
  uint64_t pixels;
  int axis;        // the channel with the widest range
  uint32_t range;  // of that channel
};

box measure(const std::vector<colour_count>& entries, uint32_t begin, uint32_t end) {
  uint32_t low[3] = {255, 255, 255}, high[3] = {0, 0, 0};
  uint64_t pixels = 0;
  for (uint32_t i = begin; i < end; ++i) {
    pixels += entries[i].count;
    for (int c = 0; c < 3; ++c) {
      low[c] = std::min(low[c], channel(entries[i].rgb, c));
      high[c] = std::max(high[c], channel(entries[i].rgb, c));
    }
  }
  box b{begin, end, pixels, 0, 0};
  for (int c = 0; c < 3; ++c)
    if (high[c] - low[c] > b.range) b.range = high[c] - low[c], b.axis = c;
  return b;
}

// Splits the box of the widest range at its pixels' median until there are `limit` boxes;
// answers the boxes, each entry of the histogram belonging to one.
std::vector<box> median_cut(std::vector<colour_count>& entries, uint32_t limit) {
  std::vector<box> boxes{measure(entries, 0, static_cast<uint32_t>(entries.size()))};
  while (boxes.size() < limit) {
    auto widest = std::max_element(boxes.begin(), boxes.end(), [](const box& a, const box& b) {
      return a.range != b.range ? a.range < b.range : a.pixels < b.pixels;
    });
    if (widest->range == 0) break;
    const box b = *widest;
    std::sort(entries.begin() + b.begin, entries.begin() + b.end, [&](const colour_count& x, const colour_count& y) {
      return channel(x.rgb, b.axis) < channel(y.rgb, b.axis);
    });
    uint64_t seen = 0;
    uint32_t cut = b.begin + 1;
    for (uint32_t i = b.begin; i < b.end - 1; ++i) {
      seen += entries[i].count;
      cut = i + 1;
      if (seen * 2 >= b.pixels) break;
    }
    *widest = measure(entries, b.begin, cut);
    boxes.push_back(measure(entries, cut, b.end));
  }
  return boxes;
}

struct palette {
  std::vector<uint32_t> colours;
  std::unordered_map<uint32_t, uint8_t> index_of;  // of every opaque colour of the picture
  int transparent = -1;
};

void build_palette(const uint32_t* pixels, size_t n, palette& p) {
  std::unordered_map<uint32_t, uint32_t> histogram;
  bool transparent = false;
  for (size_t i = 0; i < n; ++i) {
    if ((pixels[i] >> 24) < 128)
      transparent = true;
    else
      ++histogram[pixels[i] & 0xFFFFFF];
  }
  std::vector<colour_count> entries;
  entries.reserve(histogram.size());
  for (const auto& [rgb, count] : histogram) entries.push_back({rgb, count});
  std::sort(entries.begin(), entries.end(), [](const colour_count& a, const colour_count& b) { return a.rgb < b.rgb; });
  if (entries.size() <= palette_limit) {
    for (const colour_count& e : entries) {
      p.index_of[e.rgb] = static_cast<uint8_t>(p.colours.size());
      p.colours.push_back(e.rgb);
    }
  } else {
    for (const box& b : median_cut(entries, palette_limit)) {
      uint64_t sums[3] = {0, 0, 0};
      for (uint32_t i = b.begin; i < b.end; ++i)
        for (int c = 0; c < 3; ++c) sums[c] += uint64_t{channel(entries[i].rgb, c)} * entries[i].count;
      uint32_t mean = 0;
      for (int c = 0; c < 3; ++c) mean = mean << 8 | static_cast<uint32_t>((sums[c] + b.pixels / 2) / b.pixels);
      for (uint32_t i = b.begin; i < b.end; ++i) p.index_of[entries[i].rgb] = static_cast<uint8_t>(p.colours.size());
      p.colours.push_back(mean);
    }
  }
  if (transparent) {
    p.transparent = static_cast<int>(p.colours.size());
    p.colours.push_back(0);
  }
}

int write_bytes(GifFileType* gif, const GifByteType* bytes, int count) {
  return static_cast<output*>(gif->UserData)->append(bytes, static_cast<size_t>(count)) ? count : 0;
}

bool write_frame(GifFileType* gif, const uint32_t* pixels, uint32_t width, uint32_t height, const palette& p,
                 const ColorMapObject* map) {
  if (EGifPutScreenDesc(gif, static_cast<int>(width), static_cast<int>(height), map->BitsPerPixel, 0, map) ==
      GIF_ERROR)
    return false;
  if (p.transparent >= 0) {
    const GifByteType control[4] = {0x01, 0, 0, static_cast<GifByteType>(p.transparent)};
    if (EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, control) == GIF_ERROR) return false;
  }
  if (EGifPutImageDesc(gif, 0, 0, static_cast<int>(width), static_cast<int>(height), false, nullptr) == GIF_ERROR)
    return false;
  std::vector<GifPixelType> line(width);
  for (uint32_t y = 0; y < height; ++y) {
    const uint32_t* row = pixels + size_t{y} * width;
    for (uint32_t x = 0; x < width; ++x)
      line[x] = (row[x] >> 24) < 128 ? static_cast<GifPixelType>(p.transparent) : p.index_of.at(row[x] & 0xFFFFFF);
    if (EGifPutLine(gif, line.data(), static_cast<int>(width)) == GIF_ERROR) return false;
  }
  return true;
}

}  // namespace

bool decode_gif(const uint8_t* data, size_t length, picture& out) {
  reader r{data, length, 0};
  int error = 0;
  GifFileType* gif = DGifOpen(&r, read_bytes, &error);
  if (!gif) return false;
  const bool done = read_first_frame(gif, out);
  DGifCloseFile(gif, &error);
  return done;
}

bool encode_gif(const uint32_t* pixels, uint32_t width, uint32_t height, output& out) {
  palette p;
  build_palette(pixels, size_t{width} * height, p);
  int bits = 1;
  while ((1u << bits) < p.colours.size()) ++bits;
  ColorMapObject* map = GifMakeMapObject(1 << bits, nullptr);
  if (!map) return false;
  for (int i = 0; i < map->ColorCount; ++i) {
    const uint32_t rgb = static_cast<size_t>(i) < p.colours.size() ? p.colours[i] : 0;
    map->Colors[i] = GifColorType{static_cast<GifByteType>(rgb >> 16), static_cast<GifByteType>(rgb >> 8),
                                  static_cast<GifByteType>(rgb)};
  }
  int error = 0;
  GifFileType* gif = EGifOpen(&out, write_bytes, &error);
  bool done = false;
  if (gif) {
    EGifSetGifVersion(gif, true);
    done = write_frame(gif, pixels, width, height, p, map);
    done = EGifCloseFile(gif, &error) != GIF_ERROR && done;
  }
  GifFreeMapObject(map);
  return done;
}

}  // namespace tav::image_codecs
