// rng.h: the campaign's own random numbers (xoshiro256**, seeded through
// splitmix64), so that a seed gives the same cases on every platform and
// with every standard library.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace campaign {

inline uint64_t SplitMix(uint64_t& state) {
  uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

class Rng {
 public:
  explicit Rng(uint64_t seed) {
    uint64_t s = seed;
    for (uint64_t& word : s_) word = SplitMix(s);
  }
  // The generator of one case: the same for a seed and a case number
  // whichever cases ran before it.
  static Rng ForCase(uint64_t seed, uint64_t caseNumber) {
    uint64_t s = seed;
    uint64_t mixed = SplitMix(s) ^ (caseNumber * 0xD1B54A32D192ED03ull);
    return Rng(mixed);
  }

  // A stream of its own for one step of a case, from this stream's state and
  // the step's tag, this stream left as it is: the draws one step makes
  // never shift the choices of another.
  Rng Child(uint64_t tag) const {
    uint64_t s = s_[0] ^ Rotl(s_[2], 17) ^ (tag * 0xD1B54A32D192ED03ull);
    return Rng(SplitMix(s));
  }

  uint64_t Next() {
    const uint64_t result = Rotl(s_[1] * 5, 7) * 9;
    const uint64_t t = s_[1] << 17;
    s_[2] ^= s_[0];
    s_[3] ^= s_[1];
    s_[1] ^= s_[2];
    s_[0] ^= s_[3];
    s_[2] ^= t;
    s_[3] = Rotl(s_[3], 45);
    return result;
  }
  // 0 .. n-1 (n > 0), without the bias of a plain modulo.
  uint64_t Below(uint64_t n) {
    if (n <= 1) return 0;
    const uint64_t limit = UINT64_MAX - UINT64_MAX % n;
    uint64_t x;
    do x = Next();
    while (x >= limit);
    return x % n;
  }
  int Int(int lo, int hi) { return lo + static_cast<int>(Below(static_cast<uint64_t>(hi - lo) + 1)); }
  size_t Size(size_t lo, size_t hi) { return lo + static_cast<size_t>(Below(hi - lo + 1)); }
  // True in percent cases out of a hundred.
  bool Chance(int percent) { return static_cast<int>(Below(100)) < percent; }
  template <typename T>
  const T& Pick(const std::vector<T>& items) {
    return items[static_cast<size_t>(Below(items.size()))];
  }
  template <typename T, size_t N>
  const T& Pick(const T (&items)[N]) {
    return items[static_cast<size_t>(Below(N))];
  }

 private:
  static uint64_t Rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
  uint64_t s_[4];
};

}  // namespace campaign
