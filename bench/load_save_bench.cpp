// Load and save: `load` of a 10 MB text of mixed values beside `transcode` of the same text, and
// `save none` of the loaded block beside `mold/only` of it (and of that text made bytes, as save
// gives them), in the same run: the overhead of the library functions over the natives they end
// in is the figure to watch.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
#include <string>

#include "bench/bench_util.hpp"
#include "boot/startup.hpp"
#include "runtime/platform.hpp"

namespace {

using namespace tav;

// Lines of integers, floats, strings, words, set-words, files, pairs, issues and nested blocks.
std::string make_values(size_t size) {
  std::mt19937 rng(23);
  const char* const words[] = {"alpha", "beta", "gamma", "delta", "item", "total", "name", "index"};
  std::string s;
  s.reserve(size + 256);
  while (s.size() < size) {
    for (int i = 0; i < 8; ++i) {
      const char* w = words[rng() % std::size(words)];
      switch (rng() % 9) {
        case 0: s += std::to_string(static_cast<int32_t>(rng() % 2000000) - 1000000); break;
        case 1: s += std::to_string(rng() % 1000) + "." + std::to_string(rng() % 1000); break;
        case 2: s += std::string("\"") + w + " text " + std::to_string(rng() % 100) + "\""; break;
        case 3: s += w; break;
        case 4: s += std::string(w) + ":"; break;
        case 5: s += std::string("%") + w + "/" + w + ".txt"; break;
        case 6: s += std::to_string(rng() % 100) + "x" + std::to_string(rng() % 100); break;
        case 7: s += std::string("#") + w; break;
        default: s += std::string("[") + w + " " + std::to_string(rng() % 10) + " [" + w + "]]"; break;
      }
      s += ' ';
    }
    s += '\n';
  }
  return s;
}

// Best times of the programs, timed in turns so that the load of a shared machine falls on all.
template <size_t N>
void best_in_turns(const char* const (&programs)[N], double (&best)[N]) {
  for (double& b : best) b = 1e30;
  for (int round = 0; round < 11; ++round)
    for (size_t i = 0; i < N; ++i) {
      // each run starts from a collected heap, so none pays for the garbage of the one before
      source::run_text("recycle");
      best[i] = std::min(best[i], bench::time_tav(programs[i], [](const std::function<void()>& run) {
        auto start = bench::clock_type::now();
        run();
        return bench::seconds_since(start);
      }));
    }
}

void row(const char* name, double megabytes, double seconds, double peer) {
  std::printf("  %-34s %9.1f MB/s", name, megabytes / seconds);
  if (peer > 0) std::printf("   %+6.1f%% time against the native", (seconds / peer - 1) * 100);
  std::printf("\n");
}

int run(void*) {
  boot::init_runtime();
  source::define_core();
  const std::string text = make_values(10 << 20);
  char path[] = "/tmp/tav-load-save-XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0 || write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) return 1;
  close(fd);
  source::run_text(("text: read %" + std::string(path) + " data: transcode text").c_str());
  unlink(path);
  const double mb = static_cast<double>(text.size()) / (1 << 20);

  std::printf("%.1f MB of mixed values, best of eleven runs taken in turns\n", mb);
  const char* const loads[] = {"transcode text", "load text", "load/all text"};
  double l[3];
  best_in_turns(loads, l);
  row("transcode text", mb, l[0], 0);
  row("load text", mb, l[1], l[0]);
  row("load/all text (the full road)", mb, l[2], l[0]);
  const char* const saves[] = {"mold/only data", "to binary! mold/only data", "save none data"};
  double s[3];
  best_in_turns(saves, s);
  row("mold/only data", mb, s[0], 0);
  row("to binary! mold/only data", mb, s[1], s[0]);
  row("save none data (against mold/only)", mb, s[2], s[0]);
  row("save none data (against the bytes)", mb, s[2], s[1]);
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return tav::platform::start_up(argc, argv, run, nullptr); }
