// Mutational fuzzer of the loader, the decompressors, the TAVBIN reader and the image codecs: seeds (built-in texts and streams,
// plus the files of any folders given) are mutated at random and fed to the real code, built
// with the sanitizers. A language error is a normal outcome; a crash, a sanitizer report or a
// round trip that does not come back is a failure. The input being run is kept in a file
// mapped into memory, so that it survives whatever ends the process.
//
//   tav_fuzz loader|decompress|tavbin|image COUNT [SEED [FOLDER...]]
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "boot/global_load.hpp"
#include "boot/startup.hpp"
#include "boot/vocabulary.hpp"
#include "datatypes/actions.hpp"
#include "datatypes/binary.hpp"
#include "datatypes/block.hpp"
#include "datatypes/series.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/interpreter.hpp"
#include "interpreter/stack.hpp"
#include "interpreter/transcode.hpp"
#include "datatypes/image.hpp"
#include "io/compression.hpp"
#include "io/image_codecs.hpp"
#include "io/image_io.hpp"
#include "io/tavbin.hpp"
#include "runtime/collector.hpp"
#include "runtime/errors.hpp"
#include "runtime/platform.hpp"
#include "datatypes/runtime_words.hpp"

namespace tav {
namespace {

using bytes = std::vector<uint8_t>;

constexpr size_t max_input = 4096;
// One file per target: the targets run side by side in one folder, and a file another run
// truncates would fault under this one's mapping.
std::string current_file;

struct settings {
  std::string target;
  uint64_t count = 0;
  uint64_t seed = 1;
  std::vector<std::string> folders;
};
settings options;

// The input being run: 8 bytes of length, then the bytes.
uint8_t* current = nullptr;
// Inputs the code under test accepted, and those it refused with a language error.
uint64_t accepted = 0, refused = 0;

void keep_current_input() {
  current_file = "fuzz-current-" + options.target + ".bin";
  int fd = ::open(current_file.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
  if (fd < 0 || ::ftruncate(fd, 8 + max_input) != 0) {
    std::perror(current_file.c_str());
    std::exit(2);
  }
  void* mapped = ::mmap(nullptr, 8 + max_input, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  ::close(fd);
  if (mapped == MAP_FAILED) {
    std::perror(current_file.c_str());
    std::exit(2);
  }
  current = static_cast<uint8_t*>(mapped);
}

void note_input(const bytes& input) {
  uint64_t length = input.size();
  std::memcpy(current, &length, 8);
  if (!input.empty()) std::memcpy(current + 8, input.data(), input.size());
}

bytes text_bytes(std::string_view text) { return bytes(text.begin(), text.end()); }

const char* const loader_seeds[] = {
    "Tav [title: \"x\"] print 1 + 2",
    "[a b/c :d e: 'f /g #h %i.txt http://j.k/l <m n=\"o\"> p@q.r]",
    "1 -2 +3 1'000 1.5 -0.0 1e308 2.5e-310 1.#INF 12% $1.50 -$2 USD$3",
    "\"a^\"b^(41)^(tab)^/\" {multi {nested} ^} line} %\"with space\" %a%20b",
    "#{00FF} 2#{01010101} 16#{abcd} 64#{YWJj} #\"a\" #\"^(1F600)\" #\"^@\"",
    "1x2 3x4x5 1.5x2.5 (1 2 3) 1.2.3.4 0.0.0 255.255.255.255.255",
    "12:30 -1:00:00.5 1-Jan-2000 2000-01-31/10:00+02:00 3/4/2021",
    "a/b/c/1/(x) :a/b 'a/b a/b: /refinement #issue-x @ref ",
    "[[[[[[[[[[]]]]]]]]]] ((())) #[none] #[true] #[object! [a: 1]]",
    "; comment\n comment {x} a: func [x [integer!] /y z] [x * 2]",
    "make bitset! #{00FF} #(a: 1 b: 2) #[map! [a 1]] 'lit <tag/>",
    "\xEF\xBB\xBF" "1 \xC3\xA9" "t\xC3\xA9 \"\xE2\x82\xAC\" caf\xC3\xA9: 1",
    "<!-- x --> http://a.b:80/c?d=e#f mailto:x@y ftp://z %/abs/path %../rel",
    "1.0.0.0.0.0.0.0.0.0.0.0 123456789012345678901234567890 -2147483648 2147483648",
};

const char* const loader_tokens[] = {
    "[", "]", "(", ")", "{", "}", "\"", "^", "#", "%", ":", "'", "/", "<", ">", "@", "$", "x", ".", "-",
    "+", "e", "#{", "#[", "#(", "^(", "1", "0x", "e308", "\n", " ", ";", "\\", "2147483647", "-0", "%\"",
};

std::vector<bytes> read_folders() {
  std::vector<bytes> found;
  for (const std::string& folder : options.folders) {
    std::error_code error;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, error)) {
      if (!entry.is_regular_file() || entry.file_size() > max_input) continue;
      std::ifstream stream(entry.path(), std::ios::binary);
      found.emplace_back(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
    }
  }
  return found;
}

class mutator {
 public:
  explicit mutator(uint64_t seed) : random_(seed) {}

  size_t below(size_t n) { return n ? std::uniform_int_distribution<size_t>(0, n - 1)(random_) : 0; }

  bytes mutate(const std::vector<bytes>& seeds, bool tokens) {
    bytes input = seeds[below(seeds.size())];
    size_t steps = 1 + below(8);
    for (size_t i = 0; i < steps; ++i) step(input, seeds, tokens);
    if (input.size() > max_input) input.resize(max_input);
    return input;
  }

 private:
  void step(bytes& input, const std::vector<bytes>& seeds, bool tokens) {
    static const uint8_t interesting[] = {0, 1, 0x7F, 0x80, 0xFF, 0xC3, 0xE2, 0xF0, '[', ']', '"', '^', '\n'};
    size_t at = below(input.size() + 1);
    switch (below(tokens ? 8 : 7)) {
      case 0:
        if (!input.empty()) input[below(input.size())] ^= static_cast<uint8_t>(1u << below(8));
        break;
      case 1:
        if (!input.empty()) input[below(input.size())] = static_cast<uint8_t>(below(256));
        break;
      case 2:
        if (!input.empty()) input[below(input.size())] = interesting[below(sizeof interesting)];
        break;
      case 3: input.insert(input.begin() + static_cast<ptrdiff_t>(at), static_cast<uint8_t>(below(256))); break;
      case 4: {  // delete a run
        size_t n = std::min(input.size() - std::min(at, input.size()), 1 + below(16));
        input.erase(input.begin() + static_cast<ptrdiff_t>(at), input.begin() + static_cast<ptrdiff_t>(at + n));
        break;
      }
      case 5: {  // repeat a run
        if (input.empty()) break;
        size_t from = below(input.size()), n = std::min(input.size() - from, 1 + below(32));
        bytes run(input.begin() + static_cast<ptrdiff_t>(from), input.begin() + static_cast<ptrdiff_t>(from + n));
        input.insert(input.begin() + static_cast<ptrdiff_t>(at), run.begin(), run.end());
        break;
      }
      case 6: {  // splice a piece of another seed
        const bytes& other = seeds[below(seeds.size())];
        if (other.empty()) break;
        size_t from = below(other.size()), n = std::min(other.size() - from, 1 + below(64));
        input.insert(input.begin() + static_cast<ptrdiff_t>(at), other.begin() + static_cast<ptrdiff_t>(from),
                     other.begin() + static_cast<ptrdiff_t>(from + n));
        break;
      }
      default: {
        std::string_view token = loader_tokens[below(std::size(loader_tokens))];
        input.insert(input.begin() + static_cast<ptrdiff_t>(at), token.begin(), token.end());
        break;
      }
    }
  }

  std::mt19937_64 random_;
};

// Runs `body` as `try` would; answers whether a language error stopped it. The stacks stand
// as before either way.
template <class Body>
bool guarded(Body&& body) {
  const stack::position at = stack::here();
  bool stopped = stack::catch_error(words::try_, false, body);
  stack::restore(at);
  ++(stopped ? refused : accepted);
  return stopped;
}

void mold_block(const cell& block) {
  cell* saved = stack::arguments;
  stack::arguments = stack::top;
  stack::push_copy(block);
  int32_t positions[16];
  std::fill(std::begin(positions), std::end(positions), -1);
  actions::entry::mold(positions);
  stack::arguments = saved;
}

// Loads the text, molds what it gives, and loads the mold once more.
void run_loader(const bytes& input) {
  guarded([&] {
    cell block = none::value;
    lexer::load_options load;
    lexer::transcode(block, input.data(), static_cast<uint32_t>(input.size()), load, nullptr);
    if (block.type() != TYPE_BLOCK) return;
    mold_block(block);
  });
  guarded([&] {
    cell ignored = none::value;
    lexer::load_options scan;
    scan.load = false;
    lexer::transcode(ignored, input.data(), static_cast<uint32_t>(input.size()), scan, nullptr);
  });
}

std::vector<bytes> decompress_seeds() {
  std::vector<bytes> plain = {text_bytes(""), text_bytes("a"), text_bytes("hello hello hello hello"),
                              bytes(300, 0), text_bytes("The quick brown fox jumps over the lazy dog.")};
  bytes counting;
  for (int i = 0; i < 600; ++i) counting.push_back(static_cast<uint8_t>(i * 7));
  plain.push_back(counting);
  std::vector<bytes> seeds;
  for (const bytes& p : plain)
    for (auto how : {compression::method::deflate, compression::method::zlib, compression::method::gzip})
      seeds.push_back(compression::compress(how, p.data(), p.size()));
  // Streams that our compressor does not make: stored and dynamic-code blocks.
  seeds.push_back({0x01, 0x03, 0x00, 0xFC, 0xFF, 'a', 'b', 'c'});
  seeds.push_back({0x78, 0x9C, 0x4B, 0x4C, 0x4A, 0x06, 0x00, 0x02, 0x4D, 0x01, 0x27});
  seeds.push_back({0xED, 0xC1, 0x01, 0x0D, 0x00, 0x00, 0x00, 0xC2, 0xA0, 0xF7, 0x4F, 0x6D, 0x0F, 0x07, 0x14, 0x00,
                   0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                   0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                   0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x57, 0x03});
  return seeds;
}

// Every method, with and without a size hint; what is accepted must compress back to itself.
void run_decompress(const bytes& input, mutator& random) {
  for (auto how : {compression::method::deflate, compression::method::zlib, compression::method::gzip}) {
    size_t hint = random.below(4) == 0 ? random.below(1u << 20) : 0;
    bytes output;
    guarded([&] { output = compression::decompress(how, input.data(), input.size(), hint); });
    bytes again;
    bool failed = guarded([&] {
      bytes packed = compression::compress(how, output.data(), output.size());
      again = compression::decompress(how, packed.data(), packed.size());
    });
    if (failed || again != output) {
      std::fprintf(stderr, "round trip of %zu decoded bytes failed (method %d)\n", output.size(), int(how));
      std::abort();
    }
  }
}

// Streams of the values of these expressions and of each of their elements, written by the
// codec's own writers in both layouts.
const char* const tavbin_seeds[] = {
    "reduce [5 -1 64 2147483647 -2147483648 none true false integer!]",
    "[1.0 0.5 -0.0 3e9 100% 0.5% 1:30 -0:00:00.25 #\"a\" #\"^(1F600)\" 3x4 (1.5, 2.5) (1, 2, 3)]",
    "[1.2.3 1.2.3.4.5.6.7.8.9.10.11.12 1-Jan-2000 1-Mar-2020/10:00+05:30 #issue #x]",
    "[[1 [2 [3]]] (4) \"abc\" %f.txt http://a.b <t> a@b.c @r #{CAFE} \"\u00e9t\u00e9\" \"^(1F600)x\"]",
    "reduce [make bitset! [#\"a\" - #\"z\"] complement make bitset! \"ab\" make vector! [integer! 16 [1 -1]] "
    "make vector! [float! 64 [0.5]] make map! [1 \"one\" \"b\" [2]] make hash! [1 2 3] "
    "make typeset! [integer! string!] next next \"abcd\" to set-path! [1 2] next [1 2]]",
    "b: [1] s: \"ab\" c: copy [] append/only c c reduce [b b c s next s as ref! s as path! b]",
    "reduce [func [x] [x * 2] func [/r a] [either r [a] [0]] func [x /local y] [y: x + 1 y * y]]",
    "o: make object! [a: 1 b: \"x\" on-change*: func [w o n] [print \"changed\"]] reduce [o in o 'a in o 'b]",
    "o: make object! [n: 5 f: func [] [n * 2] me: none] o/me: o reduce [o]",
    "f: func [x] [x + 1] reduce [:f :f reflect :f 'body]",
    "i: make image! [2x2 #{0102030405060708090A0B0C} #{00FF7F80}] reduce [i next i make image! 0x2 make image! 3x1]",
    "reduce [:if :append :+ make op! func [a b] [a - b] make error! [math zero-divide]]",
    "e: make error! [script no-value] e/arg1: 'foo reduce [e [a b: :c /d 'e]]",
    "h: make hash! [1 2] append/only h h m: make map! [a 1] m/b: m reduce [h m]",
};

bytes stream_of(const cell& value, bool compact = true) {
  cell result = none::value;
  if (compact)
    tavbin::encode_cp(value, result);
  else
    tavbin::encode(value, result);
  const uint8_t* head = binary::ts_head(result);
  return bytes(head, head + binary::ts_length_p(result));
}

std::vector<bytes> tavbin_source_seeds() {
  boot::define_vocabulary();
  std::vector<bytes> seeds;
  for (const char* text : tavbin_seeds) {
    if (guarded([&] {
      cell code = none::value;
      lexer::load_options load;
      lexer::transcode(code, reinterpret_cast<const uint8_t*>(text), static_cast<uint32_t>(std::strlen(text)), load,
                       nullptr);
      boot::bind_global(code);
      interpreter::do_block(code, false);
      const cell block = *stack::last_pushed();
      for (bool compact : {true, false}) {
        seeds.push_back(stream_of(block, compact));
        for (uint32_t i = 0; i < buffer_of(block.payload2)->count(); ++i)
          seeds.push_back(stream_of(buffer_of(block.payload2)->cells()[i], compact));
      }
    }))
      std::fprintf(stderr, "seed failed (%d): %s\n", int(last_fired.id), text);
  }
  return seeds;
}

// Decodes from an exactly sized copy in codec mode. What it accepts and can mold (a date of
// month 0 cannot) must be written in the input's layout and read back to the same text.
void run_tavbin(const bytes& input) {
  bytes exact(input);
  exact.shrink_to_fit();
  cell values;
  block::make_at(values, 1);
  collector::scoped_root rooted(&values);
  if (guarded([&] { tavbin::decode(exact.data(), exact.size(), values, true); })) return;
  const bool compact = (exact[7] & tavbin::flag::compact) != 0;
  bytes again;
  cell first = none::value, second = none::value;
  collector::scoped_root first_rooted(&first), second_rooted(&second);
  if (guarded([&] {
    again = stream_of(values, compact);
    cell* slot = stack::top;
    mold_block(values);
    first = *slot;
  }))
    return;
  cell back;
  block::make_at(back, 1);
  collector::scoped_root back_rooted(&back);
  const bool failed = guarded([&] {
    tavbin::decode(again.data(), again.size(), back, true);
    cell* slot = stack::top;
    mold_block(buffer_of(back.payload2)->cells()[0]);
    second = *slot;
  });
  if (failed || actions::compare(&first, &second, actions::op::strict_equal) != 1) {
    std::fprintf(stderr, "a decoded stream did not come back through the writer\n");
    std::abort();
  }
}

// A 16x16 picture with every kind of transparency, in each of the five containers.
std::vector<bytes> image_seeds() {
  std::vector<uint32_t> pixels(256);
  for (uint32_t i = 0; i < 256; ++i) pixels[i] = (i * 37 & 0xFF) << 24 | (i % 16 * 16) << 16 | (i / 16 * 16) << 8 | i;
  std::vector<bytes> seeds;
  for (int32_t f = image_codecs::bmp; f <= image_codecs::tiff; ++f) {
    image_codecs::output out;
    if (image_codecs::encode(static_cast<image_codecs::format>(f), pixels.data(), 16, 16, out))
      seeds.emplace_back(out.data, out.data + out.size);
  }
  return seeds;
}

// Bytes decode to an image, none or bad-media; an image must come back whole through PNG.
void run_image(const bytes& input) {
  cell* saved = stack::top;
  cell data = *binary::load(input.data(), input.size());
  stack::top = saved;
  collector::scoped_root data_rooted(&data);
  cell first = none::value, second = none::value;
  collector::scoped_root first_rooted(&first), second_rooted(&second);
  guarded([&] { image_io::load_binary(data, first); });
  if (first.type() != TYPE_IMAGE) return;
  const bool failed = guarded([&] {
    image_io::encode(first, data, image_codecs::png);
    image_io::load_binary(data, second);
  });
  if (failed || second.type() != TYPE_IMAGE || image::count_of(first) != image::count_of(second) ||
      std::memcmp(image::pixels_of(first), image::pixels_of(second), size_t{image::count_of(first)} * 4) != 0) {
    std::fprintf(stderr, "a decoded image did not come back through PNG\n");
    std::abort();
  }
}

int run(void*) {
  boot::init_runtime();
  keep_current_input();
  bool loader = options.target == "loader", records = options.target == "tavbin", images = options.target == "image";
  std::vector<bytes> seeds = loader    ? std::vector<bytes>{}
                             : records ? tavbin_source_seeds()
                             : images  ? image_seeds()
                                       : decompress_seeds();
  if (loader)
    for (const char* text : loader_seeds) seeds.push_back(text_bytes(text));
  std::vector<bytes> extra = read_folders();
  seeds.insert(seeds.end(), extra.begin(), extra.end());
  mutator random(options.seed);
  for (uint64_t i = 0; i < options.count; ++i) {
    bytes input = i < seeds.size() ? seeds[i] : random.mutate(seeds, loader);
    if (input.size() > max_input) input.resize(max_input);
    note_input(input);
    if (loader)
      run_loader(input);
    else if (records)
      run_tavbin(input);
    else if (images)
      run_image(input);
    else
      run_decompress(input, random);
  }
  std::printf("%s: %llu inputs run from %zu seeds, none crashed (%llu calls accepted, %llu refused with an error)\n",
              options.target.c_str(), static_cast<unsigned long long>(options.count), seeds.size(),
              static_cast<unsigned long long>(accepted), static_cast<unsigned long long>(refused));
  std::fflush(stdout);
  ::unlink(current_file.c_str());
  return 0;
}

}  // namespace
}  // namespace tav

int main(int argc, char** argv) {
  const std::string_view target = argc > 1 ? argv[1] : "";
  if (argc < 3 || (target != "loader" && target != "decompress" && target != "tavbin" && target != "image")) {
    std::fprintf(stderr, "usage: %s loader|decompress|tavbin|image COUNT [SEED [FOLDER...]]\n", argv[0]);
    return 2;
  }
  tav::options.target = argv[1];
  tav::options.count = std::strtoull(argv[2], nullptr, 10);
  if (argc > 3) tav::options.seed = std::strtoull(argv[3], nullptr, 10);
  for (int i = 4; i < argc; ++i) tav::options.folders.emplace_back(argv[i]);
  return tav::platform::start_up(argc, argv, tav::run, nullptr);
}
