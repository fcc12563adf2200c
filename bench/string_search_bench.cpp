// Text search and set operations: find of a short pattern near the end of a 10 MB string (folded,
// with /case, and in a unit-2 string) beside memmem and strcasestr, and unique of a 1 MB string
// (Latin-1 and unit 2) beside a C loop over a 256-entry table, in MB/s.
#include <strings.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "bench_util.hpp"
#include "datatypes/context.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/set_ops.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/values.hpp"
#include "interpreter/stack.hpp"
#include "runtime/memory.hpp"
#include "runtime/random.hpp"

namespace {

using namespace tav;

constexpr int rounds = 5;
constexpr uint32_t haystack_chars = 10u << 20;
constexpr uint32_t unique_chars = 1u << 20;
const char needle[] = "Needle";

// Best of `rounds` runs of `body`, which handles `bytes` bytes each time, in MB/s.
template <class Body>
double best_rate(size_t bytes, Body body) {
  double best = 0;
  for (int r = 0; r < rounds; ++r) {
    auto start = bench::clock_type::now();
    long sink = body();
    best = std::max(best, bench::mb_per_s(bytes, bench::seconds_since(start)));
    if (sink == 42) std::printf(" ");  // keeps the work observable
  }
  return best;
}

// Lower-case words from a fixed sequence, the needle at the very end.
std::string haystack_text() {
  std::vector<uint8_t> noise = bench::random_sample(haystack_chars);
  std::string text(haystack_chars, ' ');
  for (uint32_t i = 0; i < haystack_chars; ++i)
    text[i] = noise[i] % 7 == 0 ? ' ' : static_cast<char>('a' + noise[i] % 26);
  std::memcpy(text.data() + haystack_chars - sizeof needle, needle, sizeof needle - 1);
  return text;
}

cell string_of(const std::string& bytes, uint32_t wide_every) {
  cell text = unset::value;
  string::ts_make_at(text, static_cast<uint32_t>(bytes.size()));
  series_buffer* buffer = buffer_of(text.payload2);
  for (size_t i = 0; i < bytes.size(); ++i) {
    uint32_t cp = static_cast<uint8_t>(bytes[i]);
    if (wide_every && i % wide_every == 0 && cp == ' ') cp = 0x2003;  // an em space now and then
    buffer = string::append_char(buffer, cp);
  }
  return text;
}

long find_once(const cell& haystack, const cell& pattern, bool case_sensitive) {
  cell series = haystack, value = pattern;
  string::find(&series, &value, nullptr, false, case_sensitive, false, false, nullptr, nullptr, false, false, false,
               false);
  return static_cast<long>(series.payload1);
}

long unique_once(const cell& text) {
  stack::arguments = stack::top = stack::bottom;
  stack::push_copy(text);
  cell* result = set_ops::set_op(false, nullptr, set_ops::unique);
  return static_cast<long>(string::ts_length_p(*result));
}

// The same work in C: the first occurrence of each byte, letters folded through a table.
long unique_in_c(const std::string& text, std::string& out) {
  bool seen[256] = {};
  out.clear();
  for (unsigned char c : text) {
    unsigned char key = static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    if (seen[key]) continue;
    seen[key] = true;
    out.push_back(static_cast<char>(c));
  }
  return static_cast<long>(out.size());
}

}  // namespace

int main() {
  rng::init();
  memory::init();
  datatype::register_all();
  stack::init();
  symbol::init_table();
  context::init_global();

  std::string bytes = haystack_text();
  cell narrow = string_of(bytes, 0);
  cell wide = string_of(bytes, 97);
  cell pattern = string_of(needle, 0);
  cell lower = string_of("needle", 0);
  std::printf("find a 6-character pattern at the end of a 10 MB string:\n");
  std::printf("  folded, unit 1       %8.1f MB/s\n",
              best_rate(haystack_chars, [&] { return find_once(narrow, lower, false); }));
  std::printf("  /case, unit 1        %8.1f MB/s\n",
              best_rate(haystack_chars, [&] { return find_once(narrow, pattern, true); }));
  std::printf("  folded, unit 2       %8.1f MB/s   (MB of characters)\n",
              best_rate(haystack_chars, [&] { return find_once(wide, lower, false); }));
  std::printf("  /case, unit 2        %8.1f MB/s   (MB of characters)\n",
              best_rate(haystack_chars, [&] { return find_once(wide, pattern, true); }));
  std::printf("  memmem               %8.1f MB/s\n", best_rate(haystack_chars, [&] {
                const void* at = memmem(bytes.data(), bytes.size(), needle, sizeof needle - 1);
                return static_cast<long>(static_cast<const char*>(at) - bytes.data());
              }));
  std::printf("  strcasestr           %8.1f MB/s\n", best_rate(haystack_chars, [&] {
                const char* at = strcasestr(bytes.c_str(), "needle");
                return static_cast<long>(at - bytes.c_str());
              }));

  std::string sample = bytes.substr(0, unique_chars);
  cell unique_narrow = string_of(sample, 0);
  cell unique_wide = string_of(sample, 13);
  std::string out;
  std::printf("unique of a 1 MB string:\n");
  std::printf("  unit 1               %8.1f MB/s\n",
              best_rate(unique_chars, [&] { return unique_once(unique_narrow); }));
  std::printf("  unit 2               %8.1f MB/s   (MB of characters)\n",
              best_rate(unique_chars, [&] { return unique_once(unique_wide); }));
  std::printf("  C loop, 256 table    %8.1f MB/s\n", best_rate(unique_chars, [&] { return unique_in_c(sample, out); }));
  return 0;
}
