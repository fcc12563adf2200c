// Text output of strings: form copies the characters, mold writes them back as source text
// between double quotes or braces, with caret escapes.
#include <algorithm>
#include <array>

#include "datatypes/string.hpp"
#include "runtime/series.hpp"

namespace tav::string {
namespace {

// The character after "^" for code points below 95; 0 where a code point has none.
constexpr auto escape_table = [] {
  std::array<char, 95> table{};
  const char* controls = "@ABCDEFGH-/KLMNOPQRSTUVWXYZ[\\]^_";
  for (int i = 0; i < 32; ++i) table[i] = controls[i];
  table['"'] = '"';
  table['^'] = '^';
  return table;
}();

// Braces are chosen from this length of the text on.
inline constexpr uint32_t brace_length = 50;
inline constexpr uint32_t brace_line_feeds = 3;

// Counts the units a text would take.
struct counting_sink {
  uint64_t count = 0;
  void put(uint32_t) { ++count; }
};

// Writes units into room already reserved.
struct unit_sink_at {
  uint8_t* data;
  uint32_t unit;
  uint32_t index;
  void put(uint32_t cp) { unicode::set_unit(data, index++, unit, cp); }
};

// Appends to a string, growing it.
struct appending_sink {
  series_buffer* buffer;
  void put(uint32_t cp) { buffer = append_char(buffer, cp); }
};

template <class Sink>
void put_text(Sink& out, const char* text) {
  for (const char* p = text; *p; ++p) out.put(static_cast<uint8_t>(*p));
}

template <class Sink>
void put_escaped(Sink& out, uint32_t cp, bool all) {
  if (cp == 30 || (cp >= 128 && cp <= 159) || (all && cp > 127)) {
    out.put('^');
    out.put('(');
    put_text(out, to_hex(static_cast<int32_t>(cp), true));
    out.put(')');
  } else if (cp < escape_table.size() && escape_table[cp]) {
    out.put('^');
    out.put(static_cast<uint8_t>(escape_table[cp]));
  } else if (cp == 127) {
    out.put('^');
    out.put('~');
  } else {
    out.put(cp);
  }
}

struct text_range {
  const uint8_t* data;  // the first unit
  uint32_t unit;
  uint32_t count;
  uint32_t at(uint32_t i) const { return unicode::get_unit(data, i, unit); }
};

// The position of the first "{" that no later "}" closes (counting nested pairs), or the
// range's end. Every "{" before it has its match; from it on braces are no longer balanced.
uint32_t first_unmatched_brace(const text_range& text) {
  uint32_t first = text.count;
  uint32_t closers = 0;
  for (uint32_t i = text.count; i-- > 0;) {
    uint32_t c = text.at(i);
    if (c == '}') {
      ++closers;
    } else if (c == '{') {
      if (closers)
        --closers;
      else
        first = i;
    }
  }
  return first;
}

bool braces_needed_p(const text_range& text, uint32_t length_from_head) {
  if (length_from_head >= brace_length) return true;
  uint32_t line_feeds = 0;
  for (uint32_t i = 0; i < text.count; ++i) {
    uint32_t c = text.at(i);
    if (c == '"') return true;
    if (c == '\n' && ++line_feeds >= brace_line_feeds) return true;
  }
  return false;
}

template <class Sink>
void put_quoted(Sink& out, const text_range& text, bool all) {
  out.put('"');
  for (uint32_t i = 0; i < text.count; ++i) put_escaped(out, text.at(i), all);
  out.put('"');
}

template <class Sink>
void put_braced(Sink& out, const text_range& text, uint32_t unmatched, bool all) {
  out.put('{');
  uint32_t open = 0;
  for (uint32_t i = 0; i < text.count; ++i) {
    uint32_t c = text.at(i);
    if (c == '{') {
      if (i < unmatched) {
        out.put('{');
        ++open;
      } else {
        out.put('^');
        out.put('{');
      }
    } else if (c == '}') {
      if (open) {
        out.put('}');
        --open;
      } else {
        out.put('^');
        out.put('}');
      }
    } else if (c == '"') {
      out.put('"');
    } else {
      put_escaped(out, c, all);
    }
  }
  out.put('}');
}

template <class Sink>
void put_molded(Sink& out, const text_range& text, bool braces, uint32_t unmatched, bool all) {
  if (braces)
    put_braced(out, text, unmatched, all);
  else
    put_quoted(out, text, all);
}

text_range range_of(const cell& value, uint32_t count) {
  series_buffer* buffer = buffer_of(value.payload2);
  uint32_t unit = buffer->unit();
  uint32_t head = buffer->count() - ts_length_p(value);
  return {buffer->head() + head * unit, unit, count};
}

}  // namespace

void append_escaped_char(cell& buffer, uint32_t cp, bool all) {
  appending_sink out{buffer_of(buffer.payload2)};
  put_escaped(out, cp, all);
}

int32_t form(cell* value, cell* buffer, cell* part, int32_t limit) {
  uint32_t length = ts_length_p(*value);
  concatenate(*buffer, *value, part ? limit : -1, 0, concat_mode::append);
  return limit - static_cast<int32_t>(length);
}

int32_t mold(cell* value, cell* buffer, bool, bool all, bool, cell* part, int32_t limit, int32_t) {
  uint32_t length = ts_length_p(*value);
  uint32_t count = part && limit >= 0 ? std::min(length, static_cast<uint32_t>(limit)) : length;
  text_range text = range_of(*value, count);
  bool braces = braces_needed_p(text, length);
  uint32_t unmatched = braces ? first_unmatched_brace(text) : count;
  counting_sink counter;
  put_molded(counter, text, braces, unmatched, all);

  // Escapes are ASCII: with all? every character wider than that is escaped.
  node_id target = buffer->payload2;
  series_buffer* out = widen_to(buffer_of(target), all ? 1 : text.unit);
  uint32_t total = out->count();
  uint64_t final_count = total + counter.count;
  out = reserve(out, final_count);
  text = range_of(*value, count);  // the text may have moved with the growth
  unit_sink_at writer{out->head(), out->unit(), total};
  put_molded(writer, text, braces, unmatched, all);
  out->tail = out->offset + static_cast<uint32_t>(final_count * out->unit());
  return limit - static_cast<int32_t>(count) - 2;
}

}  // namespace tav::string
