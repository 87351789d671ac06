#include "pipeline/conversion.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <vector>

#include "audiofile/memory_stream.h"
#include "kivra/content_info.h"
#include "kivra/kivra_writer_v0.h"
#include "pipeline/file_system.h"
#include "pipeline/input_file.h"

namespace pelorin {
namespace {

void CopyText(char (&field)[ContentInfo::kTextSize], const std::string& text) {
  const size_t n = std::min(text.size(), size_t{ContentInfo::kTextSize - 1});
  std::memcpy(field, text.data(), n);
}

}  // namespace

ConversionOutcome Conversion::Open(const std::string& path, Purpose purpose) {
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
  MemoryStream stream(image->data(), static_cast<int32_t>(image->size()));
  return Load(stream, *kind, purpose);
}

ConversionOutcome Conversion::OpenImage(const std::string& name, std::span<const uint8_t> image,
                                        Purpose purpose) {
  path_ = name;
  if (image.size() > size_t{INT32_MAX}) {
    ConversionOutcome outcome;
    outcome.messageId = kStrCannotOpen;
    return outcome;
  }
  MemoryStream stream(image.data(), static_cast<int32_t>(image.size()));
  return Load(stream, InputKindFromContent(image).value_or(InputKind::kWav), purpose);
}

ConversionOutcome Conversion::OpenStream(const std::string& name, ByteStream& stream,
                                         InputKind kind, Purpose purpose) {
  path_ = name;
  return Load(stream, kind, purpose);
}

ConversionOutcome Conversion::Load(ByteStream& stream, InputKind kind, Purpose purpose) {
  ConversionOutcome outcome;
  const int isAiff = kind == InputKind::kAiff ? 1 : 0;
  outcome.code = purpose == Purpose::kConversion ? engine_.LoadMono(isAiff, stream)
                                                 : engine_.Load(isAiff, stream);
  outcome.messageId = LoadResultMessage(outcome.code);
  outcome.refusal = engine_.LoadRefusal();
  return outcome;
}

ConversionOutcome Conversion::OpenClip(const std::string& name, int32_t sampleRate,
                                       std::vector<int16_t> samples) {
  ConversionOutcome outcome;
  path_ = name;
  outcome.code = engine_.LoadClip(sampleRate, std::move(samples));
  outcome.messageId = LoadResultMessage(outcome.code);
  outcome.refusal = engine_.LoadRefusal();
  return outcome;
}

namespace {

std::string BaseNameOf(const std::string& path) {
  const std::string name = std::filesystem::path(path).filename().string();
  const size_t dot = name.find_last_of('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

}  // namespace

std::string DefaultOutputPath(const std::string& input) {
  return (std::filesystem::path(input).parent_path() / (BaseNameOf(input) + ".mmf")).string();
}

std::string Conversion::BaseName() const {
  return BaseNameOf(path_);
}

std::string Conversion::DefaultOutputPath() const {
  return pelorin::DefaultOutputPath(path_);
}

SettingsChoice Conversion::Settings(const UserChoices& choices, Language language) const {
  return MakeSettings(choices, InputRate(), BaseName(), language);
}

ConversionOutcome Conversion::Finish(const ConversionSettings& settings,
                                     const std::string& outputPath,
                                     const FreeSpaceQuery& freeSpace) {
  std::vector<uint8_t> image;
  const ConversionOutcome encoded = Encode(settings, image);
  if (!encoded.Succeeded()) return encoded;
  return Write(image, outputPath, freeSpace);
}

ConversionOutcome Conversion::Encode(const ConversionSettings& settings,
                                     std::vector<uint8_t>& image) {
  ConversionOutcome outcome;
  engine_.TrimFrames(FramesWorthConverting(engine_.Format(), settings.variant, kConversionTaps));
  engine_.MixDown(0);
  // A clip at a rate the engine does not load (a decoded file's 96 kHz, say) is first brought
  // to the nearest rate it does, so that the last step is the one every file takes.
  const int32_t rate = engine_.Format().sampleRate;
  const int32_t inRange = std::clamp(rate, AudioEngine::kMinRate, AudioEngine::kMaxRate);
  outcome.code = engine_.ConvertRate(inRange, kConversionTaps);
  // The codes are made along with the last step, on the thread that would wait for the other.
  if (outcome.code >= 0) {
    outcome.code = engine_.ConvertRate(settings.targetRate, kConversionTaps, settings.quality);
  }
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

  outcome.code = engine_.EncodeKivra(settings.variant, 0, &info, image, settings.quality);
  if (outcome.code < 0) {
    outcome.failedStep = "encoding";
    return outcome;
  }
  engine_.Release();  // the samples are in the image now
  return outcome;
}

ConversionOutcome Conversion::Write(const std::vector<uint8_t>& image,
                                    const std::string& outputPath,
                                    const FreeSpaceQuery& freeSpace) {
  ConversionOutcome outcome;
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

int32_t FramesWorthConverting(const PcmFormat& format, int variant, int32_t taps) {
  if (variant != 0) return format.frameCount;
  // The frames of the play time the file keeps, one 4-ms tick more so that the converted clip
  // is still longer than that and its play time is capped as the whole clip's is, and the
  // filter's reach beyond them.
  constexpr int64_t kTickMs = 4;
  const int64_t keptMs = KivraWriterV0::kCapMs + kTickMs;
  const int64_t kept = (keptMs * format.sampleRate + 999) / 1000 + taps;
  return static_cast<int32_t>(std::clamp<int64_t>(kept, 0, format.frameCount));
}

std::string FileSizeMessage(int32_t bytes, Language language) {
  // to_chars rounds as "%.2f" does but ignores the locale: the window runs with the user's
  // numeric locale, which may write a decimal comma.
  char number[32];
  const std::to_chars_result end = std::to_chars(number, number + sizeof number,
                                                 bytes * 0.0009765625, std::chars_format::fixed, 2);
  return std::string(LoadString(kStrFileSizePrefix, language)) + std::string(number, end.ptr) +
         "KB";
}

}  // namespace pelorin
