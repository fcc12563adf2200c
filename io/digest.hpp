// Digests and HMAC over MD5, SHA-1, SHA-256, SHA-384 and SHA-512 (libcrypto), the table
// of checksum methods.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tav::digest {

// The checksum methods in the order their words are interned.
enum class method : uint8_t { tcp, md5, sha1, crc32, adler32, sha256, sha384, sha512, hash };
inline constexpr size_t method_count = 9;

const char* method_name(method m);
std::optional<method> method_of(std::string_view name);
// 0 tcp, 1 crc32, 2 md5 .. 6 sha512; -1 for adler32 and hash, which have no id.
int method_id(method m);
// Digest length in bytes of an id; 0 for every id outside 2-6.
uint32_t size(int id);

// The ids that name a digest.
enum class algorithm : uint8_t { md5 = 2, sha1, sha256, sha384, sha512 };
std::optional<algorithm> algorithm_of(int id);

// Room for the longest digest; the first `size` bytes hold it.
struct block {
  uint8_t bytes[64];
  uint32_t size;
};

// A refused or failing libcrypto call raises internal/feature-na: a digest is never
// made of bytes the library did not write.
block compute(const uint8_t* bytes, size_t length, algorithm a);
// A key longer than the algorithm's block (128 bytes for SHA-384 and SHA-512, 64 for
// the others) stands for its own digest.
block hmac(const uint8_t* message, size_t length, const uint8_t* key, size_t key_length, algorithm a);

// A digest, or with a key an HMAC, of data fed in pieces; the same result as `compute` or
// `hmac` of the whole. Refusals raise internal/feature-na as they do.
class hasher {
 public:
  hasher(algorithm a, const uint8_t* key, size_t key_length, bool keyed);
  ~hasher();
  hasher(const hasher&) = delete;
  hasher& operator=(const hasher&) = delete;
  void update(const uint8_t* bytes, size_t length);
  block finish();

 private:
  void release();
  [[noreturn]] void refuse();
  uint32_t size_;
  void* digest_context_ = nullptr;  // EVP_MD_CTX
  void* mac_context_ = nullptr;     // EVP_MAC_CTX
};

}  // namespace tav::digest
