// Interchange with zlib and the gzip program in both directions, over sizes from empty to
// 1 MB of text and of bytes without structure.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "io/gzip.hpp"
#include "io/zlib.hpp"
#include "tests/io/codec_helpers.hpp"

namespace tav::test {
namespace {

struct sample {
  std::string name;
  bytes_t data;
};

const std::vector<sample>& samples() {
  static std::vector<sample> out;
  if (!out.empty()) return out;
  for (size_t size : {size_t(0), size_t(1), size_t(257), size_t(32768), size_t(1) << 20}) {
    out.push_back({"text " + std::to_string(size), text_sample(size, uint32_t(size + 7))});
    out.push_back({"noise " + std::to_string(size), noise_sample(size, uint32_t(size + 7))});
  }
  return out;
}

bytes_t ours(codec_fn codec, const bytes_t& input, size_t framing) {
  run_result r = run(codec, input, deflate::compress_bound(input.size()) + framing);
  EXPECT_EQ(r.status, codec_status::ok);
  r.output.resize(r.length);
  return r.output;
}

TEST(Interop, ZlibDecodesOurStreams) {
  for (const sample& s : samples()) {
    EXPECT_EQ(zlib_inflate(ours(deflate::compress, s.data, 0), -15), s.data) << s.name;
    EXPECT_EQ(zlib_inflate(ours(zlib::compress, s.data, 6), 15), s.data) << s.name;
    EXPECT_EQ(zlib_inflate(ours(gzip::compress, s.data, 18), 31), s.data) << s.name;
  }
}

// One run with the exact output size: counting runs are tested on their own.
std::optional<bytes_t> decode(codec_fn codec, const bytes_t& input, size_t size) {
  run_result r = run(codec, input, size);
  if (r.status != codec_status::ok || r.length != size) return std::nullopt;
  return r.output;
}

unsigned first_block_type(const bytes_t& raw) { return (raw[0] >> 1) & 3; }

TEST(Interop, WeDecodeZlibStreams) {
  for (const sample& s : samples()) {
    for (int level : {0, 1, 6, 9}) {
      EXPECT_EQ(decode(zlib::decompress, zlib_deflate(s.data, level, 15), s.data.size()), s.data) << s.name << " level " << level;
    }
    EXPECT_EQ(decode(gzip::decompress, zlib_deflate(s.data, 6, 31), s.data.size()), s.data) << s.name;
    for (int strategy : {Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED}) {
      EXPECT_EQ(decode(inflate_codec, zlib_deflate(s.data, 9, -15, strategy), s.data.size()), s.data)
          << s.name << " strategy " << strategy;
    }
  }
  // The streams above cover every block type.
  bytes_t text = text_sample(32768);
  EXPECT_EQ(first_block_type(zlib_deflate(text, 0, -15)), 0u);
  EXPECT_EQ(first_block_type(zlib_deflate(text, 9, -15, Z_FIXED)), 1u);
  EXPECT_EQ(first_block_type(zlib_deflate(text, 9, -15)), 2u);
}

struct temp_file {
  std::string path;
  explicit temp_file(const char* tag) : path("/tmp/tav-gzip-" + std::to_string(getpid()) + "-" + tag) {}
  ~temp_file() { std::remove(path.c_str()); }
  void write(const bytes_t& data) const { std::ofstream(path, std::ios::binary).write((const char*)data.data(), data.size()); }
  bytes_t read() const {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    bytes_t data(size_t(in.tellg()));
    in.seekg(0).read((char*)data.data(), std::streamsize(data.size()));
    return data;
  }
};

// Runs `command` with the file names in place of %1 and %2; true when it succeeded.
bool shell(std::string command, const temp_file& one, const temp_file& two) {
  for (auto at = command.find("%1"); at != std::string::npos; at = command.find("%1")) command.replace(at, 2, one.path);
  for (auto at = command.find("%2"); at != std::string::npos; at = command.find("%2")) command.replace(at, 2, two.path);
  return std::system(command.c_str()) == 0;
}

TEST(Interop, GzipProgramInBothDirections) {
  temp_file plain("plain"), packed("packed");
  for (const sample& s : samples()) {
    packed.write(ours(gzip::compress, s.data, 18));
    ASSERT_TRUE(shell("gzip -dc < %1 > %2", packed, plain)) << s.name;
    EXPECT_EQ(plain.read(), s.data) << s.name;

    plain.write(s.data);
    for (const char* command : {"gzip -c %1 > %2", "gzip -9n < %1 > %2"}) {
      ASSERT_TRUE(shell(command, plain, packed)) << command;
      EXPECT_EQ(decode(gzip::decompress, packed.read(), s.data.size()), s.data) << s.name << ": " << command;
    }
  }
  // Files made by appending one gzip output to another hold several members.
  plain.write(text_sample(5000, 3));
  ASSERT_TRUE(shell("gzip -c %1 > %2 && gzip -c %1 >> %2", plain, packed));
  bytes_t once = text_sample(5000, 3), twice = once;
  twice.insert(twice.end(), once.begin(), once.end());
  EXPECT_EQ(decode_all(gzip::decompress, packed.read()), twice);
}

}  // namespace
}  // namespace tav::test
