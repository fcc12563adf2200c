// Codec natives: transcode, checksum, compress and decompress, and the base and percent
// encodings, each a thin entry over its core.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <memory>
#include <string_view>
#include <vector>

#include "datatypes/any_string.hpp"
#include "datatypes/base_n.hpp"
#include "datatypes/binary.hpp"
#include "datatypes/series.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "io/checksum.hpp"
#include "io/compression.hpp"
#include "io/digest.hpp"
#include "runtime/unicode_string.hpp"
#include "interpreter/natives.hpp"
#include "interpreter/stack.hpp"
#include "interpreter/transcode.hpp"
#include "runtime/errors.hpp"

namespace tav::natives {

namespace {

constexpr uint32_t index_transcode = 106, index_checksum = 87, index_compress = 103, index_decompress = 104,
                   index_dehex = 47, index_enhex = 48, index_debase = 84, index_enbase = 91;
constexpr uint32_t url_mode = 0xFF, strict_mode = 0xFE;

// The cell of a refinement's first argument, or null when the refinement is absent.
cell* refinement_argument(int32_t position) {
  return position < 0 ? nullptr : stack::argument(static_cast<uint32_t>(position));
}

// The bytes a codec native works on: a binary! from its head or a string! as UTF-8. Anything
// else raises script/invalid-arg.
std::vector<uint8_t> bytes_of(const cell& data) {
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
  fire(error_id::script_invalid_arg, data);
}

struct descriptor {
  int fd;
  explicit descriptor(int opened) : fd(opened) {}
  ~descriptor() {
    if (fd >= 0) ::close(fd);
  }
  descriptor(const descriptor&) = delete;
  descriptor& operator=(const descriptor&) = delete;
};

constexpr size_t file_piece = 64 * 1024;

// Hands `feed` the bytes of a binary! or string! (as `bytes_of` takes them) in one piece, and
// those of a file! in pieces of fixed size, so that no file is held whole. Only a regular
// file is read: a device or a pipe could be endless, or block before it opens.
template <class Feed>
void each_piece(const cell& data, Feed&& feed) {
  // The sums allocate nothing, so the bytes are read where they are, without a copy.
  if (data.type() == TYPE_BINARY) return feed(binary::ts_head(data), size_t{binary::ts_length_p(data)});
  if (data.type() == TYPE_STRING) {
    cell text = data;
    int64_t length = -1;
    const uint8_t* utf8 = unicode::to_utf8(text, &length);
    return feed(utf8, static_cast<size_t>(length));
  }
  cell file = data;
  descriptor source(::open(file::to_os_path(file), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat status {};
  if (source.fd < 0 || ::fstat(source.fd, &status) != 0 || !S_ISREG(status.st_mode))
    fire(error_id::access_cannot_open, data);
  std::unique_ptr<uint8_t[]> piece(new uint8_t[file_piece]);
  for (;;) {
    ssize_t got = ::read(source.fd, piece.get(), file_piece);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) fire(error_id::access_cannot_open, data);
    if (got == 0) return;
    feed(piece.get(), static_cast<size_t>(got));
  }
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

// The /base value: 64 when absent; 2, 16, 58 or 64, else script/invalid-arg.
int32_t base_of(int32_t position) {
  const cell* base = refinement_argument(position);
  if (!base) return 64;
  int32_t value = base->type() == TYPE_INTEGER ? static_cast<int32_t>(base->payload2) : 0;
  if (value != 2 && value != 16 && value != 58 && value != 64) fire(error_id::script_invalid_arg, *base);
  return value;
}

// A new string! of unit 1 sized for `capacity` characters, as the first argument cell's
// neighbour so that it stays rooted while the coder fills it.
cell* new_text(uint32_t capacity) {
  cell* text = stack::push_cell();
  string::make_at(*text, capacity, 1);
  return text;
}

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
  if (data.type() != TYPE_BINARY && data.type() != TYPE_STRING && data.type() != TYPE_FILE)
    fire(error_id::script_invalid_arg, data);
  std::optional<digest::method> method = any_word_p(word.type()) ? digest::method_of(word_name(word)) : std::nullopt;
  if (!method) fire(error_id::script_invalid_arg, word);
  switch (*method) {
    case digest::method::crc32: {
      if (with) fire(error_id::script_invalid_refine_arg, *word::load("with"), *with);
      uint32_t crc = 0;
      each_piece(data, [&](const uint8_t* bytes, size_t length) { crc = digest::crc32(bytes, length, crc); });
      stack::set_last_keep(scalar::integer(static_cast<int32_t>(crc)));
      return;
    }
    case digest::method::adler32: {
      if (with) fire(error_id::script_invalid_refine_arg, *word::load("with"), *with);
      uint32_t sum = 1;
      each_piece(data, [&](const uint8_t* bytes, size_t length) { sum = digest::adler32(bytes, length, sum); });
      stack::set_last_keep(scalar::integer(static_cast<int32_t>(sum)));
      return;
    }
    case digest::method::tcp: {
      if (with) fire(error_id::script_invalid_refine_arg, *word::load("with"), *with);
      digest::tcp_sum sum;
      each_piece(data, [&](const uint8_t* bytes, size_t length) { digest::tcp_add(sum, bytes, length); });
      stack::set_last_keep(scalar::integer(digest::tcp_finish(sum)));
      return;
    }
    case digest::method::hash:
      if (!with || with->type() == TYPE_STRING || with->type() == TYPE_BINARY)
        fire(error_id::script_invalid_refine_arg, *word::load("with"), with ? *with : none::value);
      if (with->type() != TYPE_INTEGER) fire(error_id::script_invalid_arg, *with);
      // A table-size hash has no algorithm yet; an answer of 0 would pass for a real one.
      fire(error_id::internal_not_done);
    default:
      break;
  }
  digest::algorithm algorithm = *digest::algorithm_of(digest::method_id(*method));
  if (with && with->type() != TYPE_STRING && with->type() != TYPE_BINARY) fire(error_id::script_invalid_arg, *with);
  std::vector<uint8_t> key = with ? bytes_of(*with) : std::vector<uint8_t>{};
  digest::hasher hasher(algorithm, key.data(), key.size(), with != nullptr);
  each_piece(data, [&](const uint8_t* bytes, size_t length) { hasher.update(bytes, length); });
  digest::block result = hasher.finish();
  stack::set_last_keep(*binary::load(result.bytes, result.size));
}

// compress data method
void compress_stack(const int32_t* parameters) {
  check_arguments(index_compress, parameters);
  const cell data = *stack::argument(0);
  compression::method method = compression_method(*stack::argument(1));
  if (data.type() != TYPE_STRING && data.type() != TYPE_BINARY) fire(error_id::script_invalid_arg, data);
  std::vector<uint8_t> bytes = bytes_of(data);
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
  std::vector<uint8_t> bytes = bytes_of(data);
  box_bytes(compression::decompress(method, bytes.data(), bytes.size(), expected));
}

// dehex value
void dehex_stack(const int32_t* parameters) {
  check_arguments(index_dehex, parameters);
  const cell value = *stack::argument(0);
  if (!series::any_string_p(value.type())) fire(error_id::script_invalid_arg, value);
  cell* text = new_text(string::ts_length_p(value));
  url::decode(value, *text);
  stack::set_last_keep(*text);
}

// enhex value: a string! keeps only the unreserved characters, the other texts the URL class.
void enhex_stack(const int32_t* parameters) {
  check_arguments(index_enhex, parameters);
  const cell value = *stack::argument(0);
  if (!series::any_string_p(value.type())) fire(error_id::script_invalid_arg, value);
  cell* text = new_text(string::ts_length_p(value));
  url::encode(value, *text, value.type() == TYPE_STRING ? strict_mode : url_mode);
  stack::set_last_keep(*text);
}

// debase value /base base-value: none when the text is not valid in the base.
void debase_stack(const int32_t* parameters) {
  check_arguments(index_debase, parameters);
  const cell value = *stack::argument(0);
  int32_t base = base_of(parameters[1]);
  if (value.type() != TYPE_STRING) fire(error_id::script_invalid_arg, value);
  series_buffer* buffer = buffer_of(value.payload2);
  uint32_t total = buffer->count();
  uint32_t head = std::min<uint32_t>(value.payload1, total);
  const uint8_t* units = buffer->head() + head * buffer->unit();
  uint32_t count = total - head, unit = buffer->unit();
  node_id node = base == 2    ? binary::decode_2(units, count, unit)
                 : base == 16 ? binary::decode_16(units, count, unit)
                 : base == 58 ? binary::decode_58(units, count, unit)
                              : binary::decode_64(units, count, unit);
  stack::set_last_keep(node ? binary::make_cell(node) : none::value);
}

// enbase value /base base-value
void enbase_stack(const int32_t* parameters) {
  check_arguments(index_enbase, parameters);
  const cell value = *stack::argument(0);
  int32_t base = base_of(parameters[1]);
  if (value.type() != TYPE_STRING && value.type() != TYPE_BINARY) fire(error_id::script_invalid_arg, value);
  std::vector<uint8_t> bytes = bytes_of(value);
  const int64_t length = static_cast<int64_t>(bytes.size());
  const int64_t size = base == 64   ? 4 * (length / 3) + (4 * (length % 3)) / 3 + 2 * (length / 32) + 5
                       : base == 58 ? 2 * length
                       : base == 16 ? 2 * length + length / 32 + 32
                                    : 8 * length + 2 * (length / 8) + 4;
  if (size > INT32_MAX) fire(error_id::script_too_long);
  std::vector<uint8_t> out(static_cast<size_t>(size));
  uint8_t* end = base == 2    ? binary::encode_2(out.data(), bytes.data(), bytes.size())
                 : base == 16 ? binary::encode_16(out.data(), bytes.data(), bytes.size())
                 : base == 58 ? binary::encode_58(out.data(), bytes.data(), bytes.size())
                              : binary::encode_64(out.data(), bytes.data(), bytes.size());
  const uint32_t written = static_cast<uint32_t>(end - out.data());
  cell* text = new_text(written);
  string::append_c_part(*text, reinterpret_cast<const char*>(out.data()), written);
  stack::set_last_keep(*text);
}

}  // namespace tav::natives
