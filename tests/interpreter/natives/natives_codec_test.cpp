// The codec natives called from code: transcode's refinements reaching the lexer, checksums,
// compression and the base encodings, with their argument errors.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "interpreter/codec_fixture.hpp"
#include "io/checksum.hpp"
#include "io/digest.hpp"

namespace tav {
namespace {

using Codec = testing::codec_evaluation;

TEST_F(Codec, TranscodeRefinementsReachTheLexer) {
  struct row {
    const char* code;
    const char* molded;
  };
  const row rows[] = {
      {R"(transcode "1 [2] x")", "[1 [2] x]"},
      {R"(transcode/next "1 2")", R"([1 " 2"])"},
      {R"(transcode/one "7 8")", "7"},
      {R"(transcode/scan "abc")", "word!"},
      {R"(transcode/scan "")", "none"},
      {R"(transcode/scan "[1 2")", "error!"},
      {R"(transcode/prescan "12 x")", "integer!"},
      {R"(transcode/next/scan "12 x")", R"([integer! " x"])"},
      {R"(transcode/part "12 34" 2)", "[12]"},
      {R"(transcode/into "3 4" [1 2])", "[1 2 3 4]"},
      {R"(transcode/part/into "3 4" 1 [9])", "[9 3]"},
      {R"(transcode #{EFBBBF31})", "[1]"},
  };
  for (const row& r : rows) EXPECT_EQ(run_mold(r.code), r.molded) << r.code;
}

TEST_F(Codec, TranscodeErrors) {
  EXPECT_EQ(run_error(R"(transcode "1.5x2")"), error_id::syntax_invalid);
  EXPECT_EQ(run_error(R"(transcode/part "1 2" #{00})"), error_id::script_not_same_type);
  EXPECT_EQ(run_error("transcode 12"), error_id::script_expect_arg);
}

TEST_F(Codec, ChecksumsDigestsAndHmacs) {
  struct row {
    const char* code;
    const char* molded;
  };
  const row rows[] = {
      {R"(checksum "123456789" 'crc32)", "-873187034"},
      {R"(checksum "abc" 'adler32)", "38600999"},  // 024D0127h
      {R"(checksum #{0001F203F4F5F6F7} 'tcp)", "8717"},  // 220Dh
      {R"(checksum "" 'crc32)", "0"},
      {R"(checksum "abc" 'md5)", "#{900150983CD24FB0D6963F7D28E17F72}"},
      {R"(checksum "abc" 'sha1)", "#{A9993E364706816ABA3E25717850C26C9CD0D89D}"},
      {R"(checksum/with "what do ya want for nothing?" 'md5 "Jefe")", "#{750C783E6AB0B503EAA86E310A5DB738}"},
      {R"(checksum/with "what do ya want for nothing?" 'md5 #{4A656665})", "#{750C783E6AB0B503EAA86E310A5DB738}"},
      // the string is hashed as UTF-8 from its head
      {R"(checksum next "xabc" 'md5)", "#{900150983CD24FB0D6963F7D28E17F72}"},
  };
  for (const row& r : rows) EXPECT_EQ(run_mold(r.code), r.molded) << r.code;
  EXPECT_EQ(run_mold(R"(length? checksum "abc" 'sha512)"), "64");
}

TEST_F(Codec, ChecksumErrors) {
  struct row {
    const char* code;
    error_id error;
  };
  const row rows[] = {
      {R"(checksum "abc" 'sha3)", error_id::script_invalid_arg},
      {R"(checksum/with "abc" 'crc32 "key")", error_id::script_invalid_refine_arg},
      {R"(checksum/with "abc" 'adler32 1)", error_id::script_invalid_refine_arg},
      {R"(checksum "abc" 'hash)", error_id::script_invalid_refine_arg},
      {R"(checksum/with "abc" 'hash "key")", error_id::script_invalid_refine_arg},
      {R"(checksum/with "abc" 'md5 1.5)", error_id::script_invalid_arg},
      {R"(checksum %no-such-file-here.bin 'md5)", error_id::access_cannot_open},
      {R"(checksum/with "abc" 'hash 16)", error_id::internal_not_done},
  };
  for (const row& r : rows) EXPECT_EQ(run_error(r.code), r.error) << r.code;
}

// A folder of files the checksum tests read, removed with everything in it.
class checksum_files {
 public:
  checksum_files() {
    const char* tmp = std::getenv("TMPDIR");
    root_ = std::string(tmp ? tmp : "/tmp") + "/tav-checksum-XXXXXX";
    if (!::mkdtemp(root_.data())) root_.clear();
  }
  ~checksum_files() { std::filesystem::remove_all(root_); }
  std::string put(const char* name, const std::vector<uint8_t>& bytes) const {
    std::string path = root_ + "/" + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                 static_cast<std::streamsize>(bytes.size()));
    return path;
  }
  const std::string& root() const { return root_; }

 private:
  std::string root_;
};

std::vector<uint8_t> filler(size_t n) {
  std::vector<uint8_t> data(n);
  uint32_t x = 88172645u;
  for (auto& b : data) {
    x ^= x << 13, x ^= x >> 17, x ^= x << 5;
    b = static_cast<uint8_t>(x);
  }
  return data;
}

std::string binary_mold(const digest::block& d) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out = "#{";
  for (uint32_t i = 0; i < d.size; ++i) out += {digits[d.bytes[i] >> 4], digits[d.bytes[i] & 15]};
  return out + "}";
}

// A file is read in pieces, a length that is no multiple of them and odd, with the same sums
// as the whole in memory.
TEST_F(Codec, ChecksumOfAFileMatchesItsBytes) {
  checksum_files files;
  ASSERT_FALSE(files.root().empty());
  for (size_t length : {size_t{0}, size_t{5}, size_t{3 * 65536 + 7}}) {
    const std::vector<uint8_t> data = filler(length);
    const std::string file = "%" + files.put("data.bin", data);
    const uint8_t* p = data.data();
    const std::string key = "k";
    auto key_bytes = reinterpret_cast<const uint8_t*>(key.data());
    struct row {
      std::string code;
      std::string molded;
    };
    const row rows[] = {
        {"checksum " + file + " 'crc32", std::to_string(static_cast<int32_t>(digest::crc32(p, length)))},
        {"checksum " + file + " 'adler32", std::to_string(static_cast<int32_t>(digest::adler32(p, length)))},
        {"checksum " + file + " 'tcp", std::to_string(digest::tcp_checksum(p, length))},
        {"checksum " + file + " 'md5", binary_mold(digest::compute(p, length, digest::algorithm::md5))},
        {"checksum " + file + " 'sha512", binary_mold(digest::compute(p, length, digest::algorithm::sha512))},
        {"checksum/with " + file + " 'sha256 \"k\"",
         binary_mold(digest::hmac(p, length, key_bytes, key.size(), digest::algorithm::sha256))},
    };
    // Compared in the language: a long binary molds over several lines.
    for (const row& r : rows)
      EXPECT_EQ(run_mold(("(" + r.code + ") = " + r.molded).c_str()), "true") << r.code << " of " << length << " bytes";
  }
}

// Only regular files are read: a device or a pipe could be endless or never open, and a name
// holding NUL would reach the system as a shorter name.
TEST_F(Codec, ChecksumRefusesWhatIsNoRegularFile) {
  checksum_files files;
  ASSERT_FALSE(files.root().empty());
  files.put("a", filler(10));
  const std::string fifo = files.root() + "/fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string codes[] = {
      "checksum %/dev/zero 'md5",
      "checksum %" + files.root() + " 'crc32",
      "checksum %" + fifo + " 'crc32",
      "checksum to file! \"" + files.root() + "/a^@/etc/passwd\" 'md5",
      "checksum to file! \"" + files.root() + "/a^@\" 'crc32",
  };
  for (const std::string& code : codes) EXPECT_EQ(run_error(code.c_str()), error_id::access_cannot_open) << code;
  EXPECT_EQ(run_mold(("checksum %" + files.root() + "/a 'crc32").c_str()),
            std::to_string(static_cast<int32_t>(digest::crc32(filler(10).data(), 10))));
}

TEST_F(Codec, CompressAndDecompress) {
  struct row {
    const char* code;
    const char* molded;
  };
  const row rows[] = {
      {R"(compress "" 'gzip)", "#{1F8B080000000000040403000000000000000000}"},
      {R"(compress "aaaaaa" 'deflate)", "#{4B4C4C040200}"},
      {R"(decompress #{1F8B08080000000002FF612E74787400CBC80400AC2A93D802000000} 'gzip)", "#{6869}"},
      {R"~(decompress compress "x^(e9)" 'gzip 'gzip)~", "#{78C3A9}"},
      {R"(decompress compress #{00FF00FF} 'zlib 'zlib)", "#{00FF00FF}"},
      {R"(decompress/size compress "abcabcabc" 'deflate 'deflate 2)", "#{616263616263616263}"},
  };
  for (const row& r : rows) EXPECT_EQ(run_mold(r.code), r.molded) << r.code;
  EXPECT_EQ(run_error("decompress #{07} 'deflate"), error_id::script_invalid_data);
  EXPECT_EQ(run_error(R"(compress "a" 'lzma)"), error_id::script_invalid_arg);
  EXPECT_EQ(run_error(R"(decompress #{00} 'zip)"), error_id::script_invalid_arg);
}

TEST_F(Codec, BaseEncodings) {
  struct row {
    const char* code;
    const char* molded;
  };
  const row rows[] = {
      {R"(enbase "abc")", R"("YWJj")"},
      {R"(enbase "ab")", R"("YWI=")"},
      {R"(enbase #{})", R"("")"},
      {R"(enbase/base "abc" 16)", R"("616263")"},
      {R"(enbase/base #{00} 2)", R"("00000000")"},
      {R"(enbase/base #{000001} 58)", R"("112")"},
      {R"(enbase next #{FF616263})", R"("YWJj")"},
      {R"(debase "YWJj")", "#{616263}"},
      {R"(debase/base "61 62 63" 16)", "#{616263}"},
      {R"(debase/base "0000000111111111" 2)", "#{01FF}"},
      {R"(debase/base "112" 58)", "#{000001}"},
      {R"(debase "YQ*")", "none"},
      {R"(debase/base "xyz" 16)", "none"},
      {R"(debase next "*YWJj")", "#{616263}"},
  };
  for (const row& r : rows) EXPECT_EQ(run_mold(r.code), r.molded) << r.code;
  EXPECT_EQ(run_error(R"(enbase/base "abc" 10)"), error_id::script_invalid_arg);
  EXPECT_EQ(run_error(R"(debase/base "abc" 32)"), error_id::script_invalid_arg);
  EXPECT_EQ(run_error("debase #{00}"), error_id::script_expect_arg);
}

TEST_F(Codec, PercentEncodings) {
  struct row {
    const char* code;
    const char* molded;
  };
  const row rows[] = {
      {R"(dehex "a%20b")", R"("a b")"},
      {R"(dehex "%C3%A9%2")", R"("é%2")"},
      {R"(dehex next "x%41")", R"("A")"},
      {R"(enhex "a b/c")", R"("a%20b%2Fc")"},
      {R"(enhex %"a/b c")", R"("a/b%20c")"},  // other texts keep the URL class
      {R"(enhex "é")", R"("%C3%A9")"},
  };
  for (const row& r : rows) EXPECT_EQ(run_mold(r.code), r.molded) << r.code;
  EXPECT_EQ(run_error("dehex 12"), error_id::script_expect_arg);
}

}  // namespace
}  // namespace tav
