// Terminal input decoding: 10 MB of mixed input (ASCII, UTF-8 text, CSI and SS3 keys, SGR mouse
// reports) cut at random read boundaries of 1 to 128 bytes, decoded pass by pass. Beside it:
// Python's incremental UTF-8 decoder over the same bytes in the same reads, which turns them into
// text and nothing more. Figures are best of three runs.
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_util.hpp"
#include "view/backends/terminal/input.hpp"

namespace {

using namespace tav;

uint64_t next(uint64_t& x) {
  x ^= x << 13;
  x ^= x >> 7;
  x ^= x << 17;
  return x;
}

std::string mixed_input(size_t size) {
  static const char* const pieces[] = {
      "hello world, typing away ", "\xc3\xa9t\xc3\xa9 ", "\xe4\xb8\x80\xe4\xba\x8c ", "\xf0\x9f\x98\x80",
      "\x1b[A",  "\x1b[B", "\x1b[15~", "\x1bOP", "\x1b[3~", "\x1b[1;5C", "\x1b[<0;12;5M", "\x1b[<0;12;5m",
      "\x1b[<35;40;17M", "\x1b[<65;3;2M", "\r", "\x7f", "\t"};
  std::string out;
  out.reserve(size + 64);
  uint64_t x = 0x9E3779B97F4A7C15ull;
  while (out.size() < size) out += pieces[next(x) % std::size(pieces)];
  return out;
}

std::vector<size_t> read_sizes(size_t total) {
  std::vector<size_t> sizes;
  uint64_t x = 0x2545F4914F6CDD1Dull;
  for (size_t done = 0; done < total;) {
    const size_t n = std::min<size_t>(1 + next(x) % 128, total - done);
    sizes.push_back(n);
    done += n;
  }
  return sizes;
}

}  // namespace

int main() {
  constexpr size_t size = 10u << 20;
  const std::string input = mixed_input(size);
  const std::vector<size_t> sizes = read_sizes(input.size());
  size_t items_seen = 0;
  const double seconds = bench::best_of([&] {
    tui::input_decoder decoder;
    std::vector<tui::input_item> items;
    size_t at = 0;
    items_seen = 0;
    for (size_t n : sizes) {
      decoder.append({input.data() + at, n});
      at += n;
      items.clear();
      decoder.process(items);
      items_seen += items.size();
    }
  });
  std::printf("%-52s %12s\n", "terminal input decoding", "MB/s");
  std::printf("%-52s %12.1f\n", "decoder, 10 MB mixed input in reads of 1-128 bytes", bench::mb_per_s(input.size(), seconds));
  std::printf("%-52s %12zu\n", "  items decoded", items_seen);

  const std::string path = "/tmp/tav_tui_input_bench.bin";
  if (FILE* file = std::fopen(path.c_str(), "wb")) {
    std::fwrite(input.data(), 1, input.size(), file);
    std::fclose(file);
    std::string reads = "[";
    for (size_t n : sizes) reads += std::to_string(n) + ",";
    reads += "]";
    const std::string reads_path = "/tmp/tav_tui_input_bench.reads";
    if (FILE* out = std::fopen(reads_path.c_str(), "wb")) {
      std::fwrite(reads.data(), 1, reads.size(), out);
      std::fclose(out);
    }
    const double python = bench::time_python(
        "import codecs\ndata = open(\"/tmp/tav_tui_input_bench.bin\", \"rb\").read()\n"
        "reads = eval(open(\"/tmp/tav_tui_input_bench.reads\").read())",
        "d = codecs.getincrementaldecoder(\"utf-8\")(\"replace\")\n    at = 0\n"
        "    for n in reads:\n        d.decode(data[at:at + n])\n        at += n");
    if (python > 0)
      std::printf("%-52s %12.1f\n", "  python: incremental UTF-8 decoding, same reads", bench::mb_per_s(input.size(), python));
    std::remove(path.c_str());
    std::remove(reads_path.c_str());
  }
  return 0;
}
