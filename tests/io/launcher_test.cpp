// The launcher's command splitting and its stream handling, on real child processes.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "io/launcher.hpp"

namespace tav {
namespace {

TEST(LauncherSplit, QuotingAndShellOperators) {
  struct row {
    const char* command;
    bool direct;
    std::vector<std::string> words;
  };
  const row rows[] = {
      {"echo hi", true, {"echo", "hi"}},
      {"  a\t b  ", true, {"a", "b"}},
      {"printf 'a b' \"c d\"", true, {"printf", "a b", "c d"}},
      {"a\\ b 'x'\"y\"z", true, {"a b", "xyz"}},
      {"echo \"q\\\"q\" '\\n'", true, {"echo", "q\"q", "\\n"}},
      {"echo ''", true, {"echo", ""}},
      {"echo '|;&'", true, {"echo", "|;&"}},
      {"a | b", false, {}},
      {"a > f", false, {}},
      {"echo $HOME", false, {}},
      {"echo \"$HOME\"", false, {}},
      {"ls *.c", false, {}},
      {"cd ~", false, {}},
      {"a\nb", false, {}},
      {"echo 'open", false, {}},
      {"echo \"open", false, {}},
      {"", false, {}},
  };
  for (const row& r : rows) {
    std::vector<std::string> words;
    EXPECT_EQ(launcher::split_command(r.command, words), r.direct) << r.command;
    if (r.direct) {
      EXPECT_EQ(words, r.words) << r.command;
    }
  }
}

TEST(LauncherRun, CapturesBothStreamsAndTheExitCode) {
  launcher::options options;
  options.output.how = options.error.how = launcher::stream::kind::bytes;
  launcher::outcome done = launcher::run("sh -c 'printf out; printf err >&2; exit 5'", options);
  EXPECT_EQ(done.result, 5);
  EXPECT_EQ(std::string(options.output.data.begin(), options.output.data.end()), "out");
  EXPECT_EQ(std::string(options.error.data.begin(), options.error.data.end()), "err");
}

TEST(LauncherRun, InputLargerThanAPipeWhileOutputFlows) {
  launcher::options options;
  options.input.how = options.output.how = launcher::stream::kind::bytes;
  options.input.data.assign(3 << 20, 'z');
  EXPECT_EQ(launcher::run("cat", options).result, 0);
  EXPECT_EQ(options.output.data, options.input.data);
}

// A child past its time is killed, whether it holds its output open or has closed it; one
// that ends in time keeps its exit code and output.
TEST(LauncherRun, TimeoutKillsAChildThatDoesNotEnd) {
  const char* slow[] = {"sleep 10", "sh -c 'exec >/dev/null; sleep 10'"};
  for (const char* command : slow) {
    launcher::options options;
    options.output.how = launcher::stream::kind::bytes;
    options.timeout_ms = 300;
    const auto started = std::chrono::steady_clock::now();
    const launcher::outcome done = launcher::run(command, options);
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_TRUE(done.timed_out) << command;
    EXPECT_EQ(done.result, -1) << command;
    EXPECT_LT(took, std::chrono::seconds(5)) << command;
  }
  launcher::options options;
  options.output.how = launcher::stream::kind::bytes;
  options.timeout_ms = 5000;
  const launcher::outcome done = launcher::run("sh -c 'printf ok; exit 3'", options);
  EXPECT_FALSE(done.timed_out);
  EXPECT_EQ(done.result, 3);
  EXPECT_EQ(std::string(options.output.data.begin(), options.output.data.end()), "ok");
}

TEST(LauncherRun, ExplicitWordsAreNotSplitNorRetried) {
  launcher::options options;
  options.output.how = launcher::stream::kind::bytes;
  options.words = {"printf", "%s|", "a b"};
  EXPECT_EQ(launcher::run("", options).result, 0);
  EXPECT_EQ(std::string(options.output.data.begin(), options.output.data.end()), "a b|");
  launcher::options missing;
  missing.wait = true;
  missing.words = {"/no/such/program"};
  EXPECT_EQ(launcher::run("", missing).result, -1);
}

TEST(LauncherRun, ShellFlagAndRetry) {
  launcher::options options;
  options.wait = true;
  launcher::outcome direct = launcher::run("true", options);
  EXPECT_EQ(direct.result, 0);
  EXPECT_FALSE(direct.shell_used);
  launcher::outcome retried = launcher::run("exit 7", options);
  EXPECT_EQ(retried.result, 7);
  EXPECT_TRUE(retried.shell_used);
}

}  // namespace
}  // namespace tav
