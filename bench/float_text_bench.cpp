// Float text speed: doubles to text and text to doubles per second, beside the C library's
// snprintf("%.17g") and strtod on the same values in the same run.
#include <bit>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "runtime/float_text.hpp"

namespace {

constexpr int value_count = 200000;
constexpr int rounds = 5;

// Best of several rounds, in millions of conversions per second.
template <typename Body>
double millions_per_second(Body body) {
  double best = 0;
  for (int round = 0; round < rounds; ++round) {
    auto start = std::chrono::steady_clock::now();
    body();
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    double rate = value_count / took.count() / 1e6;
    if (rate > best) best = rate;
  }
  return best;
}

volatile uint64_t sink;

void run(const char* name, const std::vector<double>& values) {
  uint64_t total = 0;
  double ours_out = millions_per_second([&] {
    for (double x : values) total += static_cast<unsigned char>(tav::form_float(x, 0, true)[1]);
  });
  char buffer[64];
  double c_out = millions_per_second([&] {
    for (double x : values) {
      std::snprintf(buffer, sizeof buffer, "%.17g", x);
      total += static_cast<unsigned char>(buffer[1]);
    }
  });

  std::vector<std::string> texts;
  texts.reserve(values.size());
  for (double x : values) texts.emplace_back(tav::form_float(x, 0, true));
  double ours_in = millions_per_second([&] {
    for (const std::string& t : texts)
      total += std::bit_cast<uint64_t>(tav::strtod(t.data(), t.data() + t.size(), 0, nullptr));
  });
  double c_in = millions_per_second([&] {
    for (const std::string& t : texts)
      total += std::bit_cast<uint64_t>(std::strtod(t.c_str(), nullptr));
  });
  sink = total;

  std::printf("%-22s float to text %7.2f M/s  snprintf %%.17g %6.2f M/s  (%.1fx)\n", name,
              ours_out, c_out, ours_out / c_out);
  std::printf("%-22s text to float %7.2f M/s  strtod         %6.2f M/s  (%.1fx)\n", "",
              ours_in, c_in, ours_in / c_in);
}

}  // namespace

int main() {
  std::mt19937_64 random(1);
  std::vector<double> any_bits, short_decimals, integers;
  while (any_bits.size() < value_count) {
    double x = std::bit_cast<double>(random());
    if (x == x && x - x == 0) any_bits.push_back(x);
  }
  for (int i = 0; i < value_count; ++i) {
    short_decimals.push_back(static_cast<double>(random() % 1000000) / 1000.0);
    integers.push_back(static_cast<double>(random() % 100000000));
  }
  std::printf("%d values per round, best of %d rounds\n", value_count, rounds);
  run("random bit patterns", any_bits);
  run("decimals like 123.456", short_decimals);
  run("whole numbers", integers);
}
