#include "platform/win32/service_testing.h"

#include <windows.h>

namespace corvane::platform::win32 {

bool StopServiceAndWait(const std::string& name) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (manager == nullptr) return false;
  SC_HANDLE service = OpenServiceA(manager, name.c_str(), SERVICE_STOP | SERVICE_QUERY_STATUS);
  bool stopped = false;
  if (service != nullptr) {
    SERVICE_STATUS status = {};
    ControlService(service, SERVICE_CONTROL_STOP, &status);
    for (int waited = 0; waited < 15000; waited += 20) {
      if (!QueryServiceStatus(service, &status)) break;
      if (status.dwCurrentState == SERVICE_STOPPED) {
        stopped = true;
        break;
      }
      Sleep(20);
    }
    CloseServiceHandle(service);
  }
  CloseServiceHandle(manager);
  return stopped;
}

uint64_t InheritableHandle() {
  static HANDLE event = [] {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    return CreateEventA(&inherit, TRUE, FALSE, nullptr);
  }();
  return reinterpret_cast<uintptr_t>(event);
}

}  // namespace corvane::platform::win32
