// Byte API throughput: building a binary by appending chunks, appending text through the
// append action (UTF-8 encoding on the way), and comparing binaries, each beside the C library
// doing the same work on a std::vector or with memcmp.
#include <cstdio>
#include <cstring>
#include <vector>

#include "bench/bench_util.hpp"
#include "boot/startup.hpp"
#include "datatypes/actions.hpp"
#include "datatypes/binary.hpp"
#include "interpreter/stack.hpp"
#include "runtime/platform.hpp"
#include "runtime/string_cell.hpp"
#include "runtime/unicode_string.hpp"

namespace {

using namespace tav;
using bench::clock_type;
using bench::mb_per_s;
using bench::seconds_since;

constexpr size_t total = size_t{64} << 20;
constexpr int rounds = 3;
volatile size_t keep;

template <class Run>
double best_mb_per_s(size_t bytes, Run run) {
  double best = 0;
  for (int r = 0; r < rounds; ++r) {
    stack::arguments = stack::top = stack::bottom;
    auto start = clock_type::now();
    run();
    double rate = mb_per_s(bytes, seconds_since(start));
    if (rate > best) best = rate;
  }
  return best;
}

void chunks(size_t chunk, const std::vector<uint8_t>& sample) {
  size_t count = total / chunk;
  double vector_rate = best_mb_per_s(total, [&] {
    std::vector<uint8_t> out;
    for (size_t k = 0; k < count; ++k) out.insert(out.end(), sample.begin(), sample.begin() + long(chunk));
    keep = out.size();
  });
  double binary_rate = best_mb_per_s(total, [&] {
    cell out;
    binary::make_at(out, 0);
    for (size_t k = 0; k < count; ++k) binary::append_bytes(out, sample.data(), uint32_t(chunk));
    keep = binary::ts_length_p(out);
  });
  std::printf("append %6zu-byte chunks     std::vector %8.0f MB/s   binary/append-bytes %8.0f MB/s\n", chunk,
              vector_rate, binary_rate);
}

void text_appends(const std::vector<uint8_t>& sample) {
  constexpr size_t chunk = 1024;
  size_t count = total / chunk;
  std::vector<uint8_t> ascii(sample.begin(), sample.begin() + chunk);
  for (auto& byte : ascii) byte = uint8_t('a' + byte % 26);
  cell text = string_cell::make(unicode::load_utf8_new(ascii.data(), ascii.size()));
  double vector_rate = best_mb_per_s(total, [&] {
    std::vector<uint8_t> out;
    for (size_t k = 0; k < count; ++k) out.insert(out.end(), ascii.begin(), ascii.end());
    keep = out.size();
  });
  double action_rate = best_mb_per_s(total, [&] {
    cell out;
    binary::make_at(out, 0);
    for (size_t k = 0; k < count; ++k) {
      cell series = out, value = text;
      actions::append(&series, &value, -1, false, 1, true);
    }
    keep = binary::ts_length_p(out);
  });
  std::printf("append 1 KB of text          std::vector %8.0f MB/s   append action       %8.0f MB/s\n",
              vector_rate, action_rate);
}

void comparisons(const std::vector<uint8_t>& sample) {
  constexpr size_t size = size_t{1} << 20;
  constexpr int repeats = 256;
  cell a = *binary::load(sample.data(), size);
  cell b = *binary::load(sample.data(), size);
  double memcmp_rate = best_mb_per_s(size * repeats, [&] {
    for (int k = 0; k < repeats; ++k) keep = size_t(std::memcmp(binary::ts_head(a), binary::ts_head(b), size));
  });
  double compare_rate = best_mb_per_s(size * repeats, [&] {
    for (int k = 0; k < repeats; ++k) keep = size_t(binary::compare_value(a, b, actions::op::lesser, false));
  });
  std::printf("compare 1 MB binaries        memcmp      %8.0f MB/s   binary/compare-value %7.0f MB/s\n",
              memcmp_rate, compare_rate);
}

int body(void*) {
  boot::init_runtime();
  std::vector<uint8_t> sample = bench::random_sample(size_t{1} << 20);
  for (size_t chunk : {16u, 256u, 4096u}) chunks(chunk, sample);
  text_appends(sample);
  comparisons(sample);
  std::printf("best of %d runs; appends build %zu MB each run\n", rounds, total >> 20);
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return platform::start_up(argc, argv, body, nullptr); }
