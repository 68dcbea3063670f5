#include "platform/sim/locale_names.h"

#include <string_view>

namespace corvane::platform::sim {

namespace {

struct PrimaryLanguage {
  uint16_t primary;
  std::string_view name;
};

constexpr PrimaryLanguage kLanguages[] = {
    {0x01, "Arabic"},     {0x02, "Bulgarian"},  {0x03, "Catalan"},       {0x04, "Chinese"},
    {0x05, "Czech"},      {0x06, "Danish"},     {0x07, "German"},        {0x08, "Greek"},
    {0x09, "English"},    {0x0A, "Spanish"},    {0x0B, "Finnish"},       {0x0C, "French"},
    {0x0D, "Hebrew"},     {0x0E, "Hungarian"},  {0x0F, "Icelandic"},     {0x10, "Italian"},
    {0x11, "Japanese"},   {0x12, "Korean"},     {0x13, "Dutch"},         {0x14, "Norwegian"},
    {0x15, "Polish"},     {0x16, "Portuguese"}, {0x17, "Romansh"},       {0x18, "Romanian"},
    {0x19, "Russian"},    {0x1A, "Croatian"},   {0x1B, "Slovak"},        {0x1C, "Albanian"},
    {0x1D, "Swedish"},    {0x1E, "Thai"},       {0x1F, "Turkish"},       {0x20, "Urdu"},
    {0x21, "Indonesian"}, {0x22, "Ukrainian"},  {0x23, "Belarusian"},    {0x24, "Slovenian"},
    {0x25, "Estonian"},   {0x26, "Latvian"},    {0x27, "Lithuanian"},    {0x29, "Persian"},
    {0x2A, "Vietnamese"}, {0x2B, "Armenian"},   {0x2C, "Azerbaijani"},   {0x2D, "Basque"},
    {0x2F, "Macedonian"}, {0x36, "Afrikaans"},  {0x37, "Georgian"},      {0x38, "Faroese"},
    {0x39, "Hindi"},      {0x3A, "Maltese"},    {0x3E, "Malay"},         {0x3F, "Kazakh"},
    {0x41, "Kiswahili"},  {0x43, "Uzbek"},      {0x44, "Tatar"},         {0x45, "Bangla"},
    {0x46, "Punjabi"},    {0x47, "Gujarati"},   {0x49, "Tamil"},         {0x4A, "Telugu"},
    {0x4B, "Kannada"},    {0x4E, "Marathi"},    {0x50, "Mongolian"},     {0x56, "Galician"},
    {0x5A, "Syriac"},     {0x62, "Frisian"},    {0x6E, "Luxembourgish"},
};

}  // namespace

std::string EnglishLanguageOfLocale(uint32_t locale) {
  // Identifiers above 0xFFFF carry a sort order in their upper bits; the language is below.
  const uint16_t primary = static_cast<uint16_t>(locale & 0x3FF);
  if (primary == 0) return std::string();
  for (const PrimaryLanguage& l : kLanguages) {
    if (l.primary == primary) return std::string(l.name);
  }
  return std::string();
}

}  // namespace corvane::platform::sim
