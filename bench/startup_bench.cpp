// Start-up: the runtime initialiser and the vocabulary inside this process, then the tav program
// run to the end of an empty script, beside Python's start (`python3 -S -c pass`, the interpreter
// itself rather than any wrapper found first on the path) and a program that does nothing.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstring>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_util.hpp"
#include "boot/startup.hpp"
#include "boot/vocabulary.hpp"
#include "library/routines.hpp"
#include "runtime/platform.hpp"

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

int run(void*) {
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
  std::printf("in this process:\n");
  std::printf("  runtime initialiser                       %8.3f ms\n", runtime_ms);
  std::printf("  vocabulary, first (source text built)     %8.3f ms\n", vocabulary_ms);
  std::printf("  vocabulary, again (best of 20)            %8.3f ms\n", again_ms);
  std::printf("  vocabulary source                         %8zu bytes\n", boot::vocabulary_source().size());

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

int main(int argc, char** argv) { return platform::start_up(argc, argv, run, nullptr); }
