// Base-N throughput: base 64 encoding and decoding of 64 MB beside the base64 program timed as
// a subprocess in the same run, then bases 16 and 2, and base 58 (quadratic) on small inputs.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "datatypes/base_n.hpp"
#include "runtime/memory.hpp"
#include "runtime/series.hpp"
#include "bench/bench_util.hpp"

namespace {

using tav::bench::clock_type;
using tav::bench::mb_per_s;
using tav::bench::random_sample;
using tav::bench::seconds_since;


using namespace tav;
using bytes_t = std::vector<uint8_t>;
constexpr size_t sample_size = 64u << 20;
constexpr int rounds = 3;

// Best of `rounds` runs, in seconds.
template <class Run>
double best_time(Run run) {
  double best = 1e30;
  for (int r = 0; r < rounds; ++r) {
    auto start = clock_type::now();
    run();
    double t = seconds_since(start);
    if (t < best) best = t;
  }
  return best;
}

void write_file(const std::string& path, const uint8_t* data, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(data, 1, size, f);
  std::fclose(f);
}

double timed_command(const std::string& command) {
  return best_time([&] {
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "failed: %s\n", command.c_str());
  });
}

void row(const char* who, size_t size, double encode_seconds, double decode_seconds) {
  std::printf("%-40s %8zu KB %11.1f %11.1f\n", who, size >> 10, mb_per_s(size, encode_seconds),
              mb_per_s(size, decode_seconds));
}

using encoder = uint8_t* (*)(uint8_t*, const uint8_t*, size_t);
using decoder = node_id (*)(const void*, size_t, uint32_t);

// Encodes and decodes `input`, checks the round trip, prints MB/s of binary data either way.
// Frames are released after each decoding: nothing collects here.
std::string measure(const char* who, const bytes_t& input, size_t chars_per_3_bytes, encoder encode, decoder decode) {
  std::string text(input.size() * chars_per_3_bytes / 3 + 4, '\0');
  auto* out = reinterpret_cast<uint8_t*>(text.data());
  uint8_t* end = nullptr;
  double encode_seconds = best_time([&] { end = encode(out, input.data(), input.size()); });
  text.resize(size_t(end - out));
  bool same = true;
  double decode_seconds = 1e30;
  for (int r = 0; r < rounds; ++r) {
    auto start = clock_type::now();
    node_id node = decode(text.data(), text.size(), 1);
    decode_seconds = std::min(decode_seconds, seconds_since(start));
    series_buffer* buffer = node ? buffer_of(node) : nullptr;
    same = same && buffer && buffer->used() == input.size() &&
           std::memcmp(buffer->head(), input.data(), input.size()) == 0;
    memory::free_all();
  }
  if (!same) std::printf("%s: round trip failed\n", who);
  row(who, input.size(), encode_seconds, decode_seconds);
  return text;
}

}  // namespace

int main() {
  memory::init();
  std::printf("%-40s %11s %11s %11s\n", "codec", "size", "enc MB/s", "dec MB/s");
  bytes_t input = random_sample(sample_size);
  std::string text = measure("tav base 64", input, 4, binary::encode_64, binary::decode_64);

  std::string base = "/tmp/tav-base-n-bench-" + std::to_string(getpid());
  write_file(base, input.data(), input.size());
  write_file(base + ".b64", reinterpret_cast<const uint8_t*>(text.data()), text.size());
  double theirs_encode = timed_command("base64 -w 0 " + base + " > /dev/null");
  double theirs_decode = timed_command("base64 -d " + base + ".b64 > /dev/null");
  row("base64 -w 0 / base64 -d (subprocess)", input.size(), theirs_encode, theirs_decode);
  std::remove(base.c_str());
  std::remove((base + ".b64").c_str());

  measure("tav base 16", input, 6, binary::encode_16, binary::decode_16);
  bytes_t quarter(input.begin(), input.begin() + sample_size / 4);
  measure("tav base 2", quarter, 24, binary::encode_2, binary::decode_2);
  for (size_t n : {1u << 10, 16u << 10}) {
    bytes_t small(input.begin(), input.begin() + n);
    measure("tav base 58", small, 6, binary::encode_58, binary::decode_58);
  }
  std::printf("MB/s of binary data; best of %d runs; the subprocess figures include start-up and file reading\n",
              rounds);
  return 0;
}
