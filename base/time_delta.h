#ifndef BASE_TIME_DELTA_H_
#define BASE_TIME_DELTA_H_

#include <cstdint>
#include <limits>

namespace base {

// A signed time interval in microseconds.
class TimeDelta {
 public:
  constexpr TimeDelta() = default;

  static constexpr TimeDelta FromMicroseconds(int64_t us) { return TimeDelta(us); }
  // Saturates instead of overflowing for delays beyond about 290,000 years.
  static constexpr TimeDelta FromMilliseconds(int64_t ms) {
    return ms > kMaxMs    ? TimeDelta(std::numeric_limits<int64_t>::max())
           : ms < -kMaxMs ? TimeDelta(std::numeric_limits<int64_t>::min())
                          : TimeDelta(ms * 1000);
  }

  constexpr int64_t InMicroseconds() const { return us_; }
  // Whole milliseconds, rounding a positive remainder up: 1 us is 1 ms, 0 stays
  // 0. Zero and negative intervals come out as 0 or below.
  constexpr int64_t InMillisecondsRoundedUp() const {
    return us_ > std::numeric_limits<int64_t>::max() - 999 ? us_ / 1000 + 1 : (us_ + 999) / 1000;
  }

  constexpr bool operator==(TimeDelta other) const { return us_ == other.us_; }
  constexpr bool operator!=(TimeDelta other) const { return us_ != other.us_; }

 private:
  static constexpr int64_t kMaxMs = std::numeric_limits<int64_t>::max() / 1000;
  explicit constexpr TimeDelta(int64_t us) : us_(us) {}

  int64_t us_ = 0;
};

}  // namespace base

#endif  // BASE_TIME_DELTA_H_
