// The translation tables of a language: four parallel line lists that the authoring tool writes
// into the support folder, whose entries with the same index belong together.
//
//   contexts      "translations.Map"            the dialog key of a dialog text
//   keys          title + ".mtx"                the control's name (the dialog key again for the
//                                               form's caption), a command's identifier, or
//                                               "CODEGEAR$" NAME "$CODEGEAR" for a localization
//                                               variable
//   translations  "translations." + language    the translated text
//   sources       "translations.Original"       the text as it was when it was translated
//
// The lists may differ in length (a table written by hand, a damaged file): an entry that one of
// them lacks means that there is no translation, never a read past the end.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "image/script_image.h"
#include "platform/files.h"
#include "platform/text.h"

namespace corvane::ui {

// Which command texts are translated (the compiler variable LOCMODE).
enum class TranslationMode {
  kNewOnly,   // "NEWONLY" and no LOCMODE at all: a text only while it equals its source text
  kVarsOnly,  // "VARSONLY": only localization variables
  kAll,       // any other value: every text that has an entry
};
TranslationMode TranslationModeOf(const image::ScriptImage& image);

// The text of a line list file: lines end at CR LF, LF or CR; a final line break starts no new
// line. A missing file gives no lines.
std::vector<std::string> ReadLineList(platform::FileSystem& files, const std::string& path,
                                      bool* exists = nullptr);
std::vector<std::string> SplitLineList(std::string_view text);

class TranslationTables {
 public:
  TranslationTables() = default;
  TranslationTables(std::vector<std::string> contexts, std::vector<std::string> keys,
                    std::vector<std::string> translations, std::vector<std::string> sources);

  // Loads the tables of a language from the support folder (with its trailing backslash).
  // `keys_file` is the product title + ".mtx". False when the language's own translations file
  // does not exist; the other lists are empty when their files are missing.
  bool Load(platform::FileSystem& files, const std::string& folder, const std::string& keys_file,
            const std::string& language);

  // Text `n` (from 1) of the key: the entry n - 1 places after the key's first occurrence (letter
  // case ignored). In kNewOnly mode only while `text` still equals that entry's source text; in
  // kVarsOnly mode only for a localization key. nullopt when no translation applies.
  const std::string* TranslateCommandText(std::string_view text, std::string_view key, int n,
                                          TranslationMode mode) const;
  // The translation of a dialog's control: the first entry whose context and key are the dialog
  // key and the control's name (both ignoring letter case); nullptr when there is none.
  const std::string* TranslateDialogText(std::string_view dialog_key,
                                         std::string_view control) const;

  size_t size() const { return keys_.size(); }

 private:
  void Index();

  std::vector<std::string> contexts_, keys_, translations_, sources_;
  // First index of each key, and of each context + "\n" + key (upper-cased).
  std::unordered_map<std::string, size_t> first_key_;
  std::unordered_map<std::string, size_t> first_dialog_entry_;
};

// Whether a key names a localization variable.
bool IsLocalizationKey(std::string_view key);
// The key of a localization variable: "CODEGEAR$" + name + "$CODEGEAR".
std::string LocalizationKey(std::string_view variable_name);

}  // namespace corvane::ui
