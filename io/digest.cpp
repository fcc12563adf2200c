// Digests and HMAC over MD5, SHA-1, SHA-256, SHA-384 and SHA-512 (libcrypto), the table
// of checksum methods, and the platform's secure random bytes.
#include "io/digest.hpp"

#include <openssl/evp.h>


#include "runtime/errors.hpp"

namespace tav::digest {
namespace {

struct method_entry {
  const char* name;
  int id;
};

constexpr method_entry methods[method_count] = {
    {"tcp", 0},    {"md5", 2},    {"sha1", 3},    {"crc32", 1}, {"adler32", -1},
    {"sha256", 4}, {"sha384", 5}, {"sha512", 6}, {"hash", -1},
};

struct algorithm_entry {
  const char* library_name;
  uint32_t size;
};

// Indexed by id - 2.
constexpr algorithm_entry algorithms[] = {
    {"MD5", 16}, {"SHA1", 20}, {"SHA256", 32}, {"SHA384", 48}, {"SHA512", 64},
};

const algorithm_entry& entry(algorithm a) { return algorithms[static_cast<int>(a) - 2]; }

// libcrypto may take a null pointer for an empty input as "no input given".
const uint8_t* non_null(const uint8_t* bytes) {
  static const uint8_t nothing = 0;
  return bytes ? bytes : &nothing;
}

}  // namespace

const char* method_name(method m) { return methods[static_cast<size_t>(m)].name; }

std::optional<method> method_of(std::string_view name) {
  for (size_t i = 0; i < method_count; ++i)
    if (name == methods[i].name) return static_cast<method>(i);
  return std::nullopt;
}

int method_id(method m) { return methods[static_cast<size_t>(m)].id; }

uint32_t size(int id) { return algorithm_of(id) ? entry(static_cast<algorithm>(id)).size : 0; }

std::optional<algorithm> algorithm_of(int id) {
  if (id < 2 || id > 6) return std::nullopt;
  return static_cast<algorithm>(id);
}

block compute(const uint8_t* bytes, size_t length, algorithm a) {
  const algorithm_entry& e = entry(a);
  block result{};
  size_t written = 0;
  if (EVP_Q_digest(nullptr, e.library_name, nullptr, non_null(bytes), length, result.bytes, &written) != 1 ||
      written != e.size)
    fire(error_id::internal_feature_na);
  result.size = e.size;
  return result;
}

block hmac(const uint8_t* message, size_t length, const uint8_t* key, size_t key_length, algorithm a) {
  const algorithm_entry& e = entry(a);
  block result{};
  size_t written = 0;
  if (!EVP_Q_mac(nullptr, "HMAC", nullptr, e.library_name, nullptr, non_null(key), key_length,
                 non_null(message), length, result.bytes, sizeof result.bytes, &written) ||
      written != e.size)
    fire(error_id::internal_feature_na);
  result.size = e.size;
  return result;
}

}  // namespace tav::digest
