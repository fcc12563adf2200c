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

// Writes units of type Out into room already reserved.
template <class Out>
struct writing_sink {
  Out* at;
  void put(uint32_t cp) { *at++ = static_cast<Out>(cp); }
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

// Printable ASCII other than the double quote and the caret is written as it is.
inline bool plain_ascii_p(uint32_t cp) { return cp - 32 < 95 && cp != '"' && cp != '^'; }

template <class Sink>
void put_escaped(Sink& out, uint32_t cp, bool all) {
  if (plain_ascii_p(cp)) {
    out.put(cp);
  } else if (cp == 30 || (cp >= 128 && cp <= 159) || (all && cp > 127)) {
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

// The characters of a range, read with their unit's type.
template <class In>
struct text_range {
  const In* data;
  uint32_t count;
};

// The position of the first "{" that no later "}" closes (counting nested pairs), or the
// range's end. Every "{" before it has its match; from it on braces are no longer balanced.
template <class In>
uint32_t first_unmatched_brace(const text_range<In>& text) {
  uint32_t first = text.count;
  uint32_t closers = 0;
  for (uint32_t i = text.count; i-- > 0;) {
    uint32_t c = text.data[i];
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

template <class In>
bool braces_needed_p(const text_range<In>& text, uint32_t length_from_head) {
  if (length_from_head >= brace_length) return true;
  uint32_t line_feeds = 0;
  for (uint32_t i = 0; i < text.count; ++i) {
    uint32_t c = text.data[i];
    if (c == '"') return true;
    if (c == '\n' && ++line_feeds >= brace_line_feeds) return true;
  }
  return false;
}

template <class Sink, class In>
void put_quoted(Sink& out, const text_range<In>& text, bool all) {
  out.put('"');
  for (uint32_t i = 0; i < text.count; ++i) put_escaped(out, text.data[i], all);
  out.put('"');
}

template <class Sink, class In>
void put_braced(Sink& out, const text_range<In>& text, uint32_t unmatched, bool all) {
  out.put('{');
  uint32_t open = 0;
  for (uint32_t i = 0; i < text.count; ++i) {
    uint32_t c = text.data[i];
    if (plain_ascii_p(c) && c != '{' && c != '}') {
      out.put(c);
    } else if (c == '{') {
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

template <class Sink, class In>
void put_molded(Sink& out, const text_range<In>& text, bool braces, uint32_t unmatched, bool all) {
  if (braces)
    put_braced(out, text, unmatched, all);
  else
    put_quoted(out, text, all);
}

// Units that molding in quote mode writes for each Latin-1 code point, without and with all?.
// Brace mode differs only for the double quote (plain) and the braces (see below).
struct escape_lengths {
  uint8_t quoted[2][256];
};
const escape_lengths lengths = [] {
  escape_lengths result{};
  for (int all = 0; all < 2; ++all) {
    for (uint32_t cp = 0; cp < 256; ++cp) {
      counting_sink counter;
      put_escaped(counter, cp, all != 0);
      result.quoted[all][cp] = static_cast<uint8_t>(counter.count);
    }
  }
  return result;
}();

// The units put_molded writes, counted without writing.
template <class In>
uint64_t molded_length(const text_range<In>& text, bool braces, uint32_t unmatched, bool all) {
  const uint8_t* table = lengths.quoted[all ? 1 : 0];
  uint64_t count = 2;
  uint32_t open = 0;
  for (uint32_t i = 0; i < text.count; ++i) {
    uint32_t c = text.data[i];
    if (c > 0xFF) {
      counting_sink counter;
      put_escaped(counter, c, all);
      count += counter.count;
      continue;
    }
    count += table[c];
    if (!braces) continue;
    if (c == '"') {
      --count;  // plain between braces
    } else if (c == '{') {
      if (i < unmatched)
        ++open;
      else
        ++count;
    } else if (c == '}') {
      if (open)
        --open;
      else
        ++count;
    }
  }
  return count;
}

template <class In>
text_range<In> range_of(const cell& value, uint32_t count) {
  series_buffer* buffer = buffer_of(value.payload2);
  uint32_t head = buffer->count() - ts_length_p(value);
  return {reinterpret_cast<const In*>(buffer->head()) + head, count};
}

template <class In>
void write_molded(const cell& value, uint32_t count, uint8_t* place, uint32_t unit, bool braces, uint32_t unmatched,
                  bool all) {
  text_range<In> text = range_of<In>(value, count);
  switch (unit) {
    case 1: {
      writing_sink<uint8_t> out{place};
      put_molded(out, text, braces, unmatched, all);
      break;
    }
    case 2: {
      writing_sink<uint16_t> out{reinterpret_cast<uint16_t*>(place)};
      put_molded(out, text, braces, unmatched, all);
      break;
    }
    default: {
      writing_sink<uint32_t> out{reinterpret_cast<uint32_t*>(place)};
      put_molded(out, text, braces, unmatched, all);
      break;
    }
  }
}

// Molds `count` characters from the value's head at the output's tail, the characters read
// as In: once to count what will be written, then to write it into room made for it.
template <class In>
void mold_range(const cell& value, uint32_t count, cell& output, bool all) {
  uint32_t length = ts_length_p(value);
  text_range<In> text = range_of<In>(value, count);
  bool braces = braces_needed_p(text, length);
  uint32_t unmatched = braces ? first_unmatched_brace(text) : count;
  uint64_t written = molded_length(text, braces, unmatched, all);

  // Escapes are ASCII: with all? every character wider than that is escaped.
  series_buffer* out = widen_to(buffer_of(output.payload2), all ? 1 : sizeof(In));
  uint32_t total = out->count();
  uint64_t final_count = total + written;
  out = reserve(out, final_count);
  // Growing or widening the output may have moved or widened the text itself.
  uint8_t* place = out->head() + size_t{total} * out->unit();
  switch (buffer_of(value.payload2)->unit()) {
    case 1: write_molded<uint8_t>(value, count, place, out->unit(), braces, unmatched, all); break;
    case 2: write_molded<uint16_t>(value, count, place, out->unit(), braces, unmatched, all); break;
    default: write_molded<uint32_t>(value, count, place, out->unit(), braces, unmatched, all); break;
  }
  out->tail = out->offset + static_cast<uint32_t>(final_count * out->unit());
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
  switch (buffer_of(value->payload2)->unit()) {
    case 1: mold_range<uint8_t>(*value, count, *buffer, all); break;
    case 2: mold_range<uint16_t>(*value, count, *buffer, all); break;
    default: mold_range<uint32_t>(*value, count, *buffer, all); break;
  }
  return limit - static_cast<int32_t>(count) - 2;
}

}  // namespace tav::string
