#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "audiofile/byte_stream.h"
#include "audiofile/refusal.h"
#include "audiofile/sample_source.h"
#include "engine/audio_engine.h"
#include "pipeline/conversion_settings.h"
#include "pipeline/input_file.h"
#include "pipeline/string_table.h"

namespace pelorin {

// How a conversion ended. messageId is a string-table id (0 when there is none); a failed
// rate conversion or encoding has no text of its own and is reported by failedStep.
struct ConversionOutcome {
  int messageId = 0;
  const char* failedStep = nullptr;  // "rate conversion" or "encoding", for silent ends
  int32_t code = 0;                  // the engine's result behind the outcome
  int32_t fileBytes = 0;             // length of the written file
  Refusal refusal;                   // why the input was refused, when it was
  std::string detail;                // why a file operation failed, in the system's words
  bool Succeeded() const { return messageId == 0 && failedStep == nullptr; }
};

// One dropped (or named) file on its way to a KIVRA file: open and load it, then finish it
// with the user's settings. The window and the command line share it.
class Conversion {
 public:
  // What the file is opened for: a conversion holds it mixed down to mono at once (Finish
  // mixes down first anyway), an inspection as the file has it.
  enum class Purpose { kConversion, kInspection };

  // Checks the name, reads the file whole and loads it, parsing it once. The outcome's
  // messageId is 0 when it loaded; a Load failure without a text of its own is reported as an
  // unsupported format.
  ConversionOutcome Open(const std::string& path, Purpose purpose = Purpose::kConversion);
  // The same for a file's contents already read (a pipe's, say), named by name. The content
  // decides the reader, not the name: what is not an AIFF header gets the WAV reader's verdict.
  ConversionOutcome OpenImage(const std::string& name, std::span<const uint8_t> image,
                              Purpose purpose = Purpose::kConversion);
  // The same for a file read a buffer at a time (a FileStream), with the reader of kind: a
  // file of any length is never held whole.
  ConversionOutcome OpenStream(const std::string& name, ByteStream& stream, InputKind kind,
                               Purpose purpose = Purpose::kConversion);
  // A clip made ready elsewhere, mono 16-bit at any rate above 0 (see AudioEngine::LoadClip),
  // named by name. Finish converts a rate outside the engine's range in two steps.
  ConversionOutcome OpenClip(const std::string& name, int32_t sampleRate,
                             std::vector<int16_t> samples);

  int32_t InputRate() const { return engine_.Format().sampleRate; }
  // The clip as held: for a conversion already mixed down.
  const PcmFormat& InputFormat() const { return engine_.Format(); }
  // The header as the file states it (its own bit depth, say), once the file was read.
  const SourceFormat& FileFormat() const { return engine_.FileFormat(); }
  // The samples held, interleaved; frames after them up to the format's count are silence.
  std::span<const int16_t> HeldSamples() const { return engine_.Samples(); }
  // The input's file name without folder and extension: the preset title.
  std::string BaseName() const;
  // Where the file goes unless told otherwise: beside the input, its base name + ".mmf".
  std::string DefaultOutputPath() const;
  // Whether the rate conversion may use a second thread for a long clip (the default).
  void AllowSecondThread(bool allowed) { engine_.AllowSecondThread(allowed); }
  // The user's choices as settings for this input (see MakeSettings).
  SettingsChoice Settings(const UserChoices& choices, Language language) const;

  // The free bytes of the file system holding a folder, or a negative number when unknown.
  using FreeSpaceQuery = std::function<double(const std::string& folder)>;

  // Mixes down, converts the rate, encodes, checks the free space (with freeSpace, the file
  // system's own count by default) and writes outputPath. Runs once, after a successful Open.
  ConversionOutcome Finish(const ConversionSettings& settings, const std::string& outputPath,
                           const FreeSpaceQuery& freeSpace = {});
  // Finish in two halves, for a caller that looks at the file before it is written or does not
  // write it: Encode leaves the file's image in image (and the clip is gone), Write puts an
  // image at outputPath.
  ConversionOutcome Encode(const ConversionSettings& settings, std::vector<uint8_t>& image);
  static ConversionOutcome Write(const std::vector<uint8_t>& image, const std::string& outputPath,
                                 const FreeSpaceQuery& freeSpace = {});

 private:
  ConversionOutcome Load(ByteStream& stream, InputKind kind, Purpose purpose);

  std::string path_;
  AudioEngine engine_;
};

// How many leading frames of a clip a conversion to the variant needs: a variant 0 file keeps
// at most 66.04 s, so of a longer clip only the part that reaches the file is converted (with
// the filter's reach beyond it); the file is the same as from the whole clip.
int32_t FramesWorthConverting(const PcmFormat& format, int variant, int32_t taps);

// Where a conversion of the input puts its file unless told otherwise: beside the input, the
// input's name without its extension + ".mmf".
std::string DefaultOutputPath(const std::string& input);

// The filter length every conversion uses.
inline constexpr int32_t kConversionTaps = 256;

// The completed message: "KIVRA File Size : " (in the language) + n / 1024 as "%.2f" + "KB".
std::string FileSizeMessage(int32_t bytes, Language language);

}  // namespace pelorin
