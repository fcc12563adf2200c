// The clipboard programs run through the launcher: their output and error never reach the
// caller's streams (the server a copy leaves behind would hold them open), and each run is
// killed once its time is up.
#include "io/clipboard.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string_view>
#include <thread>

#include "io/launcher.hpp"

namespace tav::clipboard {
namespace {

// A type no program reads: what an X11 clipboard holds once cleared.
constexpr const char* nothing_type = "application/x-tav-nothing";

bool on_path(std::string_view name) {
  const char* path = std::getenv("PATH");
  if (!path) return false;
  std::string_view rest = path;
  while (!rest.empty()) {
    const size_t colon = rest.find(':');
    const std::string_view folder = rest.substr(0, colon);
    rest = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
    if (folder.empty()) continue;
    const std::string file = std::string(folder) + "/" + std::string(name);
    struct stat status;
    if (::stat(file.c_str(), &status) == 0 && S_ISREG(status.st_mode) && ::access(file.c_str(), X_OK) == 0) return true;
  }
  return false;
}

bool set_p(const char* variable) {
  const char* value = std::getenv(variable);
  return value && *value;
}

// Runs the words with the input given; the output is captured when `output` is given.
launcher::outcome run(std::vector<std::string> words, std::vector<unsigned char> input,
                      std::vector<unsigned char>* output) {
  launcher::options options;
  options.wait = true;
  options.timeout_ms = timeout_ms;
  options.words = std::move(words);
  options.input.how = launcher::stream::kind::bytes;
  options.input.data = std::move(input);
  if (output) options.output.how = launcher::stream::kind::bytes;
  launcher::outcome outcome = launcher::run(options.words.front(), options);
  if (output) *output = std::move(options.output.data);
  return outcome;
}

answer read_out(std::vector<std::string> words, std::vector<unsigned char>& bytes) {
  const launcher::outcome outcome = run(std::move(words), {}, &bytes);
  // Both programs end with 1 when the clipboard has no owner or not the type asked for.
  if (outcome.timed_out || (outcome.result != 0 && outcome.result != 1)) return answer::failed;
  return outcome.result == 0 ? answer::done : answer::nothing;
}

bool unreserved_p(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_' || c == '~' || c == '/';
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// An escape that is not two hex digits stays as it is.
std::string percent_decoded(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const int high = text[i] == '%' && i + 2 < text.size() ? hex_value(text[i + 1]) : -1;
    const int low = high >= 0 ? hex_value(text[i + 2]) : -1;
    if (low < 0) {
      out += text[i];
      continue;
    }
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return out;
}

// The path of a file: URI (empty host or localhost), or empty for anything else.
std::string path_of(std::string_view uri) {
  constexpr std::string_view scheme = "file:";
  if (uri.size() <= scheme.size() || uri.substr(0, scheme.size()) != scheme) return {};
  std::string_view rest = uri.substr(scheme.size());
  if (rest.substr(0, 2) == "//") {
    rest.remove_prefix(2);
    const size_t slash = rest.find('/');
    if (slash == std::string_view::npos) return {};
    const std::string_view host = rest.substr(0, slash);
    if (!host.empty() && host != "localhost") return {};
    rest.remove_prefix(slash);
  }
  if (rest.empty() || rest[0] != '/') return {};
  return percent_decoded(rest);
}

// xclip hands the clipboard to the server it leaves behind, which takes it a moment after the
// command has ended: until a read gets what was written, another read could still reach the
// clipboard's former owner.
bool taken_p(const std::string& type, const std::vector<unsigned char>& bytes) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  do {
    std::vector<std::string> types;
    std::vector<unsigned char> now;
    if (list_types(program::xclip, types) == answer::done) {
      for (const std::string& each : types)
        if (each == type && fetch(program::xclip, type, now) == answer::done && now == bytes) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  } while (std::chrono::steady_clock::now() < deadline);
  return false;
}

}  // namespace

program reach() {
  if (set_p("WAYLAND_DISPLAY") && on_path("wl-copy") && on_path("wl-paste")) return program::wayland;
  if (set_p("DISPLAY") && on_path("xclip")) return program::xclip;
  return program::none;
}

answer list_types(program through, std::vector<std::string>& types) {
  types.clear();
  if (through == program::none) return answer::failed;
  std::vector<unsigned char> bytes;
  const answer got = through == program::wayland
                         ? read_out({"wl-paste", "--list-types"}, bytes)
                         : read_out({"xclip", "-selection", "clipboard", "-o", "-t", "TARGETS"}, bytes);
  if (got != answer::done) return got;
  std::string line;
  for (unsigned char c : bytes) {
    if (c != '\n' && c != '\r') {
      line += static_cast<char>(c);
      continue;
    }
    if (!line.empty()) types.push_back(line);
    line.clear();
  }
  if (!line.empty()) types.push_back(line);
  return answer::done;
}

answer fetch(program through, const std::string& type, std::vector<unsigned char>& bytes) {
  bytes.clear();
  if (through == program::none) return answer::failed;
  const answer got = through == program::wayland
                         ? read_out({"wl-paste", "--no-newline", "--type", type}, bytes)
                         : read_out({"xclip", "-selection", "clipboard", "-o", "-t", type}, bytes);
  return got == answer::done ? answer::done : answer::failed;
}

bool offer(program through, const std::string& type, const std::vector<unsigned char>& bytes) {
  if (through == program::none) return false;
  std::vector<std::string> words = through == program::wayland
                                       ? std::vector<std::string>{"wl-copy", "--type", type}
                                       : std::vector<std::string>{"xclip", "-selection", "clipboard", "-i", "-t", type};
  const launcher::outcome outcome = run(std::move(words), bytes, nullptr);
  if (outcome.timed_out || outcome.result != 0) return false;
  return through == program::wayland || taken_p(type, bytes);
}

bool clear(program through) {
  if (through != program::wayland) return offer(through, nothing_type, {});
  const launcher::outcome outcome = run({"wl-copy", "--clear"}, {}, nullptr);
  return !outcome.timed_out && outcome.result == 0;
}

std::string uri_list(const std::vector<std::string>& paths) {
  static constexpr char digits[] = "0123456789ABCDEF";
  std::string out;
  for (const std::string& path : paths) {
    if (!out.empty()) out += "\r\n";
    out += "file://";
    for (const char c : path) {
      const auto byte = static_cast<unsigned char>(c);
      if (unreserved_p(byte)) {
        out += c;
      } else {
        out += '%';
        out += digits[byte >> 4];
        out += digits[byte & 15];
      }
    }
  }
  return out;
}

std::vector<std::string> paths_of(const std::string& uri_list) {
  std::vector<std::string> paths;
  std::string_view rest = uri_list;
  while (!rest.empty()) {
    const size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line[0] == '#') continue;
    std::string path = path_of(line);
    if (!path.empty()) paths.push_back(std::move(path));
  }
  return paths;
}

}  // namespace tav::clipboard
