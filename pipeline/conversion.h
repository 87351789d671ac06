#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "audiofile/sample_source.h"
#include "engine/audio_engine.h"
#include "pipeline/input_file.h"
#include "pipeline/string_table.h"

namespace pelorin {

// The choices the settings window (or the command line) makes for one conversion.
struct ConversionSettings {
  int32_t targetRate = 8000;  // 4000 or 8000
  bool save = true;           // the receiving device may save the sound
  bool trans = true;          // ... and may pass it on
  std::string title;          // already in the file's text encoding, at most 256 bytes
  std::string copyright;      // likewise
  std::string date;           // "YYYYMMDD", or empty for no date
  int variant = 0;            // file variant 0, 1 or 2
};

// How a conversion ended. messageId is a string-table id (0 when there is none); a failed
// rate conversion or encoding has no text of its own and is reported by failedStep.
struct ConversionOutcome {
  int messageId = 0;
  const char* failedStep = nullptr;  // "rate conversion" or "encoding", for silent ends
  int32_t code = 0;                  // the engine's result behind the outcome
  int32_t fileBytes = 0;             // length of the written file
  std::string detail;  // the rejected value, or the system's reason a file operation failed
  bool Succeeded() const { return messageId == 0 && failedStep == nullptr; }
};

// One dropped (or named) file on its way to a KIVRA file: open and load it, then finish it
// with the user's settings. The window and the command line share it.
class Conversion {
 public:
  // Checks the name, reads the file whole and loads it. The outcome's messageId is 0 when it
  // loaded; a Load failure without a text of its own is reported as an unsupported format.
  ConversionOutcome Open(const std::string& path);

  int32_t InputRate() const { return engine_.Format().sampleRate; }
  const PcmFormat& InputFormat() const { return engine_.Format(); }
  // The header as the file states it (its own bit depth, say), once the file was read.
  const SourceFormat& FileFormat() const { return fileFormat_; }
  // The input's file name without folder and extension: the preset title.
  std::string BaseName() const;
  // Where the file goes unless told otherwise: beside the input, its base name + ".mmf".
  std::string DefaultOutputPath() const;

  // The free bytes of the file system holding a folder, or a negative number when unknown.
  using FreeSpaceQuery = std::function<double(const std::string& folder)>;

  // Mixes down, converts the rate, encodes, checks the free space (with freeSpace, the file
  // system's own count by default) and writes outputPath. Runs once, after a successful Open.
  ConversionOutcome Finish(const ConversionSettings& settings, const std::string& outputPath,
                           const FreeSpaceQuery& freeSpace = {});

 private:
  std::string path_;
  SourceFormat fileFormat_;
  AudioEngine engine_;
};

// How many leading frames of a clip a conversion to the variant needs: a variant 0 file keeps
// at most 66.04 s, so of a longer clip only the part that reaches the file is converted (with
// margin for the filter's reach); the file is the same as from the whole clip.
int32_t FramesWorthConverting(const PcmFormat& format, int variant);

// The rate the settings window preselects for an input rate, and whether 8 kHz can be chosen.
int32_t DefaultTargetRate(int32_t inputRate);
bool EightKilohertzAvailable(int32_t inputRate);

// The completed message: "KIVRA File Size : " (in the language) + n / 1024 as "%.2f" + "KB".
std::string FileSizeMessage(int32_t bytes, Language language);

}  // namespace pelorin
