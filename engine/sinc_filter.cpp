#include "engine/sinc_filter.h"

#include <cmath>
#include <numbers>

namespace pelorin {

double Sinc(double x) {
  if (x > -1e-10 && x < 1e-10) return 1.0;
  return std::sin(x) / x;
}

double BlackmanWindow(double x) {
  constexpr double kTwoPi = 2.0 * std::numbers::pi;
  constexpr double kFourPi = 4.0 * std::numbers::pi;
  const double e = x + 0.5;
  return 0.42 - 0.5 * std::cos(kTwoPi * e) + 0.08 * std::cos(kFourPi * e);
}

double ImpulseResponse(double t, double fc, int32_t taps) {
  constexpr double kTwoPi = 2.0 * std::numbers::pi;
  const double sinc = Sinc(t * fc * kTwoPi);
  const double window = BlackmanWindow(t / double(taps));
  return sinc * window * fc * 2.0;
}

}  // namespace pelorin
