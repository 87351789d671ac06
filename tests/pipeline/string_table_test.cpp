#include <gtest/gtest.h>

#include "pipeline/string_table.h"

namespace pelorin {
namespace {

TEST(StringTable, HoldsEveryIdInBothLanguages) {
  for (int id : {1, 2, 4, 5, 6, 10, 11, 12, 13, 14, 15}) {
    EXPECT_FALSE(LoadString(id, Language::kEnglish).empty()) << id;
    EXPECT_FALSE(LoadString(id, Language::kJapanese).empty()) << id;
  }
  for (int id : {0, 3, 7, 8, 9, 16}) EXPECT_TRUE(LoadString(id, Language::kEnglish).empty()) << id;
  EXPECT_EQ(LoadString(6, Language::kEnglish), "KIVRA File Size : ");
  EXPECT_EQ(LoadString(13, Language::kJapanese), "非対応のサンプリング周波数です");
}

TEST(StringTable, LoadResultsMapToTheirTexts) {
  EXPECT_EQ(LoadResultMessage(0), 0);
  EXPECT_EQ(LoadResultMessage(-997), kStrFormatNotSupported);
  EXPECT_EQ(LoadResultMessage(-996), kStrRateNotSupported);
  EXPECT_EQ(LoadResultMessage(-995), kStrBitsNotSupported);
  EXPECT_EQ(LoadResultMessage(-994), kStrChannelsNotSupported);
  EXPECT_EQ(LoadResultMessage(-993), kStrPlaytimeTooShort);
  // Failures without a text of their own are never passed on as success.
  EXPECT_EQ(LoadResultMessage(-1), kStrFormatNotSupported);
  EXPECT_EQ(LoadResultMessage(-998), kStrFormatNotSupported);
}

TEST(StringTable, LanguageFollowsTheLocaleVariables) {
  struct Case {
    const char* language;
    const char* lcAll;
    const char* lcMessages;
    const char* lang;
    Language expected;
  };
  const auto ja = Language::kJapanese;
  const auto en = Language::kEnglish;
  const Case cases[] = {
      {nullptr, nullptr, nullptr, nullptr, en},
      {nullptr, nullptr, nullptr, "ja_JP.UTF-8", ja},
      {nullptr, nullptr, nullptr, "en_US.UTF-8", en},
      {nullptr, "C", nullptr, "ja_JP.UTF-8", en},   // LC_ALL overrides LANG
      {nullptr, "", "ja_JP.UTF-8", "en_US", ja},    // empty counts as unset
      {"en", nullptr, nullptr, "ja_JP.UTF-8", en},  // LANGUAGE wins
      {"fr:ja:en", nullptr, nullptr, "en_US", ja},  // first listed language we have
      {"fr", nullptr, nullptr, "ja_JP.UTF-8", ja},  // none we have: fall through
      {"", "", "", "ja", ja},
      // In the C locale LANGUAGE counts for nothing, as for gettext.
      {"ja", nullptr, nullptr, nullptr, en},
      {"ja", "C", nullptr, "ja_JP.UTF-8", en},
      {"ja", nullptr, "POSIX", nullptr, en},
      {"ja", nullptr, nullptr, "C.UTF-8", en},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LanguageFromLocale(c.language, c.lcAll, c.lcMessages, c.lang), c.expected)
        << (c.language ? c.language : "-") << " " << (c.lcAll ? c.lcAll : "-") << " "
        << (c.lang ? c.lang : "-");
  }
}

}  // namespace
}  // namespace pelorin
