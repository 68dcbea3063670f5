#include "webadmin/config_session.h"

#include <cwchar>

namespace corvane::webadmin {
namespace {

const wchar_t kAppHostPath[] = L"MACHINE/WEBROOT/APPHOST";

bool SameWide(const std::wstring& a, const std::wstring& b) {
  return CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()),
                        b.data(), static_cast<int>(b.size())) == CSTR_EQUAL;
}

VARIANT IndexVariant(DWORD i) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_UI4;
  v.ulVal = i;
  return v;
}

bool IsThisComputer(const std::wstring& host) {
  if (host.empty() || host == L"." || SameWide(host, L"localhost") || host == L"127.0.0.1") {
    return true;
  }
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  return GetComputerNameW(name, &size) && SameWide(host, name);
}

bool PutVariant(IAppHostElement* element, const wchar_t* attribute, VARIANT value) {
  Ref<IAppHostProperty> property;
  if (FAILED(element->GetPropertyByName(Bstr(attribute).get(), property.out())) || !property) {
    return false;
  }
  return SUCCEEDED(property->put_Value(value));
}

}  // namespace

std::wstring Wide(const char* text) {
  if (text == nullptr || *text == 0) return std::wstring();
  const int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, -1, out.data(), n);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

std::string Narrow(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, out.data(), n, nullptr, nullptr);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

bool ReadText(IAppHostElement* element, const wchar_t* attribute, std::wstring* value) {
  Ref<IAppHostProperty> property;
  if (FAILED(element->GetPropertyByName(Bstr(attribute).get(), property.out())) || !property) {
    return false;
  }
  BSTR text = nullptr;
  if (FAILED(property->get_StringValue(&text))) return false;
  value->assign(text ? text : L"", text ? SysStringLen(text) : 0);
  SysFreeString(text);
  return true;
}

bool WriteText(IAppHostElement* element, const wchar_t* attribute, const std::wstring& value) {
  Bstr text(value);
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = text.get();
  return PutVariant(element, attribute, v);
}

bool WriteFlag(IAppHostElement* element, const wchar_t* attribute, bool value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BOOL;
  v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return PutVariant(element, attribute, v);
}

bool WriteNumber(IAppHostElement* element, const wchar_t* attribute, uint32_t value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_UI4;
  v.ulVal = value;
  return PutVariant(element, attribute, v);
}

bool ReadNumber(IAppHostElement* element, const wchar_t* attribute, uint32_t* value) {
  Ref<IAppHostProperty> property;
  if (FAILED(element->GetPropertyByName(Bstr(attribute).get(), property.out())) || !property) {
    return false;
  }
  VARIANT v;
  VariantInit(&v);
  if (FAILED(property->get_Value(&v))) return false;
  VARIANT n;
  VariantInit(&n);
  const bool ok = SUCCEEDED(VariantChangeType(&n, &v, 0, VT_UI4));
  if (ok) *value = n.ulVal;
  VariantClear(&v);
  return ok;
}

bool Child(IAppHostElement* element, const wchar_t* name, Ref<IAppHostElement>* child) {
  return SUCCEEDED(element->GetElementByName(Bstr(name).get(), child->out())) && *child;
}

bool Items(IAppHostElement* element, Ref<IAppHostElementCollection>* collection) {
  return SUCCEEDED(element->get_Collection(collection->out())) && *collection;
}

bool FindItem(IAppHostElementCollection* collection, const wchar_t* attribute,
              const std::wstring& value, Ref<IAppHostElement>* item, DWORD* position) {
  DWORD count = 0;
  if (FAILED(collection->get_Count(&count))) return false;
  for (DWORD i = 0; i < count; ++i) {
    Ref<IAppHostElement> candidate;
    if (FAILED(collection->get_Item(IndexVariant(i), candidate.out())) || !candidate) continue;
    std::wstring text;
    if (ReadText(candidate.get(), attribute, &text) && SameWide(text, value)) {
      if (position) *position = i;
      *item->out() = candidate.get();
      candidate.get()->AddRef();
      return true;
    }
  }
  return false;
}

bool NewItem(IAppHostElementCollection* collection, const wchar_t* element_name,
             Ref<IAppHostElement>* item) {
  return SUCCEEDED(collection->CreateNewElement(Bstr(element_name).get(), item->out())) && *item;
}

bool AddItem(IAppHostElementCollection* collection, IAppHostElement* item) {
  return SUCCEEDED(collection->AddElement(item, -1));
}

bool DeleteItem(IAppHostElementCollection* collection, DWORD position) {
  return SUCCEEDED(collection->DeleteElement(IndexVariant(position)));
}

bool RunMethod(IAppHostElement* element, const wchar_t* method) {
  Ref<IAppHostMethodCollection> methods;
  if (FAILED(element->get_Methods(methods.out())) || !methods) return false;
  DWORD count = 0;
  if (FAILED(methods->get_Count(&count))) return false;
  for (DWORD i = 0; i < count; ++i) {
    Ref<IAppHostMethod> candidate;
    if (FAILED(methods->get_Item(IndexVariant(i), candidate.out())) || !candidate) continue;
    BSTR name = nullptr;
    if (FAILED(candidate->get_Name(&name))) continue;
    const bool match = name && SameWide(name, method);
    SysFreeString(name);
    if (!match) continue;
    Ref<IAppHostMethodInstance> instance;
    return SUCCEEDED(candidate->CreateInstance(instance.out())) && instance &&
           SUCCEEDED(instance->Execute());
  }
  return false;
}

std::wstring UrlPath(const char* folder) {
  std::wstring path = L"/" + Wide(folder);
  for (wchar_t& c : path) {
    if (c == L'\\') c = L'/';
  }
  while (path.size() > 1 && path.back() == L'/') path.pop_back();
  // "//shop" from a folder written with a leading slash.
  while (path.size() > 1 && path[1] == L'/') path.erase(0, 1);
  return path;
}

ConfigSession::ConfigSession() {
  const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  com_ours_ = SUCCEEDED(hr);
}

ConfigSession::~ConfigSession() {
  manager_.Reset();
  if (com_ours_) CoUninitialize();
}

bool ConfigSession::Open(const char* host) {
  const std::wstring name = Wide(host);
  HRESULT hr;
  if (IsThisComputer(name)) {
    hr = CoCreateInstance(kWritableAdminManagerClass, nullptr, CLSCTX_INPROC_SERVER,
                          kWritableAdminManagerInterface, reinterpret_cast<void**>(manager_.out()));
  } else {
    // Another computer's configuration system, reached through its own server process.
    std::wstring server = name;
    COSERVERINFO info = {};
    info.pwszName = server.data();
    MULTI_QI qi = {&kWritableAdminManagerInterface, nullptr, S_OK};
    hr = CoCreateInstanceEx(kWritableAdminManagerClass, nullptr, CLSCTX_REMOTE_SERVER, &info, 1,
                            &qi);
    if (SUCCEEDED(hr) && SUCCEEDED(qi.hr)) {
      *manager_.out() = static_cast<IAppHostWritableAdminManager*>(qi.pItf);
    } else if (qi.pItf) {
      qi.pItf->Release();
      hr = FAILED(hr) ? hr : qi.hr;
    }
  }
  if (FAILED(hr) || !manager_) return false;
  return SUCCEEDED(manager_->put_CommitPath(Bstr(kAppHostPath).get()));
}

bool ConfigSession::Section(const wchar_t* name, const std::wstring& location,
                            Ref<IAppHostElement>* section) {
  if (!manager_) return false;
  std::wstring path = kAppHostPath;
  if (!location.empty()) path += L"/" + location;
  return SUCCEEDED(manager_->GetAdminSection(Bstr(name).get(), Bstr(path).get(), section->out())) &&
         *section;
}

bool ConfigSession::Commit() { return manager_ && SUCCEEDED(manager_->CommitChanges()); }

bool ConfigSession::Sites(Ref<IAppHostElementCollection>* sites) {
  Ref<IAppHostElement> section;
  return Section(L"system.applicationHost/sites", L"", &section) && Items(section.get(), sites);
}

std::vector<SiteRef> ConfigSession::SiteList() {
  std::vector<SiteRef> out;
  Ref<IAppHostElementCollection> sites;
  DWORD count = 0;
  if (!Sites(&sites) || FAILED(sites->get_Count(&count))) return out;
  for (DWORD i = 0; i < count; ++i) {
    Ref<IAppHostElement> site;
    if (FAILED(sites->get_Item(IndexVariant(i), site.out())) || !site) continue;
    SiteRef ref;
    if (!ReadNumber(site.get(), L"id", &ref.id)) continue;
    ReadText(site.get(), L"name", &ref.name);
    out.push_back(ref);
  }
  return out;
}

bool ConfigSession::FindSite(uint32_t id, Ref<IAppHostElement>* site, SiteRef* ref,
                             DWORD* position) {
  Ref<IAppHostElementCollection> sites;
  if (!Sites(&sites)) return false;
  DWORD p = 0;
  if (!FindItem(sites.get(), L"id", std::to_wstring(id), site, &p)) return false;
  if (ref) {
    ref->id = id;
    ReadText(site->get(), L"name", &ref->name);
  }
  if (position) *position = p;
  return true;
}

bool ConfigSession::FindApplication(IAppHostElement* site, const std::wstring& url_path,
                                    Ref<IAppHostElement>* application,
                                    std::wstring* application_path) {
  Ref<IAppHostElementCollection> applications;
  DWORD count = 0;
  if (!Items(site, &applications) || FAILED(applications->get_Count(&count))) return false;
  size_t best = 0;
  bool found = false;
  for (DWORD i = 0; i < count; ++i) {
    Ref<IAppHostElement> candidate;
    if (FAILED(applications->get_Item(IndexVariant(i), candidate.out())) || !candidate) continue;
    std::wstring path;
    if (!ReadText(candidate.get(), L"path", &path)) continue;
    const bool prefix =
        path == L"/" ||
        (url_path.size() >= path.size() && SameWide(url_path.substr(0, path.size()), path) &&
         (url_path.size() == path.size() || url_path[path.size()] == L'/'));
    if (prefix && (!found || path.size() > best)) {
      best = path.size();
      found = true;
      *application->out() = candidate.get();
      candidate.get()->AddRef();
      *application_path = path;
    }
  }
  return found;
}

bool ConfigSession::FindFolder(IAppHostElement* site, const std::wstring& url_path,
                               Ref<IAppHostElement>* folder) {
  Ref<IAppHostElement> application;
  std::wstring application_path;
  if (!FindApplication(site, url_path, &application, &application_path)) return false;
  std::wstring relative =
      application_path == L"/" ? url_path : url_path.substr(application_path.size());
  if (relative.empty()) relative = L"/";
  Ref<IAppHostElementCollection> folders;
  return Items(application.get(), &folders) && FindItem(folders.get(), L"path", relative, folder);
}

bool ConfigSession::Pool(const std::wstring& name, bool create, Ref<IAppHostElement>* pool) {
  Ref<IAppHostElement> section;
  Ref<IAppHostElementCollection> pools;
  if (!Section(L"system.applicationHost/applicationPools", L"", &section) ||
      !Items(section.get(), &pools)) {
    return false;
  }
  if (FindItem(pools.get(), L"name", name, pool)) return true;
  if (!create) return false;
  return NewItem(pools.get(), L"add", pool) && WriteText(pool->get(), L"name", name) &&
         AddItem(pools.get(), pool->get());
}

}  // namespace corvane::webadmin
