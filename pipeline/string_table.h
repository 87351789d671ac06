#pragma once

#include <cstdint>
#include <string_view>

namespace pelorin {

enum class Language { kEnglish, kJapanese };

// Ids of the user-visible texts.
enum StringId : int {
  kStrCannotOpen = 1,
  kStrBadExtension = 2,
  kStrFormatNotSupported = 4,
  kStrCannotSave = 5,
  kStrFileSizePrefix = 6,
  kStrNameTooLong = 10,
  kStrPlaytimeTooShort = 11,
  kStrDiskSpace = 12,
  kStrRateNotSupported = 13,
  kStrBitsNotSupported = 14,
  kStrChannelsNotSupported = 15,
};

// The text of id in UTF-8, or an empty view for an id the table does not hold.
std::string_view LoadString(int id, Language language);

// The text a Load result is reported with: 0 for success, else a string id. Failures without
// a text of their own are reported as an unsupported format, never passed on as success.
int LoadResultMessage(int32_t result);

// Japanese when the locale variables name Japanese ("ja..."), otherwise English. LANGUAGE is a
// colon-separated preference list and wins, unless the locale (the first set of LC_ALL,
// LC_MESSAGES, LANG) is C or POSIX, where LANGUAGE is ignored.
Language LanguageFromLocale(const char* language, const char* lcAll, const char* lcMessages,
                            const char* lang);
// The same, read from this process's environment.
Language UserLanguage();

}  // namespace pelorin
