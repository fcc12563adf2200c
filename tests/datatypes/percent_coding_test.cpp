// Percent-encoding: the two character classes, encoding of UTF-8 bytes, decoding of pairs and
// sequences (and what stays raw), and round trips at every unit width.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "datatypes/percent_coding.hpp"
#include "tests/runtime/fire_helpers.hpp"
#include "tests/runtime/unit_buffer.hpp"

namespace tav {
namespace {

using testing::fired_by;

std::u32string wide(std::string_view text) { return std::u32string(text.begin(), text.end()); }

bool fits(std::u32string_view text, uint32_t width) {
  for (char32_t c : text)
    if (unicode::width_for(c) > width) return false;
  return true;
}

// The units of a text at one width, in a block of exactly their size.
struct units {
  std::unique_ptr<uint8_t[]> block;
  size_t count;
  uint32_t width;

  units(std::u32string_view text, uint32_t w) : block(new uint8_t[text.size() * w]), count(text.size()), width(w) {
    for (size_t i = 0; i < count; ++i) unicode::set_unit(block.get(), i, width, text[i]);
  }
};

std::string encoded(std::u32string_view text, uint32_t width, uint32_t mode) {
  units source(text, width);
  size_t size = url::encoded_size(source.block.get(), source.count, width, mode);
  std::unique_ptr<uint8_t[]> out(new uint8_t[size]);
  uint8_t* end = url::encode(source.block.get(), source.count, width, mode, out.get());
  EXPECT_EQ(static_cast<size_t>(end - out.get()), size);
  return std::string(reinterpret_cast<const char*>(out.get()), size);
}

// Decodes into a sink that starts narrow and empty, so every growth and widening is asked for.
std::u32string decoded(std::u32string_view text, uint32_t width) {
  units source(text, width);
  unit_buffer target(1, 0);
  url::decode(source.block.get(), source.count, width, target.sink);
  std::vector<uint32_t> cps = target.code_points();
  return std::u32string(cps.begin(), cps.end());
}

std::u32string decoded_utf8(std::string_view text) {
  std::unique_ptr<uint8_t[]> bytes(new uint8_t[text.size()]);
  std::copy(text.begin(), text.end(), bytes.get());
  unit_buffer target(1, 0);
  url::decode_utf8(bytes.get(), text.size(), target.sink);
  std::vector<uint32_t> cps = target.code_points();
  return std::u32string(cps.begin(), cps.end());
}

TEST(PercentCoding, ClassesKeepExactlyTheirCharacters) {
  const std::string_view strict = "-.0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz~";
  const std::string_view url_only = "!#$&'()*+,/:=?@";
  for (int byte = 0; byte < 256; ++byte) {
    auto b = static_cast<uint8_t>(byte);
    bool in_strict = byte < 128 && strict.find(static_cast<char>(b)) != std::string_view::npos;
    bool in_url = in_strict || (byte < 128 && url_only.find(static_cast<char>(b)) != std::string_view::npos);
    EXPECT_EQ(url::plain_p(b, url::strict_mode), in_strict) << byte;
    EXPECT_EQ(url::plain_p(b, url::url_mode), in_url) << byte;
    EXPECT_EQ(url::plain_p(b, 0), in_url) << byte;  // any mode but the strict one is the URL class
    uint8_t out[3];
    size_t n = url::encode_char(b, url::url_mode, out);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), n),
              in_url ? std::string(1, static_cast<char>(b)) : std::string("%") + "0123456789ABCDEF"[byte >> 4] + "0123456789ABCDEF"[byte & 15]);
  }
}

TEST(PercentCoding, EncodesTheUtf8BytesOfEveryWidth) {
  struct row {
    std::u32string text;
    uint32_t mode;
    std::string_view expected;
  };
  const row rows[] = {
      {U"a b", url::url_mode, "a%20b"},
      {U"a/b?c=d&e", url::url_mode, "a/b?c=d&e"},
      {U"a/b?c=d&e", url::strict_mode, "a%2Fb%3Fc%3Dd%26e"},
      {U"100%", url::url_mode, "100%25"},
      {U"<\"x\">", url::url_mode, "%3C%22x%22%3E"},
      {U"\u00E9", url::url_mode, "%C3%A9"},
      {U"\u20AC1", url::strict_mode, "%E2%82%AC1"},
      {U"\U0001F600", url::url_mode, "%F0%9F%98%80"},
      {U"\x7F\n", url::url_mode, "%7F%0A"},
      {U"", url::url_mode, ""},
  };
  for (const row& r : rows)
    for (uint32_t width : {1u, 2u, 4u})
      if (fits(r.text, width)) {
        EXPECT_EQ(encoded(r.text, width, r.mode), r.expected) << "width " << width;
      }
  EXPECT_EQ(fired_by([] { encoded(U"a\x110000", 4, url::url_mode); }), error_id::script_invalid_char);
}

TEST(PercentCoding, DecodesPairsAndKeepsWhatIsNoEncodedCharacter) {
  struct row {
    std::u32string text;
    std::u32string expected;
  };
  const row rows[] = {
      {U"%20", U" "},
      {U"a%2fb%2F", U"a/b/"},
      {U"%c3%A9", U"\u00E9"},                 // one sequence, one character
      {U"%E2%82%AC!", U"\u20AC!"},            // widens the sink to 2
      {U"x%F0%9F%98%80", U"x\U0001F600"},     // and to 4
      {U"%2541", U"%41"},                     // decoded once only
      {U"%A9", U"\u00A9"},                    // a byte that starts no sequence is a character
      {U"%FF", U"\u00FF"},
      {U"%C3abc", U"%C3abc"},                 // a sequence cut short stays raw
      {U"%C3%41", U"%C3A"},                   // so does one with a bad continuation
      {U"%E2%82", U"%E2\u0082"},
      {U"%C0%AF", U"%C0\u00AF"},              // overlong
      {U"%ED%A0%80", U"%ED\u00A0\u0080"},     // a surrogate
      {U"%F4%90%80%80", U"%F4\u0090\u0080\u0080"},  // beyond U+10FFFF
      {U"%", U"%"},
      {U"a%4", U"a%4"},
      {U"%zz%", U"%zz%"},
      {U"%%41", U"%A"},
      {U"\u00E9%20", U"\u00E9 "},
      {U"%\u01342", U"%\u01342"},             // a wide character is no hex digit, whatever its low bits
      {U"", U""},
  };
  for (const row& r : rows)
    for (uint32_t width : {1u, 2u, 4u})
      if (fits(r.text, width)) {
        EXPECT_EQ(decoded(r.text, width), r.expected) << "width " << width;
      }
}

TEST(PercentCoding, DecodesRawUtf8TextAndRefusesIllFormedBytes) {
  EXPECT_EQ(decoded_utf8("caf\xC3\xA9%20%E2%82%AC"), U"caf\u00E9 \u20AC");
  EXPECT_EQ(decoded_utf8("%C3\xC3\xA9"), U"%C3\u00E9");
  uint8_t pair = 0;
  const uint8_t text[] = {'%', '4', 'f', '%', '4'};
  EXPECT_TRUE(url::decode_pair(text, text + 3, &pair));
  EXPECT_EQ(pair, 0x4F);
  EXPECT_FALSE(url::decode_pair(text + 3, text + 5, &pair));  // never reads past the end
  EXPECT_FALSE(url::decode_pair(text + 1, text + 5, &pair));
  EXPECT_EQ(pair, 0x4F);
  for (std::string_view bad : {std::string_view("a\xFF"), std::string_view("%20\xC3")})
    EXPECT_EQ(fired_by([&] { decoded_utf8(bad); }), error_id::access_invalid_utf8) << bad;
}

// Deterministic code points of every width, percent signs and hex digits among them.
std::u32string pseudo_random_text(size_t n, uint32_t seed, uint32_t width) {
  const uint32_t limit = width == 1 ? 0x100 : width == 2 ? 0x10000 : 0x110000;
  std::u32string text;
  while (text.size() < n) {
    seed = seed * 1664525u + 1013904223u;
    uint32_t cp = (seed >> 8) % limit;
    if (seed % 4 == 0) cp = "%Af/ 9"[seed % 6 == 0 ? 0 : (seed >> 3) % 6];
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    text.push_back(cp);
  }
  return text;
}

TEST(PercentCoding, EncodedTextDecodesBackInBothModes) {
  for (uint32_t width : {1u, 2u, 4u})
    for (size_t n : {0, 1, 2, 5, 40, 333}) {
      std::u32string text = pseudo_random_text(n, static_cast<uint32_t>(n * 31 + width), width);
      for (uint32_t mode : {url::url_mode, url::strict_mode}) {
        std::string encoding = encoded(text, width, mode);
        for (char c : encoding)
          EXPECT_TRUE(c == '%' || url::plain_p(static_cast<uint8_t>(c), mode) ||
                      std::string_view("0123456789ABCDEF").find(c) != std::string_view::npos);
        EXPECT_EQ(decoded(wide(encoding), 1), text) << "width " << width << ", " << n;
        EXPECT_EQ(decoded_utf8(encoding), text) << "width " << width << ", " << n;
      }
    }
}

}  // namespace
}  // namespace tav
