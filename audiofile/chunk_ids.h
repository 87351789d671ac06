#pragma once

namespace pelorin {

// The chunk and form ids of the audio files the program reads and writes.
inline constexpr char kRiffId[] = "RIFF";
inline constexpr char kWaveForm[] = "WAVE";
inline constexpr char kFmtId[] = "fmt ";
inline constexpr char kWavDataId[] = "data";
inline constexpr char kFormId[] = "FORM";
inline constexpr char kAiffForm[] = "AIFF";
inline constexpr char kCommId[] = "COMM";
inline constexpr char kSsndId[] = "SSND";

}  // namespace pelorin
