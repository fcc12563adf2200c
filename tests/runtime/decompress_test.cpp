// Block decompressor: round trips through a small encoder kept here, hand-made streams,
// and truncated or corrupt streams, which must fail without reading past their input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "runtime/decompress.hpp"
#include "runtime/heap.hpp"
#include "runtime/memory.hpp"

namespace tav {
namespace {

using bytes = std::vector<uint8_t>;

void put_le32(bytes& out, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

struct bit_writer {
  bytes& out;
  uint64_t buffer = 0;
  unsigned count = 0;

  void put(uint32_t value, unsigned n) {
    buffer |= static_cast<uint64_t>(value) << count;
    count += n;
    while (count >= 8) {
      out.push_back(static_cast<uint8_t>(buffer));
      buffer >>= 8;
      count -= 8;
    }
  }
  void flush() {
    if (count) out.push_back(static_cast<uint8_t>(buffer));
    buffer = 0;
    count = 0;
  }
};

void put_literal(bit_writer& w, uint8_t byte) {
  w.put(0, 1);
  w.put(byte, 8);
}

// Copies `length` bytes (3 to 566) from `distance` + 1 bytes back.
void put_match(bit_writer& w, uint32_t length, uint32_t distance) {
  w.put(1, 1);
  uint32_t n = length - 3;
  if (n < 12) {
    w.put(uint32_t{1} << (n / 4), n / 4 + 1);  // n / 4 zero bits, then a one
    w.put(n % 4, 2);
  } else if (n < 20) {
    w.put(8, 4);
    w.put(n - 12, 3);
  } else if (n < 52) {
    w.put(16, 5);
    w.put(n - 20, 5);
  } else {
    w.put(0, 5);
    w.put(n - 52, 9);
  }
  if (distance < 8) {
    w.put(0, 4);
    w.put(distance, 3);
  } else {
    unsigned j = 31 - __builtin_clz(distance);
    w.put(j - 2, 4);
    w.put(distance - (uint32_t{1} << j), j);
  }
}

// A greedy encoder: the longest match among the last few positions with the same three
// bytes, within the block, up to 566 bytes and 262,144 bytes back.
bytes encode(const bytes& data, size_t block_size = max_compressed_block) {
  bytes out(compressed_header_size);
  for (size_t start = 0; start < data.size(); start += block_size) {
    size_t length = std::min(block_size, data.size() - start);
    const uint8_t* block = data.data() + start;
    size_t at = out.size();
    out.resize(at + 4);
    put_le32(out, at, static_cast<uint32_t>(length));
    bit_writer w{out};
    std::vector<std::vector<uint32_t>> recent(1 << 16);
    auto key = [&](size_t i) { return (block[i] * 251u + block[i + 1] * 13u + block[i + 2]) & 0xFFFF; };
    size_t i = 0;
    while (i < length) {
      size_t best = 0, best_from = 0;
      if (i + 3 <= length) {
        auto& chain = recent[key(i)];
        for (size_t c = chain.size(); c-- > 0 && chain.size() - c <= 8;) {
          size_t from = chain[c];
          if (i - from > 262144) break;
          size_t n = 0;
          while (n < 566 && i + n < length && block[from + n] == block[i + n]) ++n;
          if (n > best) best = n, best_from = from;
        }
        chain.push_back(static_cast<uint32_t>(i));
      }
      if (best >= 3) {
        put_match(w, static_cast<uint32_t>(best), static_cast<uint32_t>(i - best_from - 1));
        for (size_t k = 1; k < best && i + k + 3 <= length; ++k) recent[key(i + k)].push_back(static_cast<uint32_t>(i + k));
        i += best;
      } else {
        put_literal(w, block[i++]);
      }
    }
    w.flush();
  }
  put_le32(out, 0, static_cast<uint32_t>(out.size() - compressed_header_size));
  put_le32(out, 4, static_cast<uint32_t>(data.size()));
  return out;
}

struct decoded {
  bool ok;
  bytes data;
};

// Decodes from an exactly sized heap copy, so that AddressSanitizer sees any read past it.
decoded decode(const bytes& stream, size_t room) {
  bytes in(stream);
  in.shrink_to_fit();
  bytes out(room);
  size_t produced = 0;
  bool ok = decompress_block(in.data(), in.size(), out.data(), out.size(), &produced);
  out.resize(ok ? produced : 0);
  return {ok, out};
}

decoded decode(const bytes& stream) {
  compressed_header h{};
  if (!read_compressed_header(stream.data(), stream.size(), &h)) return {false, {}};
  return decode(stream, h.uncompressed_size + decompress_slack);
}

bytes random_bytes(size_t n, uint32_t seed, int alphabet = 256) {
  std::mt19937 rng(seed);
  bytes b(n);
  for (auto& x : b) x = static_cast<uint8_t>(rng() % alphabet);
  return b;
}

bytes text(const char* s) { return bytes(s, s + std::strlen(s)); }

TEST(Decompress, RoundTrips) {
  bytes far = random_bytes(200000, 7);
  far.insert(far.end(), far.begin(), far.begin() + 5000);  // a match about 200,000 bytes back
  bytes run(5000, 'z');                                    // longest matches, distance 0
  bytes periodic;
  for (int i = 0; i < 3000; ++i) periodic.push_back(static_cast<uint8_t>("abcdefghij"[i % 10] + i / 700));
  struct row {
    const char* name;
    bytes data;
    size_t block_size;
    size_t at_most;  // stream size, 0 for no bound
  } rows[] = {
      {"one byte", text("Q"), max_compressed_block, 0},
      {"short text", text("the cat sat on the mat; the cat sat on the hat"), max_compressed_block, 45},
      {"random bytes", random_bytes(4000, 1), max_compressed_block, 0},
      {"small alphabet", random_bytes(20000, 2, 3), max_compressed_block, 10000},
      {"run of one byte", run, max_compressed_block, 100},
      {"periodic", periodic, max_compressed_block, 200},
      {"far match", far, max_compressed_block, 225000},  // 200,000 random bytes alone take 225,000
      {"small blocks", periodic, 37, 2000},
      {"more than one full block", random_bytes(max_compressed_block + 12345, 3, 4), max_compressed_block, 600000},
  };
  for (auto& r : rows) {
    bytes stream = encode(r.data, r.block_size);
    if (r.at_most) {
      EXPECT_LE(stream.size(), r.at_most) << r.name;  // the encoder found its matches
    }
    decoded d = decode(stream);
    EXPECT_TRUE(d.ok) << r.name;
    EXPECT_EQ(d.data, r.data) << r.name;

    uint32_t size = 0;
    uint8_t* buffer = decompress(stream.data(), stream.size(), &size);
    ASSERT_NE(buffer, nullptr) << r.name;
    EXPECT_EQ(size, r.data.size()) << r.name;
    EXPECT_EQ(0, std::memcmp(buffer, r.data.data(), r.data.size())) << r.name;
    compressor::free_buffer(buffer);
  }
}

TEST(Decompress, HandMadeStreams) {
  struct row {
    const char* name;
    bytes stream;
    bytes expected;
  } rows[] = {
      // Two literals: 18 bits, padded to 3 bytes.
      {"literals", {7, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 0x82, 0x08, 0x01}, text("AB")},
      // 'x', then a match with n = 0 and d = 0: the previous byte three more times.
      {"repeat", {7, 0, 0, 0, 4, 0, 0, 0, 4, 0, 0, 0, 0xF0, 0x06, 0x00}, text("xxxx")},
      // Two blocks: the second starts at the byte after the first one's padding.
      {"two blocks",
       {14, 0, 0, 0, 4, 0, 0, 0, 2, 0, 0, 0, 0x82, 0x08, 0x01, 2, 0, 0, 0, 0x82, 0x08, 0x01},
       text("ABAB")},
      // N = 0: nothing decoded whatever S says.
      {"empty", {0, 0, 0, 0, 100, 0, 0, 0}, {}},
  };
  for (auto& r : rows) {
    decoded d = decode(r.stream);
    EXPECT_TRUE(d.ok) << r.name;
    EXPECT_EQ(d.data, r.expected) << r.name;
  }
}

TEST(Decompress, EmptyInputGivesBufferOfSPlusEight) {
  const uint8_t stream[] = {0, 0, 0, 0, 100, 0, 0, 0};
  size_t blocks = heap_block_count();
  uint32_t size = 99;
  uint8_t* buffer = decompress(stream, sizeof stream, &size);
  ASSERT_NE(buffer, nullptr);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ((reinterpret_cast<heap_block*>(buffer) - 1)->size, 108u);
  EXPECT_EQ(heap_block_count(), blocks + 1);
  compressor::free_buffer(buffer);
  EXPECT_EQ(heap_block_count(), blocks);
}

// Builds a one-block stream from bit-writing steps.
template <class Steps>
bytes one_block(uint32_t s, uint32_t length, Steps steps) {
  bytes out(12);
  bit_writer w{out};
  steps(w);
  w.flush();
  put_le32(out, 0, static_cast<uint32_t>(out.size() - 8));
  put_le32(out, 4, s);
  put_le32(out, 8, length);
  return out;
}

TEST(Decompress, RejectsFaultyStreams) {
  auto literals = [](int count) {
    return [count](bit_writer& w) {
      for (int i = 0; i < count; ++i) put_literal(w, 'a');
    };
  };
  bytes long_block = one_block(0x200000, max_compressed_block + 1, literals(1));
  bytes valid = encode(text("abcabcabcabc"));
  bytes big_s = valid;
  put_le32(big_s, 4, 0x80000000u);
  bytes n_past_input = valid;
  put_le32(n_past_input, 0, static_cast<uint32_t>(valid.size() - 8 + 1));
  bytes n_huge = valid;
  put_le32(n_huge, 0, 0xFFFFFFFFu);
  bytes cut_length_word = {2, 0, 0, 0, 4, 0, 0, 0, 1, 0};
  // The second block's match would reach back into the first block.
  bytes into_previous = encode(text("abcabc"), 3);
  into_previous = {into_previous.begin(), into_previous.begin() + 8 + 4 + 4};
  {
    bytes second(4);
    put_le32(second, 0, 3);
    bit_writer w{second};
    put_match(w, 3, 2);
    w.flush();
    into_previous.insert(into_previous.end(), second.begin(), second.end());
    put_le32(into_previous, 0, static_cast<uint32_t>(into_previous.size() - 8));
  }

  struct row {
    const char* name;
    bytes stream;
  } rows[] = {
      {"block length 0", one_block(10, 0, literals(1))},
      {"block length above 1 MB", long_block},
      {"output above S + 8", one_block(1, 10, literals(10))},
      {"match before the block start", one_block(10, 4, [](bit_writer& w) { put_match(w, 3, 0); })},
      {"match further back than written",
       one_block(10, 6, [](bit_writer& w) { put_literal(w, 'a'), put_literal(w, 'b'), put_match(w, 4, 2); })},
      {"match past the block end", one_block(10, 3, [](bit_writer& w) { put_literal(w, 'a'), put_match(w, 3, 0); })},
      {"S above 2^31 - 1", big_s},
      {"N past the input", n_past_input},
      {"N of 2^32 - 1", n_huge},
      {"block length word cut", cut_length_word},
      {"block codes run out", one_block(10, 5, literals(4))},
      {"header cut", {1, 0, 0, 0, 1, 0, 0}},
      {"match into the previous block", into_previous},
  };
  for (auto& r : rows) {
    EXPECT_FALSE(decode(r.stream, 0x200010).ok) << r.name;
    EXPECT_EQ(decompress(r.stream.data(), r.stream.size(), nullptr), nullptr) << r.name;
  }
  EXPECT_TRUE(decode(valid).ok);
  EXPECT_TRUE(decode(one_block(10, 10, literals(10))).ok);  // the "output above S + 8" row, with room
  EXPECT_TRUE(decode(one_block(2, 10, literals(10))).ok);   // S + 8 itself is allowed
}

TEST(Decompress, OutputRoomBoundsTheDecoder) {
  bytes data = random_bytes(300, 4, 5);
  bytes stream = encode(data, 100);
  EXPECT_TRUE(decode(stream, 300).ok);
  EXPECT_FALSE(decode(stream, 299).ok);
  EXPECT_FALSE(decode(stream, 0).ok);
}

// Every cut of a valid stream fails. With N left as it was, the header shows the cut; with
// N made to fit the cut, the decoder must find it while reading the blocks.
TEST(Decompress, EveryTruncationIsRejected) {
  bytes data = random_bytes(600, 5, 6);
  const size_t block_size = 200;
  bytes stream = encode(data, block_size);
  std::vector<size_t> block_ends;
  for (size_t at = 8; at < stream.size();) {
    ASSERT_EQ(stream[at + 1] | stream[at + 2] | stream[at + 3], 0);
    block_ends.push_back(at);
    // Find the end of this block by decoding growing prefixes.
    size_t end = at + 5;
    for (;; ++end) {
      bytes part(stream.begin(), stream.begin() + static_cast<long>(end));
      put_le32(part, 0, static_cast<uint32_t>(end - 8));
      if (decode(part).ok) break;
      ASSERT_LT(end, stream.size());
    }
    at = end;
  }
  for (size_t cut = 0; cut < stream.size(); ++cut) {
    bytes part(stream.begin(), stream.begin() + static_cast<long>(cut));
    EXPECT_FALSE(decode(part, 1000).ok) << cut;
    if (cut < 8) continue;
    put_le32(part, 0, static_cast<uint32_t>(cut - 8));
    decoded d = decode(part, 1000);
    size_t whole_blocks = std::count(block_ends.begin(), block_ends.end(), cut);
    EXPECT_EQ(d.ok, whole_blocks == 1) << cut;
    if (d.ok) {
      size_t kept = static_cast<size_t>(std::find(block_ends.begin(), block_ends.end(), cut) - block_ends.begin());
      EXPECT_EQ(d.data, bytes(data.begin(), data.begin() + static_cast<long>(kept * block_size))) << cut;
    }
  }
}

// Flipped bits and random block data: any answer will do, but nothing may be read or
// written out of bounds, and a success never claims more than the room.
TEST(Decompress, CorruptStreamsStayInBounds) {
  bytes stream = encode(random_bytes(3000, 6, 8), 700);
  std::mt19937 rng(11);
  int failures = 0;
  for (int round = 0; round < 3000; ++round) {
    bytes bad = stream;
    for (int flips = 1 + round % 4; flips > 0; --flips) {
      size_t bit = 64 + rng() % ((bad.size() - 8) * 8);  // N and S kept
      bad[bit / 8] ^= static_cast<uint8_t>(1 << (bit % 8));
    }
    decoded d = decode(bad, 3008);
    failures += !d.ok;
    if (d.ok) {
      EXPECT_LE(d.data.size(), 3008u);
    }
  }
  EXPECT_GT(failures, 1000);  // most damage is caught by the checks
  for (uint32_t seed = 0; seed < 500; ++seed) {
    bytes noise = random_bytes(8 + seed % 64, seed);
    put_le32(noise, 0, static_cast<uint32_t>(noise.size() - 8));
    put_le32(noise, 4, 100);
    decoded d = decode(noise);
    if (d.ok) {
      EXPECT_LE(d.data.size(), 108u);
    }
  }
}

// The memory manager unpacks boot data that start-up marks as compressed.
TEST(Decompress, MemoryInitUnpacksCompressedBootData) {
  memory::init();
  memory_state saved = memory::state;
  boot_data_descriptor saved_descriptor = memory::boot_descriptor;
  bytes original = text("boot boot boot boot image of the runtime's own definitions");
  bytes stream = encode(original);

  memory::state.ready = false;
  memory::boot_descriptor = {stream.data(), stream.size(), true};
  memory::init();
  ASSERT_NE(memory::boot_data, nullptr);
  EXPECT_EQ(bytes(memory::boot_data, memory::boot_data + memory::boot_data_size), original);

  heap_free(memory::state.pointers);
  compressor::free_buffer(const_cast<uint8_t*>(memory::boot_data));
  memory::boot_data = nullptr;
  memory::boot_data_size = 0;
  memory::boot_descriptor = saved_descriptor;
  memory::state = saved;
}

}  // namespace
}  // namespace tav
