#include "workshop/opened_input.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <new>
#include <optional>
#include <system_error>

#include "audiofile/file_stream.h"
#include "pipeline/input_file.h"

namespace pelorin {
namespace {

// The bytes of a stream to its end, or nothing when it cannot be read or holds more than the
// engine can load (2^31 - 1 bytes).
std::optional<std::vector<uint8_t>> ReadWholeStream(const std::string& path) {
  const int fd = path == "-" ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::vector<uint8_t> bytes;
  bool whole = false;
  try {
    std::array<uint8_t, 65536> block;
    for (;;) {
      const ssize_t n = ::read(fd, block.data(), block.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) break;
      if (n == 0) {
        whole = true;
        break;
      }
      if (bytes.size() + size_t(n) > size_t{INT32_MAX}) break;
      bytes.insert(bytes.end(), block.begin(), block.begin() + n);
    }
  } catch (const std::bad_alloc&) {
    whole = false;
  }
  if (fd != STDIN_FILENO) ::close(fd);
  if (!whole) return std::nullopt;
  return bytes;
}

// The first bytes of a file, enough to tell its kind.
std::vector<uint8_t> Head(const std::string& path) {
  std::vector<uint8_t> head(12);
  std::ifstream in(path, std::ios::binary);
  in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<size_t>(std::max<std::streamsize>(in.gcount(), 0)));
  return head;
}

// The format of a file the engine took, in words.
std::string EngineFormat(InputKind kind, const Conversion& conversion) {
  return std::string(kind == InputKind::kAiff ? "AIFF" : "WAV") + ", " +
         std::to_string(conversion.FileFormat().bitsPerSample) + "-bit integer";
}

// A file the engine finds too short is as short to any decoder: its refusal stands.
bool TooShort(const ConversionOutcome& outcome) {
  return outcome.refusal.category == RefusalCategory::kDuration;
}

// The engine's refusal of a WAV or AIFF file when it speaks of damage rather than of a format
// the engine does not read.
Refusal Damage(const ConversionOutcome& outcome) {
  const RefusalCategory category = outcome.refusal.category;
  if (category == RefusalCategory::kContainer || category == RefusalCategory::kSize)
    return outcome.refusal;
  return {};
}

}  // namespace

bool IsStreamInput(const std::string& path) {
  if (path == "-") return true;
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  return !error && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status) &&
         !std::filesystem::is_directory(status);
}

std::unique_ptr<OpenedInput> OpenedInput::Open(const std::string& path, const std::string& name,
                                               Conversion::Purpose purpose) {
  auto input = std::make_unique<OpenedInput>();
  std::string why;
  if (IsStreamInput(path)) {
    std::optional<std::vector<uint8_t>> bytes = ReadWholeStream(path);
    if (!bytes) {
      input->outcome.messageId = kStrCannotOpen;
      return input;
    }
    input->image = std::move(*bytes);
    // The engine's verdict on the content, kept as the refusal when nothing reads it.
    input->outcome = input->conversion.OpenImage(name, input->image, purpose);
    if (input->outcome.Succeeded()) {
      input->decoder = Decoder::kEngine;
      input->format = EngineFormat(InputKindFromContent(input->image).value_or(InputKind::kWav),
                                   input->conversion);
      input->image = {};
      return input;
    }
    if (TooShort(input->outcome)) return input;
    input->sound = SoundFile::Open(std::span<const uint8_t>(input->image), &why);
    if (input->sound) {
      input->decoder = Decoder::kSoundFile;
      input->format = input->sound->Info().format;
      if (InputKindFromContent(input->image)) input->damage = Damage(input->outcome);
    }
    return input;
  }

  // A file the engine takes by its content goes through the engine, whatever its name.
  // It is read a buffer at a time: a file held whole would cost its length in fresh memory.
  const std::optional<InputKind> kind = InputKindFromContent(Head(path));
  const bool engineKind = kind.has_value();
  if (engineKind) {
    if (const std::unique_ptr<FileStream> stream = FileStream::Open(path)) {
      input->outcome = input->conversion.OpenStream(name, *stream, *kind, purpose);
      if (input->outcome.Succeeded()) {
        input->decoder = Decoder::kEngine;
        input->format = EngineFormat(*kind, input->conversion);
        return input;
      }
    }
  }
  if (TooShort(input->outcome)) return input;
  input->sound = SoundFile::Open(path, &why);
  if (input->sound) {
    input->decoder = Decoder::kSoundFile;
    input->format = input->sound->Info().format;
    if (engineKind) input->damage = Damage(input->outcome);
    return input;
  }
  // Neither reads it: the window's refusal, name rule and all.
  input->outcome = input->conversion.Open(path, purpose);
  // A name the window would not take says nothing of the content: libsndfile's reason does.
  if (input->outcome.messageId == kStrBadExtension) input->outcome.detail = why;
  if (input->outcome.Succeeded()) {
    // Only for a file that changed meanwhile: it is taken as it is now.
    input->decoder = Decoder::kEngine;
    input->format =
        EngineFormat(InputKindFromName(path).value_or(InputKind::kWav), input->conversion);
  }
  return input;
}

}  // namespace pelorin
