// Services through the service control manager (advapi32) and work items through the task
// scheduler's COM objects (Task Scheduler 1.0: ITaskScheduler, ITask, ITaskTrigger,
// IPersistFile).
#pragma once

#include "platform/services.h"

namespace corvane::platform::win32 {

class Win32Services : public Services {
 public:
  Status QueryServiceState(const std::string& computer, const std::string& name,
                           uint32_t* state) override;
  Status StartServiceAndWait(const std::string& computer, const std::string& name) override;
  Status SaveTask(const std::string& computer, const std::string& name,
                  const ScheduledTask& task) override;
  Status ReadTask(const std::string& computer, const std::string& name,
                  ScheduledTask* task) override;
  Status DeleteTask(const std::string& computer, const std::string& name) override;
};

}  // namespace corvane::platform::win32
