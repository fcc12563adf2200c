// Raw deflate: the compressor's exact output and size reporting, and the decompressor on
// every block type, on counting runs, and on corrupt streams.
#include <gtest/gtest.h>

#include <string>

#include "io/deflate.hpp"
#include "tests/io/codec_helpers.hpp"

namespace tav::test {
namespace {

using st = codec_status;

bytes_t compress_all(const bytes_t& input) {
  run_result sizing = run(deflate::compress, input, deflate::compress_bound(input.size()));
  EXPECT_EQ(sizing.status, st::ok);
  sizing.output.resize(sizing.length);
  return sizing.output;
}

// Expected streams come from a separate bit-by-bit encoding of the same token choices.
TEST(DeflateCompress, WritesOneFixedBlockOfFirstMatches) {
  struct row {
    const char* what;
    bytes_t input;
    const char* stream;
  };
  const row rows[] = {
      {"empty input: header, end of block, padding", {}, "0300"},
      {"a run matches one back", text_bytes("aaaaaa"), "4B4C4C040200"},
      // "ccc" picks slot 1, so slot 0 is unused and stands for position 0
      {"an unused slot is position 0", text_bytes("cccccc"), "4B4E4E062200"},
      {"the first candidate wins, not the longest", text_bytes("bbbbabbbba"), "4B4A4A4A4A04E2A44400"},
      {"bytes from 144 take 9 bits", hex("C8C9CAC8C9CA"), "3B71F214100100"},
      {"runs take 258 bytes per match", bytes_t(1000, 'a'), "4B4C4C1C05A321301A02C33C0400"},
  };
  for (const row& r : rows) {
    bytes_t stream = compress_all(r.input);
    EXPECT_EQ(stream, hex(r.stream)) << r.what;
    EXPECT_EQ(zlib_inflate(stream, -15), r.input) << r.what;
  }
}

TEST(DeflateCompress, MatchesReachBackLessThan32768Bytes) {
  auto with_gap = [](size_t gap) {
    bytes_t input = text_bytes("xyz");
    input.resize(3 + gap, 0);
    for (char c : std::string("xyz")) input.push_back(uint8_t(c));
    return input;
  };
  bytes_t near = compress_all(with_gap(32764));  // the second "xyz" is 32,767 bytes on
  bytes_t far = compress_all(with_gap(32765));   // 32,768: three literals instead
  ASSERT_EQ(near.size(), 326u);
  ASSERT_EQ(far.size(), 326u);
  EXPECT_EQ(bytes_t(near.end() - 8, near.end()), hex("30C2430078FD3F00"));
  EXPECT_EQ(bytes_t(far.end() - 8, far.end()), hex("30D243A0A2B20A00"));
  EXPECT_EQ(zlib_inflate(near, -15), with_gap(32764));
  EXPECT_EQ(zlib_inflate(far, -15), with_gap(32765));
}

TEST(DeflateCompress, LargeInputGivesTheExpectedStream) {
  bytes_t input = text_sample(100000);
  bytes_t noise = noise_sample(40000, 1234);
  input.insert(input.end(), noise.begin(), noise.end());
  input.insert(input.end(), noise.begin(), noise.begin() + 300);
  input.insert(input.end(), noise.begin() + 8000, noise.begin() + 8300);
  bytes_t stream = compress_all(input);
  EXPECT_EQ(stream.size(), 77628u);
  EXPECT_EQ(crc32(0, stream.data(), uInt(stream.size())), 0xE1A212B1u);
  EXPECT_EQ(zlib_inflate(stream, -15), input);
}

TEST(DeflateCompress, ReportsTheSizeNeededAndNeverWritesPastTheCapacity) {
  bytes_t input = text_sample(5000);
  bytes_t full = compress_all(input);
  for (size_t capacity : {size_t(0), size_t(1), full.size() / 2, full.size() - 1}) {
    run_result r = run(deflate::compress, input, capacity);
    EXPECT_EQ(r.status, st::too_small) << capacity;
    EXPECT_EQ(r.length, full.size()) << capacity;
    EXPECT_TRUE(std::equal(r.output.begin(), r.output.end(), full.begin())) << capacity;
  }
  run_result exact = run(deflate::compress, input, full.size());
  EXPECT_EQ(exact.status, st::ok);
  EXPECT_EQ(exact.output, full);
}

TEST(DeflateCompress, NeverExceedsTheBound) {
  for (const bytes_t& input : {noise_sample(70000), bytes_t(3000, 0xFF), hex("FF")}) {
    run_result r = run(deflate::compress, input, deflate::compress_bound(input.size()));
    EXPECT_EQ(r.status, st::ok);
    EXPECT_EQ(zlib_inflate(bytes_t(r.output.begin(), r.output.begin() + r.length), -15), input);
  }
}

// Huffman codes of a set of lengths, and the header of a final dynamic block using them.
struct dynamic_codes {
  std::vector<uint8_t> literal_lengths, distance_lengths;
  std::vector<uint32_t> literals, distances;

  dynamic_codes(std::vector<uint8_t> lit, std::vector<uint8_t> dist)
      : literal_lengths(std::move(lit)), distance_lengths(std::move(dist)),
        literals(canonical_codes(literal_lengths)), distances(canonical_codes(distance_lengths)) {}

  void header(bit_assembler& bits) const {
    std::vector<uint8_t> all = literal_lengths;
    all.insert(all.end(), distance_lengths.begin(), distance_lengths.end());
    dynamic_header(bits, unsigned(literal_lengths.size()), unsigned(distance_lengths.size()), all_code_lengths(),
                   plain_lengths(all));
  }
  void literal(bit_assembler& bits, unsigned symbol) const { bits.code(literals[symbol], literal_lengths[symbol]); }
  void distance(bit_assembler& bits, unsigned symbol) const { bits.code(distances[symbol], distance_lengths[symbol]); }
};

std::vector<uint8_t> lengths_of(size_t count, std::initializer_list<std::pair<unsigned, uint8_t>> set) {
  std::vector<uint8_t> lengths(count, 0);
  for (auto [symbol, length] : set) lengths[symbol] = length;
  return lengths;
}

TEST(Inflate, DecodesStoredFixedAndDynamicBlocksInSequence) {
  bit_assembler bits;
  bits.value(0, 1).value(0, 2).value(0, 5).value(3, 16).value(0xFFFC, 16);  // stored, not final
  for (char c : std::string("abc")) bits.value(uint8_t(c), 8);
  bits.value(0, 1).value(1, 2).fixed(257 + 2).code(2, 5).fixed('z').fixed(256);  // length 5, distance 3
  // A final dynamic block whose codes run from 1 to 15 bits: 'a' 1 bit ... 'n' 14, 'o' and
  // the end of block 15.
  std::vector<uint8_t> lit(257, 0);
  for (unsigned i = 0; i < 14; ++i) lit['a' + i] = uint8_t(i + 1);
  lit['o'] = 15;
  lit[256] = 15;
  dynamic_codes codes(lit, {0});
  codes.header(bits);
  std::string tail = "onmlkjihgfedcbaabo";
  for (char c : tail) codes.literal(bits, uint8_t(c));
  codes.literal(bits, 256);

  EXPECT_EQ(decode_all(inflate_codec, bits.out), text_bytes("abcabcabz" + tail));
}

TEST(Inflate, StopsAtTheFinalBlockAndReportsTheBytesUsed) {
  bytes_t fixed_stream = compress_all(text_sample(3000));              // ends inside a byte
  bytes_t stored_stream = zlib_deflate(noise_sample(3000), 0, -15);     // ends on a byte
  bytes_t dynamic_stream = zlib_deflate(text_sample(3000), 9, -15);
  for (const bytes_t& stream : {fixed_stream, stored_stream, dynamic_stream}) {
    bytes_t input = stream;
    input.insert(input.end(), {0xFF, 0x07, 0x00, 0x1F});
    bytes_t out(3000);
    size_t length = out.size(), used = 0;
    EXPECT_EQ(deflate::inflate(out.data(), length, input.data(), input.size(), &used), st::ok);
    EXPECT_EQ(length, 3000u);
    EXPECT_EQ(used, stream.size());
  }
}

TEST(Inflate, CountsWhatDoesNotFit) {
  bytes_t run_input(1000, 'a');
  bytes_t noise = noise_sample(1000);
  // A back-reference stream and a stored stream, cut at several capacities.
  for (auto [stream, expected] : {std::pair{compress_all(run_input), run_input},
                                  std::pair{zlib_deflate(noise, 0, -15), noise}}) {
    for (size_t capacity : {0, 1, 5, 999}) {
      run_result r = run(inflate_codec, stream, capacity);
      EXPECT_EQ(r.status, st::too_small) << capacity;
      EXPECT_EQ(r.length, 1000u) << capacity;
      EXPECT_TRUE(std::equal(r.output.begin(), r.output.end(), expected.begin())) << capacity;
    }
  }
}

bytes_t fixed_header() {
  bit_assembler bits;
  bits.value(1, 1).value(1, 2);
  return bits.out;
}

TEST(Inflate, RefusesCorruptStreams) {
  auto fixed = [](auto&& body) {
    bit_assembler bits;
    bits.value(1, 1).value(1, 2);
    body(bits);
    return bits.out;
  };
  auto dynamic = [](const std::vector<uint8_t>& code_lengths, const std::vector<length_token>& tokens) {
    bit_assembler bits;
    dynamic_header(bits, 257, 1, code_lengths, tokens);
    return bits.out;
  };
  std::vector<uint8_t> lit_ab_end = lengths_of(257, {{'a', 2}, {'b', 2}, {256, 2}, {'c', 2}});
  auto with_tables = [](std::vector<uint8_t> lit, std::vector<uint8_t> dist, auto&& body) {
    dynamic_codes codes(std::move(lit), std::move(dist));
    bit_assembler bits;
    codes.header(bits);
    body(bits, codes);
    return bits.out;
  };
  struct row {
    const char* what;
    bytes_t stream;
    codec_status expected;
  };
  const row rows[] = {
      {"reserved block type", hex("07"), st::reserved_block},
      {"no input at all", {}, st::truncated},
      {"no final block", hex("000000FFFF"), st::truncated},
      {"stored length past the input", hex("010500FAFF6162"), st::truncated},
      {"stored length without its complement", hex("0102000000" "6162"), st::bad_code},
      {"input ends before the end of block", hex("4B4C4C0402"), st::truncated},
      {"distance before the output start", fixed([](bit_assembler& b) { b.fixed(257).code(0, 5).fixed(256); }),
       st::too_far},
      {"distance one past the output", fixed([](bit_assembler& b) { b.fixed('a').fixed(257).code(1, 5).fixed(256); }),
       st::too_far},
      {"length symbol 286", fixed([](bit_assembler& b) { b.fixed('a').fixed(286); }), st::bad_code},
      {"length symbol 287", fixed([](bit_assembler& b) { b.fixed('a').fixed(287); }), st::bad_code},
      {"distance symbol 30", fixed([](bit_assembler& b) { b.fixed('a').fixed(257).code(30, 5).fixed(256); }),
       st::bad_code},
      {"distance symbol 31", fixed([](bit_assembler& b) { b.fixed('a').fixed(257).code(31, 5).fixed(256); }),
       st::bad_code},
      {"over-subscribed code-length code", dynamic(std::vector<uint8_t>(19, 1), {}), st::bad_code},
      {"incomplete code-length code", dynamic(lengths_of(19, {{8, 1}}), plain_lengths({8})), st::bad_code},
      {"repeat of a previous length first", dynamic(all_code_lengths(), {{16, 0}}), st::bad_code},
      {"zero run past the last length", dynamic(all_code_lengths(), {{18, 127}, {18, 127}}), st::bad_code},
      {"no end-of-block code", with_tables(lengths_of(257, {{'a', 1}, {'b', 1}}), {1}, [](auto&, auto&) {}),
       st::bad_code},
      {"incomplete literal code", with_tables(lengths_of(257, {{'a', 2}, {'b', 2}, {256, 2}}), {1}, [](auto&, auto&) {}),
       st::bad_code},
      {"over-subscribed literal code", with_tables(lengths_of(257, {{'a', 1}, {'b', 1}, {256, 1}}), {1},
                                                   [](auto&, auto&) {}),
       st::bad_code},
      {"over-subscribed distance code", with_tables(lit_ab_end, {1, 1, 1}, [](auto&, auto&) {}), st::bad_code},
      {"incomplete distance code of two", with_tables(lit_ab_end, {1, 2}, [](auto&, auto&) {}), st::bad_code},
  };
  for (const row& r : rows) {
    run_result counted = run(inflate_codec, r.stream, 0);
    EXPECT_EQ(counted.status, r.expected) << r.what;
    run_result stored = run(inflate_codec, r.stream, 64);
    EXPECT_EQ(stored.status, r.expected) << r.what;
  }
  EXPECT_EQ(decode_all(inflate_codec, fixed_header()), std::nullopt);
}

// A one-symbol distance code and a code without distances are allowed; what they leave
// unused must not decode as a neighbouring symbol.
TEST(Inflate, UnusedPatternsOfAllowedIncompleteCodesAreRefused) {
  std::vector<uint8_t> lit = lengths_of(257, {{'a', 2}, {'b', 2}, {256, 2}});
  lit.push_back(2);  // symbol 257: length 3
  auto stream = [&](std::vector<uint8_t> dist, unsigned distance_bit, bool with_match) {
    dynamic_codes codes(lit, std::move(dist));
    bit_assembler bits;
    codes.header(bits);
    codes.literal(bits, 'a');
    codes.literal(bits, 'b');
    if (with_match) {
      codes.literal(bits, 257);
      bits.code(distance_bit, 1);  // the one distance code is 0: distance 1
    }
    codes.literal(bits, 256);
    return bits.out;
  };
  EXPECT_EQ(decode_all(inflate_codec, stream({1}, 0, true)), text_bytes("abbbb"));
  EXPECT_EQ(run(inflate_codec, stream({1}, 1, true), 64).status, st::bad_code);
  EXPECT_EQ(decode_all(inflate_codec, stream({0}, 0, false)), text_bytes("ab"));
  EXPECT_EQ(run(inflate_codec, stream({0}, 0, true), 64).status, st::bad_code);

  // A literal code with only the end of block, one bit: the pattern 1 is no code.
  dynamic_codes only_end(lengths_of(257, {{256, 1}}), {0});
  bit_assembler empty, bad;
  only_end.header(empty);
  only_end.literal(empty, 256);
  only_end.header(bad);
  bad.code(1, 1);
  EXPECT_EQ(decode_all(inflate_codec, empty.out), bytes_t{});
  EXPECT_EQ(run(inflate_codec, bad.out, 64).status, st::bad_code);
}

}  // namespace
}  // namespace tav::test
