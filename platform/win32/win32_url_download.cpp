#include "platform/win32/win32_url_download.h"

#include <servprov.h>
#include <urlmon.h>
#include <windows.h>

#include <atomic>
#include <string>

#include "platform/win32/system_library.h"

namespace corvane::platform::win32 {

namespace {

using DownloadToCacheFileFn = HRESULT(WINAPI*)(LPUNKNOWN, LPCSTR, LPSTR, DWORD, DWORD,
                                               IBindStatusCallback*);
using DownloadToFileFn = HRESULT(WINAPI*)(LPUNKNOWN, LPCSTR, LPCSTR, DWORD, IBindStatusCallback*);
using SetOptionFn = BOOL(WINAPI*)(void*, DWORD, void*, DWORD);

constexpr DWORD kOptionUserName = 28;  // INTERNET_OPTION_USERNAME
constexpr DWORD kOptionPassword = 29;  // INTERNET_OPTION_PASSWORD

std::string Narrow(LPCWSTR text) {
  if (text == nullptr || *text == 0) return "";
  int n = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return "";
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, -1, out.data(), n, nullptr, nullptr);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

// The callback object the downloader talks to: status steps, the HTTP negotiation (the server's
// answer), and the service provider through which the downloader may look for the negotiation.
class BindCallback : public IBindStatusCallback, public IHttpNegotiate, public IServiceProvider {
 public:
  explicit BindCallback(UrlDownloadCallback& callback) : callback_(callback) {}

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IBindStatusCallback)) {
      *object = static_cast<IBindStatusCallback*>(this);
    } else if (IsEqualIID(riid, IID_IHttpNegotiate)) {
      *object = static_cast<IHttpNegotiate*>(this);
    } else if (IsEqualIID(riid, IID_IServiceProvider)) {
      *object = static_cast<IServiceProvider*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  // The object lives on the caller's stack for the call; references only count.
  ULONG STDMETHODCALLTYPE Release() override { return --references_; }

  // IBindStatusCallback
  HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD, IBinding*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetPriority(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnLowResource(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnProgress(ULONG progress, ULONG maximum, ULONG code,
                                       LPCWSTR text) override {
    return callback_.OnProgress(code, progress, maximum, Narrow(text)) ? S_OK : E_ABORT;
  }
  HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT, LPCWSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD*, BINDINFO*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID, IUnknown*) override { return S_OK; }

  // IHttpNegotiate
  HRESULT STDMETHODCALLTYPE BeginningTransaction(LPCWSTR, LPCWSTR, DWORD,
                                                 LPWSTR* additional) override {
    if (additional != nullptr) *additional = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnResponse(DWORD code, LPCWSTR response_headers, LPCWSTR,
                                       LPWSTR* additional) override {
    if (additional != nullptr) *additional = nullptr;
    std::string headers = Narrow(response_headers);
    // The status line leads the headers; the callback wants the headers alone.
    size_t first = headers.find('\n');
    if (headers.compare(0, 5, "HTTP/") == 0) {
      headers = first == std::string::npos ? std::string() : headers.substr(first + 1);
    }
    callback_.OnResponse(static_cast<int>(code), headers);
    return S_OK;
  }

  // IServiceProvider
  HRESULT STDMETHODCALLTYPE QueryService(REFGUID, REFIID riid, void** object) override {
    return QueryInterface(riid, object);
  }

 private:
  UrlDownloadCallback& callback_;
  std::atomic<ULONG> references_{1};
};

}  // namespace

bool Win32UrlDownloader::Available() {
  return SystemProc<DownloadToFileFn>("urlmon.dll", "URLDownloadToFileA") != nullptr &&
         SystemProc<DownloadToCacheFileFn>("urlmon.dll", "URLDownloadToCacheFileA") != nullptr;
}

int32_t Win32UrlDownloader::DownloadToCacheFile(const std::string& address,
                                                UrlDownloadCallback& callback,
                                                std::string* cache_file) {
  auto download = SystemProc<DownloadToCacheFileFn>("urlmon.dll", "URLDownloadToCacheFileA");
  if (download == nullptr) return static_cast<int32_t>(E_NOTIMPL);
  const HRESULT com = CoInitialize(nullptr);
  SetErrorMode(SetErrorMode(0) | SEM_FAILCRITICALERRORS);
  BindCallback bind(callback);
  char file[MAX_PATH + 1] = {};
  const HRESULT result = download(nullptr, address.c_str(), file, MAX_PATH, 0, &bind);
  if (file[0] != 0) *cache_file = file;
  if (SUCCEEDED(com)) CoUninitialize();
  return static_cast<int32_t>(result);
}

bool Win32UrlDownloader::SetProcessCredentials(const std::string& user,
                                               const std::string& password) {
  auto set_option = SystemProc<SetOptionFn>("wininet.dll", "InternetSetOptionA");
  if (set_option == nullptr) return false;
  set_option(nullptr, kOptionUserName, const_cast<char*>(user.c_str()),
             static_cast<DWORD>(user.size()));
  set_option(nullptr, kOptionPassword, const_cast<char*>(password.c_str()),
             static_cast<DWORD>(password.size()));
  return true;
}

}  // namespace corvane::platform::win32
