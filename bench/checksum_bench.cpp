// Throughput of the checksums and of SHA-256 over 100 MB, beside zlib and sha256sum.
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "io/checksum.hpp"
#include "io/digest.hpp"

namespace {

constexpr size_t total = size_t{100} << 20;
constexpr int rounds = 7;

// Best of a few rounds, in MB/s; `sink` keeps the result alive.
template <class F>
double rate(F f, uint64_t& sink) {
  double best = 1e30;
  for (int i = 0; i < rounds; ++i) {
    auto start = std::chrono::steady_clock::now();
    sink += f();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return static_cast<double>(total) / (1 << 20) / best;
}

void row(const char* name, double ours, const char* baseline_name = nullptr, double baseline = 0) {
  std::printf("%-10s %9.0f MB/s", name, ours);
  if (baseline_name) std::printf("    %-24s %9.0f MB/s", baseline_name, baseline);
  std::printf("\n");
}

}  // namespace

int main() {
  std::vector<uint8_t> data(total);
  uint32_t x = 2463534242u;
  for (auto& b : data) {
    x ^= x << 13, x ^= x >> 17, x ^= x << 5;
    b = static_cast<uint8_t>(x);
  }
  const uint8_t* p = data.data();
  const auto n = static_cast<uInt>(total);
  uint64_t sink = 0;

  std::printf("100 MB, best of %d\n", rounds);
  row("crc32", rate([&] { return tav::digest::crc32(p, total); }, sink), "zlib crc32",
      rate([&] { return ::crc32(0, p, n); }, sink));
  row("adler32", rate([&] { return tav::digest::adler32(p, total); }, sink), "zlib adler32",
      rate([&] { return ::adler32(1, p, n); }, sink));
  row("tcp", rate([&] { return uint32_t{tav::digest::tcp_checksum(p, total)}; }, sink));

  // sha256sum reads the file back from the page cache and pays for its own start.
  std::string path = "/tmp/tav-bench-XXXXXX";
  int fd = mkstemp(path.data());
  if (fd < 0 || write(fd, p, total) != static_cast<ssize_t>(total)) {
    std::perror("temp file");
    return 1;
  }
  close(fd);
  const std::string command = "sha256sum " + path + " >/dev/null";
  double sha = rate([&] { return uint32_t{tav::digest::compute(p, total, tav::digest::algorithm::sha256).bytes[0]}; }, sink);
  double tool = rate([&] { return static_cast<uint32_t>(std::system(command.c_str())); }, sink);
  unlink(path.c_str());
  row("sha256", sha, "sha256sum (process)", tool);
  std::printf("(checksum of results: %llu)\n", static_cast<unsigned long long>(sink));
}
