// Argument reduction by pi/2 with the binary digits of 2/pi, so that the sine of 1e22 is the
// sine of 1e22 and not of whatever a short copy of pi leaves of it.
#include "functions/math/half_pi_reduction.h"

#include <bit>
#include <cstdint>

namespace kel::math {
namespace {

// The fraction 2/pi in 32-bit words, most significant first: word j holds the bits of weight
// 2^-(32j+1) .. 2^-(32j+32). Forty words reach far enough for the largest double.
constexpr std::uint32_t kTwoOverPi[] = {
    0xA2F9836E, 0x4E441529, 0xFC2757D1, 0xF534DDC0, 0xDB629599, 0x3C439041, 0xFE5163AB, 0xDEBBC561,
    0xB7246E3A, 0x424DD2E0, 0x06492EEA, 0x09D1921C, 0xFE1DEB1C, 0xB129A73E, 0xE88235F5, 0x2EBB4484,
    0xE99C7026, 0xB45F7E41, 0x3991D639, 0x835339F4, 0x9C845F8B, 0xBDF9283B, 0x1FF897FF, 0xDE05980F,
    0xEF2F118B, 0x5A0A6D1F, 0x6D367ECF, 0x27CB09B7, 0x4F463F66, 0x9E5FEA2D, 0x7527BAC7, 0xEBE5F17B,
    0x3D0739F7, 0x8A5292EA, 0x6BFB5FB1, 0x1F8D5D08, 0x56033046, 0xFC7B6BAB, 0xF0CFBC20, 0x9AF4361D};
constexpr int kTwoOverPiWords = sizeof kTwoOverPi / sizeof kTwoOverPi[0];

// The words of 2/pi multiplied with the argument's significand: 8 words leave more than 220
// bits below the binary point, of which the 192 read below are all exact but for the last few.
constexpr int kWindowWords = 8;
constexpr int kProductLimbs = kWindowWords + 2;
constexpr int kFractionLimbs = 6;

constexpr DoubleDouble kHalfPi{0x1.921fb54442d18p+0, 0x1.1a62633145c07p-54};
constexpr double kQuarterPi = 0x1.921fb54442d18p-1;

// Bits [position, position + 32) of a little-endian limb array (zero beyond its ends).
std::uint32_t Bits32(const std::uint32_t* limbs, int count, int position) {
  auto limb = [&](int index) -> std::uint64_t {
    return index >= 0 && index < count ? limbs[index] : 0;
  };
  int index = position >> 5;
  int shift = position & 31;
  std::uint64_t pair = limb(index) | (limb(index + 1) << 32);
  return static_cast<std::uint32_t>(pair >> shift);
}

}  // namespace

int ReduceHalfPi(double x, DoubleDouble& remainder) {
  double magnitude = x < 0.0 ? -x : x;
  if (magnitude <= kQuarterPi) {
    remainder = Exact(x);
    return 0;
  }
  // magnitude = significand * 2^exponent with a 53-bit integer significand (it is normal).
  std::uint64_t bits = std::bit_cast<std::uint64_t>(magnitude);
  std::uint64_t significand = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
  int exponent = static_cast<int>(bits >> 52) - 1075;

  // Word j contributes significand * word * 2^(exponent - 32(j+1)), a multiple of 4 (a whole
  // number of turns) while that power is at least 4: those words are skipped.
  int first = 0;
  while (exponent - 32 * (first + 1) >= 2 && first + kWindowWords < kTwoOverPiWords)
    ++first;

  // product = significand * (the window of words as one integer), little-endian limbs.
  std::uint32_t product[kProductLimbs] = {};
  std::uint32_t factor[2] = {static_cast<std::uint32_t>(significand),
                             static_cast<std::uint32_t>(significand >> 32)};
  for (int w = 0; w < kWindowWords; ++w) {
    std::uint64_t word = kTwoOverPi[first + kWindowWords - 1 - w];
    std::uint64_t carry = 0;
    for (int f = 0; f < 2; ++f) {
      std::uint64_t sum = product[w + f] + word * factor[f] + carry;
      product[w + f] = static_cast<std::uint32_t>(sum);
      carry = sum >> 32;
    }
    for (int k = w + 2; carry != 0 && k < kProductLimbs; ++k) {
      std::uint64_t sum = product[k] + carry;
      product[k] = static_cast<std::uint32_t>(sum);
      carry = sum >> 32;
    }
  }
  // x * 2/pi = product * 2^-point; the two bits above the point count quarter turns.
  int point = 32 * (first + kWindowWords) - exponent;
  int quadrant = static_cast<int>(Bits32(product, kProductLimbs, point) & 3);
  std::uint32_t fraction[kFractionLimbs];  // most significant first
  for (int k = 0; k < kFractionLimbs; ++k)
    fraction[k] = Bits32(product, kProductLimbs, point - 32 * (k + 1));

  // A fraction of a half or more is taken from the next quadrant instead: 1 - fraction.
  bool negative = (fraction[0] & 0x80000000u) != 0;
  if (negative) {
    quadrant = (quadrant + 1) & 3;
    std::uint64_t borrow = 0;
    for (int k = kFractionLimbs - 1; k >= 0; --k) {
      std::uint64_t difference = 0 - static_cast<std::uint64_t>(fraction[k]) - borrow;
      fraction[k] = static_cast<std::uint32_t>(difference);
      borrow = (difference >> 32) != 0 ? 1 : 0;
    }
  }
  DoubleDouble turns = Exact(0.0);
  for (int k = kFractionLimbs - 1; k >= 0; --k)
    turns = Add(turns, Exact(static_cast<double>(fraction[k]) * PowerOfTwo(-32 * (k + 1))));
  remainder = Multiply(turns, kHalfPi);
  if (negative) remainder = Negate(remainder);
  if (x < 0.0) {
    remainder = Negate(remainder);
    quadrant = (4 - quadrant) & 3;
  }
  return quadrant;
}

}  // namespace kel::math
