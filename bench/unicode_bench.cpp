// UTF-8 decoding speed: the loader core on ASCII and mixed text, and counting, beside
// memcpy of the same bytes in the same run.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/unicode.hpp"

namespace {

using namespace tav;

volatile size_t keep;

// A sink over one buffer big enough for every width: widening happens in place.
struct bench_sink {
  std::vector<uint8_t> buffer;
  unit_sink sink;
  explicit bench_sink(size_t units) : buffer(units * 4 + 16) { reset(1); }
  void reset(uint32_t width) { sink = {buffer.data(), width, 0, buffer.size() / 4, make_room, nullptr}; }
  static void make_room(unit_sink& sink, uint32_t new_width, size_t) {
    unicode::widen_units(sink.data, sink.count, sink.width, new_width);
    sink.width = new_width;
  }
};

template <class Body>
double best_mb_per_s(size_t bytes, Body&& body) {
  using clock = std::chrono::steady_clock;
  double best = 1e30;
  for (int round = 0; round < 7; ++round) {
    int reps = 20;
    auto start = clock::now();
    for (int i = 0; i < reps; ++i) body();
    double seconds = std::chrono::duration<double>(clock::now() - start).count() / reps;
    best = std::min(best, seconds);
  }
  return static_cast<double>(bytes) / best / 1e6;
}

std::string make_text(size_t size, bool mixed) {
  const char* ascii = "The quick brown fox jumps over the lazy dog; 0123456789.\n";
  const char* pieces[] = {"Vous \xC3\xAA" "tes l\xC3\xA0 ", "\xCE\xB1\xCE\xB2\xCE\xB3 ", "\xE2\x82\xAC" "42 ",
                          "\xE6\x97\xA5\xE6\x9C\xAC ", "\xF0\x9F\x98\x80 ", "plain words here "};
  std::string text;
  for (size_t i = 0; text.size() < size; ++i) text += mixed ? pieces[i % std::size(pieces)] : ascii;
  text.resize(size);
  while (!text.empty() && (static_cast<uint8_t>(text.back()) & 0xC0) == 0x80) text.pop_back();
  if (!text.empty() && static_cast<uint8_t>(text.back()) >= 0xC0) text.pop_back();
  return text;
}

void report(const char* what, size_t size) {
  std::string ascii = make_text(size, false), mixed = make_text(size, true);
  auto* a = reinterpret_cast<const uint8_t*>(ascii.data());
  auto* m = reinterpret_cast<const uint8_t*>(mixed.data());
  bench_sink out(size);
  std::vector<uint8_t> copy(size);

  std::printf("%s (%zu bytes)\n", what, size);
  std::printf("  memcpy                          %9.0f MB/s\n", best_mb_per_s(ascii.size(), [&] {
                std::memcpy(copy.data(), ascii.data(), ascii.size());
                keep = copy[size / 2];
              }));
  std::printf("  load-utf8 ASCII -> 1-byte       %9.0f MB/s\n", best_mb_per_s(ascii.size(), [&] {
                out.reset(1);
                keep = unicode::load_utf8(out.sink, a, ascii.size(), false) + out.sink.count;
              }));
  std::printf("  load-utf8 ASCII, line flag      %9.0f MB/s\n", best_mb_per_s(ascii.size(), [&] {
                out.reset(1);
                keep = unicode::load_utf8(out.sink, a, ascii.size(), true) + out.sink.count;
              }));
  std::printf("  load-utf8 ASCII -> 2-byte       %9.0f MB/s\n", best_mb_per_s(ascii.size(), [&] {
                out.reset(2);
                keep = unicode::load_utf8(out.sink, a, ascii.size(), false) + out.sink.count;
              }));
  std::printf("  load-utf8 mixed (widens to 4)   %9.0f MB/s\n", best_mb_per_s(mixed.size(), [&] {
                out.reset(1);
                keep = unicode::load_utf8(out.sink, m, mixed.size(), false) + out.sink.count;
              }));
  std::printf("  count-utf8-chars ASCII          %9.0f MB/s\n",
              best_mb_per_s(ascii.size(), [&] { keep = unicode::count_utf8_chars(a, a + ascii.size()); }));
  std::printf("  count-utf8-chars mixed          %9.0f MB/s\n",
              best_mb_per_s(mixed.size(), [&] { keep = unicode::count_utf8_chars(m, m + mixed.size()); }));
  std::printf("  fast-decode-utf8-char mixed     %9.0f MB/s\n", best_mb_per_s(mixed.size(), [&] {
                const uint8_t* p = m;
                const uint8_t* end = m + mixed.size();
                size_t sum = 0;
                int32_t cp;
                while (p < end) {
                  p = unicode::fast_decode_utf8_char(p, &cp);
                  sum += static_cast<uint32_t>(cp);
                }
                keep = sum;
              }));
}

}  // namespace

int main() {
  report("in cache", 256 * 1024);
  report("from memory", 32 * 1024 * 1024);
  return 0;
}
