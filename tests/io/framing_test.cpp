// Zlib and gzip framing: headers and trailers written and checked, gzip members read in
// turn, and sizes claimed by a gzip trailer refused when they cannot be true.
#include <gtest/gtest.h>

#include "io/gzip.hpp"
#include "io/zlib.hpp"
#include "tests/io/codec_helpers.hpp"

namespace tav::test {
namespace {

using st = codec_status;

bytes_t concat(std::initializer_list<bytes_t> parts) {
  bytes_t out;
  for (const bytes_t& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

bytes_t le32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }

bytes_t raw_stream(const bytes_t& data) {
  bytes_t out(deflate::compress_bound(data.size()));
  size_t length = out.size();
  deflate::compress(out.data(), length, data.data(), data.size());
  out.resize(length);
  return out;
}

TEST(ZlibFraming, WritesHeaderStreamAndAdler) {
  EXPECT_EQ(decode_all(zlib::compress, {}), std::nullopt);  // a counting call cannot hold the framing
  run_result empty = run(zlib::compress, {}, 8);
  EXPECT_EQ(empty.status, st::ok);
  EXPECT_EQ(empty.output, hex("7801030000000001"));

  bytes_t input = text_sample(2000);
  size_t full = raw_stream(input).size() + 6;
  struct row {
    size_t capacity;
    codec_status status;
    size_t length;
  };
  for (auto [capacity, status, length] : {row{5, st::malformed, input.size() + 6}, row{6, st::too_small, full},
                                          row{full - 4, st::too_small, full}, row{full - 1, st::too_small, full},
                                          row{full, st::ok, full}}) {
    run_result r = run(zlib::compress, input, capacity);
    EXPECT_EQ(r.status, status) << capacity;
    EXPECT_EQ(r.length, length) << capacity;
  }
  run_result r = run(zlib::compress, input, full);
  EXPECT_EQ(zlib_inflate(r.output, 15), input);
}

TEST(ZlibFraming, ChecksHeaderAndAdler) {
  bytes_t stream = raw_stream(text_bytes("hello, hello"));
  bytes_t adler = hex("1CDA0475");
  ASSERT_EQ(decode_all(zlib::decompress, concat({hex("7801"), stream, adler})), text_bytes("hello, hello"));
  // Other valid headers: default and best levels, a smaller window.
  for (const char* header : {"789C", "78DA", "2815"})
    EXPECT_EQ(decode_all(zlib::decompress, concat({hex(header), stream, adler})), text_bytes("hello, hello")) << header;
  struct row {
    const char* what;
    bytes_t input;
  };
  const row rows[] = {
      {"check bits wrong", concat({hex("7802"), stream, adler})},
      {"preset dictionary", concat({hex("78BB"), stream, adler})},
      {"method other than deflate", concat({hex("7709"), stream, adler})},
      {"window above 32 KB", concat({hex("881C"), stream, adler})},
      {"Adler-32 changed", concat({hex("7801"), stream, hex("1CDA0474")})},
      {"shorter than the framing", hex("7801030000")},
      {"header only", hex("7801")},
      {"bytes between the stream and the trailer", concat({hex("7801"), stream, hex("ADBE"), adler})},
      {"a byte after the trailer", concat({hex("7801"), stream, adler, hex("00")})},
      {"a trailer cut short", concat({hex("7801"), stream, hex("1CDA04")})},
  };
  for (const row& r : rows) {
    EXPECT_EQ(run(zlib::decompress, r.input, 64).status, st::malformed) << r.what;
    EXPECT_EQ(decode_all(zlib::decompress, r.input), std::nullopt) << r.what;
  }
  // The stream's own codes pass through.
  EXPECT_EQ(run(zlib::decompress, concat({hex("7801"), hex("07"), adler}), 64).status, st::reserved_block);
}

TEST(GzipFraming, WritesOneMemberEvenOfGzipData) {
  run_result empty = run(gzip::compress, {}, 20);
  EXPECT_EQ(empty.status, st::ok);
  EXPECT_EQ(empty.output, hex("1F8B080000000000040403000000000000000000"));

  // Data that looks like a gzip member is compressed all the same.
  bytes_t looks_gzip = concat({hex("1F8B08"), text_sample(500)});
  run_result member = run(gzip::compress, looks_gzip, 600);
  ASSERT_EQ(member.status, st::ok);
  member.output.resize(member.length);
  EXPECT_NE(member.output, looks_gzip);
  EXPECT_EQ(zlib_inflate(member.output, 31), looks_gzip);
  EXPECT_EQ(decode_all(gzip::decompress, member.output), looks_gzip);

  size_t full = member.length;
  for (auto [capacity, status, length] : {std::tuple{size_t(17), st::malformed, looks_gzip.size() + 18},
                                          std::tuple{size_t(18), st::too_small, full},
                                          std::tuple{full - 1, st::too_small, full}}) {
    run_result r = run(gzip::compress, looks_gzip, capacity);
    EXPECT_EQ(r.status, status) << capacity;
    EXPECT_EQ(r.length, length) << capacity;
  }
}

// A member of "hello" with the given flags and optional fields.
bytes_t member(uint8_t flags, const bytes_t& fields, const bytes_t& data = text_bytes("hello")) {
  bytes_t header = concat({hex("1F8B08"), {flags}, hex("00000000" "0003"), fields});
  return concat({header, raw_stream(data), le32(crc32(0, data.data(), uInt(data.size()))), le32(uint32_t(data.size()))});
}

TEST(GzipFraming, SkipsOptionalHeaderFields) {
  EXPECT_EQ(decode_all(gzip::decompress, hex("1F8B08080000000002FF612E74787400CBC80400AC2A93D802000000")),
            text_bytes("hi"));
  bytes_t base_header = hex("1F8B081E00000000" "0003" "0300" "414243" "6E616D6500" "6E6F746500");
  uint32_t header_crc = crc32(0, base_header.data(), uInt(base_header.size()));
  bytes_t hcrc = {uint8_t(header_crc), uint8_t(header_crc >> 8)};
  struct row {
    const char* what;
    uint8_t flags;
    bytes_t fields;
    bool valid;
  };
  const row rows[] = {
      {"extra field", 0x04, hex("0400" "01020304"), true},
      {"empty extra field", 0x04, hex("0000"), true},
      {"name", 0x08, text_bytes(std::string("file.txt") + '\0'), true},
      {"comment", 0x10, hex("6300"), true},
      {"all fields and header CRC", 0x1E, concat({hex("0300" "414243" "6E616D6500" "6E6F746500"), hcrc}), true},
      {"header CRC wrong", 0x1E, concat({hex("0300" "414243" "6E616D6500" "6E6F746500"), hex("0000")}), false},
      {"reserved flag", 0x20, {}, false},
      {"reserved flag 7", 0x80, {}, false},
      {"extra length past the input", 0x04, hex("FF00"), false},
      {"name without its end", 0x08, hex("6162636465666768696A6B6C6D6E6F707172737475767778797A"), false},
  };
  for (const row& r : rows) {
    bytes_t input = member(r.flags, r.fields);
    if (!r.valid && r.flags == 0x08) input.resize(10 + r.fields.size());  // the name runs to the end
    if (r.valid) {
      EXPECT_EQ(decode_all(gzip::decompress, input), text_bytes("hello")) << r.what;
      EXPECT_EQ(zlib_inflate(input, 31), text_bytes("hello")) << r.what;
    } else {
      EXPECT_EQ(run(gzip::decompress, input, 64).status, st::malformed) << r.what;
    }
  }
  for (const char* bad_start : {"1F8C08", "1E8B08", "1F8B07"}) {
    bytes_t input = member(0, {});
    bytes_t start = hex(bad_start);
    std::copy(start.begin(), start.end(), input.begin());
    EXPECT_EQ(run(gzip::decompress, input, 64).status, st::malformed) << bad_start;
  }
}

TEST(GzipFraming, ChecksEveryTrailer) {
  bytes_t good = member(0, {});
  ASSERT_EQ(decode_all(gzip::decompress, good), text_bytes("hello"));
  struct row {
    const char* what;
    size_t offset_from_end;
    uint8_t change;
  };
  for (auto [what, offset, change] : {row{"CRC changed", 8, 1}, row{"CRC top byte changed", 5, 0x80},
                                      row{"size one more", 4, 1}, row{"size one less", 4, 0xFF}}) {
    bytes_t input = good;
    input[input.size() - offset] = uint8_t(input[input.size() - offset] + change);
    EXPECT_EQ(run(gzip::decompress, input, 64).status, st::malformed) << what;
  }
  // Cut short, the stream runs into the trailer or the framing does not fit.
  EXPECT_EQ(run(gzip::decompress, bytes_t(good.begin(), good.end() - 1), 64).status, st::truncated);
  EXPECT_EQ(run(gzip::decompress, bytes_t(good.begin(), good.begin() + 17), 64).status, st::malformed);
}

TEST(GzipFraming, ReadsEveryMember) {
  bytes_t first = member(0, {}, text_bytes("hello "));
  bytes_t second = member(0x08, text_bytes(std::string("b") + '\0'), text_bytes("world"));
  bytes_t empty = member(0, {}, {});
  bytes_t zeros(5, 0);

  bytes_t both = concat({first, second});
  EXPECT_EQ(decode_all(gzip::decompress, both), text_bytes("hello world"));
  EXPECT_EQ(decode_all(gzip::decompress, concat({first, empty, zeros, second, zeros})), text_bytes("hello world"));

  // The size needed is the sum over all members, whatever part of it fits.
  for (size_t capacity : {0, 3, 6, 7, 10}) {
    run_result r = run(gzip::decompress, both, capacity);
    EXPECT_EQ(r.status, st::too_small) << capacity;
    EXPECT_EQ(r.length, 11u) << capacity;
    EXPECT_TRUE(std::equal(r.output.begin(), r.output.end(), text_bytes("hello world").begin())) << capacity;
  }

  bytes_t bad_second = both;
  bad_second[bad_second.size() - 8] ^= 1;
  struct row {
    const char* what;
    bytes_t input;
  };
  const row rows[] = {
      {"second member's CRC", bad_second},
      {"garbage after a member", concat({first, text_bytes("garbage that is not gzip")})},
      {"a few stray bytes", concat({first, hex("1F8B")})},
      {"second member cut short", bytes_t(both.begin(), both.end() - 3)},
  };
  for (const row& r : rows) EXPECT_EQ(run(gzip::decompress, r.input, 64).status, st::malformed) << r.what;
}

TEST(GzipFraming, RefusesSizesATrailerCannotTrulyClaim) {
  bytes_t small = member(0, {}, {});  // 20 bytes
  auto claiming = [&](uint32_t size) { return concat({bytes_t(small.begin(), small.end() - 4), le32(size)}); };
  for (uint32_t claim : {0xFFFFFFFFu, 0x80000000u, 20u * 1032u + 1u}) {
    EXPECT_EQ(gzip::claimed_size(claiming(claim).data(), 20), std::nullopt) << claim;
    EXPECT_EQ(run(gzip::decompress, claiming(claim), 0).status, st::malformed) << claim;
  }
  // The largest claim believed is still checked against what the stream produces.
  EXPECT_EQ(gzip::claimed_size(claiming(20 * 1032).data(), 20), size_t(20 * 1032));
  EXPECT_EQ(run(gzip::decompress, claiming(20 * 1032), 0).status, st::malformed);

  // Real streams near the largest expansion deflate allows are believed.
  bytes_t zeros(2 << 20, 0);
  bytes_t dense = zlib_deflate(zeros, 9, 31);
  ASSERT_GT(zeros.size() / dense.size(), 900u);
  EXPECT_EQ(decode_all(gzip::decompress, dense), zeros);
}

}  // namespace
}  // namespace tav::test
