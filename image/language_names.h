// The fixed table of language names and Windows language identifiers that translations are
// named by: the names are spelt as the translation files of setups spell them (they name files,
// "translations.German"), so they are kept exactly as they stand.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/system.h"

namespace corvane::image {

struct LanguageName {
  uint32_t id;
  std::string_view name;
};

// The table, in its fixed order.
const LanguageName* LanguageTable(size_t* count);

// The table's name of an identifier. An identifier outside the table takes the system's English
// name of the locale's language (its LOCALE_SENGLANGUAGE), which names a table entry ("German"
// for Swiss German, 2055); without one the name is "English".
std::string LanguageNameOfId(platform::SystemInfo& system, uint32_t id);

// The decimal identifier of a table name (letter case ignored); "1033" for any other name.
std::string LanguageIdOfName(std::string_view name);

// The name of the user's language (the user locale's LOCALE_ILANGUAGE), which picks a block of a
// language file, and of the user's default language (LOCALE_IDEFAULTLANGUAGE), which the
// language dialog preselects.
std::string UserLanguageName(platform::SystemInfo& system);
std::string UserDefaultLanguageName(platform::SystemInfo& system);

}  // namespace corvane::image
