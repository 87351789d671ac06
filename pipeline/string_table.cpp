#include "pipeline/string_table.h"

#include <cstdlib>
#include <string>

namespace pelorin {
namespace {

struct Entry {
  int id;
  std::string_view english;
  std::string_view japanese;
};

constexpr Entry kTable[] = {
    {kStrCannotOpen, "Cannot open WAV/AIFF file", "WAV/AIFFファイルを開けません"},
    {kStrBadExtension, "Extension is not .wav/.aif", "拡張子が.wav/.aifではありません"},
    {kStrFormatNotSupported, "Audio format not supported", "非対応のオーディオフォーマットです"},
    {kStrCannotSave, "Cannot save KIVRA file", "KIVRAファイルを保存できません"},
    {kStrFileSizePrefix, "KIVRA File Size : ", "KIVRAファイルサイズ : "},
    {kStrNameTooLong, "Filename length exceeds limit", "ファイル名が長すぎます"},
    {kStrPlaytimeTooShort, "Inadequate playtime", "再生時間が短すぎます"},
    {kStrDiskSpace, "Disk space not enough", "ディスク容量が足りません"},
    {kStrRateNotSupported, "Sampling Frequency not supported", "非対応のサンプリング周波数です"},
    {kStrBitsNotSupported, "Bits per sample not supported", "非対応の量子化ビット数です"},
    {kStrChannelsNotSupported, "Channel count not supported", "非対応のチャンネル数です"},
};

bool NamesJapanese(std::string_view locale) {
  return locale.substr(0, 2) == "ja";
}

bool IsSet(const char* value) {
  return value != nullptr && *value != 0;
}

}  // namespace

std::string_view LoadString(int id, Language language) {
  for (const Entry& entry : kTable) {
    if (entry.id == id) return language == Language::kJapanese ? entry.japanese : entry.english;
  }
  return {};
}

int LoadResultMessage(int32_t result) {
  switch (result) {
    case 0:
      return 0;
    case -996:
      return kStrRateNotSupported;
    case -995:
      return kStrBitsNotSupported;
    case -994:
      return kStrChannelsNotSupported;
    case -993:
      return kStrPlaytimeTooShort;
    default:
      // -997 and every failure without a text of its own.
      return result > 0 ? 0 : kStrFormatNotSupported;
  }
}

Language LanguageFromLocale(const char* language, const char* lcAll, const char* lcMessages,
                            const char* lang) {
  // The locale of messages: the first set of LC_ALL, LC_MESSAGES, LANG; unset is C.
  std::string_view locale = "C";
  for (const char* value : {lcAll, lcMessages, lang}) {
    if (IsSet(value)) {
      locale = value;
      break;
    }
  }
  // LANGUAGE lists preferences and wins, except in the C locale, where it is ignored (as
  // gettext does): a program run with LC_ALL=C speaks English whatever LANGUAGE says.
  const bool plain = locale == "C" || locale == "POSIX" || locale.starts_with("C.");
  if (IsSet(language) && !plain) {
    std::string_view list(language);
    while (!list.empty()) {
      const size_t colon = list.find(':');
      const std::string_view entry = list.substr(0, colon);
      if (NamesJapanese(entry)) return Language::kJapanese;
      if (entry.substr(0, 2) == "en" || entry == "C" || entry == "POSIX") return Language::kEnglish;
      if (colon == std::string_view::npos) break;
      list.remove_prefix(colon + 1);
    }
  }
  return NamesJapanese(locale) ? Language::kJapanese : Language::kEnglish;
}

Language UserLanguage() {
  return LanguageFromLocale(std::getenv("LANGUAGE"), std::getenv("LC_ALL"),
                            std::getenv("LC_MESSAGES"), std::getenv("LANG"));
}

}  // namespace pelorin
