// The random generator behind every `random` action, and its secure variant.
// The state words and constants are those of MT19937, but seeding does not twist and
// every right shift is arithmetic, so its sequences are its own. The signed arithmetic
// runs on unsigned words (wrap-around is defined there) and shifts through a cast.
#include "runtime/random.hpp"

#include <array>

#include "runtime/hash_seed.hpp"
#include "runtime/platform.hpp"

namespace tav::rng {
namespace {

constexpr int state_words = 624;
constexpr int shift_distance = 397;

struct generator {
  std::array<uint32_t, state_words> state;
  int index;
};

constexpr uint32_t shift_right(uint32_t x, int n) {
  return static_cast<uint32_t>(static_cast<int32_t>(x) >> n);
}

constexpr generator seeded(int32_t s) {
  generator g{};
  g.state[0] = static_cast<uint32_t>(s);
  for (int i = 1; i < state_words; ++i) {
    uint32_t previous = g.state[i - 1];
    g.state[i] = static_cast<uint32_t>(i) + 1812433253u * (previous ^ shift_right(previous, 30));
  }
  g.index = 0;
  return g;
}

// Usable before `init`: an unseeded run starts from the same state either way.
constinit generator current = seeded(start_seed);

uint32_t twisted(uint32_t word, uint32_t next_word, uint32_t far_word) {
  uint32_t y = (word & 0x80000000u) | (next_word & 0x7FFFFFFFu);
  return far_word ^ shift_right(y, 1) ^ ((y & 1) ? 0x9908B0DFu : 0u);
}

[[gnu::noinline]] void twist() {
  auto& s = current.state;
  for (int k = 0; k < state_words - 1; ++k)
    s[k] = twisted(s[k], s[k + 1], s[(k + shift_distance) % state_words]);
  s[state_words - 1] = twisted(s[state_words - 1], s[0], s[shift_distance - 1]);
  current.index = 0;
}

int32_t draw(bool secure) { return secure ? secure_next() : next(); }

}  // namespace

void init() {
  seed(start_seed);
  hashtable::murmur_seed = string_hash_seed;
}

void seed(int32_t s) { current = seeded(s); }

int32_t next() {
  if (current.index == state_words) [[unlikely]]
    twist();
  uint32_t y = current.state[current.index++];
  y ^= shift_right(y, 11);
  y ^= (y << 7) & 0x9D2C5680u;
  y ^= (y << 15) & 0xEFC60000u;
  y ^= shift_right(y, 18);  // clears the sign bit
  return static_cast<int32_t>(y);
}

int32_t secure_next() {
  uint8_t bytes[4];
  platform::random_bytes(bytes, sizeof bytes);
  uint32_t word = uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
                  uint32_t{bytes[3]} << 24;
  return static_cast<int32_t>(word & 0x7FFFFFFFu);
}

int32_t random_int(bool secure, int32_t n) {
  if (n == 0) return 0;
  if (n == INT32_MIN) return -1 - draw(secure);
  if (n < 0) return -random_int(secure, -n);
  // Draws at or above the largest multiple of n are redrawn, so every result is as likely.
  int32_t limit = (INT32_MAX / n) * n;
  int32_t d;
  do d = draw(secure);
  while (d >= limit);
  return d % n + 1;
}

}  // namespace tav::rng
