// The localisation of a run: which languages the setup carries, the language chosen at session
// start, the translation tables of the language in force (loaded again whenever LANGUAGE names
// another one), and the shared language file of that language, which replaces texts of the
// engine message set.
//
// Main thread only: the tables change only between commands.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "interp/hooks.h"
#include "interp/session.h"
#include "ui/translations.h"

namespace corvane::ui {

// What the language selection needs to know of the run.
struct LanguageSelection {
  bool maintenance = false;     // MAINTENANCE is true
  bool patch_file = false;      // a ".msp" lies beside the engine
  std::string cached_language;  // the engine cache's language file (base name + ".lan")
  // Shows the language dialog with the names and the preselected index; returns the chosen
  // index, or -1 when the user cancelled. Not called in a silent run.
  std::function<int(const std::vector<std::string>& names, int preselected)> choose;
};

class Localisation : public interp::Localizer {
 public:
  // `support_folder` ends with a backslash.
  Localisation(interp::Session& session, std::string support_folder);

  // The languages the support folder holds translations for, in the order the folder lists
  // them; *default_present says whether the default language (script image item 21) is one of
  // them. None without the keys file (product title + ".mtx").
  std::vector<std::string> AvailableLanguages(bool* default_present = nullptr);

  // The selection at session start: defines LANGUAGE, empty first and then with the chosen
  // language. False when the user cancelled the language dialog (the run must not go on).
  bool SelectLanguage(const LanguageSelection& selection);

  // interp::Localizer
  std::string Translate(std::string_view key, int slot, std::string_view text) override;
  // Loads the tables of a language and its shared language file. A language whose translations
  // file the setup does not carry raises image::ScriptFailure.
  void LoadLanguage(const std::string& language) override;
  std::string TranslateDialogText(const std::string& dialog_key, const std::string& control_name,
                                  const std::string& template_text) override;

  const TranslationTables& tables() const { return tables_; }

 private:
  interp::Session& session_;
  std::string folder_;
  TranslationTables tables_;
  TranslationMode mode_;
};

// The index the language dialog preselects: the first item equal to the user's default
// language, else the default language's item, else the first.
int PreselectedLanguage(const std::vector<std::string>& names, const std::string& default_language,
                        const std::string& user_default_language);

}  // namespace corvane::ui
