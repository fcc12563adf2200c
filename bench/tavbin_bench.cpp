// TAVBIN compact streams: encode and decode throughput of a block of mixed scalars and strings
// (about 10 MB of stream) and of a block of 1M integers, beside Python 3's pickle and marshal
// of the same data built from the same sequence; of 10k objects sharing sub-blocks beside pickle
// of dicts sharing lists; and of blocks of 10k and 100k distinct words bound to one object,
// whose time ratio shows whether the cost grows linearly. MB/s count each format's own bytes.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_util.hpp"
#include "boot/startup.hpp"
#include "datatypes/binary.hpp"
#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/object.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "io/tavbin.hpp"
#include "runtime/collector.hpp"
#include "runtime/platform.hpp"

namespace {

using namespace tav;

constexpr uint32_t mixed_count = 1500000;
constexpr uint32_t integer_count = 1000000;

// The sequence both sides build their data from: x = x * 1103515245 + 12345 (mod 2^31); item i
// is by i mod 5 a large integer, a float, a text of 8 to 24 hex digits, a logic, a small integer.
// Only the integers with `integers_only`.
void build(cell& block, uint32_t count, bool integers_only) {
  block::make_at(block, static_cast<int32_t>(count));
  uint32_t x = 1;
  char text[32];
  for (uint32_t i = 0; i < count; ++i) {
    x = (x * 1103515245u + 12345u) & 0x7FFFFFFFu;
    const uint32_t kind = integers_only ? 0 : i % 5;
    cell value;
    if (kind == 0) {
      value = scalar::integer(static_cast<int32_t>(x) - (1 << 30));
    } else if (kind == 1) {
      value = scalar::float_cell(x / 7.0);
    } else if (kind == 2) {
      const int n = std::snprintf(text, sizeof text, "%08x", x);
      std::string repeated;
      for (uint32_t k = 0; k <= x % 3; ++k) repeated.append(text, static_cast<size_t>(n));
      value = *string::load(reinterpret_cast<const uint8_t*>(repeated.data()), repeated.size(),
                            string::encoding::utf8);
      stack::pop_cells(1);
    } else if (kind == 3) {
      value = logic::value_of(x & 1);
    } else {
      value = scalar::integer(static_cast<int32_t>(x % 64));
    }
    block::append_cell(block, value);
  }
}

constexpr uint32_t object_count = 10000;
constexpr uint32_t shared_blocks = 100;

cell text_value(const std::string& text) {
  const cell value =
      *string::load(reinterpret_cast<const uint8_t*>(text.data()), text.size(), string::encoding::utf8);
  stack::pop_cells(1);
  return value;
}

void add_field(const cell& object, const char* name, const cell& value) {
  cell word;
  word::make_at(word, symbol::make(name));
  context::add_with(object::context_of(object), word, value);
}

// Objects [id: i name: "item-i" tags: one of 100 shared blocks of three strings data: [i i+1 i+2]].
void build_objects(cell& block) {
  cell shared;
  block::make_at(shared, shared_blocks);
  collector::scoped_root shared_rooted(&shared);
  for (uint32_t k = 0; k < shared_blocks; ++k) {
    cell tags;
    block::make_at(tags, 3);
    for (const char* prefix : {"t", "u", "v"}) block::append_cell(tags, text_value(prefix + std::to_string(k)));
    block::append_cell(shared, tags);
  }
  block::make_at(block, object_count);
  for (uint32_t i = 0; i < object_count; ++i) {
    cell object;
    object::make_at(object, 4);
    block::append_cell(block, object);
    add_field(object, "id", scalar::integer(static_cast<int32_t>(i)));
    add_field(object, "name", text_value("item-" + std::to_string(i)));
    add_field(object, "tags", buffer_of(shared.payload2)->cells()[i % shared_blocks]);
    cell data;
    block::make_at(data, 3);
    for (uint32_t k = 0; k < 3; ++k) block::append_cell(data, scalar::integer(static_cast<int32_t>(i + k)));
    add_field(object, "data", data);
  }
}

const char* python_objects =
    "shared = [[\"t%d\" % k, \"u%d\" % k, \"v%d\" % k] for k in range(100)]\n"
    "data = [{\"id\": i, \"name\": \"item-%d\" % i, \"tags\": shared[i % 100], \"data\": [i, i + 1, i + 2]}\n"
    "        for i in range(10000)]\n";

// A block of `count` distinct words bound to one object holding them as fields.
void build_words(cell& block, uint32_t count) {
  cell object;
  object::make_at(object, count);
  collector::scoped_root object_rooted(&object);
  for (uint32_t i = 0; i < count; ++i)
    add_field(object, ("w" + std::to_string(i)).c_str(), scalar::integer(static_cast<int32_t>(i)));
  block::make_at(block, static_cast<int32_t>(count));
  const node_id context = object::context_of(object);
  for (uint32_t i = 0; i < count; ++i) block::append_cell(block, *context::word_at(context, i));
}

const char* python_build =
    "def build(count, integers_only):\n"
    "    out = []\n"
    "    x = 1\n"
    "    for i in range(count):\n"
    "        x = (x * 1103515245 + 12345) & 0x7FFFFFFF\n"
    "        kind = 0 if integers_only else i % 5\n"
    "        if kind == 0: out.append(x - (1 << 30))\n"
    "        elif kind == 1: out.append(x / 7.0)\n"
    "        elif kind == 2: out.append(\"%08x\" % x * (x % 3 + 1))\n"
    "        elif kind == 3: out.append(bool(x & 1))\n"
    "        else: out.append(x % 64)\n"
    "    return out\n";

struct figures {
  double encode_seconds;
  double decode_seconds;
  size_t bytes;
};

figures time_tavbin(const cell& data_given) {
  cell data = data_given;
  collector::scoped_root data_rooted(&data);
  cell stream = none::value;
  collector::scoped_root stream_rooted(&stream);
  const double encode_seconds = bench::best_of([&] { tavbin::encode_cp(data, stream); });
  const size_t size = binary::ts_length_p(stream);
  std::vector<uint8_t> input(binary::ts_head(stream), binary::ts_head(stream) + size);
  const double decode_seconds = bench::best_of([&] {
    cell values;
    block::make_at(values, 1);
    collector::scoped_root rooted(&values);
    tavbin::decode(input.data(), input.size(), values, true);
  });
  return {encode_seconds, decode_seconds, size};
}

// Python's best times and sizes: "dumps loads size" for the module, of the data that the
// program `building` leaves in `data`.
figures time_python_of(const char* module, const std::string& building) {
  if (bench::skipped_p("TAV_BENCH_NO_PYTHON")) return {-1, -1, 0};
  const std::string program = std::string("import time, pickle, marshal\n") + building +
                              "def best(f):\n"
                              "    b = 1e30\n"
                              "    for _ in range(3):\n"
                              "        t = time.perf_counter(); f(); b = min(b, time.perf_counter() - t)\n"
                              "    return b\n"
                              "s = " + module + ".dumps(data)\n"
                              "print(best(lambda: " + module + ".dumps(data)), best(lambda: " + module +
                              ".loads(s)), len(s))\n";
  FILE* pipe = popen(("python3 -c '" + program + "' 2>/dev/null").c_str(), "r");
  figures f{-1, -1, 0};
  if (!pipe) return f;
  if (std::fscanf(pipe, "%lf %lf %zu", &f.encode_seconds, &f.decode_seconds, &f.bytes) != 3) f = {-1, -1, 0};
  pclose(pipe);
  return f;
}

figures time_python(const char* module, uint32_t count, bool integers_only) {
  return time_python_of(module, std::string(python_build) + "data = build(" + std::to_string(count) +
                                    (integers_only ? ", True" : ", False") + ")\n");
}

void print_row(const char* name, const figures& f) {
  if (f.bytes == 0) {
    std::printf("  %-16s %12s\n", name, "-");
    return;
  }
  std::printf("  %-16s %12.2f %12.1f %12.2f %12.1f %12.2f\n", name, f.bytes / 1048576.0, f.encode_seconds * 1e3,
              bench::mb_per_s(f.bytes, f.encode_seconds), f.decode_seconds * 1e3,
              bench::mb_per_s(f.bytes, f.decode_seconds));
}

void print_heading() {
  std::printf("  %-16s %12s %12s %12s %12s %12s\n", "", "MB", "encode ms", "encode MB/s", "decode ms",
              "decode MB/s");
}

void run_case(const char* title, uint32_t count, bool integers_only) {
  cell data;
  build(data, count, integers_only);
  collector::scoped_root rooted(&data);
  std::printf("%s (%u values)\n", title, count);
  print_heading();
  print_row("tavbin compact", time_tavbin(data));
  print_row("python pickle", time_python("pickle", count, integers_only));
  print_row("python marshal", time_python("marshal", count, integers_only));
}

int run(void*) {
  boot::init_runtime();
  collector::set_active(true);
  run_case("Mixed scalars and strings", mixed_count, false);
  run_case("Integers", integer_count, true);

  cell objects;
  build_objects(objects);
  collector::scoped_root objects_rooted(&objects);
  std::printf("Objects sharing sub-blocks (%u objects, %u shared blocks)\n", object_count, shared_blocks);
  print_heading();
  print_row("tavbin compact", time_tavbin(objects));
  print_row("python pickle", time_python_of("pickle", python_objects));

  figures words[2];
  const uint32_t counts[2] = {10000, 100000};
  std::printf("Distinct words bound to one object\n");
  print_heading();
  for (int k = 0; k < 2; ++k) {
    cell block;
    build_words(block, counts[k]);
    collector::scoped_root rooted(&block);
    words[k] = time_tavbin(block);
    print_row(("tavbin " + std::to_string(counts[k] / 1000) + "k words").c_str(), words[k]);
  }
  std::printf("  time ratio 100k / 10k: encode %.1f, decode %.1f (10 is linear)\n",
              words[1].encode_seconds / words[0].encode_seconds, words[1].decode_seconds / words[0].decode_seconds);
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return platform::start_up(argc, argv, run, nullptr); }
