// Unicode conversion on buffers and code points: the UTF-8 DFA, the validating decoder,
// UTF-8/UTF-16 encoders, in-place widening and the UTF-8/UTF-16 loader cores.
#include "runtime/unicode.hpp"

#include <array>
#include <cstring>

#include "runtime/errors.hpp"
#include "runtime/series.hpp"
#include "runtime/string_cell.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tav::unicode {

namespace {

// Byte classes: 0 ASCII, 1 80-8F, 9 90-9F, 7 A0-BF, 8 never valid, 2 C2-DF, 10 E0,
// 3 E1-EC and EE-EF, 4 ED, 11 F0, 6 F1-F3, 5 F4.
constexpr uint8_t byte_class(unsigned b) {
  if (b < 0x80) return 0;
  if (b < 0x90) return 1;
  if (b < 0xA0) return 9;
  if (b < 0xC0) return 7;
  if (b < 0xC2) return 8;
  if (b < 0xE0) return 2;
  if (b == 0xE0) return 10;
  if (b == 0xED) return 4;
  if (b < 0xF0) return 3;
  if (b == 0xF0) return 11;
  if (b < 0xF4) return 6;
  if (b == 0xF4) return 5;
  return 8;
}

// States: 0 accept, 12 reject, 24 one continuation left, 36 two left, 48 after E0 (A0-BF
// next), 60 after ED (80-9F next), 72 after F0 (90-BF next), 84 after F1-F3 (three left),
// 96 after F4 (80-8F next).
constexpr uint8_t transition(unsigned state, unsigned cls) {
  constexpr uint8_t reject = 12;
  bool any_continuation = cls == 1 || cls == 9 || cls == 7;
  switch (state) {
    case 0:
      switch (cls) {
        case 0: return 0;
        case 2: return 24;
        case 3: return 36;
        case 4: return 60;
        case 5: return 96;
        case 6: return 84;
        case 10: return 48;
        case 11: return 72;
        default: return reject;
      }
    case 24: return any_continuation ? 0 : reject;
    case 36: return any_continuation ? 24 : reject;
    case 48: return cls == 7 ? 24 : reject;
    case 60: return cls == 1 || cls == 9 ? 24 : reject;
    case 72: return cls == 9 || cls == 7 ? 36 : reject;
    case 84: return any_continuation ? 36 : reject;
    case 96: return cls == 1 ? 36 : reject;
    default: return reject;
  }
}

constexpr std::array<uint8_t, 256 + 108> make_dfa() {
  std::array<uint8_t, 256 + 108> table{};
  for (unsigned b = 0; b < 256; ++b) table[b] = byte_class(b);
  for (unsigned state = 0; state < 108; state += 12)
    for (unsigned cls = 0; cls < 12; ++cls) table[256 + state + cls] = transition(state, cls);
  return table;
}

inline const uint8_t* bounded_step(const uint8_t* p, const uint8_t* end) {
  uint32_t state = utf8_dfa[256 + utf8_dfa[*p++]];
  while (state > utf8_reject && p < end) state = utf8_dfa[256 + state + utf8_dfa[*p++]];
  return p;
}

constexpr uint64_t high_bits = 0x8080808080808080ull;

inline bool ascii8(const uint8_t* p) {
  uint64_t word;
  std::memcpy(&word, p, 8);
  return (word & high_bits) == 0;
}


inline int encode_utf8_unchecked(uint32_t cp, uint8_t* out) {
  if (cp < 0x80) {
    out[0] = static_cast<uint8_t>(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = static_cast<uint8_t>(0xC0 | (cp >> 6));
    out[1] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    out[0] = static_cast<uint8_t>(0xE0 | (cp >> 12));
    out[1] = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
    out[2] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = static_cast<uint8_t>(0xF0 | (cp >> 18));
  out[1] = static_cast<uint8_t>(0x80 | ((cp >> 12) & 0x3F));
  out[2] = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
  out[3] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
  return 4;
}

template <class Unit>
size_t encode_utf8_run(const Unit* units, size_t count, uint8_t* out, bool crlf) {
  uint8_t* start = out;
  for (size_t i = 0; i < count; ++i) {
    if constexpr (sizeof(Unit) == 1) {
      // Byte units that are all ASCII are their own UTF-8: eight at a time, unless a line
      // feed would need its carriage return.
      if (!crlf)
        while (count - i >= 8 && ascii8(units + i)) {
          std::memcpy(out, units + i, 8);
          out += 8;
          i += 8;
        }
      if (i == count) break;
    }
    uint32_t cp = units[i];
    if (cp < 0x80) {
      if (cp == '\n' && crlf) *out++ = '\r';
      *out++ = static_cast<uint8_t>(cp);
      continue;
    }
    if (cp > max_code_point) raise_invalid_char(cp);
    out += encode_utf8_unchecked(cp, out);
  }
  return static_cast<size_t>(out - start);
}

template <class Unit>
size_t encode_utf8_limited_run(const Unit* units, size_t count, uint8_t* out, size_t room) {
  size_t written = 0;
  for (size_t i = 0; i < count && written < room; ++i)
    written += static_cast<size_t>(cp_to_utf8_limited(units[i], out + written, room - written));
  return written;
}

template <class Unit>
ptrdiff_t encode_utf16_run(const Unit* units, size_t count, uint16_t* out, bool crlf) {
  uint16_t* start = out;
  for (size_t i = 0; i < count; ++i) {
    uint32_t cp = units[i];
    if (cp == '\n' && crlf) *out++ = '\r';
    if (sizeof(Unit) < 4 || cp < 0x10000) {
      *out++ = static_cast<uint16_t>(cp);
      continue;
    }
    int n = cp_to_utf16(cp, out);
    if (n == 0) return -1;
    out += n;
  }
  return out - start;
}

template <class From, class To>
void widen_run(void* data, size_t count) {
  // Same buffer, wider units: going from the last unit down never overwrites an unread one.
  auto* from = static_cast<const From*>(data);
  auto* to = static_cast<To*>(data);
  for (size_t i = count; i-- > 0;) to[i] = static_cast<To>(from[i]);
}

inline int32_t decode_validating(const uint8_t* p, size_t* available) {
  size_t have = *available;
  if (have == 0) return -1;
  uint32_t b0 = p[0];
  if (b0 < 0x80) {
    *available = 1;
    return static_cast<int32_t>(b0);
  }
  size_t need;
  uint32_t cp;
  if (b0 < 0xC0 || b0 >= 0xF8) raise_invalid_utf8(p, have);
  if (b0 < 0xE0) {
    need = 2;
    cp = b0 - 0xC0;
  } else if (b0 < 0xF0) {
    need = 3;
    cp = b0 - 0xE0;
  } else {
    need = 4;
    cp = b0 - 0xF0;
  }
  if (have < need) return -1;
  for (size_t i = 1; i < need; ++i) {
    if ((p[i] & 0xC0) != 0x80) raise_invalid_utf8(p, have);
    cp = (cp << 6) | (p[i] & 0x3Fu);
  }
  if ((need == 3 && cp >= 0xDC00 && cp <= 0xDCFF) || cp > max_code_point) raise_invalid_utf8(p, have);
  *available = need;
  return static_cast<int32_t>(cp);
}

// Stores 16 bytes as units.
template <class Unit>
inline void store16(Unit* out, const uint8_t* p) {
#if defined(__SSE2__)
  __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  if constexpr (sizeof(Unit) == 1) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
  } else {
    __m128i zero = _mm_setzero_si128();
    __m128i low = _mm_unpacklo_epi8(bytes, zero), high = _mm_unpackhi_epi8(bytes, zero);
    if constexpr (sizeof(Unit) == 2) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), low);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), high);
    } else {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi16(low, zero));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4), _mm_unpackhi_epi16(low, zero));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), _mm_unpacklo_epi16(high, zero));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 12), _mm_unpackhi_epi16(high, zero));
    }
  }
#else
  for (int i = 0; i < 16; ++i) out[i] = p[i];
#endif
}

#if defined(__SSE2__)
// Bytes that need the per-character path: not ASCII, or a CR under the line flag.
template <bool LineFlag>
inline __m128i special16(const uint8_t* p) {
  __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  if constexpr (LineFlag) return _mm_or_si128(bytes, _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\r')));
  return bytes;
}
#endif

// Stores the leading run of plain ASCII bytes (no CR under the line flag) as units and
// answers its length. It may store up to 15 units past that run; the caller has room.
template <class Unit, bool LineFlag>
size_t copy_plain(Unit* out, const uint8_t* p, size_t available) {
  size_t i = 0;
#if defined(__SSE2__)
  // Sixteen bytes first, so text with a non-ASCII character every few bytes pays little.
  while (available - i >= 16) {
    auto mask = static_cast<uint32_t>(_mm_movemask_epi8(special16<LineFlag>(p + i)));
    store16(out + i, p + i);
    if (mask != 0) return i + static_cast<size_t>(__builtin_ctz(mask));
    i += 16;
    while (available - i >= 64) {
      __m128i any = _mm_or_si128(_mm_or_si128(special16<LineFlag>(p + i), special16<LineFlag>(p + i + 16)),
                                 _mm_or_si128(special16<LineFlag>(p + i + 32), special16<LineFlag>(p + i + 48)));
      if (_mm_movemask_epi8(any) != 0) break;
      store16(out + i, p + i);
      store16(out + i + 16, p + i + 16);
      store16(out + i + 32, p + i + 32);
      store16(out + i + 48, p + i + 48);
      i += 64;
    }
  }
#endif
  while (i < available && p[i] < 0x80 && !(LineFlag && p[i] == '\r')) {
    out[i] = p[i];
    ++i;
  }
  return i;
}

enum class run_end { done, incomplete, wider };

// Decodes into units of one width until the input ends, a final sequence is incomplete, or
// a code point needs wider units (then `p` stays at its sequence and `wider` is that width).
template <class Unit, bool LineFlag>
run_end load_utf8_run(unit_sink& sink, const uint8_t*& position, const uint8_t* end, uint32_t& wider) {
  // Locals only: stores through byte-sized units may alias anything in memory.
  Unit* out = static_cast<Unit*>(sink.data);
  size_t n = sink.count;
  const uint8_t* p = position;
  run_end result = run_end::done;
  while (p < end) {
    size_t plain = copy_plain<Unit, LineFlag>(out + n, p, static_cast<size_t>(end - p));
    p += plain;
    n += plain;
    if (p >= end) break;
    uint8_t b = *p;
    if (b < 0x80) {  // a CR under the line flag
      ++p;
      if (p < end && *p == '\n') ++p;
      out[n++] = '\n';
      continue;
    }
    size_t length = static_cast<size_t>(end - p);
    sink.count = n;  // what was stored stays counted when the decoder raises
    int32_t cp = decode_validating(p, &length);
    if (cp < 0) {
      result = run_end::incomplete;
      break;
    }
    if (sizeof(Unit) < 4 && static_cast<uint32_t>(cp) > (sizeof(Unit) == 1 ? 0xFFu : 0xFFFFu)) {
      wider = width_for(static_cast<uint32_t>(cp));
      result = run_end::wider;
      break;
    }
    out[n++] = static_cast<Unit>(cp);
    p += length;
  }
  sink.count = n;
  position = p;
  return result;
}

inline uint16_t read_le16(const uint8_t* units, size_t i) {
  return static_cast<uint16_t>(units[2 * i] | (units[2 * i + 1] << 8));
}

template <class Unit>
size_t load_utf16_narrow(Unit* out, const uint8_t* units, size_t count, bool line_flag) {
  size_t n = 0;
  for (size_t i = 0; i < count; ++i) {
    uint16_t unit = read_le16(units, i);
    if (unit == '\r' && line_flag) continue;
    out[n++] = static_cast<Unit>(unit);
  }
  return n;
}

size_t load_utf16_wide(uint32_t* out, const uint8_t* units, size_t count, bool line_flag) {
  size_t n = 0;
  for (size_t i = 0; i < count; ++i) {
    uint32_t unit = read_le16(units, i);
    if (unit == '\r' && line_flag) continue;
    if ((unit & 0xFC00) == 0xD800 && i + 1 < count) {
      uint32_t trail = read_le16(units, i + 1);
      if ((trail & 0xFC00) == 0xDC00) {
        unit = 0x10000 + (((unit & 0x3FF) << 10) | (trail & 0x3FF));
        ++i;
      }
    }
    out[n++] = unit;
  }
  return n;
}

template <class F>
decltype(auto) by_width(uint32_t width, F&& f) {
  switch (width) {
    case 1: return f(uint8_t{});
    case 2: return f(uint16_t{});
    default: return f(uint32_t{});
  }
}

}  // namespace

// The argument is a binary! of the bytes at the sequence, never more than are left: the
// bytes are copied out first, since the input may sit in a buffer the allocation moves.
void raise_invalid_utf8(const uint8_t* p, size_t available) {
  uint8_t bytes[4];
  uint32_t length = available < 4 ? static_cast<uint32_t>(available) : 4;
  std::memcpy(bytes, p, length);
  node_id node = alloc_bytes(length);
  series_buffer* buffer = buffer_of(node);
  std::memcpy(buffer->head(), bytes, length);
  buffer->tail = buffer->offset + length;
  fire(error_id::access_invalid_utf8, cell{string_cell::binary_type, 0, node, 0});
}

void raise_invalid_char(uint32_t cp) {
  fire(error_id::script_invalid_char, cell{string_cell::integer_type, 0, cp, 0});
}

const std::array<uint8_t, 256 + 108> utf8_dfa = make_dfa();

const uint8_t* fast_decode_utf8_char(const uint8_t* p, int32_t* cp) {
  uint32_t cls = utf8_dfa[*p];
  uint32_t value = (0xFFu >> cls) & *p++;
  uint32_t state = utf8_dfa[256 + cls];
  while (state > utf8_reject) {
    uint8_t b = *p++;
    value = (value << 6) | (b & 0x3Fu);
    state = utf8_dfa[256 + state + utf8_dfa[b]];
  }
  *cp = state == utf8_accept ? static_cast<int32_t>(value) : -1;
  return p;
}

size_t count_utf8_chars(const uint8_t* start, const uint8_t* end) {
  size_t n = 0;
  const uint8_t* p = start;
  while (p < end) {
    if (end - p >= 8 && ascii8(p)) {
      p += 8;
      n += 8;
      continue;
    }
    p = bounded_step(p, end);
    ++n;
  }
  return n;
}

const uint8_t* skip_utf8_chars(const uint8_t* p, const uint8_t* end, size_t n) {
  while (n > 0 && p < end) {
    if (n >= 8 && end - p >= 8 && ascii8(p)) {
      p += 8;
      n -= 8;
      continue;
    }
    p = bounded_step(p, end);
    --n;
  }
  return p;
}

int utf8_lead_size(uint8_t byte) {
  if ((byte & 0xF0) == 0xF0) return 4;
  if ((byte & 0xE0) == 0xE0) return 3;
  if ((byte & 0xC0) == 0xC0) return 2;
  return 0;
}

int32_t decode_utf8_char(const uint8_t* p, size_t* available) { return decode_validating(p, available); }

int cp_utf8_size(uint32_t cp) {
  if (cp < 0x80) return 1;
  if (cp < 0x800) return 2;
  if (cp < 0x10000) return 3;
  if (cp <= max_code_point) return 4;
  raise_invalid_char(cp);
}

int cp_to_utf8(uint32_t cp, uint8_t* out) {
  if (cp > max_code_point) raise_invalid_char(cp);
  return encode_utf8_unchecked(cp, out);
}

int cp_to_utf8_limited(uint32_t cp, uint8_t* out, size_t room) {
  uint8_t bytes[4];
  size_t size = static_cast<size_t>(cp_to_utf8(cp, bytes));
  if (size > room) size = room;
  std::memcpy(out, bytes, size);
  return static_cast<int>(size);
}

int cp_to_utf16(uint32_t cp, uint16_t* out) {
  if (cp < 0x10000) {
    out[0] = static_cast<uint16_t>(cp);
    return 1;
  }
  if (cp > max_code_point) return 0;
  cp -= 0x10000;
  out[0] = static_cast<uint16_t>(0xD800 | (cp >> 10));
  out[1] = static_cast<uint16_t>(0xDC00 | (cp & 0x3FF));
  return 2;
}

bool ascii_p(const uint8_t* bytes, size_t count) {
  size_t i = 0;
  for (; count - i >= 8; i += 8)
    if (!ascii8(bytes + i)) return false;
  for (; i < count; ++i)
    if (bytes[i] >= 0x80) return false;
  return true;
}

size_t utf8_size_of_run(const void* units, size_t count, uint32_t width) {
  return by_width(width, [&](auto unit) {
    auto* run = static_cast<const decltype(unit)*>(units);
    size_t bytes = 0;
    for (size_t i = 0; i < count; ++i) bytes += static_cast<size_t>(cp_utf8_size(run[i]));
    return bytes;
  });
}

size_t encode_utf8(const void* units, size_t count, uint32_t width, uint8_t* out, bool crlf) {
  return by_width(width, [&](auto unit) {
    return encode_utf8_run(static_cast<const decltype(unit)*>(units), count, out, crlf);
  });
}

size_t encode_utf8_limited(const void* units, size_t count, uint32_t width, uint8_t* out, size_t room) {
  return by_width(width, [&](auto unit) {
    return encode_utf8_limited_run(static_cast<const decltype(unit)*>(units), count, out, room);
  });
}

size_t utf16_size_of_run(const void* units, size_t count, uint32_t width, bool crlf) {
  size_t size = count;
  for (size_t i = 0; i < count; ++i) {
    uint32_t cp = get_unit(units, i, width);
    size += (cp == '\n' && crlf) + (cp > 0xFFFF && cp <= max_code_point);
  }
  return size;
}

ptrdiff_t encode_utf16(const void* units, size_t count, uint32_t width, uint16_t* out, bool crlf) {
  return by_width(width, [&](auto unit) {
    return encode_utf16_run(static_cast<const decltype(unit)*>(units), count, out, crlf);
  });
}

void widen_units(void* data, size_t count, uint32_t from, uint32_t to) {
  if (from == 1 && to == 2) widen_run<uint8_t, uint16_t>(data, count);
  if (from == 1 && to == 4) widen_run<uint8_t, uint32_t>(data, count);
  if (from == 2 && to == 4) widen_run<uint16_t, uint32_t>(data, count);
}

size_t load_utf8(unit_sink& sink, const uint8_t* bytes, size_t length, bool line_flag) {
  sink.count = 0;
  if (length > 2 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
    bytes += 3;
    length -= 3;
  }
  // Every character takes at least one byte, so room for `length` units means the runs
  // below never check for room, and a widening asks for what is still to come.
  if (sink.capacity < length) sink.make_room(sink, sink.width, length);
  const uint8_t* p = bytes;
  const uint8_t* end = bytes + length;
  for (;;) {
    uint32_t wider = 0;
    run_end result = by_width(sink.width, [&](auto unit) {
      using unit_type = decltype(unit);
      return line_flag ? load_utf8_run<unit_type, true>(sink, p, end, wider)
                       : load_utf8_run<unit_type, false>(sink, p, end, wider);
    });
    if (result == run_end::done) return 0;
    if (result == run_end::incomplete) return static_cast<size_t>(end - p);
    sink.make_room(sink, wider, sink.count + static_cast<size_t>(end - p));
  }
}

uint32_t utf16_width(const uint8_t* units, size_t count) {
  uint32_t width = 1;
  for (size_t i = 0; i < count; ++i) {
    uint8_t high = units[2 * i + 1];
    if (high >= 0xD8 && high <= 0xDF) return 4;
    if (high != 0) width = 2;
  }
  return width;
}

void load_utf16(unit_sink& sink, const uint8_t* units, size_t count, bool line_flag) {
  uint32_t width = utf16_width(units, count);
  sink.count = 0;
  if (sink.width != width || sink.capacity < count) sink.make_room(sink, width, count);
  switch (width) {
    case 1: sink.count = load_utf16_narrow(static_cast<uint8_t*>(sink.data), units, count, line_flag); break;
    case 2: sink.count = load_utf16_narrow(static_cast<uint16_t*>(sink.data), units, count, line_flag); break;
    default: sink.count = load_utf16_wide(static_cast<uint32_t*>(sink.data), units, count, line_flag); break;
  }
}

}  // namespace tav::unicode
