// Display width and cell counting: millions of code points a second for char-width on Latin,
// CJK and mixed text, beside the C library's wcwidth on the same code points, and for the
// cell counter that a redraw runs over a prompt and a line.
#include <locale.h>
#include <wchar.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_util.hpp"
#include "console/cells.hpp"
#include "console/char_width.hpp"

namespace {

using namespace tav;

volatile long keep;

std::vector<uint32_t> sample(const char* kind, size_t n) {
  std::vector<uint8_t> bytes = bench::random_sample(n);
  std::vector<uint32_t> out(n);
  for (size_t i = 0; i < n; ++i) {
    uint32_t b = bytes[i];
    if (kind[0] == 'l') out[i] = 0x20 + b % 0x1E0;                  // ASCII and Latin
    else if (kind[0] == 'c') out[i] = 0x4E00 + b * 37 % 0x5000;     // CJK ideographs
    else out[i] = b < 128 ? 0x20 + b % 0x5F : b < 192 ? 0x300 + b % 0x70 : 0x1F300 + b * 11 % 0x600;
  }
  return out;
}

}  // namespace

int main() {
  setlocale(LC_ALL, "C.UTF-8");
  constexpr size_t n = 1 << 20;
  std::printf("%-14s %12s %12s   (millions of code points a second)\n", "text", "char-width", "wcwidth");
  for (const char* kind : {"latin", "cjk", "mixed"}) {
    const std::vector<uint32_t> cps = sample(kind, n);
    double ours = bench::best_of([&] {
      long sum = 0;
      for (uint32_t cp : cps) sum += terminal::char_width(cp);
      keep = sum;
    });
    double libc = bench::best_of([&] {
      long sum = 0;
      for (uint32_t cp : cps) sum += wcwidth(static_cast<wchar_t>(cp));
      keep = sum;
    });
    std::printf("%-14s", kind);
    bench::print_rate(double(n), ours);
    bench::print_rate(double(n), libc);
    std::printf("\n");
  }
  const std::vector<uint32_t> mixed = sample("mixed", n);
  const std::u32string text(mixed.begin(), mixed.end());
  std::string out;
  out.reserve(n * 4);
  double counting = bench::best_of([&] {
    out.clear();
    keep = terminal::count_cells(text, 80, {80}, &out);
  });
  std::printf("%-14s", "count-cells");
  bench::print_rate(double(n), counting);
  std::printf("\n");
}
