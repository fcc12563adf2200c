// Lexer scan and load throughput on large generated scripts, beside splitting the same text
// on white space with the C library (strspn/strcspn) and counting its lines with memchr.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "boot/startup.hpp"
#include "interpreter/lexer.hpp"
#include "interpreter/transcode.hpp"
#include "runtime/platform.hpp"

namespace {

using namespace tav;

volatile size_t keep;

template <class Body>
double best_mb_per_s(size_t bytes, Body&& body, int rounds = 40) {
  using clock = std::chrono::steady_clock;
  double best = 1e30;
  for (int round = 0; round < rounds; ++round) {  // best of many: the machine is shared
    int reps = 1;
    auto start = clock::now();
    for (int i = 0; i < reps; ++i) body();
    double seconds = std::chrono::duration<double>(clock::now() - start).count() / reps;
    best = std::min(best, seconds);
  }
  return static_cast<double>(bytes) / best / 1e6;
}

// Source code as people write it: indented lines of set-words, calls, numbers, strings,
// paths, comments and nested blocks.
std::string make_code(size_t size) {
  std::mt19937 rng(11);
  const char* const names[] = {"value", "result", "count", "list",  "item", "total", "name",   "index", "buffer", "offset",
                               "first", "last",   "data",  "text",  "size", "block", "append", "either", "print", "find"};
  auto name = [&] { return std::string(names[rng() % std::size(names)]); };
  auto number = [&](uint32_t n) { return std::to_string(rng() % n); };
  std::string s;
  s.reserve(size + 256);
  int depth = 0;
  while (s.size() < size) {
    s.append(static_cast<size_t>(depth) * 4, ' ');
    switch (rng() % 13) {
      case 0:
        if (depth < 4) {
          s += name() + ": func [" + name() + " " + name() + " /local " + name() + "] [";
          ++depth;
        }
        break;
      case 1:
      case 2:
        if (depth > 0) {
          s.resize(s.size() - 4);
          s += "]";
          --depth;
        }
        break;
      case 3: s += "; " + name() + " is checked before the " + name() + " is used"; break;
      case 4: s += name() + ": either " + name() + " > " + number(1000) + " [" + name() + " * 2] [\"small\"]"; break;
      case 5: s += "print [\"" + name() + ":\" " + name() + "]"; break;
      case 6: s += name() + "/" + name() + ": " + number(100) + "." + number(100); break;
      case 7: s += "if find " + name() + " '" + name() + " [append " + name() + " {some braced text}]"; break;
      case 8:
        if (depth < 4) {
          s += "foreach " + name() + " " + name() + " [";
          ++depth;
        }
        break;
      case 9: s += name() + ": copy/part " + name() + " " + number(50); break;
      case 10: s += "repeat " + name() + " " + number(10) + " [" + name() + ": " + name() + " + 1]"; break;
      case 11: s += name() + ": #(none) ; nothing yet"; break;
      default: s += "return " + name(); break;
    }
    s += '\n';
  }
  while (depth-- > 0) s += "]\n";
  return s;
}

// Every kind of token, densely and in random order: the hardest case for the branch
// predictor. Money and dates have no values yet, so a script to load leaves money out.
std::string make_dense(size_t size, bool with_money = true) {
  std::mt19937 rng(7);
  const char* const pieces[] = {"print", "either", "x:", ":y", "'z", "a/b/c", "obj/field:", "foo-bar?", "+",
                                "<=", "12345", "3.25", "\"a string with ^\"quotes^\"\"", "{braced {text}}",
                                "; comment\n", "12:30", "1.2.3", "2x3", "#{DEADBEEF}", "%file.txt", "<tag>",
                                "#\"c\"", "$12.50", "50%", "\n"};
  std::string s;
  s.reserve(size + 64);
  int depth = 0;
  while (s.size() < size) {
    uint32_t r = rng() % 32;
    if (r < 3 && depth < 40) {
      s += '[';
      ++depth;
    } else if (r < 6 && depth > 0) {
      s += ']';
      --depth;
    } else {
      const char* piece = pieces[rng() % std::size(pieces)];
      s += with_money || piece[0] != '$' ? piece : "12.50";
    }
    s += ' ';
  }
  s.append(static_cast<size_t>(depth), ']');
  return s;
}

size_t split_tokens(const char* text) {
  size_t n = 0;
  const char* p = text;
  for (;;) {
    p += std::strspn(p, " \t\r\n");
    if (!*p) return n;
    p += std::strcspn(p, " \t\r\n");
    ++n;
  }
}

size_t count_lines(const std::string& text) {
  size_t n = 0;
  const char* p = text.data();
  const char* end = p + text.size();
  while ((p = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p))))) {
    ++n;
    ++p;
  }
  return n;
}

void report(const char* what, const std::string& script) {
  auto* bytes = reinterpret_cast<const uint8_t*>(script.data());
  uint32_t length = static_cast<uint32_t>(script.size());
  std::printf("%s (%zu bytes)\n", what, script.size());
  std::printf("  C library: strspn/strcspn split %9.0f MB/s\n",
              best_mb_per_s(script.size(), [&] { keep = split_tokens(script.c_str()); }));
  std::printf("  C library: memchr line count    %9.0f MB/s\n",
              best_mb_per_s(script.size(), [&] { keep = count_lines(script); }));
  std::printf("  lexer scan                      %9.0f MB/s\n", best_mb_per_s(script.size(), [&] {
                lexer::run r(bytes, length, lexer::run_options{});
                keep = r.execute().position;
              }));
  std::printf("  lexer scan, copied to scratch   %9.0f MB/s\n", best_mb_per_s(script.size(), [&] {
                lexer::source_text text(bytes, length);
                lexer::run r(text.data(), text.size(), lexer::run_options{});
                keep = r.execute().position;
              }));
}

// Load builds every value and one block of the top level; the collector runs as in the
// program.
void report_load(const char* what, const std::string& script) {
  auto* bytes = reinterpret_cast<const uint8_t*>(script.data());
  uint32_t length = static_cast<uint32_t>(script.size());
  std::printf("%s (%zu bytes)\n", what, script.size());
  std::printf("  C library: strspn/strcspn split %9.0f MB/s\n",
              best_mb_per_s(script.size(), [&] { keep = split_tokens(script.c_str()); }, 8));
  std::printf("  lexer load                      %9.0f MB/s\n", best_mb_per_s(script.size(), [&] {
                cell block{unset_header, 0, 0, 0};
                lexer::transcode(block, bytes, length, lexer::load_options{}, nullptr);
                keep = block.payload2;
              }, 8));
}

int body(void*) {
  boot::init_runtime();
  std::string code = make_code(size_t{16} << 20);
  std::string dense = make_dense(size_t{16} << 20);
  report("script of words, numbers, strings and nested blocks", code);
  report("dense mix of every token kind", dense);
  report_load("load: the script of words, numbers, strings and nested blocks", code);
  report_load("load: the dense mix of every token kind but money", make_dense(size_t{16} << 20, false));
  // A load keeps every value it made alive until it ends, and each collection it triggers
  // marks them all: the larger the script, the more of the time goes to collections.
  report_load("load: script of 1 MB", make_code(size_t{1} << 20));
  report_load("load: dense mix of 1 MB", make_dense(size_t{1} << 20, false));
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return tav::platform::start_up(argc, argv, body, nullptr); }
