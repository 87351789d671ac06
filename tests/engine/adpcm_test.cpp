#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "engine/adpcm_decoder.h"
#include "engine/adpcm_encoder.h"
#include "engine/adpcm_search_encoder.h"
#include "engine/audio_engine.h"
#include "kivra/kivra_reader.h"
#include "support/image_builder.h"

namespace pelorin {
namespace {

using Bytes = std::vector<uint8_t>;
using Samples = std::vector<int16_t>;

template <class Encoder = AdpcmEncoder>
Bytes EncodeFromReset(const Samples& samples) {
  Encoder encoder;
  encoder.Reset();
  Bytes out((samples.size() + 1) / 2, 0xAA);
  encoder.Encode(samples.data(), out.data(), int32_t(samples.size()));
  return out;
}

// The predictor and step after each sample, encoding one sample per call.
void RunOneByOne(const Samples& samples, Samples* predictors, std::vector<int32_t>* steps) {
  AdpcmEncoder encoder;
  encoder.Reset();
  for (int16_t s : samples) {
    uint8_t byte = 0;
    encoder.Encode(&s, &byte, 1);
    predictors->push_back(int16_t(encoder.predictor));
    if (steps) steps->push_back(encoder.step);
  }
}

Samples Decode(const Bytes& codes, int32_t count) {
  AdpcmDecoder decoder;
  decoder.Reset();
  Samples out(static_cast<size_t>(count));
  decoder.Decode(codes.data(), out.data(), count);
  return out;
}

// Speech-like mixture: chirp, noise, full-scale jumps, silence and clipping runs.
Samples VariedSignal() {
  Samples s;
  uint32_t seed = 12345;
  for (int i = 0; i < 40000; ++i) {
    seed = seed * 1664525u + 1013904223u;
    const double t = i / 8000.0;
    double v = 12000 * std::sin(2 * std::numbers::pi * (100 + 1500 * t) * t);
    v += double(int32_t(seed >> 16) - 32768) / 8;  // noise
    if (i % 5000 < 300) v = (i % 2) ? 32767 : -32768;
    if (i % 7000 > 6500) v = 0;
    s.push_back(int16_t(std::clamp(v, -32768.0, 32767.0)));
  }
  return s;
}

// One sample by the plain steps: quantised by successive comparison, the difference
// rebuilt from separately truncated terms.
uint8_t PlainEncodeSample(int32_t x, int32_t& predictor, int32_t& step) {
  const int32_t d = x - predictor;
  const int32_t a = std::abs(d);
  const int32_t q = step / 4;
  int32_t m = 0;
  for (int32_t t = q; a >= t && m < 7; t += q) ++m;
  int32_t e = step / 8;
  if (m & 1) e += q;
  if (m & 2) e += step / 2;
  if (m & 4) e += step;
  if (d < 0) e = -e;
  predictor = std::clamp(predictor + e, -32768, 32767);
  constexpr int32_t kScale[8] = {230, 230, 230, 230, 307, 409, 512, 614};
  step = std::clamp((step * kScale[m]) >> 8, 127, 24576);
  return uint8_t((d < 0 ? 8 : 0) | m);
}

TEST(AdpcmEncoder, MatchesThePlainStepsAtEveryThreshold) {
  // Every step size, differences on, just below and just above each multiple of the quarter
  // step, in both directions and near both ends of the predictor's range.
  for (int32_t predictor : {0, 30000, -30000}) {
    for (int32_t step = 127; step <= 24576; ++step) {
      const int32_t q = step / 4;
      for (int32_t k = 0; k <= 8; ++k) {
        for (int32_t delta : {-1, 0, 1}) {
          for (int32_t sign : {1, -1}) {
            const auto x = int16_t(std::clamp(predictor + sign * (k * q + delta), -32768, 32767));
            int32_t plainPredictor = predictor, plainStep = step;
            const uint8_t code = PlainEncodeSample(x, plainPredictor, plainStep);
            AdpcmEncoder encoder;
            encoder.predictor = predictor;
            encoder.step = step;
            uint8_t byte = 0xEE;
            encoder.Encode(&x, &byte, 1);
            ASSERT_EQ(byte, code) << "predictor " << predictor << " step " << step << " x " << x;
            ASSERT_EQ(encoder.predictor, plainPredictor) << step << " " << x;
            ASSERT_EQ(encoder.step, plainStep) << step << " " << x;
          }
        }
      }
    }
  }
}

TEST(AdpcmEncoder, MatchesThePlainStepsOnALongSignal) {
  Samples signal = VariedSignal();
  signal.pop_back();  // an odd count: the last byte's high nibble stays 0
  int32_t predictor = 0, step = 127;
  Bytes expected((signal.size() + 1) / 2, 0);
  for (size_t i = 0; i < signal.size(); ++i) {
    const uint8_t code = PlainEncodeSample(signal[i], predictor, step);
    expected[i / 2] |= uint8_t(i % 2 ? code << 4 : code);
  }
  AdpcmEncoder encoder;
  encoder.Reset();
  Bytes out(expected.size(), 0xAA);
  encoder.Encode(signal.data(), out.data(), int32_t(signal.size()));
  EXPECT_EQ(out, expected);
  EXPECT_EQ(encoder.predictor, predictor);
  EXPECT_EQ(encoder.step, step);
}

TEST(AdpcmEncoder, KnownSequencesFromReset) {
  struct Case {
    const char* what;
    Samples samples;
    Bytes bytes;
    Samples predictors;
    std::vector<int32_t> steps;  // empty: not checked
  };
  const Case cases[] = {
      {"zeros alternate codes 0 and 8",
       Samples(8, 0),
       Bytes(4, 0x80),
       {15, 0, 15, 0, 15, 0, 15, 0},
       std::vector<int32_t>(8, 127)},
      {"full-scale positive",
       Samples(6, 32767),
       {0x77, 0x77, 0x77},
       {236, 806, 2172, 5449, 13309, 32159},
       {304, 729, 1748, 4192, 10054, 24113}},
      {"full-scale negative, odd count", Samples(3, -32768), {0xFF, 0x0F}, {-236, -806, -2172}, {}},
      {"rising ramp", {1000, 2000, 3000}, {0x77, 0x07}, {236, 806, 2172}, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EncodeFromReset(c.samples), c.bytes) << c.what;
    Samples predictors;
    std::vector<int32_t> steps;
    RunOneByOne(c.samples, &predictors, &steps);
    EXPECT_EQ(predictors, c.predictors) << c.what;
    if (!c.steps.empty()) {
      EXPECT_EQ(steps, c.steps) << c.what;
    }
  }
}

TEST(AdpcmEncoder, CountOfZeroOrLessTouchesNothing) {
  for (int32_t count : {0, -1}) {
    AdpcmEncoder encoder;
    encoder.predictor = 1234;
    encoder.step = 555;
    const int16_t sample = 9999;
    uint8_t out = 0x5A;
    encoder.Encode(&sample, &out, count);
    EXPECT_EQ(out, 0x5A);
    EXPECT_EQ(encoder.predictor, 1234);
    EXPECT_EQ(encoder.step, 555);
  }
}

TEST(AdpcmEncoder, SecondCallContinuesStateButRestartsAtLowNibble) {
  const Samples samples = {500, -700, 3000, 3100, -32768, 12};
  const Bytes whole = EncodeFromReset(samples);

  AdpcmEncoder encoder;
  encoder.Reset();
  Bytes first(2, 0), second(2, 0);
  encoder.Encode(samples.data(), first.data(), 3);
  encoder.Encode(samples.data() + 3, second.data(), 3);
  // Codes 0..2 then 3..5, each call's first code in a low nibble.
  auto code = [](const Bytes& b, int i) { return (i % 2 ? b[i / 2] >> 4 : b[i / 2] & 15); };
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(code(first, i), code(whole, i)) << i;
    EXPECT_EQ(code(second, i), code(whole, i + 3)) << i;
  }
  EXPECT_EQ(first[1] >> 4, 0);
  EXPECT_EQ(second[1] >> 4, 0);
}

TEST(AdpcmDecoder, ReproducesTheEncodersPredictorExactly) {
  const Samples signal = VariedSignal();
  const auto count = int32_t(signal.size());
  Samples predictors;
  RunOneByOne(signal, &predictors, nullptr);
  const Bytes codes = EncodeFromReset(signal);
  EXPECT_EQ(Decode(codes, count), predictors);

  // Split at an odd position: the second call starts reading at its own first low nibble,
  // as the encoder wrote it.
  AdpcmEncoder encoder;
  encoder.Reset();
  Bytes a(500), b((signal.size() - 999 + 1) / 2);
  encoder.Encode(signal.data(), a.data(), 999);
  encoder.Encode(signal.data() + 999, b.data(), count - 999);
  AdpcmDecoder decoder;
  decoder.Reset();
  Samples decoded(signal.size());
  decoder.Decode(a.data(), decoded.data(), 999);
  decoder.Decode(b.data(), decoded.data() + 999, count - 999);
  EXPECT_EQ(decoded, predictors);
  EXPECT_EQ(decoder.predictor, encoder.predictor);
  EXPECT_EQ(decoder.step, encoder.step);
}

TEST(AdpcmDecoder, ArbitraryCodesStayInRange) {
  // Largest positive codes drive the predictor and step into their clamps.
  AdpcmDecoder decoder;
  decoder.Reset();
  const Bytes sevens(10, 0x77);
  Samples out(20);
  decoder.Decode(sevens.data(), out.data(), 20);
  EXPECT_EQ(out.back(), 32767);
  EXPECT_EQ(decoder.step, 24576);
  const Bytes minusSevens(10, 0xFF);
  decoder.Decode(minusSevens.data(), out.data(), 20);
  EXPECT_EQ(out.back(), -32768);
  // Smallest magnitudes bring the step down to its floor.
  const Bytes zeros(40, 0x00);
  Samples more(80);
  decoder.Decode(zeros.data(), more.data(), 80);
  EXPECT_EQ(decoder.step, 127);
}

TEST(AdpcmCodec, SineRoundTripQuality) {
  const int rate = 8000;
  Samples sine(rate);
  for (int i = 0; i < rate; ++i)
    sine[i] = int16_t(std::lround(16000 * std::sin(2 * std::numbers::pi * 440 * i / rate)));
  const Samples decoded = Decode(EncodeFromReset(sine), rate);
  double signal = 0, noise = 0;
  for (int i = 0; i < rate; ++i) {
    signal += double(sine[i]) * sine[i];
    noise += double(sine[i] - decoded[i]) * (sine[i] - decoded[i]);
  }
  // Measured: 28.74 dB.
  EXPECT_GT(10 * std::log10(signal / noise), 27.0);
}

double SnrDb(const Samples& input, const Samples& decoded) {
  double signal = 0, noise = 0;
  for (size_t i = 0; i < input.size(); ++i) {
    signal += double(input[i]) * input[i];
    noise += (double(input[i]) - decoded[i]) * (double(input[i]) - decoded[i]);
  }
  return 10 * std::log10(signal / noise);
}

Samples Generate(int count, auto sample) {
  Samples s(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i)
    s[size_t(i)] = int16_t(std::clamp(double(sample(i)), -32768.0, 32767.0));
  return s;
}

// The search's codes decode, with the decoder, to a closer copy than the standard encoder's,
// and the state the search ends in is the one the decoder reaches: its own reconstruction is
// the decoder's. The clips include full-scale square waves, where the largest squared errors
// and the step's clamps are met.
TEST(AdpcmSearchEncoder, DecodesCloserThanTheStandardEncoder) {
  constexpr double kPi = std::numbers::pi;
  uint32_t seed = 99;
  struct Clip {
    const char* what;
    Samples samples;
  };
  const Clip clips[] = {
      {"sine", Generate(8000, [&](int i) { return 16000 * std::sin(2 * kPi * 440 * i / 8000); })},
      {"noise", Generate(8000,
                         [&](int) {
                           seed = seed * 1664525u + 1013904223u;
                           return double(int32_t(seed >> 16) - 32768) / 4;
                         })},
      {"plucked", Generate(8000,
                           [&](int i) {
                             const double t = std::fmod(i / 8000.0, 0.5);
                             return 20000 * std::exp(-6 * t) * std::sin(2 * kPi * 220 * t);
                           })},
      {"square, 8 samples a half",
       Generate(8000, [](int i) { return (i / 8) % 2 ? 32767 : -32768; })},
      {"square, 50 samples a half",
       Generate(8000, [](int i) { return (i / 50) % 2 ? 32767 : -32768; })},
  };
  for (const Clip& clip : clips) {
    SCOPED_TRACE(clip.what);
    const auto count = int32_t(clip.samples.size());
    AdpcmSearchEncoder encoder;
    encoder.Reset();
    Bytes codes((clip.samples.size() + 1) / 2);
    encoder.Encode(clip.samples.data(), codes.data(), count);
    AdpcmDecoder decoder;
    decoder.Reset();
    Samples decoded(clip.samples.size());
    decoder.Decode(codes.data(), decoded.data(), count);
    EXPECT_EQ(decoder.predictor, encoder.predictor);
    EXPECT_EQ(decoder.step, encoder.step);
    // Measured gains: 1.2 to 6.4 dB.
    EXPECT_GT(SnrDb(clip.samples, decoded),
              SnrDb(clip.samples, Decode(EncodeFromReset(clip.samples), count)) + 0.5);
  }
}

// Calls of any length write exactly their own bytes, the odd last one with a clear high
// nibble, and carry the state on; both kernels give the same codes.
TEST(AdpcmSearchEncoder, PacksAsTheStandardEncoderAndKernelsAgree) {
  const Samples signal = VariedSignal();
  using Kernel = AdpcmSearchEncoder::Kernel;
  std::vector<Kernel> kernels = {Kernel::kPortable};
  if (AdpcmSearchEncoder::KernelAvailable(Kernel::kAvx2)) kernels.push_back(Kernel::kAvx2);
  Bytes first;
  for (Kernel kernel : kernels) {
    AdpcmSearchEncoder encoder;
    encoder.Reset();
    encoder.kernel = kernel;
    Bytes all;
    size_t done = 0;
    for (int32_t count : {1, 2, 15, 16, 17, 33, 0, -1, 4000, 30001}) {
      SCOPED_TRACE(count);
      const size_t written = size_t(std::max(count, 0) + 1) / 2;
      Bytes out(written + 2, 0xAA);
      AdpcmDecoder decoder;
      decoder.predictor = encoder.predictor;
      decoder.step = encoder.step;
      encoder.Encode(signal.data() + done, out.data(), count);
      EXPECT_EQ(out[written], 0xAA);
      EXPECT_EQ(out[written + 1], 0xAA);
      if (count % 2 == 1) {
        EXPECT_EQ(out[written - 1] >> 4, 0);
      }
      // Decoded from the state before the call, the codes end in the state after it.
      Samples decoded(size_t(std::max(count, 0)));
      decoder.Decode(out.data(), decoded.data(), count);
      EXPECT_EQ(decoder.predictor, encoder.predictor);
      EXPECT_EQ(decoder.step, encoder.step);
      all.insert(all.end(), out.begin(), out.begin() + ptrdiff_t(written));
      done += size_t(std::max(count, 0));
    }
    if (kernel == Kernel::kPortable) {
      first = all;
    } else {
      EXPECT_EQ(all, first) << "AVX2";
    }
  }
}

// Silence after a loud start settles to the smallest steps, as the standard encoder's does.
TEST(AdpcmSearchEncoder, LongSilenceDecodesNearZero) {
  uint32_t seed = 5;
  Samples signal = Generate(1000, [&](int) {
    seed = seed * 1664525u + 1013904223u;
    return double(int16_t(seed >> 16));
  });
  signal.resize(60000, 0);
  const Samples decoded =
      Decode(EncodeFromReset<AdpcmSearchEncoder>(signal), int32_t(signal.size()));
  for (size_t i = 20000; i < signal.size(); ++i) ASSERT_LE(std::abs(decoded[i]), 15) << i;
}

// Through the engine the search encodes each channel on its own and packs the codes as the
// standard encoder does, into a file of the same size: mono two codes a byte, stereo the left
// code in the low nibble. The channels differ, so a nibble in the wrong place would show.
TEST(AdpcmSearchEncoder, EncodeKivraPacksMonoAndStereo) {
  constexpr double kPi = std::numbers::pi;
  constexpr int kFrames = 8001;
  for (int channels : {1, 2}) {
    SCOPED_TRACE(channels);
    Samples interleaved;
    for (int i = 0; i < kFrames; ++i) {
      interleaved.push_back(int16_t(12000 * std::sin(2 * kPi * 440 * i / 8000)));
      if (channels == 2) interleaved.push_back(int16_t(9000 * std::sin(2 * kPi * 97 * i / 8000)));
    }
    const Bytes image = test::WavImage(channels, 8000, 16, test::Pcm16LE(interleaved));
    Bytes files[2];
    double snr[2][2] = {};
    for (int high = 0; high < 2; ++high) {
      AudioEngine engine;
      ASSERT_EQ(engine.Load(0, image.data(), int32_t(image.size())), kOk);
      const auto quality = high ? AdpcmQuality::kHigh : AdpcmQuality::kStandard;
      ASSERT_GT(engine.EncodeKivra(0, 0, nullptr, files[high], quality), 0);
      const KivraReport report = ReadKivra(files[high]);
      ASSERT_TRUE(report.Sound());
      const Samples decoded = DecodeAdpcm(
          std::span(files[high]).subspan(*report.adpcmOffset, report.adpcmLength), channels);
      for (int c = 0; c < channels; ++c) {
        Samples in, out;
        for (int i = 0; i < kFrames; ++i) {
          in.push_back(interleaved[size_t(i * channels + c)]);
          out.push_back(decoded[size_t(i * channels + c)]);
        }
        snr[high][c] = SnrDb(in, out);
      }
    }
    EXPECT_EQ(files[1].size(), files[0].size());
    for (int c = 0; c < channels; ++c) EXPECT_GT(snr[1][c], snr[0][c] + 0.5) << "channel " << c;
    AudioEngine engine;
    ASSERT_EQ(engine.Load(0, image.data(), int32_t(image.size())), kOk);
    Bytes out{1, 2, 3};
    EXPECT_EQ(engine.EncodeKivra(0, 0, nullptr, out, static_cast<AdpcmQuality>(2)), kBadArgument);
    EXPECT_EQ(out, (Bytes{1, 2, 3}));
  }
}

// A file that declares more frames than it holds gives, with the search too, the file of the
// same clip with its silence held: the encoder's calls begin at the same places either way.
// (Cut at 5010 frames, the mono clip once gave other codes.)
TEST(AdpcmSearchEncoder, DeclaredSilenceGivesTheFileOfHeldSilence) {
  constexpr uint32_t kFrames = 20000;
  for (int heldFrames : {5001, 5010, 5034}) {
    Bytes sound;
    uint32_t seed = 7;
    for (int i = 0; i < 2 * heldFrames; ++i) {
      seed = seed * 1664525u + 1013904223u;
      test::PutU16BE(sound, uint16_t(seed >> 16));
    }
    Bytes whole = sound;
    whole.resize(size_t{kFrames} * 4, 0);
    for (int mono = 0; mono < 2; ++mono) {
      SCOPED_TRACE(testing::Message() << heldFrames << (mono ? " mono" : " stereo"));
      Bytes files[2];
      for (int cut = 0; cut < 2; ++cut) {
        const Bytes& data = cut ? sound : whole;
        Bytes form;
        test::PutTag(form, "AIFF");
        test::Append(form,
                     test::ChunkBE("COMM", test::CommBody(2, kFrames, 16, test::Extended80(8000))));
        test::Append(form, test::ChunkBE("SSND", test::SsndBody(data), 8 + int64_t{kFrames} * 4));
        const Bytes image = test::ChunkBE(
            "FORM", form, int64_t(form.size()) - int64_t(data.size()) + int64_t{kFrames} * 4);
        AudioEngine engine;
        ASSERT_EQ(engine.Load(1, image.data(), int32_t(image.size())), kOk);
        if (mono) {
          ASSERT_EQ(engine.MixDown(0), kOk);
        }
        ASSERT_GT(engine.EncodeKivra(1, 0, nullptr, files[cut], AdpcmQuality::kHigh), 0);
      }
      EXPECT_EQ(files[0], files[1]);
    }
  }
}

}  // namespace
}  // namespace pelorin
