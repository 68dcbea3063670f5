#include "image/language_names.h"

#include "platform/text.h"

namespace corvane::image {

namespace {

constexpr LanguageName kTable[] = {
    {1025, "Arabic"},
    {1027, "Catalan"},
    {1028, "Chinese (Taiwan)"},
    {2052, "Chinese (PRC)"},
    {1029, "Czech"},
    {1030, "Danish"},
    {1031, "German"},
    {1032, "Greek"},
    {1033, "English"},
    {3082, "Spanish"},
    {1061, "Estonian"},
    {1035, "Finnish"},
    {1036, "French"},
    {1037, "Hebrew"},
    {1038, "Hungarian"},
    {1040, "Italian"},
    {1041, "Japanese"},
    {1042, "Korean"},
    {1063, "Lithuanian"},
    {1062, "Latvian"},
    {1043, "Dutch"},
    {1044, "Norwegian"},
    {1045, "Polish"},
    {1046, "Portugese (Brazil)"},
    {2070, "Portugese (Portugal)"},
    {1048, "Romanian"},
    {1049, "Russian"},
    {1050, "Croatian"},
    {1051, "Slovak"},
    {1053, "Swedish"},
    {1054, "Thai"},
    {1055, "Turkish"},
    {1060, "Slovenian"},
    {1066, "Vietnamese"},
    {1069, "Basque"},
};

constexpr uint32_t kEnglish = 1033;

const LanguageName* ById(uint32_t id) {
  for (const LanguageName& e : kTable) {
    if (e.id == id) return &e;
  }
  return nullptr;
}

const LanguageName* ByName(std::string_view name) {
  for (const LanguageName& e : kTable) {
    if (platform::SameText(e.name, name)) return &e;
  }
  return nullptr;
}

}  // namespace

const LanguageName* LanguageTable(size_t* count) {
  *count = std::size(kTable);
  return kTable;
}

std::string LanguageNameOfId(platform::SystemInfo& system, uint32_t id) {
  if (const LanguageName* e = ById(id)) return std::string(e->name);
  const LanguageName* e = ByName(system.LocaleEnglishLanguage(id));
  if (e && e->id != kEnglish) return std::string(e->name);
  return "English";
}

std::string LanguageIdOfName(std::string_view name) {
  const LanguageName* e = ByName(name);
  return std::to_string(e ? e->id : kEnglish);
}

std::string UserLanguageName(platform::SystemInfo& system) {
  return LanguageNameOfId(system, system.UserLocaleLanguage());
}

std::string UserDefaultLanguageName(platform::SystemInfo& system) {
  return LanguageNameOfId(system, system.UserLocaleDefaultLanguage());
}

}  // namespace corvane::image
