// Helpers of the compression tests: byte literals, sample data, exactly sized runs of the
// codecs, a bit assembler for hand-made streams, and zlib as an independent codec.
#pragma once
#include <zlib.h>

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "io/deflate.hpp"

namespace tav::test {

using bytes_t = std::vector<uint8_t>;

inline bytes_t hex(std::string_view text) {
  bytes_t out;
  auto digit = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
  for (size_t i = 0; i + 1 < text.size(); i += 2) out.push_back(uint8_t(digit(text[i]) << 4 | digit(text[i + 1])));
  return out;
}

inline bytes_t text_bytes(std::string_view text) { return bytes_t(text.begin(), text.end()); }

// Words drawn by a linear congruential generator: compressible text with UTF-8 bytes.
inline bytes_t text_sample(size_t size, uint32_t seed = 1) {
  static constexpr std::string_view words[] = {"the",    "quick",          "brown",    "fox",
                                               "jumps",  "over",           "lazy",     "dog",
                                               "stream", "\xc3\xa9t\xc3\xa9", "block\n", "0123456789"};
  bytes_t out;
  uint32_t x = seed;
  while (out.size() < size) {
    x = (x * 1103515245u + 12345u) & 0x7FFFFFFF;
    std::string_view w = words[(x >> 16) % std::size(words)];
    out.insert(out.end(), w.begin(), w.end());
    out.push_back(' ');
  }
  out.resize(size);
  return out;
}

// Bytes without structure, from the same generator.
inline bytes_t noise_sample(size_t size, uint32_t seed = 1) {
  bytes_t out(size);
  uint32_t x = seed;
  for (auto& b : out) {
    x = (x * 1103515245u + 12345u) & 0x7FFFFFFF;
    b = uint8_t(x >> 16);
  }
  return out;
}

using codec_fn = codec_status (*)(uint8_t*, size_t&, const uint8_t*, size_t);

inline codec_status inflate_codec(uint8_t* out, size_t& length, const uint8_t* in, size_t n) {
  return deflate::inflate(out, length, in, n);
}

struct run_result {
  codec_status status;
  size_t length;   // as the codec reported it
  bytes_t output;  // the buffer, exactly `capacity` bytes, so overruns trip the sanitizer
};

// The input is copied into a buffer of its exact size for the same reason.
inline run_result run(codec_fn codec, const bytes_t& input, size_t capacity) {
  bytes_t in(input);
  bytes_t out(capacity);
  size_t length = capacity;
  codec_status status = codec(capacity ? out.data() : nullptr, length, in.empty() ? nullptr : in.data(), in.size());
  return {status, length, std::move(out)};
}

// Sizes the output by a counting call, then decodes into it.
inline std::optional<bytes_t> decode_all(codec_fn codec, const bytes_t& input) {
  run_result sizing = run(codec, input, 0);
  if (sizing.status == codec_status::ok && sizing.length == 0) return bytes_t{};
  if (sizing.status != codec_status::too_small) return std::nullopt;
  run_result full = run(codec, input, sizing.length);
  if (full.status != codec_status::ok || full.length != sizing.length) return std::nullopt;
  return full.output;
}

// Writes a deflate bit stream: values first bit lowest, Huffman codes first bit highest.
struct bit_assembler {
  bytes_t out;
  unsigned used = 0;

  bit_assembler& value(uint32_t v, unsigned n) {
    for (unsigned i = 0; i < n; ++i) bit((v >> i) & 1);
    return *this;
  }
  bit_assembler& code(uint32_t c, unsigned n) {
    for (unsigned i = n; i-- > 0;) bit((c >> i) & 1);
    return *this;
  }
  void bit(unsigned b) {
    if (used % 8 == 0) out.push_back(0);
    out.back() |= uint8_t(b << (used % 8));
    ++used;
  }
  // The fixed code of a literal/length symbol.
  bit_assembler& fixed(unsigned symbol) {
    if (symbol < 144) return code(0x30 + symbol, 8);
    if (symbol < 256) return code(0x190 + symbol - 144, 9);
    if (symbol < 280) return code(symbol - 256, 7);
    return code(0xC0 + symbol - 280, 8);
  }
};

// Canonical codes of a set of code lengths.
inline std::vector<uint32_t> canonical_codes(const std::vector<uint8_t>& lengths) {
  unsigned count[16] = {};
  for (uint8_t l : lengths) count[l]++;
  count[0] = 0;
  uint32_t next[16] = {};
  for (unsigned bits = 1, code = 0; bits < 16; ++bits) {
    code = (code + count[bits - 1]) << 1;
    next[bits] = code;
  }
  std::vector<uint32_t> codes(lengths.size());
  for (size_t s = 0; s < lengths.size(); ++s)
    if (lengths[s]) codes[s] = next[lengths[s]]++;
  return codes;
}

// A code-length symbol of a dynamic block header with its extra bits.
struct length_token {
  uint8_t symbol;
  uint8_t extra = 0;
};

inline std::vector<length_token> plain_lengths(const std::vector<uint8_t>& lengths) {
  std::vector<length_token> tokens;
  for (uint8_t l : lengths) tokens.push_back({l});
  return tokens;
}

// Writes the header of a dynamic block (BFINAL = 1): the counts, all 19 code-length code
// lengths, and `tokens` coded with them.
inline void dynamic_header(bit_assembler& bits, unsigned literal_count, unsigned distance_count,
                           const std::vector<uint8_t>& code_length_lengths, const std::vector<length_token>& tokens) {
  static constexpr uint8_t order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
  bits.value(1, 1).value(2, 2).value(literal_count - 257, 5).value(distance_count - 1, 5).value(19 - 4, 4);
  for (uint8_t s : order) bits.value(code_length_lengths[s], 3);
  std::vector<uint32_t> codes = canonical_codes(code_length_lengths);
  static constexpr unsigned extra_bits[3] = {2, 3, 7};
  for (auto [symbol, extra] : tokens) {
    bits.code(codes[symbol], code_length_lengths[symbol]);
    if (symbol >= 16) bits.value(extra, extra_bits[symbol - 16]);
  }
}

// Code-length code lengths that give all 19 symbols a code: thirteen of 4 bits and six of
// 5 bits fill the code space exactly.
inline std::vector<uint8_t> all_code_lengths() {
  std::vector<uint8_t> lengths(19, 5);
  for (int s = 0; s < 13; ++s) lengths[s] = 4;
  return lengths;
}

// zlib as the independent side: window_bits -15 raw, 15 zlib, 31 gzip.
inline std::optional<bytes_t> zlib_inflate(const bytes_t& input, int window_bits) {
  z_stream z{};
  if (inflateInit2(&z, window_bits) != Z_OK) return std::nullopt;
  bytes_t out;
  uint8_t chunk[65536];
  z.next_in = const_cast<uint8_t*>(input.data());
  z.avail_in = uInt(input.size());
  int status;
  do {
    z.next_out = chunk;
    z.avail_out = sizeof chunk;
    status = ::inflate(&z, Z_NO_FLUSH);
    out.insert(out.end(), chunk, chunk + (sizeof chunk - z.avail_out));
  } while (status == Z_OK);
  inflateEnd(&z);
  if (status != Z_STREAM_END) return std::nullopt;
  return out;
}

inline bytes_t zlib_deflate(const bytes_t& input, int level, int window_bits, int strategy = Z_DEFAULT_STRATEGY) {
  z_stream z{};
  deflateInit2(&z, level, Z_DEFLATED, window_bits, 8, strategy);
  bytes_t out(deflateBound(&z, uLong(input.size())));
  z.next_in = const_cast<uint8_t*>(input.data());
  z.avail_in = uInt(input.size());
  z.next_out = out.data();
  z.avail_out = uInt(out.size());
  ::deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

}  // namespace tav::test
