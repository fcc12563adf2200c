// CRC-32 and Adler-32: check values, running over pieces, and long inputs against zlib.
#include <gtest/gtest.h>

#include "io/checksum.hpp"
#include "tests/io/codec_helpers.hpp"

namespace tav::test {
namespace {

TEST(Checksum, KnownValues) {
  bytes_t digits = text_bytes("123456789"), abc = text_bytes("abc");
  EXPECT_EQ(checksum::crc32(digits.data(), digits.size()), 0xCBF43926u);
  EXPECT_EQ(checksum::crc32(nullptr, 0), 0u);
  EXPECT_EQ(checksum::adler32(abc.data(), abc.size()), 0x024D0127u);
  EXPECT_EQ(checksum::adler32(nullptr, 0), 1u);
}

TEST(Checksum, RunsOverPiecesAndLongInputs) {
  // 0xFF bytes make the Adler sums grow fastest between reductions.
  for (const bytes_t& data : {noise_sample(200000), bytes_t(100000, 0xFF)}) {
    uint32_t crc = 0, adler = 1;
    for (size_t at = 0; at < data.size(); at += 7001) {
      size_t n = std::min<size_t>(7001, data.size() - at);
      crc = checksum::crc32(data.data() + at, n, crc);
      adler = checksum::adler32(data.data() + at, n, adler);
    }
    EXPECT_EQ(crc, ::crc32(0, data.data(), uInt(data.size())));
    EXPECT_EQ(adler, ::adler32(1, data.data(), uInt(data.size())));
    EXPECT_EQ(checksum::adler32(data.data(), data.size()), adler);
  }
}

}  // namespace
}  // namespace tav::test
