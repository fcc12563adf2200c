// TIFF through libtiff over memory: 8-bit RGB and RGBA strips read as they are, so straight
// alpha comes back exactly; any other layout through libtiff's RGBA reader, un-premultiplied.
// Written as 8-bit RGBA with unassociated alpha, deflate-compressed.
#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "io/image_codecs.hpp"

namespace tav::image_codecs {
namespace {

// Reading and writing share one handle: the bytes, where they end and the position.
struct stream {
  const uint8_t* data;  // reading
  output* out;          // writing
  size_t length;
  size_t position;
};

stream* stream_of(thandle_t h) { return static_cast<stream*>(h); }

tmsize_t read_proc(thandle_t h, void* to, tmsize_t count) {
  stream* s = stream_of(h);
  if (!s->data || count < 0) return -1;
  const size_t n = s->position < s->length ? std::min<size_t>(count, s->length - s->position) : 0;
  if (n) std::memcpy(to, s->data + s->position, n);
  s->position += n;
  return static_cast<tmsize_t>(n);
}

tmsize_t write_proc(thandle_t h, void* from, tmsize_t count) {
  stream* s = stream_of(h);
  if (!s->out || count < 0 || !s->out->write_at(s->position, from, static_cast<size_t>(count))) return -1;
  s->position += static_cast<size_t>(count);
  s->length = s->out->size;
  return count;
}

toff_t seek_proc(thandle_t h, toff_t offset, int whence) {
  stream* s = stream_of(h);
  const uint64_t base = whence == SEEK_CUR ? s->position : whence == SEEK_END ? s->length : 0;
  s->position = static_cast<size_t>(base + offset);
  return s->position;
}

int close_proc(thandle_t) { return 0; }
toff_t size_proc(thandle_t h) { return stream_of(h)->length; }
int map_proc(thandle_t, void**, toff_t*) { return 0; }
void unmap_proc(thandle_t, void*, toff_t) {}

// libtiff reports through process-wide handlers; with none it prints nothing.
void silence() {
  static const bool done = [] {
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
    return true;
  }();
  (void)done;
}

TIFF* open(stream& s, const char* mode) {
  silence();
  return TIFFClientOpen("memory", mode, &s, read_proc, write_proc, seek_proc, close_proc, size_proc, map_proc,
                        unmap_proc);
}

template <typename T>
T field(TIFF* tif, ttag_t tag, T fallback) {
  T value = fallback;
  return TIFFGetFieldDefaulted(tif, tag, &value) == 1 ? value : fallback;
}

// RGB or RGBA of 8 bits in contiguous strips, the fourth sample unassociated alpha (or not said).
bool plain_layout_p(TIFF* tif, uint16_t& samples) {
  samples = field<uint16_t>(tif, TIFFTAG_SAMPLESPERPIXEL, 0);
  if (TIFFIsTiled(tif) || field<uint16_t>(tif, TIFFTAG_BITSPERSAMPLE, 0) != 8 ||
      field<uint16_t>(tif, TIFFTAG_PHOTOMETRIC, 0) != PHOTOMETRIC_RGB ||
      field<uint16_t>(tif, TIFFTAG_PLANARCONFIG, 0) != PLANARCONFIG_CONTIG ||
      field<uint16_t>(tif, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT) != SAMPLEFORMAT_UINT)
    return false;
  if (samples == 3) return true;
  if (samples != 4) return false;
  uint16_t extras = 0;
  uint16_t* kinds = nullptr;
  if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extras, &kinds) != 1 || extras != 1) return false;
  return kinds[0] == EXTRASAMPLE_UNASSALPHA || kinds[0] == EXTRASAMPLE_UNSPECIFIED;
}

bool read_strips(TIFF* tif, uint16_t samples, picture& out) {
  const uint32_t rows_per_strip = std::min(field<uint32_t>(tif, TIFFTAG_ROWSPERSTRIP, out.height), out.height);
  if (rows_per_strip == 0) return false;
  const size_t row_bytes = size_t{out.width} * samples;
  // Left unfilled: a header's claims cost no memory until a strip's data is really there.
  std::unique_ptr<uint8_t[]> strip(new (std::nothrow) uint8_t[row_bytes * rows_per_strip]);
  if (!strip) return false;
  uint32_t y = 0;
  for (tstrip_t s = 0; y < out.height; ++s) {
    const uint32_t rows = std::min(rows_per_strip, out.height - y);
    const tmsize_t want = static_cast<tmsize_t>(row_bytes * rows);
    if (TIFFReadEncodedStrip(tif, s, strip.get(), want) != want) return false;
    for (uint32_t r = 0; r < rows; ++r, ++y) {
      const uint8_t* from = strip.get() + r * row_bytes;
      uint32_t* to = out.pixels + size_t{y} * out.width;
      for (uint32_t x = 0; x < out.width; ++x, from += samples)
        to[x] = uint32_t{samples == 4 ? from[3] : uint8_t{255}} << 24 | uint32_t{from[0]} << 16 |
                uint32_t{from[1]} << 8 | from[2];
    }
  }
  return true;
}

// libtiff's reader answers ABGR words with premultiplied alpha.
bool read_any(TIFF* tif, picture& out) {
  auto* raster = reinterpret_cast<uint32_t*>(out.pixels);
  if (!TIFFReadRGBAImageOriented(tif, out.width, out.height, raster, ORIENTATION_TOPLEFT, 1)) return false;
  const size_t n = size_t{out.width} * out.height;
  for (size_t i = 0; i < n; ++i) {
    const uint32_t p = raster[i];
    uint32_t r = TIFFGetR(p), g = TIFFGetG(p), b = TIFFGetB(p);
    const uint32_t a = TIFFGetA(p);
    if (a != 0 && a != 255) {
      r = std::min<uint32_t>(255, (r * 255 + a / 2) / a);
      g = std::min<uint32_t>(255, (g * 255 + a / 2) / a);
      b = std::min<uint32_t>(255, (b * 255 + a / 2) / a);
    }
    raster[i] = a << 24 | r << 16 | g << 8 | b;
  }
  return true;
}

bool write_rows(TIFF* tif, const uint32_t* pixels, uint32_t width, uint32_t height) {
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 4);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  const uint16_t alpha[1] = {EXTRASAMPLE_UNASSALPHA};
  TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, alpha);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
  std::vector<uint8_t> row(size_t{width} * 4);
  for (uint32_t y = 0; y < height; ++y) {
    const uint32_t* from = pixels + size_t{y} * width;
    for (uint32_t x = 0; x < width; ++x) {
      row[4 * x] = static_cast<uint8_t>(from[x] >> 16);
      row[4 * x + 1] = static_cast<uint8_t>(from[x] >> 8);
      row[4 * x + 2] = static_cast<uint8_t>(from[x]);
      row[4 * x + 3] = static_cast<uint8_t>(from[x] >> 24);
    }
    if (TIFFWriteScanline(tif, row.data(), y, 0) < 0) return false;
  }
  return TIFFFlush(tif) == 1;
}

}  // namespace

bool decode_tiff(const uint8_t* data, size_t length, picture& out) {
  stream s{data, nullptr, length, 0};
  TIFF* tif = open(s, "rm");
  if (!tif) return false;
  uint16_t samples = 0;
  const bool done = allocate(out, field<uint32_t>(tif, TIFFTAG_IMAGEWIDTH, 0),
                             field<uint32_t>(tif, TIFFTAG_IMAGELENGTH, 0)) &&
                    (plain_layout_p(tif, samples) ? read_strips(tif, samples, out) : read_any(tif, out));
  TIFFClose(tif);
  return done;
}

bool encode_tiff(const uint32_t* pixels, uint32_t width, uint32_t height, output& out) {
  stream s{nullptr, &out, 0, 0};
  TIFF* tif = open(s, "w");
  if (!tif) return false;
  const bool done = write_rows(tif, pixels, width, height);
  TIFFClose(tif);
  return done;
}

}  // namespace tav::image_codecs
