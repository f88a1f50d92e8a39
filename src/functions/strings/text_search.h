// Finding a run of units inside a text in time proportional to the two lengths.
//
// The search is the two-way method: the pattern is split once at a critical point, its right
// part is compared first and a mismatch moves the window by what the comparison has proved, so
// that no unit of the text is looked at more than a few times, however repetitive text and
// pattern are (a plain left-to-right comparison at every position turns quadratic on texts
// like "aaaa...ab"). A glance at the window's last unit first skips windows that cannot match.
// The same plan serves backward searches by reading pattern and text from their ends.
#ifndef KEL_FUNCTIONS_STRINGS_TEXT_SEARCH_H
#define KEL_FUNCTIONS_STRINGS_TEXT_SEARCH_H

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace kel {

constexpr std::size_t kNotFound = SIZE_MAX;

template <typename Unit>
class UnitSearch {
 public:
  enum class Direction { Forward, Backward };

  // `pattern` (at least one unit) must outlive the search.
  UnitSearch(const Unit* pattern, std::size_t length, Direction direction = Direction::Forward)
      : pattern_(pattern), length_(length), direction_(direction) {
    if (direction == Direction::Forward)
      Prepare(Forward{pattern, 0});
    else
      Prepare(Reversed{pattern, length});
  }

  std::size_t Length() const { return length_; }

  // The offset of the first occurrence (forward) or of the last one (backward) that starts at or
  // after `from` and ends at or before `limit`; kNotFound when there is none. Its loop is the
  // whole cost of a search, so it starts on a cache line, wherever the linker puts the rest.
  [[gnu::aligned(64)]] std::size_t Find(const Unit* text, std::size_t from,
                                        std::size_t limit) const {
    if (limit < from || limit - from < length_) return kNotFound;
    if (direction_ == Direction::Forward) {
      std::size_t found = Search(Forward{pattern_, 0}, Forward{text, from}, limit - from);
      return found == kNotFound ? kNotFound : from + found;
    }
    std::size_t found = Search(Reversed{pattern_, length_}, Reversed{text, limit}, limit - from);
    return found == kNotFound ? kNotFound : limit - found - length_;
  }

 private:
  using Value = std::make_unsigned_t<Unit>;

  // Unit i counted from the start of a text at `base`, or from the end of one that ends at `end`.
  struct Forward {
    const Unit* text;
    std::size_t base;
    Value operator()(std::size_t i) const { return static_cast<Value>(text[base + i]); }
  };
  struct Reversed {
    const Unit* text;
    std::size_t end;
    Value operator()(std::size_t i) const { return static_cast<Value>(text[end - 1 - i]); }
  };

  static unsigned Bucket(Value unit) { return static_cast<unsigned>(unit) & 0xFF; }

  // The larger of the maximal suffixes under the two orders gives the critical factorisation.
  template <typename Pattern>
  void MaximalSuffix(const Pattern& n, bool greater, std::size_t& suffix,
                     std::size_t& period) const {
    std::size_t ip = SIZE_MAX, jp = 0, k = 1, p = 1;
    while (jp + k < length_) {
      Value a = n(ip + k), b = n(jp + k);
      if (a == b) {
        if (k == p) {
          jp += p;
          k = 1;
        } else {
          ++k;
        }
      } else if (greater ? a > b : a < b) {
        jp += k;
        k = 1;
        p = jp - ip;
      } else {
        ip = jp++;
        k = p = 1;
      }
    }
    suffix = ip;
    period = p;
  }

  template <typename Pattern>
  void Prepare(const Pattern& n) {
    for (std::size_t i = 0; i < length_; ++i) {
      unsigned bucket = Bucket(n(i));
      present_[bucket / 32] |= 1u << (bucket % 32);
      // The last position of the bucket wins: the skip stays safe when units share a bucket.
      shift_[bucket] = i + 1;
    }
    std::size_t suffix, period, otherSuffix, otherPeriod;
    MaximalSuffix(n, true, suffix, period);
    MaximalSuffix(n, false, otherSuffix, otherPeriod);
    if (otherSuffix + 1 > suffix + 1) {
      suffix = otherSuffix;
      period = otherPeriod;
    }
    critical_ = suffix;
    bool periodic = true;
    for (std::size_t i = 0; i < suffix + 1; ++i)
      if (n(i) != n(i + period)) {
        periodic = false;
        break;
      }
    if (periodic) {
      period_ = period;
      memory0_ = length_ - period;
    } else {
      period_ = (suffix > length_ - suffix - 1 ? suffix : length_ - suffix - 1) + 1;
      memory0_ = 0;
    }
  }

  template <typename Pattern, typename Text>
  std::size_t Search(const Pattern& n, const Text& h, std::size_t textLength) const {
    const std::size_t l = length_, ms = critical_;
    std::size_t at = 0, memory = 0;
    while (textLength - at >= l) {
      Value last = h(at + l - 1);
      unsigned bucket = Bucket(last);
      if ((present_[bucket / 32] & (1u << (bucket % 32))) == 0) {
        at += l;
        memory = 0;
        continue;
      }
      std::size_t k = l - shift_[bucket];
      if (k != 0) {
        at += k < memory ? memory : k;
        memory = 0;
        continue;
      }
      // Right part first, from the critical point on.
      for (k = (ms + 1 > memory ? ms + 1 : memory); k < l && n(k) == h(at + k); ++k) {
      }
      if (k < l) {
        at += k - ms;
        memory = 0;
        continue;
      }
      // Then the left part, leftwards, down to what the previous window already proved.
      for (k = ms + 1; k > memory && n(k - 1) == h(at + k - 1); --k) {
      }
      if (k <= memory) return at;
      at += period_;
      memory = memory0_;
    }
    return kNotFound;
  }

  const Unit* pattern_;
  std::size_t length_;
  Direction direction_;
  std::size_t critical_ = 0;
  std::size_t period_ = 1;
  std::size_t memory0_ = 0;
  std::uint32_t present_[8] = {};
  std::size_t shift_[256] = {};
};

}  // namespace kel

#endif  // KEL_FUNCTIONS_STRINGS_TEXT_SEARCH_H
