// The HTTP client: one synchronous request per read or write of an http or https URL, on
// libcurl, loaded at the first request (linking it would cost every start-up several
// milliseconds for its dependencies). The callbacks only gather bytes; values are made once
// the transfer is over.
#define CURL_DISABLE_TYPECHECK
#include <curl/curl.h>
#include <dlfcn.h>

#include <cstring>
#include <string>
#include <vector>

#include "datatypes/actions.hpp"
#include "datatypes/any_string.hpp"
#include "datatypes/binary.hpp"
#include "datatypes/block.hpp"
#include "datatypes/map.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/text_output.hpp"
#include "datatypes/types.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "io/simple_io.hpp"
#include "runtime/collector.hpp"
#include "runtime/errors.hpp"
#include "runtime/unicode_string.hpp"

namespace tav::simple_io {
namespace {

constexpr long connect_seconds = 60;
// A transfer that moves less than one byte a second for this long fails.
constexpr long stall_seconds = 30;

// The library's entry points, found once; false for good when it cannot be loaded.
struct library {
  CURLcode (*global_init)(long);
  CURL* (*easy_init)();
  CURLcode (*easy_setopt)(CURL*, CURLoption, ...);
  CURLcode (*easy_perform)(CURL*);
  CURLcode (*easy_getinfo)(CURL*, CURLINFO, ...);
  void (*easy_cleanup)(CURL*);
  curl_slist* (*slist_append)(curl_slist*, const char*);
  void (*slist_free_all)(curl_slist*);
};

template <class Function>
bool find(void* handle, const char* name, Function& target) {
  target = reinterpret_cast<Function>(dlsym(handle, name));
  return target != nullptr;
}

bool load(library& curl) {
  void* handle = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
  if (!handle) return false;
  const bool found = find(handle, "curl_global_init", curl.global_init) &&
                     find(handle, "curl_easy_init", curl.easy_init) &&
                     find(handle, "curl_easy_setopt", curl.easy_setopt) &&
                     find(handle, "curl_easy_perform", curl.easy_perform) &&
                     find(handle, "curl_easy_getinfo", curl.easy_getinfo) &&
                     find(handle, "curl_easy_cleanup", curl.easy_cleanup) &&
                     find(handle, "curl_slist_append", curl.slist_append) &&
                     find(handle, "curl_slist_free_all", curl.slist_free_all);
  return found && curl.global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
}

const library* loaded() {
  static library curl{};
  static const bool ready = load(curl);
  return ready ? &curl : nullptr;
}

struct outgoing {
  std::string method, url, body;
  bool has_body = false;
  std::vector<std::string> headers;
};

struct incoming {
  long status = 0;
  std::string headers, body;
};

bool any_word_p(uint8_t type) {
  return type == TYPE_WORD || type == TYPE_LIT_WORD || type == TYPE_SET_WORD || type == TYPE_GET_WORD;
}

bool text_p(uint8_t type) { return type == TYPE_STRING || type == TYPE_URL; }

// The UTF-8 text of a string, or of any other value formed.
std::string utf8_of(const cell& value) {
  if (any_word_p(value.type())) return symbol::name(word::symbol_of(value));
  cell scratch = value;
  collector::scoped_root keep(&scratch);
  if (!text_p(value.type())) {
    text::make_at(scratch, 16);
    cell copy = value;
    actions::form(&copy, &scratch, nullptr, INT32_MAX);
  }
  int64_t length = -1;
  const uint8_t* bytes = unicode::to_utf8(scratch, &length);
  return std::string(reinterpret_cast<const char*>(bytes), static_cast<size_t>(length));
}

std::string method_text(const cell& method) {
  std::string text = utf8_of(method);
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

void add_header_lines(const cell& headers, outgoing& request) {
  const uint32_t head = std::min<uint32_t>(std::max(static_cast<int32_t>(headers.payload1), 0),
                                           buffer_of(headers.payload2)->count());
  const uint32_t count = buffer_of(headers.payload2)->count() - head;
  if (count % 2) fire(error_id::script_invalid_arg, headers);
  for (uint32_t i = 0; i < count; i += 2) {
    const cell name = buffer_of(headers.payload2)->cells()[head + i];
    const cell value = buffer_of(headers.payload2)->cells()[head + i + 1];
    std::string line = utf8_of(name);
    line += ": ";
    line += utf8_of(value);
    request.headers.push_back(std::move(line));
  }
}

outgoing prepare(cell& url, const cell& method, const cell* headers, const cell* data) {
  outgoing request;
  request.method = method_text(method);
  request.url = utf8_of(url);
  if (headers) {
    add_header_lines(*headers, request);
  } else {
    request.headers = {"Content-Type: application/x-www-form-urlencoded", "Accept-Charset: UTF-8",
                       "User-Agent: Mozilla/5.0 (Windows NT 6.1; Win64; x64)"};
  }
  const bool bodiless = request.method == "GET" || request.method == "HEAD";
  if (data && !bodiless) {
    if (data->type() == TYPE_BINARY) {
      request.body.assign(reinterpret_cast<const char*>(binary::ts_head(*data)), binary::ts_length_p(*data));
    } else if (data->type() == TYPE_STRING) {
      request.body = utf8_of(*data);
    } else {
      fire(error_id::script_invalid_arg, *data);
    }
    request.has_body = true;
  }
  return request;
}

// curl's own headers a request must not carry; a block that names them sets them itself.
void suppress_defaults(outgoing& request) {
  auto named = [&](const char* name) {
    const size_t n = std::strlen(name);
    for (const std::string& line : request.headers)
      if (line.size() > n && strncasecmp(line.c_str(), name, n) == 0 && line[n] == ':') return true;
    return false;
  };
  if (!named("Accept")) request.headers.emplace_back("Accept:");
  if (!named("Expect")) request.headers.emplace_back("Expect:");
  if (request.has_body && !named("Content-Type")) request.headers.emplace_back("Content-Type:");
}

size_t on_body(char* bytes, size_t size, size_t n, void* target) {
  static_cast<incoming*>(target)->body.append(bytes, size * n);
  return size * n;
}

// Each response of a redirect chain starts with its status line: only the last one is kept.
size_t on_header(char* bytes, size_t size, size_t n, void* target) {
  auto* response = static_cast<incoming*>(target);
  if (size * n >= 5 && std::memcmp(bytes, "HTTP/", 5) == 0) {
    response->headers.clear();
    response->body.clear();
  }
  response->headers.append(bytes, size * n);
  return size * n;
}

bool perform(outgoing& request, incoming& response) {
  const library* curl = loaded();
  if (!curl) return false;
  CURL* easy = curl->easy_init();
  if (!easy) return false;
  suppress_defaults(request);
  curl_slist* list = nullptr;
  for (const std::string& line : request.headers) {
    curl_slist* next = curl->slist_append(list, line.c_str());
    if (!next) {
      curl->slist_free_all(list);
      curl->easy_cleanup(easy);
      return false;
    }
    list = next;
  }
  curl->easy_setopt(easy, CURLOPT_URL, request.url.c_str());
  curl->easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl->easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
  curl->easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, connect_seconds);
  curl->easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl->easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, stall_seconds);
  curl->easy_setopt(easy, CURLOPT_HTTPHEADER, list);
  curl->easy_setopt(easy, CURLOPT_WRITEFUNCTION, on_body);
  curl->easy_setopt(easy, CURLOPT_WRITEDATA, &response);
  curl->easy_setopt(easy, CURLOPT_HEADERFUNCTION, on_header);
  curl->easy_setopt(easy, CURLOPT_HEADERDATA, &response);
  if (request.method == "HEAD") {
    curl->easy_setopt(easy, CURLOPT_NOBODY, 1L);
  } else if (request.method != "GET") {
    if (request.method != "POST") curl->easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request.method.c_str());
    if (request.has_body) {
      curl->easy_setopt(easy, CURLOPT_POSTFIELDS, request.body.data());
      curl->easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
    } else if (request.method == "POST") {
      curl->easy_setopt(easy, CURLOPT_POSTFIELDS, "");
    }
  }
  const bool done = curl->easy_perform(easy) == CURLE_OK;
  if (done) curl->easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &response.status);
  curl->slist_free_all(list);
  curl->easy_cleanup(easy);
  return done;
}

void body_value(const std::string& body, bool binary, bool lines, cell& target) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(body.data());
  if (binary) {
    binary::make_at(target, static_cast<uint32_t>(body.size()));
    binary::append_bytes(target, bytes, static_cast<uint32_t>(body.size()));
  } else if (lines) {
    split_lines(bytes, body.size(), target);
  } else {
    load_text(bytes, body.size(), target);
  }
}

bool http_request(cell& url, const cell& method, const cell* headers, const cell* data, bool binary, bool lines,
                  bool info, cell& result) {
  outgoing request = prepare(url, method, headers, data);
  incoming response;
  if (!perform(request, response)) return false;
  if (!info) {
    body_value(response.body, binary, lines, result);
    return true;
  }
  block::make_at(result, 3);
  block::append_cell(result, scalar::integer(static_cast<int32_t>(response.status)));
  cell part = none::value;
  collector::scoped_root keep(&part);
  parse_headers(reinterpret_cast<const uint8_t*>(response.headers.data()), response.headers.size(), part);
  block::append_cell(result, part);
  body_value(response.body, binary, lines, part);
  block::append_cell(result, part);
  return true;
}

bool blank_p(uint8_t c) { return c == ' ' || c == '\t'; }

// One header: a repeated name gathers its values in a block, in arrival order.
void add_header(const uint8_t* name, size_t name_length, const uint8_t* value, size_t value_length, cell& map) {
  cell key = word_variant::load(TYPE_WORD, std::string(reinterpret_cast<const char*>(name), name_length).c_str());
  cell text = none::value;
  collector::scoped_root keep_key(&key), keep_text(&text);
  string::load_at(value, value_length, &text, string::encoding::utf8);
  const cell found = *map::select(&map, &key, nullptr, false, false, false, false, nullptr, nullptr, false, false);
  if (found.type() == TYPE_NONE) {
    map::put(&map, &key, &text, false);
  } else if (found.type() == TYPE_BLOCK) {
    block::append_cell(found, text);
  } else {
    cell gathered = none::value;
    collector::scoped_root keep(&gathered);
    block::make_at(gathered, 4);
    block::append_cell(gathered, found);
    block::append_cell(gathered, text);
    map::put(&map, &key, &gathered, false);
  }
}

}  // namespace

// Lines without a colon (the status line, the blank end) are passed over; blanks after the
// colon are optional and skipped; a last line without CR LF is taken as it is.
void parse_headers(const uint8_t* bytes, size_t n, cell& result) {
  map::make_at(result, 0, 20);
  const uint8_t* end = bytes + n;
  for (const uint8_t* line = bytes; line < end;) {
    const auto* lf = static_cast<const uint8_t*>(std::memchr(line, '\n', static_cast<size_t>(end - line)));
    const uint8_t* next = lf ? lf + 1 : end;
    // A count rather than an end pointer: the optimiser cannot tell that a trimmed end stays at or
    // past the line's start, and takes the search bound for a negative one.
    auto length = static_cast<size_t>((lf ? lf : end) - line);
    if (length > 0 && line[length - 1] == '\r') --length;
    const uint8_t* stop = line + length;
    const auto* colon = static_cast<const uint8_t*>(std::memchr(line, ':', length));
    if (colon && colon > line) {
      const uint8_t* value = colon + 1;
      while (value < stop && blank_p(*value)) ++value;
      add_header(line, static_cast<size_t>(colon - line), value, static_cast<size_t>(stop - value), result);
    }
    line = next;
  }
}

void init_http() { url::http_request = http_request; }

}  // namespace tav::simple_io
