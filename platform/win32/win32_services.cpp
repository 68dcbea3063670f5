#include "platform/win32/win32_services.h"

#include "platform/win32/win32_common.h"
// After windows.h (through win32_common.h).
#include <mstask.h>
#include <objidl.h>
#include <winsvc.h>

#include "platform/text.h"
#include "platform/win32/com_apartment.h"

namespace corvane::platform::win32 {

namespace {

// The scheduler's classes and interfaces, named here so that nothing depends on a GUID library.
constexpr GUID kClsidTaskScheduler = {
    0x148BD52A, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
constexpr GUID kClsidTask = {
    0x148BD520, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
constexpr GUID kIidTaskScheduler = {
    0x148BD527, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
constexpr GUID kIidTask = {
    0x148BD524, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
constexpr GUID kIidPersistFile = {
    0x0000010B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// How long a started service may take to come up, and how long a work item's file may stay
// locked by the scheduler reading it (it reads each file it is told has changed).
constexpr DWORD kServiceStartMs = 15000;
constexpr DWORD kFileBusyMs = 5000;
constexpr DWORD kPollMs = 20;

const HRESULT kSharingViolation = HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION);

std::wstring Wide(const std::string& s) {
  std::u16string u = Utf16From1252(s);
  return std::wstring(u.begin(), u.end());
}

std::string Narrow(const wchar_t* s) {
  if (s == nullptr) return std::string();
  std::u16string u;
  for (; *s != 0; ++s) u.push_back(static_cast<char16_t>(*s));
  return Cp1252FromUtf16(u);
}

// Overwrites a wide copy of a secret before it goes.
void Wipe(std::wstring* s) {
  SecureZeroMemory(s->data(), s->size() * sizeof(wchar_t));
  s->clear();
}

class ScopedService {
 public:
  ScopedService() = default;
  ~ScopedService() { reset(nullptr); }
  ScopedService(const ScopedService&) = delete;
  ScopedService& operator=(const ScopedService&) = delete;
  void reset(SC_HANDLE h) {
    if (h_ != nullptr) CloseServiceHandle(h_);
    h_ = h;
  }
  SC_HANDLE get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }

 private:
  SC_HANDLE h_ = nullptr;
};

// A service of a computer and the service manager it was opened through.
struct OpenedService {
  ScopedService manager;
  ScopedService service;
};

Status ServiceFailure(DWORD error) {
  switch (error) {
    case ERROR_SERVICE_DOES_NOT_EXIST:
      Fail(error);
      return Status::kNotFound;
    case ERROR_SERVICE_ALREADY_RUNNING:
      Fail(error);
      return Status::kAlreadyExists;
    case ERROR_ACCESS_DENIED:
      return Fail(error);
    default:
      Fail(error);
      return Status::kFailed;
  }
}

Status OpenServiceOf(const std::string& computer, const std::string& name, DWORD access,
                     OpenedService* opened) {
  opened->manager.reset(
      OpenSCManagerA(computer.empty() ? nullptr : computer.c_str(), nullptr, SC_MANAGER_CONNECT));
  if (!opened->manager) return ServiceFailure(GetLastError());
  opened->service.reset(OpenServiceA(opened->manager.get(), name.c_str(), access));
  if (!opened->service) return ServiceFailure(GetLastError());
  return Status::kOk;
}

Status StateOf(SC_HANDLE service, uint32_t* state) {
  SERVICE_STATUS status = {};
  if (!QueryServiceStatus(service, &status)) return ServiceFailure(GetLastError());
  *state = status.dwCurrentState;
  return Status::kOk;
}

// Owns one reference of a COM object.
template <typename T>
class Ref {
 public:
  Ref() = default;
  ~Ref() { reset(); }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  void reset() {
    if (p_ != nullptr) p_->Release();
    p_ = nullptr;
  }
  T* operator->() const { return p_; }
  T* get() const { return p_; }
  T** out() {
    reset();
    return &p_;
  }
  IUnknown** unknown() { return reinterpret_cast<IUnknown**>(out()); }
  void** any() { return reinterpret_cast<void**>(out()); }

 private:
  T* p_ = nullptr;
};

Status FromResult(HRESULT hr) {
  if (SUCCEEDED(hr)) return Status::kOk;
  if (hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ||
      hr == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)) {
    Fail(ERROR_FILE_NOT_FOUND);
    return Status::kNotFound;
  }
  Fail(HRESULT_FACILITY(hr) == FACILITY_WIN32 ? HRESULT_CODE(hr) : ERROR_GEN_FAILURE);
  return Status::kFailed;
}

// Repeats a call of the scheduler while the work item's file is locked, for a bounded time.
template <typename Fn>
HRESULT WhileBusy(Fn call) {
  HRESULT hr = call();
  for (DWORD waited = 0; hr == kSharingViolation && waited < kFileBusyMs; waited += kPollMs) {
    Sleep(kPollMs);
    hr = call();
  }
  return hr;
}

// The scheduler of a computer ("" this one; a name without the two leading backslashes gets
// them, as the scheduler wants it).
HRESULT OpenScheduler(const std::string& computer, Ref<ITaskScheduler>* scheduler) {
  CoCreateInstanceFn create = CoCreateInstanceProc();
  if (create == nullptr) return E_NOTIMPL;
  HRESULT hr = create(kClsidTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, kIidTaskScheduler,
                      scheduler->any());
  if (FAILED(hr)) return hr;
  if (computer.empty()) return (*scheduler)->SetTargetComputer(nullptr);
  const std::string unc = computer.rfind("\\\\", 0) == 0 ? computer : "\\\\" + computer;
  return (*scheduler)->SetTargetComputer(Wide(unc).c_str());
}

void ToSystem(const TaskTrigger& in, TASK_TRIGGER* t) {
  t->wBeginYear = in.begin_year;
  t->wBeginMonth = in.begin_month;
  t->wBeginDay = in.begin_day;
  t->wStartHour = in.start_hour;
  t->wStartMinute = in.start_minute;
  t->TriggerType = static_cast<TASK_TRIGGER_TYPE>(in.kind);
  if (in.kind == TriggerKind::kDaily) {
    t->Type.Daily.DaysInterval = in.interval;
  } else if (in.kind == TriggerKind::kWeekly) {
    t->Type.Weekly.WeeksInterval = in.interval;
    t->Type.Weekly.rgfDaysOfTheWeek = in.days_of_week;
  }
}

TaskTrigger FromSystem(const TASK_TRIGGER& t) {
  TaskTrigger out;
  out.kind = static_cast<TriggerKind>(t.TriggerType);
  out.begin_year = t.wBeginYear;
  out.begin_month = t.wBeginMonth;
  out.begin_day = t.wBeginDay;
  out.start_hour = t.wStartHour;
  out.start_minute = t.wStartMinute;
  if (out.kind == TriggerKind::kDaily) out.interval = t.Type.Daily.DaysInterval;
  if (out.kind == TriggerKind::kWeekly) {
    out.interval = t.Type.Weekly.WeeksInterval;
    out.days_of_week = t.Type.Weekly.rgfDaysOfTheWeek;
  }
  return out;
}

HRESULT ApplyTask(ITask* item, const ScheduledTask& task) {
  HRESULT hr = item->SetWorkingDirectory(Wide(task.working_folder).c_str());
  if (SUCCEEDED(hr)) hr = item->SetParameters(Wide(task.arguments).c_str());
  if (SUCCEEDED(hr)) hr = item->SetApplicationName(Wide(task.program).c_str());
  if (SUCCEEDED(hr)) hr = item->SetFlags(task.flags);
  WORD count = 0;
  if (SUCCEEDED(hr)) hr = item->GetTriggerCount(&count);
  for (; SUCCEEDED(hr) && count > 0; --count) hr = item->DeleteTrigger(0);
  for (const TaskTrigger& wanted : task.triggers) {
    if (FAILED(hr)) break;
    Ref<ITaskTrigger> trigger;
    WORD index = 0;
    hr = item->CreateTrigger(&index, trigger.out());
    TASK_TRIGGER t = {};
    t.cbTriggerSize = sizeof t;
    if (SUCCEEDED(hr)) hr = trigger->GetTrigger(&t);
    ToSystem(wanted, &t);
    if (SUCCEEDED(hr)) hr = trigger->SetTrigger(&t);
  }
  if (SUCCEEDED(hr) && task.set_account) {
    std::wstring password = Wide(task.password);
    hr = item->SetAccountInformation(Wide(task.account).c_str(),
                                     password.empty() ? nullptr : password.c_str());
    Wipe(&password);
  }
  return hr;
}

}  // namespace

Status Win32Services::QueryServiceState(const std::string& computer, const std::string& name,
                                        uint32_t* state) {
  OpenedService opened;
  Status s = OpenServiceOf(computer, name, SERVICE_QUERY_STATUS, &opened);
  return s == Status::kOk ? StateOf(opened.service.get(), state) : s;
}

Status Win32Services::StartServiceAndWait(const std::string& computer, const std::string& name) {
  OpenedService opened;
  Status s = OpenServiceOf(computer, name, SERVICE_QUERY_STATUS | SERVICE_START, &opened);
  if (s != Status::kOk) return s;
  const SC_HANDLE service = opened.service.get();
  if (!StartServiceA(service, 0, nullptr)) return ServiceFailure(GetLastError());
  // The start returns as soon as the service process runs; it is ready when it says so.
  uint32_t state = service_state::kStartPending;
  for (DWORD waited = 0; state == service_state::kStartPending && waited < kServiceStartMs;
       waited += kPollMs) {
    if (StateOf(service, &state) != Status::kOk) return Status::kFailed;
    if (state == service_state::kStartPending) Sleep(kPollMs);
  }
  return state == service_state::kRunning ? Status::kOk : Fail(ERROR_SERVICE_REQUEST_TIMEOUT);
}

Status Win32Services::SaveTask(const std::string& computer, const std::string& name,
                               const ScheduledTask& task) {
  ComApartment com;
  Ref<ITaskScheduler> scheduler;
  HRESULT hr = OpenScheduler(computer, &scheduler);
  if (FAILED(hr)) {
    FromResult(hr);
    return Status::kFailed;
  }
  const std::wstring wide_name = Wide(name);
  Ref<ITask> item;
  // The work item of that name when there is one (it keeps its file), else a new one.
  hr = WhileBusy([&] { return scheduler->Activate(wide_name.c_str(), kIidTask, item.unknown()); });
  if (FAILED(hr))
    hr = scheduler->NewWorkItem(wide_name.c_str(), kClsidTask, kIidTask, item.unknown());
  if (SUCCEEDED(hr)) hr = ApplyTask(item.get(), task);
  Ref<IPersistFile> file;
  if (SUCCEEDED(hr)) hr = item->QueryInterface(kIidPersistFile, file.any());
  if (SUCCEEDED(hr)) hr = WhileBusy([&file] { return file->Save(nullptr, TRUE); });
  if (FAILED(hr)) {
    FromResult(hr);
    return Status::kFailed;
  }
  return Status::kOk;
}

Status Win32Services::ReadTask(const std::string& computer, const std::string& name,
                               ScheduledTask* task) {
  *task = ScheduledTask();
  ComApartment com;
  Ref<ITaskScheduler> scheduler;
  HRESULT hr = OpenScheduler(computer, &scheduler);
  if (FAILED(hr)) {
    FromResult(hr);
    return Status::kFailed;
  }
  Ref<ITask> item;
  hr = WhileBusy([&] { return scheduler->Activate(Wide(name).c_str(), kIidTask, item.unknown()); });
  if (FAILED(hr)) return FromResult(hr);
  // A text the scheduler allocated, taken and freed.
  auto take = [](HRESULT got, LPWSTR* value, std::string* out) {
    if (SUCCEEDED(got)) *out = Narrow(*value);
    FreeTaskMemory(*value);
    *value = nullptr;
    return got;
  };
  LPWSTR value = nullptr;
  hr = take(item->GetApplicationName(&value), &value, &task->program);
  if (SUCCEEDED(hr)) hr = take(item->GetParameters(&value), &value, &task->arguments);
  if (SUCCEEDED(hr)) hr = take(item->GetWorkingDirectory(&value), &value, &task->working_folder);
  DWORD flags = 0;
  if (SUCCEEDED(hr)) hr = item->GetFlags(&flags);
  task->flags = flags;
  WORD count = 0;
  if (SUCCEEDED(hr)) hr = item->GetTriggerCount(&count);
  for (WORD i = 0; SUCCEEDED(hr) && i < count; ++i) {
    Ref<ITaskTrigger> trigger;
    hr = item->GetTrigger(i, trigger.out());
    TASK_TRIGGER t = {};
    t.cbTriggerSize = sizeof t;
    if (SUCCEEDED(hr)) hr = trigger->GetTrigger(&t);
    if (SUCCEEDED(hr)) task->triggers.push_back(FromSystem(t));
  }
  if (FAILED(hr)) {
    FromResult(hr);
    return Status::kFailed;
  }
  // A work item without account information says so with a failure of its own.
  task->set_account = SUCCEEDED(take(item->GetAccountInformation(&value), &value, &task->account));
  return Status::kOk;
}

Status Win32Services::DeleteTask(const std::string& computer, const std::string& name) {
  ComApartment com;
  Ref<ITaskScheduler> scheduler;
  HRESULT hr = OpenScheduler(computer, &scheduler);
  if (FAILED(hr)) {
    FromResult(hr);
    return Status::kFailed;
  }
  const std::wstring wide_name = Wide(name);
  return FromResult(WhileBusy([&] { return scheduler->Delete(wide_name.c_str()); }));
}

}  // namespace corvane::platform::win32
