// Compression by method: results and invalid-data as the language sees them, and a seeded
// run of damaged streams through every decoder.
#include <gtest/gtest.h>

#include <random>

#include "io/compression.hpp"
#include "io/gzip.hpp"
#include "io/zlib.hpp"
#include "runtime/errors.hpp"
#include "runtime/throw.hpp"
#include "tests/io/codec_helpers.hpp"

namespace tav::test {
namespace {

using compression::method;

bytes_t compress(method how, const bytes_t& input) { return compression::compress(how, input.data(), input.size()); }
bytes_t decompress(method how, const bytes_t& input, size_t size = 0) {
  return compression::decompress(how, input.data(), input.size(), size);
}

// The error the call raised, or none.
template <class Call>
std::optional<error_id> raised(Call&& call) {
  try {
    call();
  } catch (const system_throw_signal&) {
    return last_fired.id;
  }
  return std::nullopt;
}

TEST(Compression, GivesTheExpectedBytes) {
  EXPECT_EQ(compress(method::gzip, {}), hex("1F8B080000000000040403000000000000000000"));
  EXPECT_EQ(compress(method::deflate, text_bytes("aaaaaa")), hex("4B4C4C040200"));
  EXPECT_EQ(compress(method::zlib, {}), hex("7801030000000001"));
  EXPECT_EQ(decompress(method::gzip, hex("1F8B08080000000002FF612E74787400CBC80400AC2A93D802000000")), text_bytes("hi"));
}

TEST(Compression, RoundTripsEveryMethodAndSize) {
  const bytes_t inputs[] = {{}, hex("1F8B08"), text_sample(1), text_sample(70000), noise_sample(70000),
                            bytes_t(300000, 0)};  // zeros expand past the first guess
  for (method how : {method::deflate, method::zlib, method::gzip}) {
    for (const bytes_t& input : inputs) {
      bytes_t packed = compress(how, input);
      EXPECT_EQ(decompress(how, packed), input) << int(how) << " " << input.size();
      EXPECT_EQ(decompress(how, packed, input.size() + 1), input) << int(how) << " " << input.size();
    }
  }
  bytes_t member = compress(method::gzip, text_sample(100));
  bytes_t members = member;
  members.insert(members.end(), member.begin(), member.end());
  bytes_t once = text_sample(100), expected = once;
  expected.insert(expected.end(), once.begin(), once.end());
  EXPECT_EQ(decompress(method::gzip, members), expected);
}

TEST(Compression, CorruptInputIsInvalidData) {
  bytes_t gzip_bomb = hex("1F8B0800000000000403" "0300" "00000000" "FFFFFFFF");
  struct row {
    const char* what;
    method how;
    bytes_t input;
  };
  const row rows[] = {
      {"reserved block type", method::deflate, hex("07")},
      {"empty raw input", method::deflate, {}},
      {"raw stream without its final block", method::deflate, hex("000000FFFF")},
      {"zlib header only", method::zlib, hex("7801")},
      {"zlib check value", method::zlib, hex("7801030000000002")},
      {"gzip size claim of 4 GB", method::gzip, gzip_bomb},
      {"gzip too short", method::gzip, hex("1F8B08")},
      {"gzip of another method", method::gzip, hex("1F8B0700000000000403030000000000000000000")},
  };
  for (const row& r : rows)
    EXPECT_EQ(raised([&] { decompress(r.how, r.input); }), error_id::script_invalid_data) << r.what;
}

void mutate(bytes_t& data, std::mt19937& random) {
  auto pick = [&](size_t n) { return n ? size_t(random() % n) : 0; };
  int steps = 1 + int(random() % 3);
  for (int i = 0; i < steps && !data.empty(); ++i) {
    size_t at = pick(data.size());
    switch (random() % 6) {
      case 0:
        data[at] ^= uint8_t(1u << (random() % 8));
        break;
      case 1:
        data[at] = uint8_t(random());
        break;
      case 2:
        data.resize(at);
        break;
      case 3:
        data.erase(data.begin() + at, data.begin() + std::min(data.size(), at + 1 + pick(16)));
        break;
      case 4:
        data.insert(data.begin() + at, uint8_t(random()));
        break;
      default: {
        size_t to = pick(data.size());
        data[to] = data[at];
        break;
      }
    }
  }
}

// Damaged streams must end in a result code, never outside a buffer (the runs use buffers
// of exactly their size), and a counting run must agree with the run that stores.
TEST(Compression, DamagedStreamsFailCleanly) {
  bytes_t text = text_sample(3000, 9);
  std::vector<bytes_t> seeds = {
      compress(method::deflate, text),
      zlib_deflate(text, 9, -15),
      zlib_deflate(noise_sample(400), 0, -15),
      zlib_deflate(text, 9, -15, Z_FIXED),
      compress(method::zlib, text),
      zlib_deflate(text, 6, 15),
      zlib_deflate(text, 6, 31),
  };
  bytes_t named = hex("1F8B081E00000000" "0003" "0300414243" "6E616D6500" "6E6F746500");
  uint32_t header_crc = crc32(0, named.data(), uInt(named.size()));
  named.push_back(uint8_t(header_crc));
  named.push_back(uint8_t(header_crc >> 8));
  bytes_t member = compress(method::gzip, text_sample(500, 4));
  named.insert(named.end(), member.begin() + 10, member.end());
  named.insert(named.end(), member.begin(), member.end());
  seeds.push_back(named);

  const codec_fn decoders[] = {inflate_codec, zlib::decompress, gzip::decompress};
  std::mt19937 random(20240611);
  int decoded = 0;
  for (int round = 0; round < 6000; ++round) {
    bytes_t input = seeds[round % seeds.size()];
    mutate(input, random);
    for (codec_fn decoder : decoders) {
      run_result counted = run(decoder, input, 0);
      run_result partial = run(decoder, input, 100);
      EXPECT_LE(uint32_t(counted.status), uint32_t(codec_status::bad_code)) << round;
      if (counted.status != codec_status::too_small) continue;
      ASSERT_LE(counted.length, size_t(1) << 24) << round;
      run_result full = run(decoder, input, counted.length);
      if (full.status == codec_status::ok) {
        ++decoded;
        EXPECT_EQ(full.length, counted.length) << round;
        if (counted.length > 100) {
          EXPECT_EQ(partial.status, codec_status::too_small) << round;
          EXPECT_TRUE(std::equal(partial.output.begin(), partial.output.end(), full.output.begin())) << round;
        }
      }
    }
  }
  EXPECT_GT(decoded, 0);  // some damage is harmless (bytes past the stream, a changed literal)
}

}  // namespace
}  // namespace tav::test
