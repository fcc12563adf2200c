// Base-N encodings: known vectors, the decoders' skipping, comments and failures at every unit
// width, round trips of random data, and the size limits of huge counts.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "datatypes/base_n.hpp"
#include "runtime/memory.hpp"
#include "runtime/unicode.hpp"
#include "tests/runtime/fire_helpers.hpp"
#include "tests/runtime/memory_fixture.hpp"

namespace tav {
namespace {

using testing::fired_by;
using BaseN = testing::fresh_memory;
using bytes = std::vector<uint8_t>;

bytes bytes_of(std::string_view text) { return bytes(text.begin(), text.end()); }

// Room each encoder is promised, exactly, so that ASan sees a write past it.
size_t room_for(int base, size_t n) {
  switch (base) {
    case 2: return 8 * n;
    case 16:
    case 58: return 2 * n;
    default: return (n + 2) / 3 * 4;
  }
}

std::string encoded(int base, const bytes& source) {
  size_t room = room_for(base, source.size());
  std::unique_ptr<uint8_t[]> out(new uint8_t[room]);
  uint8_t* end = nullptr;
  switch (base) {
    case 2: end = binary::encode_2(out.get(), source.data(), source.size()); break;
    case 16: end = binary::encode_16(out.get(), source.data(), source.size()); break;
    case 58: end = binary::encode_58(out.get(), source.data(), source.size()); break;
    default: end = binary::encode_64(out.get(), source.data(), source.size()); break;
  }
  EXPECT_LE(static_cast<size_t>(end - out.get()), room);
  return std::string(reinterpret_cast<const char*>(out.get()), static_cast<size_t>(end - out.get()));
}

node_id decode_node(int base, const void* source, size_t count, uint32_t unit) {
  switch (base) {
    case 2: return binary::decode_2(source, count, unit);
    case 16: return binary::decode_16(source, count, unit);
    case 58: return binary::decode_58(source, count, unit);
    default: return binary::decode_64(source, count, unit);
  }
}

size_t nodes_in_use() {
  size_t used = 0;
  for (node_frame* frame = memory::state.node_head; frame; frame = frame->next) used += frame->used;
  return used;
}

// Decodes the code points as units of `unit` bytes, held in a block of exactly their size so
// that a read past the text is caught. Nothing means the decoder failed; it must then have
// left no node in use.
std::optional<bytes> decoded(int base, std::u32string_view text, uint32_t unit) {
  std::unique_ptr<uint8_t[]> units(new uint8_t[text.size() * unit]);
  for (size_t i = 0; i < text.size(); ++i) unicode::set_unit(units.get(), i, unit, text[i]);
  size_t nodes_before = nodes_in_use();
  node_id node = decode_node(base, units.get(), text.size(), unit);
  if (node == 0) {
    EXPECT_EQ(nodes_in_use(), nodes_before);
    return std::nullopt;
  }
  series_buffer* buffer = buffer_of(node);
  EXPECT_EQ(buffer->unit(), 1u);
  EXPECT_EQ(buffer->offset, 0u);
  EXPECT_LE(buffer->tail, buffer->size);
  return bytes(buffer->data(), buffer->data() + buffer->tail);
}

std::u32string wide(std::string_view text) { return std::u32string(text.begin(), text.end()); }

std::optional<bytes> decoded(int base, std::string_view text) { return decoded(base, wide(text), 1); }

// Deterministic filler: a linear congruential sequence, high byte of each step.
bytes pseudo_random(size_t n, uint32_t seed) {
  bytes data(n);
  for (auto& b : data) {
    seed = seed * 1664525u + 1013904223u;
    b = static_cast<uint8_t>(seed >> 24);
  }
  return data;
}

TEST_F(BaseN, KnownVectorsEncodeAndDecodeBack) {
  struct row {
    int base;
    std::string_view source;
    std::string_view text;
  };
  const row rows[] = {
      {64, "", ""},
      {64, "f", "Zg=="},
      {64, "fo", "Zm8="},
      {64, "foo", "Zm9v"},
      {64, "foob", "Zm9vYg=="},
      {64, "fooba", "Zm9vYmE="},
      {64, "foobar", "Zm9vYmFy"},
      {64, "ab", "YWI="},
      {64, "\xFB\xFF\xBF", "+/+/"},
      {16, "", ""},
      {16, "f", "66"},
      {16, "foobar", "666F6F626172"},
      {16, std::string_view("\x00\xAB\xFF", 3), "00ABFF"},
      {58, "", ""},
      {58, std::string_view("\x00\x00\x01", 3), "112"},
      {58, std::string_view("\x00\x00\x28\x7F\xB4\xCD", 6), "11233QC4"},
      {58, "\xFF", "5Q"},
      {58, "Hello World!", "2NEpo7TZRRrLZSi2U"},
      {58, "The quick brown fox jumps over the lazy dog.",
       "USm3fpXnKG5EUBx2ndxBDMPVciP5hGey2Jh4NDv6gmeo1LkMeiKrLJUUBk6Z"},
      {58, std::string_view("\x00", 1), "1"},
      {2, "", ""},
      {2, "A", "01000001"},
      {2, "\x80\x01", "1000000000000001"},
  };
  for (const row& r : rows) {
    bytes source = bytes_of(r.source);
    EXPECT_EQ(encoded(r.base, source), r.text) << "base " << r.base << " of " << r.source;
    EXPECT_EQ(decoded(r.base, r.text), source) << "base " << r.base << " of " << r.text;
  }
}

TEST_F(BaseN, DecodingSkipsCommentsAndFailsOnInvalidText) {
  const bytes abc = bytes_of("abc");
  struct row {
    int base;
    std::string_view text;
    std::optional<bytes> expected;
  };
  const row rows[] = {
      // base 64
      {64, "YQ*", std::nullopt},
      {64, " Y W\nJ\tj'\r\f\b", abc},
      {64, "YWJj=", std::nullopt},     // "=" after no digit of a group
      {64, "YWJjY===", std::nullopt},  // after one digit
      {64, "YQ==*junk", bytes_of("a")},  // nothing after the first "=" is read
      {64, "YWI=YQ==", bytes_of("ab")},
      // An unpadded last group gives the whole bytes it holds; one digit holds none.
      {64, "YWI", bytes_of("ab")},
      {64, "YWJjZA", bytes_of("abcd")},
      {64, "YWJjZGU", bytes_of("abcde")},
      {64, "YWJjZ", std::nullopt},
      {64, "Y", std::nullopt},
      {64, "YW;c*mment\nJj", abc},
      {64, "YWJj;comment runs to the end", abc},
      {64, "YW-J", std::nullopt},
      {64, "YW_J", std::nullopt},
      // base 16
      {16, "0F a", std::nullopt},  // a lone last digit holds half a byte
      {16, "0G", std::nullopt},
      {16, "ab\x01\x1F cD", bytes{0xAB, 0xCD}},
      {16, "'ab", std::nullopt},
      {16, "0f ; 11 \n 22", bytes{0x0F, 0x22}},
      {16, "", bytes{}},
      // base 58
      {58, "1 1\n'2", bytes{0, 0, 1}},
      {58, "0", std::nullopt},
      {58, "O", std::nullopt},
      {58, "I", std::nullopt},
      {58, "l", std::nullopt},
      {58, "2;x\n2", bytes{59}},
      {58, "111", bytes{0, 0, 0}},
      // base 2
      {2, "0100 0001", bytes{0x41}},
      {2, "0100000", std::nullopt},
      {2, "01000002", std::nullopt},
      {2, "0100\t0001\n;01\n11111111", bytes{0x41, 0xFF}},
      {2, "01000001;0", bytes{0x41}},
      {2, "", bytes{}},
  };
  for (const row& r : rows)
    for (uint32_t unit : {1u, 2u, 4u})
      EXPECT_EQ(decoded(r.base, wide(r.text), unit), r.expected) << "base " << r.base << " of " << r.text << " in unit " << unit;
}

// No code point beyond ASCII is a digit in any base, even when its low bits would be one.
TEST_F(BaseN, WideCodePointsNeverReadAsDigits) {
  struct row {
    int base;
    std::u32string text;
  };
  const row rows[] = {
      {16, U"0\u00C1"},   // low 7 bits: 'A'
      {16, U"\u01460"},   // low 8 bits: 'F'
      {16, U"00\u00E9"},
      {64, U"YW\u00C9j"},
      {64, U"YWJ\U00010041"},
      {58, U"2\u00E92"},  // a character past the digits does not end the text quietly
      {58, U"2\u0132"},   // low 8 bits: '2'
      {2, U"0100000\u0131"},  // low 8 bits: '1'
  };
  for (const row& r : rows)
    for (uint32_t unit : {1u, 2u, 4u}) {
      if (unit == 1 && r.text.find_first_of(U"\u0146\u0132\u0131\U00010041") != std::u32string::npos) continue;
      if (unit == 2 && r.text.find(U'\U00010041') != std::u32string::npos) continue;
      EXPECT_EQ(decoded(r.base, r.text, unit), std::nullopt) << "base " << r.base << " in unit " << unit;
    }
}

// The direct long division of the number by 58, one byte at a time: an independent account of
// what base 58 must give, whatever way the encoder works.
std::string base58_by_bytes(const bytes& source) {
  static constexpr char alphabet[] = "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz";
  bytes number = source;
  std::string digits;
  size_t start = 0;
  while (start < number.size() && number[start] == 0) ++start;
  size_t zeros = start;
  while (start < number.size()) {
    uint32_t remainder = 0;
    for (size_t i = start; i < number.size(); ++i) {
      uint32_t current = remainder * 256 + number[i];
      number[i] = static_cast<uint8_t>(current / 58);
      remainder = current % 58;
    }
    digits.insert(digits.begin(), alphabet[remainder]);
    while (start < number.size() && number[start] == 0) ++start;
  }
  return std::string(zeros, '1') + digits;
}

TEST_F(BaseN, RandomDataRoundTripsThroughEveryBase) {
  std::vector<size_t> lengths;
  for (size_t n = 0; n <= 70; ++n) lengths.push_back(n);
  for (size_t n : {127, 128, 255, 256, 257, 1000, 4099}) lengths.push_back(n);
  for (size_t n : lengths) {
    bytes source = pseudo_random(n, static_cast<uint32_t>(n) * 7919u + 1);
    if (n % 5 == 1) std::fill_n(source.begin(), n / 3, uint8_t{0});  // leading zero bytes
    for (int base : {2, 16, 58, 64}) {
      std::string text = encoded(base, source);
      EXPECT_EQ(decoded(base, text), source) << "base " << base << ", " << n << " bytes";
    }
    EXPECT_EQ(encoded(58, source), base58_by_bytes(source)) << n << " bytes";
  }
  // Long runs cross the decoders' group fast path at every phase; base 64 at all three widths.
  bytes big = pseudo_random(300001, 99);
  for (int base : {2, 16, 64}) EXPECT_EQ(decoded(base, encoded(base, big)), big) << "base " << base;
  std::string text = encoded(64, big);
  for (uint32_t unit : {2u, 4u}) EXPECT_EQ(decoded(64, wide(text), unit), big) << "unit " << unit;
}

TEST_F(BaseN, Base58OfAllZerosAndAllOnes) {
  for (size_t n : {1, 2, 17, 64}) {
    bytes zeros(n, 0);
    EXPECT_EQ(encoded(58, zeros), std::string(n, '1'));
    EXPECT_EQ(decoded(58, std::string(n, '1')), zeros);
    bytes ones(n, 0xFF);  // the longest text for its size
    std::string text = encoded(58, ones);
    EXPECT_EQ(text, base58_by_bytes(ones));
    EXPECT_EQ(decoded(58, text), ones);
  }
}

// A count whose result capacity does not fit a series fails before any byte is read or
// written: in 32-bit arithmetic (count + 3) x 3 / 4 would have wrapped to 1 byte here.
TEST_F(BaseN, HugeCountsRaiseNoMemoryBeforeReading) {
  const uint8_t text[4] = {'Y', 'W', 'J', 'j'};
  struct row {
    int base;
    size_t count;
  };
  const row rows[] = {{64, 0xAAAAAAABu}, {58, 0xAAAAAAABu}, {64, size_t{1} << 40}, {58, size_t{1} << 40},
                      {16, size_t{1} << 40}, {2, size_t{1} << 40}};
  for (const row& r : rows)
    EXPECT_EQ(fired_by([&] { decode_node(r.base, text, r.count, 1); }), error_id::internal_no_memory)
        << "base " << r.base << ", count " << r.count;
}

}  // namespace
}  // namespace tav
