// CRC-32, the Internet checksum and Adler-32: known values and zlib as the reference.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "io/checksum.hpp"

namespace tav {
namespace {

const uint8_t* bytes_of(std::string_view text) { return reinterpret_cast<const uint8_t*>(text.data()); }

// Deterministic filler: a linear congruential sequence, high byte of each step.
std::vector<uint8_t> pseudo_random(size_t n, uint32_t seed) {
  std::vector<uint8_t> data(n);
  for (auto& b : data) {
    seed = seed * 1664525u + 1013904223u;
    b = static_cast<uint8_t>(seed >> 24);
  }
  return data;
}

TEST(Checksum, KnownValues) {
  EXPECT_EQ(static_cast<int32_t>(digest::crc32(bytes_of("123456789"), 9)), -873187034);
  EXPECT_EQ(digest::crc32(nullptr, 0), 0u);
  EXPECT_EQ(digest::adler32(bytes_of("abc"), 3), 0x024D0127u);
  EXPECT_EQ(digest::adler32(nullptr, 0), 1u);
  const uint8_t rfc_example[] = {0x00, 0x01, 0xF2, 0x03, 0xF4, 0xF5, 0xF6, 0xF7};
  EXPECT_EQ(digest::tcp_checksum(rfc_example, sizeof rfc_example), 0x220D);
  const uint8_t one = 0x01;
  EXPECT_EQ(digest::tcp_checksum(&one, 1), 0xFEFF);  // odd byte is the high byte
  EXPECT_EQ(digest::tcp_checksum(nullptr, 0), 0xFFFF);
}

// Lengths around the word step of the CRC and the chunk and block steps of Adler-32,
// each at every alignment of the word reads.
TEST(Checksum, MatchZlibAcrossLengthsAndAlignments) {
  const std::vector<uint8_t> data = pseudo_random((1 << 20) + 16, 12345);
  const size_t lengths[] = {0, 1, 7, 8, 9, 15, 16, 17, 63, 3853, 3854, 3855, 5552, 7709, 1 << 20};
  for (size_t length : lengths)
    for (size_t offset = 0; offset < 8; ++offset) {
      const uint8_t* p = data.data() + offset;
      const auto n = static_cast<uInt>(length);
      EXPECT_EQ(digest::crc32(p, length), ::crc32(0, p, n)) << length << " at " << offset;
      EXPECT_EQ(digest::adler32(p, length), ::adler32(1, p, n)) << length << " at " << offset;
    }
}

// All-ones bytes drive both Adler sums to their largest values before each reduction.
TEST(Checksum, LargestBytesDoNotOverflowTheSums) {
  const std::vector<uint8_t> ones(3 << 20, 0xFF);
  EXPECT_EQ(digest::adler32(ones.data(), ones.size()), ::adler32(1, ones.data(), static_cast<uInt>(ones.size())));
  EXPECT_EQ(digest::crc32(ones.data(), ones.size()), ::crc32(0, ones.data(), static_cast<uInt>(ones.size())));
  // Every word is 0xFFFF, so the ones' complement sum is 0xFFFF and the checksum 0; a
  // 32-bit running sum would have wrapped and lost carries long before the end.
  EXPECT_EQ(digest::tcp_checksum(ones.data(), ones.size()), 0);
}

// Data followed by its own checksum sums to ones' complement zero, whatever its size.
TEST(Checksum, TcpChecksumVerifiesItself) {
  for (size_t length : {size_t{2}, size_t{1000}, size_t{1} << 20}) {
    std::vector<uint8_t> data = pseudo_random(length, static_cast<uint32_t>(length));
    uint16_t sum = digest::tcp_checksum(data.data(), data.size());
    data.push_back(static_cast<uint8_t>(sum >> 8));
    data.push_back(static_cast<uint8_t>(sum));
    EXPECT_EQ(digest::tcp_checksum(data.data(), data.size()), 0) << length;
  }
}

// Data read in pieces of any size, odd ones too, sums as the whole does.
TEST(Checksum, PiecesGiveTheSumOfTheWhole) {
  const std::vector<uint8_t> data = pseudo_random(200003, 777);
  for (size_t piece : {size_t{1}, size_t{3}, size_t{4096}, size_t{65535}, size_t{65536}, data.size()}) {
    uint32_t crc = 0, adler = 1;
    digest::tcp_sum tcp;
    for (size_t at = 0; at < data.size(); at += piece) {
      size_t n = std::min(piece, data.size() - at);
      crc = digest::crc32(data.data() + at, n, crc);
      adler = digest::adler32(data.data() + at, n, adler);
      digest::tcp_add(tcp, data.data() + at, n);
    }
    EXPECT_EQ(crc, digest::crc32(data.data(), data.size())) << piece;
    EXPECT_EQ(adler, digest::adler32(data.data(), data.size())) << piece;
    EXPECT_EQ(digest::tcp_finish(tcp), digest::tcp_checksum(data.data(), data.size())) << piece;
  }
}

}  // namespace
}  // namespace tav
