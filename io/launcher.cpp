// Process launcher: argument splitting, the child's standard streams, spawning with the shell
// retry, the poll loop over the pipes and the reaping of children not waited for.
#include "io/launcher.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace tav::launcher {

namespace {

using clock = std::chrono::steady_clock;

std::vector<pid_t> running;  // children started without waiting, not reaped yet

constexpr const char* shell_operators = "|&;<>()$`*?[~\n";

// The descriptors of one run; every one still open is closed when the run ends.
struct descriptors {
  int child[3] = {-1, -1, -1};   // what the child gets as 0, 1 and 2 (-1: inherited)
  int parent[3] = {-1, -1, -1};  // our ends of the pipes
  ~descriptors() {
    for (int fd : child)
      if (fd >= 0) ::close(fd);
    for (int fd : parent)
      if (fd >= 0) ::close(fd);
  }
  void close_child() {
    for (int& fd : child)
      if (fd >= 0) ::close(fd), fd = -1;
  }
};

bool make_pipe(int& read_end, int& write_end) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return false;
  read_end = fds[0];
  write_end = fds[1];
  return true;
}

// Sets up the child's side of one stream; false when its file or pipe cannot be made.
bool prepare(const stream& given, int number, bool console, descriptors& fds) {
  if (given.how == stream::kind::file) {
    int flags = number == 0 ? O_RDONLY : O_WRONLY | O_CREAT | O_APPEND;
    fds.child[number] = ::open(given.path.c_str(), flags | O_CLOEXEC, 0666);
    return fds.child[number] >= 0;
  }
  if (given.how == stream::kind::bytes) {
    bool made = number == 0 ? make_pipe(fds.child[0], fds.parent[0]) : make_pipe(fds.parent[number], fds.child[number]);
    if (made) ::fcntl(fds.parent[number], F_SETFL, O_NONBLOCK);
    return made;
  }
  if (number == 0 || console) return true;
  fds.child[number] = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  return fds.child[number] >= 0;
}

int spawn(const std::vector<std::string>& words, descriptors& fds, pid_t& pid) {
  std::vector<char*> argv;
  for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  for (int number = 0; number < 3; ++number)
    if (fds.child[number] >= 0) posix_spawn_file_actions_adddup2(&actions, fds.child[number], number);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t set;
  sigemptyset(&set);
  posix_spawnattr_setsigmask(&attributes, &set);
  sigaddset(&set, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &set);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  int failure = ::posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return failure;
}

// Milliseconds left until the deadline (none: -1, wait for ever), at least 0.
int left_ms(const clock::time_point* deadline) {
  if (!deadline) return -1;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// Writes pending input and drains both captures until every pipe is closed; false when the
// deadline came first.
bool service(descriptors& fds, options& given, const clock::time_point* deadline) {
  const std::vector<unsigned char>& input = given.input.data;
  size_t sent = 0;
  std::vector<unsigned char>* captures[3] = {nullptr, &given.output.data, &given.error.data};
  if (fds.parent[0] >= 0 && input.empty()) ::close(fds.parent[0]), fds.parent[0] = -1;
  unsigned char chunk[65536];
  for (;;) {
    pollfd polls[3];
    int count = 0;
    for (int number = 0; number < 3; ++number)
      if (fds.parent[number] >= 0) polls[count++] = {fds.parent[number], static_cast<short>(number ? POLLIN : POLLOUT), 0};
    if (count == 0) return true;
    const int ready = ::poll(polls, static_cast<nfds_t>(count), left_ms(deadline));
    if (ready < 0) {
      if (errno == EINTR) continue;
      return true;
    }
    if (ready == 0 && deadline) return false;
    for (int i = 0; i < count; ++i) {
      if (polls[i].revents == 0) continue;
      int fd = polls[i].fd;
      int number = fd == fds.parent[0] ? 0 : fd == fds.parent[1] ? 1 : 2;
      if (number == 0) {
        ssize_t n = ::write(fd, input.data() + sent, input.size() - sent);
        if (n > 0) sent += static_cast<size_t>(n);
        if ((n < 0 && errno != EAGAIN && errno != EINTR) || sent == input.size()) ::close(fd), fds.parent[0] = -1;
        continue;
      }
      ssize_t n = ::read(fd, chunk, sizeof chunk);
      if (n > 0) {
        captures[number]->insert(captures[number]->end(), chunk, chunk + n);
      } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
        ::close(fd);
        fds.parent[number] = -1;
      }
    }
  }
}

long wait_for(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return -1;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

// The child's exit as wait_for gives it, or false when the deadline comes first.
bool wait_until(pid_t pid, const clock::time_point& deadline, long& result) {
  for (;;) {
    int status = 0;
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) {
      result = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
      return true;
    }
    if (done < 0 && errno != EINTR) {
      result = -1;
      return true;
    }
    if (clock::now() >= deadline) return false;
    ::usleep(2000);
  }
}

// Runs the child to its end within the time given; one still running then is killed.
void finish_in_time(pid_t pid, descriptors& fds, options& given, outcome& result) {
  const clock::time_point deadline = clock::now() + std::chrono::milliseconds(given.timeout_ms);
  if (service(fds, given, &deadline) && wait_until(pid, deadline, result.result)) return;
  ::kill(pid, SIGKILL);
  wait_for(pid);
  result.result = -1;
  result.timed_out = true;
}

}  // namespace

bool split_command(const std::string& command, std::vector<std::string>& words) {
  words.clear();
  std::string word;
  bool in_word = false;
  for (size_t i = 0; i < command.size(); ++i) {
    char c = command[i];
    if (c == ' ' || c == '\t') {
      if (in_word) words.push_back(word), word.clear(), in_word = false;
      continue;
    }
    if (std::strchr(shell_operators, c)) return false;
    in_word = true;
    if (c == '\\') {
      if (++i == command.size()) return false;
      word += command[i];
    } else if (c == '\'') {
      size_t end = command.find('\'', i + 1);
      if (end == std::string::npos) return false;
      word.append(command, i + 1, end - i - 1);
      i = end;
    } else if (c == '"') {
      for (++i;; ++i) {
        if (i >= command.size()) return false;
        if (command[i] == '"') break;
        if (command[i] == '$' || command[i] == '`') return false;
        if (command[i] == '\\' && i + 1 < command.size() && std::strchr("\"\\$`\n", command[i + 1])) ++i;
        word += command[i];
      }
    } else {
      word += c;
    }
  }
  if (in_word) words.push_back(word);
  return !words.empty();
}

void reap() {
  for (size_t i = 0; i < running.size();) {
    int status;
    pid_t done = ::waitpid(running[i], &status, WNOHANG);
    if (done == running[i] || (done < 0 && errno == ECHILD)) {
      running[i] = running.back();
      running.pop_back();
    } else {
      ++i;
    }
  }
}

outcome run(const std::string& command, options& given) {
  static bool registered = false;
  if (!registered) registered = std::atexit(reap) == 0;
  reap();
  outcome result;
  descriptors fds;
  stream* streams[3] = {&given.input, &given.output, &given.error};
  for (int number = 0; number < 3; ++number)
    if (!prepare(*streams[number], number, given.console, fds)) return result;
  std::vector<std::string> words = given.words;
  const bool explicit_words = !words.empty();
  result.shell_used = !explicit_words && (given.shell || !split_command(command, words));
  if (result.shell_used) words = {"/bin/sh", "-c", command};
  pid_t pid = 0;
  int failure = spawn(words, fds, pid);
  if (failure == ENOENT && !result.shell_used && !explicit_words) {
    result.shell_used = true;
    failure = spawn({"/bin/sh", "-c", command}, fds, pid);
  }
  fds.close_child();
  if (failure != 0) return result;
  if (given.timeout_ms >= 0) {
    finish_in_time(pid, fds, given, result);
    return result;
  }
  bool redirected = false;
  for (stream* each : streams) redirected = redirected || each->how != stream::kind::none;
  service(fds, given, nullptr);
  if (given.wait || given.console || redirected) {
    result.result = wait_for(pid);
  } else {
    running.push_back(pid);
    result.result = pid;
  }
  return result;
}

}  // namespace tav::launcher
