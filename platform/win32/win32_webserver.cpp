// The scripting interface of the web server (before version 7) by COM automation: every object
// is an IDispatch, called by name (Get, Put, SetInfo, GetObject, Create, Delete, the methods),
// its children enumerated through its _NewEnum.
#include "platform/win32/win32_webserver.h"

#include <windows.h>
// After windows.h, which they need.
#include <objbase.h>
#include <oleauto.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/numbers.h"
#include "platform/text.h"
#include "platform/win32/com_apartment.h"
#include "platform/win32/win32_common.h"

namespace corvane::platform::win32 {
namespace {

std::wstring Wide(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, out.data(), n);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

std::string Narrow(const wchar_t* text, size_t length) {
  if (text == nullptr || length == 0) return std::string();
  const int n =
      WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), out.data(), n, nullptr, nullptr);
  return out;
}

// A VARIANT cleared at the end of its scope.
struct Variant {
  Variant() { VariantInit(&v); }
  ~Variant() { VariantClear(&v); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  VARIANT v;
};

void SetText(VARIANT* v, const std::string& text) {
  const std::wstring wide = Wide(text);
  v->vt = VT_BSTR;
  v->bstrVal = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

Status FromResult(HRESULT hr) {
  if (SUCCEEDED(hr)) return Status::kOk;
  switch (HRESULT_CODE(hr)) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return Status::kNotFound;
    case ERROR_ACCESS_DENIED:
      return Status::kAccessDenied;
    case ERROR_ALREADY_EXISTS:
    case ERROR_DUP_NAME:
      return Status::kAlreadyExists;
    default:
      return Status::kFailed;
  }
}

// Calls a member of an automation object by name. `args` are in the order a script writes them.
HRESULT Call(IDispatch* object, const wchar_t* member, WORD kind, std::vector<VARIANT>& args,
             VARIANT* result) {
  DISPID id = 0;
  LPOLESTR name = const_cast<LPOLESTR>(member);
  HRESULT hr = object->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr,
                       static_cast<UINT>(reversed.size()), 0};
  DISPID named = DISPID_PROPERTYPUT;
  if (kind == DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &named;
    params.cNamedArgs = 1;
  }
  return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, &params, result, nullptr, nullptr);
}

// A property of an automation object as text ("" when it has none).
std::string PropertyText(IDispatch* object, const wchar_t* name) {
  std::vector<VARIANT> none;
  Variant result, text;
  if (FAILED(Call(object, name, DISPATCH_PROPERTYGET, none, &result.v)) ||
      FAILED(VariantChangeType(&text.v, &result.v, 0, VT_BSTR))) {
    return std::string();
  }
  return Narrow(text.v.bstrVal, SysStringLen(text.v.bstrVal));
}

// One item of a list property: a text, a number, or a MIME type object ("extension=type").
std::string ItemText(const VARIANT& item) {
  if (item.vt == VT_DISPATCH && item.pdispVal != nullptr) {
    return PropertyText(item.pdispVal, L"Extension") + "=" +
           PropertyText(item.pdispVal, L"MimeType");
  }
  Variant text;
  if (FAILED(VariantChangeType(&text.v, const_cast<VARIANT*>(&item), 0, VT_BSTR))) {
    return std::string();
  }
  return Narrow(text.v.bstrVal, SysStringLen(text.v.bstrVal));
}

std::string ValueText(const VARIANT& value) {
  if (value.vt == VT_BOOL) return value.boolVal ? "TRUE" : "FALSE";
  if (value.vt == (VT_ARRAY | VT_VARIANT) && value.parray != nullptr) {
    LONG low = 0, high = -1;
    SafeArrayGetLBound(value.parray, 1, &low);
    SafeArrayGetUBound(value.parray, 1, &high);
    std::string out;
    for (LONG i = low; i <= high; ++i) {
      Variant item;
      if (FAILED(SafeArrayGetElement(value.parray, &i, &item.v))) continue;
      if (!out.empty()) out += "\r\n";
      out += ItemText(item.v);
    }
    return out;
  }
  if (value.vt == VT_EMPTY || value.vt == VT_NULL) return std::string();
  return ItemText(value);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  size_t at = 0;
  while (at <= text.size()) {
    size_t end = text.find('\n', at);
    std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) out.push_back(line);
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return out;
}

// A MIME type object of the scripting interface for "extension=type".
HRESULT MimeTypeObject(const std::string& entry, IDispatch** object) {
  const size_t eq = entry.find('=');
  if (eq == std::string::npos) return E_INVALIDARG;
  CLSID clsid;
  HRESULT hr = CLSIDFromProgID(L"MimeMap", &clsid);
  if (FAILED(hr)) return hr;
  hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                        reinterpret_cast<void**>(object));
  if (FAILED(hr)) return hr;
  for (const auto& [name, text] :
       {std::pair<const wchar_t*, std::string>{L"Extension", entry.substr(0, eq)},
        {L"MimeType", entry.substr(eq + 1)}}) {
    std::vector<VARIANT> arg(1);
    VariantInit(&arg[0]);
    SetText(&arg[0], text);
    hr = Call(*object, name, DISPATCH_PROPERTYPUT, arg, nullptr);
    VariantClear(&arg[0]);
    if (FAILED(hr)) {
      (*object)->Release();
      *object = nullptr;
      return hr;
    }
  }
  return S_OK;
}

// The value to put, in the form of the value the property has now (or, for a property that has
// none, the form its text suggests).
HRESULT MakeValue(const std::string& property, const std::string& text, const VARIANT& current,
                  VARIANT* out) {
  VariantInit(out);
  const bool list = current.vt == (VT_ARRAY | VT_VARIANT) || text.find('\n') != std::string::npos;
  if (list || SameText(property, "MimeMap")) {
    const std::vector<std::string> items = Lines(text);
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(items.size()));
    if (array == nullptr) return E_OUTOFMEMORY;
    for (LONG i = 0; i < static_cast<LONG>(items.size()); ++i) {
      Variant item;
      if (SameText(property, "MimeMap")) {
        HRESULT hr = MimeTypeObject(items[i], &item.v.pdispVal);
        if (FAILED(hr)) {
          SafeArrayDestroy(array);
          return hr;
        }
        item.v.vt = VT_DISPATCH;
      } else {
        SetText(&item.v, items[i]);
      }
      SafeArrayPutElement(array, &i, &item.v);
    }
    out->vt = VT_ARRAY | VT_VARIANT;
    out->parray = array;
    return S_OK;
  }
  const VARTYPE type = current.vt == VT_EMPTY ? static_cast<VARTYPE>(VT_BSTR) : current.vt;
  if (type == VT_BOOL) {
    const bool on = SameText(text, "TRUE") || text == "-1" || text == "1";
    if (!on && !SameText(text, "FALSE") && text != "0") return DISP_E_TYPEMISMATCH;
    out->vt = VT_BOOL;
    out->boolVal = on ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  if (type == VT_I4 || type == VT_UI4 || type == VT_I2 || type == VT_UI2 || type == VT_INT ||
      type == VT_UINT) {
    auto n = ParseDecimal64(text);
    if (!n || *n < INT32_MIN || *n > UINT32_MAX) return DISP_E_TYPEMISMATCH;
    out->vt = VT_I4;
    out->lVal = static_cast<LONG>(static_cast<uint32_t>(*n));
    return S_OK;
  }
  SetText(out, text);
  return S_OK;
}

class Win32WebObject : public WebAdminObject {
 public:
  Win32WebObject(std::shared_ptr<ComApartment> apartment, IDispatch* object)
      : apartment_(std::move(apartment)), object_(object) {}
  ~Win32WebObject() override { object_->Release(); }

  std::string ClassName() override { return PropertyText(object_, L"Class"); }
  std::string Name() override { return PropertyText(object_, L"Name"); }

  Status Get(const std::string& property, std::string* value) override {
    Variant result;
    Status s = GetVariant(property, &result.v);
    if (s == Status::kOk) *value = ValueText(result.v);
    return s;
  }

  Status Put(const std::string& property, const std::string& value) override {
    Variant current, put;
    if (GetVariant(property, &current.v) != Status::kOk) VariantInit(&current.v);
    HRESULT hr = MakeValue(property, value, current.v, &put.v);
    if (FAILED(hr)) return Status::kFailed;
    std::vector<VARIANT> args(2);
    VariantInit(&args[0]);
    SetText(&args[0], property);
    args[1] = put.v;  // borrowed: `put` clears it
    hr = Call(object_, L"Put", DISPATCH_METHOD, args, nullptr);
    VariantClear(&args[0]);
    if (hr == DISP_E_UNKNOWNNAME || HRESULT_CODE(hr) == ERROR_INVALID_PARAMETER) {
      return Status::kInvalidName;
    }
    return FromResult(hr);
  }

  Status SetInfo() override {
    std::vector<VARIANT> none;
    return FromResult(Call(object_, L"SetInfo", DISPATCH_METHOD, none, nullptr));
  }

  std::unique_ptr<WebAdminObject> GetChild(const std::string& class_name, const std::string& name,
                                           Status* status) override {
    return Child(L"GetObject", class_name, name, status);
  }
  std::unique_ptr<WebAdminObject> Create(const std::string& class_name, const std::string& name,
                                         Status* status) override {
    return Child(L"Create", class_name, name, status);
  }

  Status Delete(const std::string& class_name, const std::string& name) override {
    std::vector<VARIANT> args(2);
    VariantInit(&args[0]);
    VariantInit(&args[1]);
    SetText(&args[0], class_name);
    SetText(&args[1], name);
    HRESULT hr = Call(object_, L"Delete", DISPATCH_METHOD, args, nullptr);
    VariantClear(&args[0]);
    VariantClear(&args[1]);
    return FromResult(hr);
  }

  Status Children(std::vector<WebAdminChild>* children) override {
    std::vector<VARIANT> none;
    Variant result;
    DISPPARAMS params = {nullptr, nullptr, 0, 0};
    HRESULT hr = object_->Invoke(DISPID_NEWENUM, IID_NULL, LOCALE_USER_DEFAULT,
                                 DISPATCH_PROPERTYGET | DISPATCH_METHOD, &params, &result.v,
                                 nullptr, nullptr);
    if (FAILED(hr) || (result.v.vt != VT_UNKNOWN && result.v.vt != VT_DISPATCH) ||
        result.v.punkVal == nullptr) {
      return FAILED(hr) ? FromResult(hr) : Status::kFailed;
    }
    IEnumVARIANT* items = nullptr;
    hr = result.v.punkVal->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&items));
    if (FAILED(hr)) return FromResult(hr);
    children->clear();
    while (true) {
      Variant item;
      ULONG fetched = 0;
      if (items->Next(1, &item.v, &fetched) != S_OK || fetched == 0) break;
      if (item.v.vt != VT_DISPATCH || item.v.pdispVal == nullptr) continue;
      children->push_back(
          {PropertyText(item.v.pdispVal, L"Class"), PropertyText(item.v.pdispVal, L"Name")});
    }
    items->Release();
    return Status::kOk;
  }

  Status Invoke(const std::string& method, const std::vector<WebArg>& args) override {
    std::vector<VARIANT> values(args.size());
    for (size_t i = 0; i < args.size(); ++i) {
      VariantInit(&values[i]);
      if (auto* text = std::get_if<std::string>(&args[i])) {
        SetText(&values[i], *text);
      } else if (auto* n = std::get_if<int32_t>(&args[i])) {
        values[i].vt = VT_I4;
        values[i].lVal = *n;
      } else {
        values[i].vt = VT_BOOL;
        values[i].boolVal = std::get<bool>(args[i]) ? VARIANT_TRUE : VARIANT_FALSE;
      }
    }
    const std::wstring name = Wide(method);
    HRESULT hr = Call(object_, name.c_str(), DISPATCH_METHOD, values, nullptr);
    for (VARIANT& v : values) VariantClear(&v);
    if (hr == DISP_E_UNKNOWNNAME) return Status::kNotFound;
    return FromResult(hr);
  }

 private:
  Status GetVariant(const std::string& property, VARIANT* result) {
    std::vector<VARIANT> args(1);
    VariantInit(&args[0]);
    SetText(&args[0], property);
    HRESULT hr = Call(object_, L"Get", DISPATCH_METHOD, args, result);
    VariantClear(&args[0]);
    if (FAILED(hr)) return hr == DISP_E_UNKNOWNNAME ? Status::kNotFound : FromResult(hr);
    return Status::kOk;
  }

  std::unique_ptr<WebAdminObject> Child(const wchar_t* verb, const std::string& class_name,
                                        const std::string& name, Status* status) {
    std::vector<VARIANT> args(2);
    VariantInit(&args[0]);
    VariantInit(&args[1]);
    SetText(&args[0], class_name);
    SetText(&args[1], name);
    Variant result;
    HRESULT hr = Call(object_, verb, DISPATCH_METHOD, args, &result.v);
    VariantClear(&args[0]);
    VariantClear(&args[1]);
    Status s = FromResult(hr);
    if (s == Status::kOk && (result.v.vt != VT_DISPATCH || result.v.pdispVal == nullptr)) {
      s = Status::kFailed;
    }
    if (status) *status = s;
    if (s != Status::kOk) return nullptr;
    IDispatch* child = result.v.pdispVal;
    child->AddRef();
    return std::make_unique<Win32WebObject>(apartment_, child);
  }

  std::shared_ptr<ComApartment> apartment_;
  IDispatch* object_;
};

}  // namespace

std::unique_ptr<WebAdminObject> Win32WebServer::OpenWebService(const std::string& host,
                                                               Status* status) {
  auto apartment = std::make_shared<ComApartment>();
  CLSID clsid;
  IDispatch* space = nullptr;
  // Without the scripting interface (a server of version 7 and later without it, or no server)
  // the namespace object is not registered.
  HRESULT hr = CLSIDFromProgID(L"IISNamespace", &clsid);
  if (SUCCEEDED(hr)) {
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                          reinterpret_cast<void**>(&space));
  }
  if (FAILED(hr) || space == nullptr) {
    if (status) *status = Status::kNotFound;
    return nullptr;
  }
  Win32WebObject namespace_object(apartment, space);
  return namespace_object.GetChild("IIsWebService", host + "/w3svc", status);
}

}  // namespace corvane::platform::win32
