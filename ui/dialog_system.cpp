#include "ui/dialog_system.h"

#include "image/failure.h"
#include "ui/form_stream.h"
#include "ui/form_text.h"
#include "ui/property_rules.h"

namespace corvane::ui {
namespace {

// Changes the current folder and changes it back when it goes out of scope.
class CurrentFolderScope {
 public:
  CurrentFolderScope(platform::FileSystem& files, const std::string& path)
      : files_(files), saved_(files.GetCurrentDirectory()) {
    size_t slash = path.find_last_of("\\/");
    if (slash != std::string::npos) {
      std::string folder = path.substr(0, slash);
      if (folder.empty() || folder.back() == ':') folder += '\\';
      files_.SetCurrentDirectory(folder);  // as for the system call, a failure changes nothing
    }
  }
  ~CurrentFolderScope() { files_.SetCurrentDirectory(saved_); }

 private:
  platform::FileSystem& files_;
  std::string saved_;
};

std::string FileName(const std::string& path) {
  size_t at = path.find_last_of("\\/:");
  return at == std::string::npos ? path : path.substr(at + 1);
}

std::string ReadWholeFile(platform::FileSystem& files, const std::string& path) {
  std::string contents;
  platform::Status status = files.ReadFile(path, &contents);
  if (status != platform::Status::kOk)
    throw image::ScriptFailure(FileOpenErrorMessage(path, status));
  return contents;
}

}  // namespace

std::string FileOpenErrorMessage(const std::string& path, platform::Status status) {
  const char* text;
  switch (status) {
    case platform::Status::kNotFound:
      text = "The system cannot find the file specified";
      break;
    case platform::Status::kAccessDenied:
      text = "Access is denied";
      break;
    case platform::Status::kInvalidName:
      text = "The filename, directory name, or volume label syntax is incorrect";
      break;
    default:
      text = "A device attached to the system is not functioning";
      break;
  }
  return "Cannot open file \"" + path + "\". " + text;
}

std::unique_ptr<PoolTemplate> CreateDialogForm(std::string_view form_file, std::string_view file_name) {
  std::string_view stream = SkipResourceHeader(form_file);
  FormObject root = ReadBinaryStream(NormaliseBinaryStream(stream));
  auto form = std::make_unique<PoolTemplate>();
  form->ReadRoot(root);
  form->meta_timer() = FormTimer{1000, false, "MetaTimerTimer"};
  form->timer() = FormTimer{1000, true, "Timer1Timer"};
  form->SetValue("Hint", FormValue::String(std::string(file_name)));
  return form;
}

DialogSystem::DialogSystem(platform::FileSystem& files) : files_(files) {}

DialogSystem::~DialogSystem() { Stop(); }

void DialogSystem::Start(const std::string& support_folder, const VariableWriter& set_variable) {
  Stop();
  dialog_folder_ = support_folder;
  first_display_ = true;
  main_form_created_ = true;
  current_dialog_.clear();
  if (set_variable) set_variable("VORT_IsCancelled", "FALSE", "ShowDesign");
}

PoolTemplate& DialogSystem::LoadDialog(const std::string& key, const std::string& form_path) {
  CurrentFolderScope folder(files_, form_path);
  std::string upper_key = platform::UpperCase(key);
  Entry* entry = nullptr;
  for (Entry& e : registry_) {
    if (e.key == upper_key) {
      entry = &e;
      e.form.reset();  // the earlier form of this command is replaced
      break;
    }
  }
  if (!entry) {
    registry_.push_back({upper_key, nullptr});
    entry = &registry_.back();
  }
  std::unique_ptr<PoolTemplate> form;
  {
    CurrentFolderScope inner(files_, form_path);
    form = CreateDialogForm(ReadWholeFile(files_, form_path), FileName(form_path));
  }
  PoolTemplate& result = *form;
  entry->form = std::move(form);
  result.rules() = SplitRuleLines(ReadWholeFile(files_, form_path + ".zelf"));
  return result;
}

PoolTemplate& DialogSystem::LoadCommandDialog(size_t command_index, const std::string& dialog_name) {
  return LoadDialog(std::to_string(command_index), dialog_folder_ + dialog_name + ".dfm");
}

PoolTemplate* DialogSystem::FindDialog(std::string_view key) const {
  std::string upper_key = platform::UpperCase(key);
  for (const Entry& e : registry_)
    if (e.key == upper_key) return e.form.get();
  return nullptr;
}

void DialogSystem::StoreTemplate(const std::string& key, const std::string& text) {
  templates_.emplace(key, text);  // an existing template is never replaced
}

std::string DialogSystem::FetchTemplate(const std::string& key) const {
  auto it = templates_.find(key);
  return it == templates_.end() ? std::string() : it->second;
}

void DialogSystem::Stop() {
  registry_.clear();
  templates_.clear();
  main_form_created_ = false;
  current_dialog_.clear();
}

}  // namespace corvane::ui
