// Start-up: the runtime initialiser, the decode of the boot image and the vocabulary inside this
// process, beside lexing the same boot sources (what start-up did before it had an image), and the
// share of the GUI layer's definitions in the first vocabulary; then
// the tav program run to the end of an empty script, beside Python's start (`python3 -S -c
// pass`, the interpreter itself rather than any wrapper found first on the path) and a program
// that does nothing.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstring>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/bench_util.hpp"
#include "boot/boot_image.hpp"
#include "boot/global_load.hpp"
#include "boot/gui_startup.hpp"
#include "boot/startup.hpp"
#include "boot/vocabulary.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/types.hpp"
#include "interpreter/stack.hpp"
#include "io/tavbin.hpp"
#include "library/routines.hpp"
#include "runtime/platform.hpp"

#include "datatypes/action_specs.inc"
#include "interpreter/native_specs.inc"

extern char** environ;

namespace {

using namespace tav;

constexpr int runs = 40;

std::string program_folder() {
  char path[4096];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  std::string text(path, static_cast<size_t>(n));
  return text.substr(0, text.rfind('/'));
}

// The interpreter itself that `python3` runs, as it reports it: a version manager's shim found
// first on the path would add its own start to Python's. Empty when there is none.
std::string real_python() {
  FILE* pipe = popen("python3 -S -c 'import sys; print(sys.executable)' 2>/dev/null", "r");
  if (!pipe) return {};
  char line[PATH_MAX] = {};
  const bool read = std::fgets(line, sizeof line, pipe) != nullptr;
  pclose(pipe);
  if (!read) return {};
  std::string path(line);
  while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) path.pop_back();
  return access(path.c_str(), X_OK) == 0 ? path : std::string();
}

// Median wall time of running the command to its end, in milliseconds; negative when it fails.
double median_run_ms(const std::vector<std::string>& command) {
  std::vector<char*> argv;
  for (const std::string& part : command) argv.push_back(const_cast<char*>(part.c_str()));
  argv.push_back(nullptr);
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    auto start = bench::clock_type::now();
    pid_t child;
    if (posix_spawn(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    times.push_back(bench::seconds_since(start) * 1e3);
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

// The boot sources as text, as start-up lexed them before the image: the definitions generated
// from the tables (datatype words, actions and natives with their specs, then the rest), and
// every source file.
std::string boot_source_text() {
  std::string text;
  for (uint32_t id = 1; id < type_table_size; ++id)
    if (const char* name = describe_type(static_cast<uint8_t>(id)).name) text += std::string("(#(") + name + "))\n";
#define TAV_SPEC_TEXT(index, word, spec) text += std::string("([") + spec + " " #index "])\n";
  TAV_ACTION_SPECS(TAV_SPEC_TEXT)
  TAV_NATIVE_SPECS(TAV_SPEC_TEXT)
#undef TAV_SPEC_TEXT
  text += boot::vocabulary_source();
  for (const std::string& name : boot::boot_source_names())
    for (const char* folder : {"/boot/", "/library/"}) {
      std::ifstream in(std::string(TAV_SOURCE_DIR) + folder + name + ".tav", std::ios::binary);
      if (!in) continue;
      text.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
      text += '\n';
      break;
    }
  return text;
}

// Best of 20 runs of the step, in milliseconds.
template <typename Step>
double best_ms(Step step) {
  double best = 1e30;
  for (int i = 0; i < 20; ++i) {
    auto start = bench::clock_type::now();
    cell* saved = stack::top;
    step();
    stack::top = saved;
    best = std::min(best, bench::seconds_since(start) * 1e3);
  }
  return best;
}

// The first vocabulary's time in a child run of this program, which prints it and ends; with
// `without_gui` the child takes the GUI backend's hook away first, which leaves the GUI
// definitions out. Median of 15 runs, in milliseconds; negative when a child fails.
double median_vocabulary_ms(bool without_gui) {
  std::vector<double> times;
  const std::string command = "'" + program_folder() + "/startup_bench' --vocabulary-only" + (without_gui ? " --without-gui" : "");
  for (int i = 0; i < 15; ++i) {
    const double ms = bench::time_command(command);
    if (ms < 0) return -1;
    times.push_back(ms);
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

bool vocabulary_only = false;

int run(void*) {
  if (vocabulary_only) {
    library::install();
    boot::init_runtime();
    const auto begin = bench::clock_type::now();
    boot::define_vocabulary();
    std::printf("%.4f\n", bench::seconds_since(begin) * 1e3);
    return 0;
  }
  auto start = bench::clock_type::now();
  library::install();
  boot::init_runtime();
  double runtime_ms = bench::seconds_since(start) * 1e3;
  start = bench::clock_type::now();
  boot::define_vocabulary();
  double vocabulary_ms = bench::seconds_since(start) * 1e3;
  double again_ms = 1e30;
  for (int i = 0; i < 20; ++i) {
    start = bench::clock_type::now();
    boot::define_vocabulary();
    again_ms = std::min(again_ms, bench::seconds_since(start) * 1e3);
  }
  const boot::image_bytes image = boot::boot_image();
  const double decode_ms = best_ms([&] { tavbin::boot_load(image.data, image.length); });
  const std::string source = boot_source_text();
  const double lex_ms = best_ms([&] {
    *stack::push_cell() =
        boot::load_global(reinterpret_cast<const uint8_t*>(source.data()), static_cast<uint32_t>(source.size()));
  });
  std::printf("in this process:\n");
  std::printf("  runtime initialiser                       %8.3f ms\n", runtime_ms);
  std::printf("  vocabulary, first (image decoded)         %8.3f ms\n", vocabulary_ms);
  std::printf("  vocabulary, again (best of 20)            %8.3f ms\n", again_ms);
  const double with_gui_ms = median_vocabulary_ms(false), without_gui_ms = median_vocabulary_ms(true);
  if (with_gui_ms > 0 && without_gui_ms > 0)
    std::printf("  first vocabulary, median of 15 runs       %8.3f ms   GUI definitions: %.3f ms (%.0f%%)\n", with_gui_ms,
                with_gui_ms - without_gui_ms, 100 * (with_gui_ms - without_gui_ms) / with_gui_ms);
  std::printf("  boot image decode (best of 20)            %8.3f ms   %8zu bytes\n", decode_ms, image.length);
  std::printf("  lexing the same sources (best of 20)      %8.3f ms   %8zu bytes\n", lex_ms, source.size());

  char script[] = "/tmp/tav-startup-XXXXXX";
  int fd = mkstemp(script);
  if (fd < 0) return 1;
  const char empty[] = "Tav []\n";
  if (write(fd, empty, sizeof empty - 1) != static_cast<ssize_t>(sizeof empty - 1)) return 1;
  close(fd);
  const std::string tav = program_folder() + "/../tav";
  double tav_ms = median_run_ms({tav, script});
  double true_ms = median_run_ms({"/bin/true"});
  const std::string python = real_python();
  double python_ms = python.empty() ? -1 : median_run_ms({python, "-S", "-c", "pass"});
  unlink(script);
  std::printf("whole program, median of %d runs:\n", runs);
  if (tav_ms < 0)
    std::printf("  tav empty script                          (could not run %s)\n", tav.c_str());
  else
    std::printf("  tav empty script                          %8.3f ms   (goal: under 10 ms)\n", tav_ms);
  if (python_ms < 0)
    std::printf("  python3 -S -c pass                        (no python3 found)\n");
  else
    std::printf("  python3 -S -c pass                        %8.3f ms   (%s)\n", python_ms, python.c_str());
  std::printf("  /bin/true (process start baseline)        %8.3f ms\n", true_ms);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--vocabulary-only") == 0) vocabulary_only = true;
    if (std::strcmp(argv[i], "--without-gui") == 0) boot::gui::words_interned = nullptr;
  }
  return platform::start_up(argc, argv, run, nullptr);
}
