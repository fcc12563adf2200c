// url!: network resources written scheme://..., their percent-encoded text form, URLs built
// from blocks and by path, and the I/O actions that start at a URL.
#include <algorithm>
#include <climits>
#include <vector>

#include "datatypes/actions.hpp"
#include "datatypes/any_string.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/port.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/scalar_support.hpp"
#include "datatypes/text_output.hpp"
#include "datatypes/types.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/stack.hpp"
#include "runtime/errors.hpp"
#include "runtime/unicode_string.hpp"

namespace tav::url {
namespace {

struct text_run {
  const uint8_t* units;
  uint32_t count;
  uint32_t width;
};

// The characters of a text from its head; valid until the next allocation.
text_run run_of(const cell& text) {
  series_buffer* buffer = buffer_of(text.payload2);
  uint32_t total = buffer->count();
  uint32_t head = static_cast<uint32_t>(std::clamp<int64_t>(static_cast<int32_t>(text.payload1), 0, total));
  return {buffer->head() + head * buffer->unit(), total - head, buffer->unit()};
}


cell* push_new_text(uint32_t capacity, uint8_t type) {
  cell* result = stack::push_cell();
  *result = unset::value;
  text::make_at(*result, capacity);
  set_type(*result, type);
  return result;
}

void append_formed(cell& target, const cell& value) {
  cell copy = value;
  actions::form(&copy, &target, nullptr, INT32_MAX);
}

bool spread_block_p(uint8_t type) { return type == TYPE_BLOCK || type == TYPE_PAREN || type == TYPE_HASH; }

// scheme://host[:port]/element/element#issue
cell* from_block(const cell& spec) {
  node_id node = spec.payload2;
  auto head = static_cast<uint32_t>(std::max(static_cast<int32_t>(spec.payload1), 0));
  uint32_t total = buffer_of(node)->count();
  if (head >= total) {
    cell type;
    datatype::make_at(type, TYPE_URL);
    fire(error_id::script_bad_to_arg, type, spec);
  }
  cell* result = push_new_text(32, TYPE_URL);
  auto element = [&](uint32_t i) { return buffer_of(node)->cells()[i]; };
  append_formed(*result, element(head));
  text::append_c_string(*result, "://");
  uint32_t i = head + 1;
  if (i < total) append_formed(*result, element(i++));
  if (i < total && element(i).type() == TYPE_INTEGER) {
    text::append_char(*result, ':');
    append_formed(*result, element(i++));
  }
  for (; i < total; ++i) {
    cell value = element(i);
    text::append_char(*result, value.type() == TYPE_ISSUE ? '#' : '/');
    append_formed(*result, value);
  }
  return result;
}

}  // namespace

cell* load(const uint8_t* bytes, size_t length, string::encoding from) {
  cell raw = unset::value;
  string::load_at(bytes, length, &raw, from);
  cell* result = push_new_text(static_cast<uint32_t>(length), TYPE_URL);
  decode(raw, *result);
  return result;
}

cell* push(const cell& value) { return stack::push_copy(value); }

void decode(const cell& string, cell& output) {
  unit_sink sink = unicode::string_sink(output.payload2);
  text_run text = run_of(string);
  // The sink makes its room before it reads: the text is pinned by the address held here.
  url::decode(text.units, text.count, text.width, sink);
  unicode::close_string_sink(sink);
}

void encode(const cell& string, cell& output, uint32_t mode) {
  text_run text = run_of(string);
  size_t size = encoded_size(text.units, text.count, text.width, mode);
  series_buffer* out = buffer_of(output.payload2);
  uint32_t total = out->count();
  out = string::reserve(out, uint64_t{total} + size);
  text = run_of(string);
  if (out->unit() == 1) {
    url::encode(text.units, text.count, text.width, mode, out->end());
    out->tail += static_cast<uint32_t>(size);
    return;
  }
  std::vector<uint8_t> bytes(size);
  url::encode(text.units, text.count, text.width, mode, bytes.data());
  text::append_c_part(output, reinterpret_cast<const char*>(bytes.data()), static_cast<uint32_t>(size));
}

cell* make(cell* prototype, cell* spec, int32_t type) {
  if (type == TYPE_URL && spread_block_p(spec->type())) return from_block(*spec);
  return string::make(prototype, spec, type);
}

cell* to(cell* prototype, cell* spec, int32_t type) {
  if (type == TYPE_URL && spread_block_p(spec->type())) return from_block(*spec);
  return string::to(prototype, spec, type);
}

int32_t mold(cell* value, cell* buffer, bool, bool, bool, cell* part, int32_t limit, int32_t) {
  uint32_t before = text::length(*buffer);
  encode(*value, *buffer, url_mode);
  auto written = static_cast<int32_t>(text::length(*buffer) - before);
  if (part && limit >= 0 && written > limit) {
    text::truncate(*buffer, before + static_cast<uint32_t>(limit));
    written = limit;
  }
  return limit - written;
}

// A new URL or file: this one, one "/", then the element formed (a get-word! by its value).
cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell*, cell*, int32_t, bool, bool, bool,
                bool) {
  if (value) fire(error_id::script_bad_path_set, path ? *path : none::value, *element);
  cell part = *element;
  if (part.type() == TYPE_GET_WORD) {
    part = *get_word::get(*element);
    stack::pop_cells(1);
  }
  cell formed = unset::value;
  text::make_at(formed, 16);
  append_formed(formed, part);

  cell result = unset::value;
  text::make_at(result, string::ts_length_p(*parent) + string::ts_length_p(formed) + 1);
  string::concatenate(result, *parent, -1, 0, string::concat_mode::append);
  uint32_t length = text::length(result);
  bool ends = length > 0 && string::ts_abs_at(result, length - 1) == '/';
  bool starts = !string::ts_tail_p(formed) && string::ts_abs_at(formed, 0) == '/';
  if (!ends && !starts) text::append_char(result, '/');
  if (ends && starts) formed.payload1 = 1;
  string::concatenate(result, formed, -1, 0, string::concat_mode::append);
  set_type(result, parent->type());
  *parent = result;
  return parent;
}

http_requester http_request = nullptr;
url_parser parse_url = nullptr;

namespace {

[[noreturn, gnu::cold]] void not_done() { fire(error_id::internal_not_done); }

// The scheme decides: http and https go to the HTTP client, the rest to ports.
bool http_p(const cell& url) {
  const text_run run = run_of(url);
  if (run.count < 4) return false;
  static constexpr char http[] = "http";
  for (uint32_t i = 0; i < 4; ++i)
    if ((unicode::get_unit(run.units, i, run.width) | 0x20) != static_cast<uint32_t>(http[i])) return false;
  return true;
}

cell* request(cell& url, const cell& method, const cell* headers, const cell* data, bool binary, bool lines,
              bool info) {
  if (!http_request) not_done();
  cell* result = stack::push_cell();
  *result = none::value;
  if (!http_request(url, method, headers, data, binary, lines, info, *result)) fire(error_id::access_no_connect, url);
  return result;
}

bool http_data_p(uint8_t type) {
  return type == TYPE_NONE || type == TYPE_BLOCK || type == TYPE_STRING || type == TYPE_BINARY;
}

// A port whose spec is the URL's parsed parts; the parser must answer an object.
cell* port_of(cell& url) {
  if (!parse_url) not_done();
  cell* parts = parse_url(url);
  if (parts->type() != TYPE_OBJECT) fire(error_id::script_invalid_arg, url);
  return port::make(nullptr, parts, TYPE_PORT);
}

}  // namespace

// The opened port is the answer, whatever its actor's open answers.
cell* open(cell* url, bool new_, bool read, bool write, bool seek, cell* allow) {
  cell* port = port_of(*url);
  actions::open(port, new_, read, write, seek, allow);
  return stack::push_copy(*port);
}

cell* read(cell* source, cell* part, cell* seek, bool binary, bool lines, bool info, cell* as) {
  if (!http_p(*source)) return port::read(port_of(*source), part, seek, binary, lines, info, as);
  if (part || seek || as) not_done();
  const cell method = scalar_support::word_named("get");
  return request(*source, method, nullptr, nullptr, binary, lines, info);
}

// The data is the body of a post, or a block [method headers data].
cell* write(cell* destination, cell* data, bool binary, bool lines, bool info, bool append, cell* part, cell* seek,
            cell* allow, cell* as) {
  if (!http_p(*destination))
    return port::write(port_of(*destination), data, binary, lines, info, append, part, seek, allow, as);
  if (seek || allow || as) not_done();
  cell method = scalar_support::word_named("post");
  cell headers = none::value, body = *data;
  if (data->type() == TYPE_BLOCK) {
    const cell block = *data;
    const uint32_t head = std::min<uint32_t>(std::max(static_cast<int32_t>(block.payload1), 0),
                                             buffer_of(block.payload2)->count());
    const uint32_t count = buffer_of(block.payload2)->count() - head;
    const cell* items = buffer_of(block.payload2)->cells() + head;
    if (count == 0 || items[0].type() != TYPE_WORD) fire(error_id::script_invalid_arg, count ? items[0] : block);
    method = items[0];
    if (count > 1 && items[1].type() != TYPE_BLOCK) fire(error_id::script_invalid_arg, items[1]);
    if (count > 1) headers = items[1];
    body = count > 2 ? items[2] : none::value;
  }
  if (!http_data_p(body.type())) fire(error_id::script_invalid_arg, body);
  return request(*destination, method, headers.type() == TYPE_BLOCK ? &headers : nullptr,
                 body.type() == TYPE_NONE ? nullptr : &body, binary, lines, info);
}

void init() {
  datatype::register_type(TYPE_URL, datatype::actions_row(
      // make random reflect to form mold eval-path set-path compare
      &make, unsupported, unsupported, &to, inherit, &mold, &eval_path, unsupported, inherit,
      // absolute add divide multiply negate power remainder round subtract
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported,
      // even? odd? and~ complement or~ xor~
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      // append at back change clear copy find head head? index? insert length? move next
      inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
      inherit, inherit,
      // pick poke put remove reverse select sort skip swap tail tail? take trim
      inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
      inherit,
      // create close delete modify open open? query read rename update write
      unsupported, unsupported, unsupported, inherit, &open, inherit, unsupported, &read, unsupported, unsupported,
      &write));
}

}  // namespace tav::url
