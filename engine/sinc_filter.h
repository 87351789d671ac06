#pragma once

#include <cstdint>

namespace pelorin {

// sin(x) / x, and exactly 1 near 0.
double Sinc(double x);

// Blackman window over -0.5..0.5: 1 at 0, 0 at both ends.
double BlackmanWindow(double x);

// The resampling filter's response at t input samples from the output instant, for a cut-off
// of fc cycles per input sample and a filter of taps samples. Every operation is done in the
// order written here, so that a coefficient comes out the same wherever it is computed.
double ImpulseResponse(double t, double fc, int32_t taps);

// ImpulseResponse in its two parts: the sinc factor, the same bit for bit at t and -t (sin is
// odd, and negating t negates every rounded product exactly), and the response made from it.
// WindowedResponse(SincFactor(t, fc), t, fc, taps) is ImpulseResponse(t, fc, taps).
double SincFactor(double t, double fc);
double WindowedResponse(double sinc, double t, double fc, int32_t taps);

}  // namespace pelorin
