#include "ui/localisation.h"

#include "image/failure.h"
#include "image/language_names.h"
#include "platform/text.h"

namespace corvane::ui {

namespace {

constexpr std::string_view kInitialization = "Initialization";
constexpr std::string_view kPrefix = "translations.";
// The loaded language before any is loaded: no language has this name, so the first non-empty
// LANGUAGE always loads.
constexpr std::string_view kNoLanguage = "ZILCH";

}  // namespace

Localisation::Localisation(interp::Session& session, std::string support_folder)
    : session_(session),
      folder_(std::move(support_folder)),
      mode_(TranslationModeOf(session.image)) {}

std::vector<std::string> Localisation::AvailableLanguages(bool* default_present) {
  if (default_present) *default_present = false;
  platform::FileSystem& files = session_.platform.files();
  std::vector<std::string> languages;
  if (!files.FileExists(folder_ + session_.image.title_for_files + ".mtx")) return languages;
  std::vector<platform::FileEntry> entries;
  std::string folder = folder_;
  while (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
  if (files.List(folder, "translations.*", &entries) != platform::Status::kOk) return languages;
  for (const platform::FileEntry& e : entries) {
    if (e.attributes & platform::attr::kDirectory) continue;
    if (e.name.size() <= kPrefix.size() ||
        !platform::SameText(std::string_view(e.name).substr(0, kPrefix.size()), kPrefix)) {
      continue;
    }
    // The map and the source texts are no language; neither is a file whose own name says it is
    // shared. (Only the name is looked at: a support folder below a folder called "shared" is
    // an ordinary place to run from.)
    if (platform::SameText(e.name, "translations.Map") ||
        platform::SameText(e.name, "translations.Original") ||
        e.name.find("shared") != std::string::npos) {
      continue;
    }
    const std::string language = e.name.substr(e.name.rfind('.') + 1);
    if (language.empty()) continue;
    if (default_present && !session_.image.default_language.empty() &&
        platform::SameText(e.name.substr(kPrefix.size()), session_.image.default_language)) {
      *default_present = true;
    }
    languages.push_back(language);
  }
  return languages;
}

int PreselectedLanguage(const std::vector<std::string>& names, const std::string& default_language,
                        const std::string& user_default_language) {
  int remembered = -1;
  for (size_t i = 0; i < names.size(); ++i) {
    if (remembered < 0 && platform::SameText(names[i], default_language)) {
      remembered = static_cast<int>(i);
    }
    if (platform::SameText(names[i], user_default_language)) return static_cast<int>(i);
  }
  return remembered < 0 ? 0 : remembered;
}

bool Localisation::SelectLanguage(const LanguageSelection& selection) {
  interp::Variables& v = session_.variables;
  platform::FileSystem& files = session_.platform.files();
  session_.active_language.clear();
  session_.loaded_language = std::string(kNoLanguage);
  v.DefineVariable("LANGUAGE", "", kInitialization);

  bool default_present = false;
  const std::vector<std::string> languages = AvailableLanguages(&default_present);
  std::string current = default_present ? session_.image.default_language : std::string();
  if (!languages.empty()) {
    if (session_.image.offer_language_dialog && !selection.maintenance && !selection.patch_file) {
      const std::string user_default = image::UserDefaultLanguageName(session_.platform.system());
      int index = PreselectedLanguage(languages, session_.image.default_language, user_default);
      if (!v.silent() && selection.choose) {
        index = selection.choose(languages, index);
        if (index < 0) return false;
      }
      if (index >= 0 && static_cast<size_t>(index) < languages.size()) current = languages[index];
    } else if ((selection.maintenance || selection.patch_file) &&
               !selection.cached_language.empty() && files.FileExists(selection.cached_language)) {
      std::vector<std::string> lines = ReadLineList(files, selection.cached_language);
      if (!lines.empty()) current = lines.front();
    }
  }
  v.DefineVariable("LANGUAGE", current, kInitialization);
  return true;
}

std::string Localisation::Translate(std::string_view key, int slot, std::string_view text) {
  const std::string* t = tables_.TranslateCommandText(text, key, slot, mode_);
  if (!t) return std::string(text);
  return image::ExpandCompilerVariables(session_.image, *t);
}

void Localisation::LoadLanguage(const std::string& language) {
  platform::FileSystem& files = session_.platform.files();
  if (!tables_.Load(files, folder_, session_.image.title_for_files + ".mtx", language)) {
    throw image::ScriptFailure("Cannot open file \"" + folder_ + "translations." + language +
                               "\". The system cannot find the file specified");
  }
  const std::string shared = folder_ + "shared.translations." + language;
  if (files.FileExists(shared)) {
    image::LoadLanguageFileAt(files, shared, image::UserLanguageName(session_.platform.system()),
                              session_.messages);
  }
}

std::string Localisation::TranslateDialogText(const std::string& dialog_key,
                                              const std::string& control_name,
                                              const std::string& template_text) {
  const std::string* t = tables_.TranslateDialogText(dialog_key, control_name);
  return t ? *t : template_text;
}

}  // namespace corvane::ui
