// Lexer scanners: what each terminal state of the token grammar checks and how it handles
// structure (brackets, braces, maps, paths, points, comments, commas, constructions), the
// word and text checks, escapes, and the token checks the loaders of chars, files,
// binaries, points, tags and raw strings start from.
#include <array>
#include <cstring>

#include "interpreter/lexer_internal.hpp"
#include "runtime/unicode.hpp"

namespace tav::lexer {
namespace {

// Code points a word is cut at and that lead as white space (all below 65,536).
constexpr uint32_t delimiter_code_points[] = {0x0085, 0x00A0, 0x1680, 0x2000, 0x2001, 0x2002, 0x2003,
                                              0x2004, 0x2005, 0x2006, 0x2007, 0x2008, 0x2009, 0x200A,
                                              0x2028, 0x2029, 0x202F, 0x205F, 0x3000, 0x180E, 0x200B};

constexpr std::array<uint64_t, 1024> lex_delimiters = [] {
  std::array<uint64_t, 1024> bits{};
  for (uint32_t cp : delimiter_code_points) bits[cp >> 6] |= uint64_t{1} << (cp & 63);
  return bits;
}();

bool is_delimiter(uint32_t cp) { return cp < 65536 && (lex_delimiters[cp >> 6] >> (cp & 63)) & 1; }

// Raises invalid `type` unless [start, end) is valid UTF-8. Callers look at the token's
// high-byte flag first: pure ASCII needs no check.
void check_utf8(lexer_state& ls, uint32_t start, uint32_t end, int32_t type, uint32_t quote_from) {
  const uint8_t* in = ls.input;
  for (uint32_t p = start; p < end;) {
    if (in[p] < 0x80) {
      ++p;
      continue;
    }
    uint32_t cp;
    uint32_t n = decode_utf8(in + p, in + end, &cp);
    if (!n) syntax_error(ls, quote_from, end, type);
    p += n;
  }
}

int hex_value(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool same_ignoring_case(const uint8_t* text, uint32_t length, const char* name) {
  for (uint32_t i = 0; i < length; ++i) {
    uint8_t a = text[i], b = static_cast<uint8_t>(name[i]);
    if (b == 0) return false;
    if (a >= 'A' && a <= 'Z') a = static_cast<uint8_t>(a + 32);
    if (b >= 'A' && b <= 'Z') b = static_cast<uint8_t>(b + 32);
    if (a != b) return false;
  }
  return true;
}

struct escape_name {
  const char* name;
  uint32_t length;
  uint32_t value;
};
constexpr escape_name escape_names[] = {{"null", 4, 0},  {"back", 4, 8}, {"tab", 3, 9},   {"line", 4, 10},
                                        {"page", 4, 12}, {"esc", 3, 27}, {"del", 3, 127}};

// Datatype names in registration order, which decides what a shortened construction names.
struct datatype_name {
  const char* name;
  int32_t id;
};
constexpr datatype_name registration_order[] = {
    {"datatype!", 1},  {"unset!", 2},     {"none!", 3},      {"logic!", 4},      {"series!", 42},
    {"block!", 5},     {"string!", 7},    {"binary!", 41},   {"integer!", 11},   {"symbol!", 13},
    {"context!", 14},  {"word!", 15},     {"lit-word!", 17}, {"set-word!", 16},  {"get-word!", 18},
    {"refinement!", 19}, {"char!", 10},   {"native!", 21},   {"action!", 22},    {"op!", 23},
    {"path!", 25},     {"lit-path!", 26}, {"set-path!", 27}, {"get-path!", 28},  {"function!", 24},
    {"routine!", 29},  {"paren!", 6},     {"issue!", 20},    {"url!", 9},        {"file!", 8},
    {"object!", 32},   {"bitset!", 30},   {"triple!", 31},   {"float!", 12},     {"typeset!", 33},
    {"error!", 34},    {"vector!", 35},   {"map!", 40},      {"hash!", 36},      {"pair!", 37},
    {"percent!", 38},  {"tuple!", 39},    {"time!", 43},     {"tag!", 44},       {"email!", 45},
    {"handle!", 46},   {"date!", 47},     {"port!", 48},     {"money!", 49},     {"ref!", 50},
    {"point2D!", 51},  {"point3D!", 52},  {"image!", 53},    {"event!", 54},
};

// ---- scanners, in terminal order ----

// The end token names no type of its own: the run keeps the type of its last token.
void scan_end(lexer_state& ls, uint32_t, uint32_t, uint32_t, bool) {
  ls.position = ls.input_end;
  ls.token_type = ls.last_type;
}

void scan_error(lexer_state& ls, uint32_t start, uint32_t end, uint32_t, bool) {
  uint32_t previous = ls.previous_state;
  int32_t type = previous < lex_state_count ? lex_types[previous] : 0;
  ls.error_type = type;
  uint32_t quote_from = start;
  if (ls.brace_depth > 0)
    quote_from = ls.brace_start;
  else if (type == type::block || type == type::paren || type::is_path(type))
    quote_from = from_open_series;
  syntax_error(ls, quote_from, end, type ? type : code::bad_char);
}

void scan_open(lexer_state& ls, uint32_t, uint32_t end, uint32_t, bool) {
  ls.position = end + 1;
  if (ls.input[end] == '[') {
    open_series(ls, type::block, end, end + 1);
  } else if (point_ahead(ls, end + 1)) {
    ls.point_lines = ls.lines_crossed;
    ls.token_type = 0;
    ls.start_state = start::point;
  } else {
    open_series(ls, type::paren, end, end + 1);
  }
}

void scan_block_close(lexer_state& ls, uint32_t, uint32_t end, uint32_t, bool) {
  ls.position = end + 1;
  close_series(ls, type::block);
}

void scan_paren_close(lexer_state& ls, uint32_t, uint32_t end, uint32_t, bool) {
  ls.position = end + 1;
  close_series(ls, type::paren);
}

void scan_brace_open(lexer_state& ls, uint32_t, uint32_t end, uint32_t flags, bool) {
  ls.position = end + 1;
  if (ls.brace_depth == 0) {
    notify(ls, event::open, type::string, end, end, end + 1);
    ls.brace_start = end;
  }
  ++ls.brace_depth;
  ls.brace_flags |= flags | (ls.lines_crossed ? lex_flag::brace_line : 0);
  ls.start_state = start::brace_string;
}

void scan_string(lexer_state& ls, uint32_t start, uint32_t end, uint32_t flags, bool) {
  int32_t type = ls.scanner_type > 0 ? ls.scanner_type : type::string;
  check_text(ls, start + 1, end, flags, type, start);
  ls.position = end + 1;
}

void scan_brace_close(lexer_state& ls, uint32_t, uint32_t end, uint32_t flags, bool load) {
  ls.position = end + 1;
  if (--ls.brace_depth > 0) {
    ls.brace_flags |= flags;
    if (ls.position >= ls.input_end) syntax_error(ls, ls.brace_start, ls.input_end, type::string);
    return;
  }
  uint32_t first = ls.brace_start;
  uint32_t all_flags = flags | ls.brace_flags;
  notify(ls, event::close, type::string, end, first, end);
  if (ls.brace_flags & lex_flag::brace_line) ls.lines_crossed = 1;  // the string gets the new-line flag
  ls.brace_start = 0;
  ls.brace_flags = 0;
  ls.start_state = 0;
  token_fn loader = hooks.loaders[terminal::string - lex_first_terminal];
  if (load && loader) {
    if (notify(ls, event::scan, type::string, end + 1, first, end + 1)) {
      uint32_t before = ls.tail;
      loader(ls, first, end, all_flags, true);
      if (ls.tail > before) notify(ls, event::load, type::string, end + 1, first, end + 1, static_cast<int32_t>(ls.tail - 1));
    }
  } else {
    scan_string(ls, first, end, all_flags, false);
    notify(ls, event::scan, type::string, end + 1, first, end + 1);
  }
  ls.position = end + 1;
}

void scan_map_open(lexer_state& ls, uint32_t start, uint32_t end, uint32_t, bool) {
  ls.position = end + 1;
  open_series(ls, type::map, start, end + 1);
}

void scan_path_open(lexer_state& ls, uint32_t start, uint32_t end, uint32_t flags, bool load) {
  uint8_t first = ls.input[start];
  int32_t kind = first == '\'' ? type::lit_path : first == ':' ? type::get_path : type::path;
  uint32_t head = kind == type::path ? start : start + 1;
  if (flags & lex_flag::high_byte) check_utf8(ls, head, end, type::word, start);
  ls.position = end + 1;
  if (!open_series(ls, kind, start, end + 1)) return;
  ls.scanner_type = type::word;
  token_fn loader = hooks.loaders[terminal::word - lex_first_terminal];
  if (load && loader && notify(ls, event::scan, type::word, end, head, end)) {
    uint32_t before = ls.tail;
    loader(ls, head, end, flags, true);
    if (ls.tail > before && !notify(ls, event::load, type::word, end, head, end, static_cast<int32_t>(ls.tail - 1)))
      ls.tail = before;
    ls.position = end + 1;
  }
  ls.start_state = start::path_element;
}

void scan_construct(lexer_state& ls, uint32_t start, uint32_t end, uint32_t, bool load) {
  ls.position = end + 1;
  const uint8_t* text = ls.input + start + 2;
  uint32_t length = end - start - 2;
  struct special {
    const char* name;
    construct_value kind;
    int32_t type;
  };
  static constexpr special specials[] = {{"true", construct_value::truth, type::logic},
                                         {"false", construct_value::falsehood, type::logic},
                                         {"none", construct_value::none, type::none},
                                         {"unset", construct_value::unset, type::unset}};
  for (const special& s : specials) {
    if (length == std::strlen(s.name) && same_ignoring_case(text, length, s.name)) {
      ls.token_type = s.type;
      if (load && hooks.construct) hooks.construct(ls, s.kind, 0);
      return;
    }
  }
  for (const datatype_name& d : registration_order) {
    if (length <= std::strlen(d.name) && same_ignoring_case(text, length, d.name)) {
      ls.token_type = type::datatype;
      if (load && hooks.construct) hooks.construct(ls, construct_value::datatype, d.id);
      return;
    }
  }
  syntax_error(ls, start, end, code::bad_construction);
}

void scan_comment(lexer_state& ls, uint32_t start, uint32_t end, uint32_t, bool) {
  notify(ls, event::scan, -static_cast<int32_t>(terminal::comment - 65), end, start, end);
}

void scan_comma(lexer_state& ls, uint32_t start, uint32_t end, uint32_t, bool) {
  ls.position = end + 1;
  int32_t open = innermost_type(ls);
  if (open != type::point2d && open != type::paren) syntax_error(ls, start, end + 1, type::point2d);
  out_cell& marker = output_base[innermost_marker(ls)];
  uint32_t commas = open == type::paren ? 1 : (marker.word2 >> 16) + 1;
  if (commas > 0xFFFF) commas = 0xFFFF;
  marker.word2 = static_cast<uint32_t>(type::point2d) | commas << 16;
}

void scan_word(lexer_state& ls, uint32_t start, uint32_t end, uint32_t flags, bool) {
  const uint8_t* in = ls.input;
  if (flags & lex_flag::high_byte) {
    for (uint32_t p = start; p < end;) {
      if (in[p] < 0x80) {
        ++p;
        continue;
      }
      uint32_t cp;
      uint32_t n = decode_utf8(in + p, in + end, &cp);
      if (!n) syntax_error(ls, start, end, type::word);
      if (is_delimiter(cp)) {
        end = ls.position = ls.token_end = p;
        break;
      }
      p += n;
    }
  }
  bool trailing_colon = false;
  if (flags & lex_flag::colon) {
    bool leading = in[start] == ':';
    trailing_colon = end - start > 1 && in[end - 1] == ':';
    uint32_t inner_start = start + leading, inner_end = trailing_colon ? end - 1 : end;
    bool inner = inner_end > inner_start && std::memchr(in + inner_start, ':', inner_end - inner_start);
    if (inner || (leading && trailing_colon)) syntax_error(ls, start, end, type::word);
    if (leading) ls.scanner_type = type::get_word;
    if (trailing_colon) ls.scanner_type = type::set_word;
  }
  if (in[start] == '\'') {
    if (trailing_colon) syntax_error(ls, start, end, type::lit_word);
    ls.scanner_type = type::lit_word;
  }
}

void scan_issue(lexer_state& ls, uint32_t start, uint32_t end, uint32_t flags, bool) {
  if (end - start < 2 || ls.input[start] != '#') syntax_error(ls, start, end, type::issue);
  if (flags & lex_flag::high_byte) check_utf8(ls, start, end, type::issue, start);
  ls.scanner_type = type::issue;
}

}  // namespace

const token_fn scanners[terminal::count] = {
    scan_end,       scan_error,    scan_open,      scan_block_close, scan_open,      scan_paren_close,
    scan_brace_open, scan_brace_close, scan_map_open, scan_path_open, scan_construct, scan_comment,
    scan_comma,     scan_string,   scan_word,      scan_issue,
};

bool point_ahead(const lexer_state& ls, uint32_t after) {
  if (after > ls.input_end || ls.input_end - after <= 3) return false;
  for (uint32_t p = after; p < ls.input_end; ++p) {
    switch (ls.input[p]) {
      case ' ': case '\t': case '#': case '+': case '-': case '.':
      case '0': case '1': case '2': case '3': case '4': case '5': case '6': case '7': case '8': case '9':
      case 'A': case 'E': case 'F': case 'I': case 'N': case 'a': case 'e': case 'f': case 'i': case 'n':
        continue;
      case ',': return true;
      default: return false;
    }
  }
  return true;
}

void path_end(lexer_state& ls) {
  uint32_t p = ls.position;
  const uint8_t* in = ls.input;
  if (p >= ls.input_end || lex_path_end[lex_classes[in[p]] & lex_flag::class_mask]) {
    int32_t closing = -1;
    if (p < ls.input_end && in[p] == ':') {
      if (p + 1 < ls.input_end && in[p + 1] == '/') syntax_error(ls, from_open_series, p + 2, type::path);
      closing = type::set_path;
      ls.position = p + 1;
    }
    close_series(ls, closing);
    return;
  }
  if (p + 1 == ls.input_end || in[p] == ':') syntax_error(ls, from_open_series, p + 1, type::path);
  ls.position = p + 1;
  ls.start_state = start::path_element;
}

uint32_t skip_leading_delimiters(lexer_state& ls, uint32_t start, uint32_t end) {
  const uint8_t* in = ls.input;
  uint32_t p = start;
  while (p < end && in[p] >= 0x80) {
    uint32_t cp;
    uint32_t n = decode_utf8(in + p, in + end, &cp);
    if (!n) syntax_error(ls, start, end, type::word);
    if (!is_delimiter(cp)) break;
    p += n;
  }
  return p;
}

uint32_t decode_utf8(const uint8_t* p, const uint8_t* end, uint32_t* cp) {
  const auto& dfa = unicode::utf8_dfa;
  uint32_t cls = dfa[*p];
  uint32_t value = (0xFFu >> cls) & *p;
  uint32_t state = dfa[256 + cls];
  const uint8_t* q = p + 1;
  while (state > unicode::utf8_reject) {
    if (q >= end) return 0;
    uint8_t b = *q++;
    value = (value << 6) | (b & 0x3Fu);
    state = dfa[256 + state + dfa[b]];
  }
  if (state != unicode::utf8_accept) return 0;
  *cp = value;
  return static_cast<uint32_t>(q - p);
}

uint32_t decode_escape(const uint8_t* p, const uint8_t* end, uint32_t* cp) {
  if (end - p < 2) return 0;
  uint8_t b = p[1];
  if (b == '(') {
    const uint8_t* text = p + 2;
    const uint8_t* close = nullptr;
    for (const uint8_t* r = text; r < end && r - (p + 1) <= 7; ++r) {
      if (*r == ')') {
        close = r;
        break;
      }
    }
    if (!close) return 0;
    uint32_t length = static_cast<uint32_t>(close - text);
    uint32_t value = 0;
    bool found = false;
    for (const escape_name& n : escape_names) {
      if (length == n.length && same_ignoring_case(text, length, n.name)) {
        value = n.value;
        found = true;
      }
    }
    if (!found) {
      if (length == 0 || length > 6) return 0;
      for (uint32_t i = 0; i < length; ++i) {
        int digit = hex_value(text[i]);
        if (digit < 0) return 0;
        value = value << 4 | static_cast<uint32_t>(digit);
      }
      if (value > unicode::max_code_point) return 0;
    }
    *cp = value;
    return static_cast<uint32_t>(close + 1 - p);
  }
  switch (b) {
    case '"': *cp = '"'; return 2;
    case '-': *cp = '\t'; return 2;
    case '/': *cp = '\n'; return 2;
    case '^': *cp = '^'; return 2;
    case '{': *cp = '{'; return 2;
    case '}': *cp = '}'; return 2;
    case '~': *cp = 127; return 2;
    case '@': *cp = 0; return 2;
    default: break;
  }
  if (b >= 'a' && b <= 'z') {
    *cp = b - 'a' + 1u;
    return 2;
  }
  if (b >= 'A' && b <= '_') {
    *cp = b - 'A' + 1u;
    return 2;
  }
  if (b >= 0x80) {  // a whole character stands for itself
    uint32_t n = decode_utf8(p + 1, end, cp);
    return n ? n + 1 : 0;
  }
  *cp = b;
  return 2;
}

void check_text(lexer_state& ls, uint32_t start, uint32_t end, uint32_t flags, int32_t type, uint32_t quote_from) {
  if (!(flags & lex_flag::caret)) {
    if (flags & lex_flag::high_byte) check_utf8(ls, start, end, type, quote_from);
    return;
  }
  const uint8_t* in = ls.input;
  for (uint32_t p = start; p < end;) {
    uint32_t cp, n = 1;
    if (in[p] == '^')
      n = decode_escape(in + p, in + end, &cp);
    else if (in[p] >= 0x80)
      n = decode_utf8(in + p, in + end, &cp);
    if (!n) syntax_error(ls, quote_from, end, type);
    p += n;
  }
}

void check_char(lexer_state& ls, uint32_t start, uint32_t end, uint32_t, bool) {
  const uint8_t* in = ls.input;
  if (end - start < 3 || in[start] != '#' || in[start + 1] != '"') syntax_error(ls, start, end, type::character);
  const uint8_t* p = in + start + 2;
  uint32_t cp;
  uint32_t n = *p == '^' ? decode_escape(p, in + end, &cp) : *p < 0x80 ? (cp = *p, 1u) : decode_utf8(p, in + end, &cp);
  if (!n || p + n != in + end) syntax_error(ls, start, end, type::character);
  ls.position = end + 1;
}

void check_file(lexer_state& ls, uint32_t start, uint32_t end, uint32_t, bool) {
  if (end - start >= 2 && ls.input[start + 1] == '"') ls.position = end + 1;
}

void check_binary(lexer_state& ls, uint32_t, uint32_t end, uint32_t, bool) { ls.position = end + 1; }

void check_percent(lexer_state& ls, uint32_t, uint32_t end, uint32_t, bool) { ls.position = end + 1; }

point_parts split_point(lexer_state& ls, uint32_t start, uint32_t end) {
  const uint8_t* in = ls.input;
  auto blank = [&](uint32_t p) { return in[p] == ' ' || in[p] == '\t'; };
  point_parts parts{};
  uint32_t p = start;
  for (;;) {
    while (p < end && blank(p)) ++p;
    uint32_t number = p;
    while (p < end && in[p] != ',' && !blank(p)) ++p;
    if (p == number) syntax_error(ls, start - 1, end, parts.count == 2 ? type::point3d : type::point2d);
    parts.start[parts.count] = number;
    parts.end[parts.count] = p;
    ++parts.count;
    while (p < end && blank(p)) ++p;
    if (p < end && in[p] == ',') {
      if (parts.count == 3) syntax_error(ls, start - 1, end, type::point3d);
      ++p;
      continue;
    }
    break;
  }
  if (parts.count < 2 || p != end) syntax_error(ls, start - 1, end, parts.count == 3 ? type::point3d : type::point2d);
  return parts;
}

void check_point(lexer_state& ls, uint32_t start, uint32_t end, uint32_t, bool) {
  point_parts parts = split_point(ls, start, end);
  ls.position = end + 1;
  ls.token_type = parts.count == 3 ? type::point3d : type::point2d;
  ls.lines_crossed = ls.point_lines;
  ls.start_state = type::is_path(innermost_type(ls)) ? start::path_element : 0;
}

void check_tag(lexer_state& ls, uint32_t start, uint32_t end, uint32_t, bool) {
  if (ls.input[start] != '<') syntax_error(ls, start, end, type::tag);
  ls.position = end + 1;
}

void check_raw_string(lexer_state& ls, uint32_t start, uint32_t end, uint32_t, bool load) {
  const uint8_t* in = ls.input;
  uint32_t opening = 0;
  while (in[start + opening] == '%') ++opening;
  uint32_t closing = 0;
  while (closing < end - start && in[end - 1 - closing] == '%') ++closing;
  if (!load) notify(ls, event::open, type::string, start, start, start + opening + 1);
  if (closing > opening) syntax_error(ls, start, end, type::string);
  uint32_t stop = end;
  if (closing < opening) {
    // A NUL ends the input as its end does.
    const void* nul = std::memchr(in + end, 0, ls.input_end - end);
    uint32_t limit = nul ? static_cast<uint32_t>(static_cast<const uint8_t*>(nul) - in) : ls.input_end;
    uint32_t p = end;
    for (;;) {
      const void* brace = std::memchr(in + p, '}', limit - p);
      if (!brace) syntax_error(ls, start, limit, type::string);
      uint32_t q = static_cast<uint32_t>(static_cast<const uint8_t*>(brace) - in) + 1;
      uint32_t run = 0;
      while (run < opening && q + run < limit && in[q + run] == '%') ++run;
      if (run == opening) {
        stop = q + run;
        break;
      }
      p = q;
    }
    if (ls.position <= end) {  // a second check of the same token must not count its lines again
      for (uint32_t i = end; i < stop; ++i) ls.line += in[i] == '\n';
    }
  }
  ls.position = stop;
  if (!load) notify(ls, event::close, type::string, stop, start, stop);
}

}  // namespace tav::lexer
