// String building and molding: appending ASCII and wide characters one at a time and as text,
// and molding a 1 MB string, in MB/s, beside std::string and memcpy doing the same copying.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "datatypes/actions.hpp"
#include "datatypes/context.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "interpreter/stack.hpp"
#include "runtime/memory.hpp"
#include "runtime/random.hpp"
#include "runtime/unicode_string.hpp"

namespace {

using namespace tav;
using clock_type = std::chrono::steady_clock;

constexpr int rounds = 5;
constexpr uint32_t appended_chars = 8u << 20;
constexpr uint32_t mold_chars = 1u << 20;

// Best of `rounds` runs of `body`, which handles `bytes` bytes each time, in MB/s.
template <class Body>
double best_rate(double bytes, Body body) {
  double best = 0;
  for (int r = 0; r < rounds; ++r) {
    auto start = clock_type::now();
    long sink = body();
    double seconds = std::chrono::duration<double>(clock_type::now() - start).count();
    best = std::max(best, bytes / seconds / 1e6);
    if (sink == 42) std::printf(" ");  // keeps the work observable
  }
  return best;
}

cell text_of(const char* utf8) {
  return cell{TYPE_STRING, 0, unicode::load_utf8_new(reinterpret_cast<const uint8_t*>(utf8), std::strlen(utf8)), 0};
}

// Buffers are reused from round to round (emptied with ts_reset), as a collector recycles
// memory: otherwise every round would mostly measure the kernel handing out fresh pages.
cell reused;

long append_chars(cell& out, uint32_t first_cp, uint32_t spread) {
  string::ts_reset(out);
  series_buffer* buffer = buffer_of(out.payload2);
  for (uint32_t i = 0; i < appended_chars; ++i) buffer = string::append_char(buffer, first_cp + i % spread);
  return buffer->count();
}

long append_text(const cell& chunk) {
  string::ts_reset(reused);
  uint32_t length = string::ts_length_p(chunk);
  for (uint32_t done = 0; done < appended_chars; done += length)
    string::concatenate(reused, chunk, -1, 0, string::concat_mode::append);
  return string::ts_length_p(reused);
}

// One megabyte of source-like text: words, tabs, line ends, a few quotes and carets.
cell mold_source(bool wide) {
  cell text;
  string::ts_make_at(text, mold_chars);
  series_buffer* buffer = buffer_of(text.payload2);
  const char* pattern = "print \"x\"\tif a > b [c: d ^ e]\n";
  size_t pattern_length = std::strlen(pattern);
  for (uint32_t i = 0; i < mold_chars; ++i) {
    uint32_t cp = wide && i % 64 == 0 ? 0x20AC : static_cast<uint8_t>(pattern[i % pattern_length]);
    buffer = string::append_char(buffer, cp);
  }
  return text;
}

long mold_once(cell& text) {
  string::ts_reset(reused);
  string::mold(&text, &reused, false, false, false, nullptr, INT32_MAX, 0);
  return string::ts_length_p(reused);
}

}  // namespace

int main() {
  rng::init();
  memory::init();
  datatype::register_all();
  stack::init();
  symbol::init_table();
  context::init_global();

  string::ts_make_at(reused, 16);
  const double appended_bytes = appended_chars;
  std::printf("append one character at a time (%u characters):\n", appended_chars);
  std::printf("  ASCII                %8.1f MB/s\n",
              best_rate(appended_bytes, [] { return append_chars(reused, 'a', 26); }));
  std::printf("  unit 2 (U+0100-)     %8.1f MB/s   (MB of characters)\n",
              best_rate(appended_bytes, [] { return append_chars(reused, 0x100, 200); }));
  std::string kept;
  std::printf("  std::string push_back %7.1f MB/s\n", best_rate(appended_bytes, [&] {
                kept.clear();
                for (uint32_t i = 0; i < appended_chars; ++i) kept.push_back(static_cast<char>('a' + i % 26));
                return static_cast<long>(kept.size());
              }));
  std::printf("  ASCII, growing a new string each round %8.1f MB/s\n", best_rate(appended_bytes, [] {
                cell fresh;
                string::ts_make_at(fresh, 16);
                return append_chars(fresh, 'a', 26);
              }));
  std::printf("  std::string, new each round           %8.1f MB/s\n", best_rate(appended_bytes, [] {
                std::string s;
                for (uint32_t i = 0; i < appended_chars; ++i) s.push_back(static_cast<char>('a' + i % 26));
                return static_cast<long>(s.size());
              }));

  cell ascii_chunk = text_of(std::string(1024, 'x').c_str());
  std::string wide_utf8;
  for (int i = 0; i < 512; ++i) wide_utf8 += "\xE2\x82\xAC" "a";
  cell wide_chunk = text_of(wide_utf8.c_str());
  std::printf("append text in 1 KB chunks (%u characters):\n", appended_chars);
  std::printf("  ASCII                %8.1f MB/s\n",
              best_rate(appended_bytes, [&] { return append_text(ascii_chunk); }));
  std::printf("  wide (unit 2)        %8.1f MB/s   (MB of characters)\n",
              best_rate(appended_bytes, [&] { return append_text(wide_chunk); }));
  std::string chunk(1024, 'x');
  std::printf("  std::string append   %8.1f MB/s\n", best_rate(appended_bytes, [&] {
                kept.clear();
                for (uint32_t done = 0; done < appended_chars; done += 1024) kept.append(chunk);
                return static_cast<long>(kept.size());
              }));

  const double mold_bytes = mold_chars;
  cell narrow = mold_source(false);
  cell wide = mold_source(true);
  std::printf("mold a 1 MB string:\n");
  std::printf("  unit 1               %8.1f MB/s\n", best_rate(mold_bytes, [&] { return mold_once(narrow); }));
  std::printf("  unit 2               %8.1f MB/s   (MB of characters)\n",
              best_rate(mold_bytes, [&] { return mold_once(wide); }));
  std::string source(mold_chars, 'x');
  std::string copy(mold_chars, ' ');
  std::printf("  memcpy of 1 MB       %8.1f MB/s\n", best_rate(mold_bytes, [&] {
                std::memcpy(copy.data(), source.data(), mold_chars);
                return static_cast<long>(copy[mold_chars / 2]);
              }));
  return 0;
}
