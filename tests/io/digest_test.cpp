// Digests and HMAC against the coreutils and openssl commands, and libcrypto refusals.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "io/digest.hpp"
#include "runtime/errors.hpp"
#include "runtime/platform.hpp"
#include "runtime/throw.hpp"

namespace tav {
namespace {

std::string hex(const uint8_t* bytes, size_t n) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    out += digits[bytes[i] >> 4];
    out += digits[bytes[i] & 15];
  }
  return out;
}

std::string hex(const digest::block& d) { return hex(d.bytes, d.size); }
std::string hex(const std::vector<uint8_t>& bytes) { return hex(bytes.data(), bytes.size()); }

// The first word a command prints.
std::string first_word_of(const std::string& command) {
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return "popen failed";
  std::string out;
  for (int c; (c = std::fgetc(pipe)) != EOF && c != ' ' && c != '\n';) out += static_cast<char>(c);
  pclose(pipe);
  return out;
}

class temp_file {
 public:
  explicit temp_file(const std::vector<uint8_t>& bytes) {
    const char* dir = std::getenv("TMPDIR");
    path_ = std::string(dir ? dir : "/tmp") + "/tav-digest-XXXXXX";
    int fd = mkstemp(path_.data());
    if (fd < 0) return;
    size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    close(fd);
  }
  ~temp_file() { unlink(path_.c_str()); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

std::vector<uint8_t> filler(size_t n) {
  std::vector<uint8_t> data(n);
  uint32_t x = 2463534242u;
  for (auto& b : data) {
    x ^= x << 13, x ^= x >> 17, x ^= x << 5;
    b = static_cast<uint8_t>(x);
  }
  return data;
}

struct algorithm_case {
  digest::algorithm algorithm;
  const char* coreutils;  // the command that prints the same digest
  const char* openssl;    // its name for `openssl dgst`
  size_t block;
};

const algorithm_case algorithms[] = {
    {digest::algorithm::md5, "md5sum", "md5", 64},          {digest::algorithm::sha1, "sha1sum", "sha1", 64},
    {digest::algorithm::sha256, "sha256sum", "sha256", 64}, {digest::algorithm::sha384, "sha384sum", "sha384", 128},
    {digest::algorithm::sha512, "sha512sum", "sha512", 128},
};

TEST(Digest, MethodTable) {
  const char* words[] = {"tcp", "md5", "sha1", "crc32", "adler32", "sha256", "sha384", "sha512", "hash"};
  const int ids[] = {0, 2, 3, 1, -1, 4, 5, 6, -1};
  for (size_t i = 0; i < digest::method_count; ++i) {
    auto m = digest::method_of(words[i]);
    ASSERT_TRUE(m.has_value()) << words[i];
    EXPECT_EQ(static_cast<size_t>(*m), i);
    EXPECT_EQ(digest::method_id(*m), ids[i]) << words[i];
  }
  EXPECT_FALSE(digest::method_of("sha224").has_value());
  EXPECT_FALSE(digest::method_of("MD5").has_value());

  const uint32_t sizes[] = {0, 0, 16, 20, 32, 48, 64, 0};
  for (int id = -1; id <= 7; ++id) {
    EXPECT_EQ(digest::size(id), id >= 0 ? sizes[id] : 0u) << id;
    EXPECT_EQ(digest::algorithm_of(id).has_value(), id >= 2 && id <= 6) << id;
  }
}

TEST(Digest, MatchCoreutilsOnGeneratedData) {
  const size_t lengths[] = {0, 1, 64, 1 << 20};
  for (size_t length : lengths) {
    const std::vector<uint8_t> data = filler(length);
    temp_file file(data);
    for (const algorithm_case& a : algorithms) {
      digest::block d = digest::compute(data.data(), data.size(), a.algorithm);
      EXPECT_EQ(hex(d), first_word_of(std::string(a.coreutils) + " " + file.path()))
          << a.coreutils << " of " << length << " bytes";
    }
  }
}

TEST(Digest, HmacKnownValue) {
  const std::string message = "what do ya want for nothing?";
  const std::string key = "Jefe";
  digest::block d = digest::hmac(reinterpret_cast<const uint8_t*>(message.data()), message.size(),
                                 reinterpret_cast<const uint8_t*>(key.data()), key.size(), digest::algorithm::md5);
  EXPECT_EQ(hex(d), "750c783e6ab0b503eaa86e310a5db738");
}

// Keys around each block size, against `openssl dgst`; an empty key goes through -hmac.
TEST(Digest, HmacMatchesOpenssl) {
  const std::vector<uint8_t> message = filler(1000);
  temp_file file(message);
  for (const algorithm_case& a : algorithms)
    for (size_t key_length : {size_t{0}, size_t{4}, a.block, a.block + 1, size_t{300}}) {
      const std::vector<uint8_t> key = filler(key_length);
      const std::string key_option = key.empty() ? "-hmac ''" : "-mac HMAC -macopt hexkey:" + hex(key);
      const std::string expected =
          first_word_of(std::string("openssl dgst -r -") + a.openssl + " " + key_option + " " + file.path());
      digest::block d = digest::hmac(message.data(), message.size(), key.data(), key.size(), a.algorithm);
      EXPECT_EQ(hex(d), expected) << a.openssl << " key of " << key_length;
    }
}

// A digest or HMAC fed in pieces, uneven ones too, equals the one of the whole.
TEST(Digest, HasherInPiecesMatchesTheWhole) {
  const std::vector<uint8_t> data = filler(100001);
  const std::vector<uint8_t> key = filler(200);
  for (const algorithm_case& a : algorithms)
    for (bool keyed : {false, true}) {
      digest::hasher hasher(a.algorithm, key.data(), key.size(), keyed);
      for (size_t at = 0, piece = 1; at < data.size(); at += piece, piece = piece * 3 + 1)
        hasher.update(data.data() + at, std::min(piece, data.size() - at));
      digest::block whole = keyed ? digest::hmac(data.data(), data.size(), key.data(), key.size(), a.algorithm)
                                  : digest::compute(data.data(), data.size(), a.algorithm);
      EXPECT_EQ(hex(hasher.finish()), hex(whole)) << a.openssl << (keyed ? " hmac" : "");
    }
  digest::hasher empty(digest::algorithm::md5, nullptr, 0, false);
  EXPECT_EQ(hex(empty.finish()), "d41d8cd98f00b204e9800998ecf8427e");
}

// Only a key longer than the block stands for its digest; one of exactly the block size
// is used as it is.
TEST(Digest, LongKeysStandForTheirDigest) {
  const std::vector<uint8_t> message = filler(77);
  for (const algorithm_case& a : algorithms)
    for (size_t key_length : {size_t{65}, a.block, a.block + 1, size_t{1000}}) {
      const std::vector<uint8_t> key = filler(key_length);
      digest::block key_digest = digest::compute(key.data(), key.size(), a.algorithm);
      digest::block with_key = digest::hmac(message.data(), message.size(), key.data(), key.size(), a.algorithm);
      digest::block with_digest =
          digest::hmac(message.data(), message.size(), key_digest.bytes, key_digest.size, a.algorithm);
      EXPECT_EQ(hex(with_key) == hex(with_digest), key_length > a.block) << a.openssl << " key of " << key_length;
    }
}

// A property query no provider satisfies makes libcrypto refuse every algorithm.
TEST(Digest, RefusedAlgorithmRaisesFeatureNotAvailable) {
  ASSERT_EQ(EVP_set_default_properties(nullptr, "provider=no-such-provider"), 1);
  const uint8_t data[] = {1, 2, 3};
  auto raised = [](auto body) {
    clear_fired();
    uint32_t caught = catch_slot(code::error, [&] { body(); return 0u; }, [](uint32_t c) { return c; });
    return caught == code::error && last_fired.id == error_id::internal_feature_na;
  };
  for (const algorithm_case& a : algorithms) {
    EXPECT_TRUE(raised([&] { digest::compute(data, sizeof data, a.algorithm); })) << a.openssl;
    EXPECT_TRUE(raised([&] { digest::hmac(data, sizeof data, data, 2, a.algorithm); })) << a.openssl;
  }
  ASSERT_EQ(EVP_set_default_properties(nullptr, ""), 1);
  EXPECT_EQ(digest::compute(data, sizeof data, digest::algorithm::sha1).size, 20u);
  EXPECT_EQ(error_info(error_id::internal_feature_na).word, std::string("feature-na"));
}

TEST(Digest, RandomBytesFillTheWholeBuffer) {
  // A large request may be served in parts; a lost part would stay zero.
  std::vector<uint8_t> buffer(1 << 20, 0);
  platform::random_bytes(buffer.data(), buffer.size());
  size_t zeros = 0;
  for (uint8_t b : buffer) zeros += b == 0;
  EXPECT_LT(zeros, 4096u + 1024u);  // about 1 in 256 by chance
  EXPECT_GT(zeros, 4096u - 1024u);
}

}  // namespace
}  // namespace tav
