// One conversation with the web server's configuration system: the writable administration
// manager of a host, the sections of its configuration, and the sites, applications and virtual
// folders inside them. Every change is kept in the manager until Commit writes it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "webadmin/app_host.h"

namespace corvane::webadmin {

// Releases an interface pointer at the end of its scope.
template <typename T>
class Ref {
 public:
  Ref() = default;
  ~Ref() { Reset(); }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  T** out() {
    Reset();
    return &p_;
  }
  T* operator->() const { return p_; }
  T* get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  void Reset() {
    if (p_) p_->Release();
    p_ = nullptr;
  }

 private:
  T* p_ = nullptr;
};

// A BSTR made from a wide text, freed at the end of its scope.
class Bstr {
 public:
  explicit Bstr(const std::wstring& text) : b_(SysAllocStringLen(text.data(), text.size())) {}
  ~Bstr() { SysFreeString(b_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR get() const { return b_; }

 private:
  BSTR b_;
};

std::wstring Wide(const char* text);
std::string Narrow(const std::wstring& text);

// Attributes of an element, read and written as text (the configuration system converts them to
// and from their schema's types) or as numbers and flags.
bool ReadText(IAppHostElement* element, const wchar_t* attribute, std::wstring* value);
bool WriteText(IAppHostElement* element, const wchar_t* attribute, const std::wstring& value);
bool WriteFlag(IAppHostElement* element, const wchar_t* attribute, bool value);
bool WriteNumber(IAppHostElement* element, const wchar_t* attribute, uint32_t value);
bool ReadNumber(IAppHostElement* element, const wchar_t* attribute, uint32_t* value);
bool Child(IAppHostElement* element, const wchar_t* name, Ref<IAppHostElement>* child);
bool Items(IAppHostElement* element, Ref<IAppHostElementCollection>* collection);
// The first item of a collection whose attribute equals `value` (letter case ignored).
bool FindItem(IAppHostElementCollection* collection, const wchar_t* attribute,
              const std::wstring& value, Ref<IAppHostElement>* item, DWORD* position = nullptr);
// A new item of the collection (made with `element_name`, such as "add"), not yet added.
bool NewItem(IAppHostElementCollection* collection, const wchar_t* element_name,
             Ref<IAppHostElement>* item);
bool AddItem(IAppHostElementCollection* collection, IAppHostElement* item);
bool DeleteItem(IAppHostElementCollection* collection, DWORD position);
// Runs a method of the element ("Start", "Stop").
bool RunMethod(IAppHostElement* element, const wchar_t* method);

// The site with its name (which the configuration's location paths use).
struct SiteRef {
  uint32_t id = 0;
  std::wstring name;
};

class ConfigSession {
 public:
  ConfigSession();
  ~ConfigSession();
  ConfigSession(const ConfigSession&) = delete;
  ConfigSession& operator=(const ConfigSession&) = delete;

  // Connects to the configuration system of `host` ("", ".", "localhost" or this computer's name
  // for the local one). False when there is none (no server, no rights, unreachable).
  bool Open(const char* host);
  // A section of the server's configuration, for the server as a whole ("" location) or for a
  // location ("Site Name/folder"); changes are written into the server's own file.
  bool Section(const wchar_t* name, const std::wstring& location, Ref<IAppHostElement>* section);
  bool Commit();

  bool Sites(Ref<IAppHostElementCollection>* sites);
  std::vector<SiteRef> SiteList();
  bool FindSite(uint32_t id, Ref<IAppHostElement>* site, SiteRef* ref = nullptr,
                DWORD* position = nullptr);
  // The application whose path is the longest prefix of `url_path` ("/shop/img" finds "/shop"
  // or "/"), and the virtual folder of it that serves the path (when there is one).
  bool FindApplication(IAppHostElement* site, const std::wstring& url_path,
                       Ref<IAppHostElement>* application, std::wstring* application_path);
  bool FindFolder(IAppHostElement* site, const std::wstring& url_path,
                  Ref<IAppHostElement>* folder);
  // The application pool of that name (made when `create` is set and it is missing).
  bool Pool(const std::wstring& name, bool create, Ref<IAppHostElement>* pool);

 private:
  Ref<IAppHostWritableAdminManager> manager_;
  bool com_ours_ = false;
};

// "/" + the folder with forward slashes ("" is the root "/").
std::wstring UrlPath(const char* folder);

}  // namespace corvane::webadmin
