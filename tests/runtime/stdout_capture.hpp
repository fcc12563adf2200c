// Test helper: standard output sent into an anonymous file while the capture lives, so a
// test sees the exact bytes the runtime wrote there.
#pragma once
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace tav::testing {

class captured_stdout {
 public:
  captured_stdout() {
    std::fflush(stdout);
    saved_ = ::dup(STDOUT_FILENO);
    file_ = ::memfd_create("captured-stdout", 0);
    ::dup2(file_, STDOUT_FILENO);
  }
  ~captured_stdout() {
    restore();
    ::close(file_);
    ::close(saved_);
  }
  captured_stdout(const captured_stdout&) = delete;
  captured_stdout& operator=(const captured_stdout&) = delete;

  // Bytes written so far, readable while the capture is on.
  size_t size() const {
    struct stat info{};
    ::fstat(file_, &info);
    return static_cast<size_t>(info.st_size);
  }

  // Puts standard output back and answers everything written meanwhile.
  std::string text() {
    restore();
    std::string bytes(size(), '\0');
    ssize_t n = ::pread(file_, bytes.data(), bytes.size(), 0);
    bytes.resize(n < 0 ? 0 : static_cast<size_t>(n));
    return bytes;
  }

 private:
  void restore() {
    if (restored_) return;
    std::fflush(stdout);
    ::dup2(saved_, STDOUT_FILENO);
    restored_ = true;
  }

  int saved_ = -1;
  int file_ = -1;
  bool restored_ = false;
};

// Runs `body` with standard output captured and answers what it wrote.
template <class Body>
std::string output_of(Body&& body) {
  captured_stdout capture;
  body();
  return capture.text();
}

// Standard output is a sequenced-packet socket for the body, so every write arrives as
// one message; answers the messages.
template <class Body>
std::vector<std::string> writes_of(Body&& body) {
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, ends) != 0) return {"socketpair failed"};
  std::fflush(stdout);
  int saved = ::dup(STDOUT_FILENO);
  ::dup2(ends[0], STDOUT_FILENO);
  body();
  ::dup2(saved, STDOUT_FILENO);
  ::close(saved);
  ::close(ends[0]);
  std::vector<std::string> messages;
  char message[4096];
  for (ssize_t n; (n = ::recv(ends[1], message, sizeof message, MSG_DONTWAIT)) > 0;) messages.emplace_back(message, n);
  ::close(ends[1]);
  return messages;
}

}  // namespace tav::testing
