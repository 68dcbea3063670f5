#include "ui/translations.h"

namespace corvane::ui {

namespace {

constexpr std::string_view kKeyOpen = "CODEGEAR$";
constexpr std::string_view kKeyClose = "$CODEGEAR";

std::string DialogEntryKey(std::string_view context, std::string_view key) {
  std::string k = platform::UpperCase(context);
  k.push_back('\n');
  k += platform::UpperCase(key);
  return k;
}

}  // namespace

TranslationMode TranslationModeOf(const image::ScriptImage& image) {
  // An undefined compiler variable leaves its placeholder as it stands.
  const std::string mode = image::ExpandCompilerVariables(image, "#LOCMODE#");
  if (mode == "#LOCMODE#" || platform::SameText(mode, "NEWONLY")) return TranslationMode::kNewOnly;
  if (platform::SameText(mode, "VARSONLY")) return TranslationMode::kVarsOnly;
  return TranslationMode::kAll;
}

std::vector<std::string> SplitLineList(std::string_view text) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find_first_of("\r\n", at);
    if (end == std::string_view::npos) end = text.size();
    lines.emplace_back(text.substr(at, end - at));
    at = end;
    if (at < text.size())
      at += text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n' ? 2 : 1;
  }
  return lines;
}

std::vector<std::string> ReadLineList(platform::FileSystem& files, const std::string& path,
                                      bool* exists) {
  std::string text;
  const bool found = files.FileExists(path) && files.ReadFile(path, &text) == platform::Status::kOk;
  if (exists) *exists = found;
  return found ? SplitLineList(text) : std::vector<std::string>();
}

bool IsLocalizationKey(std::string_view key) {
  return key.find(kKeyOpen) != std::string_view::npos &&
         key.find(kKeyClose) != std::string_view::npos;
}

std::string LocalizationKey(std::string_view variable_name) {
  return std::string(kKeyOpen) + std::string(variable_name) + std::string(kKeyClose);
}

TranslationTables::TranslationTables(std::vector<std::string> contexts,
                                     std::vector<std::string> keys,
                                     std::vector<std::string> translations,
                                     std::vector<std::string> sources)
    : contexts_(std::move(contexts)),
      keys_(std::move(keys)),
      translations_(std::move(translations)),
      sources_(std::move(sources)) {
  Index();
}

bool TranslationTables::Load(platform::FileSystem& files, const std::string& folder,
                             const std::string& keys_file, const std::string& language) {
  bool exists = false;
  std::vector<std::string> translations =
      ReadLineList(files, folder + "translations." + language, &exists);
  if (!exists) return false;
  *this = TranslationTables(ReadLineList(files, folder + "translations.Map"),
                            ReadLineList(files, folder + keys_file), std::move(translations),
                            ReadLineList(files, folder + "translations.Original"));
  return true;
}

void TranslationTables::Index() {
  first_key_.clear();
  first_dialog_entry_.clear();
  first_key_.reserve(keys_.size());
  for (size_t i = 0; i < keys_.size(); ++i) {
    first_key_.emplace(platform::UpperCase(keys_[i]), i);
    if (i < contexts_.size())
      first_dialog_entry_.emplace(DialogEntryKey(contexts_[i], keys_[i]), i);
  }
}

const std::string* TranslationTables::TranslateCommandText(std::string_view text,
                                                           std::string_view key, int n,
                                                           TranslationMode mode) const {
  if (n < 1) return nullptr;
  if (mode == TranslationMode::kVarsOnly && !IsLocalizationKey(key)) return nullptr;
  auto it = first_key_.find(platform::UpperCase(key));
  if (it == first_key_.end()) return nullptr;
  const size_t j = it->second + static_cast<size_t>(n) - 1;
  if (j >= translations_.size()) return nullptr;
  if (mode == TranslationMode::kNewOnly && (j >= sources_.size() || sources_[j] != text)) {
    return nullptr;
  }
  return &translations_[j];
}

const std::string* TranslationTables::TranslateDialogText(std::string_view dialog_key,
                                                          std::string_view control) const {
  auto it = first_dialog_entry_.find(DialogEntryKey(dialog_key, control));
  if (it == first_dialog_entry_.end() || it->second >= translations_.size()) return nullptr;
  return &translations_[it->second];
}

}  // namespace corvane::ui
