// Deflate decompressor: stored, fixed-code and dynamic-code blocks. Every Huffman table is
// checked when built and every decoded symbol against its alphabet, so corrupt input ends
// with a result code and never reads or writes outside the tables or the buffers.
#include "io/deflate.hpp"

#include <algorithm>
#include <cstring>

#include "io/byte_order.hpp"
#include "io/deflate_tables.hpp"

namespace tav::deflate {
namespace {

constexpr unsigned max_code_bits = 15;
constexpr unsigned max_literals = 288;
constexpr unsigned max_distances = 32;
constexpr unsigned literal_fast_bits = 10;
constexpr unsigned distance_fast_bits = 8;
constexpr unsigned code_length_fast_bits = 7;

// Input bits, first bit lowest. Bits past the end of the input read as 0; taking them
// sets `overrun`, which the decoder reports as input that ends inside a block.
struct bit_reader {
  const uint8_t* input;
  size_t length;
  size_t position = 0;  // next input byte not yet in `held`
  uint64_t held = 0;    // above `count` it holds 0 or the true bits of bytes not yet counted
  unsigned count = 0;
  bool overrun = false;

  // Leaves at least 56 bits held while input remains.
  void refill() {
    if (length - position >= 8) {
      held |= bytes::load_le64(input + position) << count;
      position += (63 - count) >> 3;
      count |= 56;
      return;
    }
    while (count <= 56 && position < length) {
      held |= uint64_t(input[position++]) << count;
      count += 8;
    }
  }

  uint32_t peek(unsigned n) const { return uint32_t(held) & ((1u << n) - 1); }

  void drop(unsigned n) {
    if (n > count) {
      overrun = true;
      held = 0;
      count = 0;
      return;
    }
    held >>= n;
    count -= n;
  }

  uint32_t take(unsigned n) {
    uint32_t value = peek(n);
    drop(n);
    return value;
  }

  // Bytes of input used so far: whole bytes still held go back.
  size_t consumed() const { return position - count / 8; }

  // Moves to the next byte boundary and hands the whole bytes held back to the input.
  void align_and_release() {
    drop(count & 7);
    position -= count / 8;
    held = 0;
    count = 0;
  }
};

enum class alphabet { code_lengths, literals, distances };

// Fast entries: symbol << 4 | code length for codes of up to `fast_bits` bits, `long_code`
// where the next bits begin a longer code, 0 where they begin no code at all.
constexpr uint16_t long_code = 0xFFF0;

struct huffman {
  uint16_t count[max_code_bits + 1];
  uint16_t first[max_code_bits + 1];   // first canonical code of each length
  uint16_t offset[max_code_bits + 1];  // index in `sorted` of the first symbol of each length
  uint16_t sorted[max_literals];       // symbols in canonical code order
  unsigned fast_bits;
  uint16_t fast[1u << literal_fast_bits];
};

// An over-subscribed set of lengths is refused. An incomplete set is refused too, except a
// single code of one bit (one used symbol), and no code at all for distances (a block of
// literals only); the patterns they leave unused decode as errors.
bool build(huffman& table, const uint8_t* lengths, unsigned symbols, alphabet kind, unsigned fast_bits) {
  std::fill(std::begin(table.count), std::end(table.count), 0);
  for (unsigned s = 0; s < symbols; ++s) table.count[lengths[s]]++;
  int left = 1;
  for (unsigned bits = 1; bits <= max_code_bits; ++bits) {
    left = 2 * left - table.count[bits];
    if (left < 0) return false;
  }
  unsigned used = symbols - table.count[0];
  if (left > 0) {
    bool single = used == 1 && table.count[1] == 1;
    bool none = used == 0 && kind == alphabet::distances;
    if (kind == alphabet::code_lengths || !(single || none)) return false;
  }
  if (kind == alphabet::literals && lengths[end_of_block] == 0) return false;

  uint32_t code = 0;
  unsigned index = 0;
  table.count[0] = 0;
  for (unsigned bits = 1; bits <= max_code_bits; ++bits) {
    table.first[bits] = uint16_t(code);
    table.offset[bits] = uint16_t(index);
    code = (code + table.count[bits]) << 1;
    index += table.count[bits];
  }
  uint16_t next[max_code_bits + 1];
  std::copy(std::begin(table.offset), std::end(table.offset), next);
  for (unsigned s = 0; s < symbols; ++s)
    if (lengths[s]) table.sorted[next[lengths[s]]++] = uint16_t(s);

  table.fast_bits = fast_bits;
  std::fill_n(table.fast, 1u << fast_bits, uint16_t(0));
  for (unsigned bits = 1; bits <= max_code_bits; ++bits) {
    for (unsigned i = 0; i < table.count[bits]; ++i) {
      unsigned symbol = table.sorted[table.offset[bits] + i];
      uint32_t canonical = table.first[bits] + i;
      if (bits <= fast_bits) {
        uint16_t entry = uint16_t(symbol << 4 | bits);
        for (uint32_t j = reverse_bits(canonical, bits); j < (1u << fast_bits); j += 1u << bits) table.fast[j] = entry;
      } else {
        table.fast[reverse_bits(canonical >> (bits - fast_bits), fast_bits)] = long_code;
      }
    }
  }
  return true;
}

// Codes longer than the fast table: walk the canonical code one bit at a time.
[[gnu::noinline]] int decode_long(const huffman& table, bit_reader& reader) {
  uint32_t bits = reader.peek(max_code_bits);
  uint32_t code = 0;
  for (unsigned length = 1; length <= max_code_bits; ++length) {
    code = code << 1 | ((bits >> (length - 1)) & 1);
    uint32_t rank = code - table.first[length];
    if (rank < table.count[length]) {
      reader.drop(length);
      return table.sorted[table.offset[length] + rank];
    }
  }
  return -1;
}

// The next symbol, or -1 when the next bits begin no code of the table. The caller has
// refilled the reader.
inline int decode(const huffman& table, bit_reader& reader) {
  uint16_t entry = table.fast[reader.peek(table.fast_bits)];
  if (entry & 0xF) {
    reader.drop(entry & 0xF);
    return entry >> 4;
  }
  if (entry == long_code) return decode_long(table, reader);
  return -1;
}

struct fixed_tables {
  huffman literals;
  huffman distances;
};

const fixed_tables& fixed() {
  static const fixed_tables tables = [] {
    fixed_tables t;
    uint8_t lengths[max_literals];
    for (unsigned s = 0; s < max_literals; ++s) lengths[s] = uint8_t(fixed_length_bits(s));
    build(t.literals, lengths, max_literals, alphabet::literals, literal_fast_bits);
    std::fill_n(lengths, max_distances, uint8_t(fixed_distance_bits));
    build(t.distances, lengths, max_distances, alphabet::distances, distance_fast_bits);
    return t;
  }();
  return tables;
}

struct inflater {
  uint8_t* output;
  size_t capacity;
  size_t produced = 0;
  bit_reader reader;

  void put(uint8_t byte) {
    if (produced < capacity) output[produced] = byte;
    ++produced;
  }

  // Overlapping copies repeat the pattern, so bytes go one at a time unless the distance
  // is at least a word. Bytes past the capacity are counted, never read or stored.
  void copy(size_t distance, size_t length) {
    if (capacity - std::min(capacity, produced) < length + 8) {
      for (size_t i = 0; i < length; ++i) {
        if (produced < capacity) output[produced] = output[produced - distance];
        ++produced;
      }
      return;
    }
    uint8_t* to = output + produced;
    const uint8_t* from = to - distance;
    produced += length;
    if (distance >= 8) {
      for (size_t i = 0; i < length; i += 8) std::memcpy(to + i, from + i, 8);
    } else {
      for (size_t i = 0; i < length; ++i) to[i] = from[i];
    }
  }

  codec_status stored_block();
  codec_status dynamic_block(huffman& literals, huffman& distances);
  codec_status symbols(const huffman& literals, const huffman& distances);
  codec_status run();
};

codec_status inflater::stored_block() {
  reader.drop(reader.count & 7);
  reader.refill();
  uint32_t length = reader.take(16);
  uint32_t complement = reader.take(16);
  if (reader.overrun) return codec_status::truncated;
  if ((length ^ 0xFFFF) != complement) return codec_status::bad_code;
  reader.align_and_release();
  size_t remaining = reader.length - reader.position;
  if (length > remaining) return codec_status::truncated;
  const uint8_t* from = reader.input + reader.position;
  if (produced < capacity) std::memcpy(output + produced, from, std::min<size_t>(length, capacity - produced));
  produced += length;
  reader.position += length;
  reader.refill();
  return codec_status::ok;
}

codec_status inflater::dynamic_block(huffman& literals, huffman& distances) {
  reader.refill();
  unsigned literal_count = reader.take(5) + 257;
  unsigned distance_count = reader.take(5) + 1;
  unsigned header_count = reader.take(4) + 4;
  uint8_t lengths[max_literals + max_distances] = {};
  for (unsigned i = 0; i < header_count; ++i) {
    reader.refill();
    lengths[code_length_order[i]] = uint8_t(reader.take(3));
  }
  if (reader.overrun) return codec_status::truncated;
  huffman code_lengths;
  if (!build(code_lengths, lengths, 19, alphabet::code_lengths, code_length_fast_bits)) return codec_status::bad_code;

  unsigned total = literal_count + distance_count;
  for (unsigned i = 0; i < total;) {
    reader.refill();
    int symbol = decode(code_lengths, reader);
    if (symbol < 0) return codec_status::bad_code;
    if (symbol < 16) {
      lengths[i++] = uint8_t(symbol);
      continue;
    }
    uint8_t value = 0;
    unsigned repeat;
    if (symbol == 16) {
      if (i == 0) return codec_status::bad_code;
      value = lengths[i - 1];
      repeat = 3 + reader.take(2);
    } else if (symbol == 17) {
      repeat = 3 + reader.take(3);
    } else {
      repeat = 11 + reader.take(7);
    }
    if (repeat > total - i) return codec_status::bad_code;
    std::fill_n(lengths + i, repeat, value);
    i += repeat;
  }
  if (reader.overrun) return codec_status::truncated;
  if (!build(literals, lengths, literal_count, alphabet::literals, literal_fast_bits) ||
      !build(distances, lengths + literal_count, distance_count, alphabet::distances, distance_fast_bits))
    return codec_status::bad_code;
  return codec_status::ok;
}

codec_status inflater::symbols(const huffman& literals, const huffman& distances) {
  for (;;) {
    reader.refill();
    int symbol = decode(literals, reader);
    if (reader.overrun) return codec_status::truncated;
    if (symbol < 0) return codec_status::bad_code;
    if (symbol < 256) {
      put(uint8_t(symbol));
      continue;
    }
    if (symbol == end_of_block) return codec_status::ok;
    unsigned index = unsigned(symbol) - 257;
    if (index >= length_symbols) return codec_status::bad_code;
    size_t length = length_base[index] + reader.take(length_extra[index]);
    int code = decode(distances, reader);
    if (code < 0 || unsigned(code) >= distance_symbols) return codec_status::bad_code;
    size_t distance = distance_base[code] + reader.take(distance_extra[code]);
    if (reader.overrun) return codec_status::truncated;
    if (distance > produced) return codec_status::too_far;
    copy(distance, length);
  }
}

codec_status inflater::run() {
  huffman literals, distances;
  for (;;) {
    reader.refill();
    bool final_block = reader.take(1);
    unsigned type = reader.take(2);
    if (reader.overrun) return codec_status::truncated;
    codec_status status;
    switch (type) {
      case 0:
        status = stored_block();
        break;
      case 1:
        status = symbols(fixed().literals, fixed().distances);
        break;
      case 2:
        status = dynamic_block(literals, distances);
        if (status == codec_status::ok) status = symbols(literals, distances);
        break;
      default:
        return codec_status::reserved_block;
    }
    if (status != codec_status::ok) return status;
    if (final_block) return produced > capacity ? codec_status::too_small : codec_status::ok;
  }
}

}  // namespace

codec_status inflate(uint8_t* output, size_t& length, const uint8_t* input, size_t input_length, size_t* consumed) {
  inflater state{output, output ? length : 0, 0, bit_reader{input, input_length}};
  codec_status status = state.run();
  length = state.produced;
  if (consumed) *consumed = std::min(state.reader.consumed(), input_length);
  return status;
}

}  // namespace tav::deflate
