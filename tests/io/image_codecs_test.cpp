// Image containers in memory: round trips through every encoder, hand-made BMPs of each layout,
// headers claiming sizes past the limits, truncated and mutated samples, and encoders whose
// output cannot grow.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <random>
#include <vector>

#include "datatypes/binary.hpp"
#include "datatypes/image.hpp"
#include "datatypes/values.hpp"
#include "interpreter/stack.hpp"
#include "io/image_codecs.hpp"
#include "io/image_io.hpp"
#include "runtime/errors.hpp"
#include "runtime/throw.hpp"

namespace tav::test {
namespace {

using bytes = std::vector<uint8_t>;
using pixels_t = std::vector<uint32_t>;
namespace ic = image_codecs;

uint32_t argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return a << 24 | r << 16 | g << 8 | b; }

// 16x16 in four flat 8x8 blocks with alpha 255, 191, 127 and 0 (transparency 0, 64, 128, 255).
pixels_t four_blocks() {
  static constexpr uint32_t colours[4] = {0xC03010, 0x20A040, 0x3050E0, 0x808080};
  static constexpr uint32_t alphas[4] = {255, 191, 127, 0};
  pixels_t p(256);
  for (uint32_t y = 0; y < 16; ++y)
    for (uint32_t x = 0; x < 16; ++x) {
      const uint32_t block = (y / 8) * 2 + x / 8;
      p[y * 16 + x] = alphas[block] << 24 | colours[block];
    }
  return p;
}

// Smooth colours with every alpha value somewhere: the seed of the mutation runs.
pixels_t gradient(uint32_t width, uint32_t height) {
  pixels_t p(size_t{width} * height);
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x)
      p[y * width + x] = argb((x * 37 + y * 11) & 0xFF, x * 255 / width, y * 255 / height, (x + y) * 5 & 0xFF);
  return p;
}

bytes encoded(ic::format f, const pixels_t& p, uint32_t width, uint32_t height) {
  ic::output out;
  EXPECT_TRUE(ic::encode(f, p.data(), width, height, out)) << f;
  return bytes(out.data, out.data + out.size);
}

struct decoded {
  uint32_t width = 0, height = 0;
  pixels_t pixels;
};

std::optional<decoded> decode(const bytes& b) {
  ic::picture picture;
  if (!ic::decode(b.data(), b.size(), picture)) {
    EXPECT_EQ(picture.pixels, nullptr);
    return std::nullopt;
  }
  decoded d{picture.width, picture.height, {}};
  d.pixels.assign(picture.pixels, picture.pixels + size_t{d.width} * d.height);
  return d;
}

// Everything written on standard error while the call runs.
template <class Call>
std::string stderr_of(Call&& call) {
  std::fflush(stderr);
  char name[] = "/tmp/image-codecs-stderr-XXXXXX";
  const int file = mkstemp(name);
  const int saved = dup(2);
  dup2(file, 2);
  call();
  std::fflush(stderr);
  dup2(saved, 2);
  close(saved);
  std::string text;
  char chunk[256];
  lseek(file, 0, SEEK_SET);
  for (ssize_t n; (n = read(file, chunk, sizeof chunk)) > 0;) text.append(chunk, static_cast<size_t>(n));
  close(file);
  unlink(name);
  return text;
}

constexpr ic::format all_formats[] = {ic::bmp, ic::png, ic::gif, ic::jpeg, ic::tiff};

struct sample {
  const char* name;
  const char* hex;
};
#define SAMPLE(name, hex) {#name, hex},
constexpr sample samples[] = {
#include "tests/io/image_samples.inc"
};
#undef SAMPLE

bytes from_hex(const char* text) {
  bytes b;
  auto digit = [](char c) { return c <= '9' ? c - '0' : c - 'A' + 10; };
  for (; text[0] && text[1]; text += 2) b.push_back(uint8_t(digit(text[0]) << 4 | digit(text[1])));
  return b;
}

TEST(ImageCodecs, OtherWritersLayoutsDecode) {
  for (const sample& s : samples) {
    const auto d = decode(from_hex(s.hex));
    ASSERT_TRUE(d) << s.name;
    const bool flat = std::strcmp(s.name, "jpeg_cmyk") == 0;
    EXPECT_EQ(d->width, flat ? 16u : 12u) << s.name;
    EXPECT_EQ(d->height, flat ? 16u : 8u) << s.name;
  }
}

TEST(ImageCodecs, CmykJpegTurnsIntoItsColours) {
  const auto d = decode(from_hex(samples[2].hex));
  ASSERT_TRUE(d);
  ASSERT_STREQ(samples[2].name, "jpeg_cmyk");
  static constexpr uint32_t colours[4] = {0xC81E1E, 0x1EC81E, 0x1E1EC8, 0xDCDC28};
  for (uint32_t block = 0; block < 4; ++block) {
    const uint32_t p = d->pixels[(block / 2 * 8 + 4) * 16 + block % 2 * 8 + 4];  // inside the block
    EXPECT_EQ(p >> 24, 255u);
    for (int shift : {0, 8, 16})
      EXPECT_NEAR(int((p >> shift) & 0xFF), int((colours[block] >> shift) & 0xFF), 6) << block << " " << shift;
  }
}

TEST(ImageCodecs, LosslessContainersGiveThePixelsBack) {
  const pixels_t original = four_blocks();
  for (ic::format f : {ic::png, ic::tiff, ic::bmp}) {
    const auto d = decode(encoded(f, original, 16, 16));
    ASSERT_TRUE(d) << f;
    EXPECT_EQ(d->width, 16u);
    EXPECT_EQ(d->height, 16u);
    EXPECT_EQ(d->pixels, original) << f;
  }
  // A side of one pixel and a wide row: no off-by-one in strides or strips.
  const pixels_t row = gradient(301, 1);
  for (ic::format f : {ic::png, ic::tiff, ic::bmp}) EXPECT_EQ(decode(encoded(f, row, 301, 1))->pixels, row) << f;
}

TEST(ImageCodecs, GifKeepsColoursAndCutsTransparencyAtHalf) {
  const pixels_t original = four_blocks();
  const auto d = decode(encoded(ic::gif, original, 16, 16));
  ASSERT_TRUE(d);
  for (size_t i = 0; i < original.size(); ++i) {
    if ((original[i] >> 24) >= 128)
      EXPECT_EQ(d->pixels[i], original[i] | 0xFF000000u) << i;
    else
      EXPECT_EQ(d->pixels[i] >> 24, 0u) << i;
  }
}

TEST(ImageCodecs, GifQuantisesManyColoursCloseToThem) {
  pixels_t many(64 * 64);
  for (uint32_t i = 0; i < many.size(); ++i) many[i] = argb(255, i % 64 * 4, i / 64 * 4, (i * 7) & 0xFF);
  const auto d = decode(encoded(ic::gif, many, 64, 64));
  ASSERT_TRUE(d);
  double error = 0;
  for (size_t i = 0; i < many.size(); ++i) {
    EXPECT_EQ(d->pixels[i] >> 24, 255u);
    for (int shift : {0, 8, 16}) error += std::abs(int((many[i] >> shift) & 0xFF) - int((d->pixels[i] >> shift) & 0xFF));
  }
  EXPECT_LT(error / (3.0 * many.size()), 24.0);
}

TEST(ImageCodecs, JpegDropsAlphaAndKeepsMeanColours) {
  const pixels_t original = four_blocks();
  const auto d = decode(encoded(ic::jpeg, original, 16, 16));
  ASSERT_TRUE(d);
  ASSERT_EQ(d->width, 16u);
  for (uint32_t block = 0; block < 4; ++block) {
    int sums[3] = {0, 0, 0};
    for (uint32_t y = 0; y < 8; ++y)
      for (uint32_t x = 0; x < 8; ++x) {
        const uint32_t p = d->pixels[(block / 2 * 8 + y) * 16 + block % 2 * 8 + x];
        EXPECT_EQ(p >> 24, 255u);
        for (int c = 0; c < 3; ++c) sums[c] += (p >> (16 - 8 * c)) & 0xFF;
      }
    const uint32_t want = original[(block / 2 * 8) * 16 + block % 2 * 8];
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(sums[c] / 64.0, (want >> (16 - 8 * c)) & 0xFF, 8.0) << block;
  }
}

// ---- Hand-made BMPs -------------------------------------------------------------------------

void le(bytes& b, uint32_t v, int n) {
  for (int i = 0; i < n; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

// File header and INFO (40) or V4 (108) header, then `extra` (masks after an INFO header, or a
// palette), then the pixel bits. A V4 or V5 header takes the masks of `v4_masks` into itself.
bytes bmp(int32_t width, int32_t height, uint32_t bits, uint32_t method, const bytes& extra, const bytes& data,
          const bytes& v4_masks = {}, uint32_t header = 0) {
  if (header == 0) header = v4_masks.empty() ? 40 : 108;
  const uint32_t offset = uint32_t(14 + header + extra.size());
  bytes b{'B', 'M'};
  le(b, uint32_t(offset + data.size()), 4);
  le(b, 0, 4);
  le(b, offset, 4);
  le(b, header, 4);
  le(b, uint32_t(width), 4);
  le(b, uint32_t(height), 4);
  le(b, 1, 2);
  le(b, bits, 2);
  le(b, method, 4);
  le(b, uint32_t(data.size()), 4);
  le(b, 2835, 4), le(b, 2835, 4), le(b, 0, 4), le(b, 0, 4);
  b.insert(b.end(), v4_masks.begin(), v4_masks.end());
  b.resize(14 + header);
  b.insert(b.end(), extra.begin(), extra.end());
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

TEST(ImageCodecs, HandMadeBmpsOfEveryLayout) {
  const uint32_t red = 0xFFFF0000u, green = 0xFF00FF00u, blue = 0xFF0000FFu, white = 0xFFFFFFFFu;
  // 24 bits, 2x2: rows of 6 bytes padded to 8, stored bottom row first.
  const bytes rows24 = {0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 255, 255, 255, 0, 0};
  const bytes palette = {255, 0, 0, 0, 0, 255, 0, 0, 0, 0, 255, 0, 255, 255, 255, 0};  // blue green red white
  // RLE8: a run of 2 reds, end of line, absolute 3 indexes (padded), end of bitmap.
  const bytes rle8 = {2, 2, 0, 0, 0, 3, 0, 1, 3, 0, 0, 1};
  bytes masks;
  for (uint32_t m : {0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFF000000u}) le(masks, m, 4);
  const bytes alpha32 = {0, 0, 255, 128, 255, 0, 0, 0};  // red with alpha 128, then blue with alpha 0
  const bytes zero32 = {0, 0, 255, 0, 255, 0, 0, 0};     // BI_RGB with no fourth bytes: opaque
  // RLE4: a run of 5 alternating 1 and 2, end of line, absolute 5 indexes (padded), end of
  // bitmap; the top row is left at palette entry 0.
  const bytes rle4 = {5, 0x12, 0, 0, 0, 5, 0x01, 0x23, 0x30, 0, 0, 1};
  // OS/2 core header: 16-bit sides, palette entries of three bytes.
  bytes core{'B', 'M'};
  le(core, 26 + 16, 4), le(core, 0, 4), le(core, 26, 4);
  le(core, 12, 4), le(core, 2, 2), le(core, 2, 2), le(core, 1, 2), le(core, 24, 2);
  core.insert(core.end(), rows24.begin(), rows24.end());
  struct case_t {
    const char* name;
    bytes file;
    uint32_t width, height;
    pixels_t want;
  } cases[] = {
      {"24-bit bottom-up", bmp(2, 2, 24, 0, {}, rows24), 2, 2, {blue, white, red, green}},
      {"24-bit top-down", bmp(2, -2, 24, 0, {}, rows24), 2, 2, {red, green, blue, white}},
      {"4-bit palette", bmp(3, 1, 4, 0, palette, {0x12, 0x30, 0, 0}), 3, 1, {green, red, white}},
      {"1-bit palette", bmp(10, 1, 1, 0, palette, {0b10100000, 0b01000000, 0, 0}), 10, 1,
       {green, blue, green, blue, blue, blue, blue, blue, blue, green}},
      {"8-bit RLE", bmp(3, 2, 8, 1, palette, rle8), 3, 2, {blue, green, white, red, red, blue}},
      {"32-bit bit fields with alpha", bmp(2, 1, 32, 3, {}, alpha32, masks), 2, 1, {0x80FF0000u, 0x000000FFu}},
      {"32-bit BI_RGB without alpha", bmp(2, 1, 32, 0, {}, zero32), 2, 1, {red, blue}},
      {"16-bit 5-5-5", bmp(2, 1, 16, 0, {}, {0x00, 0x7C, 0x1F, 0x00}), 2, 1, {red, blue}},
      {"4-bit RLE", bmp(5, 3, 4, 2, palette, rle4), 5, 3,
       {blue, blue, blue, blue, blue, blue, green, red, white, white, green, red, green, red, green}},
      {"OS/2 core header", core, 2, 2, {blue, white, red, green}},
      {"V5 header", bmp(2, 1, 32, 3, {}, alpha32, masks, 124), 2, 1, {0x80FF0000u, 0x000000FFu}},
  };
  for (const case_t& c : cases) {
    const auto d = decode(c.file);
    ASSERT_TRUE(d) << c.name;
    EXPECT_EQ(d->width, c.width) << c.name;
    EXPECT_EQ(d->height, c.height) << c.name;
    EXPECT_EQ(d->pixels, c.want) << c.name;
  }
  // An RLE stream without its end mark, and rows that run past the file, are refused.
  EXPECT_FALSE(decode(bmp(3, 2, 8, 1, palette, {2, 2, 0, 0})));
  EXPECT_FALSE(decode(bmp(2, 2, 24, 0, {}, bytes(rows24.begin(), rows24.end() - 1))));
}

// ---- Hostile input --------------------------------------------------------------------------

void put_be32(uint8_t* p, uint32_t v) { p[0] = uint8_t(v >> 24), p[1] = uint8_t(v >> 16), p[2] = uint8_t(v >> 8), p[3] = uint8_t(v); }
void put_le(uint8_t* p, uint32_t v, int n) {
  for (int i = 0; i < n; ++i) p[i] = uint8_t(v >> (8 * i));
}

// The sample with its header claiming the size; the container stays valid otherwise.
bytes claiming(ic::format f, bytes b, uint32_t width, uint32_t height) {
  switch (f) {
    case ic::png:  // IHDR with its CRC made again
      put_be32(&b[16], width), put_be32(&b[20], height);
      put_be32(&b[29], uint32_t(crc32(0, &b[12], 17)));
      break;
    case ic::bmp: put_le(&b[18], width, 4), put_le(&b[22], height, 4); break;
    case ic::gif: {  // the screen and the first frame's descriptor, past any extensions
      put_le(&b[6], width, 2), put_le(&b[8], height, 2);
      size_t i = 13 + ((b[10] & 0x80) ? 3 * (size_t{2} << (b[10] & 7)) : 0);
      while (b[i] == 0x21) {
        for (i += 2; b[i] != 0; i += b[i] + 1) {}
        ++i;
      }
      put_le(&b[i + 5], width, 2), put_le(&b[i + 7], height, 2);
      break;
    }
    case ic::jpeg:
      for (size_t i = 2; i + 8 < b.size(); ++i)
        if (b[i] == 0xFF && b[i + 1] == 0xC0) {
          b[i + 5] = uint8_t(height >> 8), b[i + 6] = uint8_t(height);
          b[i + 7] = uint8_t(width >> 8), b[i + 8] = uint8_t(width);
          break;
        }
      break;
    case ic::tiff: {  // ImageWidth and ImageLength entries of the first directory, made LONG
      const uint32_t ifd = b[4] | b[5] << 8 | b[6] << 16 | b[7] << 24;
      const uint32_t entries = b[ifd] | b[ifd + 1] << 8;
      for (uint32_t e = 0; e < entries; ++e) {
        uint8_t* entry = &b[ifd + 2 + 12 * e];
        const uint32_t tag = entry[0] | entry[1] << 8;
        if (tag == 256 || tag == 257) put_le(entry + 2, 4, 2), put_le(entry + 8, tag == 256 ? width : height, 4);
      }
      break;
    }
  }
  return b;
}

TEST(ImageCodecs, SizesPastTheLimitsAreRefusedOnTheHeader) {
  const pixels_t p = gradient(4, 3);
  for (ic::format f : all_formats) {
    const bytes sample = encoded(f, p, 4, 3);
    // The rewriting itself is sound: the claimed size within the limits reaches the decoder.
    EXPECT_TRUE(decode(claiming(f, sample, 4, 3))) << f;
    const bool sixteen_bits = f == ic::gif || f == ic::jpeg;
    if (!sixteen_bits) {
      EXPECT_FALSE(decode(claiming(f, sample, 70000, 1))) << f;
    }
    EXPECT_FALSE(decode(claiming(f, sample, 60000, 60000))) << f;
  }
}

TEST(ImageCodecs, TruncatedSamplesFailSilently) {
  const pixels_t p = gradient(24, 20);
  for (ic::format f : all_formats) {
    const bytes sample = encoded(f, p, 24, 20);
    const std::string printed = stderr_of([&] {
      for (size_t cut : {sample.size() / 2, sample.size() * 3 / 4, size_t{8}, size_t{0}})
        EXPECT_FALSE(decode(bytes(sample.begin(), sample.begin() + cut))) << f << " cut at " << cut;
    });
    EXPECT_EQ(printed, "") << f;
  }
}

// Seeded mutations of every format: bit flips, truncations, bytes inserted and removed, and
// words overwritten (lengths and sizes among them). Each ends in a picture within the limits
// or a refusal, with nothing printed; the sanitizers watch the memory.
TEST(ImageCodecs, MutatedSamplesDecodeOrFailCleanly) {
  constexpr int rounds = 5000;
  const pixels_t p = gradient(24, 20);
  std::mt19937 random(20261210);
  for (ic::format f : all_formats) {
    std::vector<bytes> seeds = {encoded(f, p, 24, 20)};
    for (const sample& s : samples) {
      const bytes b = from_hex(s.hex);
      if (ic::format_of(b.data(), b.size()) == f) seeds.push_back(b);
    }
    if (f == ic::bmp) {
      const bytes palette = {255, 0, 0, 0, 0, 255, 0, 0, 0, 0, 255, 0, 255, 255, 255, 0};
      seeds.push_back(bmp(3, 2, 8, 1, palette, {2, 2, 0, 0, 0, 3, 0, 1, 3, 0, 0, 1}));
      seeds.push_back(bmp(5, 3, 4, 2, palette, {5, 0x12, 0, 0, 0, 5, 0x01, 0x23, 0x30, 0, 0, 1}));
    }
    int pictures = 0;
    const std::string printed = stderr_of([&] {
      for (int round = 0; round < rounds; ++round) {
        bytes b = seeds[round % seeds.size()];
        const int edits = 1 + int(random() % 4);
        for (int e = 0; e < edits && !b.empty(); ++e) {
          const size_t at = random() % b.size();
          switch (random() % 5) {
            case 0: b[at] ^= uint8_t(1u << (random() % 8)); break;
            case 1: b.resize(at); break;
            case 2: b.insert(b.begin() + at, uint8_t(random())); break;
            case 3: b.erase(b.begin() + at); break;
            case 4: {
              const uint32_t word = random() % 2 ? random() : (random() % 2 ? 0xFFFFu : 0u) + random() % 3;
              for (size_t i = 0; i < 4 && at + i < b.size(); ++i) b[at + i] = uint8_t(word >> (8 * i));
              break;
            }
          }
        }
        ic::picture picture;
        if (ic::decode(b.data(), b.size(), picture)) {
          ++pictures;
          ASSERT_TRUE(ic::size_ok_p(picture.width, picture.height)) << f << " round " << round;
          ASSERT_NE(picture.pixels, nullptr);
        } else {
          ASSERT_EQ(picture.pixels, nullptr);
        }
      }
    });
    EXPECT_EQ(printed, "") << f;
    EXPECT_GT(pictures, 0) << f;  // the mutations do not all break the container
  }
}

TEST(ImageCodecs, UnknownSignaturesAndEmptyInputAreNoPicture) {
  for (const bytes& b : {bytes{}, bytes{0, 1, 2, 3}, bytes{'G', 'I', 'F', '8', '8', 'a'}, bytes{'I', 'I', '*'}})
    EXPECT_FALSE(decode(b));
}

// ---- Encoder failure -------------------------------------------------------------------------

struct growth_limit {
  explicit growth_limit(size_t limit) { ic::growth_limit = limit; }
  ~growth_limit() { ic::growth_limit = SIZE_MAX; }
};

TEST(ImageCodecs, AnEncoderWhoseOutputCannotGrowFails) {
  const pixels_t p = gradient(64, 64);
  for (ic::format f : all_formats) {
    const size_t full = encoded(f, p, 64, 64).size();
    for (size_t limit : {size_t{0}, full / 2}) {
      growth_limit hook(limit);
      ic::output out;
      EXPECT_FALSE(ic::encode(f, p.data(), 64, 64, out)) << f << " limit " << limit;
    }
  }
}

TEST(ImageCodecs, EncodingRaisesBadMediaWhenTheEncoderFails) {
  cell* saved = stack::top;
  cell* image = stack::push_copy(image::make_image(8, 8, nullptr, nullptr, nullptr));
  cell* result = stack::push_copy(none::value);
  for (ic::format f : all_formats) {
    growth_limit hook(0);
    bool raised = false;
    try {
      image_io::encode(*image, *result, f);
    } catch (const system_throw_signal&) {
      raised = last_fired.id == error_id::access_bad_media;
    }
    EXPECT_TRUE(raised) << f;
  }
  image_io::encode(*image, *result, ic::bmp);
  EXPECT_EQ(binary::ts_length_p(*result), 14u + 108u + 256u);
  stack::top = saved;
}

}  // namespace
}  // namespace tav::test
