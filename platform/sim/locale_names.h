// The locales the simulated machine knows: the English name of each locale's language, as the
// system's locale table gives it (LOCALE_SENGLANGUAGE). A locale is known by its primary
// language (the low ten bits of its identifier); its sub-language (Swiss, Austrian, ...) names
// the same language.
#pragma once

#include <cstdint>
#include <string>

namespace corvane::platform::sim {

// "" for a locale whose language the machine does not know (and for 0).
std::string EnglishLanguageOfLocale(uint32_t locale);

}  // namespace corvane::platform::sim
