#include "workshop/clip_preparation.h"

#include <algorithm>

#include "workshop/clip_edits.h"
#include "workshop/loudness.h"

namespace pelorin {
namespace {

// Frames read at a time where a whole input is scanned.
constexpr int64_t kScanBlock = 65536;
// The engine holds a clip's 16-bit samples in fewer than 2^31 bytes.
constexpr int64_t kMaxFrames = INT32_MAX / 2;

PreparedClip Refused(std::string error, bool usage) {
  PreparedClip clip;
  clip.error = std::move(error);
  clip.usageError = usage;
  return clip;
}

std::string Seconds(int64_t frames, int32_t rate) {
  return NumberText(double(frames) / rate, frames < 10 * int64_t{rate} ? 2 : 1);
}

}  // namespace

PreparedClip PrepareClip(MonoInput& input, const ClipChoices& choices, int64_t capMs) {
  const int32_t rate = input.Rate();
  if (rate <= 0) return Refused("no sampling rate", false);

  // The sound's bounds, by one pass over the input that keeps a block at a time.
  int64_t begin = 0;
  int64_t end = input.Frames();
  if (choices.trimDbfs) {
    SoundSpanScan scan(*choices.trimDbfs);
    std::vector<float> block;
    for (int64_t at = 0; at < end; at += kScanBlock) {
      block.clear();
      const int64_t got = input.Read(at, std::min(kScanBlock, end - at), block);
      scan.Add(block);
      if (got < std::min(kScanBlock, end - at)) break;
    }
    const std::optional<SoundSpanScan::Span> sound = scan.Result();
    if (!sound) {
      return Refused("nothing in it is louder than " + NumberText(*choices.trimDbfs, 1, true) +
                         " dBFS; there is no sound to keep",
                     false);
    }
    begin = sound->first;
    end = sound->end;
  }

  // The selection, in frames of the input.
  const int64_t start = choices.start ? choices.start->Frames(rate) : 0;
  if (begin + start >= end) {
    return Refused("--start " + ClockText(start, rate) + " is past the end (" +
                       ClockText(end - begin, rate) + ")",
                   true);
  }
  const int64_t from = begin + start;
  int64_t to = end;
  if (choices.length) to = std::min(end, from + choices.length->Frames(rate));
  if (choices.end) to = std::min(end, begin + choices.end->Frames(rate));
  if (to <= from) return Refused("--end must come after --start", true);

  // A file that keeps a limited play time ends with a fade where the cap cuts the part.
  bool capped = false;
  if (capMs > 0) {
    const int64_t capFrames = capMs * rate / 1000;
    if (to - from > capFrames) {
      to = from + capFrames;
      capped = true;
    }
  }
  if (to - from > kMaxFrames) {
    return Refused("the part is too long to hold: " + Seconds(to - from, rate) + " s at " +
                       std::to_string(rate) + " Hz",
                   false);
  }

  PreparedClip clip;
  clip.sampleRate = rate;
  std::vector<float> part;
  part.reserve(static_cast<size_t>(to - from));
  const int64_t got = input.Read(from, to - from, part);
  if (got < to - from) {
    if (input.Damaged()) {
      clip.notes.push_back("the file does not decode after " + ClockText(from + got, rate) +
                           "; what decodes before it is converted");
    }
    to = from + got;
  }
  if (got == 0) return Refused("no sound decodes in the part chosen", false);
  if (capped) {
    clip.notes.push_back(Seconds(input.Frames(), rate) + " s; the file holds " +
                         ClockText(from, rate) + "\u2013" + ClockText(to, rate) +
                         " (use --start/--length to choose the part)");
  }
  clip.done.push_back(ClockText(from, rate) + "\u2013" + ClockText(to, rate));

  std::string loudness;
  if (choices.normalizeLufs) {
    const std::optional<Loudness> measured = MeasureLoudness(part, rate);
    if (!measured)
      return Refused("its loudness cannot be measured at " + std::to_string(rate) + " Hz", false);
    const std::optional<NormalizingGain> gain =
        GainToTarget(*measured, *choices.normalizeLufs, kTruePeakCeilingDbtp);
    if (!gain) {
      loudness = "silent, not normalized";
      clip.notes.push_back("the part is silent: no gain applied");
    } else {
      ApplyGain(part, gain->db);
      const double reached = *measured->integrated + gain->db;
      loudness = NumberText(reached, 1, true) + " LUFS";
      if (gain->capped)
        loudness += ", true peak " + NumberText(kTruePeakCeilingDbtp, 1, true) + " dBTP";
    }
  }

  const int64_t fadeIn = choices.fadeIn ? choices.fadeIn->Frames(rate) : 0;
  const int64_t fadeOut = choices.fadeOut ? choices.fadeOut->Frames(rate)
                          : capped        ? kCapFadeMs * rate / 1000
                                          : 0;
  const auto size = static_cast<int64_t>(part.size());
  ApplyFades(part, fadeIn, fadeOut);
  if (fadeIn > 0) clip.done.push_back("fade-in " + Seconds(std::min(fadeIn, size), rate) + " s");
  if (fadeOut > 0) clip.done.push_back("fade-out " + Seconds(std::min(fadeOut, size), rate) + " s");
  if (!loudness.empty()) clip.done.push_back(loudness);

  clip.samples = RoundTo16Bits(part);
  return clip;
}

}  // namespace pelorin
