#include "pipeline/conversion.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <vector>

#include "kivra/content_info.h"
#include "pipeline/file_system.h"
#include "pipeline/source_probe.h"

namespace pelorin {
namespace {

constexpr int32_t kTaps = 256;
// Variant 0 files keep at most 66.04 s of sound. Of a longer clip only this much is
// converted: the kept part plus more than the filter reaches beyond it, and still long
// enough that the file's play time is capped exactly as for the whole clip.
constexpr int32_t kKeptSecondsOfLongClips = 67;
// Room for everything in a file besides its ADPCM bytes (tags with every character escaped).
constexpr int64_t kHeaderRoom = 64 * 1024;

// The file's own value behind a refusal, so users see what was rejected.
std::string RefusalDetail(int32_t code, const SourceFormat& file) {
  switch (code) {
    case kBadRate:
      return std::to_string(file.sampleRate) + " Hz";
    case kBadBits:
      return std::to_string(file.bitsPerSample) + " bits";
    case kBadChannels:
      return std::to_string(file.channels) + " channels";
    case kTooShort:
      return std::to_string(file.frameCount) + " frames at " + std::to_string(file.sampleRate) +
             " Hz";
    default:
      return "";
  }
}

void CopyText(char (&field)[ContentInfo::kTextSize], const std::string& text) {
  const size_t n = std::min(text.size(), size_t{ContentInfo::kTextSize - 1});
  std::memcpy(field, text.data(), n);
}

}  // namespace

ConversionOutcome Conversion::Open(const std::string& path) {
  ConversionOutcome outcome;
  path_ = path;
  const std::optional<InputKind> kind = InputKindFromName(path);
  if (!kind) {
    outcome.messageId = kStrBadExtension;
    return outcome;
  }
  // The image lives only while it loads: the engine keeps its own samples.
  const std::optional<std::vector<uint8_t>> image = ReadWholeFile(path);
  if (!image) {
    outcome.messageId = kStrCannotOpen;
    return outcome;
  }
  const auto length = static_cast<int32_t>(image->size());
  fileFormat_ = ProbeSourceFormat(*kind, image->data(), length);
  outcome.code = engine_.Load(*kind == InputKind::kAiff ? 1 : 0, image->data(), length);
  outcome.messageId = LoadResultMessage(outcome.code);
  outcome.detail = RefusalDetail(outcome.code, fileFormat_);
  return outcome;
}

std::string Conversion::BaseName() const {
  const std::string name = std::filesystem::path(path_).filename().string();
  const size_t dot = name.find_last_of('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string Conversion::DefaultOutputPath() const {
  return (std::filesystem::path(path_).parent_path() / (BaseName() + ".mmf")).string();
}

ConversionOutcome Conversion::Finish(const ConversionSettings& settings,
                                     const std::string& outputPath,
                                     const FreeSpaceQuery& freeSpace) {
  ConversionOutcome outcome;
  engine_.TrimFrames(FramesWorthConverting(engine_.Format(), settings.variant));
  engine_.MixDown(0);
  outcome.code = engine_.ConvertRate(settings.targetRate, kTaps);
  if (outcome.code < 0) {
    outcome.failedStep = "rate conversion";
    return outcome;
  }

  ContentInfo info;
  info.textCode = 2;
  info.flags = static_cast<uint8_t>((settings.save ? 0 : 2) | (settings.trans ? 0 : 1));
  CopyText(info.text[ContentInfo::kTitle], settings.title);
  CopyText(info.text[ContentInfo::kCopyright], settings.copyright);
  if (settings.date.size() == 8) CopyText(info.text[ContentInfo::kDate], settings.date);

  // A capacity that always holds the image, however short the input was.
  const int64_t adpcmBytes = (int64_t{engine_.Format().byteCount} + 3) / 4;
  const auto capacity =
      static_cast<int32_t>(std::min<int64_t>(adpcmBytes + kHeaderRoom, INT32_MAX));
  std::vector<uint8_t> image;
  try {
    image.resize(static_cast<size_t>(capacity));
  } catch (const std::bad_alloc&) {
    outcome.failedStep = "encoding";
    outcome.code = kFailed;
    return outcome;
  }
  outcome.code = engine_.EncodeKivra(settings.variant, 0, &info, image.data(), capacity);
  if (outcome.code < 0) {
    outcome.failedStep = "encoding";
    return outcome;
  }
  image.resize(static_cast<size_t>(outcome.code));

  std::filesystem::path folder = std::filesystem::path(outputPath).parent_path();
  if (folder.empty()) folder = ".";
  // A missing folder cannot take the file; that is no matter of free space.
  std::error_code error;
  if (!std::filesystem::is_directory(folder, error)) {
    outcome.messageId = kStrCannotSave;
    outcome.detail = "no folder " + folder.string();
    return outcome;
  }
  // Equal free space counts as not enough, and so does a failed query.
  const double freeBytes = freeSpace ? freeSpace(folder.string()) : QueryFreeSpace(folder.string());
  if (!(freeBytes > static_cast<double>(image.size()))) {
    outcome.messageId = kStrDiskSpace;
    return outcome;
  }
  if (!WriteFileAtomically(outputPath, image, &outcome.detail)) {
    outcome.messageId = kStrCannotSave;
    return outcome;
  }
  outcome.fileBytes = static_cast<int32_t>(image.size());
  return outcome;
}

int32_t FramesWorthConverting(const PcmFormat& format, int variant) {
  if (variant != 0) return format.frameCount;
  const int64_t kept = int64_t{kKeptSecondsOfLongClips} * format.sampleRate;
  return static_cast<int32_t>(std::min<int64_t>(format.frameCount, kept));
}

int32_t DefaultTargetRate(int32_t inputRate) {
  return inputRate >= 8000 ? 8000 : 4000;
}

bool EightKilohertzAvailable(int32_t inputRate) {
  return inputRate >= 8000;
}

std::string FileSizeMessage(int32_t bytes, Language language) {
  char number[32];
  std::snprintf(number, sizeof number, "%.2f", bytes * 0.0009765625);
  return std::string(LoadString(kStrFileSizePrefix, language)) + number + "KB";
}

}  // namespace pelorin
