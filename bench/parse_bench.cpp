// PARSE: splitting a 10 MB comma-separated text with [any [copy f to "," skip] to end] and walking
// a block of 1M values with [any [integer! | word! | skip]], beside Python 3's re.findall and a
// Python loop over the same data; then the counting loops: [some #"a"] over 10 MB of "a" (folded
// and with /case) beside a C++ byte loop, memchr and Python's re.fullmatch, [some bs] over 10 MB
// of random bytes, and collecting 1M integers. TAV_BENCH_NO_PYTHON=1 leaves Python out.
#include <cstdio>
#include <cstring>

#include "bench/bench_util.hpp"
#include "boot/startup.hpp"
#include "datatypes/binary.hpp"
#include "runtime/platform.hpp"

namespace {

using namespace tav;

constexpr double text_bytes = 10.0 * (1 << 20);
constexpr double block_values = 1e6;

// Fields of 1 to 12 lower-case letters from a fixed sequence, each followed by a comma.
const char* text_definitions =
    "seed: 1 text: make string! 10485760 "
    "while [(length? text) < 10485760] [seed: seed * 75 + 74 % 65537 "
    "append/dup text #\"a\" + (seed % 26) 1 + (seed % 12) append text #\",\"] "
    "clear at text 10485761";
const char* python_text_setup =
    "import re\n"
    "seed = 1\nparts = []\nsize = 0\n"
    "while size < 10485760:\n"
    "    seed = (seed * 75 + 74) % 65537\n"
    "    field = chr(97 + seed % 26) * (1 + seed % 12)\n"
    "    parts.append(field + \",\")\n"
    "    size += len(field) + 1\n"
    "text = \"\".join(parts)[:10485760]";

const char* block_definitions =
    "blk: make block! 1000000 repeat i 1000000 [append blk either i % 3 = 0 ['w] [either i % 3 = 1 [i] [1.5]]]";
const char* python_block_setup = "blk = [(\"w\" if i % 3 == 0 else (i if i % 3 == 1 else 1.5)) for i in range(1, 1000001)]";

void print_rate(const char* label, double amount, double seconds, const char* unit) {
  if (seconds > 0)
    std::printf("  %-34s %10.1f %s\n", label, amount / seconds, unit);
  else
    std::printf("  %-34s %10s %s\n", label, "-", unit);
}

int run(void*) {
  boot::init_runtime();
  source::define_core();

  source::run_text(text_definitions);
  const double tav_text = bench::time_tav("parse text [any [copy f to \",\" skip] to end]");
  const double re_text = bench::time_python(python_text_setup, "r = re.findall(\"([^,]*),\", text)");
  const double loop_text =
      bench::time_python(python_text_setup, "r = []\n    for f in text.split(\",\"): r.append(f)");
  std::printf("parse of a 10 MB comma-separated text, [any [copy f to \",\" skip] to end]:\n");
  print_rate("tav parse", text_bytes / (1 << 20), tav_text, "MB/s");
  print_rate("python re.findall", text_bytes / (1 << 20), re_text, "MB/s");
  print_rate("python split loop", text_bytes / (1 << 20), loop_text, "MB/s");
  if (tav_text > 0 && re_text > 0) std::printf("  tav time / re time                  %10.2f\n", tav_text / re_text);

  source::run_text(block_definitions);
  const double tav_block = bench::time_tav("parse blk [any [integer! | word! | skip]]");
  const double loop_block = bench::time_python(
      python_block_setup,
      "n = 0\n    for v in blk:\n        if type(v) is int: n += 1\n        elif type(v) is str: n += 1\n        else: n += 1");
  std::printf("parse of a block of 1M values, [any [integer! | word! | skip]]:\n");
  print_rate("tav parse", block_values / 1e6, tav_block, "M values/s");
  print_rate("python type-test loop", block_values / 1e6, loop_block, "M values/s");

  source::run_text("text-a: append/dup make string! 10485760 #\"a\" 10485760");
  const double tav_some = bench::time_tav("parse text-a [some #\"a\"]");
  const double tav_some_case = bench::time_tav("parse/case text-a [some #\"a\"]");
  std::string as(10u << 20, 'a');
  volatile size_t sink = 0;
  const double cpp_loop = bench::best_of([&] {
    const char* p = as.data();
    const char* end = p + as.size();
    while (p < end && *p == 'a') ++p;
    sink = static_cast<size_t>(p - as.data());
  });
  const double cpp_memchr = bench::best_of([&] { sink = memchr(as.data(), 'b', as.size()) ? 1 : 0; });
  const double re_some =
      bench::time_python("import re\ns = \"a\" * 10485760", "r = re.fullmatch(\"a*\", s)");
  std::printf("[some #\"a\"] over 10 MB of \"a\":\n");
  print_rate("tav parse", text_bytes / (1 << 20), tav_some, "MB/s");
  print_rate("tav parse/case", text_bytes / (1 << 20), tav_some_case, "MB/s");
  print_rate("C++ byte loop", text_bytes / (1 << 20), cpp_loop, "MB/s");
  print_rate("C++ memchr", text_bytes / (1 << 20), cpp_memchr, "MB/s");
  print_rate("python re.fullmatch(\"a*\")", text_bytes / (1 << 20), re_some, "MB/s");

  const std::vector<uint8_t> noise = bench::random_sample(10u << 20);
  source::define("bytes", *binary::load(noise.data(), noise.size()));
  source::run_text("bs: make bitset! #{FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF}");
  const double tav_bitset = bench::time_tav("parse bytes [some bs]");
  const double re_bytes = bench::time_python("import re, os\ndata = os.urandom(10485760)",
                                             "r = re.fullmatch(b\"[\\x00-\\xff]*\", data)");
  std::printf("[some bs] over 10 MB of random bytes, bs holding every byte:\n");
  print_rate("tav parse", text_bytes / (1 << 20), tav_bitset, "MB/s");
  print_rate("python re.fullmatch", text_bytes / (1 << 20), re_bytes, "MB/s");

  source::run_text("ints: make block! 1000000 repeat i 1000000 [append ints i]");
  const double tav_collect = bench::time_tav("parse ints [collect [any keep integer!]]");
  const double python_collect = bench::time_python("ints = list(range(1, 1000001))",
                                                   "r = [v for v in ints if type(v) is int]");
  std::printf("collecting 1M integers, [collect [any keep integer!]]:\n");
  print_rate("tav parse", block_values / 1e6, tav_collect, "M values/s");
  print_rate("python list comprehension", block_values / 1e6, python_collect, "M values/s");
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return platform::start_up(argc, argv, run, nullptr); }
