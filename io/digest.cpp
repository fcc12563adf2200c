// Digests and HMAC over MD5, SHA-1, SHA-256, SHA-384 and SHA-512 (libcrypto), the table
// of checksum methods, and digests fed in pieces.
#include "io/digest.hpp"

#include <openssl/core_names.h>
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

hasher::hasher(algorithm a, const uint8_t* key, size_t key_length, bool keyed) : size_(entry(a).size) {
  const char* name = entry(a).library_name;
  if (!keyed) {
    auto* context = EVP_MD_CTX_new();
    digest_context_ = context;
    if (!context || EVP_DigestInit_ex2(context, EVP_get_digestbyname(name), nullptr) != 1) refuse();
    return;
  }
  EVP_MAC* mac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
  auto* context = mac ? EVP_MAC_CTX_new(mac) : nullptr;
  EVP_MAC_free(mac);
  mac_context_ = context;
  OSSL_PARAM parameters[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, const_cast<char*>(name), 0),
                             OSSL_PARAM_construct_end()};
  if (!context || EVP_MAC_init(context, non_null(key), key_length, parameters) != 1) refuse();
}

hasher::~hasher() { release(); }

void hasher::release() {
  EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(digest_context_));
  EVP_MAC_CTX_free(static_cast<EVP_MAC_CTX*>(mac_context_));
  digest_context_ = mac_context_ = nullptr;
}

// A constructor that raises never runs its destructor: the contexts go first.
void hasher::refuse() {
  release();
  fire(error_id::internal_feature_na);
}

void hasher::update(const uint8_t* bytes, size_t length) {
  int done = digest_context_ ? EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(digest_context_), non_null(bytes), length)
                             : EVP_MAC_update(static_cast<EVP_MAC_CTX*>(mac_context_), non_null(bytes), length);
  if (done != 1) fire(error_id::internal_feature_na);
}

block hasher::finish() {
  block result{};
  size_t written = 0;
  if (digest_context_) {
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(static_cast<EVP_MD_CTX*>(digest_context_), result.bytes, &length) != 1)
      fire(error_id::internal_feature_na);
    written = length;
  } else if (EVP_MAC_final(static_cast<EVP_MAC_CTX*>(mac_context_), result.bytes, &written, sizeof result.bytes) != 1) {
    fire(error_id::internal_feature_na);
  }
  if (written != size_) fire(error_id::internal_feature_na);
  result.size = size_;
  return result;
}

}  // namespace tav::digest
