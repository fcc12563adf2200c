// Process launcher: starts a command directly or through /bin/sh, feeds its standard input
// from bytes or a file, and sends its output and error streams to captures, files, the
// terminal or /dev/null, servicing every pipe together so that no child blocks the caller.
#pragma once
#include <string>
#include <vector>

namespace tav::launcher {

// Where one standard stream of the child comes from or goes to.
struct stream {
  enum class kind { none, bytes, file } how = kind::none;
  std::string path;            // kind::file
  std::vector<unsigned char> data;  // kind::bytes: the input to send, or the captured output
};

struct options {
  bool wait = false, console = false, shell = false;
  int timeout_ms = -1;  // when 0 or more: a child not ended by then is killed (it waits)
  std::vector<std::string> words;  // when given, the program and its arguments, started as they are
  stream input, output, error;
};

struct outcome {
  long result = -1;         // exit code, 128 + signal, process id, or -1
  bool shell_used = false;  // /shell given, the command needed the shell, or the retry ran
  bool timed_out = false;   // killed when the time given ran out; result is then -1
};

// The arguments of a command split as the POSIX shell splits words (single and double quotes,
// backslash, no expansions); false when it holds an unquoted shell operator or an open quote.
bool split_command(const std::string& command, std::vector<std::string>& words);

// Runs the command; captured bytes land in `options.output.data` and `options.error.data`.
outcome run(const std::string& command, options& options);

// Reaps the children not waited for that have ended.
void reap();

}  // namespace tav::launcher
