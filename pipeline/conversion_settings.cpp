#include "pipeline/conversion_settings.h"

#include "kivra/content_info.h"
#include "pipeline/date_stamp.h"

namespace pelorin {

SettingsChoice MakeSettings(const UserChoices& choices, int32_t inputRate,
                            const std::string& baseName, Language language) {
  SettingsChoice result;
  ConversionSettings& s = result.settings;
  s.targetRate = choices.targetRate.value_or(DefaultTargetRate(inputRate));
  if (s.targetRate == 8000 && !EightKilohertzAvailable(inputRate)) {
    result.refusal = "8000 Hz needs an input of 8000 Hz or more (this one has " +
                     std::to_string(inputRate) + " Hz)";
    return result;
  }
  s.save = choices.save;
  s.trans = choices.trans && choices.save;
  const TextEncoding encoding = choices.encoding.value_or(DefaultTextEncoding(language));
  s.title = EncodeText(choices.title.value_or(baseName), encoding, kTextFieldBytes);
  s.copyright = EncodeText(choices.copyright, encoding, kTextFieldBytes);
  s.date = choices.date.value_or(TodayStamp());
  s.variant = choices.variant;
  s.quality = choices.quality;
  return result;
}

// A field holds its text and a terminator.
static_assert(kTextFieldBytes == ContentInfo::kTextSize - 1);

bool FitsTextField(std::string_view utf8, TextEncoding encoding) {
  // Encoded whole: cut one byte past the field, a two-byte character crossing that byte would
  // be dropped and the rest would seem to fit.
  return EncodeText(utf8, encoding, std::string::npos).size() <= kTextFieldBytes;
}

int32_t DefaultTargetRate(int32_t inputRate) {
  return inputRate >= 8000 ? 8000 : 4000;
}

bool EightKilohertzAvailable(int32_t inputRate) {
  return inputRate >= 8000;
}

std::string TodayStamp() {
  char buffer[9] = {};
  return FormatDateStamp(buffer, sizeof buffer) == 8 ? std::string(buffer, 8) : std::string();
}

}  // namespace pelorin
