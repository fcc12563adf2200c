// Codec natives: transcode, checksum, compress and decompress, and the base and percent
// encodings, each a thin entry over its core.
#include <cstdio>
#include <string_view>
#include <vector>

#include "datatypes/any_string.hpp"
#include "datatypes/binary.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "io/checksum.hpp"
#include "io/compression.hpp"
#include "io/digest.hpp"
#include "runtime/console_out.hpp"
#include "runtime/unicode_string.hpp"
#include "interpreter/natives.hpp"
#include "interpreter/stack.hpp"
#include "interpreter/transcode.hpp"
#include "runtime/errors.hpp"

namespace tav::natives {

namespace {

constexpr uint32_t index_transcode = 106, index_checksum = 87, index_compress = 103, index_decompress = 104;

// The cell of a refinement's first argument, or null when the refinement is absent.
cell* refinement_argument(int32_t position) {
  return position < 0 ? nullptr : stack::argument(static_cast<uint32_t>(position));
}

// The bytes a codec native works on: a binary! from its head, a string! as UTF-8, or the whole
// content of a file!. Anything else raises script/invalid-arg.
std::vector<uint8_t> bytes_of(const cell& data, bool files) {
  if (data.type() == TYPE_BINARY) {
    const uint8_t* head = binary::ts_head(data);
    return std::vector<uint8_t>(head, head + binary::ts_length_p(data));
  }
  if (data.type() == TYPE_STRING) {
    cell text = data;
    int64_t length = -1;
    const uint8_t* utf8 = unicode::to_utf8(text, &length);
    return std::vector<uint8_t>(utf8, utf8 + length);
  }
  if (files && data.type() == TYPE_FILE) {
    cell file = data;
    std::FILE* stream = std::fopen(file::to_os_path(file), "rb");
    if (!stream) fire(error_id::access_cannot_open, data);
    std::vector<uint8_t> content;
    uint8_t chunk[4096];
    for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, stream)) > 0;) content.insert(content.end(), chunk, chunk + got);
    bool failed = std::ferror(stream) != 0;
    std::fclose(stream);
    if (failed) fire(error_id::access_cannot_open, data);
    return content;
  }
  fire(error_id::script_invalid_arg, data);
}

std::string_view word_name(const cell& word) { return symbol::name(word::symbol_of(word)); }

compression::method compression_method(const cell& word) {
  if (any_word_p(word.type())) {
    std::string_view name = word_name(word);
    if (name == "deflate") return compression::method::deflate;
    if (name == "zlib") return compression::method::zlib;
    if (name == "gzip") return compression::method::gzip;
  }
  fire(error_id::script_invalid_arg, word);
}

void box_bytes(const std::vector<uint8_t>& bytes) { stack::set_last_keep(*binary::load(bytes.data(), bytes.size())); }

}  // namespace

// transcode src /next /one /prescan /scan /part length /into dst /trace callback
void transcode_stack(const int32_t* parameters) {
  check_arguments(index_transcode, parameters);
  transcode_refinements refinements;
  refinements.next = parameters[1] >= 0;
  refinements.one = parameters[2] >= 0;
  refinements.prescan = parameters[3] >= 0;
  refinements.scan = parameters[4] >= 0;
  refinements.part = refinement_argument(parameters[5]);
  refinements.into = refinement_argument(parameters[6]);
  refinements.trace = refinement_argument(parameters[7]);
  cell result = none::value;
  transcode(*stack::argument(0), refinements, result);
  stack::set_last_keep(result);
}

// checksum data method /with spec
void checksum_stack(const int32_t* parameters) {
  check_arguments(index_checksum, parameters);
  const cell data = *stack::argument(0), word = *stack::argument(1);
  const cell* with = refinement_argument(parameters[1]);
  std::vector<uint8_t> bytes = bytes_of(data, true);
  std::optional<digest::method> method = any_word_p(word.type()) ? digest::method_of(word_name(word)) : std::nullopt;
  if (!method) fire(error_id::script_invalid_arg, word);
  switch (*method) {
    case digest::method::crc32:
    case digest::method::tcp:
    case digest::method::adler32: {
      if (with) fire(error_id::script_invalid_refine_arg, *word::load("with"), *with);
      uint32_t sum = *method == digest::method::crc32 ? digest::crc32(bytes.data(), bytes.size())
                     : *method == digest::method::tcp ? digest::tcp_checksum(bytes.data(), bytes.size())
                                                      : digest::adler32(bytes.data(), bytes.size());
      stack::set_last_keep(scalar::integer(static_cast<int32_t>(sum)));
      return;
    }
    case digest::method::hash:
      if (!with || with->type() == TYPE_STRING || with->type() == TYPE_BINARY)
        fire(error_id::script_invalid_refine_arg, *word::load("with"), with ? *with : none::value);
      if (with->type() != TYPE_INTEGER) fire(error_id::script_invalid_arg, *with);
      {
        static constexpr char message[] = "** /hash support not yet implemented; algorithm TBD.";
        print_string(message, sizeof message - 1, 1, true);
      }
      stack::set_last_keep(scalar::integer(0));
      return;
    default:
      break;
  }
  digest::algorithm algorithm = *digest::algorithm_of(digest::method_id(*method));
  digest::block result{};
  if (!with) {
    result = digest::compute(bytes.data(), bytes.size(), algorithm);
  } else if (with->type() == TYPE_STRING || with->type() == TYPE_BINARY) {
    std::vector<uint8_t> key = bytes_of(*with, false);
    result = digest::hmac(bytes.data(), bytes.size(), key.data(), key.size(), algorithm);
  } else {
    fire(error_id::script_invalid_arg, *with);
  }
  stack::set_last_keep(*binary::load(result.bytes, result.size));
}

// compress data method
void compress_stack(const int32_t* parameters) {
  check_arguments(index_compress, parameters);
  const cell data = *stack::argument(0);
  compression::method method = compression_method(*stack::argument(1));
  if (data.type() != TYPE_STRING && data.type() != TYPE_BINARY) fire(error_id::script_invalid_arg, data);
  std::vector<uint8_t> bytes = bytes_of(data, false);
  box_bytes(compression::compress(method, bytes.data(), bytes.size()));
}

// decompress data method /size n
void decompress_stack(const int32_t* parameters) {
  check_arguments(index_decompress, parameters);
  const cell data = *stack::argument(0);
  compression::method method = compression_method(*stack::argument(1));
  if (data.type() != TYPE_BINARY) fire(error_id::script_invalid_arg, data);
  const cell* size = refinement_argument(parameters[1]);
  if (size && size->type() != TYPE_INTEGER) fire(error_id::script_invalid_arg, *size);
  size_t expected = size && static_cast<int32_t>(size->payload2) > 0 ? size->payload2 : 0;
  std::vector<uint8_t> bytes = bytes_of(data, false);
  box_bytes(compression::decompress(method, bytes.data(), bytes.size(), expected));
}

}  // namespace tav::natives
