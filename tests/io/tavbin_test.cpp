// TAVBIN streams: compact integer and string records beside an independent encoder of the
// varint, zigzag and string rules, compressed payloads, the start-up load into the root block;
// fixed-width streams read wherever they lie in memory, and their boot-mode words.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "../datatypes/value_fixture.hpp"
#include "../runtime/fire_helpers.hpp"
#include "datatypes/binary.hpp"
#include "datatypes/block.hpp"
#include "datatypes/native.hpp"
#include "datatypes/object.hpp"
#include "io/tavbin.hpp"
#include "interpreter/natives.hpp"
#include "io/tavbin_internal.hpp"
#include "runtime/collector.hpp"
#include "runtime/series.hpp"

namespace tav {
namespace {

using bytes = std::vector<uint8_t>;
using testing::fired_by;

// ---- The reference encoder --------------------------------------------------------------

void ref_uint(bytes& out, uint32_t v) {
  do {
    uint8_t b = v & 0x7F;
    v >>= 7;
    out.push_back(v ? b | 0x80 : b);
  } while (v);
}

bytes ref_integer(int32_t n) {
  if (n >= 0 && n < 64) return {static_cast<uint8_t>(0x80 + n)};
  bytes out{11};
  const uint32_t u = static_cast<uint32_t>(n);
  ref_uint(out, n < 0 ? ~(u << 1) : u << 1);
  return out;
}

bytes ref_string(const std::vector<uint32_t>& chars, uint32_t unit) {
  bytes out{7};
  const uint32_t code = unit == 1 ? 0 : unit == 2 ? 1 : 2;
  ref_uint(out, static_cast<uint32_t>(chars.size()) << 2 | code);
  for (uint32_t c : chars)
    for (uint32_t i = 0; i < unit; ++i) out.push_back(static_cast<uint8_t>(c >> (8 * i)));
  return out;
}

// ---- Streams --------------------------------------------------------------------------------

class tavbin_stream : public testing::fresh_values {
 protected:
  static bytes stream_of(const cell& value) {
    cell result = none::value;
    tavbin::encode_cp(value, result);
    const uint8_t* head = binary::ts_head(result);
    return bytes(head, head + binary::ts_length_p(result));
  }

  // The records of a stream without a symbol table: after the header, the root count and the
  // records size, which must be the size of what follows.
  static bytes records_of(const bytes& stream) {
    EXPECT_GE(stream.size(), 10u);
    EXPECT_EQ(0, std::memcmp(stream.data(), "TAVBIN\x02\x01\x01", 9));
    size_t at = 9;
    uint32_t size = 0;
    for (uint32_t shift = 0;; shift += 7) {
      const uint8_t b = stream[at++];
      size |= uint32_t{b & 0x7Fu} << shift;
      if (!(b & 0x80)) break;
    }
    EXPECT_EQ(size, stream.size() - at);
    return bytes(stream.begin() + static_cast<ptrdiff_t>(at), stream.end());
  }

  // Decodes from an exactly sized copy, so that AddressSanitizer sees a read past its end.
  static cell decode(const bytes& stream) {
    bytes input(stream);
    input.shrink_to_fit();
    cell values;
    block::make_at(values, 1);
    collector::scoped_root rooted(&values);
    tavbin::decode(input.data(), input.size(), values, true);
    return values;
  }

  static cell string_of(const std::vector<uint32_t>& chars, uint32_t unit) {
    const node_id node = alloc_by_unit(static_cast<uint32_t>(chars.size()), unit);
    series_buffer* buffer = buffer_of(node);
    for (size_t i = 0; i < chars.size(); ++i) std::memcpy(buffer->data() + i * unit, &chars[i], unit);
    buffer->tail = static_cast<uint32_t>(chars.size() * unit);
    return cell{TYPE_STRING, 0, node, 0};
  }
};

TEST_F(tavbin_stream, integers_match_the_reference_encoder_and_come_back) {
  std::mt19937 random(20261210);
  std::vector<int32_t> values = {0, 1, 63, 64, -1, -64, -65, 8191, 8192, INT32_MAX, INT32_MIN};
  for (int i = 0; i < 10000; ++i) values.push_back(static_cast<int32_t>(random()));
  for (int32_t n : values) {
    const bytes stream = stream_of(scalar::integer(n));
    ASSERT_EQ(records_of(stream), ref_integer(n)) << n;
    const cell back = decode(stream);
    ASSERT_EQ(buffer_of(back.payload2)->count(), 1u);
    const cell& value = buffer_of(back.payload2)->cells()[0];
    ASSERT_EQ(value.type(), TYPE_INTEGER);
    ASSERT_EQ(scalar::integer_value(value), n);
  }
}

TEST_F(tavbin_stream, strings_of_every_width_match_the_reference_encoder_and_come_back) {
  std::mt19937 random(7);
  const struct {
    uint32_t unit;
    uint32_t top;
  } widths[] = {{1, 0xFF}, {2, 0xFFFF}, {4, 0x10FFFF}};
  for (const auto& width : widths) {
    for (int i = 0; i < 1000; ++i) {
      std::vector<uint32_t> chars(random() % (i % 10 == 0 ? 300 : 20));
      for (uint32_t& c : chars) c = random() % (width.top + 1);
      const cell text = string_of(chars, width.unit);
      const bytes stream = stream_of(text);
      ASSERT_EQ(records_of(stream), ref_string(chars, width.unit)) << width.unit << " " << chars.size();
      const cell back = decode(stream);
      const cell value = buffer_of(back.payload2)->cells()[0];
      ASSERT_EQ(value.type(), TYPE_STRING);
      series_buffer* buffer = buffer_of(value.payload2);
      ASSERT_EQ(buffer->unit(), width.unit);
      ASSERT_EQ(buffer->used(), chars.size() * width.unit);
      ASSERT_EQ(0, std::memcmp(buffer->head(), buffer_of(text.payload2)->head(), buffer->used()));
    }
  }
}

bytes nested_blocks(uint32_t depth) {
  bytes records;
  for (uint32_t i = 0; i < depth; ++i) records.insert(records.end(), {0x05, 0x01});
  records.push_back(0x80);
  bytes stream = {'T', 'A', 'V', 'B', 'I', 'N', 2, tavbin::flag::compact, 0x01};
  ref_uint(stream, static_cast<uint32_t>(records.size()));
  stream.insert(stream.end(), records.begin(), records.end());
  return stream;
}

TEST_F(tavbin_stream, nesting_is_bounded_before_the_machine_stack) {
  cell back = none::value;
  ASSERT_EQ(fired_by([&] { back = decode(nested_blocks(1000)); }), std::nullopt);
  cell inner = buffer_of(back.payload2)->cells()[0];
  for (int i = 1; i < 1000; ++i) inner = buffer_of(inner.payload2)->cells()[0];
  EXPECT_EQ(scalar::integer_value(buffer_of(inner.payload2)->cells()[0]), 0);
  // Tens of thousands of levels, each a block: a collection at every one of them would take
  // hours, and the bound does not depend on the collector.
  const uint32_t stress = memory::state.stress_interval;
  memory::state.stress_interval = 0;
  EXPECT_EQ(fired_by([&] { decode(nested_blocks(tavbin::max_depth + 1)); }), error_id::internal_stack_overflow);
  memory::state.stress_interval = stress;
}

TEST_F(tavbin_stream, a_block_that_holds_itself_is_a_reference_to_the_root) {
  cell self;
  block::make_at(self, 1);
  collector::scoped_root rooted(&self);
  block::append_cell(self, self);
  const bytes stream = stream_of(self);
  EXPECT_EQ(records_of(stream), (bytes{0x05, 0x01, 0xC1, 0x05, 0x01, 0x00}));
  const cell back = decode(stream);
  const cell outer = buffer_of(back.payload2)->cells()[0];
  const cell inner = buffer_of(outer.payload2)->cells()[0];
  EXPECT_EQ(inner.type(), TYPE_BLOCK);
  EXPECT_EQ(inner.payload2, outer.payload2);
}

// ---- Compressed payloads ----------------------------------------------------------------------

// The block format with literals only: header (block bytes, decoded size), then one block of
// its length and, per byte, a 0 bit and the byte's 8 bits, lowest bit first.
bytes packed(const bytes& data) {
  bytes block(4);
  for (int i = 0; i < 4; ++i) block[i] = static_cast<uint8_t>(data.size() >> (8 * i));
  uint64_t bits = 0;
  unsigned count = 0;
  for (uint8_t b : data) {
    bits |= uint64_t{b} << (count + 1);
    count += 9;
    while (count >= 8) {
      block.push_back(static_cast<uint8_t>(bits));
      bits >>= 8;
      count -= 8;
    }
  }
  if (count) block.push_back(static_cast<uint8_t>(bits));
  bytes out(8);
  for (int i = 0; i < 4; ++i) {
    out[i] = static_cast<uint8_t>(block.size() >> (8 * i));
    out[4 + i] = static_cast<uint8_t>(data.size() >> (8 * i));
  }
  out.insert(out.end(), block.begin(), block.end());
  return out;
}

bytes compressed_stream(const bytes& payload) {
  bytes stream = {'T', 'A', 'V', 'B', 'I', 'N', 2, tavbin::flag::compact | tavbin::flag::compressed};
  const bytes body = packed(payload);
  stream.insert(stream.end(), body.begin(), body.end());
  return stream;
}

TEST_F(tavbin_stream, a_compressed_payload_reads_as_the_plain_one) {
  // Root count 1, records size 7: a block of 1 and "ab".
  const bytes payload = {0x01, 0x07, 0x05, 0x02, 0x81, 0x07, 0x08, 'a', 'b'};
  cell back = none::value;
  ASSERT_EQ(fired_by([&] { back = decode(compressed_stream(payload)); }), std::nullopt);
  ASSERT_EQ(buffer_of(back.payload2)->count(), 1u);
  const cell block = buffer_of(back.payload2)->cells()[0];
  ASSERT_EQ(block.type(), TYPE_BLOCK);
  ASSERT_EQ(buffer_of(block.payload2)->count(), 2u);
  EXPECT_EQ(scalar::integer_value(buffer_of(block.payload2)->cells()[0]), 1);
  EXPECT_EQ(testing::text_of(buffer_of(block.payload2)->cells()[1]), "ab");
}

TEST_F(tavbin_stream, faults_in_a_compressed_payload) {
  bytes corrupt = compressed_stream({0x01, 0x01, 0x85});
  corrupt.resize(corrupt.size() - 1);
  EXPECT_EQ(fired_by([&] { decode(corrupt); }), error_id::script_invalid_data);
  // Offsets inside the decoded payload count as if it followed the 8-byte header.
  EXPECT_EQ(fired_by([&] { decode(compressed_stream({0x01, 0x01, 0x40})); }), error_id::script_rb_invalid_record);
  EXPECT_EQ(scalar::integer_value(last_fired.args[0]), 11);
}

// ---- Boot mode ------------------------------------------------------------------------------

TEST_F(tavbin_stream, boot_load_appends_to_the_root_block_with_the_collector_held) {
  const bytes stream = {'T', 'A', 'V', 'B', 'I', 'N', 1, 1, 0x02, 0x02, 0x81, 0x82};
  const uint32_t before = buffer_of(context::root.payload2)->count();
  const bool active = collector::active_p();
  cell* base = tavbin::boot_load(stream.data(), stream.size());
  EXPECT_EQ(collector::active_p(), active);
  ASSERT_EQ(buffer_of(context::root.payload2)->count(), before + 2);
  EXPECT_EQ(base, buffer_of(context::root.payload2)->cells() + before);
  EXPECT_EQ(scalar::integer_value(base[0]), 1);
  EXPECT_EQ(scalar::integer_value(base[1]), 2);
}

TEST_F(tavbin_stream, a_faulty_boot_image_ends_the_program_as_a_failed_assertion) {
  const bytes not_tavbin = {'T', 'A', 'V', 'B', 'I', 'X', 1, 5, 0x01, 0x01, 0x85};
  EXPECT_EXIT(tavbin::boot_load(not_tavbin.data(), not_tavbin.size()), ::testing::ExitedWithCode(98), "");
  bytes corrupt = compressed_stream({0x01, 0x01, 0x85});
  corrupt.resize(corrupt.size() - 1);
  EXPECT_EXIT(tavbin::boot_load(corrupt.data(), corrupt.size()), ::testing::ExitedWithCode(98), "");
}

TEST_F(tavbin_stream, a_malformed_boot_record_is_an_error_with_its_offset) {
  const bytes stream = {'T', 'A', 'V', 'B', 'I', 'N', 1, 1, 0x01, 0x02, 0x81, 0x04};
  EXPECT_EQ(fired_by([&] { tavbin::boot_load(stream.data(), stream.size()); }), error_id::script_rb_invalid_record);
  EXPECT_EQ(scalar::integer_value(last_fired.args[0]), 12);
}

// ---- Boot-mode words, global definitions, objects and natives -------------------------------

// A compact stream with a symbol table of the spellings, then the records.
bytes stream_with(const std::vector<std::string>& spellings, const bytes& records, uint8_t version = 1) {
  bytes strings, offsets;
  for (const std::string& spelling : spellings) {
    const auto offset = static_cast<uint32_t>(strings.size());
    for (int i = 0; i < 4; ++i) offsets.push_back(static_cast<uint8_t>(offset >> (8 * i)));
    strings.insert(strings.end(), spelling.begin(), spelling.end());
    strings.push_back(0);
  }
  bytes stream = {'T', 'A', 'V', 'B', 'I', 'N', version, tavbin::flag::compact | tavbin::flag::symbols, 0x01};
  ref_uint(stream, static_cast<uint32_t>(records.size()));
  ref_uint(stream, static_cast<uint32_t>(spellings.size()));
  ref_uint(stream, static_cast<uint32_t>(strings.size()));
  stream.insert(stream.end(), offsets.begin(), offsets.end());
  stream.insert(stream.end(), strings.begin(), strings.end());
  stream.insert(stream.end(), records.begin(), records.end());
  return stream;
}

class tavbin_boot : public tavbin_stream {
 protected:
  // A destination already holding the integers 7 and 8, as the root block holds what
  // start-up put there before the image.
  void SetUp() override {
    tavbin_stream::SetUp();
    block::make_at(destination, 4);
    block::append_cell(destination, scalar::integer(7));
    block::append_cell(destination, scalar::integer(8));
  }

  void decode_into(const bytes& stream, bool codec = false) {
    tavbin::decode(stream.data(), stream.size(), destination, codec);
  }
  cell at(uint32_t index) const { return buffer_of(destination.payload2)->cells()[index]; }
  uint32_t count() const { return buffer_of(destination.payload2)->count(); }

  cell destination = none::value;
  collector::scoped_root rooted{&destination};
};

TEST_F(tavbin_boot, a_global_definition_sets_the_word_and_leaves_nothing) {
  // alpha: 5, then the integer 1.
  decode_into(stream_with({"alpha"}, {0xC4, 0x0F, 0x00, 0x85, 0x81}));
  ASSERT_EQ(count(), 3u);
  EXPECT_EQ(scalar::integer_value(at(2)), 1);
  const cell* value = context::find_value(context::global, symbol::make("alpha"));
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(scalar::integer_value(*value), 5);
  // A definition whose value record appends nothing has nothing to set.
  EXPECT_EQ(fired_by([&] { decode_into(stream_with({"alpha"}, {0xC4, 0x0F, 0x00, 0xC4, 0x0F, 0x00, 0x85})); }),
            error_id::script_rb_invalid_record);
}

TEST_F(tavbin_boot, global_words_of_a_spelling_share_its_slot_and_keep_their_own_type) {
  // gamma Gamma: gamma :gamma Gamma, twice over: each decode finds the slots anew.
  const bytes records = {0x0F, 0x00, 0x10, 0x01, 0x0F, 0x00, 0x12, 0x00, 0x0F, 0x01};
  decode_into(stream_with({"gamma", "Gamma"}, records));
  decode_into(stream_with({"Gamma", "gamma"}, records));
  ASSERT_EQ(count(), 12u);
  const uint8_t types[] = {TYPE_WORD, TYPE_SET_WORD, TYPE_WORD, TYPE_GET_WORD, TYPE_WORD};
  const char* first[] = {"gamma", "Gamma", "gamma", "gamma", "Gamma"};
  const char* second[] = {"Gamma", "gamma", "Gamma", "Gamma", "gamma"};
  const int32_t slot = word::index_of(at(2));
  for (uint32_t i = 0; i < 10; ++i) {
    const cell word = at(2 + i);
    EXPECT_EQ(word.type(), types[i % 5]) << i;
    EXPECT_EQ(word.payload1, context::global) << i;
    const char* expected = i < 5 ? first[i % 5] : second[i % 5];
    EXPECT_STREQ(symbol::name(word::symbol_of(word)), expected) << i;
    EXPECT_EQ(word::index_of(word), slot) << i;
  }
  cell setter = at(3);
  context::set(setter, scalar::integer(9));
  EXPECT_EQ(scalar::integer_value(*context::get(at(11))), 9);
}

TEST_F(tavbin_boot, bound_words_name_their_context_by_position_after_the_cells_held_before) {
  const bytes records = {
      0x20, 0x0A, 0x0E, 0x1A, 0x02, 0x00, 0x01, 0x81, 0x82,  // object, class 5: alpha 1, beta 2
      0x4F, 0x01, 0x00, 0x02,                                // beta in context 0, slot 1
      0x4F, 0x00, 0x00, 0x01,                                // alpha in context 0, slot -1: looked up
      0xFF, 0x01, 0x00,                                      // the first cell of the destination
  };
  decode_into(stream_with({"alpha", "beta"}, records));
  ASSERT_EQ(count(), 6u);
  const cell object = at(2);
  ASSERT_EQ(object.type(), TYPE_OBJECT);
  EXPECT_EQ(object::class_of(object), 5u);
  for (uint32_t i : {3u, 4u}) {
    EXPECT_EQ(at(i).type(), TYPE_WORD);
    EXPECT_EQ(at(i).payload1, object::context_of(object));
  }
  EXPECT_EQ(word::index_of(at(4)), 0);
  EXPECT_EQ(scalar::integer_value(*context::get(at(3))), 2);
  EXPECT_EQ(scalar::integer_value(*context::get(at(4))), 1);
  EXPECT_EQ(scalar::integer_value(at(5)), 7);
  // A context index past the values decoded so far.
  EXPECT_EQ(fired_by([&] { decode_into(stream_with({"alpha"}, {0x4F, 0x00, 0x00, 0x00})); }),
            error_id::script_rb_invalid_record);
}

TEST_F(tavbin_boot, an_object_keeps_its_class_only_in_boot_mode) {
  const bytes records = {0x20, 0x0A, 0x0E, 0x02, 0x00};
  decode_into(stream_with({}, records));
  decode_into(stream_with({}, records), true);
  ASSERT_EQ(count(), 4u);
  EXPECT_EQ(object::class_of(at(2)), 5u);
  EXPECT_EQ(object::class_of(at(3)), 0xFFFFFFFFu);
}

TEST_F(tavbin_boot, a_native_keeps_its_spec_after_it_in_boot_mode) {
  natives::init();
  const bytes records = {0x15, 0x01, 0x05, 0x01, 0x0F, 0x00};  // native 1 with the argument block [alpha]
  decode_into(stream_with({"alpha"}, records));
  ASSERT_EQ(count(), 4u);
  const cell native = at(2), spec = at(3);
  ASSERT_EQ(native.type(), TYPE_NATIVE);
  EXPECT_EQ(native::index_of(native), 1u);
  ASSERT_EQ(spec.type(), TYPE_BLOCK);
  EXPECT_EQ(native::spec_of(native), spec.payload2);
  // The arguments context is made from the argument block.
  const cell context_cell = buffer_of(native::more_of(native))->cells()[native::more_context];
  EXPECT_EQ(context_cell.type(), TYPE_CONTEXT);
  decode_into(stream_with({"alpha"}, records), true);
  ASSERT_EQ(count(), 5u);
  EXPECT_EQ(at(4).type(), TYPE_NATIVE);
}

// ---- The fixed-width layout -----------------------------------------------------------------

bytes fixed_stream_of(const cell& value) {
  cell result = none::value;
  tavbin::encode(value, result);
  const uint8_t* head = binary::ts_head(result);
  return bytes(head, head + binary::ts_length_p(result));
}

TEST_F(tavbin_stream, a_fixed_stream_reads_the_same_at_any_address) {
  // Byte runs of 1 to 3 bytes, each padded, with floats and a symbol between them.
  cell value = none::value;
  collector::scoped_root rooted(&value);
  block::make_at(value, 8);
  for (const char* text : {"a", "bc", "def", "ghij"}) {
    cell string = string_of(std::vector<uint32_t>(text, text + std::strlen(text)), 1);
    block::append_cell(value, string);
    block::append_cell(value, scalar::float_cell(std::strlen(text) + 0.5));
    block::append_cell(value, testing::global_word(text));
  }
  const bytes stream = fixed_stream_of(value);
  ASSERT_EQ(stream[7], tavbin::flag::symbols);
  const std::string expected = testing::molded(value);
  for (size_t shift = 0; shift < 8; ++shift) {
    // The decode reads the stream in place, `shift` bytes into a buffer of exactly its size.
    bytes room(shift + stream.size());
    std::copy(stream.begin(), stream.end(), room.begin() + static_cast<ptrdiff_t>(shift));
    room.shrink_to_fit();
    cell back;
    block::make_at(back, 1);
    collector::scoped_root back_rooted(&back);
    ASSERT_EQ(fired_by([&] { tavbin::decode(room.data() + shift, stream.size(), back, true); }), std::nullopt)
        << shift;
    ASSERT_EQ(buffer_of(back.payload2)->count(), 1u);
    EXPECT_EQ(testing::molded(buffer_of(back.payload2)->cells()[0]), expected) << shift;
  }
}

TEST_F(tavbin_stream, a_compressed_fixed_payload_is_aligned_as_if_it_followed_the_header) {
  cell value = none::value;
  collector::scoped_root rooted(&value);
  block::make_at(value, 2);
  block::append_cell(value, string_of({'x'}, 1));
  block::append_cell(value, scalar::integer(7));
  const bytes stream = fixed_stream_of(value);
  bytes packed_stream = {'T', 'A', 'V', 'B', 'I', 'N', 2, tavbin::flag::compressed};
  const bytes body = packed(bytes(stream.begin() + 8, stream.end()));
  packed_stream.insert(packed_stream.end(), body.begin(), body.end());
  cell back = none::value;
  ASSERT_EQ(fired_by([&] { back = decode(packed_stream); }), std::nullopt);
  EXPECT_EQ(testing::molded(buffer_of(back.payload2)->cells()[0]), "[\"x\" 7]");
}

// A fixed stream with a symbol table of the spellings (each padded to 8 bytes), then the
// records, given as words.
bytes fixed_stream_with(const std::vector<std::string>& spellings, const std::vector<uint32_t>& records) {
  bytes strings, out = {'T', 'A', 'V', 'B', 'I', 'N', 1, tavbin::flag::symbols};
  auto put = [&](uint32_t w) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(w >> (8 * i)));
  };
  std::vector<uint32_t> offsets;
  for (const std::string& spelling : spellings) {
    offsets.push_back(static_cast<uint32_t>(strings.size()));
    strings.insert(strings.end(), spelling.begin(), spelling.end());
    strings.resize((strings.size() + 8) & ~size_t{7});
  }
  put(1);
  put(static_cast<uint32_t>(records.size() * 4));
  put(static_cast<uint32_t>(spellings.size()));
  put(static_cast<uint32_t>(strings.size()));
  for (uint32_t offset : offsets) put(offset);
  out.insert(out.end(), strings.begin(), strings.end());
  for (uint32_t w : records) put(w);
  return out;
}

constexpr uint32_t definition = 1u << 25;

TEST_F(tavbin_boot, fixed_boot_words_definitions_and_bound_words) {
  const std::vector<uint32_t> records = {
      0x0F | definition, 0, 0xFFFFFFFF, 0, 0x0B, 5,  // alpha: 5
      0x20, 9, 0x4000000E, 2, 0, 1, 0x0B, 1, 0x0B, 2,  // object, class 9: alpha 1, beta 2
      0x0F, 1, 0, 1,                                  // beta in context 0, slot 1
      0x0F, 0, 0, 0xFFFFFFFF,                         // alpha in context 0, looked up
      0x0F, 1, 0xFFFFFFFF, 0,                         // the global beta
  };
  decode_into(fixed_stream_with({"alpha", "beta"}, records));
  ASSERT_EQ(count(), 6u);
  const cell* defined = context::find_value(context::global, symbol::make("alpha"));
  ASSERT_NE(defined, nullptr);
  EXPECT_EQ(scalar::integer_value(*defined), 5);
  const cell object = at(2);
  ASSERT_EQ(object.type(), TYPE_OBJECT);
  EXPECT_EQ(object::class_of(object), 9u);
  EXPECT_EQ(scalar::integer_value(*context::get(at(3))), 2);
  EXPECT_EQ(scalar::integer_value(*context::get(at(4))), 1);
  EXPECT_EQ(at(5).payload1, context::global);
  // A context index past the values decoded so far.
  EXPECT_EQ(fired_by([&] { decode_into(fixed_stream_with({"alpha"}, {0x0F, 0, 9, 0})); }),
            error_id::script_rb_invalid_record);
  EXPECT_EQ(scalar::integer_value(last_fired.args[0]), 45);
}

}  // namespace
}  // namespace tav
