// Deflate and gzip throughput on 100 MB of text and of random bytes, beside the gzip
// program (level 6 and -d) timed as a subprocess in the same run.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "io/deflate.hpp"
#include "io/gzip.hpp"
#include "bench/bench_util.hpp"

namespace {

using tav::bench::clock_type;
using tav::bench::mb_per_s;
using tav::bench::seconds_since;


using bytes_t = std::vector<uint8_t>;
constexpr size_t sample_size = 100u << 20;

bytes_t text_sample() {
  static const char* words[] = {"the", "of", "and", "to", "in", "is", "that", "for", "it", "as", "was", "with",
                                "be", "by", "on", "not", "he", "this", "are", "or", "his", "from", "at", "which",
                                "but", "have", "an", "had", "they", "you", "were", "their", "one", "all", "we",
                                "can", "her", "has", "there", "been", "if", "more", "when", "will", "would",
                                "who", "so", "no", "compression", "stream", "language", "interpreter", "value",
                                "series", "binary", "block", "function", "context", "word", "string"};
  bytes_t out;
  out.reserve(sample_size + 32);
  uint64_t x = 88172645463325252ull;
  size_t line = 0;
  while (out.size() < sample_size) {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    const char* w = words[(x >> 32) % std::size(words)];
    for (; *w; ++w) out.push_back(uint8_t(*w));
    bool end_line = ++line % 12 == 0;
    out.push_back(end_line ? '\n' : (x & 15) == 0 ? ',' : ' ');
    if ((x & 255) == 7) out.push_back(uint8_t('0' + (x >> 8) % 10));
  }
  out.resize(sample_size);
  return out;
}

void write_file(const std::string& path, const bytes_t& data) {
  FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(data.data(), 1, data.size(), f);
  std::fclose(f);
}

bytes_t read_file(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  std::fseek(f, 0, SEEK_END);
  bytes_t data(size_t(std::ftell(f)));
  std::fseek(f, 0, SEEK_SET);
  size_t got = std::fread(data.data(), 1, data.size(), f);
  std::fclose(f);
  data.resize(got);
  return data;
}

double timed_command(const std::string& command) {
  auto start = clock_type::now();
  if (std::system(command.c_str()) != 0) std::fprintf(stderr, "failed: %s\n", command.c_str());
  return seconds_since(start);
}

void row(const char* data, const char* who, double compress_mbs, double decompress_mbs, size_t packed, size_t size) {
  std::printf("%-6s %-34s %10.1f %12.1f %9.3f\n", data, who, compress_mbs, decompress_mbs, double(packed) / double(size));
}

void measure(const char* name, const bytes_t& input) {
  using namespace tav;
  bytes_t packed(deflate::compress_bound(input.size()) + gzip::framing_size);
  size_t packed_size = packed.size();
  auto start = clock_type::now();
  gzip::compress(packed.data(), packed_size, input.data(), input.size());
  double compress_time = seconds_since(start);
  packed.resize(packed_size);

  bytes_t output(input.size());
  size_t produced = output.size();
  start = clock_type::now();
  codec_status status = gzip::decompress(output.data(), produced, packed.data(), packed.size());
  double decompress_time = seconds_since(start);
  if (status != codec_status::ok || output != input) std::printf("%s: round trip failed\n", name);
  row(name, "tav gzip (fixed codes, first match)", mb_per_s(input.size(), compress_time),
      mb_per_s(input.size(), decompress_time), packed.size(), input.size());

  std::string base = "/tmp/tav-deflate-bench-" + std::to_string(getpid());
  write_file(base, input);
  double gzip_compress = timed_command("gzip -6 -c " + base + " > " + base + ".gz");
  double gzip_decompress = timed_command("gzip -d -c " + base + ".gz > /dev/null");
  bytes_t theirs = read_file(base + ".gz");
  row(name, "gzip -6 / gzip -d (subprocess)", mb_per_s(input.size(), gzip_compress),
      mb_per_s(input.size(), gzip_decompress), theirs.size(), input.size());

  produced = output.size();
  start = clock_type::now();
  status = gzip::decompress(output.data(), produced, theirs.data(), theirs.size());
  decompress_time = seconds_since(start);
  if (status != codec_status::ok || output != input) std::printf("%s: gzip's stream failed\n", name);
  row(name, "tav gzip reading gzip -6 output", 0, mb_per_s(input.size(), decompress_time), theirs.size(),
      input.size());
  std::remove(base.c_str());
  std::remove((base + ".gz").c_str());
}

}  // namespace

int main() {
  std::printf("%-6s %-34s %10s %12s %9s\n", "data", "codec", "comp MB/s", "decomp MB/s", "ratio");
  measure("text", text_sample());
  measure("random", tav::bench::random_sample(sample_size));
  std::printf("ratio = compressed size / original size; 100 MB per sample\n");
  return 0;
}
