// The web server's administration in the transcript.
#include <utility>

#include "platform/sim/transcript.h"

namespace corvane::platform::sim {
namespace {

std::string Shown(const std::string& value) {
  std::string out = "\"";
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\r' && i + 1 < value.size() && value[i + 1] == '\n') {
      out += "\\n";
      ++i;
    } else {
      out += value[i];
    }
  }
  return out + "\"";
}

std::string Outcome(Status s) { return s == Status::kOk ? "ok" : StatusName(s); }

std::string Args(const std::vector<WebArg>& args) {
  std::string out;
  for (const WebArg& a : args) {
    out += " ";
    if (auto* text = std::get_if<std::string>(&a)) {
      out += Shown(*text);
    } else if (auto* n = std::get_if<int32_t>(&a)) {
      out += std::to_string(*n);
    } else {
      out += std::get<bool>(a) ? "true" : "false";
    }
  }
  return out;
}

class RecordingWebObject : public WebAdminObject {
 public:
  RecordingWebObject(std::unique_ptr<WebAdminObject> target, std::string label, Transcript& t)
      : target_(std::move(target)), label_(std::move(label)), t_(t) {}

  std::string ClassName() override { return target_->ClassName(); }
  std::string Name() override { return target_->Name(); }
  Status Get(const std::string& property, std::string* value) override {
    Status s = target_->Get(property, value);
    t_.Add("web server get " + label_ + " " + property + " -> " +
           (s == Status::kOk ? Shown(*value) : Outcome(s)));
    return s;
  }
  Status Put(const std::string& property, const std::string& value) override {
    Status s = target_->Put(property, value);
    t_.Add("web server put " + label_ + " " + property + " = " + Shown(value) + " -> " +
           Outcome(s));
    return s;
  }
  Status SetInfo() override {
    Status s = target_->SetInfo();
    t_.Add("web server commit " + label_ + " -> " + Outcome(s));
    return s;
  }
  std::unique_ptr<WebAdminObject> GetChild(const std::string& class_name, const std::string& name,
                                           Status* status) override {
    Status s = Status::kOk;
    auto object = target_->GetChild(class_name, name, &s);
    if (status) *status = s;
    t_.Add("web server open " + label_ + "/" + name + " (" + class_name + ") -> " + Outcome(s));
    return Wrap(std::move(object), name);
  }
  std::unique_ptr<WebAdminObject> Create(const std::string& class_name, const std::string& name,
                                         Status* status) override {
    Status s = Status::kOk;
    auto object = target_->Create(class_name, name, &s);
    if (status) *status = s;
    t_.Add("web server create " + label_ + "/" + name + " (" + class_name + ") -> " + Outcome(s));
    return Wrap(std::move(object), name);
  }
  Status Delete(const std::string& class_name, const std::string& name) override {
    Status s = target_->Delete(class_name, name);
    t_.Add("web server delete " + label_ + "/" + name + " (" + class_name + ") -> " + Outcome(s));
    return s;
  }
  Status Children(std::vector<WebAdminChild>* children) override {
    Status s = target_->Children(children);
    t_.Add("web server list " + label_ + " -> " +
           (s == Status::kOk ? std::to_string(children->size()) + " objects" : Outcome(s)));
    return s;
  }
  Status Invoke(const std::string& method, const std::vector<WebArg>& args) override {
    Status s = target_->Invoke(method, args);
    t_.Add("web server call " + label_ + " " + method + Args(args) + " -> " + Outcome(s));
    return s;
  }

 private:
  std::unique_ptr<WebAdminObject> Wrap(std::unique_ptr<WebAdminObject> object,
                                       const std::string& name) {
    if (!object) return nullptr;
    return std::make_unique<RecordingWebObject>(std::move(object), label_ + "/" + name, t_);
  }
  std::unique_ptr<WebAdminObject> target_;
  const std::string label_;
  Transcript& t_;
};

class RecordingWebLibrary : public WebAdminLibrary {
 public:
  RecordingWebLibrary(std::unique_ptr<WebAdminLibrary> target, Transcript& t)
      : target_(std::move(target)), t_(t) {}

  Status SiteList(const std::string& host, std::string* descriptions) override {
    Status s = target_->SiteList(host, descriptions);
    Line("GetIISSiteList " + host, s, s == Status::kOk ? Shown(*descriptions) : "");
    return s;
  }
  Status SiteIndex(const std::string& host, const std::string& description,
                   int32_t* index) override {
    Status s = target_->SiteIndex(host, description, index);
    Line("GetIISSiteIndex " + host + " " + Shown(description), s,
         s == Status::kOk ? std::to_string(*index) : "");
    return s;
  }
  Status GetProperty(const std::string& host, bool of_site, int32_t site, const std::string& folder,
                     const std::string& name, std::string* value) override {
    Status s = target_->GetProperty(host, of_site, site, folder, name, value);
    Line("GetIISProperty " + host + " " + Where(of_site, site, folder) + " " + name, s,
         s == Status::kOk ? Shown(*value) : "");
    return s;
  }
  Status SetProperty(const std::string& host, bool of_site, int32_t site, const std::string& folder,
                     const std::string& name, const std::string& value) override {
    Status s = target_->SetProperty(host, of_site, site, folder, name, value);
    Line("SetIISProperty " + host + " " + Where(of_site, site, folder) + " " + name + " = " +
             Shown(value),
         s, "");
    return s;
  }
  Status CreateSite(const std::string& host, const WebSiteSettings& settings,
                    int32_t* index) override {
    Status s = target_->CreateSite(host, settings, index);
    Line("CreateIISSite " + host + " " + Shown(settings.description) + " index " +
             std::to_string(settings.index) + " bindings " +
             Shown(settings.ip + ":" + settings.port + ":" + settings.host_header),
         s, s == Status::kOk ? std::to_string(*index) : "");
    return s;
  }
  Status CreateFolder(const std::string& host, const WebFolderSettings& settings) override {
    Status s = target_->CreateFolder(host, settings);
    Line("CreateIISSiteFolder " + host + " " + Where(false, settings.site, settings.folder) +
             " path " + Shown(settings.physical_path),
         s, "");
    return s;
  }
  Status DeleteSite(const std::string& host, int32_t site) override {
    Status s = target_->DeleteSite(host, site);
    Line("DeleteIISSite " + host + " site " + std::to_string(site), s, "");
    return s;
  }
  Status DeleteFolder(const std::string& host, int32_t site, const std::string& folder) override {
    Status s = target_->DeleteFolder(host, site, folder);
    Line("DeleteIISSiteFolder " + host + " " + Where(false, site, folder), s, "");
    return s;
  }
  Status ControlSite(const std::string& host, int32_t site, int32_t action) override {
    Status s = target_->ControlSite(host, site, action);
    Line("ControlIISSite " + host + " site " + std::to_string(site) + " action " +
             std::to_string(action),
         s, "");
    return s;
  }
  Status AnonymousUser(const std::string& host, std::string* account) override {
    Status s = target_->AnonymousUser(host, account);
    Line("GetIISAnonUser " + host, s, s == Status::kOk ? Shown(*account) : "");
    return s;
  }
  Status UniqueAccountId(const std::string& host, int32_t site, std::string* account) override {
    Status s = target_->UniqueAccountId(host, site, account);
    Line("GetIISUniqueAccountID " + host + " site " + std::to_string(site), s,
         s == Status::kOk ? Shown(*account) : "");
    return s;
  }
  Status SiteState(const std::string& host, int32_t site, int32_t* state) override {
    Status s = target_->SiteState(host, site, state);
    Line("GetIISSiteState " + host + " site " + std::to_string(site), s,
         s == Status::kOk ? std::to_string(*state) : "");
    return s;
  }

 private:
  static std::string Where(bool of_site, int32_t site, const std::string& folder) {
    return "site " + std::to_string(site) + (of_site ? "" : " folder " + Shown(folder));
  }
  void Line(const std::string& call, Status s, const std::string& result) {
    t_.Add("web admin library " + call + " -> " + Outcome(s) +
           (result.empty() ? "" : " " + result));
  }
  std::unique_ptr<WebAdminLibrary> target_;
  Transcript& t_;
};

}  // namespace

std::unique_ptr<WebAdminObject> RecordingWebServer::OpenWebService(const std::string& host,
                                                                   Status* status) {
  Status s = Status::kOk;
  auto service = target_.OpenWebService(host, &s);
  if (status) *status = s;
  const std::string label = "IIS://" + host + "/W3SVC";
  t_.Add("web server open " + label + " -> " + Outcome(s));
  if (!service) return nullptr;
  return std::make_unique<RecordingWebObject>(std::move(service), label, t_);
}

std::unique_ptr<WebAdminLibrary> RecordingWebServer::LoadAdminLibrary(const std::string& path,
                                                                      Status* status) {
  Status s = Status::kOk;
  auto library = target_.LoadAdminLibrary(path, &s);
  if (status) *status = s;
  t_.Add("web admin library load \"" + path + "\" -> " + Outcome(s));
  if (!library) return nullptr;
  return std::make_unique<RecordingWebLibrary>(std::move(library), t_);
}

}  // namespace corvane::platform::sim
