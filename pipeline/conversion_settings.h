#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/adpcm_encoder.h"
#include "pipeline/string_table.h"
#include "pipeline/text_encoding.h"

namespace pelorin {

// The settings one conversion is finished with, in the form the file takes them.
struct ConversionSettings {
  int32_t targetRate = 8000;                       // 4000 or 8000
  bool save = true;                                // the receiving device may save the sound
  bool trans = true;                               // ... and may pass it on
  std::string title;                               // in the file's text encoding, at most 256 bytes
  std::string copyright;                           // likewise
  std::string date;                                // "YYYYMMDD", or empty for no date
  int variant = 0;                                 // file variant 0, 1 or 2
  AdpcmQuality quality = AdpcmQuality::kStandard;  // high: codes chosen by a search
};

// What the user chose, as the settings window or the command line's options say it; texts in
// UTF-8. What is not chosen takes the default.
struct UserChoices {
  std::optional<int32_t> targetRate;  // default: DefaultTargetRate of the input
  std::optional<std::string> title;   // default: the input's base name
  std::string copyright;              // default: none
  bool save = true;
  bool trans = true;                // passing on needs saving: off whenever save is
  std::optional<std::string> date;  // "YYYYMMDD"; default: today, local time
  int variant = 0;
  std::optional<TextEncoding> encoding;  // default: the legacy code page of the language
  AdpcmQuality quality = AdpcmQuality::kStandard;
};

// The bytes each text field of the file keeps (title, copyright), and whether a UTF-8 text,
// encoded as the file will take it, fits there whole.
inline constexpr size_t kTextFieldBytes = 256;
bool FitsTextField(std::string_view utf8, TextEncoding encoding);

// The settings for choices about an input, or why they cannot be taken.
struct SettingsChoice {
  ConversionSettings settings;
  std::string refusal;  // empty when the settings can be used
};

// The one place where choices become settings, for the window and the command line alike.
SettingsChoice MakeSettings(const UserChoices& choices, int32_t inputRate,
                            const std::string& baseName, Language language);

// The rate preselected for an input rate, and whether 8 kHz can be chosen.
int32_t DefaultTargetRate(int32_t inputRate);
bool EightKilohertzAvailable(int32_t inputRate);

// Today's local date as "YYYYMMDD", or empty when it cannot be had.
std::string TodayStamp();

}  // namespace pelorin
