// TAVBIN container: the stream header, the compressed payload, the reader entry in codec and
// boot mode, the boot-image load and the writer entries.
#include "io/tavbin.hpp"

#include <cstring>
#include <memory>
#include <vector>

#include "datatypes/binary.hpp"
#include "datatypes/context.hpp"
#include "datatypes/values.hpp"
#include "io/tavbin_internal.hpp"
#include "runtime/collector.hpp"
#include "runtime/console_out.hpp"
#include "runtime/decompress.hpp"
#include "runtime/errors.hpp"
#include "runtime/memory.hpp"
#include "runtime/throw.hpp"

namespace tav::tavbin {
namespace {

// The boot image is made and checked when the program is built: a fault in it is the
// program's, reported as a failed assertion after its line.
[[noreturn, gnu::cold]] void boot_fault(const char* line) {
  print_line(line);
  runtime_error(98);
}

[[noreturn, gnu::cold]] void refuse(bool codec, const char* line, const cell* argument) {
  if (!codec) boot_fault(line);
  fire(error_id::script_invalid_data, argument ? *argument : none::value);
}

struct decompressed_free {
  void operator()(uint8_t* buffer) const { compressor::free_buffer(buffer); }
};

class collector_held {
 public:
  collector_held() : was_(collector::active_p()) { collector::set_active(false); }
  ~collector_held() { collector::set_active(was_); }
  collector_held(const collector_held&) = delete;
  collector_held& operator=(const collector_held&) = delete;

 private:
  bool was_;
};

}  // namespace

cell* decode(const uint8_t* data, size_t length, cell& destination_given, bool codec, const cell* argument) {
  const cell destination = destination_given;
  if (length < header_size || std::memcmp(data, magic, sizeof magic) != 0)
    refuse(codec, "Error: Not a Tavbin file!", argument);
  const uint8_t flags = data[7];
  const uint8_t* payload = data + header_size;
  const uint8_t* end = data + length;
  std::unique_ptr<uint8_t, decompressed_free> unpacked;
  if (flags & flag::compressed) {
    uint32_t size = 0;
    unpacked.reset(decompress(payload, length - header_size, &size));
    if (!unpacked) refuse(codec, "Error: Tavbin compressed data corrupted!", argument);
    payload = unpacked.get();
    end = payload + size;
  }
  const uint32_t base_count = buffer_of(destination.payload2)->count();
  TavbinReader reader(payload, header_size, codec, base_count);
  if (flags & flag::compact) {
    reader.decode_records_cp(payload, end, destination, (flags & flag::symbols) != 0);
  } else {
    // The fixed layout's root count and records size are one word each.
    if (end - payload < 8) fire(error_id::script_invalid_data, argument ? *argument : none::value);
    reader.decode_records(payload, end, destination, (flags & flag::symbols) != 0);
  }
  series_buffer* buffer = buffer_of(destination.payload2);
  return buffer->cells() + base_count;
}

cell* boot_load(const uint8_t* data, size_t length) {
  collector_held held;
  return decode(data, length, context::root, false);
}

void encode_cp(const cell& value, cell& result) {
  TavbinWriter writer;
  writer.encode_value_cp(value);
  const std::vector<uint8_t> stream = writer.finish_cp();
  binary::make_at(result, static_cast<uint32_t>(stream.size()));
  binary::append_bytes(result, stream.data(), static_cast<uint32_t>(stream.size()));
}

void encode(const cell& value, cell& result) {
  TavbinWriter writer;
  writer.encode_value(value);
  const std::vector<uint8_t> stream = writer.finish();
  binary::make_at(result, static_cast<uint32_t>(stream.size()));
  binary::append_bytes(result, stream.data(), static_cast<uint32_t>(stream.size()));
}

std::vector<uint8_t> encode_boot_image(const cell& definitions, const cell& values) {
  TavbinWriter writer;
  const uint32_t pairs = count_of(definitions) / 2;
  for (uint32_t i = 0; i < pairs; ++i)
    writer.encode_global_definition_cp(cell_at(definitions, 2 * i), cell_at(definitions, 2 * i + 1));
  const uint32_t count = count_of(values);
  for (uint32_t i = 0; i < count; ++i) writer.encode_value_cp(cell_at(values, i));
  return writer.finish_cp(boot_image_version, count);
}

}  // namespace tav::tavbin
