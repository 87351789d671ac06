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

double SincFactor(double t, double fc) {
  constexpr double kTwoPi = 2.0 * std::numbers::pi;
  return Sinc(t * fc * kTwoPi);
}

double WindowedResponse(double sinc, double t, double fc, int32_t taps) {
  const double window = BlackmanWindow(t / double(taps));
  return sinc * window * fc * 2.0;
}

double ImpulseResponse(double t, double fc, int32_t taps) {
  return WindowedResponse(SincFactor(t, fc), t, fc, taps);
}

}  // namespace pelorin
